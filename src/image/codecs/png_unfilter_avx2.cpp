// Row unfiltering in AVX2: Up, which has no dependency along the row, 32 bytes at a time (built
// for AVX2 by its attribute); every other filter as the SSE2 form runs it. Only the AVX2 kernel
// table names it.
#include "image/codecs/codec_rows.h"

#if defined(TALVRIN_SIMD_X86)

namespace talvrin::png::detail {

namespace {

__attribute__((target("avx2"))) void upAvx2(std::uint8_t* row, const std::uint8_t* prev,
                                            std::size_t len) noexcept {
    std::size_t i = 0;
    for (; i + 32 <= len; i += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(prev + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + i), _mm256_add_epi8(x, b));
    }
    upSse2(row + i, prev + i, len - i);
}

}  // namespace

void unfilterRowAvx2(std::uint8_t type, std::uint8_t* row, const std::uint8_t* prev,
                     std::size_t len, unsigned unit) noexcept {
    if (type == 2 && prev) {
        upAvx2(row, prev, len);
        return;
    }
    unfilterRowSse2(type, row, prev, len, unit);
}

}  // namespace talvrin::png::detail

#endif  // TALVRIN_SIMD_X86
