// Mirrored copies, the lightness change and the resampler (nearest and bilinear).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

#include "base/simd.h"
#include "image/surface/engine.h"
#include "render_test_support.h"

namespace talvrin {
namespace {

using testing::Pixel;

ConstPixelView viewOf(const c32bppDIB& d) {
    return {d.BitsPointer(), d.Width(), d.Height()};
}

TEST(EngineLightness, WorkedNumbers) {
    std::vector<Pixel> px = {{200, 200, 200, 255}, {90, 0, 90, 100}, {0, 0, 0, 0}};
    const PixelView v{px[0].data(), 3, 1};
    ASSERT_TRUE(engine::adjustLightness(v, v, 50.0f));
    EXPECT_EQ(px[0], (Pixel{255, 255, 255, 255}));  // m = 32512 / 255 = 127, capped at alpha
    EXPECT_EQ(px[1], (Pixel{100, 50, 100, 100}));   // m = 12750 / 255 = 50, capped at 100
    EXPECT_EQ(px[2], (Pixel{0, 0, 0, 0}));

    px = {{200, 100, 10, 255}, {90, 0, 90, 100}};
    ASSERT_TRUE(engine::adjustLightness(PixelView{px[0].data(), 2, 1},
                                        PixelView{px[0].data(), 2, 1}, -50.0f));
    // nearest(-32512.5) = -32512 (halves to even), / 255 truncates to -127.
    EXPECT_EQ(px[0], (Pixel{73, 0, 0, 255}));
    EXPECT_EQ(px[1], (Pixel{40, 0, 40, 100}));  // m = -50
}

TEST(EngineLightness, CopyLeavesSourceAndRejectsNonFinite) {
    Pixel src{10, 20, 30, 255};
    Pixel out{1, 1, 1, 1};
    ASSERT_TRUE(engine::adjustLightness(ConstPixelView{src.data(), 1, 1},
                                        PixelView{out.data(), 1, 1}, 10.0f));
    EXPECT_EQ(src, (Pixel{10, 20, 30, 255}));
    EXPECT_EQ(out, (Pixel{35, 45, 55, 255}));  // nearest(25.5 * 255) = 6502 -> 25
    EXPECT_FALSE(engine::adjustLightness(ConstPixelView{src.data(), 1, 1},
                                         PixelView{out.data(), 1, 1}, NAN));
}

TEST(EngineMirror, AxesAndSourceOrigins) {
    auto src = testing::engineSurface(3, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            testing::put(*src, x, y, {std::uint8_t(x), std::uint8_t(y), 0, 255});
    auto out = engine::WorkBuffer::create(2, 1, true);
    // Horizontal: image row srcY from the top; srcX counts from the right edge.
    ASSERT_TRUE(engine::mirrorCopy(viewOf(*src), 0, 1, 2, 1, true, false, out.view()));
    EXPECT_EQ(testing::get(out.view(), 0, 0), (Pixel{2, 1, 0, 255}));
    EXPECT_EQ(testing::get(out.view(), 1, 0), (Pixel{1, 1, 0, 255}));
    // Vertical: srcY counts storage rows from the bottom; columns from srcX unreversed.
    ASSERT_TRUE(engine::mirrorCopy(viewOf(*src), 1, 0, 2, 1, false, true, out.view()));
    EXPECT_EQ(testing::get(out.view(), 0, 0), (Pixel{1, 1, 0, 255}));
    EXPECT_EQ(testing::get(out.view(), 1, 0), (Pixel{2, 1, 0, 255}));
    // Neither axis, wrong sizes, rectangles outside the source: refused.
    EXPECT_FALSE(engine::mirrorCopy(viewOf(*src), 0, 0, 2, 1, false, false, out.view()));
    EXPECT_FALSE(engine::mirrorCopy(viewOf(*src), 0, 0, 3, 1, true, false, out.view()));
    EXPECT_FALSE(engine::mirrorCopy(viewOf(*src), 2, 0, 2, 1, true, true, out.view()));
    EXPECT_FALSE(engine::mirrorCopy(viewOf(*src), 0, 2, 2, 1, true, true, out.view()));
}

TEST(EngineMirror, TwiceRestoresOddAndEvenSizes) {
    for (const auto& [w, h] : {std::pair{5, 3}, std::pair{4, 6}, std::pair{1, 7}}) {
        auto src = testing::engineSurface(w, h);
        testing::fillRandom(*src, static_cast<std::uint32_t>(w * 31 + h));
        for (const auto& [mx, my] :
             {std::pair{true, false}, std::pair{false, true}, std::pair{true, true}}) {
            auto once = engine::WorkBuffer::create(w, h, false);
            auto twice = engine::WorkBuffer::create(w, h, false);
            ASSERT_TRUE(engine::mirrorCopy(viewOf(*src), 0, 0, w, h, mx, my, once.view()));
            ASSERT_TRUE(engine::mirrorCopy(once.view(), 0, 0, w, h, mx, my, twice.view()));
            EXPECT_TRUE(
                std::equal(src->BitsPointer(), src->BitsPointer() + w * h * 4, twice.view().bits));
        }
    }
}

engine::ScaleJob job(int srcW, int srcH, int fullW, int fullH, bool bilinear) {
    engine::ScaleJob j;
    j.srcWidth = srcW;
    j.srcHeight = srcH;
    j.fullWidth = fullW;
    j.fullHeight = fullH;
    j.bilinear = bilinear;
    return j;
}

TEST(EngineScaleNearest, DoublesAndHalves) {
    auto src = testing::engineSurface(2, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            testing::put(*src, x, y, {std::uint8_t(x), std::uint8_t(y), 0, 255});
    auto out = engine::WorkBuffer::create(4, 4, false);
    ASSERT_TRUE(engine::scaleToBuffer(viewOf(*src), job(2, 2, 4, 4, false), out.view()));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(testing::get(out.view(), x, y),
                      (Pixel{std::uint8_t(x / 2), std::uint8_t(y / 2), 0, 255}));
}

TEST(EngineScaleNearest, SkippedColumnsAndRowsAreTheTailOfTheFullOutput) {
    auto src = testing::engineSurface(7, 5);
    testing::fillRandom(*src, 3);
    for (const bool bilinear : {false, true}) {
        auto full = engine::WorkBuffer::create(13, 11, false);
        ASSERT_TRUE(engine::scaleToBuffer(viewOf(*src), job(7, 5, 13, 11, bilinear), full.view()));
        engine::ScaleJob j = job(7, 5, 13, 11, bilinear);
        j.skipX = 4;
        j.skipBottom = 3;
        auto part = engine::WorkBuffer::create(6, 5, false);  // 3 columns cut on the right too
        ASSERT_TRUE(engine::scaleToBuffer(viewOf(*src), j, part.view()));
        for (int y = 0; y < 5; ++y)  // part row y from the top is full row y + (11 - 3 - 5)
            for (int x = 0; x < 6; ++x)
                ASSERT_EQ(testing::get(part.view(), x, y), testing::get(full.view(), x + 4, y + 3));
    }
}

TEST(EngineScaleBilinear, ColumnAndRowPairing) {
    // Two columns: output column 1 of 4 lies halfway between them.
    Pixel two[2] = {{100, 0, 0, 255}, {201, 0, 0, 255}};
    auto out = engine::WorkBuffer::create(4, 1, false);
    ASSERT_TRUE(engine::scaleToBuffer({two[0].data(), 2, 1}, job(2, 1, 4, 1, true), out.view()));
    EXPECT_EQ(testing::get(out.view(), 0, 0)[0], 100);
    EXPECT_EQ(testing::get(out.view(), 1, 0)[0], 150);  // int(0.5 * 100 + 0.5 * 201)
    EXPECT_EQ(testing::get(out.view(), 2, 0)[0], 201);  // last column alone
    EXPECT_EQ(testing::get(out.view(), 3, 0)[0], 201);

    // Two storage rows (row 0 = 40, row 1 = 81), scaled to four rows from the bottom: row
    // y samples fy = y / 2; storage row yi weighs yf and the row below 1 - yf; row 0 alone.
    Pixel rows[2] = {{40, 0, 0, 255}, {81, 0, 0, 255}};
    auto tall = engine::WorkBuffer::create(1, 4, false);
    ASSERT_TRUE(engine::scaleToBuffer({rows[0].data(), 1, 2}, job(1, 2, 1, 4, true), tall.view()));
    const std::uint8_t* b = tall.view().bits;
    EXPECT_EQ(b[0], 40);   // fy 0
    EXPECT_EQ(b[4], 40);   // fy 0.5, yi 0: row 0 alone
    EXPECT_EQ(b[8], 40);   // fy 1: row 1 weighs 0, row 0 weighs 1
    EXPECT_EQ(b[12], 60);  // fy 1.5: int(0.5 * 81 + 0.5 * 40)
}

TEST(EngineScaleBilinear, RightNeighbourDroppedAtTheRectanglesLastColumn) {
    // Source rectangle: columns 2 and 3 of a 4-wide image whose next row starts with a marker.
    auto src = testing::engineSurface(4, 2);
    testing::fill(*src, {255, 255, 255, 255});
    testing::put(*src, 2, 1, {10, 10, 10, 255});
    testing::put(*src, 3, 1, {30, 30, 30, 255});
    engine::ScaleJob j = job(2, 1, 4, 1, true);
    j.srcX = 2;
    j.srcY = 1;
    auto out = engine::WorkBuffer::create(4, 1, false);
    ASSERT_TRUE(engine::scaleToBuffer(viewOf(*src), j, out.view()));
    EXPECT_EQ(testing::get(out.view(), 1, 0)[0], 20);
    EXPECT_EQ(testing::get(out.view(), 2, 0)[0], 30);
    EXPECT_EQ(testing::get(out.view(), 3, 0)[0], 30);  // never mixed with column 4 (= row above)
}

TEST(EngineScale, RejectsJobsThatDoNotFit) {
    auto src = testing::engineSurface(4, 4);
    auto out = engine::WorkBuffer::create(4, 4, false);
    engine::ScaleJob j = job(4, 4, 4, 4, false);
    j.srcX = 1;  // rectangle leaves the source
    EXPECT_FALSE(engine::scaleToBuffer(viewOf(*src), j, out.view()));
    j = job(4, 4, 3, 4, false);  // output wider than the full output
    EXPECT_FALSE(engine::scaleToBuffer(viewOf(*src), j, out.view()));
    j = job(0, 4, 4, 4, false);
    EXPECT_FALSE(engine::scaleToBuffer(viewOf(*src), j, out.view()));
    EXPECT_TRUE(engine::WorkBuffer::create(1 << 16, 1 << 16, false).empty());
}

}  // namespace
}  // namespace talvrin

namespace talvrin {
namespace {

// Runs f with the vector forms on and held back and answers both outputs.
template <typename F>
std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>> bothForms(F&& f) {
    std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>> r;
    r.first = f();
    const simd::ScopedLevelLimit scalar(simd::Level::kScalar);
    r.second = f();
    return r;
}

// One resample of the vector comparison: a source of sw x sh pixels into an output of
// width x 3, the output starting offset pixels into its storage and the source
// kOffsets - 1 - offset pixels into its own.
struct ScaleCase {
    int sw, sh, width, offset;
    int height = 3;
};

constexpr int kOffsets = 8;  // every pixel position within a 32-byte vector
constexpr int kGuard = 8;    // pixels after the output that must stay as they were

// The output storage before and after a bilinear resample of the case.
std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>> scaleCase(const ScaleCase& c,
                                                                          bool vector) {
    const auto seed = static_cast<std::uint32_t>(c.width * 31 + c.offset * 7 + c.sw);
    std::mt19937 rng(seed);
    const int srcOffset = kOffsets - 1 - c.offset;
    // Exactly as long as the source needs, so that a read past its end is a sanitizer report.
    std::vector<std::uint8_t> src(static_cast<std::size_t>(srcOffset + c.sw * c.sh) * 4);
    for (auto& b : src)
        b = static_cast<std::uint8_t>(rng());
    const int height = c.height;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(c.offset + c.width * height + kGuard) *
                                  4);
    for (auto& b : out)
        b = static_cast<std::uint8_t>(rng());
    std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>> r{out, {}};
    const simd::ScopedLevelLimit held(vector ? simd::Level::kAvx2 : simd::Level::kScalar);
    EXPECT_TRUE(engine::scaleToBuffer({src.data() + 4 * srcOffset, c.sw, c.sh},
                                      job(c.sw, c.sh, c.width, height, true),
                                      {out.data() + 4 * c.offset, c.width, height}));
    r.second = std::move(out);
    return r;
}

// The vector resampler against the one-pixel form for every output width from 1 to 64 at every
// offset within a vector, enlarging (the rows turned into doubles) and reducing: the same bytes,
// and nothing written outside the output.
TEST(EngineVectorForms, BilinearScaleMatchesScalarFormAtEveryWidthAndOffset) {
    if (simd::processorLevel() < simd::Level::kAvx2)
        GTEST_SKIP() << "the resampler's vector form needs AVX2, which this processor lacks";
    // Sources of fixed sizes, and sources twice and half the output (the whole-factor ratios
    // whose samples are single pixels or exact halves), and enlargements by 2 and 4 both ways
    // (weights in whole 128ths: the integer form).
    // (A negative width names a factor: -2 a source twice the output, -3 three times, -1 half,
    // -4 a quarter.)
    struct Source {
        int width, height, outHeight;
    };
    for (const auto [sourceWidth, sh, height] :
         {Source{5, 2, 3}, Source{70, 5, 3}, Source{1, 1, 3}, Source{-2, 6, 3}, Source{-1, 2, 3},
          Source{-3, 2, 3}, Source{-1, 4, 8}, Source{-4, 2, 8}}) {
        for (int width = 1; width <= 64; ++width) {
            const int sw = sourceWidth > 0     ? sourceWidth
                           : sourceWidth == -1 ? std::max(1, width / 2)
                           : sourceWidth == -4 ? std::max(1, width / 4)
                                               : -sourceWidth * width;
            for (int off = 0; off < kOffsets; ++off) {
                const ScaleCase c{sw, sh, width, off, height};
                const auto vec = scaleCase(c, true);
                const auto scalar = scaleCase(c, false);
                ASSERT_EQ(vec.second, scalar.second)
                    << sw << "x" << sh << " -> " << width << " offset " << off;
                const std::size_t begin = 4 * off, end = 4 * (off + width * height);
                ASSERT_TRUE(
                    std::equal(vec.first.begin(), vec.first.begin() + begin, vec.second.begin()) &&
                    std::equal(vec.first.begin() + end, vec.first.end(), vec.second.begin() + end))
                    << "write outside the output: " << sw << "x" << sh << " -> " << width
                    << " offset " << off;
            }
        }
    }
}

// Source rectangles inside a larger image and outputs that skip their first columns and rows.
TEST(EngineVectorForms, BilinearScaleOfSubRectanglesMatchesScalarForm) {
    if (simd::processorLevel() < simd::Level::kAvx2)
        GTEST_SKIP() << "the resampler's vector form needs AVX2, which this processor lacks";
    auto src = testing::engineSurface(61, 47);
    testing::fillRandom(*src, 17);
    struct Case {
        int sx, sy, sw, sh, fw, fh, skipX, skipBottom;
    };
    for (const Case c :
         {Case{3, 5, 37, 29, 53, 71, 4, 6}, Case{10, 1, 51, 46, 17, 200, 0, 9},
          Case{0, 0, 61, 47, 61 * 3 + 1, 47, 7, 0}, Case{3, 5, 20, 10, 40, 20, 4, 6}}) {
        const auto [vec, scalar] = bothForms([&] {
            engine::ScaleJob j = job(c.sw, c.sh, c.fw, c.fh, true);
            j.srcX = c.sx, j.srcY = c.sy, j.skipX = c.skipX, j.skipBottom = c.skipBottom;
            auto out = engine::WorkBuffer::create(c.fw - c.skipX, c.fh - c.skipBottom, false);
            EXPECT_TRUE(engine::scaleToBuffer(viewOf(*src), j, out.view()));
            const auto* b = out.view().bits;
            return std::vector<std::uint8_t>(b, b + out.width() * out.height() * 4);
        });
        EXPECT_EQ(vec, scalar) << c.sw << "->" << c.fw << " x " << c.sh << "->" << c.fh;
    }
}

// The vector rotator against the one-pixel form for squares of every side from 1 to 64 at every
// offset within a vector, turning through angles of each quadrant at scales below and above 1:
// the same bytes, and nothing written outside the square.
TEST(EngineVectorForms, BilinearRotationMatchesScalarFormAtEverySideAndOffset) {
    if (simd::processorLevel() < simd::Level::kAvx2)
        GTEST_SKIP() << "the rotator's vector form needs AVX2, which this processor lacks";
    auto src = testing::engineSurface(41, 29);
    testing::fillRandom(*src, 23);
    constexpr double kDegrees[] = {30.0, -45.0, 17.0, 90.0, 181.0};
    constexpr double kScales[] = {1.0, 0.7, 2.3};
    for (int side = 1; side <= 64; ++side) {
        engine::RotateJob j;
        j.srcX = 2, j.srcY = 3, j.srcWidth = 37, j.srcHeight = 25, j.bilinear = true;
        j.degrees = kDegrees[side % 5];
        j.xScale = kScales[side % 3] * side / 45.0;
        j.yScale = j.xScale * 1.1;
        for (int off = 0; off < kOffsets; ++off) {
            const std::size_t begin = 4 * off, end = begin + 4 * side * side;
            std::vector<std::uint8_t> before(end + 4 * kGuard, 0);
            std::mt19937 rng(static_cast<std::uint32_t>(side * 8 + off));
            // The square starts fully transparent; the bytes around it are random.
            for (std::size_t i = 0; i < before.size(); ++i)
                if (i < begin || i >= end) before[i] = static_cast<std::uint8_t>(rng());
            const auto [vec, scalar] = bothForms([&] {
                std::vector<std::uint8_t> out = before;
                EXPECT_TRUE(
                    engine::rotateToSquare(viewOf(*src), j, {out.data() + begin, side, side}));
                return out;
            });
            ASSERT_EQ(vec, scalar) << "side " << side << " offset " << off;
            ASSERT_TRUE(std::equal(before.begin(), before.begin() + begin, vec.begin()) &&
                        std::equal(before.begin() + end, before.end(), vec.begin() + end))
                << "write outside the square: side " << side << " offset " << off;
        }
    }
}

}  // namespace
}  // namespace talvrin
