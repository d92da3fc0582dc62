// The rules every window shell's host takes from the host base: the extender's values and their
// ranges, twips and container units from the resolution, the Click of a press and release, and
// the points the control owns.
#include "image/control/vitrel_host_base.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "fake_host.h"
#include "image/codecs/gifico_test_util.h"
#include "image/control/headless_host.h"

namespace talvrin {
namespace {

// A host at a settable resolution that records the primitives the base calls.
class RecordingHost final : public VitrelHostBase {
  public:
    std::int32_t width() const override { return 100; }
    std::int32_t height() const override { return 100; }
    void requestRepaint() override {}

    std::int32_t dpi = 96;
    bool refuseDrops = false;
    std::vector<std::pair<std::int32_t, std::int32_t>> resized;
    std::vector<bool> cursorChanges;  // iconChanged of each report

  protected:
    std::int32_t dotsPerInch(bool) const override { return dpi; }
    void resizeWindow(std::int32_t w, std::int32_t h) override { resized.push_back({w, h}); }
    void cursorChanged(bool iconChanged) override { cursorChanges.push_back(iconChanged); }
    bool applyDropMode(std::int16_t mode) override { return !refuseDrops || mode == 0; }
};

TEST(VitrelHostBase, ExtenderValuesInRangeAreStoredAndShownOthersRefused) {
    struct Case {
        std::int16_t value;
        bool pointerTaken, dropTaken;
    };
    const Case cases[] = {{-1, false, false}, {0, true, true},    {1, true, true},
                          {2, true, true},    {3, true, false},   {15, true, false},
                          {16, false, false}, {98, false, false}, {99, true, false}};
    for (const Case& c : cases) {
        RecordingHost host;
        ASSERT_TRUE(host.setMousePointer(7));
        ASSERT_TRUE(host.setOleDropMode(1));
        host.cursorChanges.clear();
        EXPECT_EQ(host.setMousePointer(c.value), c.pointerTaken) << c.value;
        EXPECT_EQ(host.mousePointer(), c.pointerTaken ? c.value : 7) << c.value;
        EXPECT_EQ(host.cursorChanges, std::vector<bool>(c.pointerTaken ? 1 : 0, false)) << c.value;
        EXPECT_EQ(host.setOleDropMode(c.value), c.dropTaken) << c.value;
        EXPECT_EQ(host.oleDropMode(), c.dropTaken ? c.value : 1) << c.value;
    }
    // A window that takes no drops refuses every mode but 0, and the stored mode stays.
    RecordingHost host;
    host.refuseDrops = true;
    EXPECT_FALSE(host.setOleDropMode(1));
    EXPECT_EQ(host.oleDropMode(), 0);
    // The icon is always taken and reported as an icon change; tag and enabled are kept.
    const StoredPicture icon{{1, 2, 3}};
    EXPECT_TRUE(host.setMouseIcon(icon));
    EXPECT_EQ(host.mouseIcon(), icon);
    EXPECT_EQ(host.cursorChanges, std::vector<bool>{true});
    host.setTag("x");
    host.setEnabled(false);
    EXPECT_EQ(host.tag(), "x");
    EXPECT_FALSE(host.enabled());
}

TEST(VitrelHostBase, TwipsResizesAndContainerUnitsFollowTheResolution) {
    struct Case {
        std::int32_t dpi, twips;
        std::pair<std::int32_t, std::int32_t> resized;  // of 1500 x -30 twips
        float inches;                                   // of 96 pixels
    };
    const Case cases[] = {
        {96, 15, {100, 0}, 1.0f},     {120, 12, {125, 0}, 0.8f}, {144, 10, {150, 0}, 96.0f / 144},
        {3000, 1, {1500, 0}, 0.032f}, {0, 15, {100, 0}, -1},  // no resolution: the default twips;
                                                              // no unit conversion
    };
    for (const Case& c : cases) {
        RecordingHost host;
        host.dpi = c.dpi;
        EXPECT_EQ(host.twipsPerPixelX(), c.twips) << c.dpi;
        EXPECT_EQ(host.twipsPerPixelY(), c.twips) << c.dpi;
        host.requestResize(1500, -30);
        EXPECT_EQ(host.resized, (std::vector<std::pair<std::int32_t, std::int32_t>>{c.resized}));
        const auto inches = host.pixelsToContainer(96, true, 5);
        if (c.inches < 0) {
            EXPECT_FALSE(inches) << c.dpi;
        } else {
            ASSERT_TRUE(inches) << c.dpi;
            EXPECT_FLOAT_EQ(*inches, c.inches) << c.dpi;
            EXPECT_EQ(host.pixelsToContainer(2, false, 1), 2.0f * c.twips) << c.dpi;
        }
    }
    EXPECT_EQ(RecordingHost().containerScaleMode(), 1);
}

// A headless host that hands mouse input to its control through the base.
class MouseHost final : public HeadlessHost {
  public:
    MouseHost() : HeadlessHost(200, 200) {}
    using VitrelHostBase::deliverMouse;
    using VitrelHostBase::MouseAction;
    using VitrelHostBase::ownsPoint;
};

TEST(VitrelHostBase, APressAndReleaseOverTheControlClicksOnceUnlessDoubleClickedOrDisabled) {
    using A = MouseHost::MouseAction;
    struct Step {
        A action;
        std::int16_t button;
        bool over, lastUp;
    };
    struct Case {
        const char* name;
        bool enabled;
        std::vector<Step> steps;
        std::vector<std::string> clicks;  // the Click and DblClick events raised
    };
    const Case cases[] = {
        {"press and release",
         true,
         {{A::Down, 1, true, false}, {A::Up, 1, true, true}},
         {"Click 1"}},
        {"released elsewhere", true, {{A::Down, 1, true, false}, {A::Up, 1, false, true}}, {}},
        {"released without a press", true, {{A::Up, 1, true, true}}, {}},
        {"double click",
         true,
         {{A::Down, 1, true, false},
          {A::Up, 1, true, true},
          {A::DoubleClick, 1, true, false},
          {A::Up, 1, true, true},
          {A::Down, 1, true, false},
          {A::Up, 1, true, true}},
         {"Click 1", "DblClick 1", "Click 1"}},
        {"two buttons",
         true,
         {{A::Down, 1, true, false},
          {A::Down, 2, true, false},
          {A::Up, 1, true, false},
          {A::Up, 2, true, true}},
         {"Click 1", "Click 2"}},
        {"disabled", false, {{A::Down, 1, true, false}, {A::Up, 1, true, true}}, {}},
    };
    for (const Case& c : cases) {
        MouseHost host;
        Vitrel control(host);
        control.InitProperties();
        testing::EventLog log;
        control.setEventSink(&log);
        host.setEnabled(c.enabled);
        for (const Step& s : c.steps)
            host.deliverMouse(control, s.action, s.button, 0, 0, 5, 5, s.over, s.lastUp);
        std::vector<std::string> clicks;
        for (const std::string& e : *log.entries)
            if (e.rfind("Click", 0) == 0 || e.rfind("DblClick", 0) == 0) clicks.push_back(e);
        EXPECT_EQ(clicks, c.clicks) << c.name;
        if (!c.enabled) {
            EXPECT_TRUE(log.entries->empty()) << c.name;
        }
    }
}

// The control owns the points of its hit region, or without one those of its hit rectangle: two
// dots on one row, the whole rectangle (HitTest 0), the row span (2) and the exact shape (3).
TEST(VitrelHostBase, TheControlOwnsItsHitRegionsPointsOrWithoutOneItsHitRectangles) {
    struct Case {
        std::int32_t style;
        bool dot, gap, corner;
    };
    const Case cases[] = {{0, true, true, true}, {2, true, true, false}, {3, true, false, false}};
    testing::HostedControl dots(10, 10);
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            rgba.insert(rgba.end(),
                        {9, 9, 9, std::uint8_t(y == 5 && (x == 2 || x == 7) ? 255 : 0)});
    std::int32_t w = 0, h = 0, d = 0;
    ASSERT_TRUE(dots.control.LoadImage_FromArray(testutil::makePngRgba(10, 10, rgba), w, h, d));
    for (const Case& c : cases) {
        dots.control.setHitTest(c.style);
        EXPECT_EQ(MouseHost::ownsPoint(dots.control, 7, 5), c.dot) << c.style;
        EXPECT_EQ(MouseHost::ownsPoint(dots.control, 4, 5), c.gap) << c.style;
        EXPECT_EQ(MouseHost::ownsPoint(dots.control, 0, 0), c.corner) << c.style;
    }
}

}  // namespace
}  // namespace talvrin
