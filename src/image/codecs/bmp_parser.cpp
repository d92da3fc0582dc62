#include "image/codecs/bmp_parser.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "base/byte_view.h"
#include "base/checked_math.h"
#include "base/decode_budget.h"
#include "image/codecs/pixel_helpers.h"
#include "image/codecs/platform_wrappers.h"
#include "image/surface/c32bpp_dib.h"
#include "image/surface/c32bpp_dib_internal.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/screen.h"
#include "platform/picture/picture.h"

namespace talvrin {

namespace {

constexpr std::uint16_t kBmpSignature = 0x4D42;  // "BM"
// The header fields the own path reads end with the compression code at bytes 30 ... 33.
constexpr std::uint64_t kHeaderFieldsEnd = 34;

// The surface's pixels as one span (empty without an image).
std::span<std::uint8_t> surfacePixels(const c32bppDIB& dib) noexcept {
    if (!dib.BitsPointer()) return {};
    return {dib.BitsPointer(),
            static_cast<std::size_t>(dib.scanWidth()) * static_cast<std::size_t>(dib.Height())};
}

// ClassifyAlpha over the whole surface; with makeOpaque the scan is skipped and every alpha byte
// becomes 255.
void classify(c32bppDIB& dib, bool makeOpaque) noexcept {
    bool alpha = false;
    std::int32_t type = makeOpaque ? imgNone : imgBitmap;
    ClassifyAlpha(surfacePixels(dib), dib.Width(), dib.Height(), true, alpha, type);
    SurfaceInternals::setAlpha(dib, alpha);
    SurfaceInternals::setImageType(dib, type);
}

}  // namespace

bool cBMPparser::LoadStream(std::span<const std::uint8_t> Stream, c32bppDIB& cHost,
                            std::int32_t streamOffset, std::int32_t streamLength) noexcept {
    failure_ = {DecodeFailure::kNotRecognised, {}};
    try {
        if (streamOffset < 0 || streamLength < 0) return false;
        const auto range = ByteView(Stream).sub(static_cast<std::uint64_t>(streamOffset),
                                                static_cast<std::uint64_t>(streamLength));
        if (!range) return false;
        const ByteView bmp = *range;

        std::int32_t bitCount = 0;
        if (bmp.u16le(0) == kBmpSignature) {
            if (!bmp.contains(0, kHeaderFieldsEnd))
                return failure_.refuse(DecodeFailure::kTruncated, "information header");
            const std::uint16_t bpp = *bmp.u16le(28);
            const std::int32_t width = *bmp.i32le(18);
            const std::int32_t height = *bmp.i32le(22);
            bitCount = bpp;
            if (width < 1 || height == 0 || height == INT_MIN)
                return failure_.refuse(DecodeFailure::kBadHeader, "width or height");
            const std::uint64_t rows = static_cast<std::uint64_t>(height < 0 ? -height : height);

            // The pixel data must lie wholly inside the stream; the sizes are 64-bit so that no
            // header value can wrap them.
            const std::uint64_t rowBytes =
                dwordAlignedRowBytes(static_cast<std::uint32_t>(width), bpp);
            const auto dataSize = checkedMul<std::uint64_t>(rowBytes, rows);
            const std::uint64_t dataOffset = *bmp.u32le(10);
            const bool inside = dataSize && bmp.contains(dataOffset, *dataSize);

            if (inside && bpp == 32 && *bmp.u32le(30) == 0) {
                if (!withinDecodeBudget(static_cast<std::uint64_t>(width), rows))
                    return failure_.refuse(DecodeFailure::kTooLarge, "beyond the decode budget");
                if (!cHost.InitializeDIB(width, static_cast<std::int32_t>(rows))) {
                    if (checkedMul<std::int32_t>(width, 4, static_cast<std::int32_t>(rows)))
                        return failure_.refuse(DecodeFailure::kOutOfMemory,
                                               "no room for the surface");
                    return failure_.refuse(DecodeFailure::kTooLarge, "beyond a 32-bit surface");
                }
                const std::size_t scan = static_cast<std::size_t>(cHost.scanWidth());
                const std::uint8_t* src = bmp.data() + dataOffset;
                std::uint8_t* dst = cHost.BitsPointer();
                if (height > 0) {
                    std::memcpy(dst, src, scan * rows);
                } else {
                    // Top-down file: its last stored row is the surface's bottom row.
                    for (std::uint64_t r = 0; r < rows; ++r)
                        std::memcpy(dst + r * scan, src + (rows - 1 - r) * scan, scan);
                }
                classify(cHost, false);
                failure_ = {};
                return true;
            }
        }

        // Everything else goes to the platform's picture loader.
        if (cHost.Handle() != nullptr) return false;
        auto [picture, failure] = BytesToPicture(Stream, streamOffset, streamLength);
        failure_ = failure;
        if (!picture) return false;
        if (takePictureBitmap(*picture, cHost)) return true;
        if (!ConvertstdPicTo32bpp(picture.get(), nullptr, cHost, bitCount))
            return failure_.refuse(DecodeFailure::kOutOfMemory, "no room for the surface");
        return true;
    } catch (...) {
        return failure_.refuse(DecodeFailure::kOutOfMemory, "no room to decode");
    }
}

bool cBMPparser::ConvertstdPicTo32bpp(const platform::Picture* stdPic,
                                      const platform::Bitmap* Handle, c32bppDIB& cHost,
                                      std::int32_t /*bitCount*/) noexcept {
    try {
        if ((stdPic == nullptr) == (Handle == nullptr)) return false;
        return stdPic ? convertPicture(*stdPic, cHost) : convertBitmap(*Handle, cHost);
    } catch (...) {
        cHost.DestroyDIB();
        return false;
    }
}

bool cBMPparser::convertBitmap(const platform::Bitmap& bitmap, c32bppDIB& cHost) {
    const std::int32_t width = bitmap.width();
    const std::int32_t height = bitmap.height() < 0 ? -bitmap.height() : bitmap.height();
    if (!cHost.InitializeDIB(width, height)) return false;
    platform::DeviceContext* dc = cHost.LoadDIBinDC(true);
    if (!dc) {
        cHost.DestroyDIB();
        return false;
    }
    const bool wide = bitmap.bitsPerPixel() == 32;
    if (wide) {
        // The bitmap exposes its bits: bytes per row x height, unchanged.
        std::memcpy(cHost.BitsPointer(), bitmap.bits(),
                    static_cast<std::size_t>(bitmap.stride()) * static_cast<std::size_t>(height));
    } else {
        // Other depths: the rows read out as 32-bit pixels, as a blit onto the surface would
        // give them, without selecting the caller's bitmap anywhere.
        platform::GetDIBits(bitmap, 0, height, surfacePixels(cHost), {width, height, 32});
    }
    cHost.LoadDIBinDC(false);
    classify(cHost, !wide);
    return true;
}

bool cBMPparser::takePictureBitmap(platform::Picture& picture, c32bppDIB& cHost) {
    // A bitmap picture made for these bytes alone, whose draw onto a surface of its size would
    // copy it pixel for pixel: the surface takes the bitmap itself, and the rest is as after the
    // draw (made opaque, Alpha false, the picture's type).
    if (picture.type() != platform::kPictureBitmap || !picture.ownsHandle()) return false;
    const std::int32_t width = ConvertHimetricToPixels(picture.Width(), true);
    const std::int32_t height = ConvertHimetricToPixels(picture.Height(), false);
    if (!picture.drawsUprightAsCopy(width, height)) return false;
    std::unique_ptr<platform::Bitmap> bitmap = picture.releaseBitmap();
    if (!cHost.AdoptBitmap(bitmap)) {
        picture.adopt(bitmap);  // the picture owns it again and draws it as usual
        return false;
    }
    classify(cHost, true);
    SurfaceInternals::setAlpha(cHost, false);
    SurfaceInternals::setImageType(cHost, platform::kPictureBitmap);
    return true;
}

bool cBMPparser::convertPicture(const platform::Picture& picture, c32bppDIB& cHost) {
    const std::int32_t type = picture.type();
    if (type == platform::kPictureNone) return false;
    const std::int32_t width = ConvertHimetricToPixels(picture.Width(), true);
    const std::int32_t height = ConvertHimetricToPixels(picture.Height(), false);
    if (!cHost.InitializeDIB(width, height)) return false;
    platform::DeviceContext* dc = cHost.LoadDIBinDC(true);
    if (!dc) {
        cHost.DestroyDIB();
        return false;
    }
    const bool metafile =
        type == platform::kPictureMetafile || type == platform::kPictureEnhMetafile;
    const auto pixels = surfacePixels(cHost);
    // A metafile draws only where it has content; the 255 fill marks what it leaves untouched.
    if (metafile) std::memset(pixels.data(), 255, pixels.size());
    picture.render(*dc, 0, 0, width, height, 0, picture.Height(), picture.Width(),
                   -picture.Height());
    cHost.LoadDIBinDC(false);

    if (metafile) {
        bool anyTransparent = false;
        for (std::size_t i = 0; i < pixels.size(); i += 4) {
            if (pixels[i + 3] == 255) {
                std::memset(&pixels[i], 0, 4);
                anyTransparent = true;
            } else {
                pixels[i + 3] = 255;
            }
        }
        SurfaceInternals::setAlpha(cHost, anyTransparent);
    } else {
        classify(cHost, true);
        SurfaceInternals::setAlpha(cHost, false);
    }
    SurfaceInternals::setImageType(cHost, type);
    return true;
}

std::int32_t cBMPparser::ConvertHimetricToPixels(std::int32_t value, bool horizontal) noexcept {
    const double twipsPerPixel =
        horizontal ? platform::twipsPerPixelX() : platform::twipsPerPixelY();
    if (!(twipsPerPixel > 0)) return 0;
    // nearbyint rounds halves to even in the default rounding mode.
    const double pixels =
        std::nearbyint(static_cast<double>(value) * 1440.0 / 2540.0 / twipsPerPixel);
    return static_cast<std::int32_t>(pixels);
}

}  // namespace talvrin
