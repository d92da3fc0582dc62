// The image controls' imaging sessions over native windows. A session is started once per
// top-level window: the start leaves a hidden child window of class "Static" titled
// "GDI+Safe Patch" under that window, so the controls of the window's other containers find it
// and share the start. When the marker is destroyed with its top-level window and the last
// message for it has been handled (platform/win32/win32_deferred_calls.h), a 50 ms thread timer
// starts, from which the session is ended, outside the window's destruction.
#pragma once

#include <cstddef>
#include <memory>

#include "image/control/cross_comm.h"

namespace talvrin::app::win32 {

[[nodiscard]] std::unique_ptr<ImagingSessionBridge> makeWin32ImagingSessions();

// Installs the sessions for the image controls of this process's windows.
void installWin32ImagingSessions();

// Sessions whose window is gone and whose shutdown timer has not fired yet.
[[nodiscard]] std::size_t pendingShutdowns() noexcept;

}  // namespace talvrin::app::win32
