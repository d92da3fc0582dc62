// Internal to the resampler's x86 forms (resample_x86.cpp, resample_box_x86.cpp): the steps
// both files take, and the box stage's vector forms that the tables of resample_x86.cpp name.
#pragma once

#include "image/bridge/resample_forms.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define TALVRIN_RESAMPLE_X86 1
#include <immintrin.h>

#include <cstring>

#define TALVRIN_SSE2 __attribute__((target("sse2")))
#define TALVRIN_AVX2 __attribute__((target("avx2")))

namespace talvrin::bridge::resample::detail::x86 {

// Two 16-bit weights at w as one 32-bit lane pattern, for madd against interleaved pairs.
TALVRIN_SSE2 inline __m128i pairAt(const std::int16_t* w) noexcept {
    std::int32_t pair;
    std::memcpy(&pair, w, 4);
    return _mm_set1_epi32(pair);
}
TALVRIN_AVX2 inline __m256i pairWeights(const std::int16_t* w) noexcept {
    std::int32_t pair;
    std::memcpy(&pair, w, 4);
    return _mm256_set1_epi32(pair);
}

// midOfSum (resample_forms.h) in two steps: twice the value, (s + 2^(Shift - 1) - kMidBias
// 2^Shift) >> (Shift - 1) in 32-bit lanes; then, packed to 16 bits (saturating) and halved,
// the value held to [-2 kMidBias, 2 kMidBias). The halving's floor gives the shift's.
template <int Shift>
TALVRIN_SSE2 inline __m128i midTwice(__m128i sums) noexcept {
    constexpr std::int32_t kStart = (1 << (Shift - 1)) - (kMidBias << Shift);
    return _mm_srai_epi32(_mm_add_epi32(sums, _mm_set1_epi32(kStart)), Shift - 1);
}
TALVRIN_SSE2 inline __m128i midPack(__m128i a, __m128i b) noexcept {
    return _mm_srai_epi16(_mm_packs_epi32(a, b), 1);
}
template <int Shift>
TALVRIN_AVX2 inline __m256i midTwice256(__m256i sums) noexcept {
    constexpr std::int32_t kStart = (1 << (Shift - 1)) - (kMidBias << Shift);
    return _mm256_srai_epi32(_mm256_add_epi32(sums, _mm256_set1_epi32(kStart)), Shift - 1);
}
TALVRIN_AVX2 inline __m256i midPack256(__m256i a, __m256i b) noexcept {
    return _mm256_srai_epi16(_mm256_packs_epi32(a, b), 1);
}

// The box stage's forms and the across over its averages (resample_box_x86.cpp).
TALVRIN_SSE2 void boxDownSse2(const std::uint8_t* const* rows, std::int32_t rowCount,
                              std::int32_t values, std::uint16_t* sums) noexcept;
TALVRIN_SSE2 void boxAcrossSse2(const std::uint16_t* sums, std::int32_t k, const BoxDivisor& d,
                                std::int32_t count, std::int16_t* out) noexcept;
TALVRIN_SSE2 void acrossBoxedSse2(const std::int16_t* src, const AxisFilter& f, std::int32_t begin,
                                  std::int32_t count, std::int16_t* out) noexcept;
TALVRIN_AVX2 void boxDownAvx2(const std::uint8_t* const* rows, std::int32_t rowCount,
                              std::int32_t values, std::uint16_t* sums) noexcept;
TALVRIN_AVX2 void boxAcrossAvx2(const std::uint16_t* sums, std::int32_t k, const BoxDivisor& d,
                                std::int32_t count, std::int16_t* out) noexcept;
TALVRIN_AVX2 void acrossBoxedAvx2(const std::int16_t* src, const AxisFilter& f, std::int32_t begin,
                                  std::int32_t count, std::int16_t* out) noexcept;

}  // namespace talvrin::bridge::resample::detail::x86

#endif
