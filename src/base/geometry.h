// Plain value types shared by the drawing layer: points, rectangles and colour helpers.
#pragma once

#include <algorithm>
#include <cstdint>

namespace talvrin {

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;

    friend constexpr bool operator==(const Point&, const Point&) = default;
};

// A rectangle in device coordinates: left and top inclusive, right and bottom exclusive.
// A rectangle whose right <= left or bottom <= top is empty.
struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    // Sizes are 64-bit so that extreme coordinates cannot overflow.
    [[nodiscard]] constexpr std::int64_t width() const noexcept {
        return std::int64_t{right} - left;
    }
    [[nodiscard]] constexpr std::int64_t height() const noexcept {
        return std::int64_t{bottom} - top;
    }
    [[nodiscard]] constexpr bool isEmpty() const noexcept { return right <= left || bottom <= top; }
    [[nodiscard]] constexpr bool contains(std::int32_t x, std::int32_t y) const noexcept {
        return x >= left && x < right && y >= top && y < bottom;
    }
    [[nodiscard]] constexpr bool contains(Point p) const noexcept { return contains(p.x, p.y); }

    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

// The common part of two rectangles; an empty rectangle {0,0,0,0} when they do not meet.
[[nodiscard]] constexpr Rect intersect(const Rect& a, const Rect& b) noexcept {
    Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (r.isEmpty()) return Rect{};
    return r;
}

// Colours crossing interfaces are 0x00BBGGRR (red in the low byte). A value with the high bit
// set names a system colour (see screen.h, translateColor).
using ColorRef = std::uint32_t;

[[nodiscard]] constexpr ColorRef rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) noexcept {
    return ColorRef{r} | (ColorRef{g} << 8) | (ColorRef{b} << 16);
}
[[nodiscard]] constexpr std::uint8_t redOf(ColorRef c) noexcept {
    return static_cast<std::uint8_t>(c);
}
[[nodiscard]] constexpr std::uint8_t greenOf(ColorRef c) noexcept {
    return static_cast<std::uint8_t>(c >> 8);
}
[[nodiscard]] constexpr std::uint8_t blueOf(ColorRef c) noexcept {
    return static_cast<std::uint8_t>(c >> 16);
}
[[nodiscard]] constexpr bool isSystemColor(ColorRef c) noexcept {
    return (c & 0x80000000u) != 0;
}

// A pixel as stored in a 32-bit bitmap, read as a little-endian 32-bit value: 0xAARRGGBB
// (memory order B, G, R, A).
[[nodiscard]] constexpr std::uint32_t pixelFromColor(ColorRef c, std::uint8_t alpha) noexcept {
    return (std::uint32_t{alpha} << 24) | (std::uint32_t{redOf(c)} << 16) |
           (std::uint32_t{greenOf(c)} << 8) | blueOf(c);
}
[[nodiscard]] constexpr ColorRef colorFromPixel(std::uint32_t pixel) noexcept {
    return rgb(static_cast<std::uint8_t>(pixel >> 16), static_cast<std::uint8_t>(pixel >> 8),
               static_cast<std::uint8_t>(pixel));
}

}  // namespace talvrin
