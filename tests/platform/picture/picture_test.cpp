#include "platform/picture/picture.h"

#include <gtest/gtest.h>

#include "platform/gdi/icon.h"
#include "platform/gdi/screen.h"
#include "support/drawing_test_support.h"

namespace talvrin::platform {
namespace {

using testing::pixel32;
using testing::setPixel32;

// A memory context with its own 32-bit bitmap selected, every pixel set to fill.
struct Target {
    Target(int w, int h, std::uint32_t fill) {
        bitmap = Bitmap::create(w, h, 32);
        dc = DeviceContext::createCompatible();
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                setPixel32(*bitmap, x, y, fill);
        previous = dc->select(bitmap.get());
    }
    ~Target() { dc->select(previous); }
    std::uint32_t at(int x, int y) const { return pixel32(*bitmap, x, y); }
    std::unique_ptr<Bitmap> bitmap;
    std::unique_ptr<DeviceContext> dc;
    Bitmap* previous = nullptr;
};

// A 3 x 2 bitmap whose pixel at (x, y) is 0xFF000000 | (y * 16 + x).
std::unique_ptr<Bitmap> numbered() {
    auto b = Bitmap::create(3, 2, 32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            setPixel32(*b, x, y, 0xFF000000u | (y * 16 + x));
    return b;
}

std::uint32_t number(int x, int y) {
    return 0xFF000000u | static_cast<std::uint32_t>(y * 16 + x);
}

// ---- Sizes --------------------------------------------------------------------------------

TEST(PictureUnits, PixelsAndHundredthsOfAMillimetreAtTheDefaultResolution) {
    EXPECT_EQ(pixelsToHimetricX(96), 2540);
    EXPECT_EQ(pixelsToHimetricY(32), 847);  // 846.67 rounds up
    EXPECT_EQ(pixelsToHimetricX(1), 26);    // 26.46 rounds down
    EXPECT_EQ(himetricToPixelsX(2540), 96);
    EXPECT_EQ(himetricToPixelsY(847), 32);
    EXPECT_EQ(himetricToPixelsX(13), 0);  // 0.49
    EXPECT_EQ(himetricToPixelsX(14), 1);  // 0.53
    EXPECT_EQ(himetricToPixelsX(-14), -1);
    for (int px = 0; px < 2000; ++px)
        ASSERT_EQ(himetricToPixelsX(pixelsToHimetricX(px)), px);
}

TEST(PictureUnits, HalvesRoundToEven) {
    // 144 twips a pixel: 10 pixels an inch, 254 hundredths of a millimetre a pixel.
    ASSERT_TRUE(setTwipsPerPixel(144, 144));
    EXPECT_EQ(himetricToPixelsX(127), 0);    // 0.5 -> 0
    EXPECT_EQ(himetricToPixelsX(381), 2);    // 1.5 -> 2
    EXPECT_EQ(himetricToPixelsY(635), 2);    // 2.5 -> 2
    EXPECT_EQ(himetricToPixelsY(-381), -2);  // -1.5 -> -2
    ASSERT_TRUE(setTwipsPerPixel(kDefaultTwipsPerPixel, kDefaultTwipsPerPixel));
}

TEST(PictureObjects, BitmapPictureReportsTypeAndSizes) {
    auto p = Picture::fromBitmap(Bitmap::create(32, 96, 32));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->type(), kPictureBitmap);
    EXPECT_EQ(p->pixelWidth(), 32);
    EXPECT_EQ(p->Width(), 847);
    EXPECT_EQ(p->Height(), 2540);
    EXPECT_TRUE(p->ownsHandle());
    EXPECT_EQ(Picture::fromBitmap(nullptr), nullptr);
}

TEST(PictureObjects, BorrowedHandleIsNotOwnedUntilAdopted) {
    auto bitmap = Bitmap::create(2, 2, 32);
    auto other = Bitmap::create(2, 2, 32);
    auto p = Picture::borrowBitmap(*bitmap);
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(p->ownsHandle());
    EXPECT_EQ(p->releaseBitmap(), nullptr);
    EXPECT_FALSE(p->adopt(other));  // not the bitmap it shows
    EXPECT_NE(other, nullptr);
    EXPECT_TRUE(p->adopt(bitmap));
    EXPECT_EQ(bitmap, nullptr);
    EXPECT_TRUE(p->ownsHandle());
}

// ---- Rendering ----------------------------------------------------------------------------

TEST(PictureRender, NegativeSourceHeightDrawsUpright) {
    auto p = Picture::fromBitmap(numbered());
    Target t(3, 2, 0);
    ASSERT_TRUE(p->render(*t.dc, 0, 0, 3, 2, 0, p->Height(), p->Width(), -p->Height()));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(t.at(x, y), number(x, y)) << x << "," << y;
}

TEST(PictureRender, PositiveSourceHeightFlipsAndNegativeDestinationFlipsBack) {
    auto p = Picture::fromBitmap(numbered());
    Target flipped(3, 2, 0);
    ASSERT_TRUE(p->render(*flipped.dc, 0, 0, 3, 2, 0, 0, p->Width(), p->Height()));
    Target upright(3, 2, 0);
    ASSERT_TRUE(p->render(*upright.dc, 0, 2, 3, -2, 0, 0, p->Width(), p->Height()));
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(flipped.at(x, 0), number(x, 1));
        EXPECT_EQ(flipped.at(x, 1), number(x, 0));
        EXPECT_EQ(upright.at(x, 0), number(x, 0));
        EXPECT_EQ(upright.at(x, 1), number(x, 1));
    }
}

TEST(PictureRender, StretchesByNearestPixelAndHonoursTheClipBox) {
    auto p = Picture::fromBitmap(numbered());
    Target t(8, 5, 0x12345678u);
    t.dc->setClipRect(Rect{0, 0, 5, 4});
    ASSERT_TRUE(p->render(*t.dc, 0, 0, 6, 4, 0, p->Height(), p->Width(), -p->Height()));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(t.at(x, y), number(x / 2, y / 2)) << x << "," << y;
    EXPECT_EQ(t.at(5, 0), 0x12345678u);  // clipped
    EXPECT_EQ(t.at(0, 4), 0x12345678u);  // below the destination
}

TEST(PictureRender, PartlyOutsideDestinationAndBadSizes) {
    auto p = Picture::fromBitmap(numbered());
    Target t(3, 2, 0);
    ASSERT_TRUE(p->render(*t.dc, -2, -1, 3, 2, 0, p->Height(), p->Width(), -p->Height()));
    EXPECT_EQ(t.at(0, 0), number(2, 1));
    EXPECT_EQ(t.at(1, 0), 0u);
    EXPECT_FALSE(p->render(*t.dc, 0, 0, 0, 2, 0, 0, p->Width(), p->Height()));
    EXPECT_FALSE(p->render(*t.dc, 0, 0, 3, 2, 0, 0, 0, p->Height()));
    EXPECT_TRUE(p->render(*t.dc, 1000000, 0, 3, 2, 0, 0, p->Width(), p->Height()));
    EXPECT_TRUE(p->render(*t.dc, 0x7FFFFFF0, 0x7FFFFFF0, 0x7FFFFFFF, 0x7FFFFFFF, 0, 0, 1, 1));
}

// ---- Icons --------------------------------------------------------------------------------

TEST(IconObjects, SizesMustFitTheMaskRules) {
    EXPECT_EQ(Icon::create(true, Bitmap::create(4, 4, 32), MaskBitmap::create(4, 3)), nullptr);
    EXPECT_EQ(Icon::create(true, nullptr, MaskBitmap::create(4, 3)), nullptr);  // odd height
    EXPECT_EQ(Icon::create(true, Bitmap::create(4, 4, 32), nullptr), nullptr);
    auto mono = Icon::create(false, nullptr, MaskBitmap::create(4, 8), Point{1, 2});
    ASSERT_NE(mono, nullptr);
    EXPECT_FALSE(mono->isIcon());
    EXPECT_EQ(mono->hotspot(), (Point{1, 2}));
    EXPECT_EQ(mono->colorBitmap(), nullptr);
    EXPECT_EQ(mono->width(), 4);
    EXPECT_EQ(mono->height(), 4);
}

TEST(IconObjects, MaskBitsAreMostSignificantFirstInBottomUpPaddedRows) {
    auto m = MaskBitmap::create(33, 2);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->stride(), 8);
    m->setBit(0, 0, true);          // top row, first pixel
    m->setBit(32, 1, true);         // bottom row, last pixel
    EXPECT_EQ(m->bits()[8], 0x80);  // the top row is the second in memory
    EXPECT_EQ(m->bits()[4], 0x80);
    EXPECT_TRUE(m->bit(0, 0));
    EXPECT_FALSE(m->bit(1, 0));
    EXPECT_FALSE(m->bit(33, 0));  // outside
    m->setBit(-1, 0, true);       // ignored
    m->setBit(0, 0, false);
    EXPECT_EQ(m->bits()[8], 0);
}

TEST(IconDrawing, MaskKeepsTheDestinationWhereSetAndColourWhereClear) {
    auto color = Bitmap::create(2, 1, 32);
    setPixel32(*color, 0, 0, 0x00102030u);
    setPixel32(*color, 1, 0, 0x00000000u);
    auto mask = MaskBitmap::create(2, 1);
    mask->setBit(1, 0, true);
    auto icon = Icon::create(true, std::move(color), std::move(mask));
    Target t(2, 1, 0xAA445566u);
    ASSERT_TRUE(DrawIcon(*t.dc, 0, 0, *icon));
    EXPECT_EQ(t.at(0, 0), 0xAA102030u);  // colour; the alpha byte stays
    EXPECT_EQ(t.at(1, 0), 0xAA445566u);  // transparent
}

TEST(IconDrawing, TwoColourIconUsesAndThenXorHalves) {
    auto mask = MaskBitmap::create(3, 2);  // one row AND, one row XOR
    mask->setBit(0, 0, true);              // AND 1, XOR 1: inverts
    mask->setBit(0, 1, true);
    mask->setBit(1, 1, true);  // AND 0, XOR 1: white
    auto icon = Icon::create(true, nullptr, std::move(mask));
    Target t(3, 1, 0xFF0000FFu);
    ASSERT_TRUE(DrawIcon(*t.dc, 0, 0, *icon));
    EXPECT_EQ(t.at(0, 0), 0xFFFFFF00u);
    EXPECT_EQ(t.at(1, 0), 0xFFFFFFFFu);
    EXPECT_EQ(t.at(2, 0), 0xFF000000u);  // AND 0, XOR 0: black
}

TEST(IconDrawing, AlphaIconBlendsByItsOwnAlpha) {
    auto color = Bitmap::create(3, 1, 32);
    setPixel32(*color, 0, 0, 0xFF204060u);
    setPixel32(*color, 1, 0, 0x00FFFFFFu);
    setPixel32(*color, 2, 0, 0x80FF0000u);  // straight red at half opacity
    auto mask = MaskBitmap::create(3, 1);
    mask->setBit(0, 0, true);  // ignored once the colour bitmap has alpha
    auto icon = Icon::create(true, std::move(color), std::move(mask));
    Target t(3, 1, 0xFF0000FFu);
    ASSERT_TRUE(DrawIcon(*t.dc, 0, 0, *icon));
    EXPECT_EQ(t.at(0, 0), 0xFF204060u);
    EXPECT_EQ(t.at(1, 0), 0xFF0000FFu);
    EXPECT_EQ(t.at(2, 0), 0xFF80007Fu);  // 255*128/255 = 128 red, 255*127/255 = 127 blue
}

TEST(IconDrawing, IconPictureRendersThroughTheMaskAndClips) {
    auto color = Bitmap::create(2, 2, 32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            setPixel32(*color, x, y, 0x00010101u * (1 + x + 2 * y));
    auto mask = MaskBitmap::create(2, 2);
    mask->setBit(1, 1, true);
    auto picture = Picture::fromIcon(Icon::create(true, std::move(color), std::move(mask)));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->type(), kPictureIcon);
    Target t(4, 4, 0x00FFFFFFu);
    ASSERT_TRUE(picture->render(*t.dc, 1, 1, 2, 2, 0, picture->Height(), picture->Width(),
                                -picture->Height()));
    EXPECT_EQ(t.at(1, 1), 0x00010101u);
    EXPECT_EQ(t.at(2, 1), 0x00020202u);
    EXPECT_EQ(t.at(1, 2), 0x00030303u);
    EXPECT_EQ(t.at(2, 2), 0x00FBFBFBu);  // masked: the destination XOR the colour 040404
    EXPECT_EQ(t.at(0, 0), 0x00FFFFFFu);
    EXPECT_TRUE(DrawIcon(*t.dc, -5, -5, *picture->icon()));  // wholly outside: nothing drawn
    EXPECT_EQ(t.at(0, 0), 0x00FFFFFFu);
}

// ---- The picture loader -------------------------------------------------------------------

class FixedLoader : public PictureLoader {
  public:
    Decoded<std::unique_ptr<Picture>> load(std::span<const std::uint8_t> bytes) noexcept override {
        if (bytes.size() != 2) return {nullptr, {DecodeFailure::kNotRecognised, {}}};
        return {Picture::fromBitmap(Bitmap::create(bytes[0], bytes[1], 32)), {}};
    }
};

TEST(PictureLoading, InstalledLoaderDecidesAndTheSetterGivesBackThePrevious) {
    auto saved = setPictureLoader(nullptr);
    const std::uint8_t bytes[] = {5, 7};
    EXPECT_EQ(loadPicture(bytes).image, nullptr);
    EXPECT_EQ(setPictureLoader(std::make_unique<FixedLoader>()), nullptr);
    ASSERT_NE(pictureLoader(), nullptr);
    auto p = loadPicture(bytes).image;
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->pixelWidth(), 5);
    EXPECT_EQ(p->pixelHeight(), 7);
    EXPECT_EQ(loadPicture(std::span<const std::uint8_t>()).image, nullptr);
    EXPECT_NE(setPictureLoader(std::move(saved)), nullptr);
}

}  // namespace
}  // namespace talvrin::platform
