// The pixel stage on its own: the optimised unfiltering against a plain per-byte reference for
// every filter, unit and width; the premultiplication against its formula for every input; the
// data sizes against a count made pass by pass.
#include "image/codecs/png_pixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <random>
#include <vector>

#include "base/simd.h"

namespace talvrin::png {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The filters exactly as written: neighbours a, b, c with 0 outside the row or block.
void referenceUnfilter(Bytes& block, std::size_t rows, std::size_t len, unsigned u) {
    const std::size_t stride = len + 1;
    for (std::size_t r = 0; r < rows; ++r) {
        std::uint8_t* row = block.data() + r * stride + 1;
        const std::uint8_t* prev = r ? block.data() + (r - 1) * stride + 1 : nullptr;
        const std::uint8_t type = row[-1];
        for (std::size_t i = 0; i < len; ++i) {
            const int a = i >= u ? row[i - u] : 0;
            const int b = prev ? prev[i] : 0;
            const int c = (prev && i >= u) ? prev[i - u] : 0;
            int pred = 0;
            switch (type) {
                case 1:
                    pred = a;
                    break;
                case 2:
                    pred = b;
                    break;
                case 3:
                    pred = (a + b) / 2;
                    break;
                case 4: {
                    const int p = a + b - c;
                    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                    pred = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
                    break;
                }
                default:
                    pred = 0;
                    break;
            }
            row[i] = static_cast<std::uint8_t>(row[i] + pred);
        }
    }
}

// Every form against the reference: for each unit of the PNG formats, every width from 1 to 64
// pixels, every pair of filter types (the first row has no row above, the second has), rows
// that start at every offset from a 16-byte boundary, and guard bytes on both sides that must
// stay untouched.
TEST(PngUnfilter, EveryFormMatchesTheReferenceForEveryUnitWidthOffsetAndFilterPair) {
    constexpr std::size_t kGuard = 32;
    constexpr std::uint8_t kGuardByte = 0xA5;
    std::mt19937 rng(1234);
    int formsRun = 0;
    for (const simd::Level level : {simd::Level::kScalar, simd::Level::kSse2, simd::Level::kAvx2}) {
        if (simd::processorLevel() < level) continue;
        ++formsRun;
        const simd::ScopedLevelLimit held(level);
        for (const unsigned unit : {1u, 2u, 3u, 4u, 6u, 8u}) {
            for (std::size_t width = 1; width <= 64; ++width) {
                const std::size_t len = width * unit;
                for (std::size_t offset = 0; offset < 16; offset += (width % 4 == 0 ? 1 : 5)) {
                    for (std::uint8_t first = 0; first <= 5; ++first) {
                        for (std::uint8_t second = 0; second <= 5; ++second) {
                            Bytes block(2 * (len + 1));
                            // Small values make the Paeth distances tie often.
                            for (auto& b : block)
                                b = static_cast<std::uint8_t>(rng() % 4 == 0 ? rng() : rng() % 3);
                            block[0] = first;
                            block[len + 1] = second;
                            Bytes expected = block;
                            referenceUnfilter(expected, 2, len, unit);

                            Bytes memory(kGuard + offset + block.size() + kGuard, kGuardByte);
                            std::uint8_t* at = memory.data() + kGuard + offset;
                            std::copy(block.begin(), block.end(), at);
                            unfilterRow(first, at + 1, nullptr, len, unit);
                            unfilterRow(second, at + len + 2, at + 1, len, unit);
                            ASSERT_TRUE(std::equal(expected.begin(), expected.end(), at))
                                << "level " << int(level) << " unit " << unit << " width " << width
                                << " offset " << offset << " filters " << int(first) << ","
                                << int(second);
                            ASSERT_TRUE(
                                std::all_of(memory.begin(), memory.begin() + kGuard + offset,
                                            [](std::uint8_t b) { return b == kGuardByte; }));
                            ASSERT_TRUE(
                                std::all_of(memory.end() - kGuard, memory.end(),
                                            [](std::uint8_t b) { return b == kGuardByte; }));
                        }
                    }
                }
            }
        }
    }
    EXPECT_GE(formsRun, 1);
}

// The block form takes each row's filter byte and chains the rows.
TEST(PngUnfilter, BlocksChainTheirRowsForEveryUnit) {
    std::mt19937 rng(99);
    for (const unsigned unit : {1u, 2u, 3u, 4u, 6u, 8u}) {
        const std::size_t len = 37 * unit, rows = 12;
        Bytes block(rows * (len + 1));
        for (auto& b : block)
            b = static_cast<std::uint8_t>(rng());
        for (std::size_t r = 0; r < rows; ++r)
            block[r * (len + 1)] = static_cast<std::uint8_t>(r % 6);
        Bytes expected = block;
        referenceUnfilter(expected, rows, len, unit);
        ASSERT_TRUE(unfilterRows(block.data(), rows, len, unit, false));
        EXPECT_EQ(block, expected) << "unit " << unit;
    }
}

TEST(PngUnfilter, PaethTiesPreferAThenB) {
    // Unit 1, two rows. Row 1 byte 1 sees a = row1[0], b = row0[1], c = row0[0].
    // a = b = c = 10: the predictor is a (all equal, so the result is 10 + x either way).
    Bytes block = {0, 10, 10, 4, 0, 1};
    ASSERT_TRUE(unfilterRows(block.data(), 2, 2, 1, false));
    EXPECT_EQ(block[4], 10);  // first byte: predictor b
    EXPECT_EQ(block[5], 11);
    // a = 10, b = 20, c = 10: p = 20, pa = 10, pb = 0: the predictor is b.
    Bytes second = {0, 10, 20, 4, 0, 1};
    ASSERT_TRUE(unfilterRows(second.data(), 2, 2, 1, false));
    EXPECT_EQ(second[5], 21);
    // a = 20, b = 10, c = 10: p = 20, pa = 0: the predictor is a.
    Bytes third = {0, 10, 10, 4, 10, 1};
    ASSERT_TRUE(unfilterRows(third.data(), 2, 2, 1, false));
    EXPECT_EQ(third[4], 20);
    EXPECT_EQ(third[5], 21);
}

TEST(PngUnfilter, FilterTypeAboveFourFailsOnlyWhenAsked) {
    Bytes block = {5, 1, 2, 2, 1, 1};
    Bytes copy = block;
    EXPECT_TRUE(unfilterRows(copy.data(), 2, 2, 1, false));
    EXPECT_EQ(copy[1], 1);  // left unchanged
    EXPECT_EQ(copy[2], 2);
    EXPECT_EQ(copy[4], 2);  // the next row (Up) still builds on it
    EXPECT_EQ(copy[5], 3);
    EXPECT_FALSE(unfilterRows(block.data(), 2, 2, 1, true));
}

// The levels the row conversions have forms for: SSSE3 (RGB), SSE2 (RGBA) and one pixel at a
// time.
constexpr simd::Level kConvertLevels[] = {simd::Level::kSsse3, simd::Level::kSse2,
                                          simd::Level::kScalar};

// RGBA rows convert several pixels at a time, or one: every width from 1 to 64, with alpha 0,
// 255 and everything between, against the premultiplication formula.
TEST(PngConvert, RgbaRowsOfEveryWidthArePremultipliedByTheFormula) {
    std::mt19937 rng(31);
    for (const simd::Level level : kConvertLevels) {
        const simd::ScopedLevelLimit held(level);
        for (std::int32_t width = 1; width <= 64; ++width) {
            const std::int32_t height = 3;
            Bytes data;
            for (std::int32_t y = 0; y < height; ++y) {
                data.push_back(0);
                for (std::int32_t x = 0; x < width; ++x) {
                    const std::uint32_t pick = rng() % 4;
                    const std::uint8_t a = pick == 0   ? 0
                                           : pick == 1 ? 255
                                                       : static_cast<std::uint8_t>(rng());
                    for (int c = 0; c < 3; ++c)
                        data.push_back(static_cast<std::uint8_t>(rng()));
                    data.push_back(a);
                }
            }
            const Bytes source = data;
            std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4, 0xEE);
            ConversionContext ctx;
            ctx.header = {width, height, 8, kRgba, 0};
            ASSERT_TRUE(decodeImageData(data, ctx, PixelView{pixels.data(), width, height}));
            for (std::int32_t y = 0; y < height; ++y) {
                for (std::int32_t x = 0; x < width; ++x) {
                    const std::uint8_t* in = source.data() + y * (width * 4 + 1) + 1 + x * 4;
                    const std::uint8_t* out =
                        pixels.data() + (static_cast<std::size_t>(height - 1 - y) * width + x) * 4;
                    const unsigned a = in[3];
                    auto pm = [a](unsigned c) { return static_cast<std::uint8_t>(c * a / 255); };
                    const std::array<std::uint8_t, 4> want =
                        a == 0 ? std::array<std::uint8_t, 4>{0, 0, 0, 0}
                               : std::array<std::uint8_t, 4>{pm(in[2]), pm(in[1]), pm(in[0]),
                                                             static_cast<std::uint8_t>(a)};
                    ASSERT_EQ((std::array<std::uint8_t, 4>{out[0], out[1], out[2], out[3]}), want)
                        << "level " << int(level) << " width " << width << " pixel " << x << ","
                        << y;
                }
            }
        }
    }
}

// RGB rows without a colour key move several pixels at a time, or one: every width from 1 to 64.
TEST(PngConvert, RgbRowsOfEveryWidthBecomeOpaquePixels) {
    std::mt19937 rng(37);
    for (const simd::Level level : kConvertLevels) {
        const simd::ScopedLevelLimit held(level);
        for (std::int32_t width = 1; width <= 64; ++width) {
            const std::int32_t height = 2;
            Bytes data;
            for (std::int32_t y = 0; y < height; ++y) {
                data.push_back(0);
                for (std::int32_t x = 0; x < 3 * width; ++x)
                    data.push_back(static_cast<std::uint8_t>(rng()));
            }
            const Bytes source = data;
            std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4, 0xEE);
            ConversionContext ctx;
            ctx.header = {width, height, 8, kRgb, 0};
            ASSERT_TRUE(decodeImageData(data, ctx, PixelView{pixels.data(), width, height}));
            for (std::int32_t y = 0; y < height; ++y) {
                for (std::int32_t x = 0; x < width; ++x) {
                    const std::uint8_t* in = source.data() + y * (width * 3 + 1) + 1 + x * 3;
                    const std::uint8_t* out =
                        pixels.data() + (static_cast<std::size_t>(height - 1 - y) * width + x) * 4;
                    ASSERT_EQ((std::array<std::uint8_t, 4>{out[0], out[1], out[2], out[3]}),
                              (std::array<std::uint8_t, 4>{in[2], in[1], in[0], 255}))
                        << "level " << int(level) << " width " << width << " pixel " << x << ","
                        << y;
                }
            }
        }
    }
}

TEST(PngSizes, ExpectedSizeCountsEveryPassRow) {
    for (std::uint8_t interlace : {0, 1}) {
        for (std::int32_t w = 1; w <= 19; ++w) {
            for (std::int32_t h = 1; h <= 19; ++h) {
                const ImageHeader hdr{w, h, 4, kGray, interlace};
                std::size_t count = 0;
                const std::size_t first = interlace ? 0 : 7, last = interlace ? 7 : 8;
                for (std::size_t p = first; p < last; ++p) {
                    const Pass& pass = kPasses[p];
                    std::size_t cols = 0;
                    for (int x = pass.startColumn; x < w; x += pass.columnStep)
                        ++cols;
                    for (int y = pass.startRow; y < h; y += pass.rowStep)
                        count += (cols * 4 + 7) / 8 + 1;
                }
                ASSERT_EQ(expectedSize(hdr), count)
                    << w << "x" << h << " interlace " << int(interlace);
            }
        }
    }
}

}  // namespace
}  // namespace talvrin::png
