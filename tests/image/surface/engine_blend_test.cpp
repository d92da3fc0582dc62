// The compositor: the worked blend numbers, grayscale, the 24-bit round trip on 32-bit
// contexts, and clipping on every side of host surfaces and device contexts.
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

using engine::BlendJob;
using testing::Pixel;
using testing::TestDC;

// A one-pixel source (B, G, R, A).
struct OnePixel {
    Pixel p;
    ConstPixelView view() const { return {p.data(), 1, 1}; }
};

BlendJob oneJob(std::uint8_t opacity, std::int32_t gray = -1) {
    BlendJob j;
    j.width = j.height = 1;
    j.opacity = opacity;
    j.grayScale = gray;
    return j;
}

TEST(EngineBlendNumbers, HalfAlphaRedOverWhiteContext) {
    const OnePixel src{{0, 0, 128, 128}};
    TestDC dc(1, 1, 24);
    dc.fill({255, 255, 255, 0});
    ASSERT_TRUE(engine::blendToContext(src.view(), oneJob(255), *dc.dc));
    EXPECT_EQ(dc.at(0, 0)[0], 127);  // 255 * 127 / 255 + 0
    EXPECT_EQ(dc.at(0, 0)[1], 127);
    EXPECT_EQ(dc.at(0, 0)[2], 255);

    dc.fill({255, 255, 255, 0});
    ASSERT_TRUE(engine::blendToContext(src.view(), oneJob(127), *dc.dc));
    EXPECT_EQ(dc.at(0, 0)[0], 192);  // k = 255 - 128 * 127 / 255 = 192
    EXPECT_EQ(dc.at(0, 0)[1], 192);
    EXPECT_EQ(dc.at(0, 0)[2], 255);  // (255 * 192 + 128 * 127) / 255
}

TEST(EngineBlendNumbers, HostSurfaceBlendsAlphaByTheSameRule) {
    const OnePixel src{{0, 0, 128, 128}};
    auto host = testing::engineSurface(1, 1);
    testing::put(*host, 0, 0, {100, 100, 100, 100});
    const PixelView target{host->BitsPointer(), 1, 1};
    ASSERT_TRUE(engine::blendToSurface(src.view(), oneJob(255), target));
    // t * 127 / 255 truncates: 100 * 127 = 12700 -> 49; alpha 49 + 128.
    EXPECT_EQ(testing::get(*host, 0, 0), (Pixel{49, 49, 177, 177}));

    testing::put(*host, 0, 0, {100, 100, 100, 100});
    ASSERT_TRUE(engine::blendToSurface(src.view(), oneJob(127), target));
    // k = 192: (100 * 192) / 255 = 75; red (19200 + 16256) / 255 = 139; alpha likewise.
    EXPECT_EQ(testing::get(*host, 0, 0), (Pixel{75, 75, 139, 139}));
}

TEST(EngineBlendNumbers, OpaqueCopiesAndTransparentKeeps) {
    auto host = testing::engineSurface(2, 1);
    testing::fill(*host, {9, 9, 9, 9});
    const Pixel src[2] = {{1, 2, 3, 255}, {0, 0, 0, 0}};
    BlendJob j = oneJob(255);
    j.width = 2;
    ASSERT_TRUE(engine::blendToSurface({src[0].data(), 2, 1}, j, {host->BitsPointer(), 2, 1}));
    EXPECT_EQ(testing::get(*host, 0, 0), (Pixel{1, 2, 3, 255}));
    EXPECT_EQ(testing::get(*host, 1, 0), (Pixel{9, 9, 9, 9}));
}

TEST(EngineBlendContext, ThirtyTwoBitContextEndsWithAlphaZeroLikeTheRoundTrip) {
    const Pixel src[3] = {{0, 0, 0, 0}, {10, 20, 30, 255}, {0, 0, 64, 128}};
    TestDC dc(3, 1, 32);
    dc.fill({200, 200, 200, 255});
    BlendJob j = oneJob(255);
    j.width = 3;
    ASSERT_TRUE(engine::blendToContext({src[0].data(), 3, 1}, j, *dc.dc));
    EXPECT_EQ(dc.at(0, 0)[0], 200);  // transparent source keeps the colour ...
    EXPECT_EQ(dc.at(0, 0)[3], 0);    // ... but not the alpha
    EXPECT_EQ(dc.at(1, 0)[2], 30);
    EXPECT_EQ(dc.at(1, 0)[3], 0);
    EXPECT_EQ(dc.at(2, 0)[2], 200 * 127 / 255 + 64);
    EXPECT_EQ(dc.at(2, 0)[3], 0);
}

TEST(EngineBlendGray, StandardWeightsAndUnknownCodes) {
    const OnePixel red{{0, 0, 255, 255}};
    for (const std::int32_t code : {0, 9}) {
        TestDC dc(1, 1, 24);
        ASSERT_TRUE(engine::blendToContext(red.view(), oneJob(255, code), *dc.dc));
        EXPECT_EQ(dc.at(0, 0)[0], 76) << "code " << code;  // nearest(255 * 0.299)
        EXPECT_EQ(dc.at(0, 0)[1], 76);
        EXPECT_EQ(dc.at(0, 0)[2], 76);
    }
    // Sums that land exactly on a half go to the even neighbour: 250 * 0.114 = 28.5 -> 28 and
    // 4 * 0.114 + 12 * 0.587 = 7.5 -> 8.
    for (const auto& [p, want] :
         {std::pair{Pixel{250, 0, 0, 255}, 28}, std::pair{Pixel{4, 12, 0, 255}, 8}}) {
        const OnePixel px{p};
        TestDC dc(1, 1, 24);
        ASSERT_TRUE(engine::blendToContext(px.view(), oneJob(255, 0), *dc.dc));
        EXPECT_EQ(dc.at(0, 0)[1], want);
    }
    // Gray takes the place of the colour in the translucent rule too; alpha is kept as is.
    const OnePixel half{{0, 0, 128, 128}};
    auto host = testing::engineSurface(1, 1);
    ASSERT_TRUE(engine::blendToSurface(half.view(), oneJob(255, 2), {host->BitsPointer(), 1, 1}));
    EXPECT_EQ(testing::get(*host, 0, 0), (Pixel{43, 43, 43, 128}));  // nearest(128 * 0.333)
}

// Draws a 4 x 4 source whose pixels are all different onto a 6 x 6 target at (dx, dy) and
// checks every target pixel: inside the overlap it holds the matching source pixel, elsewhere
// it is untouched.
void checkClip(int dx, int dy, bool hostTarget) {
    auto src = testing::engineSurface(4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            testing::put(*src, x, y, {std::uint8_t(x), std::uint8_t(y), 7, 255});
    auto host = testing::engineSurface(6, 6);
    TestDC dc(6, 6, 24);
    const Pixel bg{99, 99, 99, 99};
    testing::fill(*host, bg);
    dc.fill(bg);
    BlendJob j = oneJob(255);
    j.destX = dx;
    j.destY = dy;
    j.width = j.height = 4;
    const ConstPixelView sv(src->BitsPointer(), 4, 4);
    // True exactly when some pixel lands on the target.
    const bool overlaps = dx > -4 && dx < 6 && dy > -4 && dy < 6;
    ASSERT_EQ(hostTarget ? engine::blendToSurface(sv, j, {host->BitsPointer(), 6, 6})
                         : engine::blendToContext(sv, j, *dc.dc),
              overlaps)
        << "drawn at " << dx << "," << dy;
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 6; ++x) {
            const int sx = x - dx, sy = y - dy;
            const bool inside = sx >= 0 && sx < 4 && sy >= 0 && sy < 4;
            const Pixel got = hostTarget
                                  ? testing::get(*host, x, y)
                                  : Pixel{dc.at(x, y)[0], dc.at(x, y)[1], dc.at(x, y)[2], 99};
            const Pixel want = inside ? Pixel{std::uint8_t(sx), std::uint8_t(sy), 7,
                                              std::uint8_t(hostTarget ? 255 : 99)}
                                      : bg;
            ASSERT_EQ(got, want) << "at " << x << "," << y << " drawn at " << dx << "," << dy;
        }
    }
}

TEST(EngineBlendClipping, EverySideOfHostAndContext) {
    for (const bool host : {true, false}) {
        for (const auto& [dx, dy] : std::vector<std::pair<int, int>>{
                 {-2, 1}, {4, 1}, {1, -3}, {1, 5}, {-3, -3}, {5, 5}, {-4, 0}, {6, 0}, {1, 1}}) {
            checkClip(dx, dy, host);
        }
    }
}

TEST(EngineBlendClipping, ContextClipBoxAndSourceEdges) {
    const Pixel src[4] = {{1, 1, 1, 255}, {2, 2, 2, 255}, {3, 3, 3, 255}, {4, 4, 4, 255}};
    TestDC dc(4, 1, 24);
    dc.dc->setClipRect(Rect{1, 0, 3, 1});
    BlendJob j = oneJob(255);
    j.width = 4;
    ASSERT_TRUE(engine::blendToContext({src[0].data(), 4, 1}, j, *dc.dc));
    EXPECT_EQ(dc.at(0, 0)[0], 0);
    EXPECT_EQ(dc.at(1, 0)[0], 2);
    EXPECT_EQ(dc.at(2, 0)[0], 3);
    EXPECT_EQ(dc.at(3, 0)[0], 0);
    // A source rectangle reaching past its view only draws the part that exists.
    j.srcX = 2;
    j.width = 100;
    j.destX = 0;
    dc.dc->setClipRect(std::nullopt);
    ASSERT_TRUE(engine::blendToContext({src[0].data(), 4, 1}, j, *dc.dc));
    EXPECT_EQ(dc.at(0, 0)[0], 3);
    EXPECT_EQ(dc.at(1, 0)[0], 4);
    EXPECT_EQ(dc.at(2, 0)[0], 3);  // from the first draw
}

}  // namespace
}  // namespace talvrin

namespace talvrin {
namespace {

// The vector rows against the one-pixel rule on every kind of target and on widths that
// leave every possible tail.
TEST(EngineBlendRules, EveryTargetKindAndWidthMatchesTheRule) {
    for (const int n : {1, 2, 3, 4, 5, 7, 8, 9, 300}) {
        auto src = testing::engineSurface(n, 1);
        testing::fillRandom(*src, static_cast<std::uint32_t>(n));
        for (const int bpp : {0, 24, 32}) {  // 0: a host surface
            for (const int o : {255, 128, 9}) {
                if (bpp == 0) {
                    auto host = testing::engineSurface(n, 1);
                    testing::fillRandom(*host, static_cast<std::uint32_t>(n + o));
                    std::vector<Pixel> before(n);
                    for (int x = 0; x < n; ++x)
                        before[x] = testing::get(*host, x, 0);
                    BlendJob j = oneJob(static_cast<std::uint8_t>(o));
                    j.width = n;
                    ASSERT_TRUE(engine::blendToSurface({src->BitsPointer(), n, 1}, j,
                                                       {host->BitsPointer(), n, 1}));
                    for (int x = 0; x < n; ++x) {
                        const Pixel s = testing::get(*src, x, 0);
                        const unsigned a = s[3], k = 255 - a * o / 255;
                        for (int c = 0; c < 4; ++c) {
                            const unsigned sc = c == 3 ? a : s[c];
                            const unsigned want =
                                a == 0 ? before[x][c] : (before[x][c] * k + sc * o) / 255;
                            ASSERT_EQ(testing::get(*host, x, 0)[c], want)
                                << "n " << n << " o " << o;
                        }
                    }
                    continue;
                }
                TestDC dc(n, 1, bpp);
                std::mt19937 rng(static_cast<std::uint32_t>(n * o + bpp));
                for (int x = 0; x < n; ++x)
                    for (int c = 0; c < bpp / 8; ++c)
                        dc.at(x, 0)[c] = static_cast<std::uint8_t>(rng());
                std::vector<Pixel> before(n);
                for (int x = 0; x < n; ++x)
                    std::copy_n(dc.at(x, 0), bpp / 8, before[x].begin());
                BlendJob j = oneJob(static_cast<std::uint8_t>(o));
                j.width = n;
                ASSERT_TRUE(engine::blendToContext({src->BitsPointer(), n, 1}, j, *dc.dc));
                for (int x = 0; x < n; ++x) {
                    const Pixel s = testing::get(*src, x, 0);
                    const unsigned a = s[3], k = 255 - a * o / 255;
                    for (int c = 0; c < 3; ++c) {
                        const unsigned want =
                            a == 0 ? before[x][c] : (before[x][c] * k + s[c] * o) / 255;
                        ASSERT_EQ(dc.at(x, 0)[c], want)
                            << "n " << n << " bpp " << bpp << " o " << o;
                    }
                    if (bpp == 32) {
                        ASSERT_EQ(dc.at(x, 0)[3], 0);
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace talvrin

namespace talvrin {
namespace {

// One row blend of the vector comparison: the target kind (0: a host surface's pixels, else a
// context of that many bits a pixel), the opacity, the row's width in pixels and its offset in
// pixels from the start of the target's storage (the source starts at kOffsets - 1 - offset).
struct RowCase {
    int bpp, opacity, width, offset;
};

constexpr int kOffsets = 8;  // every pixel position within a 32-byte vector
constexpr int kGuard = 8;    // pixels after the row that must stay as they were

// Source pixels in runs of four: well formed, malformed (colour above alpha), transparent or
// opaque, so that whole vectors of each kind occur at every offset.
std::vector<std::uint8_t> sourceRow(int pixels, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(pixels) * 4);
    for (int x = 0; x < pixels; ++x) {
        const unsigned kind = (static_cast<unsigned>(x) / 4 + seed) % 4;
        const auto a = static_cast<std::uint8_t>(kind == 2 ? 0 : kind == 3 ? 255 : rng());
        for (int c = 0; c < 3; ++c)
            row[4 * x + c] = static_cast<std::uint8_t>(kind == 1 ? rng() : rng() % (a + 1u));
        row[4 * x + 3] = a;
    }
    return row;
}

// The target's bytes before and after blending the case's row with the vector forms held to
// `level`.
std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>> blendCase(const RowCase& c,
                                                                          simd::Level level) {
    const auto seed = static_cast<std::uint32_t>(c.width * 131 + c.offset * 7 + c.bpp);
    const int srcOffset = kOffsets - 1 - c.offset;
    // Exactly as long as the row needs, so that a read past its end is a sanitizer report.
    const std::vector<std::uint8_t> src = sourceRow(srcOffset + c.width, seed);
    const ConstPixelView sv(src.data() + 4 * srcOffset, c.width, 1);
    BlendJob j = oneJob(static_cast<std::uint8_t>(c.opacity));
    j.width = c.width;
    std::mt19937 rng(seed + 1);
    const int total = c.offset + c.width + kGuard;
    const simd::ScopedLevelLimit held(level);
    std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>> r;
    if (c.bpp == 0) {
        std::vector<std::uint8_t> target(static_cast<std::size_t>(total) * 4);
        for (auto& b : target)
            b = static_cast<std::uint8_t>(rng());
        r.first = target;
        EXPECT_TRUE(engine::blendToSurface(sv, j, {target.data() + 4 * c.offset, c.width, 1}));
        r.second = target;
    } else {
        TestDC dc(total, 1, c.bpp);
        std::uint8_t* bits = dc.bitmap->bits();
        for (std::size_t i = 0; i < dc.bitmap->byteCount(); ++i)
            bits[i] = static_cast<std::uint8_t>(rng());
        r.first.assign(bits, bits + dc.bitmap->byteCount());
        j.destX = c.offset;
        EXPECT_TRUE(engine::blendToContext(sv, j, *dc.dc));
        r.second.assign(bits, bits + dc.bitmap->byteCount());
    }
    return r;
}

// Each vector form of the rows (AVX2 with its SSE2 and one-pixel tails, SSE2 with its one-pixel
// tail) against the one-pixel rows on every kind of target, for every width from 1 to 64 pixels
// (every vector tail) and a few past the 24-bit scratch's 256-pixel chunk, at every offset
// within a vector: the same bytes, and nothing written outside the row.
TEST(EngineBlendRules, VectorAndScalarFormsAgreeAtEveryWidthAndOffset) {
    if (simd::processorLevel() < simd::Level::kSse2)
        GTEST_SKIP() << "the compositor has no vector form on this processor";
    std::vector<int> widths;
    for (int n = 1; n <= 64; ++n)
        widths.push_back(n);
    widths.insert(widths.end(), {255, 256, 257, 513});
    for (const int bpp : {0, 24, 32}) {
        for (const int o : {255, 77}) {
            for (const int n : widths) {
                for (int off = 0; off < kOffsets; ++off) {
                    const RowCase c{bpp, o, n, off};
                    const auto scalar = blendCase(c, simd::Level::kScalar);
                    for (const simd::Level level : {simd::Level::kSse2, simd::Level::kAvx2}) {
                        if (simd::processorLevel() < level) continue;
                        const auto vec = blendCase(c, level);
                        ASSERT_EQ(vec.second, scalar.second)
                            << "level " << int(level) << " bpp " << bpp << " opacity " << o
                            << " width " << n << " offset " << off;
                        // Only the row's pixels change: the bytes before and after it stay.
                        const std::size_t step = bpp == 24 ? 3 : 4;
                        const std::size_t begin = step * off, end = step * (off + n);
                        ASSERT_TRUE(std::equal(vec.first.begin(), vec.first.begin() + begin,
                                               vec.second.begin()) &&
                                    std::equal(vec.first.begin() + end, vec.first.end(),
                                               vec.second.begin() + end))
                            << "write outside the row: bpp " << bpp << " width " << n << " offset "
                            << off;
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace talvrin
