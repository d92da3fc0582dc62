// Per-pixel alpha blending and the transparent-colour blit, with stretching.
//
// The blend rows are the hot loop of plain draws. They work on 32-bit rows: a scalar version
// defines the result, and SSE2 / AVX2 versions (chosen once at run time on x86) give the same
// bytes. All of them divide by 255 with rounding: div255Round of base/div255.h, and its
// lane-wise form below.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "base/div255.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/gdi_raster.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define TALVRIN_BLEND_X86 1
#include <immintrin.h>
#endif

namespace talvrin::platform {

using detail::AxisMap;
using detail::convertRow;
using detail::meet;
using detail::pixelAt;
using detail::Span64;
using detail::xSpan;
using detail::ySpan;

namespace {

// ---- scalar rows (the reference for the vector ones) ----

void overRowScalar(std::uint8_t* d, const std::uint8_t* s, std::size_t n,
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

void constantRowScalar(std::uint8_t* d, const std::uint8_t* s, std::size_t n,
                       std::uint32_t sca) noexcept {
    const std::uint32_t isca = 255 - sca;
    for (std::size_t i = 0; i < n * 4; ++i)
        d[i] = static_cast<std::uint8_t>(div255Round(s[i] * sca + d[i] * isca));
}

#if TALVRIN_BLEND_X86

// ---- SSE2: 4 pixels a step ----

// div255Round in every 16-bit lane (v <= 65025): mulhi(v + 128, 257) is ((v + 128) * 257) >> 16.
inline __m128i div255Sse2(__m128i v) noexcept {
    return _mm_mulhi_epu16(_mm_add_epi16(v, _mm_set1_epi16(0x80)), _mm_set1_epi16(0x0101));
}
inline __m128i alphaLanesSse2(__m128i px16) noexcept {  // copy each pixel's alpha to its lanes
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(px16, 0xFF), 0xFF);
}
inline __m128i scaleSse2(__m128i s, __m128i sca16) noexcept {
    const __m128i zero = _mm_setzero_si128();
    const __m128i lo = div255Sse2(_mm_mullo_epi16(_mm_unpacklo_epi8(s, zero), sca16));
    const __m128i hi = div255Sse2(_mm_mullo_epi16(_mm_unpackhi_epi8(s, zero), sca16));
    return _mm_packus_epi16(lo, hi);
}

__attribute__((target("sse2"))) void overRowSse2(std::uint8_t* d, const std::uint8_t* s,
                                                 std::size_t n, std::uint32_t sca) noexcept {
    const __m128i zero = _mm_setzero_si128();
    const __m128i ff16 = _mm_set1_epi16(0xFF);
    const __m128i sca16 = _mm_set1_epi16(static_cast<short>(sca));
    const __m128i alphaMask = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * i));
        if (sca != 255) sv = scaleSse2(sv, sca16);
        const int opaque =
            _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(sv, alphaMask), alphaMask));
        if (opaque == 0xFFFF && sca == 255) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * i), sv);
            continue;
        }
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(sv, zero)) == 0xFFFF) continue;
        const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 4 * i));
        const __m128i ialo = _mm_xor_si128(alphaLanesSse2(_mm_unpacklo_epi8(sv, zero)), ff16);
        const __m128i iahi = _mm_xor_si128(alphaLanesSse2(_mm_unpackhi_epi8(sv, zero)), ff16);
        const __m128i dlo = div255Sse2(_mm_mullo_epi16(_mm_unpacklo_epi8(dv, zero), ialo));
        const __m128i dhi = div255Sse2(_mm_mullo_epi16(_mm_unpackhi_epi8(dv, zero), iahi));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * i),
                         _mm_adds_epu8(_mm_packus_epi16(dlo, dhi), sv));
    }
    overRowScalar(d + 4 * i, s + 4 * i, n - i, sca);
}

__attribute__((target("sse2"))) void constantRowSse2(std::uint8_t* d, const std::uint8_t* s,
                                                     std::size_t n, std::uint32_t sca) noexcept {
    const __m128i zero = _mm_setzero_si128();
    const __m128i sca16 = _mm_set1_epi16(static_cast<short>(sca));
    const __m128i isca16 = _mm_set1_epi16(static_cast<short>(255 - sca));
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * i));
        const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 4 * i));
        const __m128i lo =
            div255Sse2(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(sv, zero), sca16),
                                     _mm_mullo_epi16(_mm_unpacklo_epi8(dv, zero), isca16)));
        const __m128i hi =
            div255Sse2(_mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(sv, zero), sca16),
                                     _mm_mullo_epi16(_mm_unpackhi_epi8(dv, zero), isca16)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * i), _mm_packus_epi16(lo, hi));
    }
    constantRowScalar(d + 4 * i, s + 4 * i, n - i, sca);
}

// ---- AVX2: 8 pixels a step (unpack and pack work within 128-bit lanes, so order is kept) ----

__attribute__((target("avx2"))) inline __m256i div255Avx2(__m256i v) noexcept {
    return _mm256_mulhi_epu16(_mm256_add_epi16(v, _mm256_set1_epi16(0x80)),
                              _mm256_set1_epi16(0x0101));
}
__attribute__((target("avx2"))) inline __m256i alphaLanesAvx2(__m256i px16) noexcept {
    return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(px16, 0xFF), 0xFF);
}

__attribute__((target("avx2"))) void overRowAvx2(std::uint8_t* d, const std::uint8_t* s,
                                                 std::size_t n, std::uint32_t sca) noexcept {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i ff16 = _mm256_set1_epi16(0xFF);
    const __m256i sca16 = _mm256_set1_epi16(static_cast<short>(sca));
    const __m256i alphaMask = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 4 * i));
        if (sca != 255) {
            const __m256i lo =
                div255Avx2(_mm256_mullo_epi16(_mm256_unpacklo_epi8(sv, zero), sca16));
            const __m256i hi =
                div255Avx2(_mm256_mullo_epi16(_mm256_unpackhi_epi8(sv, zero), sca16));
            sv = _mm256_packus_epi16(lo, hi);
        } else if (_mm256_testc_si256(sv, alphaMask)) {
            // Every alpha is 255: the result is the source.
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 4 * i), sv);
            continue;
        }
        if (_mm256_testz_si256(sv, sv)) continue;  // all-zero source leaves the destination
        const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + 4 * i));
        const __m256i ialo = _mm256_xor_si256(alphaLanesAvx2(_mm256_unpacklo_epi8(sv, zero)), ff16);
        const __m256i iahi = _mm256_xor_si256(alphaLanesAvx2(_mm256_unpackhi_epi8(sv, zero)), ff16);
        const __m256i dlo = div255Avx2(_mm256_mullo_epi16(_mm256_unpacklo_epi8(dv, zero), ialo));
        const __m256i dhi = div255Avx2(_mm256_mullo_epi16(_mm256_unpackhi_epi8(dv, zero), iahi));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 4 * i),
                            _mm256_adds_epu8(_mm256_packus_epi16(dlo, dhi), sv));
    }
    overRowSse2(d + 4 * i, s + 4 * i, n - i, sca);
}

__attribute__((target("avx2"))) void constantRowAvx2(std::uint8_t* d, const std::uint8_t* s,
                                                     std::size_t n, std::uint32_t sca) noexcept {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i sca16 = _mm256_set1_epi16(static_cast<short>(sca));
    const __m256i isca16 = _mm256_set1_epi16(static_cast<short>(255 - sca));
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 4 * i));
        const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + 4 * i));
        const __m256i lo = div255Avx2(
            _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(sv, zero), sca16),
                             _mm256_mullo_epi16(_mm256_unpacklo_epi8(dv, zero), isca16)));
        const __m256i hi = div255Avx2(
            _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(sv, zero), sca16),
                             _mm256_mullo_epi16(_mm256_unpackhi_epi8(dv, zero), isca16)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 4 * i), _mm256_packus_epi16(lo, hi));
    }
    constantRowSse2(d + 4 * i, s + 4 * i, n - i, sca);
}

#endif  // TALVRIN_BLEND_X86

using RowFn = void (*)(std::uint8_t*, const std::uint8_t*, std::size_t, std::uint32_t) noexcept;

struct BlendRows {
    RowFn over;
    RowFn constant;
};

BlendRows chooseRows() noexcept {
#if TALVRIN_BLEND_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return {overRowAvx2, constantRowAvx2};
    if (__builtin_cpu_supports("sse2")) return {overRowSse2, constantRowSse2};
#endif
    return {overRowScalar, constantRowScalar};
}

const BlendRows& blendRows() noexcept {
    static const BlendRows rows = chooseRows();
    return rows;
}

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

    const RowFn row = blend.perPixelAlpha ? blendRows().over : blendRows().constant;
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

bool alphaBlendVectorActive() noexcept {
    return blendRows().over != &overRowScalar;
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
