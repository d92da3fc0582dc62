// The program's own kinds of window and the objects behind them: a window class registered with
// the default window procedure, an object attached to each window of it once the window is made
// (the window's user data points at the object and its procedure becomes the object's class
// procedure) and detached before the object goes. Beside them, what the program asks of any
// window: making a child, its frame and client area, its class name, painting its damaged area,
// its top-level window, and its handle as the image control keeps one. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

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

// A window as the image control keeps it (an integer handle), and back.
[[nodiscard]] inline HWND hwndOf(std::uintptr_t handle) noexcept {
    return reinterpret_cast<HWND>(handle);
}
[[nodiscard]] inline std::uintptr_t handleOf(HWND window) noexcept {
    return reinterpret_cast<std::uintptr_t>(window);
}

// A child window of the program's module at x, y, width, height of the parent's client area,
// with the given child identifier (the control identifier of its notifications); null when it
// cannot be made.
[[nodiscard]] HWND createChildWindow(HWND parent, const char* className, const char* caption,
                                     DWORD style, DWORD exStyle, int x, int y, int width,
                                     int height, int childId) noexcept;
// The frame's outer size for a client area of the given size, in a window of that style.
[[nodiscard]] SIZE frameSizeFor(int clientWidth, int clientHeight, DWORD style,
                                DWORD exStyle) noexcept;
// The window's client area (empty for no window).
[[nodiscard]] RECT clientRect(HWND window) noexcept;
// The name of the window's class (at most 63 characters; empty where the desktop answers none).
[[nodiscard]] std::string classNameOf(HWND window);
// Handles WM_PAINT: paint is called with the paint context and the damaged area, between
// BeginPaint and EndPaint (not called when no context is given).
void paintDamaged(HWND window, const std::function<void(HDC dc, const RECT& damaged)>& paint);

// The top-level window of a window (a handle as the image control keeps one): parent links
// followed to the top, then owner links; 0 for no window.
[[nodiscard]] std::uintptr_t topLevelWindowOf(std::uintptr_t window) noexcept;

}  // namespace talvrin::platform::win32
