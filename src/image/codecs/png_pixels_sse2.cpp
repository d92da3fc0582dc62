// PNG RGBA rows at 8 bits into adjacent pixels four at a time (SSE2), the same bytes as the
// plain form of png_pixels.cpp: each colour times its alpha by simd::premultiply16
// (premultiplyChannel in 16-bit lanes), red and blue swapped into B, G, R, A.
#include "image/codecs/codec_rows.h"

#if defined(TALVRIN_SIMD_X86)

namespace talvrin::png::detail {

void rgba8AdjacentSse2(const std::uint8_t* s, std::uint8_t* d, std::uint32_t columns) noexcept {
    const __m128i zero = _mm_setzero_si128();
    auto two = [](__m128i px) {  // two pixels in 16-bit lanes R, G, B, A
        const __m128i q = simd::premultiply16(px);
        // R, G, B, A to B, G, R, A.
        return _mm_shufflehi_epi16(_mm_shufflelo_epi16(q, 0xC6), 0xC6);
    };
    std::uint32_t j = 0;
    for (; j + 4 <= columns; j += 4, s += 16, d += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i lo = two(_mm_unpacklo_epi8(v, zero));
        const __m128i hi = two(_mm_unpackhi_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_packus_epi16(lo, hi));
    }
    rgba8AdjacentScalar(s, d, columns - j);
}

}  // namespace talvrin::png::detail

#endif  // TALVRIN_SIMD_X86
