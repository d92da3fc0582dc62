// The picture loader's JPEG decoder, over libjpeg-turbo: baseline, progressive and arithmetic-
// coded 8-bit files, colour or greyscale; CMYK and YCCK files are converted to RGB. Library
// errors end the decode cleanly (no exit, no exception); warnings such as data that ends early
// do not, and the library fills what is missing as it does for any of its callers.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string_view>

#include "base/byte_view.h"
#include "base/decode_failure.h"
#include "platform/gdi/bitmap.h"

namespace talvrin::platform {

// True when the bytes start with a JPEG start-of-image marker (FF D8 FF).
[[nodiscard]] inline bool looksLikeJpeg(ByteView bytes) noexcept {
    return bytes.u8(0) == 0xFF && bytes.u8(1) == 0xD8 && bytes.u8(2) == 0xFF;
}

// True when this build decodes JPEG. A build without the JPEG library (the Windows build) answers
// false, and decodeJpeg refuses every JPEG file as an unsupported variant.
[[nodiscard]] bool jpegDecoderAvailable() noexcept;

// Decodes a JPEG file into a 32-bit bottom-up bitmap, alpha 255. No bitmap when the library
// rejects the data, when width x height exceeds maxPixels, the process's decode budget or the
// bitmap's size limit (too large), or when allocation fails (out of memory); the library's own
// errors are mapped to the nearest reason (data ending before the image: truncated; 12-bit
// samples and other variants the library was built without: unsupported variant; any other
// error in the headers: bad header, in the scans: bad data). A progressive file of more than 500
// scans, or whose scans pass over the image's blocks more than twelve times on average (plus a
// million blocks), is refused as bad data before that scan is decoded: each scan costs a pass
// over its blocks however few bytes it takes.
//
// With a reduction of 2, 4 or 8 the library decodes at that scale (its scaled inverse DCT): the
// bitmap is ceil(width / reduction) x ceil(height / reduction), each pixel standing for a block
// of reduction x reduction stored pixels (the last ones of a row or column in part); the limits
// above still apply to the stored size. Any other reduction decodes at full size.
[[nodiscard]] Decoded<std::unique_ptr<Bitmap>> decodeJpeg(
    ByteView bytes, std::uint64_t maxPixels = std::numeric_limits<std::uint64_t>::max(),
    std::int32_t reduction = 1) noexcept;

// The reduction for a JPEG of storedWidth x storedHeight that will be shown at width x height
// (the same axes): the largest of 8, 4 and 2 whose decode is still at least that size on both
// axes, or 1 when none is (a size above half the stored one, or below 1).
[[nodiscard]] inline std::int32_t jpegReductionFor(std::uint32_t storedWidth,
                                                   std::uint32_t storedHeight, std::int64_t width,
                                                   std::int64_t height) noexcept {
    if (width < 1 || height < 1) return 1;
    for (const std::uint32_t r : {8u, 4u, 2u})
        if ((std::uint64_t{storedWidth} + r - 1) / r >= std::uint64_t(width) &&
            (std::uint64_t{storedHeight} + r - 1) / r >= std::uint64_t(height))
            return static_cast<std::int32_t>(r);
    return 1;
}

// The first warning libjpeg-turbo gave during this thread's last decodeJpeg, in the library's
// own words ("Premature end of JPEG file": the data ends inside the scan, and the library
// filled in the rest), or empty when it gave none. Such a decode still succeeds.
[[nodiscard]] std::string_view lastJpegWarning() noexcept;

}  // namespace talvrin::platform
