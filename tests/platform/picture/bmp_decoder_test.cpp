// The picture loader's BMP decoder on files built by the tests: every header form, the palette
// depths and palette rules, bit fields, run-length codings with their escapes and clipping, row
// order, and the files it must refuse.
#include "platform/picture/bmp_decoder.h"

#include <gtest/gtest.h>

#include <climits>

#include "support/bmp_test_builder.h"
#include "support/load_failure_printer.h"

namespace talvrin {
namespace {

using platform::Bitmap;
using platform::decodeBmp;
using test::BmpSpec;
using test::buildBmp;
using test::Bytes;

// Pixel (x, y), row 0 at the top, as 0xAARRGGBB.
std::uint32_t px(const Bitmap& b, int x, int y) {
    const std::uint8_t* p = b.rowFromTop(y) + 4 * x;
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

std::unique_ptr<Bitmap> decode(const Bytes& file) {
    return decodeBmp(ByteView(file.data(), file.size())).image;
}

// Why the file gives no bitmap (no failure when it gives one).
LoadFailure failureOf(const Bytes& file) {
    const auto [bitmap, failure] = decodeBmp(ByteView(file.data(), file.size()));
    EXPECT_EQ(bitmap == nullptr, failure.failed()) << explain(failure);
    return failure;
}

// A 2 x 2 24-bit image, bottom-up: bottom row red, green; top row blue, white.
BmpSpec rgb24Square(std::uint32_t headerSize) {
    BmpSpec s;
    s.headerSize = headerSize;
    s.width = 2;
    s.height = 2;
    s.pixels = {0,   0, 255, 0,   255, 0,   0, 0,   // bottom row + 2 padding bytes
                255, 0, 0,   255, 255, 255, 0, 0};  // top row + padding
    return s;
}

// ---- Header forms -----------------------------------------------------------------------------

class BmpHeaderForms : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(BmpHeaderForms, EveryHeaderSizeGivesTheSamePixels) {
    const auto bmp = decode(buildBmp(rgb24Square(GetParam())));
    ASSERT_NE(bmp, nullptr);
    ASSERT_EQ(bmp->width(), 2);
    ASSERT_EQ(bmp->height(), 2);
    EXPECT_EQ(px(*bmp, 0, 1), 0xFFFF0000u);
    EXPECT_EQ(px(*bmp, 1, 1), 0xFF00FF00u);
    EXPECT_EQ(px(*bmp, 0, 0), 0xFF0000FFu);
    EXPECT_EQ(px(*bmp, 1, 0), 0xFFFFFFFFu);
}

INSTANTIATE_TEST_SUITE_P(Sizes, BmpHeaderForms,
                         ::testing::Values(12u, 16u, 40u, 52u, 56u, 64u, 108u, 124u));

TEST(BmpHeaderForms, TopDownRowsLandUpright) {
    BmpSpec s = rgb24Square(40);
    s.height = -2;  // the first stored row is now the top row
    const auto bmp = decode(buildBmp(s));
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(px(*bmp, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(px(*bmp, 0, 1), 0xFF0000FFu);
}

// ---- Palettes ---------------------------------------------------------------------------------

TEST(BmpPalette, OneTwoFourAndEightBitIndicesUnpackFromTheHighBits) {
    struct Depth {
        std::uint16_t bits;
        std::uint32_t indices[4];
        Bytes row;  // the four indices packed
    };
    const Depth depths[] = {{1, {1, 0, 1, 1}, {0xB0, 0, 0, 0}},
                            {2, {1, 0, 3, 1}, {0x4D, 0, 0, 0}},
                            {4, {1, 0, 15, 1}, {0x10, 0xF1, 0, 0}},
                            {8, {1, 0, 255, 1}, {1, 0, 255, 1}}};
    for (std::uint32_t header : {12u, 40u}) {  // 3-byte and 4-byte palette entries
        for (const Depth& d : depths) {
            BmpSpec s;
            s.headerSize = header;
            s.bitsPerPixel = d.bits;
            s.width = 4;
            for (std::uint32_t i = 0; i < (1u << d.bits); ++i)
                s.palette.push_back((0x102030u + i * 0x030507u) & 0xFFFFFFu);
            s.pixels = d.row;
            const auto bmp = decode(buildBmp(s));
            ASSERT_NE(bmp, nullptr) << d.bits;
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(px(*bmp, x, 0), 0xFF000000u | s.palette[d.indices[x]])
                    << d.bits << " bits, x " << x << ", header " << header;
        }
    }
}

TEST(BmpPalette, ShortPalettesReadBlackAndOversizedCountsAreClamped) {
    BmpSpec s;
    s.bitsPerPixel = 8;
    s.width = 3;
    s.colorsUsed = 2;
    s.palette = {0xFFFFFF, 0x808080};
    s.pixels = {1, 2, 200, 0};
    auto bmp = decode(buildBmp(s));
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(px(*bmp, 0, 0), 0xFF808080u);
    EXPECT_EQ(px(*bmp, 1, 0), 0xFF000000u);
    EXPECT_EQ(px(*bmp, 2, 0), 0xFF000000u);

    // A count beyond 2^bits: the palette still ends where the pixel data begins.
    s.bitsPerPixel = 1;
    s.colorsUsed = 0x12345678;
    s.pixels = {0x40, 0, 0, 0};
    bmp = decode(buildBmp(s));
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(px(*bmp, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(px(*bmp, 1, 0), 0xFF808080u);
}

// ---- Bit fields -------------------------------------------------------------------------------

TEST(BmpBitFields, SixteenBitDefaultIsFiveFiveFiveScaledToFullRange) {
    BmpSpec s;
    s.bitsPerPixel = 16;
    s.width = 2;
    s.pixels = {0xFF, 0x7F, 0x10, 0x42};  // white; 0x4210 = 16, 16, 16
    const auto bmp = decode(buildBmp(s));
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(px(*bmp, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(px(*bmp, 1, 0), 0xFF848484u);  // 16 * 255 / 31 = 131.6 -> 132
}

TEST(BmpBitFields, ExplicitMasksInTheHeaderOrAfterIt) {
    for (bool after : {false, true}) {
        BmpSpec s;
        s.headerSize = after ? 40 : 56;
        s.masksAfterHeader = after;
        s.bitsPerPixel = 16;
        s.compression = 3;
        s.masks = {0xF800, 0x07E0, 0x001F};
        s.width = 2;
        s.pixels = {0x00, 0xF8, 0xE0, 0x07};  // pure red, pure green
        const auto bmp = decode(buildBmp(s));
        ASSERT_NE(bmp, nullptr) << after;
        EXPECT_EQ(px(*bmp, 0, 0), 0xFFFF0000u) << after;
        EXPECT_EQ(px(*bmp, 1, 0), 0xFF00FF00u) << after;
    }
}

TEST(BmpBitFields, AlphaMaskFillsAlphaAndOtherwiseAlphaIsOpaque) {
    BmpSpec s;
    s.headerSize = 40;
    s.masksAfterHeader = true;
    s.bitsPerPixel = 32;
    s.compression = 6;
    s.masks = {0x0000FF00, 0x00FF0000, 0xFF000000, 0x000000FF};  // A in the low byte
    s.pixels = {0x80, 0x30, 0x20, 0x10};
    auto bmp = decode(buildBmp(s));
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(px(*bmp, 0, 0), 0x80302010u);

    s.compression = 3;
    s.masks.resize(3);
    bmp = decode(buildBmp(s));
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(px(*bmp, 0, 0), 0xFF302010u);
}

// ---- Run-length codings -----------------------------------------------------------------------

BmpSpec rle8(std::int32_t width, std::int32_t height, Bytes data) {
    BmpSpec s;
    s.bitsPerPixel = 8;
    s.compression = 1;
    s.width = width;
    s.height = height;
    s.palette.assign(256, 0);
    for (std::uint32_t i = 0; i < 256; ++i)
        s.palette[i] = 0x010101u * i;
    s.pixels = std::move(data);
    return s;
}

TEST(BmpRunLength, Rle8RunsAbsoluteRunsAndEndOfLine) {
    // Bottom row: run of 2 x index 7, absolute 3 (9, 10, 11, padded), end of line. Top row:
    // run of 5 x index 4, end of bitmap.
    const auto bmp = decode(buildBmp(rle8(5, 2, {2, 7, 0, 3, 9, 10, 11, 0, 0, 0, 5, 4, 0, 1})));
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(px(*bmp, 0, 1), 0xFF070707u);
    EXPECT_EQ(px(*bmp, 1, 1), 0xFF070707u);
    EXPECT_EQ(px(*bmp, 2, 1), 0xFF090909u);
    EXPECT_EQ(px(*bmp, 4, 1), 0xFF0B0B0Bu);
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(px(*bmp, x, 0), 0xFF040404u);
}

TEST(BmpRunLength, DeltaAndEarlyEndLeaveSkippedPixelsAsBackground) {
    // Delta (2, 1) from the bottom-left corner, a run of 1 there, then end of bitmap.
    const auto bmp = decode(buildBmp(rle8(4, 3, {0, 2, 2, 1, 1, 9, 0, 1})));
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(px(*bmp, 2, 1), 0xFF090909u);
    EXPECT_EQ(px(*bmp, 0, 2), 0u);
    EXPECT_EQ(px(*bmp, 3, 1), 0u);
    EXPECT_EQ(px(*bmp, 0, 0), 0u);
}

TEST(BmpRunLength, RunsPastTheRowEndAreClippedNotWrapped) {
    // A run of 200 on a 3-wide image, an absolute run of 5, and a delta far outside.
    const auto bmp = decode(
        buildBmp(rle8(3, 2, {200, 5, 0, 5, 1, 2, 3, 4, 5, 0, 0, 0, 0, 2, 250, 250, 1, 7, 0, 1})));
    ASSERT_NE(bmp, nullptr);
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(px(*bmp, x, 1), 0xFF050505u);
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(px(*bmp, x, 0), 0u) << x;
}

TEST(BmpRunLength, TruncatedDataKeepsWhatWasDecoded) {
    const auto bmp = decode(buildBmp(rle8(4, 1, {2, 3, 0, 4, 8})));  // absolute run cut short
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(px(*bmp, 1, 0), 0xFF030303u);
    EXPECT_EQ(px(*bmp, 2, 0), 0xFF080808u);
    EXPECT_EQ(px(*bmp, 3, 0), 0u);
}

TEST(BmpRunLength, Rle4AlternatesNibblesInRunsAndAbsoluteRuns) {
    BmpSpec s;
    s.bitsPerPixel = 4;
    s.compression = 2;
    s.width = 8;
    s.palette.assign(16, 0);
    for (std::uint32_t i = 0; i < 16; ++i)
        s.palette[i] = 0x111111u * i;
    // Run of 3 alternating 1, 2; absolute 3 nibbles 4, 5, 6 (2 bytes, already even); end.
    s.pixels = {3, 0x12, 0, 3, 0x45, 0x60, 0, 1};
    const auto bmp = decode(buildBmp(s));
    ASSERT_NE(bmp, nullptr);
    const std::uint32_t want[] = {1, 2, 1, 4, 5, 6};
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(px(*bmp, x, 0), 0xFF000000u | (0x111111u * want[x]));
    EXPECT_EQ(px(*bmp, 6, 0), 0u);
}

TEST(BmpRunLength, Os2Rle24RunsAreBlueGreenRed) {
    BmpSpec s;
    s.headerSize = 64;
    s.bitsPerPixel = 24;
    s.compression = 4;
    s.width = 3;
    s.pixels = {2, 0x10, 0x20, 0x30, 0, 1};
    const auto bmp = decode(buildBmp(s));
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(px(*bmp, 1, 0), 0xFF302010u);
    EXPECT_EQ(px(*bmp, 2, 0), 0u);
}

TEST(BmpRunLength, TopDownRunLengthStartsAtTheTopRow) {
    const auto bmp = decode(buildBmp(rle8(1, -2, {1, 6, 0, 1})));
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(px(*bmp, 0, 0), 0xFF060606u);
    EXPECT_EQ(px(*bmp, 0, 1), 0u);
}

// ---- Refusals ---------------------------------------------------------------------------------

TEST(BmpRefusals, BadSizesDepthsAndCompressions) {
    const LoadFailure kSize{DecodeFailure::kBadHeader, "width or height"};
    const LoadFailure kDepth{DecodeFailure::kBadHeader, "depth and compression"};
    const struct {
        const char* name;
        void (*edit)(BmpSpec&);
        LoadFailure want;
    } cases[] = {
        {"width 0", [](BmpSpec& s) { s.width = 0; }, kSize},
        {"width -2", [](BmpSpec& s) { s.width = -2; }, kSize},
        {"height 0", [](BmpSpec& s) { s.height = 0; }, kSize},
        {"height INT_MIN", [](BmpSpec& s) { s.height = INT_MIN; }, kSize},
        {"2 planes", [](BmpSpec& s) { s.planes = 2; }, {DecodeFailure::kBadHeader, "planes not 1"}},
        {"3 bits", [](BmpSpec& s) { s.bitsPerPixel = 3; }, kDepth},
        {"embedded JPEG",
         [](BmpSpec& s) { s.compression = 4; },
         {DecodeFailure::kUnsupported, "compression: embedded JPEG or PNG, or unknown"}},
        {"RLE8 at 24 bits", [](BmpSpec& s) { s.compression = 1; }, kDepth},
        {"header of 14 bytes",
         [](BmpSpec& s) { s.headerSize = 14; },
         {DecodeFailure::kBadHeader, "header size"}},
        {"pixels past the end",
         [](BmpSpec& s) { s.dataOffset = 1000; },
         {DecodeFailure::kTruncated, "pixel data offset"}},
        {"good", [](BmpSpec&) {}, {}},
    };
    for (const auto& c : cases) {
        BmpSpec s = rgb24Square(40);
        c.edit(s);
        EXPECT_EQ(failureOf(buildBmp(s)), c.want) << c.name;
    }
}

TEST(BmpRefusals, TruncatedFilesAndHugeHeadersFailWithoutAllocating) {
    Bytes file = buildBmp(rgb24Square(40));
    EXPECT_NE(decode(file), nullptr);
    // The last row may lack its padding, but not a pixel.
    file.resize(file.size() - 2);
    EXPECT_NE(decode(file), nullptr);
    file.resize(file.size() - 1);
    EXPECT_EQ(failureOf(file), (LoadFailure{DecodeFailure::kTruncated, "pixel data"}));
    EXPECT_EQ(failureOf(Bytes(file.begin(), file.begin() + 20)),
              (LoadFailure{DecodeFailure::kTruncated, "information header"}));
    EXPECT_EQ(failureOf(Bytes{'B', 'M'}), (LoadFailure{DecodeFailure::kTruncated, "file header"}));

    // 2^31 x 2^31 pixels of 32 bits: the size arithmetic must not wrap into "enough data".
    BmpSpec huge = rgb24Square(40);
    huge.width = INT_MAX;
    huge.height = INT_MAX;
    huge.bitsPerPixel = 32;
    EXPECT_EQ(failureOf(buildBmp(huge)),
              (LoadFailure{DecodeFailure::kTooLarge, "beyond the pixel limit"}));
}

TEST(BmpRefusals, PixelLimitAppliesToRunLengthImages) {
    const Bytes file = buildBmp(rle8(1000, 1000, {0, 1}));
    EXPECT_EQ(decodeBmp(ByteView(file.data(), file.size()), 999'999).image, nullptr);
    EXPECT_NE(decodeBmp(ByteView(file.data(), file.size()), 1'000'000).image, nullptr);
}

}  // namespace
}  // namespace talvrin
