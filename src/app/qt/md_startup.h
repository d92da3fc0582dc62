// mdStartup: the program's start-up steps, run in order before the main window is shown.
#pragma once

#include <memory>

namespace talvrin::app::qt {

class FrmMain;

namespace mdStartup {

// Runs the start-up steps in order and shows the main window (not modally). The window is
// created once; later calls show the same window. Answers the window for the caller to keep.
FrmMain* Main();

// The window Main() created, or nullptr.
FrmMain* mainWindow();

// Destroys the main window (after the event loop has ended).
void shutdown();

}  // namespace mdStartup
}  // namespace talvrin::app::qt
