// The desktop's screen as the image side reads it: the resolution the desktop reports, and the
// screen facts of platform/gdi/screen.h filled from the desktop. Windows only.
#pragma once

#include <cstdint>

#include "platform/gdi/screen.h"

namespace talvrin::platform::win32 {

// The screen's resolution in dots per inch, horizontally or vertically; fallback where the
// desktop answers none.
[[nodiscard]] std::int32_t screenDotsPerInch(bool horizontal,
                                             std::int32_t fallback = kDefaultDotsPerInch) noexcept;

// Gives the image code the desktop's own screen facts: its resolution, the twips per pixel that
// twipsPerPixelAt makes of each axis's resolution, and its system colours.
void installScreenFacts(std::int32_t (*twipsPerPixelAt)(std::int32_t dotsPerInch));

}  // namespace talvrin::platform::win32
