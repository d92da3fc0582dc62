#include "app/win32/win32_imaging_sessions.h"

#include <windows.h>

#include "image/bridge/gdiplus.h"
#include "platform/win32/win32_deferred_calls.h"
#include "platform/win32/win32_windows.h"

namespace talvrin::app::win32 {

namespace {

// Sessions whose window is gone and whose shutdown has not run yet.
std::size_t pending = 0;

// Ends the session from a thread timer, outside the window's destruction; now when no timer is
// to be had, rather than never.
void stopLater(std::uint32_t token) {
    ++pending;
    const auto stop = [token] {
        --pending;
        bridge::stopSession(token);
    };
    if (!platform::win32::callLater(ImagingSessionBridge::kShutdownDelayMs, stop)) stop();
}

class Win32ImagingSessions final : public ImagingSessionBridge {
  public:
    [[nodiscard]] bool hasMarker(WindowHandle topLevel) const override {
        return platform::win32::hasChildWindow(platform::win32::hwndOf(topLevel), kMarkerClass,
                                               kMarkerTitle);
    }

    std::uint32_t startup() override { return bridge::startSession(); }

    bool guard(WindowHandle topLevel, std::uint32_t token) override {
        const HWND top = platform::win32::hwndOf(topLevel);
        if (top == nullptr || !IsWindow(top)) return false;
        const HWND marker = platform::win32::createChildWindow(top, kMarkerClass, kMarkerTitle,
                                                               WS_CHILD, 0, 0, 0, 0, 0, 0);
        if (marker == nullptr) return false;
        if (platform::win32::callOnceDestroyed(marker, [token] { stopLater(token); })) return true;
        DestroyWindow(marker);
        return false;
    }
};

}  // namespace

std::unique_ptr<ImagingSessionBridge> makeWin32ImagingSessions() {
    return std::make_unique<Win32ImagingSessions>();
}

void installWin32ImagingSessions() {
    setImagingSessionBridge(makeWin32ImagingSessions());
}

std::size_t pendingShutdowns() noexcept {
    return pending;
}

}  // namespace talvrin::app::win32
