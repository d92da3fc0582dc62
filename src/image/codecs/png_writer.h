// cPNGwriter: encodes the image of a surface as a complete PNG file in memory. It looks at the
// pixels and picks one of four forms, all with 8 bits a sample:
//
//   3 palette      at most 256 distinct pixel values; translucent entries through tRNS
//   0 greyscale    at most 256 values, all grey, and at most one fully transparent one
//   2 truecolour   every pixel opaque, or fully transparent with zero colour, when some grey
//                  that no opaque pixel can match exists to mark the transparent ones
//   6 truecolour with alpha, for everything else
//
// The chunks are the signature, IHDR, PLTE (palette only), tRNS (when the form has
// transparency), one IDAT and IEND. Palette and greyscale rows are written unfiltered, the two
// truecolour forms with the Paeth filter on every row, and the filtered image is deflated at
// level 9 (or the level a caller asks for) in one piece through the compression access layer.
//
// Translucent colours are stored straight, rounded up: ceil(colour * 255 / alpha). That is the
// one straight value that every decoder's truncating premultiply (straight * alpha / 255) turns
// back into exactly the stored premultiplied colour, so a save and a load give back the surface's
// pixels unchanged, however often they are repeated.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "base/encode_failure.h"

namespace talvrin {

class c32bppDIB;

namespace png {

// Sizes of the encoder's working buffers for an image of width x height at bytesPerPixel bytes
// a pixel (1 palette and greyscale, 3 truecolour, 4 truecolour with alpha).
struct EncoderSizes {
    std::int64_t filteredRow = 0;       // the filter byte and one row of pixel bytes
    std::int64_t filteredImage = 0;     // every filtered row
    std::int64_t compressCapacity = 0;  // filteredImage * 1.01 + 12, rounded to the nearest
};

// The sizes, or nothing when a dimension is below 1 or any of them exceeds 2^31 - 1 (the
// largest PNG chunk, and the largest byte array the image classes hand around).
[[nodiscard]] std::optional<EncoderSizes> encoderSizes(std::int32_t width, std::int32_t height,
                                                       std::int32_t bytesPerPixel) noexcept;

}  // namespace png

class cPNGwriter {
  public:
    // The zlib level the image data is deflated at: 9 (the smallest) unless a caller that
    // prefers speed asks for less; 0 stores it uncompressed. Levels outside 0 ... 9 count as 9.
    explicit cPNGwriter(int level = 9) noexcept : level_(level >= 0 && level <= 9 ? level : 9) {}

    // Encodes cHost's image into outStream, which then holds exactly the PNG file from index 0.
    // False, leaving outStream as it was, when the surface holds no image or the compression
    // library is not available. False with outStream emptied when the encoding fails: a
    // translucent pixel whose colour exceeds its alpha (not a premultiplied surface), sizes
    // beyond 2^31 - 1, memory, or the compression itself. The surface is never changed.
    // With the surface's alpha flag false every pixel counts as opaque, whatever its alpha byte.
    bool WritePNG(const c32bppDIB& cHost, std::vector<std::uint8_t>& outStream) noexcept;
    // Why the last WritePNG failed (no image, unavailable, not premultiplied, too large, out of
    // memory, compression failed); reason kNone after a success.
    [[nodiscard]] const SaveFailure& lastSaveFailure() const noexcept { return failure_; }

  private:
    int level_ = 9;
    SaveFailure failure_;
};

}  // namespace talvrin
