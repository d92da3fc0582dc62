// Lengths in pixels expressed in a container's scale mode, the way both window shells convert
// the control's event coordinates: twips (1, and 9, the container's own position unit, which the
// shells lay out in twips), points (2), pixels (3), inches (5), millimetres (6) and centimetres
// (7). Nothing for any other mode (user-defined scales, characters) or a resolution below 1.
#pragma once

#include <cstdint>
#include <optional>

namespace talvrin {

[[nodiscard]] inline std::optional<float> pixelsToScaleMode(float pixels, double dotsPerInch,
                                                            std::int32_t twipsPerPixel,
                                                            std::int32_t scaleMode) noexcept {
    if (dotsPerInch <= 0) return std::nullopt;
    const double inches = pixels / dotsPerInch;
    switch (scaleMode) {
        case 1:
        case 9:
            return static_cast<float>(pixels * twipsPerPixel);
        case 2:
            return static_cast<float>(inches * 72.0);
        case 3:
            return pixels;
        case 5:
            return static_cast<float>(inches);
        case 6:
            return static_cast<float>(inches * 25.4);
        case 7:
            return static_cast<float>(inches * 2.54);
        default:
            return std::nullopt;
    }
}

}  // namespace talvrin
