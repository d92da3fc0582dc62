// AlphaBlend and TransparentBlt against straightforward per-pixel references.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "drawing_test_support.h"
#include "platform/device_context.h"
#include "platform/gdi.h"

namespace talvrin::platform {
namespace {

using testing::fillPremultiplied;
using testing::fillRandom;
using testing::pixel32;
using testing::setPixel32;

// v / 255 rounded to nearest, written differently from the layer's multiply-shift form.
std::uint32_t roundDiv255(std::uint32_t v) {
    return (2 * v + 255) / 510;
}

// Reads pixel (x, y) of a 24- or 32-bit bitmap as four bytes B, G, R, A (A = 0 for 24 bits).
void readPixel(const Bitmap& b, int x, int y, std::uint8_t out[4]) {
    const int bytes = b.bitsPerPixel() / 8;
    const std::uint8_t* p = b.rowFromTop(y) + bytes * x;
    out[0] = p[0];
    out[1] = p[1];
    out[2] = p[2];
    out[3] = bytes == 4 ? p[3] : 0;
}
void writePixel(Bitmap& b, int x, int y, const std::uint8_t in[4]) {
    const int bytes = b.bitsPerPixel() / 8;
    std::memcpy(b.rowFromTop(y) + bytes * x, in, static_cast<std::size_t>(bytes));
}

// The source column or row a destination offset i takes: the pixel under its centre.
std::int64_t sampleAt(std::int64_t i, std::int64_t srcLen, std::int64_t destLen) {
    return (2 * i + 1) * srcLen / (2 * destLen);
}

struct Call {
    int x, y, w, h, sx, sy, sw, sh;
};

// AlphaBlend, one pixel at a time, on a copy of the destination bitmap.
void referenceBlend(Bitmap& dst, const Rect& clip, const Bitmap& src, const Call& c,
                    BlendFunction f) {
    const std::uint32_t sca = f.sourceConstantAlpha;
    for (int py = 0; py < dst.height(); ++py) {
        for (int px = 0; px < dst.width(); ++px) {
            if (!clip.contains(px, py)) continue;
            const std::int64_t i = std::int64_t{px} - c.x, j = std::int64_t{py} - c.y;
            if (i < 0 || j < 0 || i >= c.w || j >= c.h) continue;
            std::uint8_t s[4], d[4];
            readPixel(src, static_cast<int>(c.sx + sampleAt(i, c.sw, c.w)),
                      static_cast<int>(c.sy + sampleAt(j, c.sh, c.h)), s);
            readPixel(dst, px, py, d);
            if (f.perPixelAlpha) {
                std::uint32_t sp[4];
                for (int k = 0; k < 4; ++k)
                    sp[k] = roundDiv255(s[k] * sca);
                for (int k = 0; k < 4; ++k)
                    d[k] = static_cast<std::uint8_t>(
                        std::min<std::uint32_t>(255, sp[k] + roundDiv255(d[k] * (255 - sp[3]))));
            } else {
                for (int k = 0; k < 4; ++k)
                    d[k] = static_cast<std::uint8_t>(roundDiv255(s[k] * sca + d[k] * (255 - sca)));
            }
            writePixel(dst, px, py, d);
        }
    }
}

std::unique_ptr<Bitmap> clone(const Bitmap& b) {
    auto c = Bitmap::create(b.width(), b.height(), b.bitsPerPixel());
    std::memcpy(c->bits(), b.bits(), b.byteCount());
    return c;
}

bool sameBytes(const Bitmap& a, const Bitmap& b) {
    return a.byteCount() == b.byteCount() && std::memcmp(a.bits(), b.bits(), a.byteCount()) == 0;
}

// ---- the documented rounding on worked values ----

// Blends one source pixel over one destination pixel and answers the destination.
std::uint32_t blendOne(std::uint32_t srcPixel, std::uint32_t dstPixel, std::uint8_t sca,
                       bool perPixel) {
    auto sb = Bitmap::create(1, 1, 32);
    auto db = Bitmap::create(1, 1, 32);
    setPixel32(*sb, 0, 0, srcPixel);
    setPixel32(*db, 0, 0, dstPixel);
    auto sdc = DeviceContext::createCompatible();
    auto ddc = DeviceContext::createCompatible();
    sdc->select(sb.get());
    ddc->select(db.get());
    EXPECT_TRUE(AlphaBlend(*ddc, 0, 0, 1, 1, *sdc, 0, 0, 1, 1, {sca, perPixel}));
    return pixel32(*db, 0, 0);
}

TEST(AlphaBlendRounding, WorkedValues) {
    // Half-transparent red over white at full opacity: 0 + 255*127/255 = 127 for blue and green.
    EXPECT_EQ(blendOne(0x80800000, 0xFFFFFFFF, 255, true), 0xFFFF7F7Fu);
    // Opacity 128 scales the whole source with rounding: 200 -> 100, 100 -> 50 (50.2), alpha
    // 200 -> 100; destination 50 * 155 / 255 = 30.4 -> 30.
    EXPECT_EQ(blendOne(0xC80064C8, 0xFF323232, 128, true), 0xFF1E5082u);
    // Constant opacity only: (s * 100 + d * 155) / 255 rounded, alpha byte included.
    EXPECT_EQ(blendOne(0x281E140A, 0xFAFAFAFA, 100, false), 0xA8A4A09Cu);
    // Rounding, not truncation: 1 * 254 / 255 = 0.996 becomes 1 (truncation would give 0).
    EXPECT_EQ(blendOne(0x01000000, 0x00000001, 255, true), 0x01000001u);
    // A malformed source (colour above alpha) saturates instead of wrapping.
    // 200 + 128 * 155 / 255 = 278 becomes 255 (wrapping would give 22).
    EXPECT_EQ(blendOne(0x640000C8, 0xFF000080, 255, true), 0xFF0000FFu);
    // Fully transparent source leaves the destination; opaque source replaces it.
    EXPECT_EQ(blendOne(0x00000000, 0x12345678, 255, true), 0x12345678u);
    EXPECT_EQ(blendOne(0xFF102030, 0x12345678, 255, true), 0xFF102030u);
}

TEST(AlphaBlendRounding, ConstantAlphaZeroDrawsNothingAndSucceeds) {
    EXPECT_EQ(blendOne(0xFF102030, 0x12345678, 0, true), 0x12345678u);
    EXPECT_EQ(blendOne(0xFF102030, 0x12345678, 0, false), 0x12345678u);
}

// ---- against the reference on random sizes, positions, clips and stretches ----

Call randomCall(std::mt19937& rng, const Bitmap& src, const Bitmap& dst, bool stretch) {
    auto pick = [&](int lo, int hi) { return lo + static_cast<int>(rng() % (hi - lo + 1)); };
    Call c{};
    c.sw = pick(1, src.width());
    c.sh = pick(1, src.height());
    c.sx = pick(0, src.width() - c.sw);
    c.sy = pick(0, src.height() - c.sh);
    c.w = stretch ? pick(1, 2 * dst.width()) : c.sw;
    c.h = stretch ? pick(1, 2 * dst.height()) : c.sh;
    c.x = pick(-c.w, dst.width());
    c.y = pick(-c.h, dst.height());
    return c;
}

Rect randomClip(std::mt19937& rng, const Bitmap& dst) {
    if (rng() % 2) return Rect{0, 0, dst.width(), dst.height()};
    const int l = static_cast<int>(rng() % (dst.width() + 1)) - 2;
    const int t = static_cast<int>(rng() % (dst.height() + 1)) - 2;
    return Rect{l, t, l + static_cast<int>(rng() % (dst.width() + 4)),
                t + static_cast<int>(rng() % (dst.height() + 4))};
}

void runRandomBlends(std::uint32_t seed, int rounds, bool stretch, int dstBpp) {
    std::mt19937 rng(seed);
    for (int round = 0; round < rounds; ++round) {
        auto src =
            Bitmap::create(1 + static_cast<int>(rng() % 37), 1 + static_cast<int>(rng() % 9), 32);
        auto dst = Bitmap::create(1 + static_cast<int>(rng() % 41), 1 + static_cast<int>(rng() % 9),
                                  dstBpp);
        fillPremultiplied(*src, rng, /*malformed=*/round % 5 == 0);
        fillRandom(*dst, rng);
        auto sdc = DeviceContext::createCompatible();
        auto ddc = DeviceContext::createCompatible();
        sdc->select(src.get());
        ddc->select(dst.get());
        const Rect clip = randomClip(rng, *dst);
        ddc->setClipRect(clip);
        const Call c = randomCall(rng, *src, *dst, stretch);
        const std::uint8_t scaChoices[] = {255, 128, 0, 1, 254, static_cast<std::uint8_t>(rng())};
        const BlendFunction f{scaChoices[rng() % 6], rng() % 3 != 0};

        auto expected = clone(*dst);
        referenceBlend(*expected, ddc->clipBox(), *src, c, f);
        ASSERT_TRUE(AlphaBlend(*ddc, c.x, c.y, c.w, c.h, *sdc, c.sx, c.sy, c.sw, c.sh, f));
        ASSERT_TRUE(sameBytes(*dst, *expected))
            << "seed " << seed << " round " << round << " dst " << dst->width() << "x"
            << dst->height() << " call " << c.x << "," << c.y << " " << c.w << "x" << c.h
            << " from " << c.sx << "," << c.sy << " " << c.sw << "x" << c.sh << " sca "
            << int{f.sourceConstantAlpha} << " perPixel " << f.perPixelAlpha;
    }
}

TEST(AlphaBlendMatchesReference, UnscaledAllWidthsOffsetsAndClips) {
    runRandomBlends(1234, 1500, /*stretch=*/false, 32);
}

TEST(AlphaBlendMatchesReference, StretchedWithClipping) {
    runRandomBlends(98765, 1500, /*stretch=*/true, 32);
}

TEST(AlphaBlendMatchesReference, OntoTwentyFourBitSurface) {
    runRandomBlends(555, 600, /*stretch=*/false, 24);
    runRandomBlends(556, 600, /*stretch=*/true, 24);
}

TEST(AlphaBlendMatchesReference, WideRowsUseEveryVectorTail) {
    // Rows from 1 to 70 pixels wide, starting at every alignment, whole surface visible.
    std::mt19937 rng(7);
    auto src = Bitmap::create(80, 3, 32);
    auto dst = Bitmap::create(80, 3, 32);
    auto sdc = DeviceContext::createCompatible();
    auto ddc = DeviceContext::createCompatible();
    sdc->select(src.get());
    ddc->select(dst.get());
    for (int w = 1; w <= 70; ++w) {
        for (int off = 0; off < 9; ++off) {
            fillPremultiplied(*src, rng, w % 7 == 0);
            fillRandom(*dst, rng);
            for (std::uint8_t sca : {std::uint8_t{255}, std::uint8_t{77}}) {
                const Call c{off, 0, w, 3, 9 - off, 0, w, 3};
                auto expected = clone(*dst);
                referenceBlend(*expected, ddc->clipBox(), *src, c, {sca, true});
                ASSERT_TRUE(AlphaBlend(*ddc, c.x, 0, w, 3, *sdc, c.sx, 0, w, 3, {sca, true}));
                ASSERT_TRUE(sameBytes(*dst, *expected)) << "width " << w << " offset " << off;
            }
        }
    }
}

TEST(AlphaBlendMatchesReference, SourceAndDestinationOnOneSurface) {
    std::mt19937 rng(31);
    auto bmp = Bitmap::create(20, 12, 32);
    fillPremultiplied(*bmp, rng);
    auto dc = DeviceContext::createCompatible();
    dc->select(bmp.get());
    const Call c{3, 2, 15, 9, 0, 0, 10, 8};
    auto source = clone(*bmp);
    auto expected = clone(*bmp);
    referenceBlend(*expected, dc->clipBox(), *source, c, {200, true});
    ASSERT_TRUE(AlphaBlend(*dc, c.x, c.y, c.w, c.h, *dc, c.sx, c.sy, c.sw, c.sh, {200, true}));
    EXPECT_TRUE(sameBytes(*bmp, *expected));
}

// ---- refusals ----

TEST(AlphaBlendRefuses, BadSizesAndSourceOutsideItsBitmap) {
    auto src = Bitmap::create(8, 8, 32);
    auto dst = Bitmap::create(8, 8, 32);
    std::mt19937 rng(3);
    fillPremultiplied(*src, rng);
    auto sdc = DeviceContext::createCompatible();
    auto ddc = DeviceContext::createCompatible();
    sdc->select(src.get());
    ddc->select(dst.get());
    const BlendFunction f{255, true};
    EXPECT_FALSE(AlphaBlend(*ddc, 0, 0, 0, 4, *sdc, 0, 0, 4, 4, f));
    EXPECT_FALSE(AlphaBlend(*ddc, 0, 0, 4, -4, *sdc, 0, 0, 4, 4, f));
    EXPECT_FALSE(AlphaBlend(*ddc, 0, 0, 4, 4, *sdc, 0, 0, -4, 4, f));
    EXPECT_FALSE(AlphaBlend(*ddc, 0, 0, 4, 4, *sdc, -1, 0, 4, 4, f));
    EXPECT_FALSE(AlphaBlend(*ddc, 0, 0, 4, 4, *sdc, 5, 0, 4, 4, f));
    EXPECT_FALSE(AlphaBlend(*ddc, 0, 0, 4, 4, *sdc, 0, 0, 4, INT32_MAX, f));
    EXPECT_FALSE(AlphaBlend(*ddc, 0, 0, 4, 4, *sdc, INT32_MAX, 0, 4, 4, f));
    for (std::size_t i = 0; i < dst->byteCount(); ++i)
        ASSERT_EQ(dst->bits()[i], 0);

    // Per-pixel alpha needs 32-bit source pixels.
    auto src24 = Bitmap::create(8, 8, 24);
    sdc->select(src24.get());
    EXPECT_FALSE(AlphaBlend(*ddc, 0, 0, 4, 4, *sdc, 0, 0, 4, 4, f));
    EXPECT_TRUE(AlphaBlend(*ddc, 0, 0, 4, 4, *sdc, 0, 0, 4, 4, {128, false}));
}

TEST(AlphaBlendRefuses, ExtremeDestinationsDrawOnlyInsideTheSurface) {
    auto src = Bitmap::create(4, 4, 32);
    auto dst = Bitmap::create(6, 6, 32);
    std::mt19937 rng(5);
    fillPremultiplied(*src, rng);
    auto sdc = DeviceContext::createCompatible();
    auto ddc = DeviceContext::createCompatible();
    sdc->select(src.get());
    ddc->select(dst.get());
    const std::int32_t extremes[] = {INT32_MIN, INT32_MIN + 1, -5, 0, 3, INT32_MAX - 1, INT32_MAX};
    for (std::int32_t x : extremes)
        for (std::int32_t w : {1, 7, INT32_MAX})
            EXPECT_TRUE(AlphaBlend(*ddc, x, x, w, w, *sdc, 0, 0, 4, 4, {255, true}));
}

// ---- transparent-colour blit ----

TEST(TransparentBltMatchesReference, SkipsKeyColourWithStretchAndClip) {
    std::mt19937 rng(42);
    for (int round = 0; round < 400; ++round) {
        auto src =
            Bitmap::create(1 + static_cast<int>(rng() % 20), 1 + static_cast<int>(rng() % 8), 32);
        auto dst =
            Bitmap::create(1 + static_cast<int>(rng() % 24), 1 + static_cast<int>(rng() % 8), 32);
        // Few distinct colours so the key is hit often; alpha varies to show it is ignored.
        for (int y = 0; y < src->height(); ++y)
            for (int x = 0; x < src->width(); ++x)
                setPixel32(
                    *src, x, y,
                    (rng() << 24) | (rng() % 3 == 0 ? 0x00FF00FFu : 0x00102030u * (rng() % 4)));
        fillRandom(*dst, rng);
        auto sdc = DeviceContext::createCompatible();
        auto ddc = DeviceContext::createCompatible();
        sdc->select(src.get());
        ddc->select(dst.get());
        ddc->setClipRect(randomClip(rng, *dst));
        const Call c = randomCall(rng, *src, *dst, rng() % 2 == 0);
        const ColorRef key = rgb(0xFF, 0x00, 0xFF);

        auto expected = clone(*dst);
        const Rect clip = ddc->clipBox();
        for (int py = 0; py < dst->height(); ++py)
            for (int px = 0; px < dst->width(); ++px) {
                const std::int64_t i = px - c.x, j = py - c.y;
                if (!clip.contains(px, py) || i < 0 || j < 0 || i >= c.w || j >= c.h) continue;
                const std::uint32_t s =
                    pixel32(*src, static_cast<int>(c.sx + sampleAt(i, c.sw, c.w)),
                            static_cast<int>(c.sy + sampleAt(j, c.sh, c.h)));
                if ((s & 0x00FFFFFFu) != 0x00FF00FFu) setPixel32(*expected, px, py, s);
            }
        ASSERT_TRUE(TransparentBlt(*ddc, c.x, c.y, c.w, c.h, *sdc, c.sx, c.sy, c.sw, c.sh, key));
        ASSERT_TRUE(sameBytes(*dst, *expected)) << "round " << round;
    }
}

TEST(TransparentBltRefuses, BadSizesAndSourceOutsideItsBitmap) {
    auto src = Bitmap::create(4, 4, 32);
    auto dst = Bitmap::create(4, 4, 32);
    auto sdc = DeviceContext::createCompatible();
    auto ddc = DeviceContext::createCompatible();
    sdc->select(src.get());
    ddc->select(dst.get());
    EXPECT_FALSE(TransparentBlt(*ddc, 0, 0, 0, 4, *sdc, 0, 0, 4, 4, 0));
    EXPECT_FALSE(TransparentBlt(*ddc, 0, 0, 4, 4, *sdc, 1, 0, 4, 4, 0));
    EXPECT_FALSE(TransparentBlt(*ddc, 0, 0, 4, 4, *sdc, 0, 0, 4, 0, 0));
    EXPECT_TRUE(
        TransparentBlt(*ddc, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MAX, *sdc, 0, 0, 4, 4, 0));
}

}  // namespace
}  // namespace talvrin::platform
