// Render: argument normalisation, the choice between AlphaBlend and the engine, centring, and
// the clipping of every draw to its target on all four sides.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "image/bridge/gdiplus.h"
#include "image/surface/c32bpp_dib_internal.h"
#include "image/surface/engine.h"
#include "render_test_support.h"

namespace talvrin {
namespace {

using testing::Pixel;
using testing::TestDC;

std::vector<std::uint8_t> bytesOf(const c32bppDIB& d) {
    return {d.BitsPointer(), d.BitsPointer() + d.scanWidth() * d.Height()};
}
std::vector<std::uint8_t> bytesOf(const TestDC& dc) {
    return {dc.bitmap->bits(), dc.bitmap->bits() + dc.bitmap->byteCount()};
}

// Renders src onto a fresh host of the given size filled with a seeded background.
std::unique_ptr<c32bppDIB> drawOnHost(c32bppDIB& src, int w, int h, int x, int y, int dw, int dh,
                                      int opacity = 100, std::int32_t gray = -1, float light = 0,
                                      bool* result = nullptr, int srcX = 0, int srcY = 0,
                                      int srcW = 0, int srcH = 0) {
    auto host = testing::engineSurface(w, h);
    testing::fillRandom(*host, 99);
    const bool r = src.Render(nullptr, x, y, dw, dh, srcX, srcY, srcW, srcH, opacity, 0, false,
                              host.get(), gray, light, 0, false);
    if (result) *result = r;
    return host;
}

TEST(RenderNormalisation, OpacityAndMissingTargets) {
    auto src = testing::engineSurface(3, 3);
    testing::fill(*src, {1, 2, 3, 255});
    auto host = testing::engineSurface(3, 3);
    EXPECT_TRUE(src->Render(nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, false, host.get()));
    EXPECT_EQ(testing::get(*host, 1, 1), (Pixel{0, 0, 0, 0}));
    EXPECT_FALSE(src->Render(nullptr));  // neither DC nor host
    c32bppDIB empty;
    EXPECT_FALSE(empty.Render(nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, false, host.get()));
    EXPECT_FALSE(empty.Render(nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 100, 0, false, host.get()));
}

TEST(RenderNormalisation, OpacityPercentWrapsAtHundred) {
    auto src = testing::engineSurface(5, 4);
    testing::fillRandom(*src, 1);
    EXPECT_EQ(bytesOf(*drawOnHost(*src, 5, 4, 0, 0, 0, 0, 150)),
              bytesOf(*drawOnHost(*src, 5, 4, 0, 0, 0, 0, 50)));
    EXPECT_EQ(bytesOf(*drawOnHost(*src, 5, 4, 0, 0, 0, 0, 200)),
              bytesOf(*drawOnHost(*src, 5, 4, 0, 0, 0, 0, 100)));
    EXPECT_NE(bytesOf(*drawOnHost(*src, 5, 4, 0, 0, 0, 0, 50)),
              bytesOf(*drawOnHost(*src, 5, 4, 0, 0, 0, 0, 100)));
}

TEST(RenderNormalisation, AnglesAndLightnessOutOfRange) {
    auto src = testing::engineSurface(4, 2);
    testing::fillRandom(*src, 2, true);
    auto draw = [&](float angle, float light, bool expect = true) {
        auto host = testing::engineSurface(8, 8);
        EXPECT_EQ(src->Render(nullptr, 2, 3, 0, 0, 0, 0, 0, 0, 100, 0, false, host.get(), -1, light,
                              angle),
                  expect)
            << "angle " << angle << " light " << light;
        return bytesOf(*host);
    };
    const auto plain = draw(0, 0);
    EXPECT_EQ(draw(360, 0), plain);
    EXPECT_EQ(draw(-720, 0), plain);
    EXPECT_NE(draw(90, 0), plain);
    EXPECT_EQ(draw(0, 150), plain);  // out of range: no lightness change
    EXPECT_NE(draw(0, 50), plain);
    draw(1e30f, 0);
    const auto untouched = bytesOf(*testing::engineSurface(8, 8));
    EXPECT_EQ(draw(std::numeric_limits<float>::quiet_NaN(), 0, false), untouched);
    EXPECT_EQ(draw(std::numeric_limits<float>::infinity(), 0, false), untouched);
    EXPECT_EQ(draw(0, std::numeric_limits<float>::quiet_NaN(), false), untouched);
}

// Plain draws go to AlphaBlend; everything else to the imaging-library bridge when it is
// enabled, else to the engine. A 32-bit context tells the engine apart (its 24-bit round trip
// leaves alpha 0; AlphaBlend and the bridge keep the opaque target's alpha), and the bridge
// counts its draws.
TEST(RenderPathChoice, PlainDrawsUseAlphaBlendOthersTheBridgeOrTheEngine) {
    enum class Path { AlphaBlend, Other };
    struct Case {
        const char* name;
        bool highQuality;
        std::function<bool(c32bppDIB&, platform::DeviceContext&)> draw;
        Path path;
    };
    const Case cases[] = {
        {"1:1", false, [](c32bppDIB& s, platform::DeviceContext& dc) { return s.Render(&dc); },
         Path::AlphaBlend},
        {"scaled, nearest", false,
         [](c32bppDIB& s, platform::DeviceContext& dc) { return s.Render(&dc, 0, 0, 8, 8); },
         Path::AlphaBlend},
        {"scaled, high quality", true,
         [](c32bppDIB& s, platform::DeviceContext& dc) { return s.Render(&dc, 0, 0, 8, 8); },
         Path::Other},
        {"1:1, high quality", true,
         [](c32bppDIB& s, platform::DeviceContext& dc) { return s.Render(&dc); }, Path::AlphaBlend},
        {"grayscale", true,
         [](c32bppDIB& s, platform::DeviceContext& dc) {
             return s.Render(&dc, 0, 0, 0, 0, 0, 0, 0, 0, 100, 0, true, nullptr, 0);
         },
         Path::Other},
        {"lightness", true,
         [](c32bppDIB& s, platform::DeviceContext& dc) {
             return s.Render(&dc, 0, 0, 0, 0, 0, 0, 0, 0, 100, 0, true, nullptr, -1, 20);
         },
         Path::Other},
        {"lightness out of range", true,
         [](c32bppDIB& s, platform::DeviceContext& dc) {
             return s.Render(&dc, 0, 0, 0, 0, 0, 0, 0, 0, 100, 0, true, nullptr, -1, 150);
         },
         Path::AlphaBlend},
        {"mirrored", true,
         [](c32bppDIB& s, platform::DeviceContext& dc) {
             return s.Render(&dc, 0, 0, 4, 4, 0, 0, -4, 4);
         },
         Path::Other},
    };
    for (const bool bridgeOn : {false, true}) {
        if (bridgeOn && !bridge::backendAvailable()) GTEST_SKIP() << "no imaging backend here";
        c32bppDIB src;  // the platform's own capabilities: AlphaBlend usable and friendly
        ASSERT_TRUE(src.isAlphaBlendFriendly());
        src.setGDIplusEnabled(bridgeOn);
        src.InitializeDIB(4, 4);
        testing::fill(src, {10, 20, 30, 255});
        for (const Case& c : cases) {
            src.setHighQualityInterpolation(c.highQuality);
            TestDC dc(8, 8, 32);
            dc.fill({0, 0, 0, 255});
            const std::uint64_t before = bridge::drawsMade();
            EXPECT_TRUE(c.draw(src, *dc.dc)) << c.name;
            const bool viaBridge = bridge::drawsMade() != before;
            const bool viaEngine = dc.at(1, 1)[3] == 0;
            EXPECT_EQ(viaBridge, c.path == Path::Other && bridgeOn) << c.name;
            EXPECT_EQ(viaEngine, c.path == Path::Other && !bridgeOn) << c.name;
        }
    }
}

TEST(RenderPathChoice, NegativeSourceWidthMirrorsLeftToRight) {
    auto src = testing::engineSurface(3, 1);
    for (int x = 0; x < 3; ++x)
        testing::put(*src, x, 0, {std::uint8_t(x + 1), 0, 0, 255});
    auto host = testing::engineSurface(3, 1);
    ASSERT_TRUE(src->Render(nullptr, 0, 0, 3, 1, 0, 0, -3, 1, 100, 0, false, host.get()));
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(testing::get(*host, x, 0)[0], 3 - x);
}

TEST(RenderCentring, HalfTheSizeToTheLeftAndUp) {
    auto src = testing::engineSurface(101, 3);
    testing::fill(*src, {5, 5, 5, 255});
    auto host = testing::engineSurface(200, 10);
    ASSERT_TRUE(
        src->Render(nullptr, 60, 5, 0, 0, 0, 0, 0, 0, 100, 0, false, host.get(), -1, 0, 0, true));
    EXPECT_EQ(testing::get(*host, 9, 4)[3], 0);
    EXPECT_EQ(testing::get(*host, 10, 4)[3], 255);  // 60 - 50
    EXPECT_EQ(testing::get(*host, 110, 4)[3], 255);
    EXPECT_EQ(testing::get(*host, 111, 4)[3], 0);
    EXPECT_EQ(testing::get(*host, 10, 4)[3], 255);  // 5 - 1
    EXPECT_EQ(testing::get(*host, 10, 6)[3], 255);
    EXPECT_EQ(testing::get(*host, 10, 3)[3], 0);
    EXPECT_EQ(testing::get(*host, 10, 7)[3], 0);
}

// The same unscaled draw through AlphaBlend and forced through the engine: rounding differs
// (AlphaBlend rounds, the engine truncates) by at most 1 in any channel.
TEST(RenderPathAgreement, AlphaBlendAndEngineWithinOne) {
    for (const int opacity : {100, 77, 50, 3}) {
        c32bppDIB src;
        src.InitializeDIB(37, 23);
        testing::fillRandom(src, static_cast<std::uint32_t>(opacity));
        src.setHighQualityInterpolation(false);
        src.setGDIplusEnabled(false);  // the unfriendly draw goes to the engine, not the bridge
        for (const bool host : {true, false}) {
            std::vector<std::uint8_t> results[2];
            for (const bool friendly : {true, false}) {
                src.setAlphaBlendFriendly(friendly);
                ASSERT_EQ(src.isAlphaBlendFriendly(), friendly);
                auto target = testing::engineSurface(40, 30);
                testing::fillRandom(*target, 5);
                TestDC dc(40, 30, 32);
                std::copy_n(target->BitsPointer(), 40 * 30 * 4, dc.bitmap->bits());
                ASSERT_TRUE(src.Render(host ? nullptr : dc.dc.get(), 2, 3, 0, 0, 0, 0, 0, 0,
                                       opacity, 0, false, host ? target.get() : nullptr));
                results[friendly] = host ? bytesOf(*target) : bytesOf(dc);
            }
            for (std::size_t i = 0; i < results[0].size(); ++i) {
                if (!host && i % 4 == 3) continue;  // the context's alpha: see PathChoice
                ASSERT_LE(std::abs(int(results[0][i]) - int(results[1][i])), 1)
                    << "byte " << i << " opacity " << opacity << (host ? " host" : " dc");
            }
        }
    }
}

TEST(RenderMends, EmptySourceRectangleDrawsNothing) {
    auto src = testing::engineSurface(4, 4);
    testing::fill(*src, {1, 1, 1, 255});
    auto host = testing::engineSurface(4, 4);
    EXPECT_FALSE(src->Render(nullptr, 0, 0, 0, 0, 4, 0, 0, 0, 100, 0, false, host.get()));
    EXPECT_FALSE(src->Render(nullptr, 0, 0, 0, 0, 0, 9, 0, 0, 100, 0, false, host.get()));
    EXPECT_FALSE(src->Render(nullptr, 0, 0, 0, 0, std::numeric_limits<std::int32_t>::max(), 0, 5, 0,
                             100, 0, false, host.get()));
    EXPECT_EQ(testing::get(*host, 0, 0), (Pixel{0, 0, 0, 0}));
}

TEST(RenderMends, NegativePositionSwallowingScaledOutput) {
    auto src = testing::engineSurface(4, 4);
    testing::fill(*src, {1, 1, 1, 255});
    auto host = testing::engineSurface(8, 8);
    EXPECT_FALSE(src->Render(nullptr, -8, 0, 8, 8, 0, 0, 0, 0, 100, 0, false, host.get()));
    EXPECT_FALSE(src->Render(nullptr, 0, -9, 8, 8, 0, 0, 0, 0, 100, 0, false, host.get()));
    EXPECT_EQ(testing::get(*host, 0, 0)[3], 0);
    EXPECT_TRUE(src->Render(nullptr, -7, 0, 8, 8, 0, 0, 0, 0, 100, 0, false, host.get()));
    EXPECT_EQ(testing::get(*host, 0, 0)[3], 255);
    EXPECT_EQ(testing::get(*host, 1, 0)[3], 0);
}

// A draw that its position or the target's edges leave with nothing to draw answers false on
// every path: unscaled and scaled, mirrored or not, through the engine or AlphaBlend, onto a host
// surface or a 24-bit context.
TEST(RenderMends, DrawsThatLeaveNothingVisibleAnswerFalse) {
    struct Case {
        std::int32_t x, y, w, h;
        bool drawn;
    };
    const Case cases[] = {
        {-3, 0, 3, 3, false}, {0, -3, -3, -3, false}, {-3, 0, -3, 3, false}, {8, 0, 3, 3, false},
        {0, 8, 6, 6, false},  {-6, 0, 6, 6, false},   {-2, 0, 3, 3, true},   {7, 7, 3, 3, true},
    };
    for (const bool alphaBlend : {false, true}) {
        auto src = testing::engineSurface(3, 3);
        testing::fill(*src, {9, 9, 9, 255});
        src->setAlphaBlendFriendly(alphaBlend);
        for (const Case& c : cases) {
            auto host = testing::engineSurface(8, 8);
            TestDC dc(8, 8, 24);
            EXPECT_EQ(
                src->Render(nullptr, c.x, c.y, c.w, c.h, 0, 0, 0, 0, 100, 0, false, host.get()),
                c.drawn)
                << c.x << "," << c.y << " " << c.w << "x" << c.h << " alphaBlend " << alphaBlend;
            EXPECT_EQ(src->Render(dc.dc.get(), c.x, c.y, c.w, c.h), c.drawn)
                << c.x << "," << c.y << " " << c.w << "x" << c.h << " alphaBlend " << alphaBlend;
        }
    }
}

TEST(RenderMends, MirroredUnscaledDrawSkipsClippedColumnsAndRows) {
    auto src = testing::engineSurface(4, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            testing::put(*src, x, y, {std::uint8_t(x), std::uint8_t(y), 0, 255});
    auto host = testing::engineSurface(4, 3);
    ASSERT_TRUE(src->Render(nullptr, -2, -1, -4, -3, 0, 0, 0, 0, 100, 0, false, host.get()));
    // Both axes mirrored; the first two columns and the top row of the drawing are cut off.
    EXPECT_EQ(testing::get(*host, 0, 0), (Pixel{1, 1, 0, 255}));
    EXPECT_EQ(testing::get(*host, 1, 0), (Pixel{0, 1, 0, 255}));
    EXPECT_EQ(testing::get(*host, 0, 1), (Pixel{1, 0, 0, 255}));
    EXPECT_EQ(testing::get(*host, 2, 0)[3], 0);
    EXPECT_EQ(testing::get(*host, 0, 2)[3], 0);
}

TEST(RenderMends, LightnessHonoursTheSourceRectangle) {
    auto src = testing::engineSurface(5, 4);
    testing::fillRandom(*src, 21);
    auto adjusted = engine::WorkBuffer::create(5, 4, true);
    ASSERT_TRUE(engine::adjustLightness({src->BitsPointer(), 5, 4}, adjusted.view(), 40));
    auto host = testing::engineSurface(2, 2);
    ASSERT_TRUE(src->Render(nullptr, 0, 0, 2, 2, 2, 1, 2, 2, 100, 0, false, host.get(), -1, 40));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) {
            Pixel want = testing::get(adjusted.view(), x + 2, y + 1);
            if (want[3] == 0) continue;    // the host keeps its own pixel there
            if (want[3] != 255) continue;  // translucent: blended over the empty host
            EXPECT_EQ(testing::get(*host, x, y), want) << x << "," << y;
        }
}

// Extreme positions and sizes: a clean answer, and nothing outside the target is written (the
// sanitizer build checks the latter).
TEST(RenderClipping, ExtremeArgumentsAnswerCleanly) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    auto src = testing::engineSurface(6, 5);
    testing::fillRandom(*src, 41, true);
    struct Case {
        std::int32_t x, y, dw, dh, sx, sy, sw, sh;
        float angle;
        bool drawn;
    };
    const Case cases[] = {
        {kMax, kMax, 0, 0, 0, 0, 0, 0, 0, false},   {kMin, kMin, 0, 0, 0, 0, 0, 0, 0, false},
        {kMin, 0, kMax, 5, 0, 0, 0, 0, 0, false},   {-3, -2, 0, 0, 0, 0, 0, 0, 0, true},
        {0, 0, kMin, 5, 0, 0, 0, 0, 0, false},      {0, 0, 6, 5, 0, 0, kMin, 0, 0, false},
        {0, 0, 6, 5, kMax, kMax, 0, 0, 0, false},   {0, 0, 6, 5, kMin, kMin, kMax, kMax, 0, true},
        {kMax - 2, 0, 0, 0, 0, 0, 0, 0, 30, false}, {0, 0, 50000, 50000, 0, 0, 0, 0, 45, false},
        {2, 2, -7, -9, 0, 0, 0, 0, 0, true},        {2, 2, 1, 1, 0, 0, 0, 0, 0, true},
    };
    for (const Case& c : cases) {
        for (const bool hq : {false, true}) {
            src->setHighQualityInterpolation(hq);
            auto host = testing::engineSurface(8, 8);
            TestDC dc(8, 8, 24);
            const bool onHost = src->Render(nullptr, c.x, c.y, c.dw, c.dh, c.sx, c.sy, c.sw, c.sh,
                                            100, 0, false, host.get(), -1, 0, c.angle);
            const bool onDC = src->Render(dc.dc.get(), c.x, c.y, c.dw, c.dh, c.sx, c.sy, c.sw, c.sh,
                                          100, 0, false, nullptr, -1, 0, c.angle);
            bool hostDrawn = false, dcDrawn = false;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x) {
                    hostDrawn = hostDrawn || testing::get(*host, x, y)[3] != 0;
                    dcDrawn = dcDrawn || dc.at(x, y)[0] != 0 || dc.at(x, y)[1] != 0;
                }
            EXPECT_EQ(hostDrawn, c.drawn) << c.x << "," << c.y << " " << c.dw << "x" << c.dh;
            EXPECT_EQ(dcDrawn, c.drawn) << c.x << "," << c.y << " " << c.dw << "x" << c.dh;
            // The answer says whether anything was drawn.
            EXPECT_EQ(onHost, c.drawn) << c.x << "," << c.y << " " << c.dw << "x" << c.dh;
            EXPECT_EQ(onDC, c.drawn) << c.x << "," << c.y << " " << c.dw << "x" << c.dh;
        }
    }
}

// Clipping must not change which pixels a draw puts where: a draw onto a small target equals
// the matching crop of the same draw onto a large one.
TEST(RenderClipping, SmallTargetEqualsCropOfLargeOneOnEverySide) {
    auto src = testing::engineSurface(9, 7);
    testing::fillRandom(*src, 33);
    const int pad = 40, tw = 12, th = 10;
    struct Case {
        int dw, dh, srcW;
        bool hq;
        std::int32_t gray;
    };
    const Case cases[] = {{0, 0, 0, false, -1}, {23, 17, 0, false, -1}, {23, 17, 0, true, -1},
                          {-9, 7, 0, false, 0}, {5, 4, 0, true, -1},    {0, 0, -9, false, -1}};
    for (const Case& c : cases) {
        src->setHighQualityInterpolation(c.hq);
        for (const int dx : {-30, -5, 0, 4, 11, 13}) {
            for (const int dy : {-30, -6, 0, 3, 9, 12}) {
                for (const bool host : {true, false}) {
                    auto render = [&](platform::DeviceContext* dc, c32bppDIB* h, int off) {
                        return src->Render(dc, dx + off, dy + off, c.dw, c.dh, 0, 0, c.srcW, 0, 90,
                                           0, false, h, c.gray);
                    };
                    auto small = testing::engineSurface(tw, th);
                    auto large = testing::engineSurface(tw + 2 * pad, th + 2 * pad);
                    TestDC smallDC(tw, th, 24), largeDC(tw + 2 * pad, th + 2 * pad, 24);
                    if (host) {
                        render(nullptr, small.get(), 0);
                        render(nullptr, large.get(), pad);
                    } else {
                        render(smallDC.dc.get(), nullptr, 0);
                        render(largeDC.dc.get(), nullptr, pad);
                    }
                    for (int y = 0; y < th; ++y)
                        for (int x = 0; x < tw; ++x) {
                            const Pixel a = host ? testing::get(*small, x, y)
                                                 : Pixel{smallDC.at(x, y)[0], smallDC.at(x, y)[1],
                                                         smallDC.at(x, y)[2], 0};
                            const Pixel b = host ? testing::get(*large, x + pad, y + pad)
                                                 : Pixel{largeDC.at(x + pad, y + pad)[0],
                                                         largeDC.at(x + pad, y + pad)[1],
                                                         largeDC.at(x + pad, y + pad)[2], 0};
                            ASSERT_EQ(a, b) << "dw " << c.dw << " dx " << dx << " dy " << dy
                                            << (host ? " host" : " dc") << " at " << x << "," << y;
                        }
                }
            }
        }
    }
}

// A draw into a host surface leaves the host's alpha flag as the request says, whether or not
// anything was drawn: kept, made true, or taken from the drawn image.
TEST(RenderRequest, TheHostsAlphaFlagAfterADraw) {
    using HostAlpha = c32bppDIB::HostAlpha;
    struct Case {
        const char* name;
        bool imageAlpha;
        bool hostAlphaBefore;
        HostAlpha request;
        std::int32_t destX;  // 20: outside the host, nothing drawn
        bool hostAlphaAfter;
    };
    const Case cases[] = {
        {"kept true", false, true, HostAlpha::kKeep, 0, true},
        {"kept false", true, false, HostAlpha::kKeep, 0, false},
        {"made true", false, false, HostAlpha::kTranslucent, 0, true},
        {"from an opaque image", false, true, HostAlpha::kFromImage, 0, false},
        {"from a translucent image", true, false, HostAlpha::kFromImage, 0, true},
        {"from the image, nothing drawn", false, true, HostAlpha::kFromImage, 20, false},
    };
    for (const Case& c : cases) {
        auto src = testing::engineSurface(4, 4);
        testing::fillRandom(*src, 5, true);
        SurfaceInternals::setAlpha(*src, c.imageAlpha);
        auto host = testing::engineSurface(8, 8);
        SurfaceInternals::setAlpha(*host, c.hostAlphaBefore);
        const bool drawn =
            src->Render({.host = host.get(), .destX = c.destX, .hostAlpha = c.request});
        EXPECT_EQ(drawn, c.destX == 0) << c.name;
        EXPECT_EQ(host->Alpha(), c.hostAlphaAfter) << c.name;
    }
}

}  // namespace
}  // namespace talvrin
