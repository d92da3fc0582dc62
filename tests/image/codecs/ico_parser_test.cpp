#include "image/codecs/ico_parser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "gifico_test_util.h"
#include "image/surface/c32bpp_dib.h"
#include "platform/gdi/bitmap.h"
#include "support/icon_file_builder.h"
#include "support/load_failure_printer.h"

namespace talvrin {
namespace {

using test::bitmapEntry;
using test::blankEntry;
using test::IcoEntry;
using test::makeIco;
using test::rowBytes;
using testutil::Bytes;

std::array<std::uint8_t, 4> pixel(const c32bppDIB& dib, int x, int y) {
    const std::uint8_t* p =
        dib.BitsPointer() +
        pixelOffset(x, y, dib.Height(), static_cast<std::size_t>(dib.scanWidth()));
    return {p[0], p[1], p[2], p[3]};
}

ByteView view(const Bytes& b) {
    return ByteView(b.data(), b.size());
}

bool loadDirectory(cICOparser& p, const Bytes& ico) {
    std::int32_t length = 0;
    return p.LoadStream(ico, 32, 32, nullptr, 0, length);
}

struct Loaded {
    bool result = false;
    c32bppDIB dib;
    cICOparser parser;
};
std::unique_ptr<Loaded> load(const Bytes& ico, int w = 32, int h = 32, int bits = 32) {
    auto l = std::make_unique<Loaded>();
    l->dib.InitializeDIB(3, 3);  // a marker: a rejected directory must leave it
    std::int32_t length = 0;
    l->result = l->parser.LoadStream(ico, w, h, &l->dib, 0, length, bits);
    return l;
}

// ---- Directory and selection -----------------------------------------------------------------

TEST(IcoSelection, TheDescribedExamples) {
    cICOparser p;
    // An exact size and depth scores 0 and wins at once.
    ASSERT_TRUE(loadDirectory(p, makeIco({blankEntry(16, 16, 32), blankEntry(32, 32, 8),
                                          blankEntry(32, 32, 32), blankEntry(48, 48, 32)})));
    EXPECT_EQ(p.SelectBestEntry(32, 32, 32), 3);
    // A larger image (score 32) beats a smaller one (-64), and is what loads.
    const Bytes larger = makeIco({blankEntry(16, 16, 32), blankEntry(48, 48, 32)});
    ASSERT_TRUE(loadDirectory(p, larger));
    EXPECT_EQ(p.SelectBestEntry(32, 32, 32), 2);
    EXPECT_EQ(load(larger)->dib.Width(), 48);
    // All smaller: the walk from the last entry keeps the later one on a tie (64 and 64) ...
    ASSERT_TRUE(loadDirectory(p, makeIco({blankEntry(16, 16, 4), blankEntry(16, 16, 32)})));
    EXPECT_EQ(p.SelectBestEntry(32, 32, 32), 2);
    // ... and otherwise takes the nearer one: 16x16x24 scores 56 + 8, 8x8x4 scores 68 + 28.
    ASSERT_TRUE(loadDirectory(p, makeIco({blankEntry(16, 16, 24), blankEntry(8, 8, 4)})));
    EXPECT_EQ(p.SelectBestEntry(32, 32, 32), 1);
}

TEST(IcoSelection, EqualPositiveScoresKeepTheEarlierEntry) {
    cICOparser p;
    ASSERT_TRUE(loadDirectory(p, makeIco({blankEntry(48, 48, 8), blankEntry(64, 64, 32)})));
    // 16 + 16 + 24 = 56 against 32 + 32 + 0 = 64.
    EXPECT_EQ(p.SelectBestEntry(32, 32, 32), 1);
    ASSERT_TRUE(loadDirectory(p, makeIco({blankEntry(40, 40, 32), blankEntry(36, 44, 32)})));
    EXPECT_EQ(p.SelectBestEntry(32, 32, 32), 1);
}

TEST(IcoSelection, OneEntryLoadsWhateverIsAskedAndZeroMeansThirtyTwo) {
    auto l = load(makeIco({blankEntry(16, 16, 8)}), 256, 256, 1);
    EXPECT_TRUE(l->result);
    EXPECT_EQ(l->dib.Width(), 16);
    const Bytes two =
        makeIco({blankEntry(16, 16, 32), blankEntry(32, 32, 32), blankEntry(48, 48, 32)});
    EXPECT_EQ(load(two, 0, 0)->dib.Width(), 32);
    EXPECT_EQ(load(two, -5, 0)->dib.Width(), 32);
}

TEST(IcoDirectory, PropertiesDescribeEveryEntry) {
    cICOparser p;
    ASSERT_TRUE(loadDirectory(p, makeIco({blankEntry(48, 32, 4), blankEntry(256, 256, 8)})));
    EXPECT_EQ(p.IconCount(), 2);
    EXPECT_EQ(p.Width(1), 48);
    EXPECT_EQ(p.Height(1), 32);
    EXPECT_EQ(p.bitDepth(1), 4);
    EXPECT_EQ(p.ColorCount(1), 16);
    EXPECT_EQ(p.ColorByteOffset(1), 6 + 32 + 40 + 64);
    EXPECT_EQ(p.Width(2), 256);
    EXPECT_EQ(p.Height(2), 256);
    EXPECT_FALSE(p.IsIconPNG(2));
    EXPECT_EQ(p.Width(3), 0);
    EXPECT_EQ(p.Width(0), 0);
}

TEST(IcoDirectory, HeaderBitCountReplacesTheDirectoryOne) {
    // Cursors keep the hotspot where icons keep planes and bit count.
    IcoEntry e = blankEntry(16, 16, 8);
    e.dirBitCount = 7;
    cICOparser p;
    ASSERT_TRUE(loadDirectory(p, makeIco({e}, 2)));
    EXPECT_EQ(p.bitDepth(1), 8);
    // A header bit count of 0 falls back to the directory's; both 0 is unusable.
    IcoEntry z = bitmapEntry(16, 16, 8, Bytes(1024, 0), Bytes(256, 0), Bytes(64, 0), 0);
    ASSERT_TRUE(loadDirectory(p, makeIco({z})));
    EXPECT_EQ(p.bitDepth(1), 8);
    z.dirBitCount = 0;
    EXPECT_FALSE(loadDirectory(p, makeIco({z})));
}

// ---- Rejected directories: false, surface untouched ------------------------------------------

// entry: the 1-based entry at fault, 0 for a fault of the directory itself.
void expectRejected(const Bytes& ico, const LoadFailure& failure, const char* why,
                    std::int32_t entry = 0) {
    const auto l = load(ico);
    EXPECT_FALSE(l->result) << why;
    EXPECT_EQ(l->dib.Width(), 3) << why;
    EXPECT_EQ(l->parser.lastLoadFailure(), failure) << why;
    EXPECT_EQ(l->parser.failedEntry(), entry) << why;
}

const LoadFailure kBadLayout{DecodeFailure::kBadHeader,
                             "mask overlaps the header or the colour rows"};
const LoadFailure kEntryOutside{DecodeFailure::kTruncated,
                                "entry outside the data or under 16 bytes"};
const LoadFailure kBadPng{DecodeFailure::kBadHeader, "PNG entry without signature and IHDR"};

TEST(IcoRejects, BadHeaderFields) {
    Bytes ico = makeIco({blankEntry(16, 16, 8)});
    Bytes countZero = ico;
    countZero[4] = 0;
    expectRejected(countZero, {DecodeFailure::kNotRecognised, "entry count below 1"}, "count 0");
    Bytes negative = ico;
    negative[5] = 0x80;
    expectRejected(negative, {DecodeFailure::kNotRecognised, "entry count below 1"},
                   "negative count");
    Bytes type3 = ico;
    type3[2] = 3;
    expectRejected(type3, {DecodeFailure::kNotRecognised, "type not 1 or 2"}, "type 3");
    Bytes reserved = ico;
    reserved[0] = 1;
    expectRejected(reserved, {DecodeFailure::kNotRecognised, "reserved not 0"}, "reserved");
    expectRejected(Bytes(ico.begin(), ico.begin() + 5),
                   {DecodeFailure::kNotRecognised, "under 6 bytes"}, "shorter than a header");
    expectRejected(Bytes(ico.begin(), ico.begin() + 20),
                   {DecodeFailure::kTruncated, "directory entries past the data"},
                   "shorter than its directory");
}

TEST(IcoRejects, EntriesOutsideTheStreamOrTheirOwnBounds) {
    const Bytes good = makeIco({blankEntry(16, 16, 8), blankEntry(32, 32, 8)});
    Bytes offset = good;
    offset[6 + 16 + 12 + 3] = 0x70;  // second entry's offset far beyond the data
    expectRejected(offset, kEntryOutside, "offset outside the stream", 2);

    Bytes wrap = good;  // two sizes whose 32-bit sum wraps to a small number
    for (std::size_t at : {6 + 8, 6 + 16 + 8}) {
        wrap[at] = 0x00;
        wrap[at + 1] = 0x00;
        wrap[at + 2] = 0x00;
        wrap[at + 3] = 0x80;
    }
    expectRejected(wrap, {DecodeFailure::kTruncated, "entry sizes add up past the data"},
                   "sizes that wrap");

    IcoEntry shortRows = blankEntry(16, 16, 8);
    shortRows.data.resize(shortRows.data.size() - 100);  // rows run into the mask
    expectRejected(makeIco({shortRows}), kBadLayout, "colour rows into the mask", 1);

    IcoEntry hugeHeader = blankEntry(16, 16, 8);
    hugeHeader.data[1] = 0x10;  // header size 4136, beyond the entry
    expectRejected(makeIco({hugeHeader}), {DecodeFailure::kBadHeader, "bitmap header size"},
                   "header outside the entry", 1);

    IcoEntry tiny = blankEntry(16, 16, 8);
    tiny.data.resize(12);
    expectRejected(makeIco({tiny}), kEntryOutside, "entry smaller than a header", 1);
}

TEST(IcoRejects, OneBadEntryRejectsTheWholeDirectory) {
    IcoEntry bad = blankEntry(32, 32, 32);
    bad.data.resize(bad.data.size() - 4);
    expectRejected(makeIco({blankEntry(16, 16, 8), bad}), kBadLayout, "second entry short", 2);
}

TEST(IcoRejects, PngEntryWithoutValidSignatureOrTooShort) {
    IcoEntry png;
    png.dirWidth = 16;
    png.dirHeight = 16;
    png.data = testutil::makePngRgba(16, 16, std::vector<std::uint8_t>(16 * 16 * 4, 200));
    cICOparser p;
    EXPECT_TRUE(loadDirectory(p, makeIco({png})));
    IcoEntry badSig = png;
    badSig.data[1] = 'Q';
    expectRejected(makeIco({badSig}), kBadPng, "PNG signature", 1);
    IcoEntry cut = png;
    cut.data.resize(32);
    expectRejected(makeIco({cut}), kBadPng, "PNG entry of 32 bytes", 1);
    IcoEntry noDepth = png;
    noDepth.data[24] = 0;  // bit depth 0 in IHDR, and no bit count in the directory
    expectRejected(makeIco({noDepth}), {DecodeFailure::kBadHeader, "no bit count"}, "PNG depth 0",
                   1);
}

// ---- Bitmap entries: colours, mask and alpha -------------------------------------------------

TEST(IcoBitmap, FourBitEntryMaskMakesPixelsClearOrOpaque) {
    const int w = 5, h = 3;
    Bytes palette(64, 0);
    for (int i = 0; i < 16; ++i) {
        palette[4 * i] = static_cast<std::uint8_t>(10 * i);       // blue
        palette[4 * i + 1] = static_cast<std::uint8_t>(i);        // green
        palette[4 * i + 2] = static_cast<std::uint8_t>(255 - i);  // red
        palette[4 * i + 3] = 77;                                  // ignored
    }
    Bytes rows(rowBytes(w, 4) * h, 0);
    for (int y = 0; y < h; ++y)  // bottom-up row y holds indices y*5 + x (mod 16)
        for (int x = 0; x < w; ++x) {
            const int v = (y * 5 + x) % 16;
            rows[y * 4 + x / 2] |= static_cast<std::uint8_t>(x % 2 ? v : v << 4);
        }
    Bytes mask(rowBytes(w, 1) * h, 0);
    mask[0] = 0x80;      // bottom row, column 0
    mask[2 * 4] = 0x08;  // top row, column 4
    const auto l = load(makeIco({bitmapEntry(w, h, 4, palette, rows, mask)}));
    ASSERT_TRUE(l->result);
    EXPECT_EQ(l->dib.ImageType(), imgIcon);
    EXPECT_TRUE(l->dib.Alpha());
    EXPECT_EQ(pixel(l->dib, 0, 2), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(pixel(l->dib, 4, 0), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
    // Top row (file row 2), column 1: index 11.
    EXPECT_EQ(pixel(l->dib, 1, 0), (std::array<std::uint8_t, 4>{110, 11, 244, 255}));
    // Bottom row, column 3: index 3.
    EXPECT_EQ(pixel(l->dib, 3, 2), (std::array<std::uint8_t, 4>{30, 3, 252, 255}));

    const auto clear = load(makeIco({bitmapEntry(w, h, 4, palette, rows, Bytes(mask.size(), 0))}));
    EXPECT_FALSE(clear->dib.Alpha());
    EXPECT_EQ(pixel(clear->dib, 0, 2)[3], 255);
}

TEST(IcoBitmap, OneSixteenAndTwentyFourBitRows) {
    // 1 bit: palette black / white-ish.
    const Bytes pal1 = {1, 2, 3, 0, 200, 201, 202, 0};
    Bytes rows1(rowBytes(9, 1) * 2, 0);
    rows1[0] = 0x40;  // bottom row, column 1
    rows1[5] = 0x80;  // top row, column 8
    auto l = load(makeIco({bitmapEntry(9, 2, 1, pal1, rows1, Bytes(8, 0))}));
    EXPECT_EQ(pixel(l->dib, 1, 1), (std::array<std::uint8_t, 4>{200, 201, 202, 255}));
    EXPECT_EQ(pixel(l->dib, 8, 0), (std::array<std::uint8_t, 4>{200, 201, 202, 255}));
    EXPECT_EQ(pixel(l->dib, 0, 0), (std::array<std::uint8_t, 4>{1, 2, 3, 255}));

    // 16 bits, 5-5-5: red 31, green 16, blue 1.
    Bytes rows16(rowBytes(1, 16), 0);
    const unsigned v = (31u << 10) | (16u << 5) | 1u;
    rows16[0] = static_cast<std::uint8_t>(v);
    rows16[1] = static_cast<std::uint8_t>(v >> 8);
    l = load(makeIco({bitmapEntry(1, 1, 16, {}, rows16, Bytes(4, 0))}));
    EXPECT_EQ(pixel(l->dib, 0, 0), (std::array<std::uint8_t, 4>{8, 132, 255, 255}));

    Bytes rows24(rowBytes(2, 24), 0);
    for (int i = 0; i < 6; ++i)
        rows24[i] = static_cast<std::uint8_t>(40 + i);
    l = load(makeIco({bitmapEntry(2, 1, 24, {}, rows24, Bytes(4, 0))}));
    EXPECT_EQ(pixel(l->dib, 1, 0), (std::array<std::uint8_t, 4>{43, 44, 45, 255}));
    EXPECT_FALSE(l->dib.Alpha());
}

TEST(IcoBitmap, ThirtyTwoBitAlphaIsPremultipliedAndTheMaskIgnored) {
    Bytes rows = {100, 150, 200, 128, 10, 20, 30, 255, 90, 91, 92, 0};
    Bytes mask(4, 0xFF);  // every mask bit set: must not matter
    const auto l = load(makeIco({bitmapEntry(3, 1, 32, {}, rows, mask)}));
    ASSERT_TRUE(l->result);
    EXPECT_EQ(l->dib.ImageType(), imgIconARGB);
    EXPECT_TRUE(l->dib.Alpha());
    EXPECT_EQ(pixel(l->dib, 0, 0), (std::array<std::uint8_t, 4>{50, 75, 100, 128}));
    EXPECT_EQ(pixel(l->dib, 1, 0), (std::array<std::uint8_t, 4>{10, 20, 30, 255}));
    EXPECT_EQ(pixel(l->dib, 2, 0), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
}

TEST(IcoBitmap, AllZeroAlphaLoadsFullyTransparent) {
    const Bytes rows(4 * 4 * 4, 0x7F);
    Bytes rowsNoAlpha = rows;
    for (std::size_t i = 3; i < rowsNoAlpha.size(); i += 4)
        rowsNoAlpha[i] = 0;
    const auto l = load(makeIco({bitmapEntry(4, 4, 32, {}, rowsNoAlpha, Bytes(16, 0))}));
    ASSERT_TRUE(l->result);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(pixel(l->dib, x, y), (std::array<std::uint8_t, 4>{}));
}

TEST(IcoBitmap, CursorsGetTheCursorTypeCodes) {
    EXPECT_EQ(load(makeIco({blankEntry(8, 8, 4)}, 2))->dib.ImageType(), imgCursor);
    EXPECT_EQ(load(makeIco({blankEntry(8, 8, 32)}, 2))->dib.ImageType(), imgCursorARGB);
}

TEST(IcoBitmap, StreamOffsetIsHonouredAndLengthZeroReachesTheEnd) {
    Bytes data = {9, 9, 9, 9};
    testutil::append(data, makeIco({blankEntry(16, 16, 8)}));
    c32bppDIB dib;
    cICOparser p;
    std::int32_t length = 0;
    ASSERT_TRUE(p.LoadStream(data, 32, 32, &dib, 4, length));
    EXPECT_EQ(length, static_cast<std::int32_t>(data.size() - 4));
    EXPECT_EQ(dib.Width(), 16);
    length = 0;
    EXPECT_FALSE(p.LoadStream(data, 32, 32, &dib, 0, length));
    length = 5;
    EXPECT_FALSE(p.LoadStream(data, 32, 32, &dib, static_cast<std::int32_t>(data.size()), length));
}

// ---- PNG entries -----------------------------------------------------------------------------

TEST(IcoPng, WideEntryKeepsItsWidthByteAndDerivesItsDepth) {
    IcoEntry png;
    png.dirWidth = 0;
    png.dirHeight = 16;
    png.dirBitCount = 8;
    // Only the signature and header matter to the directory: a 512 x 16 colour image.
    png.data = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    testutil::put32be(png.data, 512);
    testutil::put32be(png.data, 16);
    testutil::append(png.data, {8, 2, 0, 0, 0, 0, 0, 0, 0});
    cICOparser p;
    ASSERT_TRUE(loadDirectory(p, makeIco({png})));
    EXPECT_TRUE(p.IsIconPNG(1));
    EXPECT_EQ(p.Width(1), 256);
    EXPECT_EQ(p.Height(1), 16);
    EXPECT_EQ(p.bitDepth(1), 24);
}

TEST(IcoPng, EntryDecodesThroughThePngDecoder) {
    std::vector<std::uint8_t> rgba(6 * 4 * 4);
    for (std::size_t i = 0; i < rgba.size(); ++i)
        rgba[i] = static_cast<std::uint8_t>(i * 7);
    for (std::size_t i = 3; i < rgba.size(); i += 4)
        rgba[i] = 255;
    rgba[3] = 0;
    IcoEntry png;
    png.dirWidth = 6;
    png.dirHeight = 4;
    png.data = testutil::makePngRgba(6, 4, rgba);
    const auto l = load(makeIco({blankEntry(16, 16, 8), png}), 6, 4, 32);
    ASSERT_TRUE(l->result);
    ASSERT_EQ(l->dib.Width(), 6);
    EXPECT_EQ(l->dib.ImageType(), imgPNGicon);
    EXPECT_EQ(pixel(l->dib, 0, 0), (std::array<std::uint8_t, 4>{}));
    EXPECT_EQ(pixel(l->dib, 1, 0), (std::array<std::uint8_t, 4>{42, 35, 28, 255}));
}

// ---- Icon objects ----------------------------------------------------------------------------

TEST(IcoObject, ColourBitmapWithAlphaBecomesAPremultipliedIcon) {
    auto color = platform::Bitmap::create(2, 1, 32);
    const std::uint8_t px[8] = {200, 100, 50, 128, 1, 2, 3, 0};
    std::memcpy(color->bits(), px, 8);
    auto icon = platform::Icon::create(false, std::move(color), platform::MaskBitmap::create(2, 1));
    c32bppDIB dib;
    cICOparser p;
    ASSERT_TRUE(p.ConvertstdPicTo32bpp(icon.get(), dib));
    EXPECT_EQ(dib.ImageType(), imgCursorARGB);
    EXPECT_TRUE(dib.Alpha());
    EXPECT_EQ(pixel(dib, 0, 0), (std::array<std::uint8_t, 4>{100, 50, 25, 128}));
    EXPECT_EQ(pixel(dib, 1, 0), (std::array<std::uint8_t, 4>{}));
    EXPECT_FALSE(p.ConvertstdPicTo32bpp(nullptr, dib));
}

TEST(IcoObject, MaskedIconsUseTheirAndMask) {
    // A 24-bit colour bitmap with its mask: column 1 transparent.
    auto color = platform::Bitmap::create(2, 2, 24);
    for (int y = 0; y < 2; ++y) {
        std::uint8_t* row = color->rowFromTop(y);
        for (int i = 0; i < 6; ++i)
            row[i] = static_cast<std::uint8_t>(60 + 10 * y + i);
    }
    auto mask = platform::MaskBitmap::create(2, 2);
    mask->setBit(1, 0, true);
    mask->setBit(1, 1, true);
    auto icon = platform::Icon::create(true, std::move(color), std::move(mask));
    c32bppDIB dib;
    cICOparser p;
    ASSERT_TRUE(p.ConvertstdPicTo32bpp(icon.get(), dib));
    EXPECT_EQ(dib.ImageType(), imgIcon);
    EXPECT_TRUE(dib.Alpha());
    EXPECT_EQ(pixel(dib, 0, 1), (std::array<std::uint8_t, 4>{70, 71, 72, 255}));
    EXPECT_EQ(pixel(dib, 1, 1), (std::array<std::uint8_t, 4>{}));

    // Two-colour icon: the mask's top half is the AND mask, its bottom half the XOR image.
    auto mono = platform::MaskBitmap::create(3, 4);
    mono->setBit(0, 0, true);  // AND: pixel (0,0) transparent
    mono->setBit(2, 3, true);  // XOR: pixel (2,1) white
    auto twoColour = platform::Icon::create(true, nullptr, std::move(mono));
    ASSERT_TRUE(p.ConvertstdPicTo32bpp(twoColour.get(), dib));
    EXPECT_EQ(dib.Width(), 3);
    EXPECT_EQ(dib.Height(), 2);
    EXPECT_EQ(pixel(dib, 0, 0), (std::array<std::uint8_t, 4>{}));
    EXPECT_EQ(pixel(dib, 2, 1), (std::array<std::uint8_t, 4>{255, 255, 255, 255}));
    EXPECT_EQ(pixel(dib, 1, 1), (std::array<std::uint8_t, 4>{0, 0, 0, 255}));
}

TEST(IcoObject, IconBytesBecomeAnIconPicture) {
    Bytes rows = {100, 150, 200, 128, 10, 20, 30, 255};
    const auto [picture, failure] =
        IconBytesToPicture(view(makeIco({bitmapEntry(2, 1, 32, {}, rows, Bytes(4, 0))})));
    ASSERT_NE(picture, nullptr);
    EXPECT_FALSE(failure.failed());
    EXPECT_EQ(picture->type(), platform::kPictureIcon);
    ASSERT_NE(picture->icon(), nullptr);
    const std::uint8_t* bits = picture->icon()->colorBitmap()->bits();
    // Straight alpha again: 50 * 255 / 128 = 99 after the round trip through premultiplication.
    EXPECT_EQ(bits[0], 99);
    EXPECT_EQ(bits[3], 128);
    const auto refused = IconBytesToPicture(view(Bytes{0, 0, 1, 0}));
    EXPECT_EQ(refused.image, nullptr);
    EXPECT_EQ(refused.failure, (LoadFailure{DecodeFailure::kNotRecognised, "under 6 bytes"}));
}

// ---- Icons and cursors made by icotool -------------------------------------------------------

class IcotoolRoundTrip : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::system("icotool --version > /dev/null 2>&1") != 0)
            GTEST_SKIP() << "icotool (icoutils) is not installed";
        dir_ = std::filesystem::temp_directory_path() /
               ("gifico_icotool_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }
    std::filesystem::path dir_;
};

// Source images: a few colours (so every depth can hold them), an alpha hole of 0 and, for the
// 32-bit case, translucent pixels.
std::vector<std::uint8_t> sourceImage(int w, int h, bool translucent, unsigned seed) {
    static const std::uint8_t kColors[4][3] = {
        {255, 0, 0}, {0, 128, 255}, {255, 255, 255}, {0, 0, 0}};
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(w * h * 4));
    for (int i = 0; i < w * h; ++i) {
        const auto* c = kColors[rng() % 4];
        rgba[4 * i] = c[0];
        rgba[4 * i + 1] = c[1];
        rgba[4 * i + 2] = c[2];
        const unsigned r = rng() % 6;
        rgba[4 * i + 3] =
            r == 0 ? 0 : (translucent && r == 1 ? static_cast<std::uint8_t>(rng()) : 255);
    }
    return rgba;
}

TEST_F(IcotoolRoundTrip, EveryDepthMatchesTheSourcePixels) {
    struct Case {
        int w, h, bits;
        bool cursor, raw;
    };
    const Case cases[] = {{16, 16, 1, false, false}, {24, 13, 4, false, false},
                          {32, 32, 8, false, false}, {48, 48, 24, true, false},
                          {31, 7, 32, false, false}, {20, 20, 32, true, true}};
    unsigned seed = 5;
    for (const Case& c : cases) {
        // One-bit entries only hold black and white.
        auto rgba = sourceImage(c.w, c.h, c.bits == 32, ++seed);
        if (c.bits == 1)
            for (std::size_t i = 0; i < rgba.size(); i += 4) {
                const std::uint8_t v = rgba[i] == 255 && rgba[i + 1] == 255 ? 255 : 0;
                rgba[i] = rgba[i + 1] = rgba[i + 2] = v;
            }
        const auto png = dir_ / "src.png";
        const auto out = dir_ / (c.cursor ? "out.cur" : "out.ico");
        testutil::writeFile(png, testutil::makePngRgba(c.w, c.h, rgba));
        const std::string cmd = std::string("icotool -c ") + (c.cursor ? "--cursor " : "") +
                                (c.raw ? "" : "-b " + std::to_string(c.bits) + " ") + "-o " +
                                out.string() + (c.raw ? " -r " : " ") + png.string() +
                                " 2>/dev/null";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        const Bytes ico = testutil::readFile(out);
        c32bppDIB dib;
        cICOparser p;
        std::int32_t length = 0;
        ASSERT_TRUE(p.LoadStream(ico, c.w, c.h, &dib, 0, length, c.bits)) << cmd;
        if (!c.raw) {
            EXPECT_EQ(p.bitDepth(1), c.bits) << cmd;
        }
        ASSERT_EQ(dib.Width(), c.w);
        ASSERT_EQ(dib.Height(), c.h);
        for (int y = 0; y < c.h; ++y) {
            for (int x = 0; x < c.w; ++x) {
                const std::uint8_t* s = &rgba[static_cast<std::size_t>((y * c.w + x) * 4)];
                // Below 32 bits icotool keeps alpha above 127 as opaque and the rest as holes.
                unsigned a = s[3];
                if (c.bits != 32) a = a > 127 ? 255 : 0;
                std::array<std::uint8_t, 4> want{};
                if (a != 0)
                    want = {static_cast<std::uint8_t>(s[2] * a / 255),
                            static_cast<std::uint8_t>(s[1] * a / 255),
                            static_cast<std::uint8_t>(s[0] * a / 255),
                            static_cast<std::uint8_t>(a)};
                ASSERT_EQ(pixel(dib, x, y), want) << cmd << " at " << x << "," << y;
            }
        }
    }
}

}  // namespace
}  // namespace talvrin
