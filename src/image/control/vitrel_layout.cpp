// Vitrel: the drawing size and position of the image, the AutoSize window, the AutoRedraw cache,
// the drop shadow, the hit-test region, and painting.
//
// Rounding and halving follow control_rounding.h.
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <tuple>

#include "base/checked_math.h"
#include "base/decode_budget.h"
#include "image/control/control_rounding.h"
#include "image/control/image_scales.h"
#include "image/control/vitrel.h"
#include "image/surface/image_types.h"
#include "platform/gdi/device_context.h"
#include "platform/gdi/screen.h"

namespace talvrin {

using control_rounding::halve;
using control_rounding::nearest;
using HostAlpha = c32bppDIB::HostAlpha;

namespace {

// A position worked out in 64 bits. Stored offsets may be anything a 32-bit value holds, so a
// sum can leave the range; no pixel of any target lies there, and the draw is skipped.
[[nodiscard]] std::optional<std::int32_t> position(std::int64_t v) noexcept {
    return checkedCast<std::int32_t>(v);
}

// The rectangle at (x, y) of the given size, its far edges held to the 32-bit range (they only
// meet clip boxes, which lie inside it).
[[nodiscard]] Rect rectAt(std::int32_t x, std::int32_t y, std::int32_t width,
                          std::int32_t height) noexcept {
    const auto edge = [](std::int64_t v) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(
            v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
    };
    return {x, y, edge(std::int64_t{x} + width), edge(std::int64_t{y} + height)};
}

// A size in twips for the host, held to the 32-bit range.
[[nodiscard]] std::int32_t twips(std::int32_t pixels, std::int32_t perPixel) noexcept {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        std::int64_t{pixels} * perPixel, std::numeric_limits<std::int32_t>::min(),
        std::numeric_limits<std::int32_t>::max()));
}

// width x height pixels (negative sides count as 0) fit the pixel budget.
[[nodiscard]] bool fitsBudget(std::int64_t width, std::int64_t height) noexcept {
    return withinDecodeBudget(static_cast<std::uint64_t>(std::max<std::int64_t>(width, 0)),
                              static_cast<std::uint64_t>(std::max<std::int64_t>(height, 0)));
}

}  // namespace

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
    if (!asRotatedImage) {
        std::tie(Width, Height) =
            unrotatedImageScales(method, surface_->Width(), surface_->Height(), dw, dh);
        return;
    }
    const double w = surface_->Width(), h = surface_->Height();
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
        host_.requestResize(twips(wantW, host_.twipsPerPixelX()),
                            twips(wantH, host_.twipsPerPixelY()));
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
    // The hit-test area follows: its bounding box's top-left corner goes to (x, y). A move that
    // would take it out of the 32-bit range leaves it where it is.
    if (hitRegion_) {
        const Rect box = hitRegion_->boundingBox();
        const auto dx = position(std::int64_t{x} - box.left);
        const auto dy = position(std::int64_t{y} - box.top);
        if (dx && dy) hitRegion_->offset(*dx, *dy);
    } else {
        const auto right = position(std::int64_t{x} + hitRect_.width());
        const auto bottom = position(std::int64_t{y} + hitRect_.height());
        if (right && bottom) hitRect_ = {x, y, *right, *bottom};
    }
    host_.requestRepaint();
}

// ---- The cache, the shadow and the hit-test region ---------------------------------------------

void Vitrel::dropCache() {
    cache_.reset();
}

bool Vitrel::drawingFitsBudget() const {
    const Layout& l = layout_;
    const std::int64_t margin = ShadowEnabled() ? 2 * std::int64_t{shadowDepth_} : 0;
    const std::int64_t w = RotateEnabled() ? l.square : l.scaledWidth;
    const std::int64_t h = RotateEnabled() ? l.square : l.scaledHeight;
    if (!fitsBudget(w + margin, h + margin)) return false;
    // The cache, and a shadow made from it, have the control's size.
    return (flags_ & kFlagCacheActive) == 0 ||
           fitsBudget(std::int64_t{host_.width()} + margin, std::int64_t{host_.height()} + margin);
}

bool Vitrel::drawIntoCache(bool recreate) {
    const std::int32_t w = host_.width(), h = host_.height();
    if (!drawingFitsBudget()) {
        cache_.reset();
        return false;
    }
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
    // At opacity 100, without grayscale or lightness: those are applied when the cache is
    // painted.
    if (RotateEnabled()) {
        surface_->Render({.host = cache_.get(),
                          .destX = halve(w),
                          .destY = halve(h),
                          .destWidth = layout_.scaledWidth,
                          .destHeight = layout_.scaledHeight,
                          .angle = static_cast<float>(angle_),
                          .centerOnDestXY = true,
                          .hostAlpha = HostAlpha::kTranslucent});
    } else {
        surface_->Render({.host = cache_.get(),
                          .destX = layout_.offsetX,
                          .destY = layout_.offsetY,
                          .destWidth = layout_.scaledWidth,
                          .destHeight = layout_.scaledHeight,
                          .setHalfTone = false,
                          .hostAlpha = HostAlpha::kFromImage});
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
        layout_.scaledHeight < 1 || !drawingFitsBudget())
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
                surface_->Render({.host = scaled.get(),
                                  .destWidth = layout_.scaledWidth,
                                  .destHeight = layout_.scaledHeight,
                                  .setHalfTone = false,
                                  .hostAlpha = HostAlpha::kTranslucent});
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
    if (resizing_ || !surface_->BitsPointer() || !drawingFitsBudget()) return;
    const std::int64_t w = host_.width(), h = host_.height();
    const Layout& l = layout_;
    const Rect image = RotateEnabled()
                           ? rectAt(l.offsetX, l.offsetY, l.square, l.square)
                           : rectAt(l.offsetX, l.offsetY, l.scaledWidth, l.scaledHeight);
    const Rect clip = intersect(dc.clipBox(), image);
    if (clip.isEmpty()) return;
    const auto angle = static_cast<float>(angle_);

    if (ShadowEnabled()) {
        const std::int32_t opacity = shadowOpacity_ * opacity_ / 100;
        const std::uint32_t color = platform::translateColor(shadowColor_) & 0xFFFFFFu;
        if (!shadow_) {
            const auto x = position(std::int64_t{shadowX_} + halve(w - surface_->Width()));
            const auto y = position(std::int64_t{shadowY_} + halve(h - surface_->Height()));
            if (x && y) surface_->RenderDropShadow_JIT(&dc, *x, *y, shadowDepth_, color, opacity);
        } else if (RotateEnabled() && !shadowFromCache_) {
            const auto x = position(std::int64_t{shadowX_} + halve(w));
            const auto y = position(std::int64_t{shadowY_} + halve(h));
            if (x && y)
                shadow_->Render({.dc = &dc,
                                 .destX = *x,
                                 .destY = *y,
                                 .destWidth = l.scaledWidth,
                                 .destHeight = l.scaledHeight,
                                 .opacity = opacity,
                                 .grayScale = grayFormula_,
                                 .angle = angle,
                                 .centerOnDestXY = true});
        } else {
            // Unrotated, or built from the cache, which already holds the image as drawn.
            const auto x = position(std::int64_t{shadowX_} + halve(w - shadow_->Width()));
            const auto y = position(std::int64_t{shadowY_} + halve(h - shadow_->Height()));
            if (x && y)
                shadow_->Render({.dc = &dc,
                                 .destX = *x,
                                 .destY = *y,
                                 .opacity = opacity,
                                 .grayScale = grayFormula_});
        }
    }

    // The clip box inside the image, moved by the image offset: where 1:1 draws land.
    const auto clipX = position(std::int64_t{clip.left} + imageOffsetX_);
    const auto clipY = position(std::int64_t{clip.top} + imageOffsetY_);
    const auto cw = static_cast<std::int32_t>(clip.width());
    const auto ch = static_cast<std::int32_t>(clip.height());
    if (cache_ && cache_->BitsPointer()) {
        if (clipX && clipY)
            cache_->Render({.dc = &dc,
                            .destX = *clipX,
                            .destY = *clipY,
                            .destWidth = cw,
                            .destHeight = ch,
                            .srcX = clip.left,
                            .srcY = clip.top,
                            .srcWidth = cw,
                            .srcHeight = ch,
                            .opacity = opacity_,
                            .grayScale = grayFormula_,
                            .lightAdjustment = lightness_});
        return;
    }
    if (RotateEnabled()) {
        const auto x = position(std::int64_t{imageOffsetX_} + halve(w));
        const auto y = position(std::int64_t{imageOffsetY_} + halve(h));
        if (x && y)
            surface_->Render({.dc = &dc,
                              .destX = *x,
                              .destY = *y,
                              .destWidth = l.scaledWidth,
                              .destHeight = l.scaledHeight,
                              .opacity = opacity_,
                              .grayScale = grayFormula_,
                              .lightAdjustment = lightness_,
                              .angle = angle,
                              .centerOnDestXY = true});
    } else if (l.actualSize) {
        // Only the part inside the clip box, read from the same place of the image.
        if (clipX && clipY)
            surface_->Render({.dc = &dc,
                              .destX = *clipX,
                              .destY = *clipY,
                              .destWidth = cw,
                              .destHeight = ch,
                              .srcX = clip.left - l.offsetX,
                              .srcY = clip.top - l.offsetY,
                              .srcWidth = cw,
                              .srcHeight = ch,
                              .opacity = opacity_,
                              .grayScale = grayFormula_,
                              .lightAdjustment = lightness_});
    } else {
        const auto x = position(std::int64_t{l.offsetX} + imageOffsetX_);
        const auto y = position(std::int64_t{l.offsetY} + imageOffsetY_);
        if (x && y)
            surface_->Render({.dc = &dc,
                              .destX = *x,
                              .destY = *y,
                              .destWidth = l.scaledWidth,
                              .destHeight = l.scaledHeight,
                              .opacity = opacity_,
                              .grayScale = grayFormula_,
                              .lightAdjustment = lightness_});
    }
}

}  // namespace talvrin
