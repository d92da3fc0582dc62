// Internal to the drawing layer's vector blend rows (gdi_blend_sse2.cpp, gdi_blend_avx2.cpp): the
// rows of gdi_blend_rows.h as one template over the vector width. A vector row hands what is
// left of the row (fewer pixels than a step) to the next narrower form.
#pragma once

#include "platform/gdi/gdi_blend_rows.h"

#if defined(TALVRIN_SIMD_X86)

namespace talvrin::platform::detail {

// The operations the row template needs, for one vector width. Widening and narrowing work
// within each 128-bit half, so the pixels keep their order at either width.
struct Sse2Lanes {
    using V = __m128i;
    static constexpr std::size_t kPixels = 4;
    static V load(const std::uint8_t* p) noexcept {
        return _mm_loadu_si128(reinterpret_cast<const V*>(p));
    }
    static void store(std::uint8_t* p, V v) noexcept {
        _mm_storeu_si128(reinterpret_cast<V*>(p), v);
    }
    static V splat16(std::uint32_t v) noexcept { return _mm_set1_epi16(static_cast<short>(v)); }
    static V widenLow(V v) noexcept { return _mm_unpacklo_epi8(v, _mm_setzero_si128()); }
    static V widenHigh(V v) noexcept { return _mm_unpackhi_epi8(v, _mm_setzero_si128()); }
    static V narrow(V lo, V hi) noexcept { return _mm_packus_epi16(lo, hi); }
    static V mul16(V a, V b) noexcept { return _mm_mullo_epi16(a, b); }
    static V add16(V a, V b) noexcept { return _mm_add_epi16(a, b); }
    static V invert16(V v) noexcept { return _mm_xor_si128(v, _mm_set1_epi16(0xFF)); }
    static V addSaturated8(V a, V b) noexcept { return _mm_adds_epu8(a, b); }
    static bool allOpaque(V v) noexcept {
        const V alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
        return _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(v, alpha), alpha)) == 0xFFFF;
    }
    static bool allZero(V v) noexcept {
        return _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())) == 0xFFFF;
    }
};

#if defined(__AVX2__)
struct Avx2Lanes {
    using V = __m256i;
    static constexpr std::size_t kPixels = 8;
    static V load(const std::uint8_t* p) noexcept {
        return _mm256_loadu_si256(reinterpret_cast<const V*>(p));
    }
    static void store(std::uint8_t* p, V v) noexcept {
        _mm256_storeu_si256(reinterpret_cast<V*>(p), v);
    }
    static V splat16(std::uint32_t v) noexcept { return _mm256_set1_epi16(static_cast<short>(v)); }
    static V widenLow(V v) noexcept { return _mm256_unpacklo_epi8(v, _mm256_setzero_si256()); }
    static V widenHigh(V v) noexcept { return _mm256_unpackhi_epi8(v, _mm256_setzero_si256()); }
    static V narrow(V lo, V hi) noexcept { return _mm256_packus_epi16(lo, hi); }
    static V mul16(V a, V b) noexcept { return _mm256_mullo_epi16(a, b); }
    static V add16(V a, V b) noexcept { return _mm256_add_epi16(a, b); }
    static V invert16(V v) noexcept { return _mm256_xor_si256(v, _mm256_set1_epi16(0xFF)); }
    static V addSaturated8(V a, V b) noexcept { return _mm256_adds_epu8(a, b); }
    static bool allOpaque(V v) noexcept {
        return _mm256_testc_si256(v, _mm256_set1_epi32(static_cast<int>(0xFF000000u))) != 0;
    }
    static bool allZero(V v) noexcept { return _mm256_testz_si256(v, v) != 0; }
};
#endif

// The over row, L::kPixels pixels a step, the rest by Tail.
template <class L, BlendRowFn Tail>
void overRowVector(std::uint8_t* d, const std::uint8_t* s, std::size_t n,
                   std::uint32_t sca) noexcept {
    using V = typename L::V;
    const V sca16 = L::splat16(sca);
    std::size_t i = 0;
    for (; i + L::kPixels <= n; i += L::kPixels) {
        V sv = L::load(s + 4 * i);
        if (sca != 255) {
            sv = L::narrow(simd::div255Round16(L::mul16(L::widenLow(sv), sca16)),
                           simd::div255Round16(L::mul16(L::widenHigh(sv), sca16)));
        } else if (L::allOpaque(sv)) {
            L::store(d + 4 * i, sv);  // every alpha is 255: the result is the source
            continue;
        }
        if (L::allZero(sv)) continue;  // an all-zero source leaves the destination
        const V dv = L::load(d + 4 * i);
        const V ialo = L::invert16(simd::alphaLanes16(L::widenLow(sv)));
        const V iahi = L::invert16(simd::alphaLanes16(L::widenHigh(sv)));
        const V dlo = simd::div255Round16(L::mul16(L::widenLow(dv), ialo));
        const V dhi = simd::div255Round16(L::mul16(L::widenHigh(dv), iahi));
        L::store(d + 4 * i, L::addSaturated8(L::narrow(dlo, dhi), sv));
    }
    Tail(d + 4 * i, s + 4 * i, n - i, sca);
}

// The constant row, L::kPixels pixels a step, the rest by Tail.
template <class L, BlendRowFn Tail>
void constantRowVector(std::uint8_t* d, const std::uint8_t* s, std::size_t n,
                       std::uint32_t sca) noexcept {
    using V = typename L::V;
    const V sca16 = L::splat16(sca);
    const V isca16 = L::splat16(255 - sca);
    std::size_t i = 0;
    for (; i + L::kPixels <= n; i += L::kPixels) {
        const V sv = L::load(s + 4 * i);
        const V dv = L::load(d + 4 * i);
        const V lo = simd::div255Round16(
            L::add16(L::mul16(L::widenLow(sv), sca16), L::mul16(L::widenLow(dv), isca16)));
        const V hi = simd::div255Round16(
            L::add16(L::mul16(L::widenHigh(sv), sca16), L::mul16(L::widenHigh(dv), isca16)));
        L::store(d + 4 * i, L::narrow(lo, hi));
    }
    Tail(d + 4 * i, s + 4 * i, n - i, sca);
}

}  // namespace talvrin::platform::detail

#endif  // TALVRIN_SIMD_X86
