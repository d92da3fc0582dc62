#include "app/win32/win32_imaging_sessions.h"

#include <windows.h>

#include <map>

#include "image/bridge/gdiplus.h"

namespace talvrin::app::win32 {

namespace {

HWND hwndOf(WindowHandle handle) noexcept {
    return reinterpret_cast<HWND>(handle);
}

// A marker window's guard: the procedure it replaced, the session it ends, and how deep the
// marker's messages are nested right now.
struct Guard {
    WNDPROC previous = nullptr;
    std::uint32_t token = 0;
    int nesting = 0;
    bool destroyed = false;
};

// User-interface thread only, like the windows themselves.
std::map<HWND, Guard>& guards() {
    static std::map<HWND, Guard> g;
    return g;
}
// Shutdown timers waiting to fire, by timer identifier.
std::map<UINT_PTR, std::uint32_t>& timers() {
    static std::map<UINT_PTR, std::uint32_t> t;
    return t;
}

void CALLBACK shutdownTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    const auto it = timers().find(id);
    if (it == timers().end()) return;
    const std::uint32_t token = it->second;
    timers().erase(it);
    bridge::stopSession(token);
}

LRESULT CALLBACK guardProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto it = guards().find(window);
    if (it == guards().end()) return DefWindowProcA(window, message, wParam, lParam);
    Guard& guard = it->second;  // map nodes stay put while others come and go
    ++guard.nesting;
    if (message == WM_DESTROY) guard.destroyed = true;
    const LRESULT result = CallWindowProcA(guard.previous, window, message, wParam, lParam);
    if (--guard.nesting == 0 && guard.destroyed) {
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(guard.previous));
        const std::uint32_t token = guard.token;
        guards().erase(it);
        const UINT_PTR id =
            SetTimer(nullptr, 0, ImagingSessionBridge::kShutdownDelayMs, &shutdownTimer);
        if (id == 0) {
            // No timer to be had: end the session now rather than never.
            bridge::stopSession(token);
        } else {
            try {
                timers()[id] = token;
            } catch (...) {
                KillTimer(nullptr, id);
                bridge::stopSession(token);
            }
        }
    }
    return result;
}

class Win32ImagingSessions final : public ImagingSessionBridge {
  public:
    [[nodiscard]] bool hasMarker(WindowHandle topLevel) const override {
        const HWND top = hwndOf(topLevel);
        return top != nullptr && IsWindow(top) &&
               FindWindowExA(top, nullptr, kMarkerClass, kMarkerTitle) != nullptr;
    }

    std::uint32_t startup() override { return bridge::startSession(); }

    bool guard(WindowHandle topLevel, std::uint32_t token) override {
        const HWND top = hwndOf(topLevel);
        if (top == nullptr || !IsWindow(top)) return false;
        const HWND marker = CreateWindowExA(0, kMarkerClass, kMarkerTitle, WS_CHILD, 0, 0, 0, 0,
                                            top, nullptr, GetModuleHandleA(nullptr), nullptr);
        if (marker == nullptr) return false;
        try {
            Guard& entry = guards()[marker];
            entry.token = token;
            entry.previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(marker, GWLP_WNDPROC));
        } catch (...) {
            DestroyWindow(marker);
            return false;
        }
        SetWindowLongPtrA(marker, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&guardProc));
        return true;
    }
};

}  // namespace

std::unique_ptr<ImagingSessionBridge> makeWin32ImagingSessions() {
    return std::make_unique<Win32ImagingSessions>();
}

void installWin32ImagingSessions() {
    setImagingSessionBridge(makeWin32ImagingSessions());
}

WindowHandle topLevelWindowOf(WindowHandle window) noexcept {
    HWND current = hwndOf(window);
    if (current == nullptr) return 0;
    while ((GetWindowLongPtrA(current, GWL_STYLE) & WS_CHILD) != 0) {
        const HWND parent = GetParent(current);
        if (parent == nullptr) break;
        current = parent;
    }
    for (HWND owner = GetWindow(current, GW_OWNER); owner != nullptr;
         owner = GetWindow(current, GW_OWNER))
        current = owner;
    return reinterpret_cast<WindowHandle>(current);
}

std::size_t pendingShutdowns() noexcept {
    return timers().size();
}

}  // namespace talvrin::app::win32
