// The pixel stage on its own: the optimised unfiltering against a plain per-byte reference for
// every filter, unit and width; the premultiplication against its formula for every input; the
// data sizes against a count made pass by pass.
#include "image/codecs/png_pixels.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

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

TEST(PngUnfilter, MatchesTheReferenceForEveryFilterUnitAndWidth) {
    std::mt19937 rng(1234);
    for (unsigned unit : {1u, 2u, 3u, 4u, 6u, 8u}) {
        for (std::size_t len = 1; len <= 40; ++len) {
            const std::size_t rows = 6;
            Bytes block(rows * (len + 1));
            // Small values make the Paeth distances tie often.
            for (auto& b : block)
                b = static_cast<std::uint8_t>(rng() % 4 == 0 ? rng() : rng() % 3);
            for (std::size_t r = 0; r < rows; ++r)
                block[r * (len + 1)] = static_cast<std::uint8_t>((r + len) % 6);
            Bytes expected = block;
            referenceUnfilter(expected, rows, len, unit);
            ASSERT_TRUE(unfilterRows(block.data(), rows, len, unit, false));
            ASSERT_EQ(block, expected) << "unit " << unit << " length " << len;
        }
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
