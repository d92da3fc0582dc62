// The program's own kinds of window and the objects behind them: a window class registered with
// the default window procedure, an object attached to each window of it once the window is made
// (the window's user data points at the object and its procedure becomes the object's class
// procedure) and detached before the object goes. Beside them, what the program asks of any
// window: making one, its stacking, frame and client area, class, kind of button, text and font,
// the state it takes the focus in, painting its damaged area, its top-level window, and its
// handle as the image control keeps one. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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
// Detaches the object and destroys the window, when the window still exists.
void destroyAttachedWindow(HWND window) noexcept;
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

// A top-level window of the program's module at the desktop's default place, whose frame fits a
// client area of the given size; null when it cannot be made.
[[nodiscard]] HWND createTopLevelWindow(const char* className, const char* caption, DWORD style,
                                        int clientWidth, int clientHeight) noexcept;
// A child window of the program's module at x, y, width, height of the parent's client area,
// with the given child identifier (the control identifier of its notifications); null when it
// cannot be made.
[[nodiscard]] HWND createChildWindow(HWND parent, const char* className, const char* caption,
                                     DWORD style, DWORD exStyle, int x, int y, int width,
                                     int height, int childId) noexcept;
// Stacks the windows in their order, each later one above the ones before it (null entries are
// skipped).
void stackInOrder(const std::vector<HWND>& windows) noexcept;
// The window's client area (empty for no window).
[[nodiscard]] RECT clientRect(HWND window) noexcept;
// The name of the window's class (at most 63 characters; empty where the desktop answers none).
[[nodiscard]] std::string classNameOf(HWND window);
// The kind of standard button a window is, by its class and button style: a group box, a push
// button (owner-drawn ones too), a radio button, a check box, or none of them.
enum class ButtonKind { None, GroupBox, PushButton, RadioButton, CheckBox };
[[nodiscard]] ButtonKind buttonKindOf(HWND window);
// The window's text, at most capacity - 1 characters of it.
[[nodiscard]] std::string windowText(HWND window, int capacity);
// Whether the window has a child of that class and title (false for no window).
[[nodiscard]] bool hasChildWindow(HWND parent, const char* className, const char* title) noexcept;
// Visible and enabled: a window the focus can be moved to (false for no window).
[[nodiscard]] bool canTakeFocus(HWND window) noexcept;

// A font of the family at a character height in pixels and a weight, of the system's nearest
// face where the family is missing.
[[nodiscard]] HFONT createFont(const std::string& family, int pixelHeight, int weight) noexcept;
// The window's font selected into dc while this lives (nothing for a window without one).
class WindowFontIn {
  public:
    WindowFontIn(HDC dc, HWND window) noexcept;
    ~WindowFontIn();
    WindowFontIn(const WindowFontIn&) = delete;
    WindowFontIn& operator=(const WindowFontIn&) = delete;

  private:
    HDC dc_;
    HGDIOBJ previous_;
};
// The answer to WM_CTLCOLORSTATIC that draws a static control's text in one system colour over
// another (system colour indices): the brush of the background's colour.
[[nodiscard]] LRESULT staticColors(HDC dc, int textColor, int backColor) noexcept;
// Handles WM_PAINT: paint is called with the paint context and the damaged area, between
// BeginPaint and EndPaint (not called when no context is given).
void paintDamaged(HWND window, const std::function<void(HDC dc, const RECT& damaged)>& paint);

// The top-level window of a window (a handle as the image control keeps one): parent links
// followed to the top, then owner links; 0 for no window.
[[nodiscard]] std::uintptr_t topLevelWindowOf(std::uintptr_t window) noexcept;

}  // namespace talvrin::platform::win32
