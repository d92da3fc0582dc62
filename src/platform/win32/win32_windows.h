// The program's own kinds of window and the objects behind them: a window class registered with
// the default window procedure, an object attached to each window of it once the window is made
// (the window's user data points at the object and its procedure becomes the object's class
// procedure) and detached before the object goes; and the top-level window of any window.
// Windows only.
#pragma once

#include <windows.h>

#include <cstdint>

namespace talvrin::platform::win32 {

// Registers a window class of the program's module with the default window procedure (each
// window gets its own when its object is attached), the arrow cursor and the given style, icon
// and background (either may be null). True when the class is registered now or already was.
[[nodiscard]] bool registerWindowClass(const char* name, UINT style, HICON icon,
                                       HBRUSH background) noexcept;

// The window's user data points at object from now on, and procedure handles its messages.
void attachObject(HWND window, void* object, WNDPROC procedure) noexcept;
// The window's user data is cleared: its procedure finds no object any more.
void detachObject(HWND window) noexcept;
// The object attached to the window (null when none is).
[[nodiscard]] void* attachedObject(HWND window) noexcept;
// The object attached to a window of the named class; null for a window of any other class, or
// for no window.
[[nodiscard]] void* attachedObject(HWND window, const char* className) noexcept;

template <typename Object>
[[nodiscard]] Object* attachedTo(HWND window) noexcept {
    return static_cast<Object*>(attachedObject(window));
}
template <typename Object>
[[nodiscard]] Object* attachedTo(HWND window, const char* className) noexcept {
    return static_cast<Object*>(attachedObject(window, className));
}

// The top-level window of a window (a handle as the image control keeps one): parent links
// followed to the top, then owner links; 0 for no window.
[[nodiscard]] std::uintptr_t topLevelWindowOf(std::uintptr_t window) noexcept;

}  // namespace talvrin::platform::win32
