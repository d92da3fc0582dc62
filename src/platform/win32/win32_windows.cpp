#include "platform/win32/win32_windows.h"

#include <cstring>

namespace talvrin::platform::win32 {

bool registerWindowClass(const char* name, UINT style, HICON icon, HBRUSH background) noexcept {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.style = style;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hIcon = icon;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    return RegisterClassExA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

void attachObject(HWND window, void* object, WNDPROC procedure) noexcept {
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure));
}

void detachObject(HWND window) noexcept {
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
}

void* attachedObject(HWND window) noexcept {
    return reinterpret_cast<void*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

void* attachedObject(HWND window, const char* className) noexcept {
    if (!window) return nullptr;
    char name[32] = {};
    if (GetClassNameA(window, name, sizeof(name)) == 0 || std::strcmp(name, className) != 0)
        return nullptr;
    return attachedObject(window);
}

HWND createChildWindow(HWND parent, const char* className, const char* caption, DWORD style,
                       DWORD exStyle, int x, int y, int width, int height, int childId) noexcept {
    return CreateWindowExA(exStyle, className, caption, style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(childId)),
                           GetModuleHandleA(nullptr), nullptr);
}

SIZE frameSizeFor(int clientWidth, int clientHeight, DWORD style, DWORD exStyle) noexcept {
    RECT r{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
    return {r.right - r.left, r.bottom - r.top};
}

RECT clientRect(HWND window) noexcept {
    RECT r{};
    if (window) GetClientRect(window, &r);
    return r;
}

std::string classNameOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

void paintDamaged(HWND window, const std::function<void(HDC dc, const RECT& damaged)>& paint) {
    PAINTSTRUCT ps;
    const HDC dc = BeginPaint(window, &ps);
    if (dc) paint(dc, ps.rcPaint);
    EndPaint(window, &ps);
}

std::uintptr_t topLevelWindowOf(std::uintptr_t window) noexcept {
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
    return handleOf(current);
}

}  // namespace talvrin::platform::win32
