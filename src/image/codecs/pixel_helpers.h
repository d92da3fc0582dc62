// modParsers, pixel half: stateless helpers shared by the surface, the decoders, the encoder and
// the imaging-library bridge: alpha classification, row sizing, byte order and grayscale weights.
// Pure pixel arithmetic; the file, library and picture wrappers of the same module are in
// platform_wrappers.h, so pixel code does not pull in the platform's files and pictures.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace talvrin {

// ---- Alpha classification -------------------------------------------------------------------

// Decides whether width x height pixels (the surface buffer: 4 bytes a pixel, B G R A, rows
// without padding) are opaque, premultiplied or straight alpha, and sets imageType (imgBitmap,
// imgBmpPARGB or imgBmpARGB) and alphaFlag accordingly. An incoming imageType of imgNone skips
// the scan and counts the image as opaque. With adjust set the pixels are made to fit the verdict:
// opaque images get alpha 255 everywhere, straight alpha is premultiplied (colour * alpha / 255,
// truncated; alpha 0 clears the pixel). The scan stops at the first proof of straight alpha.
// Returns false, touching nothing, when the dimensions are not positive or the span is smaller
// than width * height * 4 bytes.
bool ClassifyAlpha(std::span<std::uint8_t> pixels, std::int32_t width, std::int32_t height,
                   bool adjust, bool& alphaFlag, std::int32_t& imageType) noexcept;

namespace detail {
// The verdicts of the classification scan.
enum class AlphaVerdict { Opaque, Premultiplied, Straight };
// Plain per-pixel reference of the scan (no fast paths); the optimised scan must agree with it.
AlphaVerdict classifyAlphaReference(std::span<const std::uint8_t> pixels,
                                    std::size_t pixelCount) noexcept;
AlphaVerdict classifyAlphaScan(std::span<const std::uint8_t> pixels,
                               std::size_t pixelCount) noexcept;
// Plain per-pixel reference of premultiplication; the optimised form must match it exactly.
void premultiplyReference(std::uint8_t* pixels, std::size_t pixelCount) noexcept;
void premultiply(std::uint8_t* pixels, std::size_t pixelCount) noexcept;
}  // namespace detail

// ---- Numeric helpers ------------------------------------------------------------------------

// Bytes in one row of bitsPerPixel x width, padded to a multiple of 4. Nothing when width is
// negative or the size does not fit in 32 bits.
[[nodiscard]] std::optional<std::int32_t> DwordAlignedRowBytes(std::uint8_t bitsPerPixel,
                                                               std::int32_t width) noexcept;

// The value with its four bytes in reverse order.
[[nodiscard]] constexpr std::uint32_t SwapByteOrder32(std::uint32_t value) noexcept {
    return ((value & 0x000000FFu) << 24) | ((value & 0x0000FF00u) << 8) |
           ((value & 0x00FF0000u) >> 8) | ((value & 0xFF000000u) >> 24);
}

// Red, green and blue weights of grayscale formula code (-1 none: all 1; 0 and any unknown
// code: 0.299, 0.587, 0.114; 1 ... 7 the other formulas).
void GrayscaleWeights(std::int32_t code, float& red, float& green, float& blue) noexcept;

}  // namespace talvrin
