// The image controls' imaging sessions over Qt. A session is started once per top-level window:
// the start leaves a hidden marker object (class "Static", title "GDI+Safe Patch") under that
// window, so the controls of the window's other containers find it and share the start. When
// the window is destroyed the marker goes with it, and the session is ended through the event
// loop 50 ms later, outside the window's own destruction.
#pragma once

#include <memory>

#include "image/control/cross_comm.h"

namespace talvrin::app::qt {

[[nodiscard]] std::unique_ptr<ImagingSessionBridge> makeQtImagingSessions();

// Installs the sessions for the image controls (needs a running QApplication).
void installQtImagingSessions();

}  // namespace talvrin::app::qt
