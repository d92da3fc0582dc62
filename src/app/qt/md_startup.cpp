#include "app/qt/md_startup.h"

#include <QCoreApplication>

#include "app/qt/frm_main.h"
#include "app/qt/qt_imaging_sessions.h"
#include "app/qt/vitrel_widget.h"
#include "platform/qt/qt_clipboard.h"
#include "platform/qt/qt_system_colors.h"

namespace talvrin::app::qt::mdStartup {

namespace {

std::unique_ptr<FrmMain> gMainWindow;

}  // namespace

FrmMain* Main() {
    // Data-execution prevention is the operating system's business on this platform: the step
    // does nothing. The shell's host services: the desktop's clipboard read through Qt, its
    // colours, and the image controls' imaging sessions, one per top-level window.
    runStartupSteps([] {}, [] { QCoreApplication::processEvents(); },
                    [] {
                        platform::qt::installQtClipboard();
                        platform::qt::installQtSystemColors();
                        installQtImagingSessions();
                    });
    if (!gMainWindow) gMainWindow = std::make_unique<FrmMain>();
    gMainWindow->show();
    // A program just started takes the keyboard, so "Start" has the focus at once.
    gMainWindow->activateWindow();
    return gMainWindow.get();
}

FrmMain* mainWindow() {
    return gMainWindow.get();
}

void shutdown() {
    gMainWindow.reset();
}

}  // namespace talvrin::app::qt::mdStartup
