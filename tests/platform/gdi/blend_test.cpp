// AlphaBlend and TransparentBlt against a straightforward per-pixel reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "base/simd.h"
#include "platform/gdi/gdi.h"
#include "support/drawing_test_support.h"

namespace talvrin::platform {
namespace {

using namespace testing;

// v / 255 rounded to nearest, written differently from the layer's multiply-shift form.
std::uint32_t roundDiv255(std::uint32_t v) {
    return (2 * v + 255) / 510;
}

// The source offset a destination offset i takes: the pixel under its centre.
int sampleAt(std::int64_t i, int srcLen, int destLen) {
    return static_cast<int>((2 * i + 1) * srcLen / (2 * destLen));
}

struct Call {
    int x, y, w, h, sx, sy, sw, sh;
};

// One pixel at a time: AlphaBlend (blend set) or TransparentBlt with key 0xFF00FF.
void reference(Bitmap& dst, const Rect& clip, const Bitmap& src, const Call& c,
               const BlendFunction* blend) {
    const int bytes = dst.bitsPerPixel() / 8;
    for (int py = std::max(0, clip.top); py < std::min(dst.height(), clip.bottom); ++py)
        for (int px = std::max(0, clip.left); px < std::min(dst.width(), clip.right); ++px) {
            const std::int64_t i = std::int64_t{px} - c.x, j = std::int64_t{py} - c.y;
            if (i < 0 || j < 0 || i >= c.w || j >= c.h) continue;
            const std::uint32_t s =
                pixel32(src, c.sx + sampleAt(i, c.sw, c.w), c.sy + sampleAt(j, c.sh, c.h));
            std::uint8_t* d = dst.rowFromTop(py) + bytes * px;
            std::uint32_t out[4];
            for (int k = 0; k < 4; ++k) {
                const std::uint32_t sk = (s >> (8 * k)) & 0xFF, dk = k < bytes ? d[k] : 0;
                const std::uint32_t sca = blend ? blend->sourceConstantAlpha : 0;
                const std::uint32_t sa = roundDiv255((s >> 24) * sca);
                if (!blend)
                    out[k] = (s & 0xFFFFFF) == 0xFF00FF ? dk : sk;
                else if (blend->perPixelAlpha)
                    out[k] = std::min<std::uint32_t>(
                        255, roundDiv255(sk * sca) + roundDiv255(dk * (255 - sa)));
                else
                    out[k] = roundDiv255(sk * sca + dk * (255 - sca));
            }
            for (int k = 0; k < bytes; ++k)
                d[k] = static_cast<std::uint8_t>(out[k]);
        }
}

// Blends one source pixel over one destination pixel and answers the destination.
std::uint32_t blendOne(std::uint32_t s, std::uint32_t d, std::uint8_t sca, bool perPixel) {
    Target src(1, 1), dst(1, 1);
    setPixel32(*src.bitmap, 0, 0, s);
    setPixel32(*dst.bitmap, 0, 0, d);
    EXPECT_TRUE(AlphaBlend(*dst.dc, 0, 0, 1, 1, *src.dc, 0, 0, 1, 1, {sca, perPixel}));
    return pixel32(*dst.bitmap, 0, 0);
}

TEST(AlphaBlendRounding, WorkedValues) {
    // Half-transparent red over white: 0 + 255 * 127 / 255 = 127 for blue and green.
    EXPECT_EQ(blendOne(0x80800000, 0xFFFFFFFF, 255, true), 0xFFFF7F7Fu);
    // Opacity 128 scales all four source bytes with rounding (200 -> 100, 100 -> 50.2 -> 50);
    // the destination keeps 50 * 155 / 255 = 30.4 -> 30.
    EXPECT_EQ(blendOne(0xC80064C8, 0xFF323232, 128, true), 0xFF1E5082u);
    // Constant opacity only: (s * 100 + d * 155) / 255 rounded, the alpha byte included.
    EXPECT_EQ(blendOne(0x281E140A, 0xFAFAFAFA, 100, false), 0xA8A4A09Cu);
    // Rounding, not truncation: 1 * 254 / 255 = 0.996 becomes 1.
    EXPECT_EQ(blendOne(0x01000000, 0x00000001, 255, true), 0x01000001u);
    // A malformed source (colour above alpha) saturates: 200 + 78 gives 255, not 22.
    EXPECT_EQ(blendOne(0x640000C8, 0xFF000080, 255, true), 0xFF0000FFu);
    EXPECT_EQ(blendOne(0x00000000, 0x12345678, 255, true), 0x12345678u);
    EXPECT_EQ(blendOne(0xFF102030, 0x12345678, 255, true), 0xFF102030u);
    EXPECT_EQ(blendOne(0xFF102030, 0x12345678, 0, false), 0x12345678u);  // opacity 0: no-op
}

// Random sizes (every vector tail), positions, clips, opacities; stretched or not.
void runRandom(std::uint32_t seed, int rounds, bool stretch, int dstBpp, bool transparent) {
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return lo + static_cast<int>(rng() % (hi - lo + 1)); };
    for (int round = 0; round < rounds; ++round) {
        Target src(pick(1, 37), pick(1, 9)), dst(pick(1, 41), pick(1, 9), dstBpp);
        fillPremultiplied(*src.bitmap, rng, round % 5 == 0);
        if (transparent)  // few colours, so the key is hit often; alpha varies
            for (int y = 0; y < src.bitmap->height(); ++y)
                for (int x = 0; x < src.bitmap->width(); ++x)
                    setPixel32(*src.bitmap, x, y,
                               (rng() << 24) | (rng() % 3 ? 0xFF00FF : 0x102030 * (rng() % 4)));
        fillRandom(*dst.bitmap, rng);
        const int W = dst.bitmap->width(), H = dst.bitmap->height();
        if (rng() % 2)
            dst.dc->setClipRect(Rect{pick(-2, W), pick(-2, H), pick(0, W + 2), pick(0, H + 2)});
        Call c{};
        c.sw = pick(1, src.bitmap->width());
        c.sh = pick(1, src.bitmap->height());
        c.sx = pick(0, src.bitmap->width() - c.sw);
        c.sy = pick(0, src.bitmap->height() - c.sh);
        c.w = stretch ? pick(1, 2 * W) : c.sw;
        c.h = stretch ? pick(1, 2 * H) : c.sh;
        c.x = pick(-c.w, W);
        c.y = pick(-c.h, H);
        const std::uint8_t scas[] = {255, 128, 1, 254, static_cast<std::uint8_t>(rng())};
        const BlendFunction f{scas[rng() % 5], rng() % 3 != 0};

        auto expected = clone(*dst.bitmap);
        reference(*expected, dst.dc->clipBox(), *src.bitmap, c, transparent ? nullptr : &f);
        ASSERT_TRUE(transparent ? TransparentBlt(*dst.dc, c.x, c.y, c.w, c.h, *src.dc, c.sx, c.sy,
                                                 c.sw, c.sh, 0xFF00FF)
                                : AlphaBlend(*dst.dc, c.x, c.y, c.w, c.h, *src.dc, c.sx, c.sy, c.sw,
                                             c.sh, f));
        ASSERT_TRUE(sameBytes(*dst.bitmap, *expected))
            << "seed " << seed << " round " << round << " dst " << W << "x" << H << " call " << c.x
            << "," << c.y << " " << c.w << "x" << c.h << " from " << c.sx << "," << c.sy << " "
            << c.sw << "x" << c.sh << " sca " << int{f.sourceConstantAlpha} << " perPixel "
            << f.perPixelAlpha;
    }
}

TEST(AlphaBlendMatchesReference, UnscaledAndStretchedWithClipping) {
    runRandom(1234, 2000, /*stretch=*/false, 32, false);
    runRandom(98765, 2000, /*stretch=*/true, 32, false);
}

TEST(AlphaBlendMatchesReference, OntoTwentyFourBitSurface) {
    runRandom(555, 600, false, 24, false);
    runRandom(556, 600, true, 24, false);
}

// Each form of the rows (eight pixels a step, four, then one; each vector form hands its tail to
// the next) against the per-pixel reference for every width from 1 to 64 at every offset within
// a 32-byte vector, of the destination and of the source: the same bytes, and the destination's
// pixels after the row left as they were. The source comes in runs of eight opaque,
// transparent, translucent or malformed pixels, so that the rows' whole-vector shortcuts are
// taken at every offset.
TEST(AlphaBlendMatchesReference, EveryRowFormAtEveryWidthAndOffset) {
    constexpr int kOffsets = 8, kGuard = 8;
    for (const simd::Level level : {simd::Level::kAvx2, simd::Level::kSse2, simd::Level::kScalar}) {
        if (simd::processorLevel() < level) continue;
        const simd::ScopedLevelLimit held(level);
        for (const int dstBpp : {32, 24}) {
            for (const BlendFunction f :
                 {BlendFunction{255, true}, BlendFunction{77, true}, BlendFunction{200, false}}) {
                for (int n = 1; n <= 64; ++n) {
                    for (int off = 0; off < kOffsets; ++off) {
                        const int srcOff = kOffsets - 1 - off;
                        std::mt19937 rng(static_cast<std::uint32_t>(n * 64 + off));
                        Target src(srcOff + n, 1), dst(off + n + kGuard, 1, dstBpp);
                        const unsigned firstRun = rng();
                        for (int x = 0; x < srcOff + n; ++x) {
                            const unsigned kind = (static_cast<unsigned>(x) / 8 + firstRun) % 4;
                            const std::uint32_t a = kind == 0 ? 255 : kind == 1 ? 0 : rng() % 256;
                            std::uint32_t v = a << 24;
                            for (int k = 0; k < 3; ++k)
                                v |= (kind == 3 ? rng() % 256 : rng() % (a + 1)) << (8 * k);
                            setPixel32(*src.bitmap, x, 0, v);
                        }
                        fillRandom(*dst.bitmap, rng);
                        const Call c{off, 0, n, 1, srcOff, 0, n, 1};
                        auto expected = clone(*dst.bitmap);
                        reference(*expected, dst.dc->clipBox(), *src.bitmap, c, &f);
                        ASSERT_TRUE(AlphaBlend(*dst.dc, off, 0, n, 1, *src.dc, srcOff, 0, n, 1, f));
                        ASSERT_TRUE(sameBytes(*dst.bitmap, *expected))
                            << "level " << int(level) << " width " << n << " offset " << off
                            << " dst bpp " << dstBpp << " sca " << int{f.sourceConstantAlpha}
                            << " perPixel " << f.perPixelAlpha;
                    }
                }
            }
        }
    }
}

TEST(AlphaBlendMatchesReference, SourceAndDestinationOnOneSurface) {
    std::mt19937 rng(31);
    Target t(20, 12);
    fillPremultiplied(*t.bitmap, rng);
    const Call c{3, 2, 15, 9, 0, 0, 10, 8};
    auto source = clone(*t.bitmap), expected = clone(*t.bitmap);
    const BlendFunction f{200, true};
    reference(*expected, t.dc->clipBox(), *source, c, &f);
    ASSERT_TRUE(AlphaBlend(*t.dc, c.x, c.y, c.w, c.h, *t.dc, c.sx, c.sy, c.sw, c.sh, f));
    EXPECT_TRUE(sameBytes(*t.bitmap, *expected));
}

TEST(AlphaBlendRefuses, BadSizesAndSourceOutsideItsBitmap) {
    Target src(8, 8), src24(8, 8, 24), dst(8, 8);
    const BlendFunction f{255, true};
    const Call bad[] = {{0, 0, 0, 4, 0, 0, 4, 4},        {0, 0, 4, -4, 0, 0, 4, 4},
                        {0, 0, 4, 4, 0, 0, -4, 4},       {0, 0, 4, 4, -1, 0, 4, 4},
                        {0, 0, 4, 4, 5, 0, 4, 4},        {0, 0, 4, 4, 0, 0, 4, INT32_MAX},
                        {0, 0, 4, 4, INT32_MAX, 0, 4, 4}};
    for (const Call& c : bad) {
        EXPECT_FALSE(AlphaBlend(*dst.dc, c.x, c.y, c.w, c.h, *src.dc, c.sx, c.sy, c.sw, c.sh, f));
        EXPECT_FALSE(
            TransparentBlt(*dst.dc, c.x, c.y, c.w, c.h, *src.dc, c.sx, c.sy, c.sw, c.sh, 0));
    }
    // Per-pixel alpha needs 32-bit source pixels; constant opacity does not.
    EXPECT_FALSE(AlphaBlend(*dst.dc, 0, 0, 4, 4, *src24.dc, 0, 0, 4, 4, f));
    EXPECT_TRUE(AlphaBlend(*dst.dc, 0, 0, 4, 4, *src24.dc, 0, 0, 4, 4, {128, false}));
}

TEST(TransparentBltMatchesReference, SkipsKeyColourWithStretchAndClip) {
    runRandom(42, 300, false, 32, /*transparent=*/true);
    runRandom(43, 300, true, 32, true);
    runRandom(44, 300, true, 24, true);
}

}  // namespace
}  // namespace talvrin::platform
