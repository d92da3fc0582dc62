// cBMPparser: the own 32-bit path with its alpha verdicts and row order, the hand-over to the
// picture loader and when it must not happen, the handle and picture routes of
// ConvertstdPicTo32bpp, and the HIMETRIC conversion.
#include "image/codecs/bmp_parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <vector>

#include "image/surface/c32bpp_dib.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/icon.h"
#include "platform/gdi/screen.h"
#include "platform/picture/picture.h"
#include "platform/picture/picture_loader.h"
#include "support/bmp_test_builder.h"

namespace talvrin {
namespace {

using test::BmpSpec;
using test::buildBmp;
using test::Bytes;
using Px = std::array<std::uint8_t, 4>;  // B, G, R, A

Px pixel(const c32bppDIB& dib, int x, int y) {
    const std::uint8_t* p = dib.BitsPointer() +
                            static_cast<std::size_t>(dib.Height() - 1 - y) * dib.scanWidth() +
                            x * 4;
    return {p[0], p[1], p[2], p[3]};
}

// The default loader, counting the calls made to it.
class CountingLoader : public platform::PictureLoader {
  public:
    explicit CountingLoader(int* calls) : calls_(calls) {}
    Decoded<std::unique_ptr<platform::Picture>> load(
        std::span<const std::uint8_t> bytes) noexcept override {
        ++*calls_;
        return real_.load(bytes);
    }

  private:
    int* calls_;
    platform::DefaultPictureLoader real_;
};

class BmpParserTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = platform::setPictureLoader(std::make_unique<CountingLoader>(&loaderCalls_));
    }
    void TearDown() override { platform::setPictureLoader(std::move(saved_)); }

    bool load(const Bytes& file, std::int32_t offset = 0, std::int32_t length = -1) {
        cBMPparser parser;
        return parser.LoadStream(
            file, dib_, offset,
            length < 0 ? static_cast<std::int32_t>(file.size()) - offset : length);
    }

    int loaderCalls_ = 0;
    c32bppDIB dib_;

  private:
    std::unique_ptr<platform::PictureLoader> saved_;
};

// A 32-bit uncompressed file of width x rows pixels from B, G, R, A quadruples in stored order.
Bytes bmp32(std::int32_t width, std::int32_t height, const std::vector<Px>& stored,
            std::uint32_t compression = 0) {
    BmpSpec s;
    s.width = width;
    s.height = height;
    s.bitsPerPixel = 32;
    s.compression = compression;
    if (compression == 3) {
        s.masksAfterHeader = true;
        s.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
    }
    for (const Px& p : stored)
        s.pixels.insert(s.pixels.end(), p.begin(), p.end());
    return buildBmp(s);
}

// ---- The own 32-bit path ----------------------------------------------------------------------

TEST_F(BmpParserTest, AllZeroFourthBytesLoadOpaque) {
    ASSERT_TRUE(load(bmp32(2, 1, {{10, 20, 30, 0}, {40, 50, 60, 0}})));
    EXPECT_EQ(pixel(dib_, 0, 0), (Px{10, 20, 30, 255}));
    EXPECT_EQ(pixel(dib_, 1, 0), (Px{40, 50, 60, 255}));
    EXPECT_FALSE(dib_.Alpha());
    EXPECT_EQ(dib_.ImageType(), imgBitmap);
    EXPECT_EQ(loaderCalls_, 0);
}

TEST_F(BmpParserTest, StraightAlphaIsPremultiplied) {
    ASSERT_TRUE(load(bmp32(2, 1, {{200, 50, 50, 128}, {10, 10, 10, 255}})));
    EXPECT_EQ(pixel(dib_, 0, 0), (Px{100, 25, 25, 128}));
    EXPECT_EQ(pixel(dib_, 1, 0), (Px{10, 10, 10, 255}));
    EXPECT_TRUE(dib_.Alpha());
    EXPECT_EQ(dib_.ImageType(), imgBmpARGB);
}

TEST_F(BmpParserTest, PremultipliedAlphaIsKept) {
    ASSERT_TRUE(load(bmp32(2, 1, {{100, 25, 25, 128}, {0, 0, 0, 0}})));
    EXPECT_EQ(pixel(dib_, 0, 0), (Px{100, 25, 25, 128}));
    EXPECT_EQ(pixel(dib_, 1, 0), (Px{0, 0, 0, 0}));
    EXPECT_TRUE(dib_.Alpha());
    EXPECT_EQ(dib_.ImageType(), imgBmpPARGB);
}

TEST_F(BmpParserTest, RowOrderBottomUpAndTopDown) {
    const std::vector<Px> stored = {{1, 1, 1, 255}, {2, 2, 2, 255}};
    ASSERT_TRUE(load(bmp32(1, 2, stored)));
    EXPECT_EQ(pixel(dib_, 0, 1), stored[0]);  // bottom-up: first stored row at the bottom
    ASSERT_TRUE(load(bmp32(1, -2, stored)));
    EXPECT_EQ(pixel(dib_, 0, 0), stored[0]);  // top-down: first stored row at the top
    EXPECT_EQ(pixel(dib_, 0, 1), stored[1]);
    EXPECT_EQ(loaderCalls_, 0);
}

TEST_F(BmpParserTest, StreamOffsetAndLengthSelectTheFile) {
    Bytes outer(7, 0xEE);
    const Bytes file = bmp32(1, 1, {{5, 6, 7, 255}});
    outer.insert(outer.end(), file.begin(), file.end());
    outer.resize(outer.size() + 5, 0xEE);
    ASSERT_TRUE(load(outer, 7, static_cast<std::int32_t>(file.size())));
    EXPECT_EQ(pixel(dib_, 0, 0), (Px{5, 6, 7, 255}));
    // A range leaving the array is refused before anything else.
    EXPECT_FALSE(load(outer, 7, static_cast<std::int32_t>(outer.size())));
    EXPECT_FALSE(load(outer, -1, 4));
    EXPECT_EQ(loaderCalls_, 0);
}

// ---- Hand-over to the picture loader ---------------------------------------------------------

TEST_F(BmpParserTest, BitFieldFileGoesToTheLoaderAndLoadsOpaque) {
    ASSERT_TRUE(load(bmp32(1, 1, {{200, 50, 50, 128}}, 3)));
    EXPECT_EQ(loaderCalls_, 1);
    EXPECT_EQ(pixel(dib_, 0, 0), (Px{200, 50, 50, 255}));
    EXPECT_FALSE(dib_.Alpha());
    EXPECT_EQ(dib_.ImageType(), imgBitmap);
}

TEST_F(BmpParserTest, OtherDepthsAndDataBeyondTheLengthGoToTheLoader) {
    BmpSpec s;
    s.width = 2;
    s.pixels = {1, 2, 3, 4, 5, 6, 0, 0};
    ASSERT_TRUE(load(buildBmp(s)));
    EXPECT_EQ(loaderCalls_, 1);
    EXPECT_EQ(pixel(dib_, 1, 0), (Px{4, 5, 6, 255}));

    // Pixel data that runs past streamLength: the loader sees the same short bytes.
    dib_.DestroyDIB();
    const Bytes file = bmp32(2, 1, {{1, 1, 1, 0}, {2, 2, 2, 0}});
    EXPECT_FALSE(load(file, 0, static_cast<std::int32_t>(file.size()) - 1));
    EXPECT_EQ(loaderCalls_, 2);
    EXPECT_EQ(dib_.Handle(), nullptr);

    // Bytes that are no bitmap at all go there too, and fail cleanly.
    EXPECT_FALSE(load(Bytes{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}));
    EXPECT_EQ(loaderCalls_, 3);
}

TEST_F(BmpParserTest, BadSizesAreRefusedWithoutTheLoader) {
    auto withSize = [](std::int32_t w, std::int32_t h) {
        return bmp32(w, h, std::vector<Px>(4, Px{1, 2, 3, 4}));
    };
    EXPECT_FALSE(load(withSize(0, 1)));
    EXPECT_FALSE(load(withSize(-1, 1)));
    EXPECT_FALSE(load(withSize(1, 0)));
    EXPECT_FALSE(load(withSize(1, INT_MIN)));
    // "BM" too short to hold the compression field.
    const Bytes good = withSize(1, 1);
    EXPECT_FALSE(load(Bytes(good.begin(), good.begin() + 33)));
    EXPECT_EQ(loaderCalls_, 0);
    EXPECT_EQ(dib_.Handle(), nullptr);
}

TEST_F(BmpParserTest, LoaderIsNotAskedWhileTheSurfaceHoldsAnImage) {
    ASSERT_TRUE(dib_.InitializeDIB(3, 3));
    EXPECT_FALSE(load(bmp32(1, 1, {{1, 1, 1, 0}}, 3)));
    EXPECT_EQ(loaderCalls_, 0);
    EXPECT_EQ(dib_.Width(), 3);
}

// ---- ConvertstdPicTo32bpp ---------------------------------------------------------------------

void fill(platform::Bitmap& b, std::initializer_list<std::uint8_t> bgra) {
    const int bpp = b.bitsPerPixel() / 8;
    for (std::int32_t y = 0; y < b.height(); ++y)
        for (std::int32_t x = 0; x < b.width(); ++x)
            std::copy_n(bgra.begin(), bpp, b.rowFromTop(y) + x * bpp);
}

TEST(BmpConvert, ThirtyTwoBitHandleKeepsItsClassifiedAlpha) {
    auto bitmap = platform::Bitmap::create(2, 2, 32);
    fill(*bitmap, {200, 100, 50, 128});
    c32bppDIB dib;
    ASSERT_TRUE(cBMPparser().ConvertstdPicTo32bpp(nullptr, bitmap.get(), dib, 0));
    EXPECT_EQ(pixel(dib, 1, 1), (Px{100, 50, 25, 128}));
    EXPECT_TRUE(dib.Alpha());
    EXPECT_EQ(dib.ImageType(), imgBmpARGB);
}

TEST(BmpConvert, TwentyFourBitHandleBecomesOpaque) {
    auto bitmap = platform::Bitmap::create(3, 2, 24);
    fill(*bitmap, {9, 8, 7});
    c32bppDIB dib;
    ASSERT_TRUE(cBMPparser().ConvertstdPicTo32bpp(nullptr, bitmap.get(), dib, 24));
    EXPECT_EQ(dib.Width(), 3);
    EXPECT_EQ(pixel(dib, 2, 1), (Px{9, 8, 7, 255}));
    EXPECT_FALSE(dib.Alpha());
    EXPECT_EQ(dib.ImageType(), imgBitmap);
}

TEST(BmpConvert, BitmapPictureIsDrawnUprightAndOpaque) {
    auto bitmap = platform::Bitmap::create(1, 2, 32);
    std::copy_n(std::begin({1, 2, 3, 0}), 4, bitmap->rowFromTop(0));
    std::copy_n(std::begin({4, 5, 6, 0}), 4, bitmap->rowFromTop(1));
    auto picture = platform::Picture::borrowBitmap(*bitmap);
    c32bppDIB dib;
    ASSERT_TRUE(cBMPparser().ConvertstdPicTo32bpp(picture.get(), nullptr, dib, 0));
    ASSERT_EQ(dib.Height(), 2);
    EXPECT_EQ(pixel(dib, 0, 0), (Px{1, 2, 3, 255}));
    EXPECT_EQ(pixel(dib, 0, 1), (Px{4, 5, 6, 255}));
    EXPECT_FALSE(dib.Alpha());
    EXPECT_EQ(dib.ImageType(), platform::kPictureBitmap);
}

// A loader that hands out a copy of one bitmap as the picture of any bytes, owned by the
// picture (as the real loader's pictures are).
class OneBitmapLoader : public platform::PictureLoader {
  public:
    explicit OneBitmapLoader(const platform::Bitmap& b) : source_(b) {}
    Decoded<std::unique_ptr<platform::Picture>> load(
        std::span<const std::uint8_t>) noexcept override {
        auto copy =
            platform::Bitmap::create(source_.width(), source_.height(), source_.bitsPerPixel());
        std::copy_n(source_.bits(), source_.byteCount(), copy->bits());
        return {platform::Picture::fromBitmap(std::move(copy)), {}};
    }

  private:
    const platform::Bitmap& source_;
};

// The loader's 32-bit bitmap becomes the surface without being drawn when the draw would copy
// it: the same pixels (made opaque), Alpha false and type 1 as the drawn route, for sizes from a
// pixel up to a large picture; 24-bit pictures are still drawn.
TEST(BmpConvert, ALoadedBitmapTakenAsTheSurfaceMatchesTheDrawnOne) {
    for (const auto& [w, h, bits] : std::vector<std::array<int, 3>>{
             {1, 1, 32}, {3, 7, 32}, {37, 5, 32}, {640, 480, 32}, {1023, 3, 32}, {9, 4, 24}}) {
        auto source = platform::Bitmap::create(w, h, bits);
        for (std::size_t i = 0; i < source->byteCount(); ++i)
            source->bits()[i] = static_cast<std::uint8_t>(i * 7 + i / 5);
        auto drawnPicture = platform::Picture::borrowBitmap(*source);
        c32bppDIB drawn;
        ASSERT_TRUE(cBMPparser().ConvertstdPicTo32bpp(drawnPicture.get(), nullptr, drawn, 0));

        auto saved = platform::setPictureLoader(std::make_unique<OneBitmapLoader>(*source));
        const Bytes notABitmap(64, 0x11);
        c32bppDIB taken;
        const bool loaded = cBMPparser().LoadStream(notABitmap, taken, 0, 64);
        platform::setPictureLoader(std::move(saved));
        ASSERT_TRUE(loaded) << w << "x" << h;
        ASSERT_EQ(taken.Width(), drawn.Width());
        ASSERT_EQ(taken.Height(), drawn.Height());
        EXPECT_TRUE(std::equal(drawn.BitsPointer(),
                               drawn.BitsPointer() + drawn.scanWidth() * drawn.Height(),
                               taken.BitsPointer()))
            << w << "x" << h << " at " << bits << " bits";
        EXPECT_FALSE(taken.Alpha());
        EXPECT_EQ(taken.ImageType(), platform::kPictureBitmap);
    }
}

TEST(BmpConvert, IconPictureTakesTheIconType) {
    auto color = platform::Bitmap::create(2, 2, 32);
    fill(*color, {0, 0, 255, 0});
    auto mask = platform::MaskBitmap::create(2, 2);
    auto icon = platform::Icon::create(true, std::move(color), std::move(mask));
    ASSERT_NE(icon, nullptr);
    auto picture = platform::Picture::borrowIcon(*icon);
    c32bppDIB dib;
    ASSERT_TRUE(cBMPparser().ConvertstdPicTo32bpp(picture.get(), nullptr, dib, 0));
    EXPECT_EQ(dib.ImageType(), imgIcon);
    EXPECT_EQ(pixel(dib, 0, 0), (Px{0, 0, 255, 255}));
}

TEST(BmpConvert, MissingOrDoubleSourcesAndFailedSurfacesAnswerFalse) {
    auto bitmap = platform::Bitmap::create(1, 1, 32);
    auto picture = platform::Picture::borrowBitmap(*bitmap);
    c32bppDIB dib;
    cBMPparser parser;
    EXPECT_FALSE(parser.ConvertstdPicTo32bpp(nullptr, nullptr, dib, 0));
    EXPECT_FALSE(parser.ConvertstdPicTo32bpp(picture.get(), bitmap.get(), dib, 0));
    EXPECT_EQ(dib.Handle(), nullptr);

    // A picture whose HIMETRIC width comes to 0 pixels: InitializeDIB fails, and so does the
    // conversion.
    ASSERT_TRUE(platform::setTwipsPerPixel(1440, 1440));
    EXPECT_EQ(cBMPparser::ConvertHimetricToPixels(picture->Width(), true), 0);
    EXPECT_FALSE(parser.ConvertstdPicTo32bpp(picture.get(), nullptr, dib, 0));
    EXPECT_EQ(dib.Handle(), nullptr);
    platform::setTwipsPerPixel(platform::kDefaultTwipsPerPixel, platform::kDefaultTwipsPerPixel);
}

// ---- HIMETRIC ---------------------------------------------------------------------------------

TEST(BmpHimetric, ConvertsThroughTheScreensTwipsPerPixelWithHalvesToEven) {
    EXPECT_EQ(cBMPparser::ConvertHimetricToPixels(2540, true), 96);
    EXPECT_EQ(cBMPparser::ConvertHimetricToPixels(2540, false), 96);
    EXPECT_EQ(cBMPparser::ConvertHimetricToPixels(-2540, true), -96);
    EXPECT_EQ(cBMPparser::ConvertHimetricToPixels(26, true), 1);  // 0.98
    EXPECT_EQ(cBMPparser::ConvertHimetricToPixels(13, true), 0);  // 0.49

    // 16 twips a pixel: 127 -> 4.5 -> 4 and 381 -> 13.5 -> 14; y uses its own value.
    ASSERT_TRUE(platform::setTwipsPerPixel(16, 30));
    EXPECT_EQ(cBMPparser::ConvertHimetricToPixels(127, true), 4);
    EXPECT_EQ(cBMPparser::ConvertHimetricToPixels(381, true), 14);
    EXPECT_EQ(cBMPparser::ConvertHimetricToPixels(2540, false), 48);
    platform::setTwipsPerPixel(platform::kDefaultTwipsPerPixel, platform::kDefaultTwipsPerPixel);
}

}  // namespace
}  // namespace talvrin
