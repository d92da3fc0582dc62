// PNG RGB rows at 8 bits without a colour key into adjacent pixels four at a time (SSSE3, built
// for it by its attribute and named only by the tables of SSSE3 and above), the same bytes as
// the plain form of png_pixels.cpp: the three bytes of each pixel moved into place by one byte
// shuffle, alpha 255 added.
#include "image/codecs/codec_rows.h"

#if defined(TALVRIN_SIMD_X86)

namespace talvrin::png::detail {

__attribute__((target("ssse3"))) void rgb8AdjacentSsse3(const std::uint8_t* s, std::uint8_t* d,
                                                        std::uint32_t columns) noexcept {
    const __m128i order = _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    std::uint32_t j = 0;
    // A load takes 16 bytes for the 12 of four pixels: it stops while 6 pixels remain.
    for (; j + 6 <= columns; j += 4, s += 12, d += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                         _mm_or_si128(_mm_shuffle_epi8(v, order), opaque));
    }
    rgb8AdjacentScalar(s, d, columns - j);
}

}  // namespace talvrin::png::detail

#endif  // TALVRIN_SIMD_X86
