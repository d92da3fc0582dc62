// Vitrel's layout numbers, AutoSize, and what painting puts on the pixels.
#include <gtest/gtest.h>

#include "fake_host.h"
#include "image/codecs/gifico_test_util.h"
#include "image/surface/render_test_support.h"

namespace talvrin {
namespace {

using testing::HostedControl;
using testing::TestDC;
using testutil::Bytes;

Bytes solidPng(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a = 255) {
    std::vector<std::uint8_t> rgba;
    for (int i = 0; i < w * h; ++i)
        rgba.insert(rgba.end(), {r, g, b, a});
    return testutil::makePngRgba(w, h, rgba);
}

bool load(Vitrel& c, const Bytes& bytes) {
    std::int32_t w = 0, h = 0, d = 0;
    return c.LoadImage_FromArray(bytes, w, h, d);
}

TEST(VitrelLayout, ScaleMethodsPlaceA100By50ImageInA200By200Control) {
    struct Case {
        std::int32_t method;
        bool rotate;
        std::int32_t w, h, x, y, square;
        bool actual;
    };
    const Case cases[] = {
        {0, false, 200, 100, 0, 50, 0, false},
        {1, false, 200, 200, 0, 0, 0, false},
        {2, false, 100, 50, 50, 75, 0, true},
        {3, false, 100, 50, 50, 75, 0, true},
        // d = round(sqrt(100^2 + 50^2)) = 112; 200 * 100 / 112 = 178.57 -> 179, 200 * 50 / 112
        // = 89.29 -> 89; the square is round(sqrt(179^2 + 89^2)) = 200.
        {0, true, 179, 89, 0, 0, 200, false},
        // A stored method above 4 is the custom size (here 0 x 0); below 0 is fit.
        {7, false, 0, 0, 100, 100, 0, false},
        {-3, false, 200, 100, 0, 50, 0, false},
    };
    for (const Case& c : cases) {
        HostedControl t(200, 200, true);
        t.control.setAutoSize(false);
        ASSERT_TRUE(load(t.control, solidPng(100, 50, 1, 2, 3)));
        t.control.setRotateEnabled(c.rotate);
        t.control.setScaleMethod(c.method);
        const Vitrel::Layout& l = t.control.layout();
        EXPECT_EQ(l.scaledWidth, c.w) << c.method << " " << c.rotate;
        EXPECT_EQ(l.scaledHeight, c.h) << c.method << " " << c.rotate;
        EXPECT_EQ(l.offsetX, c.x) << c.method << " " << c.rotate;
        EXPECT_EQ(l.offsetY, c.y) << c.method << " " << c.rotate;
        EXPECT_EQ(l.square, c.square) << c.method << " " << c.rotate;
        EXPECT_EQ(l.actualSize, c.actual) << c.method << " " << c.rotate;
    }
    // An image larger than the control at actual size sits at 0, 0 (and is clipped).
    HostedControl big(200, 200, true);
    big.control.setAutoSize(false);
    ASSERT_TRUE(load(big.control, solidPng(300, 260, 1, 2, 3)));
    big.control.setScaleMethod(3);
    EXPECT_EQ(big.control.layout().offsetX, 0);
    EXPECT_EQ(big.control.layout().offsetY, 0);
}

TEST(VitrelLayout, AutoSizeMakesTheWindowTheImagesSizeOnce) {
    // At actual size: fitting would enlarge the image to the window first.
    HostedControl t(300, 200, true);
    t.control.setScaleMethod(3);
    ASSERT_TRUE(load(t.control, solidPng(128, 128, 9, 9, 9)));
    EXPECT_EQ(t.host.w, 128);
    EXPECT_EQ(t.host.h, 128);
    ASSERT_FALSE(t.host.resizes.empty());
    EXPECT_EQ(t.host.resizes.back(), (std::pair<std::int32_t, std::int32_t>{1920, 1920}));
    // The resize event the request caused ran into the guard: one request per layout.
    const std::size_t requests = t.host.resizes.size();
    t.control.Resize();
    EXPECT_EQ(t.host.resizes.size(), requests + 1);
    EXPECT_EQ(t.control.layout().offsetX, 0);
}

// Paints onto a 24-bit context filled with a grey background.
struct Painted {
    explicit Painted(Vitrel& c, int w, int h, std::optional<Rect> clip = std::nullopt)
        : dc(w, h, 24) {
        dc.fill({200, 200, 200, 0});
        dc.dc->setClipRect(clip);
        c.Paint(*dc.dc);
    }
    testing::Pixel at(int x, int y) const {
        const std::uint8_t* p = dc.at(x, y);
        return {p[0], p[1], p[2], 0};
    }
    TestDC dc;
};

TEST(VitrelPaint, ImageOpacityGrayscaleAndClipBox) {
    HostedControl t(40, 40, true);
    t.control.setAutoSize(false);
    ASSERT_TRUE(load(t.control, solidPng(20, 20, 200, 0, 0)));  // red, centred at (10, 10)
    t.control.setScaleMethod(3);
    {
        const Painted p(t.control, 40, 40);
        EXPECT_EQ(p.at(15, 15), (testing::Pixel{0, 0, 200, 0}));
        EXPECT_EQ(p.at(5, 5), (testing::Pixel{200, 200, 200, 0}));
    }
    // Opacity 50 at paint: (200 * 127 + 200 * 128) / 255 = 200 for the grey channel...
    t.control.setOpacity(50);
    {
        const Painted p(t.control, 40, 40);
        const testing::Pixel px = p.at(15, 15);
        EXPECT_NEAR(px[2], 200, 1);  // red over grey 200 stays about 200
        EXPECT_NEAR(px[0], 100, 1);  // blue: half of the grey
    }
    t.control.setOpacity(100);
    // Grayscale formula 0 (public 1): 0.299 * 200 = 59.8 -> 60 in every channel.
    t.control.setGrayScale(1);
    {
        const Painted p(t.control, 40, 40);
        EXPECT_EQ(p.at(15, 15), (testing::Pixel{60, 60, 60, 0}));
    }
    t.control.setGrayScale(0);
    // A repaint of a clip box draws only inside it.
    const Painted p(t.control, 40, 40, Rect{12, 12, 16, 16});
    EXPECT_EQ(p.at(13, 13), (testing::Pixel{0, 0, 200, 0}));
    EXPECT_EQ(p.at(20, 20), (testing::Pixel{200, 200, 200, 0}));
}

TEST(VitrelPaint, ShadowUnderTheImageJustInTimeOrFromItsSurface) {
    for (const int size : {20, 150}) {
        HostedControl t(size + 40, size + 40, true);
        t.control.setAutoSize(false);
        ASSERT_TRUE(load(t.control, solidPng(size, size, 0, 0, 250)));
        t.control.setScaleMethod(3);
        t.control.setShadowColor(0x000000);
        t.control.setShadowOpacity(100);
        t.control.setShadowOffsetX(6);
        t.control.setShadowOffsetY(6);
        t.control.setShadowEnabled(true);
        // Small images at their own size take the shadow just in time; large ones keep one.
        EXPECT_EQ(t.control.shadow() != nullptr, size > 128) << size;
        const Painted p(t.control, size + 40, size + 40);
        const int img = 20;  // the image's top-left corner
        EXPECT_EQ(p.at(img + 2, img + 2), (testing::Pixel{250, 0, 0, 0})) << "image on top";
        const testing::Pixel under = p.at(img + size + 3, img + size / 2);
        EXPECT_LT(under[0], 120) << size << ": shadow right of the image";
        EXPECT_EQ(p.at(2, 2), (testing::Pixel{200, 200, 200, 0})) << size;
    }
}

TEST(VitrelPaint, TheCacheHoldsTheDrawingAndPaintsItClipped) {
    HostedControl t(60, 60, true);
    t.control.setAutoSize(false);
    t.control.setAutoRedraw(true);
    ASSERT_TRUE(load(t.control, solidPng(30, 30, 0, 250, 0)));
    ASSERT_NE(t.control.cache(), nullptr);
    EXPECT_EQ(t.control.cache()->Width(), 60);
    const Painted all(t.control, 60, 60);
    const Painted part(t.control, 60, 60, Rect{0, 0, 30, 30});
    for (int y = 0; y < 60; y += 3)
        for (int x = 0; x < 60; x += 3) {
            const bool inside = x < 30 && y < 30;
            EXPECT_EQ(part.at(x, y), inside ? all.at(x, y) : (testing::Pixel{200, 200, 200, 0}))
                << x << "," << y;
        }
    // Opacity is applied when the cache is painted, not when it is built.
    t.control.setOpacity(50);
    const Painted faded(t.control, 60, 60);
    EXPECT_NEAR(faded.at(30, 30)[1], (250 + 200) / 2, 2);
    t.control.setAutoRedraw(false);
    EXPECT_EQ(t.control.cache(), nullptr);
}

}  // namespace
}  // namespace talvrin
