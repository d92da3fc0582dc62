// c32bppDIB: the services the image control uses around its image: a region that follows the
// visible pixels (built by the region builder of the codecs), a checkerboard that shows
// transparency, and a copy of the image into another surface, resized or mirrored. The
// imaging-library bridge is absent on this platform, so copies of another size are made by the
// engine or by Render.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "base/checked_math.h"
#include "image/bridge/gdiplus.h"
#include "image/codecs/region_builder.h"
#include "image/surface/c32bpp_dib.h"
#include "image/surface/engine.h"
#include "platform/gdi/device_context.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/region.h"

namespace talvrin {

namespace {

// The magnitude of a requested size, when a surface can have it.
[[nodiscard]] std::optional<std::int32_t> magnitude(std::int32_t size) noexcept {
    return checkedCast<std::int32_t>(std::abs(std::int64_t{size}));
}

// The whole of a view resampled into out at out's size.
[[nodiscard]] bool resampleWhole(ConstPixelView source, PixelView out, bool bilinear) noexcept {
    engine::ScaleJob job;
    job.srcWidth = source.width;
    job.srcHeight = source.height;
    job.fullWidth = out.width;
    job.fullHeight = out.height;
    job.bilinear = bilinear;
    return engine::scaleToBuffer(source, job, out);
}

}  // namespace

std::unique_ptr<platform::Region> c32bppDIB::CreateRegion(std::int32_t Style, std::int32_t xOffset,
                                                          std::int32_t yOffset) const {
    if (bits_ == nullptr || Style < kRegionBoundingBox || Style > kRegionExactShape) return nullptr;
    auto region = buildRegion(ConstPixelView(bits_, width_, height_), alpha_, Style);
    // A region that cannot be moved where the caller wants it is no answer at all.
    if (region && (xOffset != 0 || yOffset != 0) && !region->offset(xOffset, yOffset))
        return nullptr;
    return region;
}

bool c32bppDIB::CreateCheckerBoard(std::int32_t CheckerSize, std::uint32_t FirstColor,
                                   std::uint32_t SecondColor) {
    try {
        // A size below 1 would never step across the image.
        if (dib_ == nullptr || CheckerSize < 1) return false;
        const bool wasSelected = savedObject_ != nullptr;
        platform::DeviceContext* dc = LoadDIBinDC(true);
        if (dc == nullptr) return false;
        const auto first = platform::createSolidBrush(FirstColor);
        const auto second = platform::createSolidBrush(SecondColor);
        bool filled = first != nullptr && second != nullptr;
        // Edges in 64 bits: a square may reach far beyond the image.
        const std::int64_t step = CheckerSize;
        bool rowStartsFirst = true;
        for (std::int64_t top = 0; filled && top < height_; top += step) {
            const auto bottom =
                static_cast<std::int32_t>(std::min(top + step, std::int64_t{height_}));
            bool useFirst = rowStartsFirst;
            for (std::int64_t left = 0; filled && left < width_; left += step) {
                const Rect square{
                    static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
                    static_cast<std::int32_t>(std::min(left + step, std::int64_t{width_})), bottom};
                filled = platform::FillRect(*dc, square, useFirst ? first.get() : second.get());
                useFirst = !useFirst;
            }
            rowStartsFirst = !rowStartsFirst;
        }
        if (!wasSelected) LoadDIBinDC(false);
        if (!filled) return false;
        // Fills leave alpha 0 in a 32-bit surface; the squares are opaque.
        const std::size_t count = dib_->byteCount();
        for (std::size_t i = kAlphaOffset; i < count; i += kBytesPerPixel)
            bits_[i] = 255;
        alpha_ = false;
        imageType_ = imgCheckerBoard;
        return true;
    } catch (...) {
        return false;
    }
}

void c32bppDIB::CopyImageTo(std::unique_ptr<c32bppDIB>& cDIBclass, std::int32_t newWidth,
                            std::int32_t newHeight, bool CopyOriginalFormat) {
    try {
        if (dib_ == nullptr) return;
        if (newWidth == 0) newWidth = width_;
        if (newHeight == 0) newHeight = height_;
        const auto w = magnitude(newWidth);
        const auto h = magnitude(newHeight);
        if (!w || !h || !imageByteCount32(*w, *h)) return;

        if (cDIBclass.get() == this) {
            // The target's re-creation would take the source with it: copy into a temporary
            // first, then take its pixels over.
            std::unique_ptr<c32bppDIB> copy;
            CopyImageTo(copy, newWidth, newHeight, CopyOriginalFormat);
            if (!copy) return;
            if ((width_ != copy->width_ || height_ != copy->height_) &&
                !InitializeDIB(copy->width_, copy->height_))
                return;
            std::memcpy(bits_, copy->bits_, copy->dib_->byteCount());
            alpha_ = copy->alpha_;
            imageType_ = copy->imageType_;
            sourceBytes_ = std::move(copy->sourceBytes_);
            return;
        }

        std::unique_ptr<c32bppDIB> created;
        c32bppDIB* target = cDIBclass.get();
        if (target == nullptr) {
            created = std::make_unique<c32bppDIB>();
            created->setGdiToken(gdiToken_);
            created->setGDIplusEnabled(isGDIplusEnabled());
            created->setHighQualityInterpolation(highQuality_);
            if (!created->InitializeDIB(*w, *h)) return;
            target = created.get();
        } else {
            target->setGdiToken(gdiToken_);
            if ((target->width_ != *w || target->height_ != *h) && !target->InitializeDIB(*w, *h))
                return;
        }
        target->alpha_ = alpha_;
        target->imageType_ = imageType_;

        const ConstPixelView self(bits_, width_, height_);
        const PixelView out(target->bits_, target->width_, target->height_);
        bool copied = false;
        if (newWidth == width_ && newHeight == height_) {
            std::memcpy(out.bits, self.bits, dib_->byteCount());
            copied = true;
        } else {
            // Old consumer-family systems stretch badly through AlphaBlend: the engine resamples
            // there instead.
            const bool wasFriendly = isAlphaBlendFriendly();
            if (wasFriendly && (capabilityFlags_ & kCapConsumerFamily) != 0)
                setAlphaBlendFriendly(false);
            if (isGDIplusEnabled() && !(isAlphaBlendFriendly() && !highQuality_)) {
                // The imaging-library bridge draws the whole image, mirrored by the signs, at
                // high quality onto the cleared target.
                std::memset(out.bits, 0, target->dib_->byteCount());
                platform::DeviceContext* targetDC = target->LoadDIBinDC(true);
                cGDIPlus bridge;
                copied = targetDC && bridge.RenderWithGDIPlus(*this, *targetDC, 0, 100, 0, 0,
                                                              newWidth, newHeight, 0, 0, width_,
                                                              height_, true, -1, gdiToken_, 0);
                target->LoadDIBinDC(false);
            } else if (newWidth < 0 || newHeight < 0) {
                const bool mirrorX = newWidth < 0, mirrorY = newHeight < 0;
                if (*w == width_ && *h == height_) {
                    copied = engine::mirrorCopy(self, 0, 0, width_, height_, mirrorX, mirrorY, out);
                } else {
                    // The mirror copy is made at the image's own size, then resampled into the
                    // target's.
                    const auto mirrored = engine::WorkBuffer::create(width_, height_, false);
                    copied = !mirrored.empty() &&
                             engine::mirrorCopy(self, 0, 0, width_, height_, mirrorX, mirrorY,
                                                mirrored.view()) &&
                             resampleWhole(mirrored.view(), out, highQuality_);
                }
            } else if (!isAlphaBlendFriendly() || highQuality_) {
                copied = resampleWhole(self, out, highQuality_);
            } else {
                // Render composes over the target: start from a clear one, so that a reused
                // target shows none of its earlier pixels through transparent ones.
                std::memset(out.bits, 0, target->dib_->byteCount());
                const bool wasSelected = savedObject_ != nullptr;
                LoadDIBinDC(true);
                platform::DeviceContext* targetDC = target->LoadDIBinDC(true);
                copied = Render({.dc = targetDC,
                                 .host = target,
                                 .destWidth = newWidth,
                                 .destHeight = newHeight,
                                 .setHalfTone = false});
                target->LoadDIBinDC(false);
                if (!wasSelected) LoadDIBinDC(false);
            }
            if (wasFriendly) setAlphaBlendFriendly(true);
        }
        if (!copied) {
            // No stale or half-made pixels under this image's type: a blank target.
            target->EraseDIB();
            return;
        }
        // Bytes a reused target kept describe what it held before, not this copy.
        if (CopyOriginalFormat)
            target->setSourceBytes(std::span<const std::uint8_t>(sourceBytes_));
        else
            target->setSourceBytes(std::vector<std::uint8_t>{});
        if (created) cDIBclass = std::move(created);
    } catch (...) {
        // A failed copy changes nothing more; no exception leaves the surface.
    }
}

}  // namespace talvrin
