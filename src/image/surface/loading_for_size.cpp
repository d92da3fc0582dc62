// Loading for a smaller drawing: a JPEG decoded at the library's own reduced scale and resampled
// at once to the drawing's size, so that the full-size image is never made.
#include <limits>

#include "image/bridge/resample.h"
#include "image/surface/c32bpp_dib.h"
#include "platform/picture/jpeg_decoder.h"
#include "platform/picture/picture_loader.h"

namespace talvrin {

bool c32bppDIB::LoadPicture_StreamForSize(std::span<const std::uint8_t> inStream,
                                          std::int32_t width, std::int32_t height,
                                          std::int32_t orientation) {
    const bool swapped = orientation >= 5 && orientation <= 8;
    const std::int32_t w = swapped ? height : width, h = swapped ? width : height;
    const ByteView bytes(inStream.data(), inStream.size());
    // The ranges LoadPicture_Stream takes; it refuses the others in its own words.
    constexpr std::size_t kMinimumBytes = 57;
    const bool candidate =
        isGDIplusEnabled() && platform::jpegDecoderAvailable() &&
        inStream.size() >= kMinimumBytes &&
        inStream.size() <= std::size_t{std::numeric_limits<std::int32_t>::max()} &&
        platform::looksLikeJpeg(bytes);
    const auto stored = candidate ? platform::jpegDeclaredSize(bytes) : std::nullopt;
    const std::int32_t reduction =
        stored ? platform::jpegReductionFor(stored->width, stored->height, w, h) : 1;
    if (reduction == 1) return LoadPicture_Stream(inStream);
    const std::unique_ptr<platform::Bitmap> small =
        platform::decodeJpeg(bytes, std::numeric_limits<std::uint64_t>::max(), reduction).image;
    // Data the reduced decode refuses goes the usual way, which says why in its own words.
    if (!small) return LoadPicture_Stream(inStream);
    if (!InitializeDIB(w, h)) {
        DestroyDIB();
        return lastLoadFailure_.refuse(DecodeFailure::kOutOfMemory, "no room for the surface");
    }
    // Each decoded pixel stands for reduction x reduction stored pixels from the top-left
    // corner, so the stored image spans stored / reduction of them (the last in part): the
    // drawing's pixel centres map onto the stored image's as a draw of the whole image would.
    using namespace bridge::resample;
    const Source from{small->rowFromTop(0), -static_cast<std::ptrdiff_t>(small->stride()),
                      small->width(), small->height()};
    const auto scan = static_cast<std::ptrdiff_t>(scanWidth());
    const Target to{BitsPointer() + scan * (h - 1), -scan, w, h, 4};
    const Map map{double(stored->width) / reduction / w,  0, 0, 0,
                  double(stored->height) / reduction / h, 0};
    if (!draw(from, map, Kernel::kCubic, 1, Rect{0, 0, w, h}, to)) {
        DestroyDIB();
        return lastLoadFailure_.refuse(DecodeFailure::kOutOfMemory, "no room to resample");
    }
    alpha_ = false;
    imageType_ = imgBitmap;
    lastLoadFailure_ = {};
    return true;
}

}  // namespace talvrin
