// mdStartup on Windows: the program's start-up steps, run in order before the main window is
// shown, and the message loop the program lives in. Windows only.
#pragma once

namespace talvrin::app::win32 {

class FrmMainWin32;

namespace mdStartup {

// Data-execution prevention off (found at run time; ignored where missing), one pump, the
// visual-style initialisation, the host services installed, then the main window created once
// and shown, not modally. Answers the window (null when it could not be made).
FrmMainWin32* Main();

// The window Main() created, or null.
FrmMainWin32* mainWindow();

// Runs the thread's messages until the last window is gone (the quit request); answers its code.
int runMessageLoop();

// Destroys the main window's object (after the message loop has ended).
void shutdown();

}  // namespace mdStartup
}  // namespace talvrin::app::win32
