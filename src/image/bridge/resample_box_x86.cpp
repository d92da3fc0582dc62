// The box stage's SSE2 and AVX2 forms (the reference: resample_box.cpp) and the across pass over
// its averages (the reference: acrossBoxedScalar in resample.cpp), lane by lane. madd's 32-bit
// sums of two products are exact (each product of a weight and an average is below 2^30), so
// any pairing of the taps gives the reference's sums.
#include "image/bridge/resample_x86.h"

#if TALVRIN_RESAMPLE_X86

namespace talvrin::bridge::resample::detail::x86 {

// ---- SSE2 ----

// Box, down: 16 bytes at a time, widened to 16 bits and summed over the rows in registers.
TALVRIN_SSE2 void boxDownSse2(const std::uint8_t* const* rows, std::int32_t rowCount,
                              std::int32_t values, std::uint16_t* sums) noexcept {
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

// The exact division of BoxDivisor on four 32-bit lanes (each sum below 2^24, so x below 2^31):
// 64-bit products of the even and the odd lanes, shifted, put back together.
TALVRIN_SSE2 inline __m128i boxDivideSse2(__m128i sums, const BoxDivisor& d) noexcept {
    const __m128i x = _mm_add_epi32(_mm_slli_epi32(sums, kBoxBits),
                                    _mm_set1_epi32(static_cast<std::int32_t>(d.half)));
    const __m128i m = _mm_set1_epi32(static_cast<std::int32_t>(d.multiplier));
    const __m128i shift = _mm_cvtsi32_si128(d.shift);
    const __m128i even = _mm_srl_epi64(_mm_mul_epu32(x, m), shift);
    const __m128i odd = _mm_srl_epi64(_mm_mul_epu32(_mm_srli_epi64(x, 32), m), shift);
    return _mm_or_si128(even, _mm_slli_epi64(odd, 32));
}

// Box, across: per output pixel, its k pixels' 16-bit sums added in 32-bit lanes, two at a time.
TALVRIN_SSE2 void boxAcrossSse2(const std::uint16_t* sums, std::int32_t k, const BoxDivisor& d,
                                std::int32_t count, std::int16_t* out) noexcept {
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
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * i), _mm_packs_epi32(q, q));
    }
}

// Across over averages: per output pixel, two taps at a time, [B0 G0 R0 A0 B1 G1 R1 A1] paired
// channel by channel as [B0 B1 G0 G1 R0 R1 A0 A1] for madd.
TALVRIN_SSE2 inline __m128i boxedWindowSse2(const std::int16_t* p, const std::int16_t* w,
                                            std::int32_t taps) noexcept {
    __m128i acc = _mm_setzero_si128();
    for (std::int32_t k = 0; k < taps; k += 2) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * k));
        acc = _mm_add_epi32(
            acc, _mm_madd_epi16(_mm_unpacklo_epi16(v, _mm_srli_si128(v, 8)), pairAt(w + k)));
    }
    return acc;
}

TALVRIN_SSE2 void acrossBoxedSse2(const std::int16_t* src, const AxisFilter& f, std::int32_t begin,
                                  std::int32_t count, std::int16_t* out) noexcept {
    const std::int32_t taps = f.taps;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::size_t at = std::size_t(begin) + std::size_t(i);
        const __m128i m = midTwice<kBoxedMidShift>(boxedWindowSse2(
            src + 4 * std::size_t(f.first[at]), f.weights.data() + at * std::size_t(taps), taps));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * i), midPack(m, m));
    }
}

// ---- AVX2 ----

// Box, down: 32 bytes at a time.
TALVRIN_AVX2 void boxDownAvx2(const std::uint8_t* const* rows, std::int32_t rowCount,
                              std::int32_t values, std::uint16_t* sums) noexcept {
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
TALVRIN_AVX2 void boxAcrossAvx2(const std::uint16_t* sums, std::int32_t k, const BoxDivisor& d,
                                std::int32_t count, std::int16_t* out) noexcept {
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
        const __m256i x = _mm256_add_epi32(_mm256_slli_epi32(acc, kBoxBits), half);
        const __m256i even = _mm256_srl_epi64(_mm256_mul_epu32(x, m), shift);
        const __m256i odd = _mm256_srl_epi64(_mm256_mul_epu32(_mm256_srli_epi64(x, 32), m), shift);
        const __m256i q = _mm256_or_si256(even, _mm256_slli_epi64(odd, 32));
        // [pixel i | pixel i + 1] as 32-bit lanes, to 16 bits.
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(out + 4 * i),
            _mm_packs_epi32(_mm256_castsi256_si128(q), _mm256_extracti128_si256(q, 1)));
    }
    boxAcrossSse2(sums + stride * std::size_t(i), k, d, count - i, out + 4 * i);
}

// Across over averages, four taps a step: the taps (k, k + 1) are paired channel by channel in
// the low lane and (k + 2, k + 3) in the high one, against their weights. Two outputs at a time,
// their lanes gathered at the end into one vector of both.
TALVRIN_AVX2 inline __m256i boxedWindowAvx2(const std::int16_t* p, const std::int16_t* w,
                                            std::int32_t taps) noexcept {
    const __m256i pairs = _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15,  //
                                           0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15);
    const __m256i spread = _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1);
    __m256i acc = _mm256_setzero_si256();
    for (std::int32_t k = 0; k < taps; k += 4) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 4 * k));
        const __m256i wv = _mm256_permutevar8x32_epi32(
            _mm256_castsi128_si256(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(w + k))),
            spread);
        acc = _mm256_add_epi32(acc, _mm256_madd_epi16(_mm256_shuffle_epi8(v, pairs), wv));
    }
    return acc;
}

TALVRIN_AVX2 void acrossBoxedAvx2(const std::int16_t* src, const AxisFilter& f, std::int32_t begin,
                                  std::int32_t count, std::int16_t* out) noexcept {
    const std::int32_t taps = f.taps;
    const auto at = [&](std::int32_t i) {
        return src + 4 * std::size_t(f.first[std::size_t(begin) + std::size_t(i)]);
    };
    const auto wt = [&](std::int32_t i) {
        return f.weights.data() + (std::size_t(begin) + std::size_t(i)) * std::size_t(taps);
    };
    std::int32_t i = 0;
    for (; i + 2 <= count; i += 2) {
        const __m256i a = boxedWindowAvx2(at(i), wt(i), taps);
        const __m256i b = boxedWindowAvx2(at(i + 1), wt(i + 1), taps);
        // [a low | b low] + [a high | b high]: the sums of i | i + 1.
        const __m256i sums = _mm256_add_epi32(_mm256_permute2x128_si256(a, b, 0x20),
                                              _mm256_permute2x128_si256(a, b, 0x31));
        const __m256i m = midTwice256<kBoxedMidShift>(sums);
        const __m256i p = midPack256(m, m);  // i twice | i + 1 twice
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i),
                         _mm256_castsi256_si128(_mm256_permute4x64_epi64(p, 0x08)));
    }
    if (i < count) {
        const __m256i a = boxedWindowAvx2(at(i), wt(i), taps);
        const __m128i m = midTwice<kBoxedMidShift>(
            _mm_add_epi32(_mm256_castsi256_si128(a), _mm256_extracti128_si256(a, 1)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * i), midPack(m, m));
    }
}

}  // namespace talvrin::bridge::resample::detail::x86

#endif
