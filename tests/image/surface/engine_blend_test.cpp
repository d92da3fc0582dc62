// The compositor: the worked blend numbers, grayscale, the 24-bit round trip on 32-bit
// contexts, and clipping on every side of host surfaces and device contexts.
#include <gtest/gtest.h>

#include <random>
#include <vector>

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

// The vector rows against the one-pixel rows, malformed pixels (colour above alpha) included.
TEST(EngineBlendRules, VectorAndScalarFormsAgreeOnEveryTarget) {
    const int n = 203;
    auto src = testing::engineSurface(n, 1);
    testing::fillRandom(*src, 51);
    std::mt19937 rng(52);
    for (int x = 0; x < n; x += 7)
        testing::put(*src, x, 0, {200, 90, 255, std::uint8_t(rng() % 200)});
    for (const int bpp : {0, 24, 32}) {
        for (const int o : {255, 77}) {
            std::vector<std::uint8_t> out[2];
            for (const bool vec : {true, false}) {
                engine::setVectorCodeEnabled(vec);
                auto host = testing::engineSurface(n, 1);
                testing::fillRandom(*host, 53);
                TestDC dc(n, 1, bpp == 0 ? 32 : bpp);
                std::copy_n(host->BitsPointer(), n * 3, dc.bitmap->bits());
                BlendJob j = oneJob(static_cast<std::uint8_t>(o));
                j.width = n;
                const ConstPixelView sv(src->BitsPointer(), n, 1);
                if (bpp == 0) {
                    ASSERT_TRUE(engine::blendToSurface(sv, j, {host->BitsPointer(), n, 1}));
                    out[vec].assign(host->BitsPointer(), host->BitsPointer() + n * 4);
                } else {
                    ASSERT_TRUE(engine::blendToContext(sv, j, *dc.dc));
                    out[vec].assign(dc.bitmap->bits(), dc.bitmap->bits() + dc.bitmap->byteCount());
                }
            }
            engine::setVectorCodeEnabled(true);
            EXPECT_EQ(out[0], out[1]) << "bpp " << bpp << " opacity " << o;
        }
    }
}

}  // namespace
}  // namespace talvrin
