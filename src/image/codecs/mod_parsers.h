// modParsers: stateless helpers shared by the surface, the decoders, the encoder and the
// imaging-library bridge: alpha classification, row sizing, byte order, grayscale weights, and
// thin wrappers round the platform's file, library and picture facilities.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/os/files.h"
#include "platform/picture/picture.h"

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

// ---- Platform wrappers ----------------------------------------------------------------------

// Opens an image file for reading, or creates / truncates it for writing while keeping an
// existing file's permissions. Names are UTF-8 paths (or UTF-16, converted); useWide is accepted
// for the callers' sake and changes nothing here, where every name is taken as it is.
[[nodiscard]] platform::File OpenImageFile(std::string_view fileName, bool forReading,
                                           bool useWide = false) noexcept;
[[nodiscard]] platform::File OpenImageFile(std::u16string_view fileName, bool forReading,
                                           bool useWide = false) noexcept;

// Deletes the file even when it is read-only; true when it was deleted.
bool ForceDeleteFile(std::string_view fileName, bool useWide = false) noexcept;
bool ForceDeleteFile(std::u16string_view fileName, bool useWide = false) noexcept;

// True when the library loads and exports the function; nothing stays loaded.
[[nodiscard]] bool LibraryHasExport(std::string_view library, std::string_view function) noexcept;

// The picture held in count bytes of bytes starting at first, through the platform's picture
// loader; null when the range leaves the array, count is below 1, or no picture results.
[[nodiscard]] std::unique_ptr<platform::Picture> BytesToPicture(std::span<const std::uint8_t> bytes,
                                                                std::int32_t first,
                                                                std::int32_t count) noexcept;

// Wraps a bitmap (pictureType 1) or an icon (pictureType 3) in a picture that owns it from then
// on. On failure (null handle, a type that does not match the handle) the handle is left with
// the caller, untouched, and the result is null.
[[nodiscard]] std::unique_ptr<platform::Picture> HandleToPicture(
    std::unique_ptr<platform::Bitmap>&& handle, std::int32_t pictureType) noexcept;
[[nodiscard]] std::unique_ptr<platform::Picture> HandleToPicture(
    std::unique_ptr<platform::Icon>&& handle, std::int32_t pictureType) noexcept;

}  // namespace talvrin
