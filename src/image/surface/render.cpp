// c32bppDIB: the render pipeline. Render normalises its arguments, then draws through the
// drawing layer's AlphaBlend (plain draws) or through the engine (mirroring, scaling,
// grayscale, lightness, rotation, per-pixel blending), or through the imaging-library bridge when
// it is enabled (cGDIPlus: bicubic scaling, anti-aliased rotation).
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

#include "base/checked_math.h"
#include "image/bridge/gdiplus.h"
#include "image/surface/c32bpp_dib.h"
#include "image/surface/engine.h"
#include "platform/gdi/device_context.h"
#include "platform/gdi/gdi.h"

namespace talvrin {

namespace {

// Borrows a host surface's memory DC for the length of a draw.
class BorrowedDC {
  public:
    explicit BorrowedDC(c32bppDIB* host) : host_(host) {
        if (host_ != nullptr) dc_ = host_->LoadDIBinDC(true);
    }
    ~BorrowedDC() {
        if (host_ != nullptr) host_->LoadDIBinDC(false);
    }
    BorrowedDC(const BorrowedDC&) = delete;
    BorrowedDC& operator=(const BorrowedDC&) = delete;
    [[nodiscard]] platform::DeviceContext* dc() const noexcept { return dc_; }

  private:
    c32bppDIB* host_;
    platform::DeviceContext* dc_ = nullptr;
};

[[nodiscard]] std::optional<std::int32_t> to32(std::int64_t v) noexcept {
    return checkedCast<std::int32_t>(v);
}

// The part of the target that can receive pixels: the host surface or the DC's clip box.
[[nodiscard]] Rect visibleTarget(platform::DeviceContext* dc, const c32bppDIB* host) {
    if (host != nullptr) return {0, 0, host->Width(), host->Height()};
    return dc->clipBox();
}

// The rectangle at (x, y) of the given size, its far edges held to the 32-bit range.
[[nodiscard]] Rect rectOf(std::int32_t x, std::int32_t y, std::int32_t width,
                          std::int32_t height) noexcept {
    const auto edge = [](std::int64_t v) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(
            v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
    };
    return {x, y, edge(std::int64_t{x} + width), edge(std::int64_t{y} + height)};
}

}  // namespace

bool c32bppDIB::MirrorCopy(std::int32_t& SrcX, std::int32_t& SrcY, std::int32_t srcWidth,
                           std::int32_t srcHeight, std::int32_t& destWidth,
                           std::int32_t& destHeight, const PixelView& buffer,
                           float& LightAdjustment) const {
    if (!(destWidth < 1 || destHeight < 1)) return false;
    const ConstPixelView self(bits_, width_, height_);
    if (!engine::mirrorCopy(self, SrcX, SrcY, srcWidth, srcHeight, destWidth < 1, destHeight < 0,
                            buffer))
        return false;
    SrcX = 0;
    SrcY = 0;
    destWidth = destWidth < 0 ? -destWidth : destWidth;
    destHeight = destHeight < 0 ? -destHeight : destHeight;
    if (LightAdjustment != 0) {
        if (!engine::adjustLightness(buffer, buffer, LightAdjustment)) return false;
        LightAdjustment = 0;
    }
    return true;
}

bool c32bppDIB::BlendToTarget(platform::DeviceContext* targetDC, const PixelView* buffer,
                              std::int32_t SrcX, std::int32_t SrcY, std::int32_t destX,
                              std::int32_t destY, std::int32_t destWidth, std::int32_t destHeight,
                              std::uint8_t opacity, c32bppDIB* host, std::int32_t grayScale,
                              float LightAdjustment) const {
    if (destWidth < 1 || destHeight < 1) return false;
    ConstPixelView source(bits_, width_, height_);
    engine::WorkBuffer adjusted;
    if (buffer != nullptr) {
        source = *buffer;
    } else if (LightAdjustment != 0) {
        // A lightened copy of the whole surface, read at the caller's source rectangle.
        adjusted = engine::WorkBuffer::create(width_, height_, true);
        if (adjusted.empty() || !engine::adjustLightness(source, adjusted.view(), LightAdjustment))
            return false;
        source = adjusted.view();
    }
    engine::BlendJob job;
    job.srcX = SrcX;
    job.srcY = SrcY;
    job.destX = destX;
    job.destY = destY;
    job.width = destWidth;
    job.height = destHeight;
    job.opacity = opacity;
    job.grayScale = grayScale;
    if (host != nullptr) {
        if (host->BitsPointer() == nullptr) return false;
        return engine::blendToSurface(
            source, job, PixelView{host->BitsPointer(), host->Width(), host->Height()});
    }
    if (targetDC == nullptr) return false;
    return engine::blendToContext(source, job, *targetDC);
}

bool c32bppDIB::RenderRotated(platform::DeviceContext* targetDC, double degrees, std::int32_t destX,
                              std::int32_t destY, std::int32_t destWidth, std::int32_t destHeight,
                              std::int32_t SrcX, std::int32_t SrcY, std::int32_t srcWidth,
                              std::int32_t srcHeight, std::int32_t opacityPercent, c32bppDIB* host,
                              std::int32_t grayScale, float LightAdjustment) const {
    // A negative size draws towards lower coordinates.
    if (destWidth < 0) {
        const auto x = to32(std::int64_t{destX} + destWidth);
        if (!x) return false;
        destX = *x;
    }
    if (destHeight < 0) {
        const auto y = to32(std::int64_t{destY} + destHeight);
        if (!y) return false;
        destY = *y;
    }
    ConstPixelView source(bits_, width_, height_);
    engine::WorkBuffer copy;
    if (destWidth < 1 || destHeight < 1) {
        copy = engine::WorkBuffer::create(srcWidth, srcHeight, false);
        if (copy.empty() || !MirrorCopy(SrcX, SrcY, srcWidth, srcHeight, destWidth, destHeight,
                                        copy.view(), LightAdjustment))
            return false;
        source = copy.view();
    } else if (LightAdjustment != 0) {
        copy = engine::WorkBuffer::create(width_, height_, true);
        if (copy.empty() || !engine::adjustLightness(source, copy.view(), LightAdjustment))
            return false;
        source = copy.view();
    }

    std::int32_t side = 0;
    if (!engine::rotationSquareSide(destWidth, destHeight, side) || side < 1) return false;
    c32bppDIB work;
    work.setGDIplusEnabled(isGDIplusEnabled());
    work.setHighQualityInterpolation(highQuality_);
    if (!work.InitializeDIB(side, side)) return false;

    engine::RotateJob job;
    job.srcX = SrcX;
    job.srcY = SrcY;
    job.srcWidth = srcWidth;
    job.srcHeight = srcHeight;
    job.xScale = static_cast<double>(destWidth) / srcWidth;
    job.yScale = static_cast<double>(destHeight) / srcHeight;
    job.degrees = degrees;
    job.bilinear = highQuality_;
    if (!engine::rotateToSquare(source, job, PixelView{work.BitsPointer(), side, side}))
        return false;

    const auto x = to32(std::int64_t{destX} + destWidth / 2 - side / 2);
    const auto y = to32(std::int64_t{destY} + destHeight / 2 - side / 2);
    if (!x || !y) return false;
    work.setGdiToken(gdiToken_);
    // With a host surface the working square goes straight into its pixels.
    return work.Render({.dc = host != nullptr ? nullptr : targetDC,
                        .host = host,
                        .destX = *x,
                        .destY = *y,
                        .opacity = opacityPercent,
                        .grayScale = grayScale});
}

bool c32bppDIB::Render(platform::DeviceContext* destinationDC, std::int32_t destX,
                       std::int32_t destY, std::int32_t destWidth, std::int32_t destHeight,
                       std::int32_t SrcX, std::int32_t SrcY, std::int32_t srcWidth,
                       std::int32_t srcHeight, std::int32_t Opacity, std::int32_t /*Blend*/,
                       bool SetHalfTone, c32bppDIB* destHostDIB, std::int32_t grayScale,
                       float LightAdjustment, float Angle, bool CenterOnDestXY) {
    return Render(DrawRequest{.dc = destinationDC,
                              .host = destHostDIB,
                              .destX = destX,
                              .destY = destY,
                              .destWidth = destWidth,
                              .destHeight = destHeight,
                              .srcX = SrcX,
                              .srcY = SrcY,
                              .srcWidth = srcWidth,
                              .srcHeight = srcHeight,
                              .opacity = Opacity,
                              .setHalfTone = SetHalfTone,
                              .grayScale = grayScale,
                              .lightAdjustment = LightAdjustment,
                              .angle = Angle,
                              .centerOnDestXY = CenterOnDestXY});
}

bool c32bppDIB::Render(const DrawRequest& request) {
    const bool drawn = drawRequested(request);
    // The host records what it may hold now, whatever the draw answered.
    if (request.host != nullptr) {
        if (request.hostAlpha == HostAlpha::kTranslucent) request.host->alpha_ = true;
        if (request.hostAlpha == HostAlpha::kFromImage) request.host->alpha_ = alpha_;
    }
    return drawn;
}

bool c32bppDIB::drawRequested(const DrawRequest& request) {
    try {
        if (request.opacity <= 0) return dib_ != nullptr;
        DrawArgs d;
        d.dc = request.dc;
        d.host = request.host;
        d.destX = request.destX;
        d.destY = request.destY;
        d.destWidth = request.destWidth;
        d.destHeight = request.destHeight;
        d.srcX = request.srcX;
        d.srcY = request.srcY;
        d.srcWidth = request.srcWidth;
        d.srcHeight = request.srcHeight;
        d.setHalfTone = request.setHalfTone;
        d.grayScale = request.grayScale;
        d.lightAdjustment = request.lightAdjustment;
        if (!normaliseDraw(d, request.opacity, request.angle, request.centerOnDestXY)) return false;
        if (d.rotate) {
            // The bridge draws the rotated image when it is enabled and can; the own rotator
            // otherwise.
            if (isGDIplusEnabled() && renderWithBridge(d, d.degrees)) return true;
            BorrowedDC borrowed(d.host);
            return RenderRotated(d.dc, d.degrees, d.destX, d.destY, d.destWidth, d.destHeight,
                                 d.srcX, d.srcY, d.srcWidth, d.srcHeight, d.percent, d.host,
                                 d.grayScale, d.lightAdjustment);
        }
        if (d.useAlphaBlend) return renderWithAlphaBlend(d);
        // The imaging-library bridge takes the remaining draws when it is enabled; the engine
        // otherwise.
        if (isGDIplusEnabled()) return renderWithBridge(d, 0);
        return renderWithEngine(d);
    } catch (...) {
        return false;
    }
}

bool c32bppDIB::normaliseDraw(DrawArgs& d, std::int32_t Opacity, float Angle,
                              bool CenterOnDestXY) const {
    if (dib_ == nullptr || (d.dc == nullptr && d.host == nullptr)) return false;
    if (d.host != nullptr && d.host->BitsPointer() == nullptr) return false;
    if (!std::isfinite(Angle) || !std::isfinite(d.lightAdjustment)) return false;

    // Sizes and source rectangle.
    if (d.destWidth == 0) d.destWidth = width_;
    if (d.destHeight == 0) d.destHeight = height_;
    if (d.srcX < 0) d.srcX = 0;
    if (d.srcY < 0) d.srcY = 0;
    if (d.srcWidth == 0) d.srcWidth = width_;
    if (d.srcHeight == 0) d.srcHeight = height_;
    if (d.srcWidth < 0) {
        const auto sw = checkedSub<std::int32_t>(0, d.srcWidth);
        const auto dw = checkedSub<std::int32_t>(0, d.destWidth);
        if (!sw || !dw) return false;
        d.srcWidth = *sw;
        d.destWidth = *dw;
    }
    if (d.srcHeight < 0) {
        const auto sh = checkedSub<std::int32_t>(0, d.srcHeight);
        const auto dh = checkedSub<std::int32_t>(0, d.destHeight);
        if (!sh || !dh) return false;
        d.srcHeight = *sh;
        d.destHeight = *dh;
    }
    if (std::int64_t{d.srcX} + d.srcWidth > width_) d.srcWidth = width_ - d.srcX;
    if (std::int64_t{d.srcY} + d.srcHeight > height_) d.srcHeight = height_ - d.srcY;
    // A source rectangle clipped away entirely draws nothing.
    if (d.srcWidth < 1 || d.srcHeight < 1) return false;
    // Negating a destination size below must stay in range.
    if (d.destWidth == INT32_MIN || d.destHeight == INT32_MIN) return false;

    d.rotate = !(Angle == std::trunc(Angle) && std::fmod(Angle, 360.0f) == 0.0f);
    d.percent = Opacity % 100;  // Opacity > 0 here
    if (d.percent == 0) d.percent = 100;
    d.opacity = static_cast<std::uint8_t>(d.percent * 255 / 100);
    if (d.lightAdjustment > 100 || d.lightAdjustment < -100) d.lightAdjustment = 0;

    if (d.rotate) {
        if (!engine::wholeDegrees(Angle, d.degrees)) return false;
        if (CenterOnDestXY) {
            const auto x = to32(std::int64_t{d.destX} - d.destWidth / 2);
            const auto y = to32(std::int64_t{d.destY} - d.destHeight / 2);
            if (!x || !y) return false;
            d.destX = *x;
            d.destY = *y;
        }
        return true;
    }
    if (CenterOnDestXY) {
        const auto x = to32(std::int64_t{d.destX} - std::abs(d.destWidth / 2));
        const auto y = to32(std::int64_t{d.destY} - std::abs(d.destHeight / 2));
        if (!x || !y) return false;
        d.destX = *x;
        d.destY = *y;
    }

    // Decided once, for the path choice and for the engine.
    d.mirrored = d.destWidth < 1 || d.destHeight < 0;
    d.scaled = std::abs(d.destWidth) != d.srcWidth || std::abs(d.destHeight) != d.srcHeight;
    d.useAlphaBlend = (!isGDIplusEnabled() || gdiToken_ == 0) && isAlphaBlendFriendly() &&
                      !d.mirrored && d.grayScale == -1 && d.lightAdjustment == 0 &&
                      (!d.scaled || !highQuality_);
    return true;
}

bool c32bppDIB::renderWithBridge(const DrawArgs& d, double degrees) const {
    BorrowedDC borrowed(d.host);
    platform::DeviceContext* target = d.host != nullptr ? borrowed.dc() : d.dc;
    if (target == nullptr) return false;
    cGDIPlus bridge;
    return bridge.RenderWithGDIPlus(*this, *target, static_cast<float>(degrees), d.percent, d.destX,
                                    d.destY, d.destWidth, d.destHeight, d.srcX, d.srcY, d.srcWidth,
                                    d.srcHeight, highQuality_, d.grayScale, gdiToken_,
                                    d.lightAdjustment);
}

bool c32bppDIB::renderWithAlphaBlend(const DrawArgs& d) {
    // A draw wholly outside the target changes nothing and answers false, as on every other
    // path (the drawing layer's AlphaBlend itself answers true for it).
    const Rect target = rectOf(d.destX, d.destY, d.destWidth, d.destHeight);
    if (intersect(visibleTarget(d.dc, d.host), target).isEmpty()) return false;
    const bool wasSelected = savedObject_ != nullptr;
    platform::DeviceContext* source = LoadDIBinDC(true);
    if (source == nullptr) return false;
    bool drawn = false;
    {
        BorrowedDC borrowed(d.host);
        platform::DeviceContext* target = d.host != nullptr ? borrowed.dc() : d.dc;
        if (target != nullptr) {
            std::optional<platform::StretchMode> previous;
            if (d.setHalfTone && (capabilityFlags_ & kCapConsumerFamily) == 0)
                previous = target->setStretchMode(platform::StretchMode::HalfTone);
            drawn = platform::AlphaBlend(*target, d.destX, d.destY, d.destWidth, d.destHeight,
                                         *source, d.srcX, d.srcY, d.srcWidth, d.srcHeight,
                                         platform::BlendFunction{d.opacity, alpha_});
            if (previous) target->setStretchMode(*previous);
        }
    }
    if (!wasSelected) LoadDIBinDC(false);
    return drawn;
}

bool c32bppDIB::renderWithEngine(DrawArgs& d) const {
    engine::WorkBuffer mirroredCopy;
    const PixelView* buffer = nullptr;
    PixelView mirroredView;
    if (d.mirrored) {
        mirroredCopy = engine::WorkBuffer::create(d.srcWidth, d.srcHeight, false);
        if (mirroredCopy.empty()) return false;
        mirroredView = mirroredCopy.view();
        if (!MirrorCopy(d.srcX, d.srcY, d.srcWidth, d.srcHeight, d.destWidth, d.destHeight,
                        mirroredView, d.lightAdjustment))
            return false;
        buffer = &mirroredView;
    }
    if (!d.scaled) {
        return BlendToTarget(d.dc, buffer, d.srcX, d.srcY, d.destX, d.destY, d.destWidth,
                             d.destHeight, d.opacity, d.host, d.grayScale, d.lightAdjustment);
    }

    // ScaleToBuffer: only the part of the output that can reach the target is produced.
    // A negative destX / destY cuts columns from the left and rows from the top; the
    // target's own edges cut the rest.
    const std::int64_t fullW = d.destWidth, fullH = d.destHeight;  // positive here
    const std::int64_t left = std::max<std::int64_t>(d.destX, 0);
    const std::int64_t top = std::max<std::int64_t>(d.destY, 0);
    if (left >= std::int64_t{d.destX} + fullW || top >= std::int64_t{d.destY} + fullH)
        return false;  // swallowed by a negative position
    const Rect visible = visibleTarget(d.dc, d.host);
    const std::int64_t x0 = std::max<std::int64_t>(left, visible.left);
    const std::int64_t y0 = std::max<std::int64_t>(top, visible.top);
    const std::int64_t x1 = std::min<std::int64_t>(std::int64_t{d.destX} + fullW, visible.right);
    const std::int64_t y1 = std::min<std::int64_t>(std::int64_t{d.destY} + fullH, visible.bottom);
    if (x1 <= x0 || y1 <= y0) return false;  // nothing of it is visible: nothing drawn

    const ConstPixelView source =
        buffer != nullptr ? ConstPixelView(*buffer) : ConstPixelView(bits_, width_, height_);
    engine::ScaleJob job;
    job.srcX = d.srcX;
    job.srcY = d.srcY;
    job.srcWidth = d.srcWidth;
    job.srcHeight = d.srcHeight;
    job.fullWidth = d.destWidth;
    job.fullHeight = d.destHeight;
    job.skipX = static_cast<std::int32_t>(x0 - d.destX);
    job.skipBottom = static_cast<std::int32_t>(std::int64_t{d.destY} + fullH - y1);
    job.bilinear = highQuality_;
    auto scaledCopy = engine::WorkBuffer::create(static_cast<std::int32_t>(x1 - x0),
                                                 static_cast<std::int32_t>(y1 - y0), false);
    if (scaledCopy.empty()) return false;
    const PixelView scaledView = scaledCopy.view();
    if (!engine::scaleToBuffer(source, job, scaledView)) return false;
    float lightness = d.lightAdjustment;
    if (lightness != 0) {
        if (!engine::adjustLightness(scaledView, scaledView, lightness)) return false;
        lightness = 0;
    }
    return BlendToTarget(d.dc, &scaledView, 0, 0, static_cast<std::int32_t>(x0),
                         static_cast<std::int32_t>(y0), scaledView.width, scaledView.height,
                         d.opacity, d.host, d.grayScale, lightness);
}

}  // namespace talvrin
