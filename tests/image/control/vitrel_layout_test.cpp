// Vitrel's layout numbers, AutoSize, and what painting puts on the pixels.
#include <gtest/gtest.h>

#include <limits>

#include "base/decode_budget.h"
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
    EXPECT_EQ(t.host.width(), 128);
    EXPECT_EQ(t.host.height(), 128);
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

// A control restored from a bag holding a solid blue side x side image and the given settings,
// in a 200 x 200 window of a running program.
struct RestoredControl {
    struct Settings {
        int side = 20;
        std::int32_t props = 1;  // stored flags
        std::int32_t scaler = 0;
        std::int32_t scaleCx = 0, scaleCy = 0;
        std::int32_t angle = 0;
        std::int32_t shadowX = 2, shadowY = 2;
        std::int32_t hostWidth = 200, hostHeight = 200;
    };
    explicit RestoredControl(const Settings& s) : t(s.hostWidth, s.hostHeight, true) {
        PropertyBag bag;
        bag.writeBytes("Image", solidPng(s.side, s.side, 0, 0, 250));
        bag.writeInt32("Scaler", s.scaler, 0);
        bag.writeInt32("Angle", s.angle, 0);
        bag.writeInt32("Props", s.props, 1);
        bag.writeInt32("ShadowColor", 0, 0x404040);
        bag.writeInt32("ShadowOpacity", 100, 50);
        bag.writeInt32("ShadowX", s.shadowX, 2);
        bag.writeInt32("ShadowY", s.shadowY, 2);
        bag.writeInt32("ScaleCx", s.scaleCx, 0);
        bag.writeInt32("ScaleCy", s.scaleCy, 0);
        t.control.ReadProperties(bag);
    }
    HostedControl t;
};

constexpr std::int32_t kShadowOn = Vitrel::kFlagShadowEnabled | Vitrel::kFlagStretchQuality;
constexpr std::int32_t kRotating = kShadowOn | Vitrel::kFlagRotateEnabled;
constexpr std::int32_t kCaching = kShadowOn | Vitrel::kFlagAutoRedraw;
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

// Stored bags found by a hostile-input campaign: offsets at the ends of the 32-bit range, and
// custom sizes of gigabytes. Each paints cleanly (under the sanitizers: without undefined
// behaviour): the image without its far-away shadow, or nothing for a drawing over the budget,
// with no cache or shadow surface made for it.
TEST(VitrelPaint, HostileStoredBagsPaintCleanly) {
    enum class Expect { kNothing, kImageWithoutShadow, kImage };
    struct Case {
        const char* name;
        RestoredControl::Settings settings;
        std::uint64_t budget;  // 0: none
        Expect expect;
    };
    const Case cases[] = {
        {"just-in-time shadow at +max",
         {.props = kShadowOn, .scaler = 3, .shadowX = kMax, .shadowY = kMax},
         kDefaultDecodeBudget,
         Expect::kImageWithoutShadow},
        {"just-in-time shadow at min",
         {.props = kShadowOn, .scaler = 3, .shadowX = kMin, .shadowY = kMin},
         kDefaultDecodeBudget,
         Expect::kImageWithoutShadow},
        {"kept shadow at +max",
         {.side = 150, .props = kShadowOn, .scaler = 3, .shadowX = kMax, .shadowY = kMax},
         kDefaultDecodeBudget,
         Expect::kImageWithoutShadow},
        {"shadow of the cache at min",
         {.props = kCaching, .scaler = 3, .shadowX = kMin, .shadowY = kMin},
         kDefaultDecodeBudget,
         Expect::kImageWithoutShadow},
        {"rotated shadow at +max",
         {.props = kRotating, .angle = 30, .shadowX = kMax, .shadowY = kMax},
         kDefaultDecodeBudget,
         Expect::kImage},
        {"rotated shadow at min",
         {.props = kRotating, .angle = 30, .shadowX = kMin, .shadowY = kMin},
         kDefaultDecodeBudget,
         Expect::kImage},
        {"custom 1 x max rotated",
         {.props = kRotating, .scaler = 4, .scaleCx = 1, .scaleCy = kMax, .angle = 30},
         kDefaultDecodeBudget,
         Expect::kNothing},
        {"custom 16384 x 16384 with a shadow",
         {.props = kShadowOn, .scaler = 4, .scaleCx = 16384, .scaleCy = 16384},
         kDefaultDecodeBudget,
         Expect::kNothing},
        {"custom 23170 x 23170 with a shadow",
         {.props = kShadowOn, .scaler = 4, .scaleCx = 23170, .scaleCy = 23170},
         kDefaultDecodeBudget,
         Expect::kNothing},
        {"custom max x max with the cache",
         {.props = kCaching, .scaler = 4, .scaleCx = kMax, .scaleCy = kMax},
         kDefaultDecodeBudget,
         Expect::kNothing},
        // Without a budget the sizes reach the surfaces' own limits, which refuse them; the
        // unrotated image is still drawn where it meets the window.
        {"custom max x max, no budget",
         {.props = kShadowOn, .scaler = 4, .scaleCx = kMax, .scaleCy = kMax},
         0,
         Expect::kImage},
    };
    for (const Case& c : cases) {
        const ScopedDecodeBudget budget(c.budget);
        RestoredControl r(c.settings);
        Vitrel& control = r.t.control;
        ASSERT_NE(control.surface().BitsPointer(), nullptr) << c.name;
        EXPECT_EQ(control.drawingFitsBudget(), c.expect != Expect::kNothing) << c.name;
        if (c.expect == Expect::kNothing) {
            EXPECT_EQ(control.cache(), nullptr) << c.name;
            EXPECT_EQ(control.shadow(), nullptr) << c.name;
        }
        const Painted p(control, 200, 200);
        const testing::Pixel background{200, 200, 200, 0}, blue{250, 0, 0, 0};
        bool onlyImageAndBackground = true, anyDrawn = false;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 200; ++x) {
                const testing::Pixel px = p.at(x, y);
                anyDrawn = anyDrawn || px != background;
                onlyImageAndBackground = onlyImageAndBackground && (px == background || px == blue);
            }
        EXPECT_EQ(anyDrawn, c.expect != Expect::kNothing) << c.name;
        if (c.expect == Expect::kImageWithoutShadow) {
            EXPECT_TRUE(onlyImageAndBackground) << c.name;
        }
    }
}

// Every surface a drawing needs answers to the pixel budget: the drawn size (the rotation square
// while rotating) widened by the shadow's margin of twice its depth, and with a cache the
// control's own size.
TEST(VitrelPaint, TheDrawingAnswersToThePixelBudget) {
    struct Case {
        const char* name;
        RestoredControl::Settings settings;
        bool fits;
    };
    const Case cases[] = {
        {"100 x 100", {.props = 1, .scaler = 4, .scaleCx = 100, .scaleCy = 100}, true},
        {"101 x 100", {.props = 1, .scaler = 4, .scaleCx = 101, .scaleCy = 100}, false},
        // Depth 2: a margin of 4.
        {"96 x 96 and its shadow",
         {.props = kShadowOn, .scaler = 4, .scaleCx = 96, .scaleCy = 96},
         true},
        {"97 x 96 and its shadow",
         {.props = kShadowOn, .scaler = 4, .scaleCx = 97, .scaleCy = 96},
         false},
        // round(sqrt(71^2 + 71^2)) = round(100.41) = 100; round(sqrt(72^2 + 71^2)) = 101.
        {"rotated 71 x 71", {.props = 0x101, .scaler = 4, .scaleCx = 71, .scaleCy = 71}, true},
        {"rotated 72 x 71", {.props = 0x101, .scaler = 4, .scaleCx = 72, .scaleCy = 71}, false},
        // The cache has the window's size, whatever the image's.
        {"cache of 100 x 100", {.props = 0x9, .hostWidth = 100, .hostHeight = 100}, true},
        {"cache of 101 x 100", {.props = 0x9, .hostWidth = 101, .hostHeight = 100}, false},
    };
    const ScopedDecodeBudget budget(10'000);
    for (const Case& c : cases) {
        RestoredControl r(c.settings);
        Vitrel& control = r.t.control;
        EXPECT_EQ(control.drawingFitsBudget(), c.fits) << c.name;
        if ((c.settings.props & Vitrel::kFlagAutoRedraw) != 0) {
            EXPECT_EQ(control.cache() != nullptr, c.fits) << c.name;
        }
        if ((c.settings.props & Vitrel::kFlagShadowEnabled) != 0) {
            EXPECT_EQ(control.shadow() != nullptr, c.fits) << c.name;
        }
        const Painted p(control, c.settings.hostWidth, c.settings.hostHeight);
        EXPECT_EQ(p.at(c.settings.hostWidth / 2, c.settings.hostHeight / 2) ==
                      (testing::Pixel{250, 0, 0, 0}),
                  c.fits)
            << c.name;
    }
}

}  // namespace
}  // namespace talvrin
