// The imaging sessions of image controls on real windows: one start per top-level window, found
// again by the controls of its other containers and owned windows, ended from a thread timer
// after the window is gone.
#include "app/win32/win32_imaging_sessions.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>

#include "image/bridge/gdiplus.h"
#include "image/control/fake_host.h"
#include "platform/win32/win32_windows.h"

namespace talvrin {
namespace {

using app::win32::pendingShutdowns;
using platform::win32::topLevelWindowOf;

constexpr const char* kNoWindows =
    "no windows can be made here (under Wine without a display, set its null display driver as "
    "scripts/test does)";

HWND makeWindow(DWORD style, HWND parent, const char* title) {
    return CreateWindowExA(0, "Static", title, style, 0, 0, 100, 80, parent, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

WindowHandle handleOf(HWND window) {
    return reinterpret_cast<WindowHandle>(window);
}

double cpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto seconds = [](const FILETIME& t) {
        return ((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

// Dispatches this thread's messages until done() holds; false when that takes more than a few
// seconds of processor time (the loop never blocks, so a timer that never fires is caught).
bool pumpUntil(const std::function<bool()>& done) {
    const double limit = cpuSeconds() + 5;
    MSG message;
    while (!done()) {
        if (cpuSeconds() > limit) return false;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }
    return true;
}

// The session a control attached to this window would get from its container's shared object.
std::uint32_t attach(cCrossComm& shared, HWND container) {
    testing::FakeHost host;
    host.container.window = handleOf(container);
    host.container.topLevel = topLevelWindowOf(handleOf(container));
    return shared.ManageGDIToken(host, handleOf(container));
}

TEST(Win32ImagingSessions, OneStartPerTopLevelWindowEndedAfterTheWindowIsDestroyed) {
    if (!bridge::backendAvailable()) GTEST_SKIP() << "no imaging library on this system";
    auto previous = setImagingSessionBridge(app::win32::makeWin32ImagingSessions());
    const std::size_t before = bridge::openSessions();

    const HWND window = makeWindow(WS_OVERLAPPEDWINDOW, nullptr, "window");
    if (window == nullptr) GTEST_SKIP() << kNoWindows;
    const HWND left = makeWindow(WS_CHILD | WS_VISIBLE, window, "left");
    const HWND inner = makeWindow(WS_CHILD | WS_VISIBLE, left, "inner");
    const HWND right = makeWindow(WS_CHILD | WS_VISIBLE, window, "right");
    const HWND owned = makeWindow(WS_POPUP, window, "owned");
    const HWND other = makeWindow(WS_OVERLAPPEDWINDOW, nullptr, "other");
    ASSERT_TRUE(window && left && inner && right && owned && other);
    for (const HWND w : {window, left, inner, right, owned})
        EXPECT_EQ(topLevelWindowOf(handleOf(w)), handleOf(window));

    // The first container starts the session and leaves the hidden marker under the window.
    cCrossComm first, second, third, elsewhere;
    const std::uint32_t token = attach(first, inner);
    EXPECT_NE(token, 0u);
    EXPECT_NE(token, cCrossComm::kTokenStartedElsewhere);
    EXPECT_EQ(bridge::openSessions(), before + 1);
    const HWND marker = FindWindowExA(window, nullptr, "Static", "GDI+Safe Patch");
    ASSERT_NE(marker, nullptr);
    EXPECT_FALSE(IsWindowVisible(marker));
    EXPECT_EQ(GetParent(marker), window);

    // The other containers of the window, an owned window among them, find it: no second start.
    EXPECT_EQ(attach(second, right), cCrossComm::kTokenStartedElsewhere);
    EXPECT_EQ(attach(third, owned), cCrossComm::kTokenStartedElsewhere);
    EXPECT_EQ(bridge::openSessions(), before + 1);

    // Another top-level window starts its own.
    const std::uint32_t otherToken = attach(elsewhere, other);
    EXPECT_NE(otherToken, 0u);
    EXPECT_NE(otherToken, token);
    EXPECT_EQ(bridge::openSessions(), before + 2);

    // The session outlives the window's destruction and ends from the thread's timer later.
    ASSERT_TRUE(DestroyWindow(window));
    EXPECT_FALSE(IsWindow(marker));
    EXPECT_EQ(bridge::openSessions(), before + 2);
    EXPECT_EQ(pendingShutdowns(), 1u);
    EXPECT_TRUE(pumpUntil([&] { return bridge::openSessions() == before + 1; }));
    EXPECT_EQ(pendingShutdowns(), 0u);
    ASSERT_TRUE(DestroyWindow(other));
    EXPECT_TRUE(pumpUntil([&] { return bridge::openSessions() == before; }));
    setImagingSessionBridge(std::move(previous));
}

TEST(Win32ImagingSessions, NoMarkerWithoutAWindowAndNoStartWithoutTheLibrary) {
    auto previous = setImagingSessionBridge(app::win32::makeWin32ImagingSessions());
    const std::size_t before = bridge::openSessions();
    {
        // A window that is gone: the session starts (a failure to guard it is ignored) but no
        // marker can be made, so nothing will end it; the test ends it itself.
        const HWND gone = makeWindow(WS_OVERLAPPEDWINDOW, nullptr, "gone");
        if (gone == nullptr) GTEST_SKIP() << kNoWindows;
        ASSERT_TRUE(DestroyWindow(gone));
        cCrossComm shared;
        testing::FakeHost host;
        host.container.window = handleOf(gone);
        host.container.topLevel = handleOf(gone);
        const std::uint32_t token = shared.ManageGDIToken(host, handleOf(gone));
        EXPECT_EQ(token != 0, bridge::backendAvailable());
        bridge::stopSession(token);
    }
    {
        const bridge::ScopedBackendAbsent absent;
        const HWND window = makeWindow(WS_OVERLAPPEDWINDOW, nullptr, "window");
        cCrossComm shared;
        EXPECT_EQ(attach(shared, window), 0u);
        EXPECT_EQ(FindWindowExA(window, nullptr, "Static", "GDI+Safe Patch"), nullptr);
        DestroyWindow(window);
    }
    EXPECT_EQ(bridge::openSessions(), before);
    setImagingSessionBridge(std::move(previous));
}

}  // namespace
}  // namespace talvrin
