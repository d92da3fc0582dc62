// Vitrel: the drawing size and position of the image, the AutoSize window, the AutoRedraw cache,
// the drop shadow, the hit-test region, and painting.
//
// Rounding and halving follow control_rounding.h.
#include <algorithm>
#include <cmath>
#include <limits>

#include "image/control/control_rounding.h"
#include "image/control/vitrel.h"
#include "image/surface/image_types.h"
#include "platform/gdi/device_context.h"
#include "platform/gdi/screen.h"

namespace talvrin {

using control_rounding::halve;
using control_rounding::nearest;

// ---- Sizes
// ---------------------------------------------------------------------------------------

void Vitrel::GetImageScales(std::int32_t& Width, std::int32_t& Height, std::int32_t ScaleMethod,
                            std::int32_t desiredWidth, std::int32_t desiredHeight,
                            bool asRotatedImage) const {
    if (!surface_->BitsPointer()) return;
    std::int32_t method = ScaleMethod < 0 ? scaleMethod_ : std::min(ScaleMethod, 4);
    // A stored method below 0 behaves as fit.
    if (method < 0) method = 0;
    if (method > 4) method = 4;
    if (method == 4) {
        Width = customWidth_;
        Height = customHeight_;
        return;
    }
    const double dw = desiredWidth < 1 ? host_.width() : desiredWidth;
    const double dh = desiredHeight < 1 ? host_.height() : desiredHeight;
    const double w = surface_->Width(), h = surface_->Height();
    if (!asRotatedImage) {
        if (method == 1) {
            Width = nearest(dw);
            Height = nearest(dh);
        } else if (method == 3) {
            Width = surface_->Width();
            Height = surface_->Height();
        } else {
            const double rx = dw / w, ry = dh / h;
            double s = ry < rx ? ry : rx;  // the width ratio when equal
            if (method == 2 && s > 1) s = 1;
            Width = nearest(s * w);
            Height = nearest(s * h);
        }
        return;
    }
    if (method == 3) {
        Width = surface_->Width();
        Height = surface_->Height();
        return;
    }
    const double d = nearest(std::sqrt(w * w + h * h));
    const double rx = w / d, ry = h / d;
    if (method == 1) {
        Width = nearest(dw * rx);
        Height = nearest(dh * ry);
        return;
    }
    const double m = dh < dw ? dh : dw;
    Width = nearest(rx * m);
    Height = nearest(ry * m);
    if (method == 2 && (surface_->Width() < Width || surface_->Height() < Height)) {
        Width = surface_->Width();
        Height = surface_->Height();
    }
}

void Vitrel::Resize() {
    if (resizing_) return;
    const std::int32_t w = host_.width(), h = host_.height();
    if (!surface_->BitsPointer() && !host_.userMode() && w > 0 && h > 0) {
        // Design time: an empty control shows a checkerboard of its own size.
        if (surface_->InitializeDIB(w, h))
            surface_->CreateCheckerBoard(kCheckerSize, kCheckerFirst, kCheckerSecond);
    }
    Layout l;
    if (surface_->BitsPointer()) {
        GetImageScales(l.scaledWidth, l.scaledHeight, scaleMethod_, w, h, RotateEnabled());
    }
    if (RotateEnabled()) {
        l.square = nearest(std::sqrt(double(l.scaledWidth) * l.scaledWidth +
                                     double(l.scaledHeight) * l.scaledHeight));
        if (scaleMethod_ == 4) {
            l.offsetX = std::max(halve(std::int64_t{w} - l.scaledWidth), 0);
            l.offsetY = std::max(halve(std::int64_t{h} - l.scaledHeight), 0);
        } else {
            l.offsetX = halve(std::int64_t{w} - l.square);
            l.offsetY = halve(std::int64_t{h} - l.square);
        }
        l.actualSize = false;
    } else {
        l.offsetX = std::max(halve(std::int64_t{w} - l.scaledWidth), 0);
        l.offsetY = std::max(halve(std::int64_t{h} - l.scaledHeight), 0);
        l.actualSize = surface_->BitsPointer() && l.scaledWidth == surface_->Width() &&
                       l.scaledHeight == surface_->Height();
    }
    layout_ = l;
    if (AutoSize() && surface_->BitsPointer()) {
        const std::int32_t wantW = RotateEnabled() ? l.square : l.scaledWidth;
        const std::int32_t wantH = RotateEnabled() ? l.square : l.scaledHeight;
        layout_.offsetX = layout_.offsetY = 0;
        // The resize this causes arrives while resizing_ is set and changes nothing.
        resizing_ = true;
        host_.requestResize(
            static_cast<std::int32_t>(std::int64_t{wantW} * host_.twipsPerPixelX()),
            static_cast<std::int32_t>(std::int64_t{wantH} * host_.twipsPerPixelY()));
        resizing_ = false;
    }
    if (!rebuildCache(true, true)) buildHitRegion();
}

void Vitrel::Refresh() {
    readContainerScaleMode();
    host_.requestRepaint();
}

void Vitrel::OffsetShadow(std::int32_t x, std::int32_t y) {
    shadowX_ = x;
    shadowY_ = y;
    if (ShadowEnabled()) host_.requestRepaint();
}

void Vitrel::OffsetImage(bool SetOffsets, std::int32_t& x, std::int32_t& y, std::int32_t& ShadowX,
                         std::int32_t& ShadowY) {
    if (!SetOffsets) {
        x = imageOffsetX_;
        y = imageOffsetY_;
        ShadowX = shadowX_;
        ShadowY = shadowY_;
        return;
    }
    imageOffsetX_ = x;
    imageOffsetY_ = y;
    if (ShadowX != 0) shadowX_ = ShadowX;
    if (ShadowY != 0) shadowY_ = ShadowY;
    // The hit-test area follows: its bounding box's top-left corner goes to (x, y).
    if (hitRegion_) {
        const Rect box = hitRegion_->boundingBox();
        hitRegion_->offset(x - box.left, y - box.top);
    } else {
        const std::int32_t dx = x - hitRect_.left, dy = y - hitRect_.top;
        hitRect_ = {hitRect_.left + dx, hitRect_.top + dy, hitRect_.right + dx,
                    hitRect_.bottom + dy};
    }
    host_.requestRepaint();
}

// ---- The cache, the shadow and the hit-test region ---------------------------------------------

void Vitrel::dropCache() {
    cache_.reset();
}

bool Vitrel::drawIntoCache(bool recreate) {
    const std::int32_t w = host_.width(), h = host_.height();
    if (recreate || !cache_) {
        if (!cache_) {
            cache_ = std::make_unique<c32bppDIB>();
            cache_->setGdiToken(surface_->gdiToken());
        }
        if (layout_.scaledWidth == 0) return false;
        if (cache_->Width() == w && cache_->Height() == h) {
            cache_->EraseDIB();
        } else if (!cache_->InitializeDIB(w, h)) {
            cache_.reset();
            return false;
        }
    } else {
        cache_->EraseDIB();
    }
    // Opacity, grayscale and lightness are applied when the cache is painted.
    if (RotateEnabled()) {
        surface_->Render(nullptr, halve(w), halve(h), layout_.scaledWidth, layout_.scaledHeight, 0,
                         0, 0, 0, 100, 0, true, cache_.get(), -1, 0, static_cast<float>(angle_),
                         true);
        cache_->setAlpha(true);
    } else {
        surface_->Render(nullptr, layout_.offsetX, layout_.offsetY, layout_.scaledWidth,
                         layout_.scaledHeight, 0, 0, 0, 0, 100, 0, false, cache_.get(), -1, 0, 0,
                         false);
        cache_->setAlpha(surface_->Alpha());
    }
    return true;
}

bool Vitrel::rebuildCache(bool recreate, bool rebuildRegion) {
    bool done = false;
    if ((flags_ & kFlagCacheActive) != 0 && surface_->BitsPointer()) {
        if (!drawIntoCache(recreate)) return false;
        if (rebuildRegion) buildHitRegion();
        done = rebuildRegion;
    }
    if (ShadowEnabled()) rebuildShadow();
    return done;
}

void Vitrel::rebuildShadow() {
    shadow_.reset();
    shadowFromCache_ = false;
    if (!ShadowEnabled() || !surface_->BitsPointer() || layout_.scaledWidth < 1 ||
        layout_.scaledHeight < 1)
        return;
    // Small images drawn at their own size take their shadow just in time when painted.
    if (!RotateEnabled() && layout_.actualSize && surface_->Width() <= 128 &&
        surface_->Height() <= 128)
        return;
    const std::uint32_t color = platform::translateColor(shadowColor_) & 0xFFFFFFu;
    if (cache_ && cache_->BitsPointer()) {
        shadow_ = cache_->CreateDropShadow(shadowDepth_, color);
        shadowFromCache_ = shadow_ != nullptr;
    } else {
        std::unique_ptr<c32bppDIB> scaled;
        if (RotateEnabled()) {
            surface_->CopyImageTo(scaled, layout_.scaledWidth, layout_.scaledHeight);
        } else {
            scaled = std::make_unique<c32bppDIB>();
            if (scaled->InitializeDIB(layout_.scaledWidth, layout_.scaledHeight)) {
                surface_->Render(nullptr, 0, 0, layout_.scaledWidth, layout_.scaledHeight, 0, 0, 0,
                                 0, 100, 0, false, scaled.get());
                scaled->setAlpha(true);
            } else {
                scaled.reset();
            }
        }
        if (scaled) shadow_ = scaled->CreateDropShadow(shadowDepth_, color);
    }
    if (shadow_) shadow_->setGdiToken(surface_->gdiToken());
}

void Vitrel::buildHitRegion() {
    hitRegion_.reset();
    const std::int32_t w = host_.width(), h = host_.height();
    hitRect_ = {0, 0, w, h};
    if (!host_.enabled() || !host_.userMode() || !surface_->BitsPointer() || hitTest_ == 0) return;
    // The region of the image as drawn in the control: from the cache, or from a temporary one.
    const bool temporary = cache_ == nullptr;
    if (!temporary || drawIntoCache(true)) hitRegion_ = cache_->CreateRegion(hitTest_ - 1, 0, 0);
    if (temporary) dropCache();
    if (!hitRegion_) {
        // No visible pixel: nothing of the control is hit.
        hitRect_ = {};
        return;
    }
    if (hitTest_ == 1) {
        hitRect_ = hitRegion_->boundingBox();
        hitRegion_.reset();
    }
}

// ---- Painting
// ------------------------------------------------------------------------------------

void Vitrel::Paint(platform::DeviceContext& dc) {
    if (resizing_ || !surface_->BitsPointer()) return;
    const std::int32_t w = host_.width(), h = host_.height();
    const Layout& l = layout_;
    const Rect image =
        RotateEnabled()
            ? Rect{l.offsetX, l.offsetY, l.offsetX + l.square, l.offsetY + l.square}
            : Rect{l.offsetX, l.offsetY, l.offsetX + l.scaledWidth, l.offsetY + l.scaledHeight};
    const Rect clip = intersect(dc.clipBox(), image);
    if (clip.isEmpty()) return;
    const auto angle = static_cast<float>(angle_);

    if (ShadowEnabled()) {
        const std::int32_t opacity = shadowOpacity_ * opacity_ / 100;
        const std::uint32_t color = platform::translateColor(shadowColor_) & 0xFFFFFFu;
        if (!shadow_) {
            surface_->RenderDropShadow_JIT(&dc,
                                           shadowX_ + halve(std::int64_t{w} - surface_->Width()),
                                           shadowY_ + halve(std::int64_t{h} - surface_->Height()),
                                           shadowDepth_, color, opacity);
        } else if (RotateEnabled() && !shadowFromCache_) {
            shadow_->Render(&dc, shadowX_ + halve(w), shadowY_ + halve(h), l.scaledWidth,
                            l.scaledHeight, 0, 0, 0, 0, opacity, 0, true, nullptr, grayFormula_, 0,
                            angle, true);
        } else {
            // Unrotated, or built from the cache, which already holds the image as drawn.
            shadow_->Render(&dc, shadowX_ + halve(std::int64_t{w} - shadow_->Width()),
                            shadowY_ + halve(std::int64_t{h} - shadow_->Height()), 0, 0, 0, 0, 0, 0,
                            opacity, 0, true, nullptr, grayFormula_, 0, 0, false);
        }
    }

    const std::int32_t cw = static_cast<std::int32_t>(clip.width());
    const std::int32_t ch = static_cast<std::int32_t>(clip.height());
    if (cache_ && cache_->BitsPointer()) {
        cache_->Render(&dc, clip.left + imageOffsetX_, clip.top + imageOffsetY_, cw, ch, clip.left,
                       clip.top, cw, ch, opacity_, 0, true, nullptr, grayFormula_, lightness_, 0,
                       false);
        return;
    }
    if (RotateEnabled()) {
        surface_->Render(&dc, imageOffsetX_ + halve(w), imageOffsetY_ + halve(h), l.scaledWidth,
                         l.scaledHeight, 0, 0, 0, 0, opacity_, 0, true, nullptr, grayFormula_,
                         lightness_, angle, true);
    } else if (l.actualSize) {
        surface_->Render(&dc, clip.left + imageOffsetX_, clip.top + imageOffsetY_, cw, ch,
                         clip.left - l.offsetX, clip.top - l.offsetY, cw, ch, opacity_, 0, true,
                         nullptr, grayFormula_, lightness_, 0, false);
    } else {
        surface_->Render(&dc, l.offsetX + imageOffsetX_, l.offsetY + imageOffsetY_, l.scaledWidth,
                         l.scaledHeight, 0, 0, 0, 0, opacity_, 0, true, nullptr, grayFormula_,
                         lightness_, 0, false);
    }
}

}  // namespace talvrin
