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
    // empty when the data failed after its signature was accepted: a walk that ran past the
    // data, LZW data, a code size, an image size or a pixel index that is invalid, or a surface
    // that could not be created.
    bool LoadStream(std::span<const std::uint8_t> inStream, c32bppDIB& cHost,
                    std::int32_t streamOffset, std::int32_t streamLength) noexcept;

    // Why the last load left no image (no failure when it produced one), also when the data was
    // not taken (not recognised, or a structure that keeps it from being a GIF).
    [[nodiscard]] const LoadFailure& lastLoadFailure() const noexcept { return failure_; }

  private:
    LoadFailure failure_;
};

}  // namespace talvrin
