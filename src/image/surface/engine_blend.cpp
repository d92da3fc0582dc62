// Engine: the per-pixel compositor. Premultiplied source pixels go onto a host surface's 32-bit
// pixels or onto a device context's pixels, with an opacity byte and an optional grayscale
// formula, by the truncating integer rules documented in engine.h.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "image/codecs/mod_parsers.h"
#include "image/surface/engine.h"
#include "platform/bitmap.h"

namespace talvrin::engine {

namespace {

// Per-channel products of the grayscale weights, in single precision as the formula takes
// them: g = nearest(B * wB + G * wG + R * wR), summed in that order.
struct GrayTables {
    std::array<float, 256> blue{};
    std::array<float, 256> green{};
    std::array<float, 256> red{};

    explicit GrayTables(std::int32_t code) noexcept {
        float wr = 0, wg = 0, wb = 0;
        GrayscaleWeights(code, wr, wg, wb);
        for (int v = 0; v < 256; ++v) {
            const float f = static_cast<float>(v);
            blue[static_cast<std::size_t>(v)] = f * wb;
            green[static_cast<std::size_t>(v)] = f * wg;
            red[static_cast<std::size_t>(v)] = f * wr;
        }
    }
    [[nodiscard]] std::uint32_t gray(const std::uint8_t* p) const noexcept {
        const float s = blue[p[0]] + green[p[1]] + red[p[2]];
        // Halves to even (the default rounding mode), kept to its low byte.
        return static_cast<std::uint32_t>(static_cast<std::int64_t>(std::nearbyint(s))) & 0xFFu;
    }
};

inline std::uint8_t clampByte(std::uint32_t v) noexcept {
    // Only a malformed source (a colour above its alpha) can pass 255.
    return static_cast<std::uint8_t>(v > 255 ? 255 : v);
}

// How the target's bytes are laid out and which of them take part.
enum class TargetKind {
    Host,       // 32-bit surface: all four bytes blend
    Context32,  // 32-bit context through the 24-bit round trip: colours blend, alpha becomes 0
    Context24,  // 24-bit context: three bytes a pixel, colours blend
};

// Blends one row of n pixels. The opacity/gray choice is made once per call, not per pixel.
template <TargetKind Kind, bool Gray, bool Full>
void blendRow(std::uint8_t* t, const std::uint8_t* s, std::int32_t n, std::uint32_t o,
              const GrayTables* gt) noexcept {
    constexpr std::size_t step = Kind == TargetKind::Context24 ? 3 : 4;
    for (std::int32_t i = 0; i < n; ++i, s += 4, t += step) {
        const std::uint32_t a = s[3];
        if (a == 0) {
            if constexpr (Kind == TargetKind::Context32) t[3] = 0;
            continue;
        }
        std::uint32_t c0 = s[0], c1 = s[1], c2 = s[2];
        if constexpr (Gray) c0 = c1 = c2 = gt->gray(s);
        if constexpr (Full) {
            if (a == 255) {
                t[0] = static_cast<std::uint8_t>(c0);
                t[1] = static_cast<std::uint8_t>(c1);
                t[2] = static_cast<std::uint8_t>(c2);
                if constexpr (Kind == TargetKind::Host) t[3] = 255;
                if constexpr (Kind == TargetKind::Context32) t[3] = 0;
                continue;
            }
            const std::uint32_t inv = 255 - a;
            t[0] = clampByte(t[0] * inv / 255 + c0);
            t[1] = clampByte(t[1] * inv / 255 + c1);
            t[2] = clampByte(t[2] * inv / 255 + c2);
            if constexpr (Kind == TargetKind::Host) t[3] = clampByte(t[3] * inv / 255 + a);
        } else {
            const std::uint32_t k = 255 - a * o / 255;
            t[0] = clampByte((t[0] * k + c0 * o) / 255);
            t[1] = clampByte((t[1] * k + c1 * o) / 255);
            t[2] = clampByte((t[2] * k + c2 * o) / 255);
            if constexpr (Kind == TargetKind::Host) t[3] = clampByte((t[3] * k + a * o) / 255);
        }
        if constexpr (Kind == TargetKind::Context32) t[3] = 0;
    }
}

using RowFn = void (*)(std::uint8_t*, const std::uint8_t*, std::int32_t, std::uint32_t,
                       const GrayTables*);

template <TargetKind Kind>
RowFn pickRow(bool gray, bool full) noexcept {
    if (gray) return full ? &blendRow<Kind, true, true> : &blendRow<Kind, true, false>;
    return full ? &blendRow<Kind, false, true> : &blendRow<Kind, false, false>;
}

// The blend rectangle after clipping: n columns and rows starting at the given source and
// target positions (all counted from the top-left).
struct Clipped {
    std::int32_t srcX, srcY, destX, destY, width, height;
};

// Clips the job to the source view and to the target rectangle [left, right) x [top, bottom).
bool clipJob(ConstPixelView src, const BlendJob& job, std::int64_t left, std::int64_t top,
             std::int64_t right, std::int64_t bottom, Clipped& out) noexcept {
    if (job.width < 1 || job.height < 1) return false;
    std::int64_t sx = job.srcX, sy = job.srcY, dx = job.destX, dy = job.destY;
    std::int64_t w = job.width, h = job.height;
    // Left and top: whichever of source and target starts later decides the cut.
    const std::int64_t cutX = std::max({std::int64_t{0}, -sx, left - dx});
    const std::int64_t cutY = std::max({std::int64_t{0}, -sy, top - dy});
    sx += cutX, dx += cutX, w -= cutX;
    sy += cutY, dy += cutY, h -= cutY;
    // Right and bottom.
    w = std::min({w, std::int64_t{src.width} - sx, right - dx});
    h = std::min({h, std::int64_t{src.height} - sy, bottom - dy});
    if (w < 1 || h < 1) return false;
    out = {static_cast<std::int32_t>(sx), static_cast<std::int32_t>(sy),
           static_cast<std::int32_t>(dx), static_cast<std::int32_t>(dy),
           static_cast<std::int32_t>(w),  static_cast<std::int32_t>(h)};
    return true;
}

}  // namespace

bool blendToSurface(ConstPixelView src, const BlendJob& job, PixelView target) noexcept {
    if (!src.valid() || !target.valid()) return false;
    Clipped c{};
    if (!clipJob(src, job, 0, 0, target.width, target.height, c)) return true;
    const bool gray = job.grayScale != -1;
    const GrayTables tables(gray ? job.grayScale : 0);
    const RowFn row = pickRow<TargetKind::Host>(gray, job.opacity == 255);
    for (std::int32_t r = 0; r < c.height; ++r) {
        const std::uint8_t* s =
            src.row(src.height - 1 - (c.srcY + r)) + static_cast<std::size_t>(c.srcX) * 4;
        std::uint8_t* t =
            target.row(target.height - 1 - (c.destY + r)) + static_cast<std::size_t>(c.destX) * 4;
        row(t, s, c.width, job.opacity, &tables);
    }
    return true;
}

bool blendToContext(ConstPixelView src, const BlendJob& job, platform::DeviceContext& dc) noexcept {
    if (!src.valid()) return false;
    platform::Bitmap& bitmap = dc.surface();
    const int bpp = bitmap.bitsPerPixel();
    if (bitmap.bits() == nullptr || (bpp != 24 && bpp != 32)) return false;
    const platform::Rect box = dc.clipBox();
    Clipped c{};
    if (!clipJob(src, job, box.left, box.top, box.right, box.bottom, c)) return true;
    const bool gray = job.grayScale != -1;
    const GrayTables tables(gray ? job.grayScale : 0);
    const bool full = job.opacity == 255;
    const RowFn row = bpp == 32 ? pickRow<TargetKind::Context32>(gray, full)
                                : pickRow<TargetKind::Context24>(gray, full);
    const std::size_t pixelBytes = static_cast<std::size_t>(bpp / 8);
    for (std::int32_t r = 0; r < c.height; ++r) {
        const std::uint8_t* s =
            src.row(src.height - 1 - (c.srcY + r)) + static_cast<std::size_t>(c.srcX) * 4;
        std::uint8_t* t =
            bitmap.rowFromTop(c.destY + r) + static_cast<std::size_t>(c.destX) * pixelBytes;
        row(t, s, c.width, job.opacity, &tables);
    }
    return true;
}

}  // namespace talvrin::engine
