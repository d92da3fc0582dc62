// What the tool does to a loaded image before writing it: turn it upright as its EXIF
// orientation says, and resize it through the image library's high-quality draw; and the sizes
// the pixel budget allows.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "tools/failure.h"

namespace talvrin {
class c32bppDIB;
}

namespace talvrin::tool {

// Turns or mirrors the image as EXIF orientation 1 ... 8 asks (see jpeg_header.h), exactly
// (pixels are moved, never resampled); orientations 5 to 8 swap width and height. False when
// memory for the turned image is lacking; the image is then as it was.
bool applyOrientation(std::unique_ptr<c32bppDIB>& image, std::int32_t orientation);

// The image drawn at width x height with high-quality interpolation, through the imaging bridge
// where it is present (the image library's own engine otherwise). An opaque image stays opaque.
// Null when the size cannot be made.
[[nodiscard]] std::unique_ptr<c32bppDIB> resized(c32bppDIB& image, std::int32_t width,
                                                 std::int32_t height);

// Nothing when a surface of width x height fits the pixel budget (--max-pixels) and the
// surface's 32-bit size limit; else the reason, naming the limit:
// "too large (W x H pixels; the pixel budget is N pixels, --max-pixels)".
[[nodiscard]] std::optional<Failure> sizeFailure(std::int64_t width, std::int64_t height);

// The most pixels a surface may have now: the budget, or without one the 32-bit size limit.
[[nodiscard]] std::uint64_t pixelLimit() noexcept;

}  // namespace talvrin::tool
