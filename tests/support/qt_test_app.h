// The one application object of the Qt tests (widgets need a QApplication, which also serves
// the clipboard's tests), a wait on the event loop and a drain of it.
#pragma once

#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QWidget>
#include <QWindow>
#include <climits>
#include <functional>

#include "support/process_cpu.h"

namespace talvrin::testing {

inline QApplication& qtTestApp() {
    static int argc = 1;
    static char name[] = "qt_tests";
    static char* argv[] = {name, nullptr};
    static auto* app = new QApplication(argc, argv);
    return *app;
}

// Runs the event loop until the condition holds; false when it has not held within cpuSeconds
// of this process's processor time. The loop looks again as soon as the queue is empty, so a
// hang spends processor time and meets the limit, while a loaded machine that runs the test
// slowly does not.
inline bool waitFor(const std::function<bool()>& done, double cpuSeconds = 60) {
    const double start = testsupport::processCpuSeconds();
    while (!done()) {
        if (testsupport::processCpuSeconds() - start > cpuSeconds) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// The window of `widget` is shown on the screen (exposed), or is the active one.
inline bool waitForExposed(const QWidget& widget) {
    return waitFor([&] { return widget.windowHandle() && widget.windowHandle()->isExposed(); });
}
inline bool waitForActive(const QWidget& widget) {
    return waitFor([&] { return widget.isActiveWindow(); });
}

// Delivers everything already waiting in the event queue (and what that posts in turn at a
// higher priority), so that a test can then say what did not happen without waiting for it.
// Timers are not events in the queue: a test proves that one is stopped by asking it.
inline void drainEvents() {
    struct Sentinel : QObject {
        bool reached = false;
        bool event(QEvent* e) override {
            if (e->type() != QEvent::User) return QObject::event(e);
            reached = true;
            return true;
        }
    } sentinel;
    QCoreApplication::postEvent(&sentinel, new QEvent(QEvent::User), INT_MIN);
    while (!sentinel.reached)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace talvrin::testing
