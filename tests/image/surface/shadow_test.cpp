// The drop shadow: sizes and depth limits, the worked numbers, the last column, agreement
// with a plain box sum at every depth on a large image, and drawing it at once.
#include <gtest/gtest.h>

#include <random>

#include "render_test_support.h"

namespace talvrin {
namespace {

using testing::Pixel;

TEST(ShadowShape, DepthZeroCopiesAlphaInTheShadowColour) {
    c32bppDIB src;
    EXPECT_EQ(src.CreateDropShadow(3, 0), nullptr);
    src.InitializeDIB(4, 3);
    testing::fillRandom(src, 5);
    src.setGdiToken(77);
    const auto shadow = src.CreateDropShadow(0, 0x00204080);  // red 0x80, green 0x40, blue 0x20
    ASSERT_NE(shadow, nullptr);
    ASSERT_EQ(shadow->Width(), 4);
    ASSERT_EQ(shadow->Height(), 3);
    EXPECT_TRUE(shadow->Alpha());
    EXPECT_EQ(shadow->ImageType(), imgBmpPARGB);
    EXPECT_EQ(shadow->gdiToken(), 77u);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {  // every column, the last one included
            const unsigned a = testing::get(src, x, y)[3];
            const Pixel want =
                a == 255 ? Pixel{0x20, 0x40, 0x80, 255}
                         : Pixel{std::uint8_t(0x20 * a / 255), std::uint8_t(0x40 * a / 255),
                                 std::uint8_t(0x80 * a / 255), std::uint8_t(a)};
            EXPECT_EQ(testing::get(*shadow, x, y), want) << x << "," << y;
        }
}

TEST(ShadowShape, DepthIsLimitedToZeroThroughTen) {
    c32bppDIB src;
    src.InitializeDIB(3, 2);
    EXPECT_EQ(src.CreateDropShadow(15, 0)->Width(), 23);
    EXPECT_EQ(src.CreateDropShadow(15, 0)->Height(), 22);
    EXPECT_EQ(src.CreateDropShadow(-3, 0)->Width(), 3);
}

TEST(ShadowNumbers, OnePixelAndFullWindow) {
    c32bppDIB one;
    one.InitializeDIB(1, 1);
    testing::put(one, 0, 0, {9, 9, 9, 255});
    const auto s = one.CreateDropShadow(1, 0);
    ASSERT_EQ(s->Width(), 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(testing::get(*s, x, y)[3], 28) << x << "," << y;

    c32bppDIB big;
    big.InitializeDIB(5, 5);
    testing::fill(big, {1, 1, 1, 255});
    const auto red = big.CreateDropShadow(1, 0x000000FF);
    EXPECT_EQ(testing::get(*red, 3, 3), (Pixel{0, 0, 255, 255}));
}

// The running sums against a plain sum over the window: exact at every depth, so the single
// pass does the same work whatever the window.
TEST(ShadowBlur, MatchesPlainBoxSumOnALargeImage) {
    c32bppDIB src;
    src.InitializeDIB(301, 157);
    testing::fillRandom(src, 9);
    for (const int d : {1, 5, 10}) {
        const auto s = src.CreateDropShadow(d, 0x00FFFFFF);
        ASSERT_NE(s, nullptr);
        const int m = 2 * d;
        for (int y = 0; y < s->Height(); y += 3) {
            for (int x = 0; x < s->Width(); ++x) {
                unsigned total = 0;
                for (int sy = std::max(0, y - m); sy <= std::min(y, src.Height() - 1); ++sy)
                    for (int sx = std::max(0, x - m); sx <= std::min(x, src.Width() - 1); ++sx)
                        total += testing::get(src, sx, sy)[3];
                ASSERT_EQ(testing::get(*s, x, y)[3], total / ((m + 1) * (m + 1)))
                    << "depth " << d << " at " << x << "," << y;
            }
        }
    }
}

// Window totals on either side of every quotient boundary: a full window of alpha a gives a,
// and one unit less gives a - 1, at every depth.
TEST(ShadowBlur, DivisionIsExactAtEveryQuotientBoundary) {
    for (int d = 0; d <= 10; ++d) {
        const int n = 2 * d + 1;
        c32bppDIB src;
        src.InitializeDIB(n, n);
        for (int a = 1; a < 256; ++a) {
            testing::fill(src, {0, 0, 0, std::uint8_t(a)});
            EXPECT_EQ(testing::get(*src.CreateDropShadow(d, 0), 2 * d, 2 * d)[3], a) << d;
            testing::put(src, 0, 0, {0, 0, 0, std::uint8_t(a - 1)});
            EXPECT_EQ(testing::get(*src.CreateDropShadow(d, 0), 2 * d, 2 * d)[3], a - 1) << d;
        }
    }
}

TEST(ShadowRender, DrawsAtOnceWithOpacity) {
    c32bppDIB src;
    src.InitializeDIB(2, 2);
    testing::fill(src, {0, 0, 0, 255});
    testing::TestDC dc(6, 6, 24);
    dc.fill({255, 255, 255, 0});
    ASSERT_TRUE(src.RenderDropShadow_JIT(dc.dc.get(), 1, 1, 0, 0x00000000, 50));
    // An opaque black 2 x 2 shadow at 50 percent (opacity byte 127) over white, through
    // AlphaBlend's rounding rule: 255 * (255 - 127) / 255 rounded = 128.
    EXPECT_EQ(dc.at(0, 0)[0], 255);
    EXPECT_EQ(dc.at(1, 1)[0], 128);
    EXPECT_EQ(dc.at(2, 2)[2], 128);
    EXPECT_EQ(dc.at(3, 3)[0], 255);
    c32bppDIB empty;
    EXPECT_FALSE(empty.RenderDropShadow_JIT(dc.dc.get(), 0, 0, 1, 0, 100));
}

}  // namespace
}  // namespace talvrin
