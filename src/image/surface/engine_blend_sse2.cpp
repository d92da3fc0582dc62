// The compositor's four-pixel rows (SSE2), the same bytes as the one-pixel rows of
// engine_blend.cpp.
#include "image/surface/surface_rows.h"

#if defined(TALVRIN_SIMD_X86)

namespace talvrin::engine::detail {

namespace {

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

// Four pixels at a time onto 32-bit targets; the tail goes through the one-pixel form.
template <TargetKind Kind, BlendRowFn Tail>
void blendRowSse2(std::uint8_t* t, const std::uint8_t* s, std::int32_t n,
                  std::uint32_t o) noexcept {
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
    Tail(t, s, n - i, o);
}

}  // namespace

void blendHostSse2(std::uint8_t* t, const std::uint8_t* s, std::int32_t n,
                   std::uint32_t o) noexcept {
    blendRowSse2<TargetKind::Host, blendHostScalar>(t, s, n, o);
}

void blendContext32Sse2(std::uint8_t* t, const std::uint8_t* s, std::int32_t n,
                        std::uint32_t o) noexcept {
    blendRowSse2<TargetKind::Context32, blendContext32Scalar>(t, s, n, o);
}

void blendContext24Sse2(std::uint8_t* t, const std::uint8_t* s, std::int32_t n,
                        std::uint32_t o) noexcept {
    blendRow24Through32<blendContext32Sse2>(t, s, n, o);
}

}  // namespace talvrin::engine::detail

#endif  // TALVRIN_SIMD_X86
