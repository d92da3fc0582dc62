// The shared pixel helpers: the alpha classification's verdicts, its optimised paths against
// the plain references at each vector level, and the numeric helpers.
#include "image/codecs/pixel_helpers.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "base/simd.h"
#include "image/image_kernels.h"
#include "image/surface/image_types.h"

namespace talvrin {
namespace {

using Px = std::array<std::uint8_t, 4>;  // B, G, R, A

std::vector<std::uint8_t> pixelsOf(std::initializer_list<Px> px) {
    std::vector<std::uint8_t> out;
    for (const auto& p : px)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Px pixelAt(const std::vector<std::uint8_t>& v, std::size_t i) {
    return {v[i * 4], v[i * 4 + 1], v[i * 4 + 2], v[i * 4 + 3]};
}

struct Verdict {
    bool ok;
    bool alpha;
    std::int32_t type;
};

Verdict classify(std::vector<std::uint8_t>& px, int width, int height, bool adjust,
                 std::int32_t typeIn = imgCreated) {
    bool alpha = false;
    std::int32_t type = typeIn;
    const bool ok = ClassifyAlpha(px, width, height, adjust, alpha, type);
    return {ok, alpha, type};
}

// ---- Alpha classification verdicts ---------------------------------------------------------

TEST(ClassifyAlphaVerdict, AllAlphaZeroIsOpaqueAndAdjustKeepsColours) {
    auto px = pixelsOf({{10, 20, 30, 0}, {0, 0, 0, 0}, {1, 2, 3, 0}, {4, 5, 6, 0}});
    const auto v = classify(px, 2, 2, true);
    EXPECT_TRUE(v.ok);
    EXPECT_EQ(v.type, imgBitmap);
    EXPECT_FALSE(v.alpha);
    EXPECT_EQ(pixelAt(px, 0), (Px{10, 20, 30, 255}));
    EXPECT_EQ(pixelAt(px, 1), (Px{0, 0, 0, 255}));
    EXPECT_EQ(pixelAt(px, 3), (Px{4, 5, 6, 255}));
}

TEST(ClassifyAlphaVerdict, AllAlphaOpaqueIsOpaque) {
    auto px = pixelsOf({{10, 20, 30, 255}, {200, 100, 50, 255}, {0, 0, 0, 255}});
    const auto before = px;
    const auto v = classify(px, 3, 1, true);
    EXPECT_EQ(v.type, imgBitmap);
    EXPECT_FALSE(v.alpha);
    EXPECT_EQ(px, before);
}

TEST(ClassifyAlphaVerdict, ColouredTransparentPixelAmongOpaqueIsStraight) {
    auto px = pixelsOf({{1, 1, 1, 255}, {10, 0, 0, 0}, {2, 2, 2, 255}, {3, 3, 3, 255}});
    auto v = classify(px, 4, 1, true);
    EXPECT_EQ(v.type, imgBmpARGB);
    EXPECT_TRUE(v.alpha);
    EXPECT_EQ(pixelAt(px, 1), (Px{0, 0, 0, 0}));
    EXPECT_EQ(pixelAt(px, 0), (Px{1, 1, 1, 255}));
    EXPECT_EQ(pixelAt(px, 3), (Px{3, 3, 3, 255}));

    // The same verdict when the coloured transparent pixel is the last one.
    auto last = pixelsOf({{1, 1, 1, 255}, {0, 0, 10, 0}});
    v = classify(last, 2, 1, false);
    EXPECT_EQ(v.type, imgBmpARGB);
    EXPECT_EQ(pixelAt(last, 1), (Px{0, 0, 10, 0}));  // no adjust: untouched
}

TEST(ClassifyAlphaVerdict, ColourAboveAlphaIsStraightAndPremultiplied) {
    auto px = pixelsOf({{200, 50, 50, 128}, {255, 255, 255, 1}, {9, 9, 9, 255}, {0, 0, 0, 0}});
    const auto v = classify(px, 2, 2, true);
    EXPECT_EQ(v.type, imgBmpARGB);
    EXPECT_TRUE(v.alpha);
    EXPECT_EQ(pixelAt(px, 0), (Px{100, 25, 25, 128}));
    EXPECT_EQ(pixelAt(px, 1), (Px{1, 1, 1, 1}));
    EXPECT_EQ(pixelAt(px, 2), (Px{9, 9, 9, 255}));
    EXPECT_EQ(pixelAt(px, 3), (Px{0, 0, 0, 0}));
}

TEST(ClassifyAlphaVerdict, ConsistentTranslucentPixelsArePremultipliedAndUntouched) {
    auto px = pixelsOf({{100, 25, 25, 128}, {0, 0, 0, 0}, {7, 7, 7, 255}, {1, 0, 1, 1}});
    const auto before = px;
    const auto v = classify(px, 4, 1, true);
    EXPECT_EQ(v.type, imgBmpPARGB);
    EXPECT_TRUE(v.alpha);
    EXPECT_EQ(px, before);
}

TEST(ClassifyAlphaVerdict, MixOfOnlyZeroAndOpaqueAlphaIsPremultiplied) {
    // Neither all 0 nor all 255, and every colour fits its alpha.
    auto px = pixelsOf({{0, 0, 0, 0}, {50, 60, 70, 255}});
    EXPECT_EQ(classify(px, 2, 1, false).type, imgBmpPARGB);
}

TEST(ClassifyAlphaVerdict, NoneTypeSkipsTheScanAndCountsAsOpaque) {
    auto px = pixelsOf({{200, 50, 50, 128}, {10, 0, 0, 0}});
    const auto v = classify(px, 2, 1, true, imgNone);
    EXPECT_EQ(v.type, imgBitmap);
    EXPECT_FALSE(v.alpha);
    EXPECT_EQ(pixelAt(px, 0), (Px{200, 50, 50, 255}));
    EXPECT_EQ(pixelAt(px, 1), (Px{10, 0, 0, 255}));
}

TEST(ClassifyAlphaVerdict, OpaqueAdjustSetsEveryAlphaForAnyLength) {
    for (int count = 1; count < 20; ++count) {
        std::vector<std::uint8_t> px(static_cast<std::size_t>(count) * 4 + 4, 7);
        const auto v = classify(px, count, 1, true, imgNone);
        ASSERT_EQ(v.type, imgBitmap);
        for (int i = 0; i < count; ++i)
            ASSERT_EQ(pixelAt(px, i), (Px{7, 7, 7, 255})) << count;
        ASSERT_EQ(pixelAt(px, count), (Px{7, 7, 7, 7})) << "past the image, count " << count;
    }
}

TEST(ClassifyAlphaVerdict, InvalidArgumentsFailAndTouchNothing) {
    auto px = pixelsOf({{200, 50, 50, 128}, {1, 1, 1, 1}});
    const auto before = px;
    bool alpha = true;
    std::int32_t type = 42;
    EXPECT_FALSE(ClassifyAlpha(px, 0, 1, true, alpha, type));
    EXPECT_FALSE(ClassifyAlpha(px, 2, -1, true, alpha, type));
    EXPECT_FALSE(ClassifyAlpha(px, 3, 1, true, alpha, type));  // span too small
    EXPECT_FALSE(ClassifyAlpha(px, 65536, 65536, true, alpha, type));
    EXPECT_FALSE(ClassifyAlpha(std::span<std::uint8_t>(px.data(), 7), 2, 1, true, alpha, type));
    EXPECT_TRUE(alpha);
    EXPECT_EQ(type, 42);
    EXPECT_EQ(px, before);
}

// ---- Optimised paths against the plain references --------------------------------------------

// The levels the helpers have forms for: SSE2 and one pixel at a time.
constexpr simd::Level kLevels[] = {simd::Level::kSse2, simd::Level::kScalar};

TEST(ClassifyAlphaFastPaths, PremultiplyMatchesReferenceForEveryColourAndAlpha) {
    for (const simd::Level level : kLevels) {
        const simd::ScopedLevelLimit held(level);
        std::vector<std::uint8_t> fast(256 * 256 * 4), ref;
        for (int a = 0; a < 256; ++a) {
            for (int c = 0; c < 256; ++c) {
                std::uint8_t* p = fast.data() + (a * 256 + c) * 4;
                p[0] = static_cast<std::uint8_t>(c);
                p[1] = static_cast<std::uint8_t>(255 - c);
                p[2] = static_cast<std::uint8_t>(c ^ 0x5A);
                p[3] = static_cast<std::uint8_t>(a);
            }
        }
        ref = fast;
        detail::premultiply(fast.data(), 256 * 256);
        detail::premultiplyReference(ref.data(), 256 * 256);
        EXPECT_EQ(fast, ref) << "level " << int(level);
    }
}

TEST(ClassifyAlphaFastPaths, EveryLengthAndAlignmentMatchesReference) {
    // Each level's table on its own, whatever the limit.
    for (const simd::Level level :
         {simd::Level::kScalar, simd::Level::kSse2, simd::Level::kSsse3, simd::Level::kAvx2}) {
        const ImageKernels* kernels = imageKernelsFor(level);
        if (!kernels) continue;
        std::mt19937 rng(1234);
        std::vector<std::uint8_t> storage(4 * 64 + 16);
        for (int trial = 0; trial < 400; ++trial) {
            const std::size_t count = 1 + trial % 37;
            const std::size_t offset = static_cast<std::size_t>(trial % 4);
            std::uint8_t* p = storage.data() + offset;
            // Mostly opaque or empty pixels, with a sprinkling of translucent ones, so the
            // block shortcuts and the per-pixel path both run.
            for (std::size_t i = 0; i < count; ++i) {
                const unsigned kind = rng() % 8;
                const std::uint8_t a = kind < 4   ? 255
                                       : kind < 6 ? 0
                                                  : static_cast<std::uint8_t>(rng());
                const bool premultipliedPixel = (trial / 4) % 2 == 0;
                for (int k = 0; k < 3; ++k) {
                    std::uint8_t c = static_cast<std::uint8_t>(rng());
                    if (premultipliedPixel) c = a == 0 ? 0 : static_cast<std::uint8_t>(c % (a + 1));
                    p[i * 4 + k] = c;
                }
                p[i * 4 + 3] = a;
            }
            std::span<const std::uint8_t> view(p, count * 4);
            ASSERT_EQ(kernels->classifyAlpha(view, count),
                      detail::classifyAlphaReference(view, count))
                << "level " << int(level) << " trial " << trial;
            std::vector<std::uint8_t> ref(p, p + count * 4), opaque = ref;
            kernels->premultiply(p, count);
            detail::premultiplyReference(ref.data(), count);
            ASSERT_TRUE(std::memcmp(p, ref.data(), count * 4) == 0)
                << "level " << int(level) << " trial " << trial;
            // Making opaque keeps the colour bytes and sets every alpha byte.
            std::vector<std::uint8_t> madeOpaque = opaque;
            kernels->makeOpaque(madeOpaque.data(), count);
            for (std::size_t i = 0; i < count; ++i)
                opaque[i * 4 + 3] = 255;
            ASSERT_EQ(madeOpaque, opaque) << "level " << int(level) << " trial " << trial;
        }
    }
}

// ---- Numeric helpers ----------------------------------------------------------------------

TEST(DwordAlignedRowBytes, PadsRowsToFourBytes) {
    EXPECT_EQ(DwordAlignedRowBytes(24, 1), 4);
    EXPECT_EQ(DwordAlignedRowBytes(24, 5), 16);
    EXPECT_EQ(DwordAlignedRowBytes(32, 3), 12);
    EXPECT_EQ(DwordAlignedRowBytes(1, 33), 8);
    EXPECT_EQ(DwordAlignedRowBytes(1, 32), 4);
    EXPECT_EQ(DwordAlignedRowBytes(8, 0), 0);
}

TEST(DwordAlignedRowBytes, OverflowAndNegativeWidthAreFailures) {
    EXPECT_EQ(DwordAlignedRowBytes(32, 67108863), 268435452);  // 2^31 - 33 bits + 31 fits
    EXPECT_EQ(DwordAlignedRowBytes(32, 67108864), std::nullopt);
    EXPECT_EQ(DwordAlignedRowBytes(1, 2147483647), std::nullopt);  // + 31 overflows
    EXPECT_EQ(DwordAlignedRowBytes(255, 2147483647), std::nullopt);
    EXPECT_EQ(DwordAlignedRowBytes(24, -1), std::nullopt);
}

TEST(SwapByteOrder32, ReversesTheFourBytes) {
    const std::uint32_t swapped = SwapByteOrder32(13);
    std::uint8_t bytes[4];
    std::memcpy(bytes, &swapped, 4);
    const std::uint32_t probe = 1;
    if (*reinterpret_cast<const std::uint8_t*>(&probe) == 1) {  // little-endian host
        EXPECT_EQ(bytes[0], 0x00);
        EXPECT_EQ(bytes[3], 0x0D);
    }
    EXPECT_EQ(swapped, 0x0D000000u);
    EXPECT_EQ(SwapByteOrder32(0x80000001u), 0x01000080u);
    EXPECT_EQ(SwapByteOrder32(0x89504E47u), 0x474E5089u);
}

TEST(GrayscaleWeights, UnknownCodesTakeTheDefaultFormula) {
    float r = 0, g = 0, b = 0;
    for (int code : {0, 9, -2, 64}) {
        GrayscaleWeights(code, r, g, b);
        EXPECT_FLOAT_EQ(r, 0.299f) << code;
        EXPECT_FLOAT_EQ(g, 0.587f) << code;
        EXPECT_FLOAT_EQ(b, 0.114f) << code;
    }
    GrayscaleWeights(-1, r, g, b);
    EXPECT_EQ(r + g + b, 3.0f);
    GrayscaleWeights(7, r, g, b);  // the last formula of the table, not the default
    EXPECT_FLOAT_EQ(r, 0.1f);
    EXPECT_FLOAT_EQ(g, 0.45f);
    EXPECT_FLOAT_EQ(b, 0.45f);
}

}  // namespace
}  // namespace talvrin
