// 32-bit rows out four pixels at a time (SSE2): opaque pixels, and every pixel when premultiplied
// values are asked for, only move bytes, their red and blue swapped for the R, G, B, A order;
// the other blocks and the tail go through the one-pixel form.
#include "image/surface/surface_rows.h"

#if defined(TALVRIN_SIMD_X86)

namespace talvrin::detail {

void exportRow32Sse2(const std::uint8_t* p, std::uint8_t* o, std::int32_t n, bool bgr,
                     bool premultiplied) noexcept {
    const __m128i alphaMask = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i greenAlpha = _mm_set1_epi32(static_cast<int>(0xFF00FF00u));
    const __m128i low = _mm_set1_epi32(0xFF);
    std::int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * i));
        if (!premultiplied &&
            _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(v, alphaMask), alphaMask)) != 0xFFFF) {
            exportRow32Scalar(p + 4 * i, o + 4 * i, 4, bgr, premultiplied);
            continue;
        }
        __m128i out = v;
        if (!bgr) {
            // B, G, R, A words to R, G, B, A: the bytes 0 and 2 of every word change places.
            out = _mm_or_si128(_mm_and_si128(v, greenAlpha),
                               _mm_or_si128(_mm_and_si128(_mm_srli_epi32(v, 16), low),
                                            _mm_slli_epi32(_mm_and_si128(v, low), 16)));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 4 * i), out);
    }
    exportRow32Scalar(p + 4 * i, o + 4 * i, n - i, bgr, premultiplied);
}

}  // namespace talvrin::detail

#endif  // TALVRIN_SIMD_X86
