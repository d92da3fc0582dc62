// Engine: the per-pixel compositor. Premultiplied source pixels go onto a host surface's 32-bit
// pixels or onto a device context's pixels, with an opacity byte and an optional grayscale
// formula, by the truncating integer rules documented in engine.h.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "base/div255.h"
#include "image/codecs/pixel_helpers.h"
#include "image/image_kernels.h"
#include "image/surface/engine.h"
#include "image/surface/surface_rows.h"
#include "platform/gdi/bitmap.h"

namespace talvrin::engine {

using detail::TargetKind;

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

// One rule covers every case: with k = 255 - ⌊a * o / 255⌋, t = ⌊(t * k + c * o) / 255⌋. At
// o = 255 it is ⌊t * (255 - a) / 255⌋ + c exactly (c * 255 divides evenly), and at a = 255 it
// copies c. A colour above its alpha (a malformed source) is taken as its alpha, which keeps
// every intermediate below 2^16 (so the vector lanes' div255FloorShift is exact) and every
// result within a byte.
inline std::uint8_t blendByte(std::uint32_t t, std::uint32_t c, std::uint32_t k,
                              std::uint32_t o) noexcept {
    return static_cast<std::uint8_t>(div255Floor(t * k + c * o));
}

// Blends one row of n pixels, one pixel at a time (the reference form, also used for the
// tails of the vector rows and for grayscale).
template <TargetKind Kind, bool Gray>
void blendRowScalar(std::uint8_t* t, const std::uint8_t* s, std::int32_t n, std::uint32_t o,
                    const GrayTables* gt) noexcept {
    constexpr std::size_t step = Kind == TargetKind::Context24 ? 3 : 4;
    for (std::int32_t i = 0; i < n; ++i, s += 4, t += step) {
        const std::uint32_t a = s[3];
        if (a != 0) {
            std::uint32_t c0 = s[0], c1 = s[1], c2 = s[2];
            if constexpr (Gray) c0 = c1 = c2 = gt->gray(s);
            c0 = std::min(c0, a), c1 = std::min(c1, a), c2 = std::min(c2, a);
            const std::uint32_t k = 255 - div255Floor(a * o);
            t[0] = blendByte(t[0], c0, k, o);
            t[1] = blendByte(t[1], c1, k, o);
            t[2] = blendByte(t[2], c2, k, o);
            if constexpr (Kind == TargetKind::Host) t[3] = blendByte(t[3], a, k, o);
        }
        if constexpr (Kind == TargetKind::Context32) t[3] = 0;
    }
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

// Blends the clipped rows, source row r onto the target row targetRow(r) answers: in grayscale
// through the one-pixel row, otherwise through `row`.
template <TargetKind Kind, class TargetRow>
void blendRows(ConstPixelView src, const BlendJob& job, const Clipped& c, detail::BlendRowFn row,
               TargetRow targetRow) noexcept {
    const bool gray = job.grayScale != -1;
    const GrayTables tables(gray ? job.grayScale : 0);
    for (std::int32_t r = 0; r < c.height; ++r) {
        const std::uint8_t* s = src.pixelFromTop(c.srcX, c.srcY + r);
        std::uint8_t* t = targetRow(r);
        if (gray) {
            blendRowScalar<Kind, true>(t, s, c.width, job.opacity, &tables);
        } else {
            row(t, s, c.width, job.opacity);
        }
    }
}

}  // namespace

bool blendToSurface(ConstPixelView src, const BlendJob& job, PixelView target) noexcept {
    if (!src.valid() || !target.valid()) return false;
    Clipped c{};
    if (!clipJob(src, job, 0, 0, target.width, target.height, c)) return false;
    blendRows<TargetKind::Host>(src, job, c, imageKernels().blendHost, [&](std::int32_t r) {
        return target.pixelFromTop(c.destX, c.destY + r);
    });
    return true;
}

bool blendToContext(ConstPixelView src, const BlendJob& job, platform::DeviceContext& dc) noexcept {
    if (!src.valid()) return false;
    platform::Bitmap& bitmap = dc.surface();
    const int bpp = bitmap.bitsPerPixel();
    if (bitmap.bits() == nullptr || (bpp != 24 && bpp != 32)) return false;
    const Rect box = dc.clipBox();
    Clipped c{};
    if (!clipJob(src, job, box.left, box.top, box.right, box.bottom, c)) return false;
    const std::size_t pixelBytes = static_cast<std::size_t>(bpp / 8);
    const auto targetRow = [&](std::int32_t r) {
        return bitmap.rowFromTop(c.destY + r) + static_cast<std::size_t>(c.destX) * pixelBytes;
    };
    const ImageKernels& kernels = imageKernels();
    if (bpp == 32) {
        blendRows<TargetKind::Context32>(src, job, c, kernels.blendContext32, targetRow);
    } else {
        blendRows<TargetKind::Context24>(src, job, c, kernels.blendContext24, targetRow);
    }
    return true;
}

void detail::blendHostScalar(std::uint8_t* t, const std::uint8_t* s, std::int32_t n,
                             std::uint32_t o) noexcept {
    blendRowScalar<TargetKind::Host, false>(t, s, n, o, nullptr);
}

void detail::blendContext32Scalar(std::uint8_t* t, const std::uint8_t* s, std::int32_t n,
                                  std::uint32_t o) noexcept {
    blendRowScalar<TargetKind::Context32, false>(t, s, n, o, nullptr);
}

void detail::blendContext24Scalar(std::uint8_t* t, const std::uint8_t* s, std::int32_t n,
                                  std::uint32_t o) noexcept {
    blendRowScalar<TargetKind::Context24, false>(t, s, n, o, nullptr);
}

}  // namespace talvrin::engine
