#include "image/codecs/pixel_helpers.h"

#include <cstring>
#include <limits>

#include "base/byte_view.h"
#include "base/checked_math.h"
#include "base/div255.h"
#include "image/codecs/codec_rows.h"
#include "image/image_kernels.h"
#include "image/surface/image_types.h"

namespace talvrin {

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

AlphaVerdict classifyAlphaScalar(std::span<const std::uint8_t> pixels,
                                 std::size_t pixelCount) noexcept {
    AlphaScan scan;
    return scan.finish(pixels.data(), 0, pixelCount);
}

AlphaVerdict classifyAlphaScan(std::span<const std::uint8_t> pixels,
                               std::size_t pixelCount) noexcept {
    return imageKernels().classifyAlpha(pixels, pixelCount);
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
void premultiplyScalar(std::uint8_t* pixels, std::size_t pixelCount) noexcept {
    for (std::size_t i = 0; i < pixelCount; ++i) {
        std::uint8_t* p = pixels + i * 4;
        const std::uint32_t a = p[kAlphaOffset];
        p[kBlueOffset] = premultiplyChannel(p[kBlueOffset], a);
        p[kGreenOffset] = premultiplyChannel(p[kGreenOffset], a);
        p[kRedOffset] = premultiplyChannel(p[kRedOffset], a);
    }
}

void premultiply(std::uint8_t* pixels, std::size_t pixelCount) noexcept {
    imageKernels().premultiply(pixels, pixelCount);
}

void makeOpaqueScalar(std::uint8_t* pixels, std::size_t pixelCount) noexcept {
    for (std::size_t i = 0; i < pixelCount; ++i)
        pixels[i * 4 + kAlphaOffset] = 255;
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
            if (adjust) imageKernels().makeOpaque(pixels.data(), *count);
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
