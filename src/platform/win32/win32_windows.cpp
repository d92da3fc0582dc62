#include "platform/win32/win32_windows.h"

#include <algorithm>
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

void destroyAttachedWindow(HWND window) noexcept {
    if (!window || !IsWindow(window)) return;
    detachObject(window);
    DestroyWindow(window);
}

void* attachedObject(HWND window) noexcept {
    return reinterpret_cast<void*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

void* attachedObject(HWND window, const char* className) noexcept {
    if (!window || classNameOf(window) != className) return nullptr;
    return attachedObject(window);
}

HWND createChildWindow(HWND parent, const char* className, const char* caption, DWORD style,
                       DWORD exStyle, int x, int y, int width, int height, int childId) noexcept {
    return CreateWindowExA(exStyle, className, caption, style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(childId)),
                           GetModuleHandleA(nullptr), nullptr);
}

HWND createTopLevelWindow(const char* className, const char* caption, DWORD style, int clientWidth,
                          int clientHeight) noexcept {
    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    return CreateWindowExA(0, className, caption, style, CW_USEDEFAULT, CW_USEDEFAULT,
                           frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

void stackInOrder(const std::vector<HWND>& windows) noexcept {
    for (const HWND window : windows)
        if (window)
            SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
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

ButtonKind buttonKindOf(HWND window) {
    if (_stricmp(classNameOf(window).c_str(), "Button") != 0) return ButtonKind::None;
    switch (GetWindowLongA(window, GWL_STYLE) & BS_TYPEMASK) {
        case BS_GROUPBOX:
            return ButtonKind::GroupBox;
        case BS_PUSHBUTTON:
        case BS_DEFPUSHBUTTON:
        case BS_OWNERDRAW:
            return ButtonKind::PushButton;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            return ButtonKind::RadioButton;
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE:
            return ButtonKind::CheckBox;
        default:
            return ButtonKind::None;
    }
}

std::string windowText(HWND window, int capacity) {
    std::string text(static_cast<std::size_t>(std::max(capacity, 1)), '\0');
    GetWindowTextA(window, text.data(), capacity);
    text.resize(std::strlen(text.c_str()));
    return text;
}

bool hasChildWindow(HWND parent, const char* className, const char* title) noexcept {
    return parent != nullptr && IsWindow(parent) &&
           FindWindowExA(parent, nullptr, className, title) != nullptr;
}

bool canTakeFocus(HWND window) noexcept {
    return window && IsWindowVisible(window) && IsWindowEnabled(window);
}

HFONT createFont(const std::string& family, int pixelHeight, int weight) noexcept {
    return CreateFontA(-pixelHeight, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, family.c_str());
}

WindowFontIn::WindowFontIn(HDC dc, HWND window) noexcept : dc_(dc), previous_(nullptr) {
    const auto font = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
    if (font) previous_ = SelectObject(dc, font);
}

WindowFontIn::~WindowFontIn() {
    if (previous_) SelectObject(dc_, previous_);
}

LRESULT staticColors(HDC dc, int textColor, int backColor) noexcept {
    SetTextColor(dc, GetSysColor(textColor));
    SetBkColor(dc, GetSysColor(backColor));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(backColor));
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
