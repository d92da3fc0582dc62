// cGIFparser: loads the first image of a GIF into a surface, with the transparency of the last
// graphic control extension before it. The image is decoded directly by the platform's GIF
// decoder and kept as colour-table indices, so that the transparent index is told apart from a
// repeated colour.
#pragma once

#include <cstdint>
#include <span>

#include "platform/picture/gif_decoder.h"

namespace talvrin {

class c32bppDIB;

class cGIFparser {
  public:
    // Decodes streamLength bytes of inStream from streamOffset (a view, no copy) into cHost.
    // False, leaving the surface untouched, when the range lies outside inStream or the data is
    // not taken as a GIF (wrong signature, an unexpected block before the first image, an image
    // block under 4 bytes, no colour table at all). True otherwise: the surface then holds the
    // image (ImageType imgGIF; Alpha true exactly when the image has a transparent index), or is
    // empty when the data failed after its signature was accepted (see lastFailure).
    bool LoadStream(std::span<const std::uint8_t> inStream, c32bppDIB& cHost,
                    std::int32_t streamOffset, std::int32_t streamLength) noexcept;

    // Why the last load that answered true left the surface empty.
    enum class Failure : std::uint8_t {
        kNone,
        kTruncated,  // a descriptor, table, extension or sub-block ran past the data
        kDecode,     // the LZW data, code size, image size or a pixel index was invalid
        kSurface,    // the surface could not be created
    };
    [[nodiscard]] Failure lastFailure() const noexcept { return failure_; }
    [[nodiscard]] platform::GifDecodeStatus lastDecodeStatus() const noexcept {
        return decodeStatus_;
    }
    // The shared reason of the last load: kNone when it produced an image, also set when the
    // data was not taken (not recognised, or a structure that keeps it from being a GIF).
    [[nodiscard]] DecodeFailure decodeFailure() const noexcept { return decodeFailure_; }

  private:
    // Records why, empties the surface and answers true: the data stays claimed as a GIF.
    bool claimWithoutImage(c32bppDIB& cHost, Failure failure, DecodeFailure reason) noexcept;

    Failure failure_ = Failure::kNone;
    platform::GifDecodeStatus decodeStatus_ = platform::GifDecodeStatus::kOk;
    DecodeFailure decodeFailure_ = DecodeFailure::kNone;
};

}  // namespace talvrin
