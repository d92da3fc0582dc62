// The compositor's eight-pixel rows (AVX2, each function built for it), the same bytes as the
// one-pixel rows of engine_blend.cpp. Only the AVX2 kernel table names them.
#include "image/surface/surface_rows.h"

#if defined(TALVRIN_SIMD_X86)

namespace talvrin::engine::detail {

namespace {

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
template <TargetKind Kind, BlendRowFn Tail>
__attribute__((target("avx2"))) void blendRowAvx2(std::uint8_t* t, const std::uint8_t* s,
                                                  std::int32_t n, std::uint32_t o) noexcept {
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
    Tail(t, s, n - i, o);
}

}  // namespace

__attribute__((target("avx2"))) void blendHostAvx2(std::uint8_t* t, const std::uint8_t* s,
                                                   std::int32_t n, std::uint32_t o) noexcept {
    blendRowAvx2<TargetKind::Host, blendHostSse2>(t, s, n, o);
}

__attribute__((target("avx2"))) void blendContext32Avx2(std::uint8_t* t, const std::uint8_t* s,
                                                        std::int32_t n, std::uint32_t o) noexcept {
    blendRowAvx2<TargetKind::Context32, blendContext32Sse2>(t, s, n, o);
}

void blendContext24Avx2(std::uint8_t* t, const std::uint8_t* s, std::int32_t n,
                        std::uint32_t o) noexcept {
    blendRow24Through32<blendContext32Avx2>(t, s, n, o);
}

}  // namespace talvrin::engine::detail

#endif  // TALVRIN_SIMD_X86
