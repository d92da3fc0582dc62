#include "image/codecs/pixel_helpers.h"

#include <cstring>
#include <limits>

#include "base/byte_view.h"
#include "base/checked_math.h"
#include "base/div255.h"
#include "base/simd.h"
#include "image/surface/image_types.h"

namespace talvrin {

namespace {

inline std::uint32_t loadPixel(const std::uint8_t* p) noexcept {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Sets every alpha byte to 255, keeping the colour bytes.
void makeOpaque(std::uint8_t* pixels, std::size_t pixelCount) noexcept {
    std::size_t i = 0;
#if defined(TALVRIN_SIMD_X86)
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const bool vector = simd::allows(simd::Level::kSse2);
    for (; vector && i + 4 <= pixelCount; i += 4) {
        auto* at = reinterpret_cast<__m128i*>(pixels + i * 4);
        const __m128i v = _mm_loadu_si128(at);
        const __m128i opaque = _mm_or_si128(v, alpha);
        // Pixels already opaque are not written back, so their memory stays clean.
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(v, opaque)) != 0xFFFF) _mm_storeu_si128(at, opaque);
    }
#endif
    for (; i < pixelCount; ++i)
        pixels[i * 4 + kAlphaOffset] = 255;
}

}  // namespace

namespace detail {

AlphaVerdict classifyAlphaReference(std::span<const std::uint8_t> pixels,
                                    std::size_t pixelCount) noexcept {
    bool consistent = true;
    std::size_t zeros = 0;
    std::size_t opaque = 0;
    for (std::size_t i = 0; i < pixelCount; ++i) {
        const std::uint8_t* p = pixels.data() + i * 4;
        const std::uint8_t a = p[kAlphaOffset];
        if (a == 0) {
            if (consistent && (p[kBlueOffset] | p[kGreenOffset] | p[kRedOffset]) != 0)
                consistent = false;
            ++zeros;
        } else if (a == 255) {
            if (!consistent) return AlphaVerdict::Straight;
            ++opaque;
        } else {
            if (!consistent) return AlphaVerdict::Straight;
            if (p[kBlueOffset] > a || p[kGreenOffset] > a || p[kRedOffset] > a)
                return AlphaVerdict::Straight;
        }
    }
    if (zeros == pixelCount || opaque == pixelCount) return AlphaVerdict::Opaque;
    return consistent ? AlphaVerdict::Premultiplied : AlphaVerdict::Straight;
}

AlphaVerdict classifyAlphaScan(std::span<const std::uint8_t> pixels,
                               std::size_t pixelCount) noexcept {
    bool consistent = true;
    std::size_t zeros = 0;
    std::size_t opaque = 0;
    const std::uint8_t* p = pixels.data();

    // One pixel of the general case; true when it proves straight alpha.
    auto visit = [&](std::uint32_t v) noexcept {
        const std::uint32_t a = v >> 24;
        if (a == 0) {
            if ((v & 0x00FFFFFFu) != 0) consistent = false;
            ++zeros;
            return false;
        }
        if (!consistent) return true;
        if (a == 255) {
            ++opaque;
            return false;
        }
        return (v & 0xFFu) > a || ((v >> 8) & 0xFFu) > a || ((v >> 16) & 0xFFu) > a;
    };

    std::size_t i = 0;
#if defined(TALVRIN_SIMD_X86)
    // Blocks of four pixels in which every colour byte is at most its pixel's alpha cannot
    // change the state while it is consistent: only the alpha-0 and alpha-255 counts move.
    // Any other block goes through the per-pixel path.
    const __m128i alphaMask = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i zero = _mm_setzero_si128();
    static constexpr std::uint8_t kBitsIn4[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};
    const bool vector = simd::allows(simd::Level::kSse2);
    for (; vector && consistent && i + 4 <= pixelCount; i += 4) {
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
        for (int k = 0; k < 4; ++k)
            if (visit(loadPixel(p + (i + k) * 4))) return AlphaVerdict::Straight;
    }
#endif
    // Blocks of four: runs of opaque pixels and runs of all-zero pixels, the common content of
    // real images, are settled with two tests per block.
    for (; i + 4 <= pixelCount; i += 4) {
        const std::uint32_t w0 = loadPixel(p + i * 4);
        const std::uint32_t w1 = loadPixel(p + i * 4 + 4);
        const std::uint32_t w2 = loadPixel(p + i * 4 + 8);
        const std::uint32_t w3 = loadPixel(p + i * 4 + 12);
        if (((w0 & w1 & w2 & w3) >> 24) == 0xFFu) {
            if (!consistent) return AlphaVerdict::Straight;
            opaque += 4;
            continue;
        }
        if ((w0 | w1 | w2 | w3) == 0) {
            zeros += 4;
            continue;
        }
        if (visit(w0) || visit(w1) || visit(w2) || visit(w3)) return AlphaVerdict::Straight;
    }
    for (; i < pixelCount; ++i) {
        if (visit(loadPixel(p + i * 4))) return AlphaVerdict::Straight;
    }
    if (zeros == pixelCount || opaque == pixelCount) return AlphaVerdict::Opaque;
    return consistent ? AlphaVerdict::Premultiplied : AlphaVerdict::Straight;
}

void premultiplyReference(std::uint8_t* pixels, std::size_t pixelCount) noexcept {
    for (std::size_t i = 0; i < pixelCount; ++i) {
        std::uint8_t* p = pixels + i * 4;
        const unsigned a = p[kAlphaOffset];
        if (a == 0) {
            p[0] = p[1] = p[2] = p[3] = 0;
        } else if (a != 255) {
            p[kBlueOffset] = static_cast<std::uint8_t>(div255Floor(p[kBlueOffset] * a));
            p[kGreenOffset] = static_cast<std::uint8_t>(div255Floor(p[kGreenOffset] * a));
            p[kRedOffset] = static_cast<std::uint8_t>(div255Floor(p[kRedOffset] * a));
        }
    }
}

// Every pixel takes colour * alpha / 255 for each colour byte; that formula already gives the
// zero pixel for alpha 0 and leaves alpha 255 unchanged, so no pixel needs a branch.
void premultiply(std::uint8_t* pixels, std::size_t pixelCount) noexcept {
    std::size_t i = 0;
#if defined(TALVRIN_SIMD_X86)
    const __m128i zero = _mm_setzero_si128();
    const bool vector = simd::allows(simd::Level::kSse2);
    for (; vector && i + 4 <= pixelCount; i += 4) {
        auto* at = reinterpret_cast<__m128i*>(pixels + i * 4);
        const __m128i v = _mm_loadu_si128(at);
        const __m128i lo = simd::premultiply16(_mm_unpacklo_epi8(v, zero));
        const __m128i hi = simd::premultiply16(_mm_unpackhi_epi8(v, zero));
        _mm_storeu_si128(at, _mm_packus_epi16(lo, hi));
    }
#endif
    for (; i < pixelCount; ++i) {
        std::uint8_t* p = pixels + i * 4;
        const std::uint32_t a = p[kAlphaOffset];
        p[kBlueOffset] = premultiplyChannel(p[kBlueOffset], a);
        p[kGreenOffset] = premultiplyChannel(p[kGreenOffset], a);
        p[kRedOffset] = premultiplyChannel(p[kRedOffset], a);
    }
}

}  // namespace detail

bool ClassifyAlpha(std::span<std::uint8_t> pixels, std::int32_t width, std::int32_t height,
                   bool adjust, bool& alphaFlag, std::int32_t& imageType) noexcept {
    if (width <= 0 || height <= 0) return false;
    const auto count =
        checkedMul<std::size_t>(static_cast<std::size_t>(width), static_cast<std::size_t>(height));
    if (!count) return false;
    const auto bytes = checkedMul<std::size_t>(*count, 4);
    if (!bytes || pixels.size() < *bytes) return false;

    const auto verdict = imageType == imgNone ? detail::AlphaVerdict::Opaque
                                              : detail::classifyAlphaScan(pixels, *count);
    switch (verdict) {
        case detail::AlphaVerdict::Opaque:
            imageType = imgBitmap;
            alphaFlag = false;
            if (adjust) makeOpaque(pixels.data(), *count);
            break;
        case detail::AlphaVerdict::Premultiplied:
            imageType = imgBmpPARGB;
            alphaFlag = true;
            break;
        case detail::AlphaVerdict::Straight:
            imageType = imgBmpARGB;
            alphaFlag = true;
            if (adjust) detail::premultiply(pixels.data(), *count);
            break;
    }
    return true;
}

std::optional<std::int32_t> DwordAlignedRowBytes(std::uint8_t bitsPerPixel,
                                                 std::int32_t width) noexcept {
    // The bit count of the row, padding included, must fit in 32 bits: beyond that the size is
    // an error, not merely large.
    if (width < 0) return std::nullopt;
    const std::int64_t paddedBits = std::int64_t{bitsPerPixel} * width + 31;
    if (paddedBits > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    return static_cast<std::int32_t>(
        dwordAlignedRowBytes(static_cast<std::uint32_t>(width), bitsPerPixel));
}

void GrayscaleWeights(std::int32_t code, float& red, float& green, float& blue) noexcept {
    struct Weights {
        float r, g, b;
    };
    static constexpr Weights kFormulas[] = {
        {0.299f, 0.587f, 0.114f},  // 0 (and every unknown code)
        {0.213f, 0.715f, 0.072f},  // 1
        {0.333f, 0.334f, 0.333f},  // 2
        {0.8f, 0.1f, 0.1f},        // 3
        {0.1f, 0.8f, 0.1f},        // 4
        {0.1f, 0.1f, 0.8f},        // 5
        {0.45f, 0.45f, 0.1f},      // 6
        {0.1f, 0.45f, 0.45f},      // 7
    };
    Weights w = kFormulas[0];
    if (code == -1) {
        w = {1.0f, 1.0f, 1.0f};
    } else if (code >= 1 && code <= 7) {
        w = kFormulas[code];
    }
    red = w.r;
    green = w.g;
    blue = w.b;
}

}  // namespace talvrin
