// Vitrel's mouse: which points are the control's, MouseEnter and MouseExit across the controls
// of a container with the polling timer on the manual clock, the buttons word, coordinates in
// the container's unit, Enabled, design mode, visibility and the end of a control.
#include <gtest/gtest.h>

#include "fake_host.h"
#include "image/codecs/gifico_test_util.h"
#include "platform/picture/clipboard.h"

namespace talvrin {
namespace {

using testing::EventLog;
using testing::FakeContainer;
using testing::FakeDesktop;
using testing::HostedControl;
using testutil::Bytes;
using Log = std::vector<std::string>;

// An n x n opaque disc (radius n / 2 - 1 around the centre) with transparent corners.
Bytes discPng(int n) {
    std::vector<std::uint8_t> rgba;
    const double c = (n - 1) / 2.0, r = n / 2.0 - 1;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const bool in = (x - c) * (x - c) + (y - c) * (y - c) <= r * r;
            rgba.insert(rgba.end(), {200, 40, 40, std::uint8_t(in ? 255 : 0)});
        }
    return testutil::makePngRgba(n, n, rgba);
}

// A w x h image whose pixels are visible only where visible(x, y).
template <class F>
Bytes maskedPng(int w, int h, F visible) {
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            rgba.insert(rgba.end(), {9, 9, 9, std::uint8_t(visible(x, y) ? 255 : 0)});
    return testutil::makePngRgba(w, h, rgba);
}

bool load(Vitrel& c, const Bytes& bytes) {
    std::int32_t w = 0, h = 0, d = 0;
    return c.LoadImage_FromArray(bytes, w, h, d);
}

// A drop that carries nothing.
struct NoData final : platform::DropDataObject {
    bool hasFormat(platform::ClipboardFormat) const override { return false; }
    std::optional<platform::FileDrop> fileDrop() const override { return std::nullopt; }
    std::vector<std::string> files() const override { return {}; }
    void clearFiles() override {}
    void addFile(std::string) override {}
};

HitResult ask(Vitrel& c, float x, float y) {
    HitResult r = HitResult::Outside;
    c.HitTestQuery(x, y, r);
    return r;
}

// One container (client area at 300, 200 on the screen) with its desktop.
struct Scene {
    FakeDesktop desktop;
    FakeContainer box{desktop, 0x100, {300, 200}};
    std::shared_ptr<Log> log = std::make_shared<Log>();
    EventLog sink(const char* name) {
        EventLog l(name);
        l.entries = log;
        return l;
    }
    Log take() { return std::exchange(*log, {}); }
};

TEST(VitrelHitTest, ExactShapeLeavesTransparentCornersToWhatIsBeneath) {
    Scene s;
    HostedControl t(s.box, {10, 10}, 20, 20);
    EventLog events = s.sink("A");
    t.control.setEventSink(&events);
    ASSERT_TRUE(load(t.control, discPng(20)));
    t.control.setHitTest(3);
    ASSERT_NE(t.control.hitRegion(), nullptr);

    // A corner: not the control's, so no MouseEnter, MouseDown or Click, and no timer.
    EXPECT_EQ(s.box.mouseMove({10, 10}), nullptr);
    EXPECT_EQ(s.box.mouseDown({11, 10}, 1), nullptr);
    EXPECT_EQ(s.box.mouseUp({11, 10}, 1), nullptr);
    EXPECT_EQ(ask(t.control, 19.4f, 0.6f), HitResult::Outside);  // rounded to 19, 1
    EXPECT_TRUE(s.take().empty());
    EXPECT_FALSE(t.control.isMouseOver());
    EXPECT_EQ(s.desktop.armedCount(), 0u);

    // The disc: events with X and Y in twips (the container's unit, 15 a pixel).
    EXPECT_EQ(s.box.mouseMove({20, 20}), &t.host);
    EXPECT_EQ(s.box.mouseDown({20, 21}, 1), &t.host);
    EXPECT_EQ(s.box.mouseUp({21, 21}, 1), &t.host);
    EXPECT_EQ(s.take(), (Log{"A.MouseEnter", "A.MouseMove 0 0 150 150", "A.MouseDown 1 0 150 165",
                             "A.MouseUp 1 0 165 165", "A.Click 1"}));
    EXPECT_TRUE(t.control.isMouseOver());
    EXPECT_EQ(t.host.tag(), "Timer");
    EXPECT_EQ(t.control.containerOrigin(), (Point{10, 10}));
    EXPECT_EQ(s.desktop.period(0x100, t.control.identity()), 100u);

    // A hit test that misses while captured ends it at once.
    EXPECT_EQ(ask(t.control, 0, 0), HitResult::Outside);
    EXPECT_EQ(s.take(), (Log{"A.MouseExit"}));
    EXPECT_FALSE(t.control.isMouseOver());
    EXPECT_EQ(t.host.tag(), "");
    EXPECT_EQ(s.desktop.armedCount(), 0u);
    // ... unless the host proposed another answer than outside.
    s.box.mouseMove({20, 20});
    s.take();
    HitResult close = HitResult::Close;
    t.control.HitTestQuery(0, 0, close);
    EXPECT_EQ(close, HitResult::Close);
    EXPECT_TRUE(t.control.isMouseOver());
}

TEST(VitrelHitTest, BoundingBoxAndRowSpansAndImagesWithoutVisiblePixels) {
    // A visible column one pixel wide (x = 4): its one-column box with HitTest 1.
    HostedControl column(10, 10);
    ASSERT_TRUE(load(column.control, maskedPng(10, 10, [](int x, int) { return x == 4; })));
    column.control.setHitTest(1);
    EXPECT_EQ(column.control.hitRegion(), nullptr);
    EXPECT_EQ(column.control.hitRect(), (Rect{4, 0, 5, 10}));
    EXPECT_EQ(ask(column.control, 4, 9), HitResult::Hit);
    EXPECT_EQ(ask(column.control, 5, 5), HitResult::Outside);

    // Two dots on one row: the row span (HitTest 2) covers the gap between them, the exact shape
    // (HitTest 3) does not; HitTest 0 is the whole rectangle.
    HostedControl dots(10, 10);
    ASSERT_TRUE(load(dots.control,
                     maskedPng(10, 10, [](int x, int y) { return y == 5 && (x == 2 || x == 7); })));
    const struct {
        std::int32_t style;
        HitResult gap, corner;
    } cases[] = {{0, HitResult::Hit, HitResult::Hit},
                 {2, HitResult::Hit, HitResult::Outside},
                 {3, HitResult::Outside, HitResult::Outside}};
    for (const auto& c : cases) {
        dots.control.setHitTest(c.style);
        EXPECT_EQ(ask(dots.control, 4, 5), c.gap) << c.style;
        EXPECT_EQ(ask(dots.control, 0, 0), c.corner) << c.style;
        EXPECT_EQ(ask(dots.control, 7, 5), HitResult::Hit) << c.style;
        EXPECT_EQ(ask(dots.control, 0, 0), c.corner) << c.style;  // leave again
    }

    // No visible pixel: no region and an empty rectangle for every style but 0.
    HostedControl clear(10, 10);
    ASSERT_TRUE(load(clear.control, maskedPng(10, 10, [](int, int) { return false; })));
    for (const std::int32_t style : {1, 2, 3, 0}) {
        clear.control.setHitTest(style);
        EXPECT_EQ(clear.control.hitRegion(), nullptr) << style;
        EXPECT_EQ(ask(clear.control, 5, 5), style == 0 ? HitResult::Hit : HitResult::Outside)
            << style;
    }
}

TEST(VitrelMouse, OverlappingControlsHandTheMouseOverExitBeforeEnter) {
    Scene s;
    HostedControl a(s.box, {0, 0}, 20, 20);   // beneath
    HostedControl b(s.box, {10, 0}, 20, 20);  // on top, overlapping a's right half
    EventLog ea = s.sink("A"), eb = s.sink("B");
    a.control.setEventSink(&ea);
    b.control.setEventSink(&eb);
    ASSERT_TRUE(load(a.control, maskedPng(20, 20, [](int, int) { return true; })));
    ASSERT_TRUE(load(b.control, discPng(20)));
    b.control.setHitTest(3);

    s.box.mouseMove({5, 10});  // a alone
    // b's transparent corner lies over a: the point is a's, and a keeps the mouse.
    EXPECT_EQ(s.box.mouseMove({11, 1}), &a.host);
    EXPECT_EQ(s.take(), (Log{"A.MouseEnter", "A.MouseMove 0 0 75 150", "A.MouseMove 0 0 165 15"}));
    // b's disc: a leaves before b enters.
    EXPECT_EQ(s.box.mouseMove({20, 10}), &b.host);
    EXPECT_EQ(s.take(), (Log{"A.MouseExit", "B.MouseEnter", "B.MouseMove 0 0 150 150"}));
    EXPECT_FALSE(a.control.isMouseOver());
    EXPECT_TRUE(b.control.isMouseOver());
    EXPECT_EQ(a.host.tag(), "");
    EXPECT_FALSE(s.desktop.armed(0x100, a.control.identity()));
    EXPECT_TRUE(s.desktop.armed(0x100, b.control.identity()));
    EXPECT_EQ(b.control.containerOrigin(), (Point{10, 0}));
    // And back.
    EXPECT_EQ(s.box.mouseMove({5, 10}), &a.host);
    EXPECT_EQ(s.take(), (Log{"B.MouseExit", "A.MouseEnter", "A.MouseMove 0 0 75 150"}));
}

TEST(VitrelMouse, ThePollingTimerEndsTheCaptureWithinOneTick) {
    Scene s;
    HostedControl t(s.box, {40, 30}, 20, 20);
    EventLog events = s.sink("A");
    t.control.setEventSink(&events);
    ASSERT_TRUE(load(t.control, discPng(20)));
    t.control.setHitTest(3);
    const std::int32_t id = t.control.identity();

    s.box.mouseMove({50, 40});
    s.take();
    // Staying over the control: the timer keeps re-arming itself, nothing is raised.
    s.desktop.advance(1000);
    EXPECT_EQ(s.desktop.ticks, 10);
    EXPECT_TRUE(s.take().empty());
    EXPECT_TRUE(s.desktop.armed(0x100, id));
    // The cursor goes onto the container beside the control, where no hit test is asked: the
    // next tick finds it outside.
    EXPECT_EQ(s.box.mouseMove({5, 5}), nullptr);
    s.desktop.advance(99);
    EXPECT_TRUE(s.take().empty());
    s.desktop.advance(1);
    EXPECT_EQ(s.take(), (Log{"A.MouseExit"}));
    EXPECT_FALSE(s.desktop.armed(0x100, id));
    EXPECT_EQ(t.host.tag(), "");

    // Leaving the container for another window: MouseExit within one tick, even though the
    // cursor's position would lie over the control.
    s.box.mouseMove({50, 40});
    EXPECT_EQ(s.take(), (Log{"A.MouseEnter", "A.MouseMove 0 0 150 150"}));
    s.box.leaveTo({350, 240}, 0x999);
    s.desktop.advance(100);
    EXPECT_EQ(s.take(), (Log{"A.MouseExit"}));
    EXPECT_FALSE(t.control.isMouseOver());
    EXPECT_EQ(s.desktop.armedCount(), 0u);
    s.desktop.advance(1000);
    EXPECT_TRUE(s.take().empty());
}

TEST(VitrelMouse, DisabledAndDesignTimeControlsNeverTakeTheMouse) {
    Scene s;
    HostedControl off(s.box, {0, 0}, 20, 20);
    EventLog events = s.sink("A");
    off.control.setEventSink(&events);
    ASSERT_TRUE(load(off.control, discPng(20)));
    off.control.setHitTest(3);
    const auto& comm = *off.control.CrossTalkClass();
    // Disabling while the mouse is over the control: no MouseExit, the timer stops, the control
    // leaves the list.
    s.box.mouseMove({10, 10});
    s.take();
    off.control.setEnabled(false);
    EXPECT_TRUE(s.take().empty());
    EXPECT_EQ(s.desktop.armedCount(), 0u);
    EXPECT_EQ(off.host.tag(), "");
    EXPECT_EQ(comm.CapturedControl(), 0);
    EXPECT_EQ(comm.count(), 0);
    // Disabled: the whole rectangle answers, the control is never captured.
    EXPECT_EQ(off.control.hitRegion(), nullptr);
    EXPECT_EQ(off.control.hitRect(), (Rect{0, 0, 20, 20}));
    EXPECT_EQ(ask(off.control, 0, 0), HitResult::Hit);
    s.box.mouseMove({0, 0});
    EXPECT_FALSE(off.control.isMouseOver());
    EXPECT_EQ(comm.CapturedControl(), 0);
    EXPECT_TRUE(s.take().empty());
    // Enabled again: registered, the shape back.
    off.control.setEnabled(true);
    EXPECT_EQ(comm.count(), 1);
    EXPECT_EQ(ask(off.control, 0, 0), HitResult::Outside);
    EXPECT_EQ(off.host.changes.back(), "Enabled");

    // Design mode: the whole rectangle, no enter or exit, no timer.
    HostedControl design(s.box, {40, 0}, 20, 20, false);
    EventLog de = s.sink("D");
    design.control.setEventSink(&de);
    ASSERT_TRUE(load(design.control, discPng(20)));
    design.control.setHitTest(3);
    EXPECT_EQ(design.control.timerWindow(), 0u);
    EXPECT_EQ(s.box.mouseMove({40, 0}), &design.host);
    s.box.leaveTo({0, 0}, 0x999);
    s.desktop.advance(500);
    EXPECT_EQ(s.take(), (Log{"D.MouseMove 0 0 0 0"}));
    EXPECT_FALSE(design.control.isMouseOver());
    EXPECT_EQ(s.desktop.armedCount(), 0u);
}

TEST(VitrelMouse, TheButtonsWordAndClickAcrossDownAndUp) {
    HostedControl t(10, 10);
    EventLog log;
    t.control.setEventSink(&log);
    const struct {
        bool down;
        std::int16_t button;
        std::uint16_t word;  // after the step
        std::int16_t click;  // Click's Button after the step
    } steps[] = {
        {true, 1, 0x01, 0},   // left down
        {false, 1, 0x11, 1},  // left up: the release goes to the high half
        {true, 2, 0x13, 1},   // right down: the high half stays until the next release
        {false, 4, 0x03, 0},  // middle never went down: the high half is only cleared
        {false, 2, 0x23, 2},  // right up
        {false, 1, 0x13, 1},  // left again (the low half keeps what went down)
    };
    for (const auto& step : steps) {
        if (step.down) {
            t.control.onMouseDown(step.button, 0, 1, 1);
        } else {
            t.control.onMouseUp(step.button, 0, 1, 1);
        }
        EXPECT_EQ(t.control.buttonsWord(), step.word) << step.button;
        log.entries->clear();
        t.control.onClick();
        t.control.onDblClick();
        EXPECT_EQ(*log.entries, (Log{"Click " + std::to_string(step.click),
                                     "DblClick " + std::to_string(step.click)}));
    }
}

TEST(VitrelMouse, EventsCarryTheContainersUnitAndKeysPassUnchanged) {
    HostedControl t(10, 10);
    EventLog log;
    t.control.setEventSink(&log);
    t.control.onMouseMove(2, 1, 3, 4.5f);  // twips, the container's scale mode here
    t.host.scaleMode = 3;                  // pixels
    t.control.Refresh();
    t.control.onMouseUp(1, 4, 3, 4.5f);
    t.host.scaleMode = std::nullopt;  // unreadable: the position unit 9, which fails here
    t.control.Refresh();
    EXPECT_EQ(t.control.containerScaleMode(), 9);
    t.control.onMouseDown(1, 0, 3, 4);         // a conversion that fails raises nothing ...
    EXPECT_EQ(t.control.buttonsWord(), 0x01);  // ... but the button went down
    t.control.onKeyDown(65, 2);
    t.control.onKeyPress(97);
    t.control.onKeyUp(65, 2);
    // Drops: converted too (here they fail), then in pixels; the handler's Effect comes back.
    NoData data;
    std::int32_t effect = 3;
    t.control.onOLEDragOver(data, effect, 1, 0, 2, 2, 0);
    EXPECT_EQ(effect, 3);
    t.host.scaleMode = 3;
    t.control.Refresh();
    t.control.onOLEDragOver(data, effect, 1, 0, 2, 2, 2);
    EXPECT_EQ(effect, 2);
    t.control.onOLEDragDrop(data, effect, 1, 1, 2.5f, 3);
    EXPECT_EQ(effect, 1);
    EXPECT_EQ(*log.entries,
              (Log{"MouseMove 2 1 45 67.5", "MouseUp 1 4 3 4.5", "KeyDown 65 2", "KeyPress 97",
                   "KeyUp 65 2", "OLEDragOver 1 0 2 2 state 2", "OLEDragDrop 1 1 2.5 3 effect 2"}));
}

TEST(VitrelMouse, HidingAndShowingLeaveAndJoinTheListWithoutEvents) {
    Scene s;
    HostedControl t(s.box, {0, 0}, 20, 20);
    EventLog events = s.sink("A");
    t.control.setEventSink(&events);
    ASSERT_TRUE(load(t.control, discPng(20)));
    const auto& comm = *t.control.CrossTalkClass();
    s.box.mouseMove({10, 10});
    s.take();
    t.control.Hide();
    EXPECT_TRUE(s.take().empty());
    EXPECT_EQ(comm.count(), 0);
    EXPECT_EQ(comm.CapturedControl(), 0);
    EXPECT_EQ(s.desktop.armedCount(), 0u);
    EXPECT_EQ(t.host.tag(), "");
    t.control.Show();
    EXPECT_EQ(comm.registered(), (std::vector<std::int32_t>{t.control.identity()}));
    // A Tag of the user's own is not the control's marker and stays.
    t.host.setTag("mine");
    t.control.Hide();
    EXPECT_EQ(t.host.tag(), "mine");
}

TEST(VitrelMouse, AControlDestroyedWithBothTimersArmedIsNeverReached) {
    Scene s;
    HostedControl other(s.box, {40, 0}, 20, 20);
    auto doomed = std::make_unique<HostedControl>(s.box, Point{0, 0}, 20, 20);
    EventLog events = s.sink("A");
    doomed->control.setEventSink(&events);
    ASSERT_TRUE(load(doomed->control, discPng(20)));
    s.box.mouseMove({10, 10});
    doomed->control.FadeInOut(0, 10, 50);
    const std::int32_t id = doomed->control.identity();
    ASSERT_TRUE(s.desktop.armed(0x100, id));
    ASSERT_TRUE(s.desktop.armed(0x100, -id));
    const auto comm = doomed->control.CrossTalkClass();
    doomed.reset();
    EXPECT_EQ(s.desktop.armedCount(), 0u);
    EXPECT_EQ(comm->CapturedControl(), 0);
    EXPECT_EQ(comm->registered(), (std::vector<std::int32_t>{other.control.identity()}));
    s.desktop.advance(1000);  // under the sanitizers a tick reaching the control would fail here
    EXPECT_EQ(s.desktop.ticks, 0);
}

}  // namespace
}  // namespace talvrin
