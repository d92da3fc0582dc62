// A graphical button's picture on a device context: the transparent colour left out over the
// whole picture, drawn upright, and embossed when the button is disabled.
#include "ui/theme/button_pictures.h"

#include <gtest/gtest.h>

#include "platform/gdi/gdi.h"
#include "platform/gdi/icon.h"
#include "platform/gdi/screen.h"
#include "support/drawing_test_support.h"

namespace talvrin::mdXpThemeSupport {
namespace {

using platform::Bitmap;
using platform::Picture;
using platform::testing::pixel32;
using platform::testing::setPixel32;
using platform::testing::Target;

constexpr ColorRef kMagenta = 0xFF00FF;
constexpr std::uint32_t kGreen = 0x0000FF00, kBlue = 0x000000FF, kRed = 0x00FF0000;

std::uint32_t colorAt(const Target& t, int x, int y) {
    return pixel32(*t.bitmap, x, y) & 0xFFFFFF;
}

void fill(Target& t, std::uint32_t pixel) {
    for (int y = 0; y < t.bitmap->height(); ++y)
        for (int x = 0; x < t.bitmap->width(); ++x)
            setPixel32(*t.bitmap, x, y, pixel);
}

// 16 wide and 32 high; a 4 x 4 blue block at (6, 14) is the only visible part.
bool inBlock(int x, int y) {
    return x >= 6 && x < 10 && y >= 14 && y < 18;
}

std::unique_ptr<Picture> tallIcon() {
    auto color = Bitmap::create(16, 32, 32);
    auto mask = platform::MaskBitmap::create(16, 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 16; ++x) {
            mask->setBit(x, y, !inBlock(x, y));  // a set bit is transparent
            if (inBlock(x, y)) setPixel32(*color, x, y, kBlue);
        }
    return Picture::fromIcon(platform::Icon::create(true, std::move(color), std::move(mask)));
}

// The same picture as a bitmap: the transparent colour everywhere but the block.
std::unique_ptr<Picture> tallBitmap() {
    auto bitmap = Bitmap::create(16, 32, 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 16; ++x)
            setPixel32(*bitmap, x, y, inBlock(x, y) ? kBlue : 0x00FF00FF);
    return Picture::fromBitmap(std::move(bitmap));
}

TEST(ButtonPictures, TransparentColourIsLeftOutOverTheWholePicture) {
    for (const bool icon : {true, false}) {
        const auto picture = icon ? tallIcon() : tallBitmap();
        ASSERT_TRUE(picture);
        Target target(30, 40);
        fill(target, kGreen);
        pvDrawTransparentPicture(picture.get(), *target.dc, 5, 4, 16, 32, kMagenta);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 30; ++x)
                ASSERT_EQ(colorAt(target, x, y), inBlock(x - 5, y - 4) ? kBlue : kGreen)
                    << (icon ? "icon" : "bitmap") << " at " << x << "," << y;
    }
}

TEST(ButtonPictures, ButtonPictureIsUprightMaskedOrEmbossed) {
    // 4 x 4: red top row, magenta (the mask colour) elsewhere, one black pixel at (1, 2).
    auto bitmap = Bitmap::create(4, 4, 32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            setPixel32(*bitmap, x, y, y == 0 ? kRed : 0x00FF00FF);
    setPixel32(*bitmap, 1, 2, 0);
    const auto picture = Picture::fromBitmap(std::move(bitmap));
    const Rect area{0, 0, 10, 10};  // the 4 x 4 picture centred at (3, 3)
    const std::uint32_t shadow =
        pixelFromColor(platform::systemColor(platform::kColorBtnShadow), 0) & 0xFFFFFF;

    Target plain(10, 10), masked(10, 10), embossed(10, 10);
    for (Target* t : {&plain, &masked, &embossed})
        fill(*t, kGreen);
    drawButtonPicture(*picture, *plain.dc, area, true, false, kMagenta);
    drawButtonPicture(*picture, *masked.dc, area, true, true, kMagenta);
    drawButtonPicture(*picture, *embossed.dc, area, false, false, kMagenta);

    EXPECT_EQ(colorAt(plain, 3, 3), kRed);  // upright: the top row on top
    EXPECT_EQ(colorAt(plain, 3, 6), 0xFF00FFu);
    EXPECT_EQ(colorAt(plain, 4, 5), 0u);
    EXPECT_EQ(colorAt(masked, 3, 3), kRed);
    EXPECT_EQ(colorAt(masked, 3, 6), kGreen);  // the mask colour is left out
    EXPECT_EQ(colorAt(masked, 4, 5), 0u);
    // Embossed (DrawStateBitmap's rule): the ink in the shadow colour, the mask colour no ink.
    EXPECT_EQ(colorAt(embossed, 4, 5), shadow);
    EXPECT_EQ(colorAt(embossed, 3, 3), shadow);
    EXPECT_EQ(colorAt(embossed, 3, 6), kGreen);
}

}  // namespace
}  // namespace talvrin::mdXpThemeSupport
