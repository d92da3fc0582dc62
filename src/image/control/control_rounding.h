// The control's rounding rules, written once: a fractional value becomes an integer by rounding
// to the nearest, halves to the even neighbour (the default floating-point rounding), held to
// the 32-bit range (NaN gives 0); a halving is an integer division truncating toward zero.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace talvrin::control_rounding {

[[nodiscard]] inline std::int32_t nearest(double v) noexcept {
    if (!(v == v)) return 0;
    const double r = std::nearbyint(v);
    if (r >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (r <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(r);
}

[[nodiscard]] inline std::int32_t halve(std::int64_t v) noexcept {
    return static_cast<std::int32_t>(v / 2);
}

}  // namespace talvrin::control_rounding
