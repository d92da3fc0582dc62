// Window timers over Qt: keyed by window and identifier, periodic until killed, re-armed with a
// new callback, and safe to kill from their own tick.
#include "platform/qt/qt_timers.h"

#include <gtest/gtest.h>

#include "support/qt_test_app.h"

namespace talvrin::platform::qt {
namespace {

using talvrin::testing::waitFor;

TEST(QtWindowTimers, KeyedByWindowAndIdentifierPeriodicAndKilledFromTheirOwnTick) {
    testing::qtTestApp();
    int a = 0, b = 0, c = 0;
    setWindowTimer(1, 7, 5, [&] { ++a; });
    setWindowTimer(2, 7, 5, [&] { ++b; });     // another window, same identifier
    setWindowTimer(1, -7, 5, [&] {             // the negated identifier: its own timer
        if (++c == 2) killWindowTimer(1, -7);  // killed from within its own tick
    });
    ASSERT_TRUE(waitFor([&] { return a >= 3 && b >= 3 && c >= 2; }));
    EXPECT_FALSE(isWindowTimerArmed(1, -7));
    // The killed timer had the period of window 1's: it would have ticked again by the time
    // that one has ticked three more times.
    const int ticksAtKill = a;
    ASSERT_TRUE(waitFor([&] { return a >= ticksAtKill + 3; }));
    EXPECT_EQ(c, 2);
    // Setting again replaces the callback.
    int replaced = 0;
    setWindowTimer(1, 7, 5, [&] { ++replaced; });
    const int before = a;
    ASSERT_TRUE(waitFor([&] { return replaced >= 2; }));
    EXPECT_EQ(a, before);
    killWindowTimers(1);
    killWindowTimer(2, 7);
    killWindowTimer(2, 8);  // not armed: nothing happens
    EXPECT_FALSE(isWindowTimerArmed(1, 7));
    EXPECT_FALSE(isWindowTimerArmed(2, 7));
}

}  // namespace
}  // namespace talvrin::platform::qt
