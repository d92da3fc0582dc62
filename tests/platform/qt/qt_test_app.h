// The one application object of the Qt tests (widgets need a QApplication, which also serves
// the clipboard's tests).
#pragma once

#include <QApplication>

namespace talvrin::testing {

inline QApplication& qtTestApp() {
    static int argc = 1;
    static char name[] = "qt_platform_tests";
    static char* argv[] = {name, nullptr};
    static auto* app = new QApplication(argc, argv);
    return *app;
}

}  // namespace talvrin::testing
