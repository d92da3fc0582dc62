// cCrossComm: the registration list, the captured control and the session start, on their own
// and as the image controls of a container share them.
#include "image/control/cross_comm.h"

#include <gtest/gtest.h>

#include <set>

#include "fake_host.h"
#include "image/bridge/gdiplus.h"

namespace talvrin {
namespace {

using testing::FakeContainer;
using testing::FakeDesktop;
using testing::HostedControl;

// A control stand-in that counts its releases.
struct Member final : ICrossComm {
    std::shared_ptr<cCrossComm> CrossTalkClass() const override { return nullptr; }
    void ReleaseMouseCapture() override { ++releases; }
    int releases = 0;
};

TEST(CrossComm, TheListStaysAscendingAndGrowsAndShrinksByItsRule) {
    cCrossComm comm;
    Member m;
    EXPECT_EQ(comm.capacity(), 0u);
    comm.AddRef(0, &m);       // identity 0 is no control
    comm.AddRef(5, nullptr);  // nor is a missing one
    EXPECT_EQ(comm.count(), 0);
    for (const std::int32_t id : {50, 10, 30, 90, 70, 30, 10})  // two of them twice
        comm.AddRef(id, &m);
    EXPECT_EQ(comm.registered(), (std::vector<std::int32_t>{10, 30, 50, 70, 90}));
    EXPECT_EQ(comm.capacity(), 6u);  // room for 6 from the first registration
    comm.AddRef(20, &m);
    EXPECT_EQ(comm.capacity(), 6u);  // full now
    comm.AddRef(-4, &m);
    EXPECT_EQ(comm.capacity(), 12u);  // the new count 7 plus 5
    EXPECT_EQ(comm.registered(), (std::vector<std::int32_t>{-4, 10, 20, 30, 50, 70, 90}));
    comm.RemoveRef(30);
    EXPECT_EQ(comm.registered(), (std::vector<std::int32_t>{-4, 10, 20, 50, 70, 90}));
    EXPECT_EQ(comm.capacity(), 6u);  // 6 spare entries are more than 5: shrunk to the count
    comm.RemoveRef(31);              // a stranger changes nothing
    EXPECT_EQ(comm.count(), 6);
    for (const std::int32_t id : {-4, 10, 20, 50, 70})
        comm.RemoveRef(id);
    EXPECT_EQ(comm.registered(), (std::vector<std::int32_t>{90}));
    EXPECT_EQ(comm.capacity(), 6u);  // 5 spare are kept
    comm.RemoveRef(90);
    EXPECT_EQ(comm.capacity(), 0u);  // released with the last control
}

TEST(CrossComm, CaptureReleasesOnlyARegisteredPreviousControl) {
    cCrossComm comm;
    Member a, b;
    comm.AddRef(1, &a);
    comm.AddRef(2, &b);
    comm.setCapturedControl(1);  // nobody captured: just stored
    comm.setCapturedControl(1);  // the captured one again: no release
    EXPECT_EQ(a.releases, 0);
    comm.setCapturedControl(2);  // a second control: the first is released
    EXPECT_EQ(a.releases, 1);
    EXPECT_EQ(comm.CapturedControl(), 2);
    comm.setCapturedControl(0);
    EXPECT_EQ(b.releases, 1);
    EXPECT_EQ(comm.CapturedControl(), 0);

    // A stored identity that is not registered is skipped, never called.
    comm.setCapturedControl(42);
    comm.setCapturedControl(1);
    EXPECT_EQ(a.releases + b.releases, 2);
    EXPECT_EQ(comm.CapturedControl(), 1);

    // Unregistering a stranger clears the capture only when it was the captured one.
    comm.RemoveRef(7);
    EXPECT_EQ(comm.CapturedControl(), 1);
    comm.setCapturedControl(0);
    comm.setCapturedControl(7);
    comm.RemoveRef(7);
    EXPECT_EQ(comm.CapturedControl(), 0);
    EXPECT_EQ(comm.count(), 2);
    // Unregistering the captured control clears it without a release.
    comm.setCapturedControl(2);
    const int releases = b.releases;
    comm.RemoveRef(2);
    EXPECT_EQ(comm.CapturedControl(), 0);
    EXPECT_EQ(b.releases, releases);
    // The captured control giving the capture up itself calls nobody; another identity's
    // leaving changes nothing.
    comm.setCapturedControl(1);
    comm.leaveCapture(3);
    EXPECT_EQ(comm.CapturedControl(), 1);
    comm.leaveCapture(1);
    EXPECT_EQ(comm.CapturedControl(), 0);
    EXPECT_EQ(a.releases, 2);  // still the two from above
}

// An imaging library that can be started, leaving its marker under a top-level window.
struct FakeBridge final : ImagingSessionBridge {
    bool hasMarker(WindowHandle top) const override { return markers->count(top) != 0; }
    std::uint32_t startup() override { return ++*starts + 76; }
    bool guard(WindowHandle top, std::uint32_t) override {
        markers->insert(top);
        return true;
    }
    std::shared_ptr<std::set<WindowHandle>> markers = std::make_shared<std::set<WindowHandle>>();
    std::shared_ptr<std::uint32_t> starts = std::make_shared<std::uint32_t>(0);
};

TEST(CrossComm, ControlsOfAContainerShareOneObjectAndOneSessionStartPerTopLevelWindow) {
    FakeDesktop desktop;
    FakeContainer first(desktop, 0x100, {0, 0}, 0x10);
    FakeContainer second(desktop, 0x200, {0, 0}, 0x10);  // same top-level window
    first.members.push_back({"Label", nullptr});         // another type comes first
    HostedControl a(first, {0, 0}, 20, 20);
    HostedControl b(first, {30, 0}, 20, 20);
    HostedControl c(second, {0, 0}, 20, 20);
    ASSERT_NE(a.control.CrossTalkClass(), nullptr);
    EXPECT_EQ(a.control.CrossTalkClass(), b.control.CrossTalkClass());
    EXPECT_NE(a.control.CrossTalkClass(), c.control.CrossTalkClass());
    EXPECT_NE(a.control.identity(), 0);
    EXPECT_NE(a.control.identity(), b.control.identity());
    EXPECT_NE(a.control.identity(), -b.control.identity());
    const auto& shared = *a.control.CrossTalkClass();
    EXPECT_EQ(shared.count(), 2);
    EXPECT_EQ(shared.registered(),
              (std::vector<std::int32_t>{std::min(a.control.identity(), b.control.identity()),
                                         std::max(a.control.identity(), b.control.identity())}));
    // Restoring attaches again: the same object, one entry.
    a.control.ReadProperties(PropertyBag{});
    EXPECT_EQ(a.control.CrossTalkClass(), b.control.CrossTalkClass());
    EXPECT_EQ(shared.count(), 2);

    // No session bridge installed: no session, and the controls say so.
    EXPECT_EQ(shared.gdiToken(), 0u);
    EXPECT_FALSE(a.control.GDIplusInitialized());
    EXPECT_EQ(a.control.GDIplusEnabled(), bridge::backendAvailable());
    EXPECT_EQ(a.control.CrossTalkClass()->ManageGDIToken(a.host, 0x100), 0u);

    // With a bridge: the first container's object starts the session, the second container of
    // the same top-level window finds it started (-1), another top-level window starts again.
    FakeBridge bridge;
    const auto markers = bridge.markers;
    const auto starts = bridge.starts;
    auto previous = setImagingSessionBridge(std::make_unique<FakeBridge>(bridge));
    EXPECT_EQ(a.control.CrossTalkClass()->ManageGDIToken(a.host, 0x100), 77u);
    EXPECT_EQ(c.control.CrossTalkClass()->ManageGDIToken(c.host, 0x200),
              cCrossComm::kTokenStartedElsewhere);
    EXPECT_EQ(*starts, 1u);
    EXPECT_EQ(*markers, (std::set<WindowHandle>{0x10}));
    // The first control of a container starts the session as it attaches, when the imaging
    // library is there; then the container's object finds its own marker.
    FakeContainer elsewhere(desktop, 0x300, {0, 0}, 0x20);
    HostedControl d(elsewhere, {0, 0}, 20, 20);
    if (d.control.GDIplusEnabled()) {
        EXPECT_EQ(d.control.CrossTalkClass()->gdiToken(), 78u);
        EXPECT_EQ(d.control.CrossTalkClass()->ManageGDIToken(d.host, 0x300),
                  cCrossComm::kTokenStartedElsewhere);
    } else {
        EXPECT_EQ(d.control.CrossTalkClass()->ManageGDIToken(d.host, 0x300), 78u);
    }
    setImagingSessionBridge(std::move(previous));

    // A control that attaches later takes the shared token onto its surface.
    HostedControl e(first, {60, 0}, 20, 20);
    EXPECT_EQ(e.control.CrossTalkClass(), a.control.CrossTalkClass());
    EXPECT_EQ(e.control.surface().gdiToken(), 77u);
    EXPECT_TRUE(e.control.GDIplusInitialized());
}

}  // namespace
}  // namespace talvrin
