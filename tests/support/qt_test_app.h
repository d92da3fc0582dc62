// The one application object of the Qt tests (widgets need a QApplication, which also serves
// the clipboard's tests), and a wait on the event loop.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <functional>

namespace talvrin::testing {

inline QApplication& qtTestApp() {
    static int argc = 1;
    static char name[] = "qt_tests";
    static char* argv[] = {name, nullptr};
    static auto* app = new QApplication(argc, argv);
    return *app;
}

// Runs the event loop until the condition holds or the time is up.
inline bool waitFor(const std::function<bool()>& done, int ms = 2000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

}  // namespace talvrin::testing
