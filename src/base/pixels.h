// The pixel vocabulary every layer shares: the 32-bit pixel layout, bottom-up row addressing,
// row sizes, and the view type over rows of 32-bit pixels. This is the one place that defines
// them; the image-type codes that go with the layout are in image/surface/image_types.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace talvrin {

// ---- Pixel layout ---------------------------------------------------------------------------
// 4 bytes a pixel in memory order blue, green, red, alpha (a little-endian 0xAARRGGBB), colours
// premultiplied by alpha (every colour byte <= its alpha byte; alpha 0 means all four bytes 0),
// rows stored bottom-up (the first row in memory is the bottom row of the image), no padding.

inline constexpr std::int32_t kBytesPerPixel = 4;
inline constexpr std::int32_t kBitsPerPixel = 32;

// Byte offsets of the channels inside one pixel.
inline constexpr std::size_t kBlueOffset = 0;
inline constexpr std::size_t kGreenOffset = 1;
inline constexpr std::size_t kRedOffset = 2;
inline constexpr std::size_t kAlphaOffset = 3;

// ---- Rows -----------------------------------------------------------------------------------

// Bytes in one row of 32-bit pixels of the given width (callers pass a validated width >= 0).
[[nodiscard]] constexpr std::size_t scanWidthFor(std::int32_t width) noexcept {
    return static_cast<std::size_t>(width) * kBytesPerPixel;
}

// Bytes in one row of `width` pixels at `bitsPerPixel`, padded to a whole number of 32-bit
// words: (width * bitsPerPixel + 31) with its five low bits cleared, divided by 8. Computed in
// 64 bits, so no pair of 32-bit inputs can wrap it; callers check the result against their own
// limits.
[[nodiscard]] constexpr std::uint64_t dwordAlignedRowBytes(std::uint32_t width,
                                                           std::uint32_t bitsPerPixel) noexcept {
    return (std::uint64_t{width} * bitsPerPixel + 31) / 32 * 4;
}

// Byte offset of image row y (row 0 at the top) in a buffer of `height` rows of `stride` bytes
// stored bottom-up. Callers pass 0 <= y < height. Every bottom-up buffer is addressed through
// this (the surface, bitmaps, masks, caller buffers).
[[nodiscard]] constexpr std::size_t bottomUpRowOffset(std::int32_t y, std::int32_t height,
                                                      std::size_t stride) noexcept {
    return static_cast<std::size_t>(height - 1 - y) * stride;
}

// Byte offset of the pixel at image column x, image row y (row 0 at the top) in a bottom-up
// buffer of 32-bit pixels of the given height and scan width. Callers pass a position inside
// the image.
[[nodiscard]] constexpr std::size_t pixelOffset(std::int32_t x, std::int32_t y, std::int32_t height,
                                                std::size_t scanWidth) noexcept {
    return bottomUpRowOffset(y, height, scanWidth) + static_cast<std::size_t>(x) * kBytesPerPixel;
}

// ---- Views ----------------------------------------------------------------------------------

// A bottom-up buffer of width x height 32-bit pixels laid over memory owned elsewhere: storage
// row 0 is the bottom row of the image, rows are width * 4 bytes with no padding. Byte is
// std::uint8_t for a writable view and const std::uint8_t for a read-only one; a writable view
// converts to a read-only one.
template <typename Byte>
struct BasicPixelView {
    Byte* bits = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;

    constexpr BasicPixelView() noexcept = default;
    constexpr BasicPixelView(Byte* b, std::int32_t w, std::int32_t h) noexcept
        : bits(b), width(w), height(h) {}
    template <typename Other>
    requires(
        !std::is_same_v<Other, Byte> &&
        std::is_same_v<const Other,
                       Byte>) constexpr BasicPixelView(const BasicPixelView<Other>&
                                                           v) noexcept  // NOLINT: reads as well
        : bits(v.bits), width(v.width), height(v.height) {}

    [[nodiscard]] constexpr bool valid() const noexcept {
        return bits != nullptr && width > 0 && height > 0;
    }
    [[nodiscard]] constexpr std::size_t stride() const noexcept { return scanWidthFor(width); }
    // First byte of storage row r (0 = bottom row); r must lie inside the view.
    [[nodiscard]] constexpr Byte* row(std::int32_t r) const noexcept {
        return bits + static_cast<std::size_t>(r) * stride();
    }
    // First byte of image row y counted from the top; y must lie inside the view.
    [[nodiscard]] constexpr Byte* rowFromTop(std::int32_t y) const noexcept {
        return bits + bottomUpRowOffset(y, height, stride());
    }
    // First byte of the pixel at column x of image row y (from the top).
    [[nodiscard]] constexpr Byte* pixelFromTop(std::int32_t x, std::int32_t y) const noexcept {
        return bits + pixelOffset(x, y, height, stride());
    }
};

using PixelView = BasicPixelView<std::uint8_t>;
using ConstPixelView = BasicPixelView<const std::uint8_t>;

}  // namespace talvrin
