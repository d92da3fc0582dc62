#include "platform/win32/win32_deferred_calls.h"

#include <map>
#include <utility>

namespace talvrin::platform::win32 {

namespace {

// A guarded window: the procedure the guard replaced, what to call once the window is gone, and
// how deep the window's messages are nested right now.
struct Guard {
    WNDPROC previous = nullptr;
    std::function<void()> then;
    int nesting = 0;
    bool destroyed = false;
};

std::map<HWND, Guard>& guards() {
    static std::map<HWND, Guard> g;
    return g;
}
// Thread timers waiting to fire, by timer identifier.
std::map<UINT_PTR, std::function<void()>>& laterCalls() {
    static std::map<UINT_PTR, std::function<void()>> calls;
    return calls;
}

void CALLBACK laterTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    const auto it = laterCalls().find(id);
    if (it == laterCalls().end()) return;
    const std::function<void()> call = std::move(it->second);
    laterCalls().erase(it);
    if (call) call();
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
        const std::function<void()> then = std::move(guard.then);
        guards().erase(it);
        if (then) then();
    }
    return result;
}

}  // namespace

bool callOnceDestroyed(HWND window, std::function<void()> then) {
    try {
        Guard& entry = guards()[window];
        entry.then = std::move(then);
        entry.previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
    } catch (...) {
        return false;
    }
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&guardProc));
    return true;
}

bool callLater(UINT ms, std::function<void()> then) {
    const UINT_PTR id = SetTimer(nullptr, 0, ms, &laterTimer);
    if (id == 0) return false;
    try {
        laterCalls()[id] = std::move(then);
    } catch (...) {
        KillTimer(nullptr, id);
        return false;
    }
    return true;
}

}  // namespace talvrin::platform::win32
