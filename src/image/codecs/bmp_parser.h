// cBMPparser: fills a surface from a bitmap file held in bytes, from a bitmap handle, or from a
// picture object. It decodes uncompressed 32-bit files itself (their fourth byte may be alpha);
// every other byte stream goes to the platform's picture loader and the picture is drawn onto
// the surface. Keeps only the last load's failure reason between calls.
#pragma once

#include <cstdint>
#include <span>

#include "base/decode_failure.h"

namespace talvrin {

class c32bppDIB;
namespace platform {
class Bitmap;
class Picture;
}  // namespace platform

class cBMPparser {
  public:
    // Decodes streamLength bytes of Stream from streamOffset into cHost. True when cHost now
    // holds the image. A "BM" header with width below 1, height 0 or height INT_MIN, or too short
    // to hold its size, depth and compression fields, is refused outright; a bitmap the own path
    // does not take (not 32 bits, compressed, pixel data beyond streamLength) and anything else
    // goes to the picture loader, but only while cHost holds no image. False, touching nothing,
    // for a range outside Stream.
    bool LoadStream(std::span<const std::uint8_t> Stream, c32bppDIB& cHost,
                    std::int32_t streamOffset, std::int32_t streamLength) noexcept;
    // Why the last LoadStream left no image (no failure when it produced one): the own path's
    // reason, or the picture loader's for everything it was handed.
    [[nodiscard]] const LoadFailure& lastLoadFailure() const noexcept { return failure_; }

    // Draws one source onto a new surface of its size: a picture (stdPic, Handle null) or a
    // bitmap (Handle, stdPic null). bitCount is the depth of the file a picture came from (0 for
    // none); the conversion itself does not depend on it. False for an empty picture, a missing
    // bitmap, both or neither source, or a surface that cannot be created (then cHost is empty).
    // Bitmaps: 32-bit pixels are copied and their alpha classified; other depths are read out
    // as 32-bit rows (what a blit would draw) and become opaque (ImageType imgBitmap). Pictures:
    // drawn upright and made opaque, ImageType = picture type; metafiles keep their undrawn
    // background transparent.
    bool ConvertstdPicTo32bpp(const platform::Picture* stdPic, const platform::Bitmap* Handle,
                              c32bppDIB& cHost, std::int32_t bitCount) noexcept;

    // Hundredths of a millimetre to screen pixels along x (horizontal) or y: value * 1440 / 2540
    // / twips-per-pixel, in floating point, rounded to nearest with halves to even. Used by the
    // picture route; public so that its rounding can be checked on its own.
    [[nodiscard]] static std::int32_t ConvertHimetricToPixels(std::int32_t value,
                                                              bool horizontal) noexcept;

  private:
    bool takePictureBitmap(platform::Picture& picture, c32bppDIB& cHost);
    bool convertPicture(const platform::Picture& picture, c32bppDIB& cHost);
    bool convertBitmap(const platform::Bitmap& bitmap, c32bppDIB& cHost);

    LoadFailure failure_;
};

}  // namespace talvrin
