// cPNGparser end to end on PNG files built by the tests: the signature and chunk rules, the
// checksum rules with and without the compression library, the pixel rules of the converters,
// interlacing, and file mode.
#include "image/codecs/png_parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "base/decode_budget.h"
#include "image/codecs/compression.h"
#include "image/codecs/png_test_builder.h"
#include "image/surface/c32bpp_dib.h"
#include "image/surface/image_types.h"
#include "platform/os/files.h"
#include "support/load_failure_printer.h"

namespace talvrin {
namespace {

using test::Bytes;
using test::PngBuilder;
using test::simplePng;
using test::zlibOf;

struct Load {
    bool result = false;
    LoadFailure failure;
};

Load loadInto(c32bppDIB& dib, const Bytes& png, std::int32_t offset = 0, std::int32_t length = -1) {
    cPNGparser parser;
    std::uint32_t token = 0;
    const std::int32_t len = length < 0 ? static_cast<std::int32_t>(png.size()) - offset : length;
    const bool r = parser.LoadStream(png, dib, offset, len, token);
    return {r, parser.lastLoadFailure()};
}

// B, G, R, A of image pixel (x, y), row 0 at the top.
std::array<std::uint8_t, 4> pixel(const c32bppDIB& dib, int x, int y) {
    const std::uint8_t* p = dib.BitsPointer() +
                            static_cast<std::size_t>(dib.Height() - 1 - y) * dib.scanWidth() +
                            x * 4;
    return {p[0], p[1], p[2], p[3]};
}

using Px = std::array<std::uint8_t, 4>;

// ---- Signature and range ----------------------------------------------------------------------

TEST(PngSignature, ValidFileDecodesWithoutTheLibrary) {
    compression::ScopedAbsent absent;
    c32bppDIB dib;
    const Load l = loadInto(dib, simplePng(1, 1, 8, 2, {0, 10, 20, 30}));
    ASSERT_TRUE(l.result);
    ASSERT_EQ(dib.Width(), 1);
    EXPECT_EQ(pixel(dib, 0, 0), (Px{30, 20, 10, 255}));
    EXPECT_EQ(dib.ImageType(), imgPNG);
    EXPECT_FALSE(dib.Alpha());
}

TEST(PngSignature, WrongLastByteIsNotPng) {
    Bytes png = simplePng(1, 1, 8, 2, {0, 10, 20, 30});
    png[7] = 0x0B;
    c32bppDIB dib;
    EXPECT_FALSE(loadInto(dib, png).result);
    EXPECT_EQ(dib.BitsPointer(), nullptr);
}

TEST(PngSignature, DecodesInPlaceInsideALargerArrayAndRejectsRangesOutsideIt) {
    const Bytes png = simplePng(1, 1, 8, 0, {0, 77});
    Bytes big(5, 0xEE);
    big.insert(big.end(), png.begin(), png.end());
    big.insert(big.end(), 9, 0xEE);
    c32bppDIB dib;
    ASSERT_TRUE(loadInto(dib, big, 5, static_cast<std::int32_t>(png.size())).result);
    EXPECT_EQ(pixel(dib, 0, 0), (Px{77, 77, 77, 255}));
    c32bppDIB other;
    EXPECT_FALSE(loadInto(other, big, 5, static_cast<std::int32_t>(big.size())).result);
    EXPECT_FALSE(loadInto(other, big, -1, 10).result);
}

// ---- Header -------------------------------------------------------------------------------

struct BadHeader {
    std::uint32_t w, h;
    std::uint8_t depth, type, interlace, compression;
    std::string_view detail;
};

TEST(PngHeader, InvalidFieldsAndForbiddenCombinationsGiveNoImage) {
    constexpr std::string_view kSize = "width or height 0 or 2^31 and more";
    constexpr std::string_view kFormat = "bit depth and colour type";
    const BadHeader cases[] = {
        {0, 1, 8, 2, 0, 0, kSize},            // width 0
        {1, 0x80000000u, 8, 2, 0, 0, kSize},  // height negative as a signed value
        {1, 1, 3, 0, 0, 0, kFormat},          // bit depth 3
        {1, 1, 8, 5, 0, 0, kFormat},          // colour type 5
        {1, 1, 8, 2, 2, 0, "interlace method above 1"},
        {1, 1, 8, 2, 0, 1, "compression or filter method not 0"},
        {1, 1, 16, 3, 0, 0, kFormat},  // palette at 16 bits
        {1, 1, 4, 2, 0, 0, kFormat},   // RGB below 8 bits
        {1, 1, 2, 4, 0, 0, kFormat},   // gray + alpha below 8 bits
        {1, 1, 1, 6, 0, 0, kFormat},   // RGBA below 8 bits
    };
    for (const BadHeader& c : cases) {
        const Bytes png = PngBuilder()
                              .ihdr(c.w, c.h, c.depth, c.type, c.interlace, c.compression)
                              .idat(zlibOf(Bytes(64, 0)))
                              .iend()
                              .bytes();
        c32bppDIB dib;
        const Load l = loadInto(dib, png);
        EXPECT_TRUE(l.result);
        EXPECT_EQ(dib.BitsPointer(), nullptr)
            << c.w << "x" << c.h << " " << int(c.depth) << "/" << int(c.type);
        EXPECT_EQ(l.failure, (LoadFailure{DecodeFailure::kBadHeader, c.detail}));
    }
}

// Sizes: the decode budget (default 67,108,863 pixels) and, with no budget, the decoder's own
// limit (width * 32 * height within the signed 32-bit range) refuse before any allocation.
TEST(PngHeader, SizesBeyondTheBudgetOrTheSurfaceAreTooLarge) {
    constexpr std::string_view kBudget = "beyond the decode budget";
    struct Case {
        std::uint64_t budget;
        std::uint32_t w, h;
        bool tooLarge;
        std::string_view detail;
    };
    const Case cases[] = {
        {kDefaultDecodeBudget, 65536, 1024, true, kBudget},  // 67,108,864 pixels: one past it
        {1000, 40, 25, false, {}},                           // exactly the budget
        {1000, 1001, 1, true, kBudget},
        {0, 65536, 1024, true, "beyond a 32-bit surface"},  // no budget: the surface's limit
        {100, 11, 10, true, kBudget},
        {100, 10, 10, false, {}},
    };
    for (const Case& c : cases) {
        const ScopedDecodeBudget budget(c.budget);
        const Bytes png =
            PngBuilder().ihdr(c.w, c.h, 8, 6, 0, 0).idat(zlibOf(Bytes(64, 0))).iend().bytes();
        c32bppDIB dib;
        const Load l = loadInto(dib, png);
        EXPECT_TRUE(l.result);
        EXPECT_EQ(l.failure.reason == DecodeFailure::kTooLarge, c.tooLarge)
            << c.w << "x" << c.h << " budget " << c.budget;
        if (c.tooLarge) {
            EXPECT_EQ(l.failure.detail, c.detail) << c.w << "x" << c.h;
        }
    }
}

TEST(PngHeader, HeaderShorterThanThirteenBytesFails) {
    Bytes ihdr;
    test::putBe32(ihdr, 1);
    test::putBe32(ihdr, 1);
    ihdr.insert(ihdr.end(), {8, 0, 0, 0});  // no interlace byte
    const Bytes png = PngBuilder().chunk("IHDR", ihdr).idat(zlibOf({0, 5})).iend().bytes();
    c32bppDIB dib;
    const Load l = loadInto(dib, png);
    EXPECT_TRUE(l.result);
    EXPECT_EQ(l.failure, (LoadFailure{DecodeFailure::kBadHeader, "IHDR shorter than 13 bytes"}));
    EXPECT_EQ(dib.BitsPointer(), nullptr);
}

TEST(PngHeader, ImageDataBeforeTheHeaderIsAWalkError) {
    const Bytes png =
        PngBuilder().idat(zlibOf({0, 5})).ihdr(1, 1, 8, 0).idat(zlibOf({0, 5})).iend().bytes();
    c32bppDIB dib;
    const Load l = loadInto(dib, png);
    EXPECT_TRUE(l.result);
    EXPECT_EQ(l.failure, (LoadFailure{DecodeFailure::kBadHeader, "IDAT before a valid IHDR"}));
    EXPECT_EQ(dib.BitsPointer(), nullptr);
}

// ---- Chunk walk ---------------------------------------------------------------------------

TEST(PngChunkWalk, SplitImageDataWithChunksBetweenDecodesAsOne) {
    Bytes raw;
    for (int y = 0; y < 4; ++y) {
        raw.push_back(0);
        for (int x = 0; x < 4; ++x)
            raw.push_back(static_cast<std::uint8_t>(y * 40 + x * 7));
    }
    const Bytes z = zlibOf(raw);
    const Bytes png = PngBuilder()
                          .ihdr(4, 4, 8, 0)
                          .idat(Bytes(z.begin(), z.begin() + 5))
                          .chunk("tEXt", {'a', 0, 'b'})
                          .idat(Bytes(z.begin() + 5, z.end() - 3))
                          .idat(Bytes(z.end() - 3, z.end()))
                          .chunk("iend", {})
                          .iend()
                          .bytes();
    c32bppDIB dib;
    ASSERT_TRUE(loadInto(dib, png).result);
    ASSERT_EQ(dib.Width(), 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const std::uint8_t v = static_cast<std::uint8_t>(y * 40 + x * 7);
            EXPECT_EQ(pixel(dib, x, y), (Px{v, v, v, 255}));
        }
}

TEST(PngChunkWalk, LowerCaseIendIsSkipped) {
    // The "iend" chunk has data, so a walk that took it as the end would find no IDAT.
    const Bytes png =
        PngBuilder().ihdr(1, 1, 8, 0).chunk("iend", {1, 2}).idat(zlibOf({0, 9})).iend().bytes();
    c32bppDIB dib;
    ASSERT_TRUE(loadInto(dib, png).result);
    EXPECT_EQ(pixel(dib, 0, 0), (Px{9, 9, 9, 255}));
}

TEST(PngChunkWalk, MissingEndAndOversizedChunksEndTheWalkWithoutAnImage) {
    const Bytes base = PngBuilder().ihdr(1, 1, 8, 0).idat(zlibOf({0, 9})).bytes();
    for (std::size_t extra : {0u, 3u, 11u}) {
        Bytes png = base;
        png.insert(png.end(), extra, 0);
        c32bppDIB dib;
        const Load l = loadInto(dib, png);
        EXPECT_TRUE(l.result);
        EXPECT_EQ(l.failure, (LoadFailure{DecodeFailure::kTruncated, "no IEND chunk"})) << extra;
        EXPECT_EQ(dib.BitsPointer(), nullptr);
    }
    // A chunk that claims more bytes than remain, and one of 2^31 bytes or more.
    const LoadFailure kHuge{DecodeFailure::kBadHeader, "chunk length of 2^31 or more"};
    const std::pair<std::uint32_t, LoadFailure> lengths[] = {
        {100u, {DecodeFailure::kTruncated, "chunk runs past the data"}},
        {0x80000000u, kHuge},
        {0xFFFFFFF0u, kHuge},
    };
    for (const auto& [len, failure] : lengths) {
        Bytes png = base;
        test::putBe32(png, len);
        png.insert(png.end(), {'t', 'E', 'X', 't', 0, 0, 0, 0, 0, 0, 0, 0});
        c32bppDIB dib;
        const Load l = loadInto(dib, png);
        EXPECT_TRUE(l.result);
        EXPECT_EQ(l.failure, failure) << len;
        EXPECT_EQ(dib.BitsPointer(), nullptr) << len;
    }
}

TEST(PngChunkWalk, NoImageDataGivesNoImage) {
    const Bytes png = PngBuilder().ihdr(1, 1, 8, 0).iend().bytes();
    c32bppDIB dib;
    const Load l = loadInto(dib, png);
    EXPECT_TRUE(l.result);
    EXPECT_EQ(l.failure, (LoadFailure{DecodeFailure::kBadData, "no IDAT data"}));
}

TEST(PngChunkWalk, PaletteLengthNotAMultipleOfThreeGivesNoImage) {
    const Bytes png = PngBuilder()
                          .ihdr(1, 1, 8, 3)
                          .chunk("PLTE", Bytes(10, 1))
                          .idat(zlibOf({0, 0}))
                          .iend()
                          .bytes();
    c32bppDIB dib;
    const Load l = loadInto(dib, png);
    EXPECT_TRUE(l.result);
    EXPECT_EQ(l.failure,
              (LoadFailure{DecodeFailure::kBadHeader, "PLTE length not a multiple of 3"}));
    EXPECT_EQ(dib.BitsPointer(), nullptr);
}

// ---- Checksums ------------------------------------------------------------------------------

TEST(PngChecksums, DamagedImageDataChecksumFailsOnlyWithTheLibrary) {
    const Bytes png = PngBuilder().ihdr(1, 1, 8, 0).idat(zlibOf({0, 42}), true).iend().bytes();
    {
        c32bppDIB dib;
        const Load l = loadInto(dib, png);
        EXPECT_TRUE(l.result);
        EXPECT_EQ(l.failure, (LoadFailure{DecodeFailure::kChecksum, "CRC mismatch in IDAT"}));
        EXPECT_EQ(dib.BitsPointer(), nullptr);
    }
    {
        compression::ScopedAbsent absent;
        c32bppDIB dib;
        ASSERT_TRUE(loadInto(dib, png).result);
        ASSERT_NE(dib.BitsPointer(), nullptr);
        EXPECT_EQ(pixel(dib, 0, 0), (Px{42, 42, 42, 255}));
    }
}

TEST(PngChecksums, StoredChecksumOfZeroIsNotTested) {
    Bytes png = PngBuilder().ihdr(1, 1, 8, 0).idat(zlibOf({0, 42})).iend().bytes();
    // Zero the IDAT's CRC: the 4 bytes before IEND's 12.
    std::fill(png.end() - 16, png.end() - 12, 0);
    c32bppDIB dib;
    ASSERT_TRUE(loadInto(dib, png).result);
    EXPECT_NE(dib.BitsPointer(), nullptr);
}

// ---- Transparency -------------------------------------------------------------------------

TEST(PngTransparency, ShortChunkOnRgbIsIgnored) {
    const Bytes png = PngBuilder()
                          .ihdr(1, 1, 8, 2)
                          .chunk("tRNS", {0, 1})
                          .idat(zlibOf({0, 0, 1, 0}))
                          .iend()
                          .bytes();
    c32bppDIB dib;
    ASSERT_TRUE(loadInto(dib, png).result);
    EXPECT_FALSE(dib.Alpha());
    EXPECT_EQ(pixel(dib, 0, 0), (Px{0, 1, 0, 255}));
}

TEST(PngTransparency, PaletteEntriesBeyondTheChunkAreOpaque) {
    Bytes plte;
    for (int i = 0; i < 5; ++i)
        plte.insert(plte.end(), {200, 100, 50});
    const Bytes png = PngBuilder()
                          .ihdr(5, 1, 8, 3)
                          .chunk("PLTE", plte)
                          .chunk("tRNS", {0, 128, 255})
                          .idat(zlibOf({0, 0, 1, 2, 3, 4}))
                          .iend()
                          .bytes();
    c32bppDIB dib;
    ASSERT_TRUE(loadInto(dib, png).result);
    EXPECT_TRUE(dib.Alpha());
    EXPECT_EQ(pixel(dib, 0, 0), (Px{0, 0, 0, 0}));
    EXPECT_EQ(pixel(dib, 1, 0), (Px{25, 50, 100, 128}));
    EXPECT_EQ(pixel(dib, 2, 0), (Px{50, 100, 200, 255}));
    EXPECT_EQ(pixel(dib, 3, 0), (Px{50, 100, 200, 255}));
    EXPECT_EQ(pixel(dib, 4, 0), (Px{50, 100, 200, 255}));
}

TEST(PngTransparency, GrayValueMakesMatchingPixelsClear) {
    const Bytes png = PngBuilder()
                          .ihdr(3, 1, 8, 0)
                          .chunk("tRNS", {0, 7})
                          .idat(zlibOf({0, 6, 7, 8}))
                          .iend()
                          .bytes();
    c32bppDIB dib;
    ASSERT_TRUE(loadInto(dib, png).result);
    EXPECT_TRUE(dib.Alpha());
    EXPECT_EQ(pixel(dib, 0, 0), (Px{6, 6, 6, 255}));
    EXPECT_EQ(pixel(dib, 1, 0), (Px{0, 0, 0, 0}));
    EXPECT_EQ(pixel(dib, 2, 0), (Px{8, 8, 8, 255}));
}

TEST(PngTransparency, ASecondShortChunkLeavesTheFirstInForce) {
    // 16-bit gray: the match reads tRNS byte 0, which a 1-byte second chunk would not hold.
    const Bytes png = PngBuilder()
                          .ihdr(2, 1, 16, 0)
                          .chunk("tRNS", {0x12, 0x34})
                          .chunk("tRNS", {0x99})
                          .idat(zlibOf({0, 0x12, 0x00, 0x13, 0x00}))
                          .iend()
                          .bytes();
    c32bppDIB dib;
    ASSERT_TRUE(loadInto(dib, png).result);
    EXPECT_TRUE(dib.Alpha());
    EXPECT_EQ(pixel(dib, 0, 0), (Px{0, 0, 0, 0}));  // high byte 0x12 matches
    EXPECT_EQ(pixel(dib, 1, 0), (Px{0x13, 0x13, 0x13, 255}));
}

TEST(PngTransparency, SixteenBitColourKeyMatchesOnHighBytesOnly) {
    const Bytes png = PngBuilder()
                          .ihdr(2, 1, 16, 2)
                          .chunk("tRNS", {0x10, 0x01, 0x20, 0x02, 0x30, 0x03})
                          .idat(zlibOf({0, 0x10, 0xFF, 0x20, 0xEE, 0x30, 0xDD, 0x10, 0x01, 0x20,
                                        0x02, 0x31, 0x03}))
                          .iend()
                          .bytes();
    c32bppDIB dib;
    ASSERT_TRUE(loadInto(dib, png).result);
    EXPECT_TRUE(dib.Alpha());
    EXPECT_EQ(pixel(dib, 0, 0), (Px{0, 0, 0, 0}));
    EXPECT_EQ(pixel(dib, 1, 0), (Px{0x31, 0x20, 0x10, 255}));
}

// ---- Conversion rules ---------------------------------------------------------------------

TEST(PngConversion, RgbaIsPremultipliedWithTruncation) {
    c32bppDIB dib;
    ASSERT_TRUE(loadInto(dib, simplePng(1, 1, 8, 6, {0, 200, 100, 50, 128})).result);
    EXPECT_EQ(pixel(dib, 0, 0), (Px{25, 50, 100, 128}));
    EXPECT_TRUE(dib.Alpha());
    EXPECT_EQ(dib.ImageType(), imgPNG);
}

TEST(PngConversion, TwoBitGrayRamp) {
    c32bppDIB dib;
    ASSERT_TRUE(loadInto(dib, simplePng(4, 1, 2, 0, {0, 0x1B})).result);  // samples 0 1 2 3
    EXPECT_EQ(pixel(dib, 0, 0), (Px{0, 0, 0, 255}));
    EXPECT_EQ(pixel(dib, 1, 0), (Px{85, 85, 85, 255}));
    EXPECT_EQ(pixel(dib, 2, 0), (Px{170, 170, 170, 255}));
    EXPECT_EQ(pixel(dib, 3, 0), (Px{255, 255, 255, 255}));
    EXPECT_FALSE(dib.Alpha());
}

TEST(PngConversion, OneBitPaletteWithoutPaletteChunkIsBlackAndWhite) {
    c32bppDIB dib;
    ASSERT_TRUE(loadInto(dib, simplePng(3, 1, 1, 3, {0, 0x40})).result);  // 0 1 0
    EXPECT_EQ(pixel(dib, 0, 0), (Px{0, 0, 0, 255}));
    EXPECT_EQ(pixel(dib, 1, 0), (Px{255, 255, 255, 255}));
    EXPECT_EQ(pixel(dib, 2, 0), (Px{0, 0, 0, 255}));
}

TEST(PngConversion, PaletteIndexBeyondThePaletteFails) {
    const Bytes png = PngBuilder()
                          .ihdr(2, 1, 8, 3)
                          .chunk("PLTE", {1, 2, 3, 4, 5, 6})
                          .idat(zlibOf({0, 1, 2}))
                          .iend()
                          .bytes();
    c32bppDIB dib;
    const Load l = loadInto(dib, png);
    EXPECT_TRUE(l.result);
    EXPECT_EQ(l.failure, (LoadFailure{DecodeFailure::kBadData, "palette index past the palette"}));
    EXPECT_EQ(dib.BitsPointer(), nullptr);
}

TEST(PngConversion, SixteenBitSamplesUseTheirHighBytes) {
    c32bppDIB dib;
    ASSERT_TRUE(
        loadInto(dib, simplePng(1, 1, 16, 6, {0, 0xC8, 0xFF, 0x64, 0x01, 0x32, 0x80, 0x80, 0x7F}))
            .result);
    EXPECT_EQ(pixel(dib, 0, 0), (Px{25, 50, 100, 128}));
    c32bppDIB gray;
    ASSERT_TRUE(loadInto(gray, simplePng(1, 1, 16, 4, {0, 0xAB, 0xCD, 0xFF, 0x00})).result);
    EXPECT_EQ(pixel(gray, 0, 0), (Px{0xAB, 0xAB, 0xAB, 255}));
}

TEST(PngConversion, ShortImageDataLeavesZeroRows) {
    // Two rows of RGB; the data holds only the first.
    c32bppDIB dib;
    ASSERT_TRUE(loadInto(dib, simplePng(1, 2, 8, 2, {0, 9, 8, 7})).result);
    EXPECT_EQ(pixel(dib, 0, 0), (Px{7, 8, 9, 255}));
    EXPECT_EQ(pixel(dib, 0, 1), (Px{0, 0, 0, 255}));
}

// Rows past the end of the data decode as rows of zero bytes would (the decoder copies the first
// such row instead of decoding each): for every format and every length of data, the image is
// the one the data padded with zeros to its full size gives. Zero is a palette colour, a
// transparent colour key and a filter that leans on the row above in the cases below.
TEST(PngConversion, DataEndingAnywhereDecodesAsIfPaddedWithZeros) {
    struct Case {
        const char* what;
        std::uint32_t w, h;
        std::uint8_t depth, colorType, interlace;
    };
    const Case cases[] = {
        {"rgb 8", 3, 9, 8, 2, 0},
        {"rgba 16", 2, 7, 16, 6, 0},
        {"palette 2", 5, 8, 2, 3, 0},
        {"gray 8 keyed 0", 4, 6, 8, 0, 0},
        {"rgb 8 interlaced", 5, 9, 8, 2, 1},
    };
    for (const Case& c : cases) {
        PngBuilder head;
        head.ihdr(c.w, c.h, c.depth, c.colorType, c.interlace);
        if (c.colorType == 3) head.chunk("PLTE", {200, 100, 50, 1, 2, 3, 4, 5, 6, 7, 8, 9});
        if (c.colorType == 0) head.chunk("tRNS", {0, 0});
        const std::size_t full =
            *png::expectedSize({static_cast<std::int32_t>(c.w), static_cast<std::int32_t>(c.h),
                                c.depth, c.colorType, c.interlace});
        std::mt19937 rng(c.w * 7 + c.h);
        Bytes raw(full);
        for (auto& b : raw)
            b = static_cast<std::uint8_t>(rng());
        // Filter bytes: Up (2) in the first rows, then anything from 0 to 4.
        const std::size_t line = full / c.h;
        for (std::size_t at = 0; !c.interlace && at < full; at += line)
            raw[at] = static_cast<std::uint8_t>(at / line < 2 ? 2 : rng() % 5);
        for (std::size_t length = 0; length <= full; ++length) {
            Bytes shortData(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(length));
            Bytes padded = shortData;
            padded.resize(full, 0);
            const auto load = [&](const Bytes& data, c32bppDIB& dib) {
                return loadInto(dib, PngBuilder(head).idat(zlibOf(data)).iend().bytes());
            };
            c32bppDIB got, want;
            const Load a = load(shortData, got), b = load(padded, want);
            ASSERT_EQ(a.result, b.result) << c.what << ", " << length << " bytes";
            ASSERT_EQ(got.BitsPointer() == nullptr, want.BitsPointer() == nullptr)
                << c.what << ", " << length << " bytes";
            if (!want.BitsPointer()) continue;
            ASSERT_TRUE(std::equal(got.BitsPointer(), got.BitsPointer() + c.w * c.h * 4,
                                   want.BitsPointer()))
                << c.what << ", " << length << " bytes";
        }
    }
}

TEST(PngConversion, FilterTypeFiveIsTakenUnfilteredUnlessInterlaced) {
    c32bppDIB dib;
    ASSERT_TRUE(loadInto(dib, simplePng(2, 2, 8, 0, {0, 10, 20, 5, 3, 4})).result);
    EXPECT_EQ(pixel(dib, 0, 1), (Px{3, 3, 3, 255}));
    EXPECT_EQ(pixel(dib, 1, 1), (Px{4, 4, 4, 255}));
    // Interlaced 1 x 2: pass 1 holds row 0, pass 7 row 1.
    c32bppDIB inter;
    const Load l = loadInto(inter, simplePng(1, 2, 8, 0, {0, 10, 5, 3}, 1));
    EXPECT_TRUE(l.result);
    EXPECT_EQ(l.failure, (LoadFailure{DecodeFailure::kBadData, "bad filter"}));
    EXPECT_EQ(inter.BitsPointer(), nullptr);
    c32bppDIB good;
    // Up in pass 7 sees no previous row: the row of pass 1 belongs to another block.
    ASSERT_TRUE(loadInto(good, simplePng(1, 2, 8, 0, {0, 10, 2, 3}, 1)).result);
    EXPECT_EQ(pixel(good, 0, 1), (Px{3, 3, 3, 255}));
}

TEST(PngInterlace, OneByOneDecodesFromPassOneAlone) {
    c32bppDIB dib;
    ASSERT_TRUE(loadInto(dib, simplePng(1, 1, 8, 6, {0, 1, 2, 3, 255}, 1)).result);
    EXPECT_EQ(pixel(dib, 0, 0), (Px{3, 2, 1, 255}));
}

TEST(PngInterlace, MatchesTheSameImageNotInterlaced) {
    // 11 x 9 RGB: every pass non-empty; each pixel's value depends on its position.
    const int w = 11, h = 9;
    auto value = [](int x, int y, int c) {
        return static_cast<std::uint8_t>(x * 20 + y * 3 + c * 50);
    };
    Bytes flat;
    for (int y = 0; y < h; ++y) {
        flat.push_back(0);
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                flat.push_back(value(x, y, c));
    }
    Bytes inter;
    for (std::size_t p = 0; p < 7; ++p) {
        const png::Pass& pass = png::kPasses[p];
        for (int y = pass.startRow; y < h; y += pass.rowStep) {
            if (pass.startColumn >= w) break;
            inter.push_back(1);  // Sub, to exercise unfiltering inside passes
            std::array<std::uint8_t, 3> left{};
            for (int x = pass.startColumn; x < w; x += pass.columnStep)
                for (int c = 0; c < 3; ++c) {
                    inter.push_back(static_cast<std::uint8_t>(value(x, y, c) - left[c]));
                    left[c] = value(x, y, c);
                }
        }
    }
    c32bppDIB a, b;
    ASSERT_TRUE(loadInto(a, simplePng(w, h, 8, 2, flat)).result);
    ASSERT_TRUE(loadInto(b, simplePng(w, h, 8, 2, inter, 1)).result);
    ASSERT_NE(a.BitsPointer(), nullptr);
    ASSERT_NE(b.BitsPointer(), nullptr);
    EXPECT_EQ(0, std::memcmp(a.BitsPointer(), b.BitsPointer(), w * h * 4));
    EXPECT_EQ(pixel(b, 10, 8), (Px{value(10, 8, 2), value(10, 8, 1), value(10, 8, 0), 255}));
}

// ---- The built-in inflater inside a load ----------------------------------------------------

TEST(PngWithoutLibrary, StoredBlocksDecodeAndABadNlenFails) {
    compression::ScopedAbsent absent;
    Bytes raw;
    for (int y = 0; y < 3; ++y)
        raw.insert(raw.end(), {0, static_cast<std::uint8_t>(y), 50, 60});
    c32bppDIB dib;
    ASSERT_TRUE(
        loadInto(dib, PngBuilder().ihdr(1, 3, 8, 2).idat(test::storedZlibOf(raw, 5)).iend().bytes())
            .result);
    EXPECT_EQ(pixel(dib, 0, 2), (Px{60, 50, 2, 255}));
    c32bppDIB bad;
    const Load l = loadInto(
        bad, PngBuilder().ihdr(1, 3, 8, 2).idat(test::storedZlibOf(raw, 5, true)).iend().bytes());
    EXPECT_TRUE(l.result);
    EXPECT_EQ(l.failure, (LoadFailure{DecodeFailure::kBadData, "stored block length check fails"}));
    EXPECT_EQ(bad.BitsPointer(), nullptr);
}

TEST(PngWithoutLibrary, SingleCodeDistanceTreeFails) {
    compression::ScopedAbsent absent;
    // 1 x 1 gray: filter byte 0 and sample 'A', coded with a dynamic block.
    const std::string rawText{'\0', 'A'};
    c32bppDIB good;
    ASSERT_TRUE(loadInto(good, PngBuilder()
                                   .ihdr(1, 1, 8, 0)
                                   .idat(test::dynamicBlock({1, 1}, 0, false, rawText))
                                   .iend()
                                   .bytes())
                    .result);
    EXPECT_EQ(pixel(good, 0, 0), (Px{'A', 'A', 'A', 255}));
    c32bppDIB bad;
    const Load l = loadInto(bad, PngBuilder()
                                     .ihdr(1, 1, 8, 0)
                                     .idat(test::dynamicBlock({1}, 0, false, rawText))
                                     .iend()
                                     .bytes());
    EXPECT_TRUE(l.result);
    EXPECT_EQ(l.failure, (LoadFailure{DecodeFailure::kBadData, "bad Huffman code lengths"}));
    EXPECT_EQ(bad.BitsPointer(), nullptr);
}

// ---- Row-by-row decoding: the same results as the whole-buffer order --------------------------

// A random RGBA image of w x h pixels as raw image data (every row unfiltered), and its pixels as
// the surface must hold them: premultiplied by the formula, top row first.
struct RawImage {
    Bytes raw;
    std::vector<Px> expected;
};
RawImage randomRgba(int w, int h, std::uint32_t seed) {
    std::mt19937 rng(seed);
    RawImage img;
    for (int y = 0; y < h; ++y) {
        img.raw.push_back(0);
        for (int x = 0; x < w; ++x) {
            const std::uint32_t pick = rng() % 4;
            const std::uint8_t a = pick == 0   ? 0
                                   : pick == 1 ? 255
                                               : static_cast<std::uint8_t>(rng());
            const std::uint8_t r = static_cast<std::uint8_t>(rng()),
                               g = static_cast<std::uint8_t>(rng()),
                               b = static_cast<std::uint8_t>(rng());
            img.raw.insert(img.raw.end(), {r, g, b, a});
            auto pm = [a](std::uint8_t c) { return static_cast<std::uint8_t>(c * a / 255); };
            img.expected.push_back(a == 0 ? Px{0, 0, 0, 0} : Px{pm(b), pm(g), pm(r), a});
        }
    }
    return img;
}

// The zlib stream split into IDAT chunks of `piece` bytes.
Bytes splitPng(int w, int h, const Bytes& z, std::size_t piece) {
    PngBuilder b;
    b.ihdr(static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h), 8, 6);
    for (std::size_t at = 0; at < z.size(); at += piece)
        b.idat(Bytes(z.begin() + static_cast<std::ptrdiff_t>(at),
                     z.begin() + static_cast<std::ptrdiff_t>(std::min(z.size(), at + piece))));
    return b.iend().bytes();
}

bool holds(const c32bppDIB& dib, const RawImage& img, int w, int h) {
    if (!dib.BitsPointer() || dib.Width() != w || dib.Height() != h) return false;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (pixel(dib, x, y) != img.expected[static_cast<std::size_t>(y * w + x)]) return false;
    return true;
}

// Images larger than the decoder's window of rows, their data in IDAT chunks of every size from
// one byte to all of it, with and without the library: always the same pixels.
TEST(PngRowByRow, EveryImageDataSplitDecodesTheSamePixels) {
    const int w = 301, h = 257;  // 1205-byte rows, 300 KiB in all
    const RawImage img = randomRgba(w, h, 5);
    const Bytes z = zlibOf(img.raw);
    for (const bool library : {true, false}) {
        compression::ScopedAbsent absent(!library);
        for (const std::size_t piece :
             {std::size_t{1}, std::size_t{7}, std::size_t{4096}, z.size()}) {
            if (piece == 1 && !library) continue;  // the same gathering as 7
            c32bppDIB dib;
            const Load l = loadInto(dib, splitPng(w, h, z, piece));
            EXPECT_TRUE(l.result);
            EXPECT_FALSE(l.failure.failed());
            EXPECT_TRUE(holds(dib, img, w, h)) << "library " << library << " piece " << piece;
        }
    }
}

// A stream that goes wrong after most rows were decoded leaves no image, whichever inflater
// failed last; a wrong Adler-32, which only the library checks (at the very end), gives the
// built-in inflater its turn from the start, and the whole image results.
TEST(PngRowByRow, LateStreamFaultsLeaveNoImageOrFallBackToTheBuiltInInflater) {
    const int w = 200, h = 300;
    const RawImage img = randomRgba(w, h, 9);
    const Bytes z = zlibOf(img.raw, 1);
    Bytes truncated(z.begin(), z.end() - static_cast<std::ptrdiff_t>(z.size() / 20));
    Bytes longer = zlibOf([&] {
        Bytes r = img.raw;
        r.push_back(0);  // one byte more than the image holds
        return r;
    }());
    Bytes badAdler = z;
    badAdler.back() ^= 0x01;
    for (const bool library : {true, false}) {
        compression::ScopedAbsent absent(!library);
        // The failure is the built-in inflater's, which runs last either way.
        const std::pair<const Bytes*, LoadFailure> streams[] = {
            {&truncated, {DecodeFailure::kBadData, "deflate data ends early"}},
            {&longer, {DecodeFailure::kBadData, "inflates past the expected size"}},
        };
        for (const auto& [stream, failure] : streams) {
            c32bppDIB dib;
            const Load l = loadInto(dib, splitPng(w, h, *stream, 8192));
            EXPECT_TRUE(l.result);
            EXPECT_EQ(l.failure, failure) << "library " << library;
            EXPECT_EQ(dib.BitsPointer(), nullptr);
        }
        c32bppDIB dib;
        const Load l = loadInto(dib, splitPng(w, h, badAdler, 8192));
        EXPECT_FALSE(l.failure.failed()) << "library " << library;
        EXPECT_TRUE(holds(dib, img, w, h)) << "library " << library;
    }
}

// The caller's surface is taken only by a whole image: data that does not decompress (by the
// library or the built-in inflater) or a walk that fails leaves it as it was; a row that cannot
// be converted empties it.
TEST(PngRowByRow, SurfaceIsTouchedOnlyByAWholeImageOrAConversionFailure) {
    const int w = 40, h = 30;
    const RawImage img = randomRgba(w, h, 11);
    const Bytes z = zlibOf(img.raw, 1);
    const Bytes truncated(z.begin(), z.end() - 40);
    const Bytes longer = zlibOf([&] {
        Bytes r = img.raw;
        r.push_back(0);
        return r;
    }());
    enum class After { Untouched, Empty, Decoded };
    struct Case {
        const char* what;
        Bytes png;
        After after;
    };
    const Case cases[] = {
        {"truncated data", splitPng(w, h, truncated, 500), After::Untouched},
        {"data longer than the image", splitPng(w, h, longer, 500), After::Untouched},
        {"stored block with a bad NLEN",
         PngBuilder()
             .ihdr(2, 1, 8, 0)
             .idat(test::storedZlibOf({0, 7, 9}, 65535, true))
             .iend()
             .bytes(),
         After::Untouched},
        {"no end after the data", PngBuilder().ihdr(w, h, 8, 6).idat(z).bytes(), After::Untouched},
        {"filter type 5 when interlaced", simplePng(1, 2, 8, 0, {0, 10, 5, 3}, 1), After::Empty},
        {"whole image", splitPng(w, h, z, 500), After::Decoded},
    };
    for (const bool library : {true, false}) {
        compression::ScopedAbsent absent(!library);
        for (const Case& c : cases) {
            c32bppDIB dib;
            ASSERT_TRUE(dib.InitializeDIB(5, 7));
            std::memset(dib.BitsPointer(), 0x5A, 5 * 7 * 4);
            const std::uint8_t* before = dib.BitsPointer();
            EXPECT_TRUE(loadInto(dib, c.png).result) << c.what;
            switch (c.after) {
                case After::Untouched:
                    EXPECT_EQ(dib.BitsPointer(), before) << c.what << ", library " << library;
                    EXPECT_EQ(dib.Width(), 5) << c.what;
                    EXPECT_EQ(dib.Height(), 7) << c.what;
                    EXPECT_EQ(dib.ImageType(), imgCreated) << c.what;
                    EXPECT_EQ(std::count(dib.BitsPointer(), dib.BitsPointer() + 5 * 7 * 4, 0x5A),
                              5 * 7 * 4)
                        << c.what;
                    break;
                case After::Empty:
                    EXPECT_EQ(dib.BitsPointer(), nullptr) << c.what << ", library " << library;
                    break;
                case After::Decoded:
                    EXPECT_TRUE(holds(dib, img, w, h)) << c.what << ", library " << library;
                    EXPECT_EQ(dib.ImageType(), imgPNG) << c.what;
                    break;
            }
        }
    }
}

// A walk that fails after the image data (a damaged chunk after it, or no IEND) leaves no image
// although every row was decoded.
TEST(PngRowByRow, AWalkThatFailsAfterTheImageDataLeavesNoImage) {
    const RawImage img = randomRgba(64, 64, 3);
    const Bytes z = zlibOf(img.raw);
    const Bytes damagedPalette =
        PngBuilder().ihdr(64, 64, 8, 6).idat(z).chunk("PLTE", Bytes(10, 1)).iend().bytes();
    const Bytes noEnd = PngBuilder().ihdr(64, 64, 8, 6).idat(z).bytes();
    Bytes cutChunk = PngBuilder().ihdr(64, 64, 8, 6).idat(z).chunk("tEXt", Bytes(40, 120)).bytes();
    cutChunk.resize(cutChunk.size() - 10);
    for (const Bytes* png :
         std::initializer_list<const Bytes*>{&damagedPalette, &noEnd, &cutChunk}) {
        c32bppDIB dib;
        const Load l = loadInto(dib, *png);
        EXPECT_TRUE(l.result);
        EXPECT_TRUE(l.failure.failed());
        EXPECT_EQ(dib.BitsPointer(), nullptr);
    }
}

// Palette and transparency chunks after the image data (out of order, but read) apply to the
// whole image, as when every IDAT was gathered before decoding.
TEST(PngRowByRow, PaletteAndTransparencyAfterTheImageDataApplyToAllOfIt) {
    // 8-bit palette image, 3 x 2, indices 0 1 2 / 2 1 0.
    const Bytes raw = {0, 0, 1, 2, 0, 2, 1, 0};
    const Bytes firstPalette = {10, 20, 30, 40, 50, 60, 70, 80, 90};
    const Bytes finalPalette = {200, 100, 0, 0, 100, 200, 50, 50, 50};
    const Bytes png = PngBuilder()
                          .ihdr(3, 2, 8, 3)
                          .chunk("PLTE", firstPalette)
                          .idat(zlibOf(raw))
                          .chunk("PLTE", finalPalette)
                          .chunk("tRNS", {255, 0})
                          .iend()
                          .bytes();
    c32bppDIB dib;
    ASSERT_TRUE(loadInto(dib, png).result);
    ASSERT_NE(dib.BitsPointer(), nullptr);
    EXPECT_EQ(pixel(dib, 0, 0), (Px{0, 100, 200, 255}));
    EXPECT_EQ(pixel(dib, 1, 0), (Px{0, 0, 0, 0}));
    EXPECT_EQ(pixel(dib, 2, 0), (Px{50, 50, 50, 255}));
    EXPECT_EQ(pixel(dib, 0, 1), (Px{50, 50, 50, 255}));
    EXPECT_TRUE(dib.Alpha());
}

// ---- File mode ------------------------------------------------------------------------------

class PngFileMode : public ::testing::Test {
  protected:
    std::filesystem::path write(const Bytes& bytes) {
        path_ =
            std::filesystem::temp_directory_path() /
            ("talvrin_png_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".png");
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path_;
    }
    void TearDown() override {
        if (!path_.empty()) std::filesystem::remove(path_);
    }
    Load loadFile(c32bppDIB& dib, const Bytes& bytes) {
        platform::File f = platform::OpenImageFile(write(bytes).string(), true);
        EXPECT_TRUE(f.isOpen());
        cPNGparser parser;
        std::uint32_t token = 0;
        const bool r = parser.LoadFile(f, u"x.png", dib, token);
        return {r, parser.lastLoadFailure()};
    }
    std::filesystem::path path_;
};

TEST_F(PngFileMode, DecodesLikeStreamMode) {
    const Bytes png = simplePng(2, 1, 8, 6, {0, 200, 100, 50, 128, 1, 2, 3, 255});
    c32bppDIB dib;
    ASSERT_TRUE(loadFile(dib, png).result);
    ASSERT_EQ(dib.Width(), 2);
    EXPECT_EQ(pixel(dib, 0, 0), (Px{25, 50, 100, 128}));
    EXPECT_EQ(pixel(dib, 1, 0), (Px{3, 2, 1, 255}));
}

TEST_F(PngFileMode, SmallFilesAndMissingEnd) {
    Bytes small = simplePng(1, 1, 8, 0, {0, 1});
    small.resize(56);
    c32bppDIB dib;
    EXPECT_FALSE(loadFile(dib, small).result);
    const Bytes noEnd =
        PngBuilder().ihdr(1, 1, 8, 0).idat(zlibOf({0, 1})).chunk("tEXt", Bytes(20, 'a')).bytes();
    const Load l = loadFile(dib, noEnd);
    EXPECT_TRUE(l.result);
    EXPECT_EQ(l.failure, (LoadFailure{DecodeFailure::kTruncated, "no IEND chunk"}));
    EXPECT_EQ(dib.BitsPointer(), nullptr);
}

// The file is read in pieces: a chunk larger than a piece decodes as in stream mode, and its
// checksum covers every piece.
TEST_F(PngFileMode, LargeChunksAreReadInPiecesAndChecksummedWhole) {
    const int w = 300, h = 300;
    const RawImage img = randomRgba(w, h, 11);
    const Bytes z = zlibOf(img.raw, 0);  // stored: larger than a piece of the file
    ASSERT_GT(z.size(), 200000u);
    c32bppDIB dib;
    const Load l = loadFile(dib, splitPng(w, h, z, z.size()));
    EXPECT_FALSE(l.failure.failed());
    EXPECT_TRUE(holds(dib, img, w, h));
    Bytes damaged = splitPng(w, h, z, z.size());
    damaged[damaged.size() - 12 - 4 - 100000] ^= 0x40;  // inside the IDAT data, past a piece
    c32bppDIB bad;
    const Load d = loadFile(bad, damaged);
    EXPECT_TRUE(d.result);
    EXPECT_EQ(d.failure, (LoadFailure{DecodeFailure::kChecksum, "CRC mismatch in IDAT"}));
    EXPECT_EQ(bad.BitsPointer(), nullptr);
}

}  // namespace
}  // namespace talvrin
