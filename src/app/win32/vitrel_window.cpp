#include "app/win32/vitrel_window.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/win32/win32_timers.h"
#include "image/control/scale_units.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"
#include "platform/gdi/screen.h"

namespace talvrin::app::win32 {

namespace {

HWND hwndOf(WindowHandle handle) {
    return reinterpret_cast<HWND>(handle);
}
WindowHandle handleOf(HWND window) {
    return reinterpret_cast<WindowHandle>(window);
}

std::int32_t screenDpi(int axis) {
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, axis) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : platform::kDefaultDotsPerInch;
}

std::int32_t twipsAt(std::int32_t dpi) {
    return std::max(1, static_cast<int>(std::lround(1440.0 / dpi)));
}

// Buttons and shift keys as the control's events count them: 1 left, 2 right, 4 middle; 1 shift,
// 2 control, 4 alt.
std::int16_t buttonOf(UINT message) {
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
            return 1;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_RBUTTONDBLCLK:
            return 2;
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
        case WM_MBUTTONDBLCLK:
            return 4;
        default:
            return 0;
    }
}
std::int16_t buttonsHeld(WPARAM keys) {
    return static_cast<std::int16_t>(((keys & MK_LBUTTON) ? 1 : 0) | ((keys & MK_RBUTTON) ? 2 : 0) |
                                     ((keys & MK_MBUTTON) ? 4 : 0));
}
std::int16_t shiftOf(WPARAM keys) {
    return static_cast<std::int16_t>(((keys & MK_SHIFT) ? 1 : 0) | ((keys & MK_CONTROL) ? 2 : 0) |
                                     ((GetKeyState(VK_MENU) < 0) ? 4 : 0));
}
std::int16_t shiftNow() {
    return static_cast<std::int16_t>(((GetKeyState(VK_SHIFT) < 0) ? 1 : 0) |
                                     ((GetKeyState(VK_CONTROL) < 0) ? 2 : 0) |
                                     ((GetKeyState(VK_MENU) < 0) ? 4 : 0));
}

// The stock cursor of a mouse-pointer value (0: the class's arrow).
LPCSTR stockCursorOf(std::int16_t pointer) {
    switch (pointer) {
        case 2:
            return IDC_CROSS;
        case 3:
            return IDC_IBEAM;
        case 5:
        case 15:
            return IDC_SIZEALL;
        case 6:
            return IDC_SIZENESW;
        case 7:
            return IDC_SIZENS;
        case 8:
            return IDC_SIZENWSE;
        case 9:
            return IDC_SIZEWE;
        case 10:
            return IDC_UPARROW;
        case 11:
            return IDC_WAIT;
        case 12:
            return IDC_NO;
        case 13:
            return IDC_APPSTARTING;
        case 14:
            return IDC_HELP;
        default:
            return IDC_ARROW;
    }
}

// A cursor from icon or cursor file bytes (the best entry for the system's cursor size), or null.
HCURSOR cursorFromFile(const std::vector<std::uint8_t>& bytes) {
    // The file's directory is the resource directory after its 6-byte header, with each entry's
    // 4-byte offset standing where the resource form has a 2-byte identifier: too different to
    // hand over as it is, so the first entry is taken directly.
    if (bytes.size() < 22) return nullptr;
    const auto u16 = [&](std::size_t at) { return bytes[at] | (bytes[at + 1] << 8); };
    const auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(u16(at)) |
               (static_cast<std::uint32_t>(u16(at + 2)) << 16);
    };
    const bool isCursor = u16(2) == 2;
    if (u16(0) != 0 || (u16(2) != 1 && !isCursor) || u16(4) < 1) return nullptr;
    const std::uint32_t size = u32(6 + 8), offset = u32(6 + 12);
    if (offset > bytes.size() || size > bytes.size() - offset || size == 0) return nullptr;
    std::vector<BYTE> resource;
    if (isCursor) {  // the resource form of a cursor starts with its hot spot
        resource.insert(resource.end(), {bytes[6 + 4], bytes[6 + 5], bytes[6 + 6], bytes[6 + 7]});
    }
    resource.insert(resource.end(), bytes.begin() + offset, bytes.begin() + offset + size);
    return reinterpret_cast<HCURSOR>(
        CreateIconFromResourceEx(resource.data(), static_cast<DWORD>(resource.size()),
                                 isCursor ? FALSE : TRUE, 0x00030000, 0, 0, LR_DEFAULTCOLOR));
}

bool registerClass() {
    static const bool registered = [] {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof(wc);
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = DefWindowProcA;  // replaced per window once its host is attached
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.lpszClassName = VitrelWindow::kClassName;
        return RegisterClassExA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

}  // namespace

std::unique_ptr<VitrelWindow> VitrelWindow::create(HWND parent, int x, int y, int width, int height,
                                                   int childId) {
    if (!registerClass()) return nullptr;
    std::unique_ptr<VitrelWindow> host(new VitrelWindow());
    const HWND window = CreateWindowExA(
        0, kClassName, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, x, y, width, height, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(childId)), GetModuleHandleA(nullptr), nullptr);
    if (!window) return nullptr;
    host->window_ = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(host.get()));
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&VitrelWindow::windowProc));
    host->control_ = std::make_unique<Vitrel>(*host);
    return host;
}

VitrelWindow::~VitrelWindow() {
    control_.reset();
    if (iconCursor_) DestroyCursor(iconCursor_);
    if (window_ && IsWindow(window_)) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

VitrelWindow* VitrelWindow::fromWindow(HWND window) noexcept {
    if (!window) return nullptr;
    char name[32] = {};
    if (GetClassNameA(window, name, sizeof(name)) == 0 || std::strcmp(name, kClassName) != 0)
        return nullptr;
    return reinterpret_cast<VitrelWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

LRESULT CALLBACK VitrelWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* host = reinterpret_cast<VitrelWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY && host) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        host->window_ = nullptr;
    }
    if (!host || !host->control_) return DefWindowProcA(window, message, wParam, lParam);
    return host->handle(message, wParam, lParam);
}

LRESULT VitrelWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            return 1;  // the paint covers every pixel it repaints
        case WM_PAINT:
            paint();
            return 0;
        case WM_PRINTCLIENT: {
            // A copy of the window (PrintWindow, a parent printing its children): the whole
            // client area onto the given context.
            RECT client;
            GetClientRect(window_, &client);
            if (wParam) paintOn(reinterpret_cast<HDC>(wParam), client);
            return 0;
        }
        case WM_SIZE:
            control_->Resize();
            return 0;
        case WM_SHOWWINDOW:
            if (wParam) {
                control_->Show();
            } else {
                control_->Hide();
            }
            break;
        case WM_NCHITTEST:
            return hitTest(lParam);
        case WM_SETCURSOR:
            if (LOWORD(lParam) == HTCLIENT && setCursor()) return TRUE;
            break;
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
        case WM_MBUTTONDBLCLK:
            mouse(message, wParam, lParam);
            return 0;
        case WM_KEYDOWN:
            control_->onKeyDown(static_cast<std::int16_t>(wParam), shiftNow());
            return 0;
        case WM_KEYUP:
            control_->onKeyUp(static_cast<std::int16_t>(wParam), shiftNow());
            return 0;
        case WM_CHAR:
            control_->onKeyPress(static_cast<std::int16_t>(wParam));
            return 0;
        default:
            break;
    }
    return DefWindowProcA(window_, message, wParam, lParam);
}

// ---- Painting
// ------------------------------------------------------------------------------------

void VitrelWindow::paint() {
    PAINTSTRUCT ps;
    const HDC target = BeginPaint(window_, &ps);
    if (target) paintOn(target, ps.rcPaint);
    EndPaint(window_, &ps);
}

void VitrelWindow::paintOn(HDC target, const RECT& area) {
    RECT client;
    GetClientRect(window_, &client);
    const int w = client.right, h = client.bottom;
    RECT damaged;
    if (w < 1 || h < 1 || !IntersectRect(&damaged, &area, &client)) return;

    // The canvas starts with the parent's pixels under the control: the parent erases and prints
    // its client area into a memory context moved so that the control's corner is its origin.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;  // bottom-up, as the software bitmaps are
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    const HDC memory = CreateCompatibleDC(target);
    const HBITMAP section = CreateDIBSection(target, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    auto canvas = platform::Bitmap::create(w, h, 32);
    auto dc = platform::DeviceContext::createCompatible();
    if (memory && section && pixels && canvas && dc) {
        const HGDIOBJ previous = SelectObject(memory, section);
        const HWND parent = GetParent(window_);
        if (parent) {
            POINT origin{0, 0};
            MapWindowPoints(window_, parent, &origin, 1);
            POINT oldOrigin;
            SetViewportOrgEx(memory, -origin.x, -origin.y, &oldOrigin);
            SendMessageA(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0);
            SendMessageA(parent, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
            SetViewportOrgEx(memory, oldOrigin.x, oldOrigin.y, nullptr);
        } else {
            FillRect(memory, &client, GetSysColorBrush(COLOR_BTNFACE));
        }
        GdiFlush();
        std::memcpy(canvas->bits(), pixels, canvas->byteCount());
        // The window's pixels are opaque; GDI leaves the alpha bytes 0, which a premultiplied
        // destination would take for transparent.
        std::uint8_t* bytes = canvas->bits();
        for (std::size_t i = 3; i < canvas->byteCount(); i += 4)
            bytes[i] = 0xFF;

        dc->select(canvas.get());
        dc->setClipRect(Rect{damaged.left, damaged.top, damaged.right, damaged.bottom});
        control_->Paint(*dc);
        dc.reset();

        // Only the damaged rectangle goes on the window; a bottom-up source counts its rows from
        // the bottom. The alpha bytes are meaningless after drawing and ignored here.
        SetDIBitsToDevice(
            target, damaged.left, damaged.top, static_cast<DWORD>(damaged.right - damaged.left),
            static_cast<DWORD>(damaged.bottom - damaged.top), damaged.left, h - damaged.bottom, 0,
            static_cast<UINT>(h), canvas->bits(), &info, DIB_RGB_COLORS);
        SelectObject(memory, previous);
    }
    if (section) DeleteObject(section);
    if (memory) DeleteDC(memory);
}

// ---- Input
// ---------------------------------------------------------------------------------------

LRESULT VitrelWindow::hitTest(LPARAM screenPoint) {
    POINT p{GET_X_LPARAM(screenPoint), GET_Y_LPARAM(screenPoint)};
    ScreenToClient(window_, &p);
    if (quietHitTest_) {
        const bool inside = control_->hitRegion() ? control_->hitRegion()->contains(p.x, p.y)
                                                  : control_->hitRect().contains(p.x, p.y);
        return inside ? HTCLIENT : HTTRANSPARENT;
    }
    HitResult result = HitResult::Outside;
    control_->HitTestQuery(static_cast<float>(p.x), static_cast<float>(p.y), result);
    return result == HitResult::Hit ? HTCLIENT : HTTRANSPARENT;
}

void VitrelWindow::mouse(UINT message, WPARAM wParam, LPARAM lParam) {
    const auto x = static_cast<float>(GET_X_LPARAM(lParam));
    const auto y = static_cast<float>(GET_Y_LPARAM(lParam));
    // A disabled control takes its rectangle but raises nothing.
    if (!IsWindowEnabled(window_)) return;
    const std::int16_t button = buttonOf(message);
    const std::int16_t shift = shiftOf(wParam);
    switch (message) {
        case WM_MOUSEMOVE:
            control_->onMouseMove(buttonsHeld(wParam), shift, x, y);
            break;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            // The events stay the control's until the last button is up.
            SetCapture(window_);
            pressedButtons_ = static_cast<std::int16_t>(pressedButtons_ | button);
            control_->onMouseDown(button, shift, x, y);
            break;
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDBLCLK:
            // The second press of a double click is the DblClick; its release raises no Click.
            SetCapture(window_);
            pressedButtons_ = static_cast<std::int16_t>(pressedButtons_ | button);
            afterDblClick_ = true;
            control_->onDblClick();
            break;
        default: {  // a release
            RECT client;
            GetClientRect(window_, &client);
            const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            const bool over = PtInRect(&client, p) != FALSE &&
                              (control_->hitRegion() ? control_->hitRegion()->contains(p.x, p.y)
                                                     : control_->hitRect().contains(p.x, p.y));
            const bool clicked = over && !afterDblClick_ && (pressedButtons_ & button) != 0;
            pressedButtons_ = static_cast<std::int16_t>(pressedButtons_ & ~button);
            if (buttonsHeld(wParam) == 0) {
                ReleaseCapture();
                afterDblClick_ = false;
                pressedButtons_ = 0;
            }
            control_->onMouseUp(button, shift, x, y);
            if (clicked) control_->onClick();
            break;
        }
    }
}

bool VitrelWindow::setCursor() {
    if (pointer_ == 99 && iconCursor_) {
        SetCursor(iconCursor_);
        return true;
    }
    if (pointer_ == 0) return false;  // the class's arrow
    SetCursor(LoadCursorA(nullptr, stockCursorOf(pointer_)));
    return true;
}

bool VitrelWindow::setMousePointer(std::int16_t value) {
    if (value < 0 || (value > 15 && value != 99)) return false;
    pointer_ = value;
    return true;
}

bool VitrelWindow::setMouseIcon(std::optional<StoredPicture> icon) {
    if (iconCursor_) DestroyCursor(iconCursor_);
    iconCursor_ = icon ? cursorFromFile(icon->bytes) : nullptr;
    icon_ = std::move(icon);
    return true;
}

// ---- The window and its container
// ----------------------------------------------------------------

std::int32_t VitrelWindow::width() const {
    RECT r{};
    if (window_) GetClientRect(window_, &r);
    return r.right;
}

std::int32_t VitrelWindow::height() const {
    RECT r{};
    if (window_) GetClientRect(window_, &r);
    return r.bottom;
}

std::int32_t VitrelWindow::twipsPerPixelX() const {
    return twipsAt(screenDpi(LOGPIXELSX));
}
std::int32_t VitrelWindow::twipsPerPixelY() const {
    return twipsAt(screenDpi(LOGPIXELSY));
}

void VitrelWindow::requestRepaint() {
    if (window_) InvalidateRect(window_, nullptr, FALSE);
}

void VitrelWindow::requestResize(std::int32_t widthTwips, std::int32_t heightTwips) {
    if (!window_) return;
    // The resize event (WM_SIZE) arrives before SetWindowPos returns, as the control expects.
    SetWindowPos(window_, nullptr, 0, 0, std::max(0, widthTwips / twipsPerPixelX()),
                 std::max(0, heightTwips / twipsPerPixelY()),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::optional<std::int32_t> VitrelWindow::containerScaleMode() const {
    // The window shell lays its controls out in twips, as a form does.
    return 1;
}

std::optional<float> VitrelWindow::pixelsToContainer(float pixels, bool horizontal,
                                                     std::int32_t scaleMode) const {
    return pixelsToScaleMode(pixels, screenDpi(horizontal ? LOGPIXELSX : LOGPIXELSY),
                             horizontal ? twipsPerPixelX() : twipsPerPixelY(), scaleMode);
}

WindowHandle VitrelWindow::containerWindow() const {
    const HWND parent = window_ ? GetParent(window_) : nullptr;
    return handleOf(parent ? parent : window_);
}

WindowHandle VitrelWindow::topLevelWindow(WindowHandle window) const {
    // Parent links to the top, then owner links.
    const HWND top = GetAncestor(hwndOf(window), GA_ROOTOWNER);
    return top ? handleOf(top) : window;
}

std::vector<ContainerControl> VitrelWindow::containerControls() const {
    const HWND box = window_ ? GetParent(window_) : nullptr;
    if (!box) return {{Vitrel::kTypeName, control_.get()}};
    std::vector<ContainerControl> members;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (VitrelWindow* image = fromWindow(child); image && image->control_) {
            members.push_back({Vitrel::kTypeName, image->control_.get()});
        } else {
            char name[64] = {};
            GetClassNameA(child, name, sizeof(name));
            members.push_back({name, nullptr});
        }
    }
    return members;
}

bool VitrelWindow::setTimer(WindowHandle window, std::intptr_t id, std::uint32_t ms,
                            std::function<void()> onTick) {
    return setWindowTimer(hwndOf(window), id, ms, std::move(onTick));
}

void VitrelWindow::killTimer(WindowHandle window, std::intptr_t id) {
    killWindowTimer(hwndOf(window), id);
}

Point VitrelWindow::cursorPos() const {
    POINT p{};
    GetCursorPos(&p);
    return {p.x, p.y};
}

WindowHandle VitrelWindow::windowFromPoint(Point screen) const {
    quietHitTest_ = true;
    HWND window = WindowFromPoint(POINT{screen.x, screen.y});
    quietHitTest_ = false;
    // An image control stands for a windowless one: the window there is its container's.
    while (window && fromWindow(window) && GetParent(window))
        window = GetParent(window);
    return handleOf(window);
}

std::optional<Point> VitrelWindow::clientToScreen(WindowHandle window, Point client) const {
    POINT p{client.x, client.y};
    if (!IsWindow(hwndOf(window)) || !ClientToScreen(hwndOf(window), &p)) return std::nullopt;
    return Point{p.x, p.y};
}

bool VitrelWindow::enabled() const {
    return window_ && IsWindowEnabled(window_);
}

void VitrelWindow::setEnabled(bool value) {
    if (window_) EnableWindow(window_, value ? TRUE : FALSE);
}

void installWin32ScreenFacts() {
    const std::int32_t x = screenDpi(LOGPIXELSX), y = screenDpi(LOGPIXELSY);
    platform::setDotsPerInch(x, y);
    platform::setTwipsPerPixel(twipsAt(x), twipsAt(y));
    for (int index = 0; index < platform::kSystemColorCount; ++index)
        platform::setSystemColor(index, static_cast<ColorRef>(GetSysColor(index)));
}

}  // namespace talvrin::app::win32
