// Per-pixel alpha blending and the transparent-colour blit, with stretching.
//
// The blend rows are the hot loop of plain draws. They work on 32-bit rows (gdi_blend_rows.h):
// the one-pixel rows here define the result, and the vector rows give the same bytes; the
// drawing layer's kernel table holds the form that runs. All of them divide by 255 with
// rounding: div255Round of base/div255.h, and its lane form of base/simd.h.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "base/div255.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_blend_rows.h"
#include "platform/gdi/gdi_kernels.h"
#include "platform/gdi/gdi_raster.h"

namespace talvrin::platform {

using detail::AxisMap;
using detail::BlendRowFn;
using detail::convertRow;
using detail::meet;
using detail::pixelAt;
using detail::Span64;
using detail::xSpan;
using detail::ySpan;

void detail::overRowScalar(std::uint8_t* d, const std::uint8_t* s, std::size_t n,
                           std::uint32_t sca) noexcept {
    for (std::size_t i = 0; i < n; ++i, d += 4, s += 4) {
        std::uint32_t sp[4];
        for (int c = 0; c < 4; ++c)
            sp[c] = sca == 255 ? s[c] : div255Round(s[c] * sca);
        const std::uint32_t ia = 255 - sp[3];
        for (int c = 0; c < 4; ++c)
            d[c] = static_cast<std::uint8_t>(
                std::min<std::uint32_t>(255, sp[c] + div255Round(d[c] * ia)));
    }
}

void detail::constantRowScalar(std::uint8_t* d, const std::uint8_t* s, std::size_t n,
                               std::uint32_t sca) noexcept {
    const std::uint32_t isca = 255 - sca;
    for (std::size_t i = 0; i < n * 4; ++i)
        d[i] = static_cast<std::uint8_t>(div255Round(s[i] * sca + d[i] * isca));
}

namespace {

// The visible destination area of a stretched call and the source columns it reads.
struct StretchPlan {
    AxisMap ax, ay;
    Span64 vx, vy;
    bool identityX = false;  // destination column c reads source column c + (srcX - x)
};

// Checks the common arguments of AlphaBlend and TransparentBlt and works out what to draw.
// Answers false for invalid arguments; an empty plan (nothing visible) is valid.
bool planStretch(const DeviceContext& dest, std::int32_t x, std::int32_t y, std::int32_t width,
                 std::int32_t height, const Bitmap& s, std::int32_t srcX, std::int32_t srcY,
                 std::int32_t srcWidth, std::int32_t srcHeight, StretchPlan& plan) noexcept {
    if (width < 1 || height < 1 || srcWidth < 1 || srcHeight < 1) return false;
    if (srcX < 0 || srcY < 0 || std::int64_t{srcX} + srcWidth > s.width() ||
        std::int64_t{srcY} + srcHeight > s.height())
        return false;
    if (!detail::makeAxis(x, width, srcX, srcWidth, plan.ax) ||
        !detail::makeAxis(y, height, srcY, srcHeight, plan.ay))
        return false;
    const Rect clip = dest.clipBox();
    plan.vx = meet(plan.ax.dest(), xSpan(clip));
    plan.vy = meet(plan.ay.dest(), ySpan(clip));
    plan.identityX = width == srcWidth;
    return true;
}

// The source when it shares the destination's surface: a private copy of the source
// rectangle, so that rows written are never read again.
std::unique_ptr<Bitmap> copyRect(const Bitmap& s, std::int32_t srcX, std::int32_t srcY,
                                 std::int32_t w, std::int32_t h) noexcept {
    auto copy = Bitmap::create(w, h, s.bitsPerPixel());
    if (!copy) return nullptr;
    for (std::int32_t row = 0; row < h; ++row)
        std::memcpy(copy->rowFromTop(row), pixelAt(s, srcX, srcY + row),
                    static_cast<std::size_t>(w) * static_cast<std::size_t>(s.bitsPerPixel() / 8));
    return copy;
}

}  // namespace

bool AlphaBlend(DeviceContext& dest, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height, const DeviceContext& src, std::int32_t srcX, std::int32_t srcY,
                std::int32_t srcWidth, std::int32_t srcHeight, BlendFunction blend) noexcept {
    const Bitmap* s = &src.surface();
    StretchPlan plan;
    if (!planStretch(dest, x, y, width, height, *s, srcX, srcY, srcWidth, srcHeight, plan))
        return false;
    if (blend.perPixelAlpha && s->bitsPerPixel() != 32) return false;
    const std::uint32_t sca = blend.sourceConstantAlpha;
    if (sca == 0 || plan.vx.empty() || plan.vy.empty()) return true;

    Bitmap& d = dest.surface();
    std::unique_ptr<Bitmap> copy;
    if (s == &d) {
        copy = copyRect(*s, srcX, srcY, srcWidth, srcHeight);
        if (!copy) return false;
        s = copy.get();
        plan.ax.srcStart = 0;
        plan.ay.srcStart = 0;
    }

    const auto count = static_cast<std::size_t>(plan.vx.size());
    const bool direct32 = plan.identityX && s->bitsPerPixel() == 32;
    const bool dest32 = d.bitsPerPixel() == 32;
    // Work rows: the gathered source row (stretched or 24-bit source) and the destination row
    // widened to 32 bits (24-bit destination).
    std::vector<std::uint8_t> srcRow, dstRow;
    std::vector<std::int32_t> cols;
    try {
        if (!direct32) srcRow.resize(count * 4);
        if (!dest32) dstRow.resize(count * 4);
        if (!plan.identityX) cols.resize(count);
    } catch (...) {
        return false;
    }
    for (std::size_t i = 0; i < cols.size(); ++i)
        cols[i] =
            static_cast<std::int32_t>(plan.ax.source(plan.vx.begin + static_cast<std::int64_t>(i)));
    const std::int64_t firstSrcX = plan.identityX ? plan.ax.source(plan.vx.begin) : 0;

    const GdiKernels& kernels = gdiKernels();
    const BlendRowFn row = blend.perPixelAlpha ? kernels.blendOver : kernels.blendConstant;
    const int sBytes = s->bitsPerPixel() / 8;
    for (std::int64_t dy = plan.vy.begin; dy < plan.vy.end; ++dy) {
        const std::int64_t sy = plan.ay.source(dy);
        const std::uint8_t* srow = s->rowFromTop(static_cast<std::int32_t>(sy));
        const std::uint8_t* sp;
        if (direct32) {
            sp = srow + static_cast<std::size_t>(firstSrcX) * 4;
        } else if (plan.identityX) {
            convertRow(srcRow.data(), 32, srow + static_cast<std::size_t>(firstSrcX) * 3, 24,
                       count);
            sp = srcRow.data();
        } else {
            std::uint8_t* out = srcRow.data();
            if (sBytes == 4) {
                for (std::size_t i = 0; i < count; ++i)
                    std::memcpy(out + 4 * i, srow + static_cast<std::size_t>(cols[i]) * 4, 4);
            } else {
                for (std::size_t i = 0; i < count; ++i)
                    convertRow(out + 4 * i, 32, srow + static_cast<std::size_t>(cols[i]) * 3, 24,
                               1);
            }
            sp = out;
        }
        std::uint8_t* dp = pixelAt(d, plan.vx.begin, dy);
        if (dest32) {
            row(dp, sp, count, sca);
        } else {
            convertRow(dstRow.data(), 32, dp, 24, count);
            row(dstRow.data(), sp, count, sca);
            convertRow(dp, 24, dstRow.data(), 32, count);
        }
    }
    return true;
}

bool TransparentBlt(DeviceContext& dest, std::int32_t x, std::int32_t y, std::int32_t width,
                    std::int32_t height, const DeviceContext& src, std::int32_t srcX,
                    std::int32_t srcY, std::int32_t srcWidth, std::int32_t srcHeight,
                    ColorRef transparentColor) noexcept {
    const Bitmap* s = &src.surface();
    StretchPlan plan;
    if (!planStretch(dest, x, y, width, height, *s, srcX, srcY, srcWidth, srcHeight, plan))
        return false;
    if (plan.vx.empty() || plan.vy.empty()) return true;

    Bitmap& d = dest.surface();
    std::unique_ptr<Bitmap> copy;
    if (s == &d) {
        copy = copyRect(*s, srcX, srcY, srcWidth, srcHeight);
        if (!copy) return false;
        s = copy.get();
        plan.ax.srcStart = 0;
        plan.ay.srcStart = 0;
    }
    // The key as the B, G, R bytes of a pixel.
    const std::uint8_t kb = blueOf(transparentColor), kg = greenOf(transparentColor),
                       kr = redOf(transparentColor);
    const int sBytes = s->bitsPerPixel() / 8;
    const int dBytes = d.bitsPerPixel() / 8;
    std::vector<std::int32_t> cols;
    try {
        cols.resize(static_cast<std::size_t>(plan.vx.size()));
    } catch (...) {
        return false;
    }
    for (std::size_t i = 0; i < cols.size(); ++i)
        cols[i] =
            static_cast<std::int32_t>(plan.ax.source(plan.vx.begin + static_cast<std::int64_t>(i)));

    for (std::int64_t dy = plan.vy.begin; dy < plan.vy.end; ++dy) {
        const std::uint8_t* srow = s->rowFromTop(static_cast<std::int32_t>(plan.ay.source(dy)));
        std::uint8_t* dp = pixelAt(d, plan.vx.begin, dy);
        for (std::size_t i = 0; i < cols.size(); ++i, dp += dBytes) {
            const std::uint8_t* sp =
                srow + static_cast<std::size_t>(cols[i]) * static_cast<std::size_t>(sBytes);
            if (sp[0] == kb && sp[1] == kg && sp[2] == kr) continue;
            convertRow(dp, d.bitsPerPixel(), sp, s->bitsPerPixel(), 1);
        }
    }
    return true;
}

}  // namespace talvrin::platform
