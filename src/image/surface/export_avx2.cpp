// 32-bit rows out eight pixels at a time (AVX2, built for it by its attribute and named only by
// the AVX2 kernel table), as the SSE2 form takes four; the rest of the row goes through that.
#include "image/surface/surface_rows.h"

#if defined(TALVRIN_SIMD_X86)

namespace talvrin::detail {

__attribute__((target("avx2"))) void exportRow32Avx2(const std::uint8_t* p, std::uint8_t* o,
                                                     std::int32_t n, bool bgr,
                                                     bool premultiplied) noexcept {
    const __m256i alphaMask = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const __m256i swap = _mm256_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15, 2,
                                          1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
    std::int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 4 * i));
        if (!premultiplied && _mm256_movemask_epi8(_mm256_cmpeq_epi32(
                                  _mm256_and_si256(v, alphaMask), alphaMask)) != -1) {
            exportRow32Scalar(p + 4 * i, o + 4 * i, 8, bgr, premultiplied);
            continue;
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + 4 * i),
                            bgr ? v : _mm256_shuffle_epi8(v, swap));
    }
    exportRow32Sse2(p + 4 * i, o + 4 * i, n - i, bgr, premultiplied);
}

}  // namespace talvrin::detail

#endif  // TALVRIN_SIMD_X86
