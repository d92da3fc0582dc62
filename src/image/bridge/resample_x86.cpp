// The resampler's SSE2 and AVX2 row forms: the arithmetic of the scalar reference
// (resample.cpp), lane by lane. Sums of 16-bit products are formed in pairs by madd, whose
// 32-bit results are exact, so any pairing of the taps gives the reference's sums.
#include <cstring>

#include "base/simd.h"
#include "image/bridge/resample_forms.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define TALVRIN_RESAMPLE_X86 1
#include <immintrin.h>
#endif

namespace talvrin::bridge::resample::detail {

#if TALVRIN_RESAMPLE_X86

namespace {

#define SSE2 __attribute__((target("sse2")))
#define AVX2 __attribute__((target("avx2")))

constexpr std::int32_t kMidRound = 1 << (kMidShift - 1);
constexpr std::int32_t kOutRound = 1 << (kOutShift - 1);

// ---- Shared 128-bit steps (SSE2) ----

// Two 16-bit weights as one 32-bit lane pattern, for madd against interleaved pairs.
SSE2 inline __m128i pairOf(std::int16_t w0, std::int16_t w1) noexcept {
    return _mm_set1_epi32(static_cast<std::int32_t>(
        static_cast<std::uint32_t>(static_cast<std::uint16_t>(w0)) |
        (static_cast<std::uint32_t>(static_cast<std::uint16_t>(w1)) << 16)));
}

// The two weights at w as that pattern, read as one 32-bit value.
SSE2 inline __m128i pairAt(const std::int16_t* w) noexcept {
    std::int32_t pair;
    std::memcpy(&pair, w, 4);
    return _mm_set1_epi32(pair);
}

// Sums of four taps of 4 pixels, per channel: [B G R A] as int32.
SSE2 inline __m128i fourTapsSse2(const std::uint8_t* p, const std::int16_t* w) noexcept {
    const __m128i zero = _mm_setzero_si128();
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i lo = _mm_unpacklo_epi8(v, zero), hi = _mm_unpackhi_epi8(v, zero);
    // [w0 w1 w2 w3] -> [w0 w2 w1 w3]: pairs (w0, w2) and (w1, w3) against (p0, p2), (p1, p3).
    const __m128i wv = _mm_shufflelo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(w)),
                                           _MM_SHUFFLE(3, 1, 2, 0));
    const __m128i a = _mm_madd_epi16(_mm_unpacklo_epi16(lo, hi), _mm_shuffle_epi32(wv, 0x00));
    const __m128i b = _mm_madd_epi16(_mm_unpackhi_epi16(lo, hi), _mm_shuffle_epi32(wv, 0x55));
    return _mm_add_epi32(a, b);
}

// One pixel's across sum over the window: the 4 channels' int32 sums.
SSE2 inline __m128i windowSse2(const std::uint8_t* p, const std::int16_t* w,
                               std::int32_t taps) noexcept {
    __m128i acc = _mm_setzero_si128();
    for (std::int32_t k = 0; k < taps; k += 4)
        acc = _mm_add_epi32(acc, fourTapsSse2(p + 4 * k, w + k));
    return acc;
}

SSE2 inline __m128i midOf(__m128i sums) noexcept {
    return _mm_srai_epi32(_mm_add_epi32(sums, _mm_set1_epi32(kMidRound)), kMidShift);
}

// Each pixel's colours held to its alpha (4 pixels of bytes).
SSE2 inline __m128i heldToAlphaSse2(__m128i v) noexcept {
    __m128i a = _mm_srli_epi32(v, 24);
    a = _mm_or_si128(a, _mm_slli_epi32(a, 8));
    a = _mm_or_si128(a, _mm_slli_epi32(a, 16));
    return _mm_min_epu8(v, a);
}

// Down over 8 values (2 pixels) at j: int32 results before the shift.
SSE2 inline void downEightSse2(const std::int16_t* const* rows, const std::int16_t* w,
                               std::int32_t taps, std::int32_t j, __m128i& lo,
                               __m128i& hi) noexcept {
    lo = _mm_set1_epi32(kOutRound);
    hi = lo;
    for (std::int32_t k = 0; k < taps; k += 2) {
        const __m128i wv = pairAt(w + k);
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + j));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k + 1] + j));
        lo = _mm_add_epi32(lo, _mm_madd_epi16(_mm_unpacklo_epi16(a, b), wv));
        hi = _mm_add_epi32(hi, _mm_madd_epi16(_mm_unpackhi_epi16(a, b), wv));
    }
}

// Down over 4 pixels at pixel i, stored as bytes.
SSE2 inline void downFourSse2(const std::int16_t* const* rows, const std::int16_t* w,
                              std::int32_t taps, std::int32_t i, std::uint8_t* out) noexcept {
    __m128i a, b, c, d;
    downEightSse2(rows, w, taps, 4 * i, a, b);
    downEightSse2(rows, w, taps, 4 * i + 8, c, d);
    const __m128i first =
        _mm_packs_epi32(_mm_srai_epi32(a, kOutShift), _mm_srai_epi32(b, kOutShift));
    const __m128i second =
        _mm_packs_epi32(_mm_srai_epi32(c, kOutShift), _mm_srai_epi32(d, kOutShift));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i),
                     heldToAlphaSse2(_mm_packus_epi16(first, second)));
}

// The pixels after the vector steps, as the reference does them.
inline void downTail(const std::int16_t* const* rows, const std::int16_t* w, std::int32_t taps,
                     std::int32_t from, std::int32_t count, std::uint8_t* out) noexcept {
    for (std::int32_t i = from; i < count; ++i) {
        std::uint8_t* px = out + 4 * i;
        for (int c = 0; c < 4; ++c) {
            std::int32_t s = 0;
            for (std::int32_t k = 0; k < taps; ++k)
                s += w[k] * rows[k][4 * i + c];
            px[c] = static_cast<std::uint8_t>(std::clamp((s + kOutRound) >> kOutShift, 0, 255));
        }
        for (int c = 0; c < 3; ++c)
            px[c] = std::min(px[c], px[3]);
    }
}

// One pixel of a turned draw from its row sums: two rows at a time, interleaved per channel.
SSE2 inline __m128i pairRowsSse2(__m128i midA, __m128i midB, std::int16_t wa,
                                 std::int16_t wb) noexcept {
    const __m128i t = _mm_packs_epi32(midA, midB);  // [A: B G R A | B: B G R A]
    return _mm_madd_epi16(_mm_unpacklo_epi16(t, _mm_srli_si128(t, 8)), pairOf(wa, wb));
}

SSE2 inline void finishPixelSse2(__m128i acc, std::uint8_t coverage, std::uint8_t* out) noexcept {
    const __m128i r = _mm_srai_epi32(_mm_add_epi32(acc, _mm_set1_epi32(kOutRound)), kOutShift);
    const __m128i p16 = _mm_packs_epi32(r, r);
    const __m128i bytes = heldToAlphaSse2(_mm_packus_epi16(p16, p16));
    const std::int32_t v = _mm_cvtsi128_si32(bytes);
    std::memcpy(out, &v, 4);
    applyCoverage(out, coverage);
}

// Source-over of 4 pixels: t = min(255, s + round(t (255 - sa) / 255)), on 16-bit halves.
SSE2 inline __m128i overHalfSse2(__m128i s16, __m128i d16) noexcept {
    const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s16, 0xFF), 0xFF);
    const __m128i t = _mm_mullo_epi16(d16, _mm_sub_epi16(_mm_set1_epi16(255), a));
    return _mm_mulhi_epu16(_mm_add_epi16(t, _mm_set1_epi16(128)), _mm_set1_epi16(257));
}
SSE2 inline __m128i overFourSse2(__m128i s, __m128i d) noexcept {
    const __m128i zero = _mm_setzero_si128();
    const __m128i lo = overHalfSse2(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero));
    const __m128i hi = overHalfSse2(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero));
    return _mm_adds_epu8(s, _mm_packus_epi16(lo, hi));
}

inline void overTail(std::uint8_t* d, const std::uint8_t* s, std::int32_t count) noexcept {
    for (std::int32_t i = 0; i < count; ++i, d += 4, s += 4) {
        const std::uint32_t ia = 255 - s[3];
        for (int c = 0; c < 4; ++c)
            d[c] = static_cast<std::uint8_t>(
                std::min<std::uint32_t>(255, s[c] + div255Round(d[c] * ia)));
    }
}

// ---- SSE2 forms ----

SSE2 void acrossSse2(const std::uint8_t* src, const AxisFilter& f, std::int32_t begin,
                     std::int32_t count, std::int16_t* out) noexcept {
    const std::int32_t taps = f.taps;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::size_t at = std::size_t(begin) + std::size_t(i);
        const __m128i sums = windowSse2(src + 4 * std::size_t(f.first[at]),
                                        f.weights.data() + at * std::size_t(taps), taps);
        const __m128i m = midOf(sums);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * i), _mm_packs_epi32(m, m));
    }
}

SSE2 void downSse2(const std::int16_t* const* rows, const std::int16_t* w, std::int32_t taps,
                   std::int32_t count, std::uint8_t* out) noexcept {
    std::int32_t i = 0;
    for (; i + 4 <= count; i += 4)
        downFourSse2(rows, w, taps, i, out);
    downTail(rows, w, taps, i, count, out);
}

SSE2 void affineSse2(const Source& src, const PhaseTable& px, const PhaseTable& py,
                     const AffineSample* samples, std::int32_t count, std::uint8_t* out) noexcept {
    alignas(16) std::uint8_t gathered[2][4 * kMaxAffineTaps];
    for (std::int32_t i = 0; i < count; ++i) {
        const AffineSample& s = samples[i];
        const std::int16_t* wx = px.weights.data() + std::size_t(s.phaseX) * px.taps;
        const std::int16_t* wy = py.weights.data() + std::size_t(s.phaseY) * py.taps;
        const bool inside = s.x >= 0 && s.x <= src.width - px.taps;
        const auto rowAt = [&](std::int32_t ky, int slot) {
            const std::uint8_t* row = src.row(heldTo(s.y + ky, src.height));
            if (inside) return row + 4 * std::ptrdiff_t(s.x);
            gatherHeld(row, s.x, px.taps, src.width, gathered[slot]);
            return static_cast<const std::uint8_t*>(gathered[slot]);
        };
        __m128i acc = _mm_setzero_si128();
        for (std::int32_t ky = 0; ky < py.taps; ky += 2) {
            const __m128i a = midOf(windowSse2(rowAt(ky, 0), wx, px.taps));
            const __m128i b = midOf(windowSse2(rowAt(ky + 1, 1), wx, px.taps));
            acc = _mm_add_epi32(acc, pairRowsSse2(a, b, wy[ky], wy[ky + 1]));
        }
        finishPixelSse2(acc, s.coverage, out + 4 * i);
    }
}

SSE2 void overSse2(std::uint8_t* d, const std::uint8_t* s, std::int32_t count) noexcept {
    std::int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * i));
        const int opaque = _mm_movemask_epi8(
            _mm_cmpeq_epi8(_mm_or_si128(sv, _mm_set1_epi32(0x00FFFFFF)), _mm_set1_epi8(-1)));
        if (opaque == 0xFFFF) {  // every alpha 255: the source as it is
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * i), sv);
            continue;
        }
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(sv, _mm_setzero_si128())) == 0xFFFF) continue;
        const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 4 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * i), overFourSse2(sv, dv));
    }
    overTail(d + 4 * i, s + 4 * i, count - i);
}

// Box, down: 16 bytes at a time, widened to 16 bits and summed over the rows in registers.
SSE2 void boxDownSse2(const std::uint8_t* const* rows, std::int32_t rowCount, std::int32_t values,
                      std::uint16_t* sums) noexcept {
    const __m128i zero = _mm_setzero_si128();
    std::int32_t j = 0;
    for (; j + 16 <= values; j += 16) {
        __m128i lo = zero, hi = zero;
        for (std::int32_t t = 0; t < rowCount; ++t) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[t] + j));
            lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(v, zero));
            hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(v, zero));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + j), lo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + j + 8), hi);
    }
    const std::uint8_t* tail[kMaxBox];
    for (std::int32_t t = 0; t < rowCount; ++t)
        tail[t] = rows[t] + j;
    boxDownScalar(tail, rowCount, values - j, sums + j);
}

// The exact division of BoxDivisor on four 32-bit lanes (each below 2^24): 64-bit products of
// the even and the odd lanes, shifted, put back together.
SSE2 inline __m128i boxDivideSse2(__m128i sums, const BoxDivisor& d) noexcept {
    const __m128i x = _mm_add_epi32(sums, _mm_set1_epi32(static_cast<std::int32_t>(d.half)));
    const __m128i m = _mm_set1_epi32(static_cast<std::int32_t>(d.multiplier));
    const __m128i shift = _mm_cvtsi32_si128(d.shift);
    const __m128i even = _mm_srl_epi64(_mm_mul_epu32(x, m), shift);
    const __m128i odd = _mm_srl_epi64(_mm_mul_epu32(_mm_srli_epi64(x, 32), m), shift);
    return _mm_or_si128(even, _mm_slli_epi64(odd, 32));
}

// Box, across: per output pixel, its k pixels' 16-bit sums added in 32-bit lanes, two at a time.
SSE2 void boxAcrossSse2(const std::uint16_t* sums, std::int32_t k, const BoxDivisor& d,
                        std::int32_t count, std::uint8_t* out) noexcept {
    const __m128i zero = _mm_setzero_si128();
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint16_t* p = sums + 4 * std::size_t(k) * std::size_t(i);
        __m128i acc = zero;
        std::int32_t t = 0;
        for (; t + 2 <= k; t += 2) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * t));
            acc = _mm_add_epi32(
                acc, _mm_add_epi32(_mm_unpacklo_epi16(v, zero), _mm_unpackhi_epi16(v, zero)));
        }
        if (t < k)
            acc = _mm_add_epi32(
                acc, _mm_unpacklo_epi16(
                         _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 4 * t)), zero));
        const __m128i q = boxDivideSse2(acc, d);
        const __m128i q16 = _mm_packs_epi32(q, q);
        const std::int32_t px = _mm_cvtsi128_si32(_mm_packus_epi16(q16, q16));
        std::memcpy(out + 4 * i, &px, 4);
    }
}

// ---- AVX2 forms ----

// Byte shuffles pairing pixels 0 and 1 (and 2 and 3) channel by channel, zero-extended to 16
// bits: [B0 B1 G0 G1 R0 R1 A0 A1].
AVX2 inline __m256i pairMask01() noexcept {
    return _mm256_setr_epi8(0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1,  //
                            0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1);
}
AVX2 inline __m256i pairMask23() noexcept {
    return _mm256_setr_epi8(8, -1, 12, -1, 9, -1, 13, -1, 10, -1, 14, -1, 11, -1, 15, -1,  //
                            8, -1, 12, -1, 9, -1, 13, -1, 10, -1, 14, -1, 11, -1, 15, -1);
}

AVX2 inline __m256i twoWindows(const std::uint8_t* pa, const std::uint8_t* pb,
                               const std::int16_t* wa, const std::int16_t* wb, std::int32_t taps,
                               __m256i m01, __m256i m23) noexcept {
    __m256i acc = _mm256_setzero_si256();
    for (std::int32_t k = 0; k < taps; k += 4) {
        const __m256i v = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pa + 4 * k))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(pb + 4 * k)), 1);
        const __m256i wv = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(wa + k))),
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(wb + k)), 1);
        acc = _mm256_add_epi32(
            acc, _mm256_madd_epi16(_mm256_shuffle_epi8(v, m01), _mm256_shuffle_epi32(wv, 0x00)));
        acc = _mm256_add_epi32(
            acc, _mm256_madd_epi16(_mm256_shuffle_epi8(v, m23), _mm256_shuffle_epi32(wv, 0x55)));
    }
    return _mm256_srai_epi32(_mm256_add_epi32(acc, _mm256_set1_epi32(kMidRound)), kMidShift);
}

AVX2 inline __m256i pairWeights(const std::int16_t* w) noexcept {
    std::int32_t pair;
    std::memcpy(&pair, w, 4);
    return _mm256_set1_epi32(pair);
}

AVX2 inline __m256i midOf256(__m256i sums) noexcept {
    return _mm256_srai_epi32(_mm256_add_epi32(sums, _mm256_set1_epi32(kMidRound)), kMidShift);
}

// Output pixels [i, end) with windows and weights of their own.
AVX2 void acrossEach(const std::uint8_t* src, const AxisFilter& f, std::int32_t i, std::int32_t end,
                     std::int16_t* out) noexcept {
    const std::int32_t taps = f.taps;
    const __m256i m01 = pairMask01(), m23 = pairMask23();
    const auto at = [&](std::int32_t j) { return src + 4 * std::size_t(f.first[std::size_t(j)]); };
    const auto wt = [&](std::int32_t j) { return f.weights.data() + std::size_t(j) * taps; };
    for (; i + 4 <= end; i += 4, out += 16) {
        // Lanes: (i, i + 1) and (i + 2, i + 3); packed, they come out as i, i + 2 | i + 1, i + 3.
        const __m256i a = twoWindows(at(i), at(i + 1), wt(i), wt(i + 1), taps, m01, m23);
        const __m256i b = twoWindows(at(i + 2), at(i + 3), wt(i + 2), wt(i + 3), taps, m01, m23);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                            _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xD8));
    }
    for (; i < end; ++i, out += 4) {
        const __m128i m = midOf(windowSse2(at(i), wt(i), taps));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packs_epi32(m, m));
    }
}

// Outputs [i, end) of a reduction by 2 sharing the weights w, four at a time: one load of 8
// pixels holds a tap pair of each, (0, 1) of output i, (2, 3) of i + 1, (4, 5) of i + 2 and
// (6, 7) of i + 3. Taps > 0 holds the weights in registers. Answers the first output not done.
template <std::int32_t Taps>
AVX2 std::int32_t halvingRows(const std::uint8_t* src, const AxisFilter& f, const std::int16_t* w,
                              std::int32_t i, std::int32_t end, std::int16_t* out) noexcept {
    const std::int32_t taps = Taps > 0 ? Taps : f.taps;
    const __m256i m01 = pairMask01(), m23 = pairMask23();
    constexpr std::int32_t kHeld = Taps > 0 ? Taps / 2 : 1;
    __m256i held[kHeld];
    if constexpr (Taps > 0) {
#pragma GCC unroll 8
        for (std::int32_t k = 0; k < Taps; k += 2)
            held[k / 2] = pairWeights(w + k);
    }
    for (; i + 4 <= end; i += 4, out += 16) {
        const std::uint8_t* p = src + 4 * std::size_t(f.first[std::size_t(i)]);
        __m256i even = _mm256_setzero_si256(), odd = even;
#pragma GCC unroll 8
        for (std::int32_t k = 0; k < taps; k += 2) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 4 * k));
            const __m256i wk = Taps > 0 ? held[k / 2] : pairWeights(w + k);
            even = _mm256_add_epi32(even, _mm256_madd_epi16(_mm256_shuffle_epi8(v, m01), wk));
            odd = _mm256_add_epi32(odd, _mm256_madd_epi16(_mm256_shuffle_epi8(v, m23), wk));
        }
        // even: i | i + 2, odd: i + 1 | i + 3; packed: i, i + 1 | i + 2, i + 3.
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                            _mm256_packs_epi32(midOf256(even), midOf256(odd)));
    }
    return i;
}

// Outputs [i, end) sharing the weights w, two at a time, each window `stride` pixels after the
// last. Answers the first output not done.
AVX2 std::int32_t sharedWeightRows(const std::uint8_t* src, const AxisFilter& f,
                                   const std::int16_t* w, std::int32_t i, std::int32_t end,
                                   std::int16_t* out) noexcept {
    const __m256i m01 = pairMask01(), m23 = pairMask23();
    for (; i + 2 <= end; i += 2, out += 8) {
        const std::uint8_t* pa = src + 4 * std::size_t(f.first[std::size_t(i)]);
        const std::uint8_t* pb = src + 4 * std::size_t(f.first[std::size_t(i) + 1]);
        __m256i acc = _mm256_setzero_si256();
        for (std::int32_t k = 0; k < f.taps; k += 4) {
            const __m256i v = _mm256_inserti128_si256(
                _mm256_castsi128_si256(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(pa + 4 * k))),
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(pb + 4 * k)), 1);
            acc = _mm256_add_epi32(
                acc, _mm256_madd_epi16(_mm256_shuffle_epi8(v, m01), pairWeights(w + k)));
            acc = _mm256_add_epi32(
                acc, _mm256_madd_epi16(_mm256_shuffle_epi8(v, m23), pairWeights(w + k + 2)));
        }
        const __m256i m = midOf256(acc);
        const __m256i p = _mm256_packs_epi32(m, m);  // i twice | i + 1 twice
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         _mm256_castsi256_si128(_mm256_permute4x64_epi64(p, 0x08)));
    }
    return i;
}

// Outputs [i, end) inside the filter's uniform run.
AVX2 void acrossUniform(const std::uint8_t* src, const AxisFilter& f, std::int32_t i,
                        std::int32_t end, std::int16_t* out) noexcept {
    const std::int16_t* w = f.weights.data() + std::size_t(f.uniformBegin) * f.taps;
    std::int32_t next = i;
    if (f.uniformStride != 2)
        next = sharedWeightRows(src, f, w, i, end, out);
    else if (f.taps == 8)
        next = halvingRows<8>(src, f, w, i, end, out);
    else if (f.taps == 12)
        next = halvingRows<12>(src, f, w, i, end, out);
    else
        next = halvingRows<0>(src, f, w, i, end, out);
    acrossEach(src, f, next, end, out + 4 * std::size_t(next - i));
}

AVX2 void acrossAvx2(const std::uint8_t* src, const AxisFilter& f, std::int32_t begin,
                     std::int32_t count, std::int16_t* out) noexcept {
    const std::int32_t end = begin + count;
    const std::int32_t u0 = std::clamp(f.uniformBegin, begin, end);
    const std::int32_t u1 = std::clamp(f.uniformEnd, u0, end);
    acrossEach(src, f, begin, u0, out);
    acrossUniform(src, f, u0, u1, out + 4 * std::size_t(u0 - begin));
    acrossEach(src, f, u1, end, out + 4 * std::size_t(u1 - begin));
}

// Down over 32 values (8 pixels) at j: int32 results before the shift, in unpacking order.
AVX2 inline void downThirtyTwo(const std::int16_t* const* rows, const std::int16_t* w,
                               std::int32_t taps, std::int32_t j, __m256i (&acc)[4]) noexcept {
    acc[0] = acc[1] = acc[2] = acc[3] = _mm256_set1_epi32(kOutRound);
    for (std::int32_t k = 0; k < taps; k += 2) {
        const __m256i wv = pairWeights(w + k);
        const auto* ra = reinterpret_cast<const __m256i*>(rows[k] + j);
        const auto* rb = reinterpret_cast<const __m256i*>(rows[k + 1] + j);
        const __m256i a0 = _mm256_loadu_si256(ra), b0 = _mm256_loadu_si256(rb);
        const __m256i a1 = _mm256_loadu_si256(ra + 1), b1 = _mm256_loadu_si256(rb + 1);
        acc[0] = _mm256_add_epi32(acc[0], _mm256_madd_epi16(_mm256_unpacklo_epi16(a0, b0), wv));
        acc[1] = _mm256_add_epi32(acc[1], _mm256_madd_epi16(_mm256_unpackhi_epi16(a0, b0), wv));
        acc[2] = _mm256_add_epi32(acc[2], _mm256_madd_epi16(_mm256_unpacklo_epi16(a1, b1), wv));
        acc[3] = _mm256_add_epi32(acc[3], _mm256_madd_epi16(_mm256_unpackhi_epi16(a1, b1), wv));
    }
}

AVX2 void downAvx2(const std::int16_t* const* rows, const std::int16_t* w, std::int32_t taps,
                   std::int32_t count, std::uint8_t* out) noexcept {
    const __m256i alphas = _mm256_setr_epi8(3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15,
                                            3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15);
    std::int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        __m256i acc[4];
        downThirtyTwo(rows, w, taps, 4 * i, acc);
        // Unpacking and packing within lanes keep the order of each 16-value half.
        const __m256i first = _mm256_packs_epi32(_mm256_srai_epi32(acc[0], kOutShift),
                                                 _mm256_srai_epi32(acc[1], kOutShift));
        const __m256i second = _mm256_packs_epi32(_mm256_srai_epi32(acc[2], kOutShift),
                                                  _mm256_srai_epi32(acc[3], kOutShift));
        __m256i v = _mm256_permute4x64_epi64(_mm256_packus_epi16(first, second), 0xD8);
        v = _mm256_min_epu8(v, _mm256_shuffle_epi8(v, alphas));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * i), v);
    }
    for (; i + 4 <= count; i += 4)
        downFourSse2(rows, w, taps, i, out);
    downTail(rows, w, taps, i, count, out);
}

AVX2 void affineAvx2(const Source& src, const PhaseTable& px, const PhaseTable& py,
                     const AffineSample* samples, std::int32_t count, std::uint8_t* out) noexcept {
    alignas(32) std::uint8_t gathered[2][4 * kMaxAffineTaps];
    const __m256i m01 = pairMask01(), m23 = pairMask23();
    for (std::int32_t i = 0; i < count; ++i) {
        const AffineSample& s = samples[i];
        const std::int16_t* wx = px.weights.data() + std::size_t(s.phaseX) * px.taps;
        const std::int16_t* wy = py.weights.data() + std::size_t(s.phaseY) * py.taps;
        const bool inside = s.x >= 0 && s.x <= src.width - px.taps;
        const auto rowAt = [&](std::int32_t ky, int slot) {
            const std::uint8_t* row = src.row(heldTo(s.y + ky, src.height));
            if (inside) return row + 4 * std::ptrdiff_t(s.x);
            gatherHeld(row, s.x, px.taps, src.width, gathered[slot]);
            return static_cast<const std::uint8_t*>(gathered[slot]);
        };
        __m128i acc = _mm_setzero_si128();
        for (std::int32_t ky = 0; ky < py.taps; ky += 2) {
            // Rows ky and ky + 1 across in the two lanes, then down as one pair.
            const __m256i m = twoWindows(rowAt(ky, 0), rowAt(ky + 1, 1), wx, wx, px.taps, m01, m23);
            acc = _mm_add_epi32(
                acc, pairRowsSse2(_mm256_castsi256_si128(m), _mm256_extracti128_si256(m, 1), wy[ky],
                                  wy[ky + 1]));
        }
        finishPixelSse2(acc, s.coverage, out + 4 * i);
    }
}

AVX2 inline __m256i overHalfAvx2(__m256i s16, __m256i d16) noexcept {
    const __m256i a = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(s16, 0xFF), 0xFF);
    const __m256i t = _mm256_mullo_epi16(d16, _mm256_sub_epi16(_mm256_set1_epi16(255), a));
    return _mm256_mulhi_epu16(_mm256_add_epi16(t, _mm256_set1_epi16(128)), _mm256_set1_epi16(257));
}
AVX2 inline __m256i overEightAvx2(__m256i s, __m256i d) noexcept {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i lo = overHalfAvx2(_mm256_unpacklo_epi8(s, zero), _mm256_unpacklo_epi8(d, zero));
    const __m256i hi = overHalfAvx2(_mm256_unpackhi_epi8(s, zero), _mm256_unpackhi_epi8(d, zero));
    return _mm256_adds_epu8(s, _mm256_packus_epi16(lo, hi));
}

AVX2 void overAvx2(std::uint8_t* d, const std::uint8_t* s, std::int32_t count) noexcept {
    std::int32_t i = 0;
    const __m256i colours = _mm256_set1_epi32(0x00FFFFFF), ones = _mm256_set1_epi8(-1);
    for (; i + 8 <= count; i += 8) {
        const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 4 * i));
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_or_si256(sv, colours), ones)) == -1) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 4 * i), sv);
            continue;
        }
        if (_mm256_testz_si256(sv, sv)) continue;
        const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + 4 * i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 4 * i), overEightAvx2(sv, dv));
    }
    overSse2(d + 4 * i, s + 4 * i, count - i);
}

// Box, down: 32 bytes at a time.
AVX2 void boxDownAvx2(const std::uint8_t* const* rows, std::int32_t rowCount, std::int32_t values,
                      std::uint16_t* sums) noexcept {
    std::int32_t j = 0;
    for (; j + 32 <= values; j += 32) {
        __m256i lo = _mm256_setzero_si256(), hi = lo;
        for (std::int32_t t = 0; t < rowCount; ++t) {
            const auto* at = reinterpret_cast<const __m128i*>(rows[t] + j);
            lo = _mm256_add_epi16(lo, _mm256_cvtepu8_epi16(_mm_loadu_si128(at)));
            hi = _mm256_add_epi16(hi, _mm256_cvtepu8_epi16(_mm_loadu_si128(at + 1)));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + j), lo);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + j + 16), hi);
    }
    const std::uint8_t* tail[kMaxBox];
    for (std::int32_t t = 0; t < rowCount; ++t)
        tail[t] = rows[t] + j;
    boxDownSse2(tail, rowCount, values - j, sums + j);
}

// Box, across: two output pixels at a time, one in each 128-bit lane.
AVX2 void boxAcrossAvx2(const std::uint16_t* sums, std::int32_t k, const BoxDivisor& d,
                        std::int32_t count, std::uint8_t* out) noexcept {
    const __m256i half = _mm256_set1_epi32(static_cast<std::int32_t>(d.half));
    const __m256i m = _mm256_set1_epi32(static_cast<std::int32_t>(d.multiplier));
    const __m128i shift = _mm_cvtsi32_si128(d.shift);
    const std::size_t stride = 4 * std::size_t(k);
    std::int32_t i = 0;
    for (; i + 2 <= count; i += 2) {
        const std::uint16_t* a = sums + stride * std::size_t(i);
        const std::uint16_t* b = a + stride;
        __m256i acc = _mm256_setzero_si256();
        for (std::int32_t t = 0; t < k; ++t) {
            const __m128i pair =
                _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + 4 * t)),
                                   _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + 4 * t)));
            acc = _mm256_add_epi32(acc, _mm256_cvtepu16_epi32(pair));
        }
        const __m256i x = _mm256_add_epi32(acc, half);
        const __m256i even = _mm256_srl_epi64(_mm256_mul_epu32(x, m), shift);
        const __m256i odd = _mm256_srl_epi64(_mm256_mul_epu32(_mm256_srli_epi64(x, 32), m), shift);
        const __m256i q = _mm256_or_si256(even, _mm256_slli_epi64(odd, 32));
        // [pixel i | pixel i + 1] as 32-bit lanes, to bytes.
        const __m128i q16 =
            _mm_packs_epi32(_mm256_castsi256_si128(q), _mm256_extracti128_si256(q, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * i), _mm_packus_epi16(q16, q16));
    }
    boxAcrossSse2(sums + stride * std::size_t(i), k, d, count - i, out + 4 * i);
}

#undef SSE2
#undef AVX2

constexpr RowForms kSse2Forms = {acrossSse2, downSse2,    affineSse2,
                                 overSse2,   boxDownSse2, boxAcrossSse2};
constexpr RowForms kAvx2Forms = {acrossAvx2, downAvx2,    affineAvx2,
                                 overAvx2,   boxDownAvx2, boxAcrossAvx2};

}  // namespace

const RowForms* sse2Forms() noexcept {
    return simd::processorLevel() >= simd::Level::kSse2 ? &kSse2Forms : nullptr;
}

const RowForms* avx2Forms() noexcept {
    return simd::processorLevel() >= simd::Level::kAvx2 ? &kAvx2Forms : nullptr;
}

#else

const RowForms* sse2Forms() noexcept {
    return nullptr;
}
const RowForms* avx2Forms() noexcept {
    return nullptr;
}

#endif

}  // namespace talvrin::bridge::resample::detail
