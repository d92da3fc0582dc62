#include "app/win32/md_startup_win32.h"

#include <windows.h>

#include <memory>

#include "app/win32/frm_main_win32.h"
#include "app/win32/vitrel_window.h"
#include "app/win32/win32_imaging_sessions.h"
#include "platform/win32/system_functions.h"
#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_screen.h"

namespace talvrin::app::win32::mdStartup {

namespace {

std::unique_ptr<FrmMainWin32> gMainWindow;

}  // namespace

FrmMainWin32* Main() {
    // A 64-bit process cannot turn the prevention off: the call fails there and is ignored, as
    // it is where the function is missing. The shell's host services: the desktop's resolution
    // and colours, and the image controls' imaging sessions, one per top-level window.
    runStartupSteps([] { platform::win32::setProcessDepPolicy(0); }, pumpWindowMessages,
                    [] {
                        platform::win32::installScreenFacts(twipsAtDpi);
                        installWin32ImagingSessions();
                    });
    if (!gMainWindow) gMainWindow = FrmMainWin32::create();
    if (gMainWindow) gMainWindow->show();
    return gMainWindow.get();
}

FrmMainWin32* mainWindow() {
    return gMainWindow.get();
}

int runMessageLoop() {
    return platform::win32::runMessageLoop(&FrmMainWin32::preTranslate);
}

void shutdown() {
    gMainWindow.reset();
}

}  // namespace talvrin::app::win32::mdStartup
