// The imaging sessions of image controls on real (offscreen) windows: one start per top-level
// window, found again by the controls of its other containers, ended after the window is gone.
#include "app/qt/qt_imaging_sessions.h"

#include <gtest/gtest.h>

#include <QFrame>
#include <QTest>
#include <functional>

#include "app/qt/vitrel_widget.h"
#include "image/bridge/gdiplus.h"
#include "support/qt_test_app.h"

namespace talvrin::app::qt {
namespace {

using testing::waitFor;

TEST(QtImagingSessions, OneStartPerTopLevelWindowEndedAfterTheWindowIsDestroyed) {
    testing::qtTestApp();
    if (!bridge::backendAvailable()) GTEST_SKIP() << "no imaging backend in this build";
    auto previous = setImagingSessionBridge(makeQtImagingSessions());
    const std::size_t before = bridge::openSessions();

    // A control attaches to its container's shared object when it is created.
    const auto control = [](QWidget* parent) {
        auto* w = new VitrelWidget(parent);
        w->control().InitProperties();
        return w;
    };
    auto* window = new QWidget;
    auto* left = new QFrame(window);
    auto* right = new QFrame(window);
    VitrelWidget* a = control(left);
    VitrelWidget* b = control(left);
    VitrelWidget* c = control(right);
    // Two controls of one container share one object; the other container of the same window
    // has its own, which found the session started.
    ASSERT_EQ(a->control().CrossTalkClass(), b->control().CrossTalkClass());
    ASSERT_NE(a->control().CrossTalkClass(), c->control().CrossTalkClass());
    const std::uint32_t token = a->control().CrossTalkClass()->gdiToken();
    EXPECT_NE(token, 0u);
    EXPECT_NE(token, cCrossComm::kTokenStartedElsewhere);
    EXPECT_EQ(c->control().CrossTalkClass()->gdiToken(), cCrossComm::kTokenStartedElsewhere);
    EXPECT_TRUE(a->control().GDIplusInitialized() && c->control().GDIplusInitialized());
    EXPECT_EQ(bridge::openSessions(), before + 1);

    // Another top-level window starts its own.
    auto* other = new QWidget;
    VitrelWidget* d = control(other);
    EXPECT_NE(d->control().CrossTalkClass()->gdiToken(), token);
    EXPECT_EQ(bridge::openSessions(), before + 2);

    // The session outlives the window's teardown and ends from the event loop afterwards.
    delete window;
    EXPECT_EQ(bridge::openSessions(), before + 2);
    EXPECT_TRUE(waitFor([&] { return bridge::openSessions() == before + 1; }));
    delete other;
    EXPECT_TRUE(waitFor([&] { return bridge::openSessions() == before; }));

    setImagingSessionBridge(std::move(previous));
}

}  // namespace
}  // namespace talvrin::app::qt
