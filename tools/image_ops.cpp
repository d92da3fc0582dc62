// Orientation and resizing over the surface's public interface.
#include "tools/image_ops.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "base/decode_budget.h"
#include "base/pixels.h"
#include "image/surface/c32bpp_dib.h"

namespace talvrin::tool {

namespace {

// After a copy into a fresh surface (whose alpha flag is set): an image that had no alpha is
// made opaque again and the flag decided anew from the pixels. A pixel the copy left partly
// covered (a resampled edge, where the kernel reached past the image and found nothing) is an
// opaque colour weighted by its coverage: dividing by the coverage gives the colour back, as if
// the edge pixels had been repeated outwards.
void keepOpaque(const c32bppDIB& from, c32bppDIB& to) {
    if (from.Alpha()) return;
    std::uint8_t* p = to.BitsPointer();
    const std::size_t n =
        static_cast<std::size_t>(to.Width()) * static_cast<std::size_t>(to.Height());
    for (std::size_t i = 0; i < n; ++i, p += 4) {
        const unsigned a = p[3];
        if (a != 255 && a != 0)
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<std::uint8_t>(std::min(255u, (p[c] * 255u + a / 2) / a));
        p[3] = 255;
    }
    // No pixel is transparent, so nothing is filled; the flag is decided from the pixels.
    to.MakeTransparent(0, true);
}

}  // namespace

bool applyOrientation(std::unique_ptr<c32bppDIB>& image, std::int32_t orientation) {
    c32bppDIB& src = *image;
    switch (orientation) {
        case 2:
            return src.MirrorImage(true, false);
        case 3:
            return src.MirrorImage(true, true);
        case 4:
            return src.MirrorImage(false, true);
        case 5:
        case 6:
        case 7:
        case 8:
            break;
        default:
            return true;  // 1, or no valid orientation: as stored
    }
    // Transposed: displayed pixel (x, y) is stored pixel (y, x); 6, 7 and 8 then mirror it.
    const std::int32_t w = src.Width(), h = src.Height();
    auto turned = std::make_unique<c32bppDIB>();
    if (!turned->InitializeDIB(h, w)) return false;
    const std::uint8_t* s = src.BitsPointer();
    std::uint8_t* d = turned->BitsPointer();
    const std::size_t sStride = src.scanWidth(), dStride = turned->scanWidth();
    for (std::int32_t y = 0; y < w; ++y) {
        std::uint8_t* row = d + pixelOffset(0, y, w, dStride);
        for (std::int32_t x = 0; x < h; ++x)
            std::memcpy(row + std::size_t(x) * 4, s + pixelOffset(y, x, h, sStride), 4);
    }
    keepOpaque(src, *turned);
    if (orientation == 6) turned->MirrorImage(true, false);
    if (orientation == 7) turned->MirrorImage(true, true);
    if (orientation == 8) turned->MirrorImage(false, true);
    image = std::move(turned);
    return true;
}

std::unique_ptr<c32bppDIB> resized(c32bppDIB& image, std::int32_t width, std::int32_t height) {
    auto out = std::make_unique<c32bppDIB>();
    if (!out->InitializeDIB(width, height)) return nullptr;
    image.setHighQualityInterpolation(true);
    if (!image.Render(nullptr, 0, 0, width, height, 0, 0, 0, 0, 100, 0, true, out.get()))
        return nullptr;
    keepOpaque(image, *out);
    return out;
}

}  // namespace talvrin::tool

namespace talvrin::tool {

std::uint64_t pixelLimit() noexcept {
    // The surface's own limit: width * height * 4 bytes within the signed 32-bit range.
    constexpr std::uint64_t kSurfaceLimit = std::numeric_limits<std::int32_t>::max() / 4;
    const std::uint64_t budget = decodeBudget();
    return budget == 0 ? kSurfaceLimit : std::min(budget, kSurfaceLimit);
}

std::optional<Failure> sizeFailure(std::int64_t width, std::int64_t height) {
    const std::uint64_t limit = pixelLimit();
    const auto w = static_cast<std::uint64_t>(width), h = static_cast<std::uint64_t>(height);
    if (width >= 1 && height >= 1 && h <= limit / w) return std::nullopt;
    return tooLarge(pixelsText(width, height));
}

}  // namespace talvrin::tool
