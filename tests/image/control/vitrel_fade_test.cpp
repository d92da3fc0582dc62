// FadeInOut step by step on the manual clock: the opacity after each tick, the timer's period
// and identifier, FadeTerminated, and what stops or replaces a fade.
#include <gtest/gtest.h>

#include "fake_host.h"

namespace talvrin {
namespace {

using testing::EventLog;
using testing::HostedControl;
using Log = std::vector<std::string>;

struct Fading {
    Fading() { t.control.setEventSink(&log); }
    testing::FakeDesktop& desktop() { return t.host.container.desktop; }
    std::intptr_t fadeId() const { return -std::intptr_t{t.control.identity()}; }
    // The opacity after each of n steps of ms milliseconds.
    std::vector<std::int32_t> run(int n, std::int64_t ms) {
        std::vector<std::int32_t> seen;
        for (int i = 0; i < n; ++i) {
            desktop().advance(ms);
            seen.push_back(t.control.Opacity());
        }
        return seen;
    }
    HostedControl t{20, 20};
    EventLog log;
};

TEST(VitrelFade, TheExamplesStepByStep) {
    const struct {
        std::int32_t from, target, step, delay;
        std::int32_t first;              // set at once
        std::uint32_t period;            // the timer's
        std::vector<std::int32_t> next;  // after each period
        std::int32_t end;                // FadeTerminated's value
    } cases[] = {
        {100, 0, 30, 50, 70, 50, {40, 10, 0}, 0},
        {100, 0, -30, 50, 70, 50, {40, 10, 0}, 0},          // a negative step is its absolute value
        {0, 100, 25, 5, 25, 10, {50, 75, 100}, 100},        // delays below 10 become 10
        {50, 150, 10, 20, 60, 20, {70, 80, 90, 100}, 100},  // targets above 100 are 100
        {95, 100, 10, 20, 100, 0, {}, 100},                 // the first step finishes at once
        {30, -5, 100, 0, 0, 0, {}, 0},
    };
    for (const auto& c : cases) {
        Fading f;
        f.t.control.setOpacity(c.from);
        f.t.host.changes.clear();
        const int repaints = f.t.host.repaints;
        f.t.control.FadeInOut(c.target, c.step, c.delay);
        EXPECT_EQ(f.t.control.Opacity(), c.first) << c.from << " " << c.target;
        EXPECT_EQ(f.desktop().period(0x100, f.fadeId()).value_or(0), c.period) << c.from;
        // The polling timer's identifier is not the fade's.
        EXPECT_FALSE(f.desktop().armed(0x100, f.t.control.identity()));
        if (!c.next.empty()) {
            // Nothing happens before the period is over.
            f.desktop().advance(c.period - 1);
            EXPECT_EQ(f.t.control.Opacity(), c.first);
            f.desktop().advance(1);
            std::vector<std::int32_t> seen{f.t.control.Opacity()};
            const auto more = f.run(static_cast<int>(c.next.size()) - 1, c.period);
            seen.insert(seen.end(), more.begin(), more.end());
            EXPECT_EQ(seen, c.next) << c.from << " " << c.target;
        }
        EXPECT_EQ(*f.log.entries, (Log{"FadeTerminated " + std::to_string(c.end)})) << c.from;
        EXPECT_EQ(f.t.control.fadeStep(), 0);
        EXPECT_EQ(f.desktop().armedCount(), 0u);
        // Every step went through Opacity: reported and repainted.
        const std::size_t steps = c.next.size() + 1;
        EXPECT_EQ(f.t.host.changes, Log(steps, "Opacity")) << c.from;
        EXPECT_EQ(f.t.host.repaints - repaints, static_cast<int>(steps)) << c.from;
        f.desktop().advance(1000);
        EXPECT_EQ(f.log.entries->size(), 1u);
    }
}

TEST(VitrelFade, NothingToDoRaisesNothing) {
    Fading f;
    f.t.control.setOpacity(40);
    f.t.host.changes.clear();
    f.t.control.FadeInOut(0, 0, 50);     // step 0
    f.t.control.FadeInOut(40, 10, 50);   // the current opacity
    f.t.control.FadeInOut(-20, 10, 50);  // held to 0 ... 100: not the current
    EXPECT_EQ(f.t.control.Opacity(), 30);
    f.t.control.setOpacity(100);
    f.t.control.FadeInOut(300, 5, 10);  // 100, the current one: the fade above stops too
    EXPECT_EQ(f.desktop().armedCount(), 0u);
    f.desktop().advance(1000);
    EXPECT_EQ(f.t.control.Opacity(), 100);
    EXPECT_TRUE(f.log.entries->empty());
}

TEST(VitrelFade, ANewFadeOrHidingStopsTheRunningOneWithoutItsEvent) {
    Fading f;
    f.t.control.FadeInOut(0, 10, 50);   // 90
    f.desktop().advance(50);            // 80
    f.t.control.FadeInOut(100, 5, 20);  // replaces it: 85 at once, upward
    EXPECT_EQ(f.t.control.Opacity(), 85);
    EXPECT_EQ(f.t.control.fadeStep(), 5);
    EXPECT_EQ(f.t.control.fadeTarget(), 100);
    EXPECT_EQ(f.desktop().period(0x100, f.fadeId()), 20u);
    f.desktop().advance(20);
    EXPECT_EQ(f.t.control.Opacity(), 90);
    f.t.control.Hide();
    EXPECT_EQ(f.t.control.fadeStep(), 0);
    EXPECT_EQ(f.desktop().armedCount(), 0u);
    f.desktop().advance(1000);
    EXPECT_EQ(f.t.control.Opacity(), 90);
    EXPECT_TRUE(f.log.entries->empty());
}

}  // namespace
}  // namespace talvrin
