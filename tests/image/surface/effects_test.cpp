// Effects that change the surface's pixels for good: inversion, colour-key transparency with
// its undoing, and mirroring in place.
#include <gtest/gtest.h>

#include <vector>

#include "image/surface/c32bpp_dib_internal.h"
#include "render_test_support.h"

namespace talvrin {
namespace {

using testing::Pixel;

std::vector<std::uint8_t> bytesOf(const c32bppDIB& d) {
    return {d.BitsPointer(), d.BitsPointer() + d.scanWidth() * d.Height()};
}

TEST(EffectsInverse, WorkedPixelsAndTwiceRestores) {
    c32bppDIB dib;
    EXPECT_FALSE(dib.MakeImageInverse());
    dib.InitializeDIB(3, 1);
    testing::put(dib, 0, 0, {255, 255, 255, 255});
    testing::put(dib, 1, 0, {10, 20, 30, 100});
    ASSERT_TRUE(dib.MakeImageInverse());
    EXPECT_EQ(testing::get(dib, 0, 0), (Pixel{0, 0, 0, 255}));
    EXPECT_EQ(testing::get(dib, 1, 0), (Pixel{90, 80, 70, 100}));
    EXPECT_EQ(testing::get(dib, 2, 0), (Pixel{0, 0, 0, 0}));

    c32bppDIB rnd;
    rnd.InitializeDIB(17, 9);
    testing::fillRandom(rnd, 4);
    const auto before = bytesOf(rnd);
    rnd.MakeImageInverse();
    EXPECT_NE(bytesOf(rnd), before);
    rnd.MakeImageInverse();
    EXPECT_EQ(bytesOf(rnd), before);
}

TEST(EffectsTransparent, ClearsOnlyOpaqueKeyPixels) {
    c32bppDIB dib;
    EXPECT_FALSE(dib.MakeTransparent(0x00FF00FF, false));
    dib.InitializeDIB(3, 1);
    testing::put(dib, 0, 0, {255, 0, 255, 255});  // opaque magenta
    testing::put(dib, 1, 0, {254, 0, 254, 254});  // magenta-ish at alpha 254
    testing::put(dib, 2, 0, {255, 0, 254, 255});
    SurfaceInternals::setAlpha(dib, false);
    SurfaceInternals::setImageType(dib, imgBitmap);
    ASSERT_TRUE(dib.MakeTransparent(0x00FF00FF, false));
    EXPECT_EQ(testing::get(dib, 0, 0), (Pixel{0, 0, 0, 0}));
    EXPECT_EQ(testing::get(dib, 1, 0), (Pixel{254, 0, 254, 254}));
    EXPECT_EQ(testing::get(dib, 2, 0), (Pixel{255, 0, 254, 255}));
    EXPECT_TRUE(dib.Alpha());
    EXPECT_EQ(dib.ImageType(), imgBmpPARGB);
}

TEST(EffectsTransparent, KeyColourIsRedInTheLowByte) {
    c32bppDIB dib;
    dib.InitializeDIB(2, 1);
    testing::put(dib, 0, 0, {3, 2, 1, 255});  // B 3, G 2, R 1
    testing::put(dib, 1, 0, {1, 2, 3, 255});
    ASSERT_TRUE(dib.MakeTransparent(0x00030201, false));  // red 1, green 2, blue 3
    EXPECT_EQ(testing::get(dib, 0, 0)[3], 0);
    EXPECT_EQ(testing::get(dib, 1, 0)[3], 255);
}

TEST(EffectsTransparent, NoMatchChangesNeitherFlagNorType) {
    c32bppDIB dib;
    dib.InitializeDIB(2, 2);
    testing::fill(dib, {1, 2, 3, 255});
    SurfaceInternals::setAlpha(dib, false);
    SurfaceInternals::setImageType(dib, imgBitmap);
    ASSERT_TRUE(dib.MakeTransparent(0x00FF00FF, false));
    EXPECT_FALSE(dib.Alpha());
    EXPECT_EQ(dib.ImageType(), imgBitmap);
}

TEST(EffectsTransparent, RevertFillsEveryTransparentPixelAndDecidesAlphaAgain) {
    c32bppDIB dib;
    dib.InitializeDIB(3, 1);  // pixel 2 was transparent from the start
    testing::put(dib, 0, 0, {255, 0, 255, 255});
    testing::put(dib, 1, 0, {9, 9, 9, 255});
    SurfaceInternals::setImageType(dib, imgBitmap);
    ASSERT_TRUE(dib.MakeTransparent(0x00FF00FF, false));
    ASSERT_EQ(dib.ImageType(), imgBmpPARGB);
    ASSERT_TRUE(dib.MakeTransparent(0x00FF00FF, true));
    EXPECT_EQ(testing::get(dib, 0, 0), (Pixel{255, 0, 255, 255}));
    EXPECT_EQ(testing::get(dib, 2, 0), (Pixel{255, 0, 255, 255}));
    EXPECT_FALSE(dib.Alpha());
    EXPECT_EQ(dib.ImageType(), imgBitmap);

    // With translucent pixels left, the flag stays true and the type is kept.
    testing::put(dib, 1, 0, {5, 5, 5, 100});
    testing::put(dib, 2, 0, {0, 0, 0, 0});
    SurfaceInternals::setImageType(dib, imgBmpPARGB);
    ASSERT_TRUE(dib.MakeTransparent(0x00FF00FF, true));
    EXPECT_TRUE(dib.Alpha());
    EXPECT_EQ(dib.ImageType(), imgBmpPARGB);
    EXPECT_EQ(testing::get(dib, 1, 0), (Pixel{5, 5, 5, 100}));
}

TEST(EffectsMirror, BothAxesTurnHalfAndOneAxisTwiceRestores) {
    c32bppDIB dib;
    EXPECT_FALSE(dib.MirrorImage(true, true));
    dib.InitializeDIB(5, 3);
    testing::fillRandom(dib, 8);
    const auto before = bytesOf(dib);
    EXPECT_FALSE(dib.MirrorImage(false, false));
    ASSERT_TRUE(dib.MirrorImage(true, true));
    // A half turn reverses the buffer pixel by pixel.
    for (int i = 0; i < 15; ++i)
        for (int c = 0; c < 4; ++c)
            ASSERT_EQ(dib.BitsPointer()[i * 4 + c], before[(14 - i) * 4 + c]);
    ASSERT_TRUE(dib.MirrorImage(true, true));
    EXPECT_EQ(bytesOf(dib), before);
    ASSERT_TRUE(dib.MirrorImage(true, false));
    EXPECT_EQ(testing::get(dib, 0, 1),
              (Pixel{before[(1 * 5 + 4) * 4], before[(1 * 5 + 4) * 4 + 1],
                     before[(1 * 5 + 4) * 4 + 2], before[(1 * 5 + 4) * 4 + 3]}));
    ASSERT_TRUE(dib.MirrorImage(true, false));
    EXPECT_EQ(bytesOf(dib), before);
}

}  // namespace
}  // namespace talvrin
