// The alpha classification, premultiplying and making opaque four pixels at a time (SSE2), the
// same results as the plain forms of pixel_helpers.cpp. Only the vector kernel tables name them.
#include "image/codecs/codec_rows.h"

#if defined(TALVRIN_SIMD_X86)

namespace talvrin::detail {

AlphaVerdict classifyAlphaSse2(std::span<const std::uint8_t> pixels,
                               std::size_t pixelCount) noexcept {
    bool consistent = true;
    std::size_t zeros = 0;
    std::size_t opaque = 0;
    const std::uint8_t* p = pixels.data();
    std::size_t i = 0;
    // Blocks of four pixels in which every colour byte is at most its pixel's alpha cannot
    // change the state while it is consistent: only the alpha-0 and alpha-255 counts move.
    // Any other block goes through the per-pixel path.
    const __m128i alphaMask = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i zero = _mm_setzero_si128();
    static constexpr std::uint8_t kBitsIn4[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};
    for (; consistent && i + 4 <= pixelCount; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i * 4));
        const __m128i a = _mm_and_si128(v, alphaMask);
        // The alpha byte copied into every byte of its pixel.
        __m128i spread = _mm_or_si128(a, _mm_srli_epi32(a, 8));
        spread = _mm_or_si128(spread, _mm_srli_epi32(spread, 16));
        const __m128i fits = _mm_cmpeq_epi8(_mm_max_epu8(v, spread), spread);
        if (_mm_movemask_epi8(fits) == 0xFFFF) {
            // One bit a lane; the counts come from a table of 4-bit populations.
            const int zeroLanes = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(a, zero)));
            const int opaqueLanes =
                _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(a, alphaMask)));
            zeros += kBitsIn4[zeroLanes];
            opaque += kBitsIn4[opaqueLanes];
            continue;
        }
        // The state as locals through the fast blocks, handed to the scan for a slow one.
        AlphaScan scan{consistent, zeros, opaque};
        for (std::size_t k = 0; k < 4; ++k)
            if (scan.visit(AlphaScan::load(p + (i + k) * 4))) return AlphaVerdict::Straight;
        consistent = scan.consistent;
        zeros = scan.zeros;
        opaque = scan.opaque;
    }
    AlphaScan scan{consistent, zeros, opaque};
    return scan.finish(p, i, pixelCount);
}

void premultiplySse2(std::uint8_t* pixels, std::size_t pixelCount) noexcept {
    const __m128i zero = _mm_setzero_si128();
    std::size_t i = 0;
    for (; i + 4 <= pixelCount; i += 4) {
        auto* at = reinterpret_cast<__m128i*>(pixels + i * 4);
        const __m128i v = _mm_loadu_si128(at);
        const __m128i lo = simd::premultiply16(_mm_unpacklo_epi8(v, zero));
        const __m128i hi = simd::premultiply16(_mm_unpackhi_epi8(v, zero));
        _mm_storeu_si128(at, _mm_packus_epi16(lo, hi));
    }
    premultiplyScalar(pixels + i * 4, pixelCount - i);
}

void makeOpaqueSse2(std::uint8_t* pixels, std::size_t pixelCount) noexcept {
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    std::size_t i = 0;
    for (; i + 4 <= pixelCount; i += 4) {
        auto* at = reinterpret_cast<__m128i*>(pixels + i * 4);
        const __m128i v = _mm_loadu_si128(at);
        const __m128i opaque = _mm_or_si128(v, alpha);
        // Pixels already opaque are not written back, so their memory stays clean.
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(v, opaque)) != 0xFFFF) _mm_storeu_si128(at, opaque);
    }
    makeOpaqueScalar(pixels + i * 4, pixelCount - i);
}

}  // namespace talvrin::detail

#endif  // TALVRIN_SIMD_X86
