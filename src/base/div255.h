// The divide-by-255 forms of the pixel arithmetic, named once, each with its rounding rule and
// the range over which it is exact. Every blend, premultiplication and conversion uses one of
// these; the vector code computes the same forms lane by lane (and says which).
#pragma once

#include <cstdint>

namespace talvrin {

// ⌊x ÷ 255⌋, truncating, for every x. The reference form; compilers turn the constant division
// into a multiply and shift of their own.
[[nodiscard]] constexpr std::uint32_t div255Floor(std::uint32_t x) noexcept {
    return x / 255;
}

// ⌊x ÷ 255⌋, truncating, as (x * 0x8081) >> 23. Exact for 0 <= x <= 66298, so for every 16-bit
// value and every product of two bytes. This is the form of the 16-bit vector lanes
// (mulhi_epu16(x, 0x8081) >> 7 is the same arithmetic).
[[nodiscard]] constexpr std::uint32_t div255FloorShift(std::uint32_t x) noexcept {
    return (x * 0x8081u) >> 23;
}

// x ÷ 255 rounded to the nearest integer, as ((x + 128) * 257) >> 16. Exact for
// 0 <= x <= 65662, so for every product of two bytes and every sum of two such products that
// weigh 255 in all (s * a + d * (255 - a)). No x lies half-way, since 255 is odd. The same value
// as (x + 127) ÷ 255 truncated, and as (v + (v >> 8)) >> 8 with v = x + 128.
[[nodiscard]] constexpr std::uint32_t div255Round(std::uint32_t x) noexcept {
    return ((x + 128) * 257) >> 16;
}

// ⌊colour × alpha ÷ 255⌋: premultiplication of one channel (both at most 255), truncating as
// every decoder and ClassifyAlpha premultiply. A fully transparent pixel becomes 0.
[[nodiscard]] constexpr std::uint8_t premultiplyChannel(std::uint32_t colour,
                                                        std::uint32_t alpha) noexcept {
    return static_cast<std::uint8_t>(div255FloorShift(colour * alpha));
}

// The inverse for export: ⌊colour × 255 ÷ alpha⌋ (alpha 1 ... 255), truncating, held to 255 so
// that a malformed pixel whose colour exceeds its alpha cannot spill into the next channel.
[[nodiscard]] constexpr std::uint8_t unpremultiplyChannel(std::uint32_t colour,
                                                          std::uint32_t alpha) noexcept {
    const std::uint32_t v = colour * 255 / alpha;
    return static_cast<std::uint8_t>(v > 255 ? 255 : v);
}

}  // namespace talvrin
