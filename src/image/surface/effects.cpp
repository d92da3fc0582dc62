// c32bppDIB: effects that change the surface's own pixels for good: colour inversion,
// transparency by colour key (and its undoing), and mirroring in place.
#include <cstring>
#include <span>

#include "base/geometry.h"
#include "image/codecs/pixel_helpers.h"
#include "image/surface/c32bpp_dib.h"
#include "image/surface/engine.h"

namespace talvrin {

namespace {

[[nodiscard]] std::size_t pixelCount(std::int32_t width, std::int32_t height) noexcept {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

}  // namespace

bool c32bppDIB::MakeImageInverse() {
    if (bits_ == nullptr) return false;
    std::uint8_t* p = bits_;
    const std::size_t n = pixelCount(width_, height_);
    for (std::size_t i = 0; i < n; ++i, p += 4) {
        const std::uint8_t a = p[kAlphaOffset];
        if (a == 0) continue;
        // The inverse colour stays premultiplied: a - c. A malformed colour above its alpha
        // would wrap, so it is held at 0.
        for (std::size_t c = 0; c < 3; ++c)
            p[c] = p[c] <= a ? static_cast<std::uint8_t>(a - p[c]) : 0;
    }
    return true;
}

bool c32bppDIB::MakeTransparent(std::uint32_t TransparentColor, bool Revert) {
    if (bits_ == nullptr) return false;
    // The key: an opaque pixel of the colour, in memory order B, G, R, A.
    const std::uint8_t keyBytes[4] = {blueOf(TransparentColor), greenOf(TransparentColor),
                                      redOf(TransparentColor), 255};
    std::uint32_t key = 0;
    std::memcpy(&key, keyBytes, 4);
    const std::size_t n = pixelCount(width_, height_);
    std::uint8_t* p = bits_;

    if (!Revert) {
        bool changed = false;
        for (std::size_t i = 0; i < n; ++i, p += 4) {
            std::uint32_t v = 0;
            std::memcpy(&v, p, 4);
            if (v != key) continue;
            std::memset(p, 0, 4);
            changed = true;
        }
        if (changed) {
            alpha_ = true;
            if (imageType_ == imgBitmap) imageType_ = imgBmpPARGB;
        }
        return true;
    }

    for (std::size_t i = 0; i < n; ++i, p += 4) {
        std::uint32_t v = 0;
        std::memcpy(&v, p, 4);
        if (v == 0) std::memcpy(p, &key, 4);
    }
    // Decide the alpha flag again from the pixels, changing none of them.
    bool alphaFlag = alpha_;
    std::int32_t scratchType = imageType_ == imgNone ? imgCreated : imageType_;
    if (ClassifyAlpha(std::span<std::uint8_t>(bits_, n * 4), width_, height_, false, alphaFlag,
                      scratchType)) {
        alpha_ = alphaFlag;
        if (!alpha_ && (imageType_ == imgBmpARGB || imageType_ == imgBmpPARGB))
            imageType_ = imgBitmap;
    }
    return true;
}

bool c32bppDIB::MirrorImage(bool MirrorAxisX, bool MirrorAxisY) {
    if (bits_ == nullptr || (!MirrorAxisX && !MirrorAxisY)) return false;
    auto copy = engine::WorkBuffer::create(width_, height_, false);
    if (copy.empty()) return false;
    const ConstPixelView self(bits_, width_, height_);
    if (!engine::mirrorCopy(self, 0, 0, width_, height_, MirrorAxisX, MirrorAxisY, copy.view()))
        return false;
    std::memcpy(bits_, copy.view().bits, pixelCount(width_, height_) * 4);
    return true;
}

}  // namespace talvrin
