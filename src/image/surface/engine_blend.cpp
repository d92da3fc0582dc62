// Engine: the per-pixel compositor. Premultiplied source pixels go onto a host surface's 32-bit
// pixels or onto a device context's pixels, with an opacity byte and an optional grayscale
// formula, by the truncating integer rules documented in engine.h.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "base/div255.h"
#include "base/simd.h"
#include "image/codecs/pixel_helpers.h"
#include "image/surface/engine.h"
#include "image/surface/engine_sample.h"
#include "platform/gdi/bitmap.h"

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

// How the target's bytes are laid out and which of them take part.
enum class TargetKind {
    Host,       // 32-bit surface: all four bytes blend
    Context32,  // 32-bit context through the 24-bit round trip: colours blend, alpha becomes 0
    Context24,  // 24-bit context: three bytes a pixel, colours blend
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

#if defined(TALVRIN_SIMD_X86)
// Two pixels widened to 16-bit lanes (div255Floor16 is div255Floor there, every x < 2^16).
inline __m128i blendTwo(__m128i s16, __m128i t16, __m128i o16) noexcept {
    const __m128i a16 = simd::alphaLanes16(s16);
    const __m128i c16 = _mm_min_epi16(s16, a16);  // the alpha lane keeps a
    const __m128i k =
        _mm_sub_epi16(_mm_set1_epi16(255), simd::div255Floor16(_mm_mullo_epi16(a16, o16)));
    const __m128i x = _mm_add_epi16(_mm_mullo_epi16(t16, k), _mm_mullo_epi16(c16, o16));
    const __m128i r = simd::div255Floor16(x);
    const __m128i keep = _mm_cmpeq_epi16(a16, _mm_setzero_si128());
    return _mm_or_si128(_mm_and_si128(keep, t16), _mm_andnot_si128(keep, r));
}

// Four pixels at a time onto 32-bit targets; the tail goes through the scalar form.
template <TargetKind Kind>
void blendRowVector(std::uint8_t* t, const std::uint8_t* s, std::int32_t n, std::uint32_t o,
                    const GrayTables* gt) noexcept {
    static_assert(Kind != TargetKind::Context24);
    const __m128i zero = _mm_setzero_si128();
    const __m128i o16 = _mm_set1_epi16(static_cast<short>(o));
    const __m128i keepColour = _mm_set1_epi32(0x00FFFFFF);
    std::int32_t i = 0;
    for (; i + 4 <= n; i += 4, s += 16, t += 16) {
        const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i tv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t));
        const __m128i lo = blendTwo(_mm_unpacklo_epi8(sv, zero), _mm_unpacklo_epi8(tv, zero), o16);
        const __m128i hi = blendTwo(_mm_unpackhi_epi8(sv, zero), _mm_unpackhi_epi8(tv, zero), o16);
        __m128i r = _mm_packus_epi16(lo, hi);
        if constexpr (Kind == TargetKind::Context32) r = _mm_and_si128(r, keepColour);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(t), r);
    }
    blendRowScalar<Kind, false>(t, s, n - i, o, gt);
}

// blendTwo for four pixels widened to 16-bit lanes.
__attribute__((target("avx2"))) inline __m256i blendFour(__m256i s16, __m256i t16,
                                                         __m256i o16) noexcept {
    const __m256i a16 = simd::alphaLanes16(s16);
    const __m256i c16 = _mm256_min_epi16(s16, a16);
    const __m256i k =
        _mm256_sub_epi16(_mm256_set1_epi16(255), simd::div255Floor16(_mm256_mullo_epi16(a16, o16)));
    const __m256i x = _mm256_add_epi16(_mm256_mullo_epi16(t16, k), _mm256_mullo_epi16(c16, o16));
    const __m256i r = simd::div255Floor16(x);
    const __m256i keep = _mm256_cmpeq_epi16(a16, _mm256_setzero_si256());
    return _mm256_blendv_epi8(r, t16, keep);
}

// Eight pixels at a time; the rest through the four-pixel form.
template <TargetKind Kind>
__attribute__((target("avx2"))) void blendRowAvx2(std::uint8_t* t, const std::uint8_t* s,
                                                  std::int32_t n, std::uint32_t o,
                                                  const GrayTables* gt) noexcept {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i o16 = _mm256_set1_epi16(static_cast<short>(o));
    const __m256i keepColour = _mm256_set1_epi32(0x00FFFFFF);
    std::int32_t i = 0;
    for (; i + 8 <= n; i += 8, s += 32, t += 32) {
        const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
        const __m256i tv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t));
        // Unpacking and packing work within each 128-bit half, so the pixel order survives.
        const __m256i lo =
            blendFour(_mm256_unpacklo_epi8(sv, zero), _mm256_unpacklo_epi8(tv, zero), o16);
        const __m256i hi =
            blendFour(_mm256_unpackhi_epi8(sv, zero), _mm256_unpackhi_epi8(tv, zero), o16);
        __m256i r = _mm256_packus_epi16(lo, hi);
        if constexpr (Kind == TargetKind::Context32) r = _mm256_and_si256(r, keepColour);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(t), r);
    }
    blendRowVector<Kind>(t, s, n - i, o, gt);
}

// 24-bit targets: the row goes through a 32-bit scratch in chunks, so that the vector form
// does the arithmetic; the scratch's alpha bytes are never read back.
template <void (*Row32)(std::uint8_t*, const std::uint8_t*, std::int32_t, std::uint32_t,
                        const GrayTables*) noexcept>
void blendRow24Vector(std::uint8_t* t, const std::uint8_t* s, std::int32_t n, std::uint32_t o,
                      const GrayTables* gt) noexcept {
    constexpr std::int32_t kChunk = 256;
    alignas(32) std::uint8_t scratch[kChunk * 4];
    while (n > 0) {
        const std::int32_t m = std::min(n, kChunk);
        for (std::int32_t i = 0; i < m; ++i)
            std::memcpy(scratch + 4 * i, t + 3 * i, 3);
        Row32(scratch, s, m, o, gt);
        for (std::int32_t i = 0; i < m; ++i)
            std::memcpy(t + 3 * i, scratch + 4 * i, 3);
        t += 3 * m;
        s += 4 * m;
        n -= m;
    }
}
#endif

using RowFn = void (*)(std::uint8_t*, const std::uint8_t*, std::int32_t, std::uint32_t,
                       const GrayTables*);

template <TargetKind Kind>
RowFn pickRow(bool gray) noexcept {
    if (gray) return &blendRowScalar<Kind, true>;
#if defined(TALVRIN_SIMD_X86)
    const simd::Level level = simd::level();
    if (level >= simd::Level::kAvx2) {
        if constexpr (Kind != TargetKind::Context24) return &blendRowAvx2<Kind>;
        if constexpr (Kind == TargetKind::Context24)
            return &blendRow24Vector<&blendRowAvx2<TargetKind::Context32>>;
    }
    if (level >= simd::Level::kSse2) {
        if constexpr (Kind != TargetKind::Context24) return &blendRowVector<Kind>;
        if constexpr (Kind == TargetKind::Context24)
            return &blendRow24Vector<&blendRowVector<TargetKind::Context32>>;
    }
#endif
    return &blendRowScalar<Kind, false>;
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
    if (!clipJob(src, job, 0, 0, target.width, target.height, c)) return false;
    const bool gray = job.grayScale != -1;
    const GrayTables tables(gray ? job.grayScale : 0);
    const RowFn row = pickRow<TargetKind::Host>(gray);
    for (std::int32_t r = 0; r < c.height; ++r) {
        const std::uint8_t* s = src.pixelFromTop(c.srcX, c.srcY + r);
        std::uint8_t* t = target.pixelFromTop(c.destX, c.destY + r);
        row(t, s, c.width, job.opacity, &tables);
    }
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
    const bool gray = job.grayScale != -1;
    const GrayTables tables(gray ? job.grayScale : 0);
    const RowFn row =
        bpp == 32 ? pickRow<TargetKind::Context32>(gray) : pickRow<TargetKind::Context24>(gray);
    const std::size_t pixelBytes = static_cast<std::size_t>(bpp / 8);
    for (std::int32_t r = 0; r < c.height; ++r) {
        const std::uint8_t* s = src.pixelFromTop(c.srcX, c.srcY + r);
        std::uint8_t* t =
            bitmap.rowFromTop(c.destY + r) + static_cast<std::size_t>(c.destX) * pixelBytes;
        row(t, s, c.width, job.opacity, &tables);
    }
    return true;
}

}  // namespace talvrin::engine
