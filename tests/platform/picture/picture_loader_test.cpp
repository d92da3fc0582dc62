// The picture loader: format recognition, dispatch to the decoders and the icon hook, the
// picture it makes, and JPEG decoding (baseline, progressive, greyscale, CMYK, damaged data) on
// files encoded by the test through the same library.
#include "platform/picture/picture_loader.h"

#include <gtest/gtest.h>
#if TALVRIN_HAVE_JPEG
#include <jpeglib.h>

#include "support/jpeg_test_builder.h"
#endif

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/picture/jpeg_decoder.h"
#include "support/bmp_test_builder.h"
#include "support/load_failure_printer.h"

namespace talvrin {
namespace {

using platform::PictureFormat;
using platform::sniffPictureFormat;
using test::Bytes;

PictureFormat sniff(const Bytes& b) {
    return sniffPictureFormat(ByteView(b.data(), b.size()));
}

// B, G, R, A at (x, y), row 0 at the top.
std::array<int, 4> px(const platform::Bitmap& b, int x, int y) {
    const std::uint8_t* p = b.rowFromTop(y) + 4 * x;
    return {p[0], p[1], p[2], p[3]};
}

// ---- Recognition and dispatch -----------------------------------------------------------------

TEST(PictureLoaderSniff, RecognisesEachFormatByItsFirstBytes) {
    EXPECT_EQ(sniff({'B', 'M', 0}), PictureFormat::kBmp);
    EXPECT_EQ(sniff({0xFF, 0xD8, 0xFF, 0xE0}), PictureFormat::kJpeg);
    EXPECT_EQ(sniff({0xFF, 0xD8, 0x00}), PictureFormat::kUnknown);
    EXPECT_EQ(sniff({'G', 'I', 'F', '8', '9', 'a'}), PictureFormat::kGif);
    EXPECT_EQ(sniff({'G', 'I', 'F', '8', '7', 'a'}), PictureFormat::kGif);
    EXPECT_EQ(sniff({'G', 'I', 'F', '8', '8', 'a'}), PictureFormat::kUnknown);
    EXPECT_EQ(sniff({0, 0, 1, 0, 1, 0}), PictureFormat::kIcon);
    EXPECT_EQ(sniff({0, 0, 2, 0, 1, 0}), PictureFormat::kIcon);
    EXPECT_EQ(sniff({0, 0, 3, 0, 1, 0}), PictureFormat::kUnknown);
    EXPECT_EQ(sniff({0xD7, 0xCD, 0xC6, 0x9A}), PictureFormat::kMetafile);
    EXPECT_EQ(sniff({1, 0, 9, 0, 0, 3}), PictureFormat::kMetafile);
    Bytes emf(44, 0);
    emf[0] = 1;
    emf[40] = ' ';
    emf[41] = 'E';
    emf[42] = 'M';
    emf[43] = 'F';
    EXPECT_EQ(sniff(emf), PictureFormat::kEnhMetafile);
    EXPECT_EQ(sniff({}), PictureFormat::kUnknown);
    EXPECT_EQ(sniff({'B'}), PictureFormat::kUnknown);
}

TEST(PictureLoaderDispatch, BitmapBecomesATypeOnePictureWithItsSize) {
    test::BmpSpec s;
    s.width = 96;
    s.height = -48;
    s.pixels.assign(96 * 3 * 48, 0x40);
    const Bytes file = test::buildBmp(s);
    platform::DefaultPictureLoader loader;
    auto picture = loader.load(file).image;
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->type(), platform::kPictureBitmap);
    EXPECT_EQ(picture->pixelWidth(), 96);
    EXPECT_EQ(picture->pixelHeight(), 48);
    EXPECT_EQ(picture->Width(), 2540);  // one inch at 96 dots per inch
    EXPECT_EQ(picture->Height(), 1270);
    ASSERT_NE(picture->bitmap(), nullptr);
    EXPECT_EQ(px(*picture->bitmap(), 95, 47), (std::array<int, 4>{0x40, 0x40, 0x40, 255}));
}

TEST(PictureLoaderDispatch, MetafilesAndUnknownBytesGiveNoPicture) {
    platform::DefaultPictureLoader loader;
    const Bytes wmf = {0xD7, 0xCD, 0xC6, 0x9A, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(loader.load(wmf).image, nullptr);
    EXPECT_EQ(loader.load(wmf).failure.reason, DecodeFailure::kUnsupported);
    const Bytes png = {0x89, 'P', 'N', 'G', 13, 10, 26, 10};
    EXPECT_EQ(loader.load(png).image, nullptr);
    EXPECT_EQ(loader.load(png).failure.reason, DecodeFailure::kNotRecognised);
    EXPECT_EQ(loader.load({}).image, nullptr);
}

std::size_t gIconCalls = 0;
Decoded<std::unique_ptr<platform::Picture>> fakeIconDecoder(ByteView bytes) noexcept {
    gIconCalls += bytes.size();
    auto color = platform::Bitmap::create(2, 3, 32);
    auto mask = platform::MaskBitmap::create(2, 3);
    return {platform::Picture::fromIcon(
                platform::Icon::create(true, std::move(color), std::move(mask))),
            {}};
}

TEST(PictureLoaderDispatch, IconBytesGoThroughTheInstalledIconDecoder) {
    const Bytes ico = {0, 0, 1, 0, 1, 0, 16, 16};
    platform::DefaultPictureLoader loader;
    const auto saved = platform::setIconPictureDecoder(nullptr);
    EXPECT_EQ(loader.load(ico).image, nullptr);
    EXPECT_EQ(loader.load(ico).failure.reason, DecodeFailure::kUnsupported);

    gIconCalls = 0;
    platform::setIconPictureDecoder(fakeIconDecoder);
    auto picture = loader.load(ico).image;
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->type(), platform::kPictureIcon);
    EXPECT_EQ(picture->pixelHeight(), 3);
    EXPECT_EQ(gIconCalls, ico.size());
    EXPECT_EQ(platform::setIconPictureDecoder(saved), fakeIconDecoder);
}

TEST(PictureLoaderDispatch, TheDefaultLoaderIsInstalledForTheProcess) {
    ASSERT_NE(platform::pictureLoader(), nullptr);
    test::BmpSpec s;
    s.pixels = {1, 2, 3, 0};
    const Bytes file = test::buildBmp(s);
    auto picture = platform::loadPicture(file).image;
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(px(*picture->bitmap(), 0, 0), (std::array<int, 4>{1, 2, 3, 255}));
}

// ---- JPEG -------------------------------------------------------------------------------------

#if TALVRIN_HAVE_JPEG

using test::encodeJpeg;
using test::JpegOptions;

std::unique_ptr<platform::Bitmap> decodeJpeg(const Bytes& b) {
    return platform::decodeJpeg(ByteView(b.data(), b.size())).image;
}

// Left half red, right half blue, on 16 x 8 pixels (two whole blocks each).
int halves(int x, int /*y*/, int k) {
    const int red[3] = {255, 0, 0};
    const int blue[3] = {0, 0, 255};
    return x < 8 ? red[k] : blue[k];
}

void expectNear(std::array<int, 4> got, std::array<int, 4> want, int tolerance) {
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(got[k], want[k], tolerance) << "channel " << k;
}

TEST(PictureLoaderJpeg, BaselineAndProgressiveDecodeToTheEncodedColours) {
    for (bool progressive : {false, true}) {
        const auto bmp = decodeJpeg(encodeJpeg(16, 8, {JCS_RGB, 3, progressive}, halves));
        ASSERT_NE(bmp, nullptr) << progressive;
        ASSERT_EQ(bmp->width(), 16);
        ASSERT_EQ(bmp->height(), 8);
        expectNear(px(*bmp, 2, 0), {0, 0, 255, 255}, 3);
        expectNear(px(*bmp, 13, 7), {255, 0, 0, 255}, 3);
    }
}

TEST(PictureLoaderJpeg, GreyscaleAndAdobeCmykBecomeRgb) {
    auto bmp = decodeJpeg(encodeJpeg(8, 16, {JCS_GRAYSCALE, 1, false},
                                     [](int, int y, int) { return y < 8 ? 40 : 200; }));
    ASSERT_NE(bmp, nullptr);
    expectNear(px(*bmp, 3, 2), {40, 40, 40, 255}, 2);
    expectNear(px(*bmp, 3, 12), {200, 200, 200, 255}, 2);
    // Stored (inverted) C, M, Y, K = 255, 0, 255, 255: no cyan or yellow ink, full magenta.
    bmp = decodeJpeg(
        encodeJpeg(8, 8, {JCS_CMYK, 4, false}, [](int, int, int k) { return k == 1 ? 0 : 255; }));
    ASSERT_NE(bmp, nullptr);
    expectNear(px(*bmp, 4, 4), {255, 0, 255, 255}, 3);
}

TEST(PictureLoaderJpeg, DamagedDataFailsCleanlyAndEarlyEndKeepsTheSize) {
    const Bytes good = encodeJpeg(16, 16, {JCS_RGB, 3, false}, halves);
    const auto failureOf = [](const Bytes& b) {
        const auto [bitmap, failure] = platform::decodeJpeg(ByteView(b.data(), b.size()));
        EXPECT_EQ(bitmap, nullptr);
        return failure;
    };
    // Only the start of the file: headers incomplete.
    EXPECT_EQ(failureOf(Bytes(good.begin(), good.begin() + 20)),
              (LoadFailure{DecodeFailure::kTruncated, "data ends before the image"}));
    // Garbage after the start-of-image marker.
    Bytes garbage = {0xFF, 0xD8, 0xFF};
    garbage.resize(300, 0x5A);
    EXPECT_EQ(failureOf(garbage),
              (LoadFailure{DecodeFailure::kBadHeader, "the library refused the headers"}));
    // Entropy-coded data cut short: the library warns and fills the rest; the size stands.
    const Bytes cut(good.begin(), good.end() - 40);
    const auto bmp = decodeJpeg(cut);
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(bmp->width(), 16);
    // Through the loader the same files make a picture or none, never anything else.
    platform::DefaultPictureLoader loader;
    EXPECT_EQ(loader.load(garbage).image, nullptr);
    EXPECT_NE(loader.load(good).image, nullptr);
    const auto limited = platform::DefaultPictureLoader(255).load(good);  // over the pixel limit
    EXPECT_EQ(limited.image, nullptr);
    EXPECT_EQ(limited.failure, (LoadFailure{DecodeFailure::kTooLarge, "beyond the pixel limit"}));
}

// A reduced decode is the library's scaled size (each side divided, rounded up) while the pixel
// limits stay the stored image's; the reduction for a drawing is the largest whose decode still
// covers the drawing on both axes.
TEST(PictureLoaderJpeg, ReducedDecodesAreTheScaledSizeWithTheStoredSizesLimits) {
    const Bytes file = encodeJpeg(1001, 757, {JCS_RGB, 3, false, 90}, halves);
    const ByteView view(file.data(), file.size());
    struct Case {
        std::int32_t reduction, width, height;
    };
    for (const Case c : {Case{1, 1001, 757}, Case{2, 501, 379}, Case{4, 251, 190}, Case{8, 126, 95},
                         Case{3, 1001, 757}}) {
        const auto bmp = platform::decodeJpeg(view, std::uint64_t{1} << 26, c.reduction).image;
        ASSERT_NE(bmp, nullptr) << c.reduction;
        EXPECT_EQ(bmp->width(), c.width) << c.reduction;
        EXPECT_EQ(bmp->height(), c.height) << c.reduction;
    }
    const auto limited = platform::decodeJpeg(view, 1001u * 757u - 1, 8);
    EXPECT_EQ(limited.failure, (LoadFailure{DecodeFailure::kTooLarge, "beyond the pixel limit"}));
    struct Rule {
        std::uint32_t storedW, storedH;
        std::int64_t w, h;
        std::int32_t reduction;
    };
    for (const Rule r :
         {Rule{1001, 757, 126, 95, 8}, Rule{1001, 757, 127, 95, 4}, Rule{1001, 757, 126, 96, 4},
          Rule{1001, 757, 501, 379, 2}, Rule{1001, 757, 502, 10, 1}, Rule{6000, 4000, 600, 400, 8},
          Rule{4000, 6000, 400, 600, 8}, Rule{4000, 6000, 600, 400, 4}, Rule{8, 8, 1, 1, 8},
          Rule{100, 100, 0, 5, 1}}) {
        EXPECT_EQ(platform::jpegReductionFor(r.storedW, r.storedH, r.w, r.h), r.reduction)
            << r.storedW << "x" << r.storedH << " for " << r.w << "x" << r.h;
    }
}

// Scan bombs: a progressive file whose last scan is repeated costs a pass over its blocks for
// every copy. Past 500 scans, or past twelve passes over the image's blocks on average (plus a
// floor for small images), the file is refused as bad data; the ordinary script passes.
TEST(PictureLoaderJpeg, RepeatedScansPastTheLimitsAreBadData) {
    struct Case {
        int width, height, repeats;
        DecodeFailure expected;
    };
    const Case cases[] = {
        {64, 64, 0, DecodeFailure::kNone},
        {64, 64, 480, DecodeFailure::kNone},     // 490 scans of 64 blocks: under both limits
        {64, 64, 495, DecodeFailure::kBadData},  // 505 scans
        {1024, 1024, 0, DecodeFailure::kNone},   // the ordinary ten scans
        {1024, 1024, 60, DecodeFailure::kNone},  // 131 K + 60 x 16 K blocks: under 12 x 24 K + 1 M
        {1024, 1024, 90, DecodeFailure::kBadData},
        {4096, 4096, 3000, DecodeFailure::kBadData},  // 198 KB, once 8 s of CPU
    };
    for (const Case& c : cases) {
        const Bytes file = test::jpegWithRepeatedScans(c.width, c.height, c.repeats);
        const auto [bmp, failure] =
            platform::decodeJpeg(ByteView(file.data(), file.size()), std::uint64_t{1} << 26);
        const LoadFailure expected = c.expected == DecodeFailure::kNone
                                         ? LoadFailure{}
                                         : LoadFailure{c.expected, "too many scans"};
        EXPECT_EQ(failure, expected) << c.width << " with " << c.repeats << " more scans";
        EXPECT_EQ(bmp != nullptr, c.expected == DecodeFailure::kNone) << c.width;
    }
}

#else

// This build has no JPEG library (the Windows build): the test files cannot be made, and the
// decoder refuses JPEG data as an unsupported variant.
constexpr const char* kNoJpeg = "no JPEG library in this build: JPEG is reported as unsupported";

TEST(PictureLoaderJpeg, BaselineAndProgressiveDecodeToTheEncodedColours) {
    GTEST_SKIP() << kNoJpeg;
}
TEST(PictureLoaderJpeg, GreyscaleAndAdobeCmykBecomeRgb) {
    GTEST_SKIP() << kNoJpeg;
}
TEST(PictureLoaderJpeg, DamagedDataFailsCleanlyAndEarlyEndKeepsTheSize) {
    GTEST_SKIP() << kNoJpeg;
}

TEST(PictureLoaderJpeg, WithoutTheLibraryJpegIsUnsupportedAndOtherDataNotRecognised) {
    EXPECT_FALSE(platform::jpegDecoderAvailable());
    Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0};
    jpeg.resize(300, 0x5A);
    const auto refused = platform::decodeJpeg(ByteView(jpeg.data(), jpeg.size()), 1u << 20);
    EXPECT_EQ(refused.image, nullptr);
    EXPECT_EQ(refused.failure.reason, DecodeFailure::kUnsupported);
    const Bytes other(300, 0x5A);
    const auto notJpeg = platform::decodeJpeg(ByteView(other.data(), other.size()), 1u << 20);
    EXPECT_EQ(notJpeg.image, nullptr);
    EXPECT_EQ(notJpeg.failure.reason, DecodeFailure::kNotRecognised);
    EXPECT_EQ(platform::DefaultPictureLoader().load(jpeg).image, nullptr);
}

#endif  // TALVRIN_HAVE_JPEG

}  // namespace
}  // namespace talvrin
