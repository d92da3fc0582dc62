// The size the control draws an unrotated image at inside a box, written once for the control
// and for hosts that size an image before handing it over (talvrin-image render).
#pragma once

#include <cstdint>
#include <utility>

#include "image/control/control_rounding.h"

namespace talvrin {

// An image of width x height drawn into boxWidth x boxHeight by scale method 0 (fit: the
// largest size with the image's aspect ratio, the width's ratio when both are equal),
// 1 (stretch: the box), 2 (fit, never enlarged) or 3 (the image's own size). Method 4, the
// custom size, is the caller's.
[[nodiscard]] inline std::pair<std::int32_t, std::int32_t> unrotatedImageScales(
    std::int32_t method, std::int32_t width, std::int32_t height, double boxWidth,
    double boxHeight) noexcept {
    using control_rounding::nearest;
    if (method == 1) return {nearest(boxWidth), nearest(boxHeight)};
    if (method == 3) return {width, height};
    const double w = width, h = height;
    const double rx = boxWidth / w, ry = boxHeight / h;
    double s = ry < rx ? ry : rx;
    if (method == 2 && s > 1) s = 1;
    return {nearest(s * w), nearest(s * h)};
}

}  // namespace talvrin
