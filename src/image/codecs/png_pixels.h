// The pixel half of the PNG decoder: sizes of the decompressed data, row unfiltering, the Adam7
// pass geometry, the palette preparation and the converters that write premultiplied B, G, R, A
// pixels into a bottom-up 32-bit buffer. Free functions over plain buffers, so they are tested
// and benchmarked without a surface.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "base/div255.h"
#include "base/pixels.h"

namespace talvrin::png {

enum ColorType : std::uint8_t {
    kGray = 0,
    kRgb = 2,
    kPalette = 3,
    kGrayAlpha = 4,
    kRgba = 6,
};

// The header fields the pixel code needs (validated by the chunk reader).
struct ImageHeader {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint8_t bitDepth = 0;
    std::uint8_t colorType = 0;
    std::uint8_t interlace = 0;
};

// True for the colour type / bit depth combinations that PNG allows.
[[nodiscard]] bool isValidFormat(std::uint8_t colorType, std::uint8_t bitDepth) noexcept;

// Bits of one pixel, and the filter unit (bytes between a byte and its left neighbour, at least
// 1). Callers pass a valid format.
[[nodiscard]] unsigned bitsPerPixel(const ImageHeader& h) noexcept;
[[nodiscard]] unsigned filterUnit(const ImageHeader& h) noexcept;

// Bytes in a row of `width` pixels (without the filter byte).
[[nodiscard]] constexpr std::uint64_t rowBytes(std::uint64_t width,
                                               unsigned bitsPerPixel) noexcept {
    return (width * bitsPerPixel + 7) / 8;
}

// One entry of the pass table: where a pass starts and how it steps.
struct Pass {
    std::uint8_t startRow;
    std::uint8_t startColumn;
    std::uint8_t rowStep;
    std::uint8_t columnStep;
};
// Entries 0-6 are the Adam7 passes; entry 7 is a non-interlaced image as one pass.
inline constexpr std::array<Pass, 8> kPasses = {{
    {0, 0, 8, 8},
    {0, 4, 8, 8},
    {4, 0, 8, 4},
    {0, 2, 4, 4},
    {2, 0, 4, 2},
    {0, 1, 2, 2},
    {1, 0, 2, 1},
    {0, 0, 1, 1},
}};
inline constexpr std::size_t kWholeImagePass = 7;

[[nodiscard]] constexpr std::uint32_t passColumns(std::uint32_t width, const Pass& p) noexcept {
    return width / p.columnStep + (width % p.columnStep > p.startColumn ? 1u : 0u);
}
[[nodiscard]] constexpr std::uint32_t passRows(std::uint32_t height, const Pass& p) noexcept {
    return height / p.rowStep + (height % p.rowStep > p.startRow ? 1u : 0u);
}

// Size of the decompressed image data, filter bytes included; nothing on overflow. For an
// interlaced image a pass of width 0 still counts one byte for each of its rows.
[[nodiscard]] std::optional<std::size_t> expectedSize(const ImageHeader& h) noexcept;

// Reverses the row filters of a block of `rows` rows, each a filter byte followed by `rowLen`
// bytes, in place. A filter type above 4 leaves its row unchanged, or fails the block when
// `failOnBadFilter` is set.
[[nodiscard]] bool unfilterRows(std::uint8_t* block, std::size_t rows, std::size_t rowLen,
                                unsigned unit, bool failOnBadFilter) noexcept;

// What the converters need besides the rows.
struct ConversionContext {
    ImageHeader header;
    std::span<const std::uint8_t> palette;       // R, G, B triples
    std::span<const std::uint8_t> transparency;  // the tRNS data (palette: 256 alphas or more)
    std::int32_t transparentValue = -1;          // -1: no transparency
};

// The palette colour types 0 and 3 convert through, when the image brings none: a gray ramp for
// gray images below 16 bits, black (with white at index 1 for 1-bit palette images) otherwise.
[[nodiscard]] std::vector<std::uint8_t> preparedPalette(const ImageHeader& h, bool hasPalette);

// Converts one unfiltered block (`rows` rows of `stride` bytes, each starting with its filter
// byte) of pass `pass` into the target. False when a pixel cannot be converted (a palette index
// beyond the palette).
[[nodiscard]] bool convertBlock(const std::uint8_t* block, std::uint32_t rows, std::size_t stride,
                                const Pass& pass, const ConversionContext& ctx,
                                PixelView target) noexcept;

// Unfilters and converts the whole decompressed image (`data`, `expectedSize(h)` bytes): one
// block, or pass by pass when interlaced. False when a pass has a filter type above 4 or a
// conversion fails.
[[nodiscard]] bool decodeImageData(std::span<std::uint8_t> data, const ConversionContext& ctx,
                                   PixelView target) noexcept;

}  // namespace talvrin::png
