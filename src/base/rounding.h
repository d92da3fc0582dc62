// Integer quotients rounded the way the desktop rounds a floating division before storing it in
// an integer: to the nearest integer, halves to the even neighbour.
#pragma once

#include <cstdint>

namespace talvrin {

// num / den rounded to nearest, halves to even (den > 0). Exact for every 64-bit numerator:
// the remainder is taken after floor division, so negative quotients round the same way
// (-3.5 becomes -4, -2.5 becomes -2).
[[nodiscard]] constexpr std::int64_t divideRoundHalfEven(std::int64_t num,
                                                         std::int64_t den) noexcept {
    std::int64_t q = num / den;
    std::int64_t r = num % den;
    if (r < 0) {  // floor division
        r += den;
        --q;
    }
    if (2 * r > den || (2 * r == den && (q & 1) != 0)) ++q;
    return q;
}

}  // namespace talvrin
