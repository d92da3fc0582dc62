// The image controls' imaging sessions over native windows. A session is started once per
// top-level window: the start leaves a hidden child window of class "Static" titled
// "GDI+Safe Patch" under that window, so the controls of the window's other containers find it
// and share the start. The marker's window procedure is replaced by a guard of the program's
// own (no executable memory): when the marker is destroyed with its top-level window and the
// last message for it has been handled, the guard puts the previous procedure back and starts a
// 50 ms thread timer, from which the session is ended, outside the window's destruction.
#pragma once

#include <cstddef>
#include <memory>

#include "image/control/cross_comm.h"

namespace talvrin::app::win32 {

[[nodiscard]] std::unique_ptr<ImagingSessionBridge> makeWin32ImagingSessions();

// Installs the sessions for the image controls of this process's windows.
void installWin32ImagingSessions();

// The top-level window of a window: parent links followed to the top, then owner links.
[[nodiscard]] WindowHandle topLevelWindowOf(WindowHandle window) noexcept;

// Sessions whose window is gone and whose shutdown timer has not fired yet.
[[nodiscard]] std::size_t pendingShutdowns() noexcept;

}  // namespace talvrin::app::win32
