#include "image/codecs/gif_parser.h"

#include <gtest/gtest.h>

#include <random>

#include "gifico_test_util.h"
#include "image/surface/c32bpp_dib.h"
#include "platform/picture/gif_decoder.h"
#include "support/load_failure_printer.h"

namespace talvrin {
namespace {

using testutil::Bytes;
using testutil::GifRecipe;
using testutil::makeGif;

ByteView view(const Bytes& b) {
    return ByteView(b.data(), b.size());
}

// Loads the whole buffer; the surface starts with a marker image so an untouched surface shows.
struct Loaded {
    bool result = false;
    c32bppDIB dib;
    cGIFparser parser;
};
std::unique_ptr<Loaded> load(const Bytes& gif) {
    auto l = std::make_unique<Loaded>();
    l->dib.InitializeDIB(3, 3);
    l->result = l->parser.LoadStream(gif, l->dib, 0, static_cast<std::int32_t>(gif.size()));
    return l;
}

// B, G, R, A of the pixel at column x, row y (row 0 at the top).
std::array<std::uint8_t, 4> pixel(const c32bppDIB& dib, int x, int y) {
    const std::uint8_t* p =
        dib.BitsPointer() +
        pixelOffset(x, y, dib.Height(), static_cast<std::size_t>(dib.scanWidth()));
    return {p[0], p[1], p[2], p[3]};
}

GifRecipe simpleGif(int w, int h, std::size_t entries = 4) {
    GifRecipe s;
    s.width = w;
    s.height = h;
    s.globalTable = testutil::rampTable(entries);
    s.minCodeSize = 2;
    for (int i = 0; i < w * h; ++i)
        s.pixels.push_back(static_cast<std::uint8_t>(i % entries));
    return s;
}

// ---- Signature and block walk ----------------------------------------------------------------

TEST(GifSignature, EitherVersionInAnyLetterCaseAndNothingElse) {
    for (const char* sig : {"GIF89a", "GIF87a", "gif89a", "gIf87A", "GiF89A"}) {
        GifRecipe s = simpleGif(2, 2);
        s.signature = sig;
        const auto l = load(makeGif(s));
        EXPECT_TRUE(l->result) << sig;
        EXPECT_EQ(l->dib.Width(), 2) << sig;
        EXPECT_EQ(l->dib.ImageType(), imgGIF) << sig;
    }
    for (const char* sig : {"GIF90a", "GIF8 a", "PNG89a"}) {
        GifRecipe s = simpleGif(2, 2);
        s.signature = sig;
        const auto l = load(makeGif(s));
        EXPECT_FALSE(l->result) << sig;
        EXPECT_EQ(l->dib.Width(), 3) << "surface must stay untouched for " << sig;
    }
    EXPECT_FALSE(load(Bytes{'G', 'I', 'F', '8', '9'})->result);
}

TEST(GifWalk, SkipsZeroBytesAndExtensionsBeforeTheImage) {
    GifRecipe s = simpleGif(2, 2);
    // A zero byte, a comment, and an application extension with one sub-block.
    s.beforeImage = {0,   0x21, 0xFE, 3,   'a', 'b', 'c', 0,   0x21, 0xFF, 11, 'N', 'E', 'T',
                     'S', 'C',  'A',  'P', 'E', '2', '.', '0', 3,    1,    0,  0,   0};
    const auto l = load(makeGif(s));
    EXPECT_TRUE(l->result);
    EXPECT_EQ(l->dib.Width(), 2);
}

TEST(GifWalk, StrayTrailerBeforeTheImageIsNotGif) {
    GifRecipe s = simpleGif(2, 2);
    s.beforeImage = {0x3B};
    EXPECT_FALSE(load(makeGif(s))->result);
}

TEST(GifWalk, NoColourTableAtAllIsNotGif) {
    GifRecipe s = simpleGif(2, 2);
    s.globalTable.clear();
    EXPECT_FALSE(load(makeGif(s))->result);
}

TEST(GifWalk, DataEndingInsideAnExtensionEmptiesTheSurface) {
    GifRecipe s = simpleGif(2, 2);
    s.beforeImage = {0x21, 0xFE, 200, 'x'};
    Bytes gif = makeGif(s);
    gif.resize(13 + 12 + 4);  // header, table, then the cut comment
    const auto l = load(gif);
    EXPECT_TRUE(l->result);
    EXPECT_EQ(l->dib.BitsPointer(), nullptr);
    EXPECT_EQ(l->parser.lastLoadFailure(),
              (LoadFailure{DecodeFailure::kTruncated, "block past the data"}));
}

// Every way the walk to the first image fails, with the failure it records.
TEST(GifWalk, EachFaultRecordsItsReasonAndDetail) {
    const Bytes good = makeGif(simpleGif(2, 2));
    GifRecipe stray = simpleGif(2, 2);
    stray.beforeImage = {0x3B};
    GifRecipe noTable = simpleGif(2, 2);
    noTable.globalTable.clear();
    GifRecipe comment = simpleGif(2, 2);
    comment.beforeImage = {0x21, 0xFE, 200, 'x'};
    Bytes cutComment = makeGif(comment);
    cutComment.resize(13 + 12 + 4);
    GifRecipe version = simpleGif(2, 2);
    version.signature = "GIF90a";
    const struct {
        const char* name;
        Bytes gif;
        LoadFailure want;
    } cases[] = {
        {"other version", makeGif(version), {DecodeFailure::kNotRecognised, {}}},
        {"cut screen descriptor",
         Bytes(good.begin(), good.begin() + 12),
         {DecodeFailure::kTruncated, "screen descriptor"}},
        {"cut global table",
         Bytes(good.begin(), good.begin() + 20),
         {DecodeFailure::kTruncated, "global colour table"}},
        {"cut comment", cutComment, {DecodeFailure::kTruncated, "block past the data"}},
        {"stray trailer",
         makeGif(stray),
         {DecodeFailure::kBadData, "unexpected block before the image"}},
        {"no colour table", makeGif(noTable), {DecodeFailure::kBadHeader, "no colour table"}},
        {"good", good, {}},
    };
    for (const auto& c : cases) {
        platform::GifLayout layout;
        EXPECT_EQ(platform::walkGifToFirstImage(view(c.gif), layout), c.want) << c.name;
    }
}

TEST(GifWalk, RangeOutsideTheArrayOrAtAnOffset) {
    GifRecipe s = simpleGif(2, 2);
    Bytes gif = {1, 2, 3};
    testutil::append(gif, makeGif(s));
    c32bppDIB dib;
    cGIFparser p;
    EXPECT_FALSE(p.LoadStream(gif, dib, 3, static_cast<std::int32_t>(gif.size())));
    EXPECT_FALSE(p.LoadStream(gif, dib, -1, 4));
    EXPECT_TRUE(p.LoadStream(gif, dib, 3, static_cast<std::int32_t>(gif.size() - 3)));
    EXPECT_EQ(dib.Width(), 2);
}

// ---- Conversion ------------------------------------------------------------------------------

TEST(GifConversion, OpaqueImageTakesTheTableColours) {
    GifRecipe s = simpleGif(3, 2);
    const auto l = load(makeGif(s));
    ASSERT_TRUE(l->result);
    EXPECT_FALSE(l->dib.Alpha());
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            const int i = (y * 3 + x) % 4;
            const std::array<std::uint8_t, 4> want = {static_cast<std::uint8_t>(255 - i),
                                                      static_cast<std::uint8_t>(2 * i),
                                                      static_cast<std::uint8_t>(i), 255};
            EXPECT_EQ(pixel(l->dib, x, y), want) << x << "," << y;
        }
    }
}

TEST(GifConversion, RepeatedPaletteColourKeepsEntriesApart) {
    GifRecipe s = simpleGif(4, 1);
    s.globalTable = {10, 20, 30, 10, 20, 30, 1, 2, 3, 4, 5, 6};  // entries 0 and 1 alike
    s.pixels = {0, 1, 2, 1};
    s.controlExtension = true;
    s.transparent = true;
    s.transparentIndex = 1;
    const auto l = load(makeGif(s));
    ASSERT_TRUE(l->result);
    EXPECT_TRUE(l->dib.Alpha());
    EXPECT_EQ(pixel(l->dib, 0, 0), (std::array<std::uint8_t, 4>{30, 20, 10, 255}));
    EXPECT_EQ(pixel(l->dib, 1, 0), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(pixel(l->dib, 2, 0), (std::array<std::uint8_t, 4>{3, 2, 1, 255}));
    EXPECT_EQ(pixel(l->dib, 3, 0), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
}

TEST(GifConversion, TransparentIndexOutsideTheTableLeavesEveryPixelOpaque) {
    GifRecipe s = simpleGif(2, 2);
    s.controlExtension = true;
    s.transparent = true;
    s.transparentIndex = 9;
    const auto l = load(makeGif(s));
    ASSERT_TRUE(l->result);
    EXPECT_TRUE(l->dib.Alpha());
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(pixel(l->dib, x, y)[3], 255);
}

TEST(GifConversion, ClearTransparencyBitOfTheLastControlExtensionLoadsOpaque) {
    GifRecipe s = simpleGif(2, 1);
    s.pixels = {0, 1};
    s.beforeImage = {0x21, 0xF9, 4, 1, 0, 0, 0, 0};  // transparent index 0 ...
    s.controlExtension = true;                       // ... then transparency off
    const auto l = load(makeGif(s));
    ASSERT_TRUE(l->result);
    EXPECT_FALSE(l->dib.Alpha());
    EXPECT_EQ(pixel(l->dib, 0, 0)[3], 255);
}

TEST(GifConversion, FirstImageOfAnAnimationAtItsOwnSizeAndLocalTable) {
    GifRecipe s = simpleGif(2, 3);
    s.screenWidth = 50;
    s.screenHeight = 40;
    s.left = 7;
    s.top = 9;
    s.localTable = {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};
    // A second image follows.
    GifRecipe second = simpleGif(5, 5);
    Bytes secondBlock = makeGif(second);
    s.afterImage.assign(secondBlock.begin() + 13 + 12, secondBlock.end() - 1);
    const auto l = load(makeGif(s));
    ASSERT_TRUE(l->result);
    EXPECT_EQ(l->dib.Width(), 2);
    EXPECT_EQ(l->dib.Height(), 3);
    EXPECT_EQ(pixel(l->dib, 1, 0), (std::array<std::uint8_t, 4>{2, 2, 2, 255}));
}

// ---- LZW and interlace -----------------------------------------------------------------------

std::vector<std::uint8_t> decodeIndices(const Bytes& gif, LoadFailure* status) {
    platform::GifLayout layout;
    EXPECT_FALSE(platform::walkGifToFirstImage(view(gif), layout).failed());
    platform::GifImage image;
    *status = platform::decodeGifImage(view(gif), layout, image);
    return image.indices;
}

TEST(GifLzw, RandomImagesRoundTripForEveryCodeSize) {
    std::mt19937 rng(1234);
    for (int minCode = 2; minCode <= 11; ++minCode) {
        for (int trial = 0; trial < 6; ++trial) {
            const int w = 1 + static_cast<int>(rng() % 97);
            const int h = 1 + static_cast<int>(rng() % 61);
            // Code sizes above 8 still index tables of at most 256 entries.
            const std::size_t entries = std::size_t{1} << std::min(minCode, 8);
            GifRecipe s = simpleGif(w, h, entries);
            s.minCodeSize = minCode;
            // Runs of repeats make long strings and the code-equals-next case.
            s.pixels.clear();
            while (s.pixels.size() < static_cast<std::size_t>(w * h)) {
                const auto v = static_cast<std::uint8_t>(rng() % entries);
                const std::size_t run = 1 + rng() % (trial < 3 ? 2 : 40);
                for (std::size_t k = 0; k < run && s.pixels.size() < std::size_t(w * h); ++k)
                    s.pixels.push_back(v);
            }
            LoadFailure status;
            EXPECT_EQ(decodeIndices(makeGif(s), &status), s.pixels)
                << minCode << " " << w << "x" << h;
            EXPECT_FALSE(status.failed());
        }
    }
}

TEST(GifLzw, FullTableStopsGrowingWithoutAClear) {
    std::mt19937 rng(99);
    GifRecipe s = simpleGif(300, 200, 256);
    s.minCodeSize = 8;
    for (auto& p : s.pixels)
        p = static_cast<std::uint8_t>(rng() % 7 == 0 ? rng() : rng() % 5);
    s.lzw = testutil::lzwEncode(s.pixels, 8, /*clearWhenFull=*/false);
    LoadFailure status;
    EXPECT_EQ(decodeIndices(makeGif(s), &status), s.pixels);
    EXPECT_FALSE(status.failed());
}

TEST(GifLzw, InterlacedRowsLandInDisplayOrder) {
    const int w = 3, h = 11;
    GifRecipe s = simpleGif(w, h, 16);
    s.interlaced = true;
    std::vector<int> order;
    for (int y = 0; y < h; y += 8)
        order.push_back(y);
    for (int y = 4; y < h; y += 8)
        order.push_back(y);
    for (int y = 2; y < h; y += 4)
        order.push_back(y);
    for (int y = 1; y < h; y += 2)
        order.push_back(y);
    s.pixels.clear();
    for (int row : order)
        for (int x = 0; x < w; ++x)
            s.pixels.push_back(static_cast<std::uint8_t>(row));
    s.minCodeSize = 4;
    const auto l = load(makeGif(s));
    ASSERT_TRUE(l->result);
    for (int y = 0; y < h; ++y)
        EXPECT_EQ(pixel(l->dib, 1, y)[2], y) << "row " << y;
}

TEST(GifLzw, DataEndingEarlyLeavesIndexZero) {
    GifRecipe s = simpleGif(20, 10);
    s.pixels.assign(200, 3);
    Bytes lzw = testutil::lzwEncode(s.pixels, 2);
    lzw.resize(lzw.size() / 3);
    s.lzw = lzw;
    Bytes gif = makeGif(s);
    gif.resize(gif.size() - 3);  // also cut the image's sub-blocks and the trailer
    LoadFailure status;
    const auto indices = decodeIndices(gif, &status);
    EXPECT_FALSE(status.failed());
    ASSERT_EQ(indices.size(), 200u);
    EXPECT_EQ(indices.front(), 3);
    EXPECT_EQ(indices.back(), 0);
    std::size_t firstZero = 0;
    while (firstZero < indices.size() && indices[firstZero] == 3)
        ++firstZero;
    for (std::size_t i = firstZero; i < indices.size(); ++i)
        ASSERT_EQ(indices[i], 0) << i;
    EXPECT_TRUE(load(gif)->result);
}

TEST(GifLzw, CodesPastTheLastPixelAreIgnored) {
    GifRecipe s = simpleGif(4, 2);
    std::vector<std::uint8_t> more = s.pixels;
    more.insert(more.end(), 50, 2);
    s.lzw = testutil::lzwEncode(more, 2);
    LoadFailure status;
    EXPECT_EQ(decodeIndices(makeGif(s), &status), s.pixels);
}

// ---- Error path: true, surface empty ---------------------------------------------------------

void expectErrorPath(const GifRecipe& s, const LoadFailure& why) {
    const auto l = load(makeGif(s));
    EXPECT_TRUE(l->result);
    EXPECT_EQ(l->dib.BitsPointer(), nullptr);
    EXPECT_EQ(l->dib.Width(), 0);
    EXPECT_EQ(l->parser.lastLoadFailure(), why);
}

const LoadFailure kBadCode{DecodeFailure::kBadData, "LZW code past the next free code"};
const LoadFailure kZeroSize{DecodeFailure::kBadHeader, "image width or height 0"};

TEST(GifErrors, CodeAboveTheNextFreeCode) {
    GifRecipe s = simpleGif(4, 4);
    // clear (4), literal 1, then code 7 while the next free code is 6; 3 bits each.
    s.lzw = {static_cast<std::uint8_t>(4 | (1 << 3) | (7 << 6)), static_cast<std::uint8_t>(7 >> 2)};
    expectErrorPath(s, kBadCode);
    // The next free code right after a clear has no string to build on.
    s.lzw = {static_cast<std::uint8_t>(4 | (6 << 3)), 0};
    expectErrorPath(s, kBadCode);
}

TEST(GifErrors, MinimumCodeSizeOutsideTwoToEleven) {
    for (int m : {0, 1, 12, 255}) {
        GifRecipe s = simpleGif(2, 2);
        s.minCodeSize = m;
        s.lzw = {0, 0, 0};
        expectErrorPath(s, {DecodeFailure::kBadData, "LZW code size outside 2-11"});
    }
}

TEST(GifErrors, ZeroSizedOrOversizedImage) {
    GifRecipe s = simpleGif(0, 5);
    s.pixels = {0};
    expectErrorPath(s, kZeroSize);
    GifRecipe t = simpleGif(5, 0);
    t.pixels = {0};
    expectErrorPath(t, kZeroSize);
    GifRecipe huge = simpleGif(1, 1);
    huge.width = huge.height = 65535;
    expectErrorPath(huge, {DecodeFailure::kTooLarge, "beyond a 32-bit surface"});
}

TEST(GifErrors, PixelIndexBeyondTheTable) {
    GifRecipe s = simpleGif(2, 2, 4);
    s.minCodeSize = 3;  // literals up to 7 against a 4-entry table
    s.pixels = {0, 1, 5, 2};
    expectErrorPath(s, {DecodeFailure::kBadData, "pixel index past the colour table"});
}

// ---- Picture loader route --------------------------------------------------------------------

TEST(GifPicture, FirstImageBecomesABitmapPictureInTableColours) {
    GifRecipe s = simpleGif(3, 2);
    const Bytes gif = makeGif(s);
    const auto [picture, failure] = platform::decodeGifPicture(view(gif));
    EXPECT_FALSE(failure.failed());
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->type(), platform::kPictureBitmap);
    EXPECT_EQ(picture->pixelWidth(), 3);
    EXPECT_EQ(picture->pixelHeight(), 2);
    const std::uint8_t* row1 = picture->bitmap()->rowFromTop(1);  // indices 3, 0, 1
    EXPECT_EQ(row1[0], 252);
    EXPECT_EQ(row1[1], 6);
    EXPECT_EQ(row1[2], 3);
    GifRecipe bad = simpleGif(2, 2);
    bad.minCodeSize = 1;
    EXPECT_EQ(platform::decodeGifPicture(view(makeGif(bad))).image, nullptr);
    EXPECT_EQ(platform::decodeGifPicture(view(Bytes{'G', 'I', 'F'})).image, nullptr);
}

}  // namespace
}  // namespace talvrin
