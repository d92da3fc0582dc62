#include "app/win32/vitrel_window.h"

#include <windowsx.h>

#include "platform/win32/win32_canvas.h"
#include "platform/win32/win32_input.h"
#include "platform/win32/win32_screen.h"
#include "platform/win32/win32_timers.h"
#include "platform/win32/win32_windows.h"

namespace talvrin::app::win32 {

namespace {

using platform::win32::buttonOf;
using platform::win32::buttonsHeld;
using platform::win32::cursorFromFile;
using platform::win32::shiftNow;
using platform::win32::shiftOf;
using platform::win32::stockCursorOf;

HWND hwndOf(WindowHandle handle) {
    return reinterpret_cast<HWND>(handle);
}
WindowHandle handleOf(HWND window) {
    return reinterpret_cast<WindowHandle>(window);
}

}  // namespace

std::unique_ptr<VitrelWindow> VitrelWindow::create(HWND parent, int x, int y, int width, int height,
                                                   int childId) {
    static const bool registered =
        platform::win32::registerWindowClass(kClassName, CS_DBLCLKS, nullptr, nullptr);
    if (!registered) return nullptr;
    std::unique_ptr<VitrelWindow> host(new VitrelWindow());
    const HWND window = CreateWindowExA(
        0, kClassName, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, x, y, width, height, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(childId)), GetModuleHandleA(nullptr), nullptr);
    if (!window) return nullptr;
    host->window_ = window;
    platform::win32::attachObject(window, host.get(), &VitrelWindow::windowProc);
    host->control_ = std::make_unique<Vitrel>(*host);
    return host;
}

VitrelWindow::~VitrelWindow() {
    control_.reset();
    if (iconCursor_) DestroyCursor(iconCursor_);
    if (window_ && IsWindow(window_)) {
        platform::win32::detachObject(window_);
        DestroyWindow(window_);
    }
}

LRESULT CALLBACK VitrelWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* host = platform::win32::attachedTo<VitrelWindow>(window);
    if (message == WM_NCDESTROY && host) {
        platform::win32::detachObject(window);
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
    platform::win32::Win32Canvas canvas(target, w, h);
    if (!canvas) return;
    // The canvas starts with the parent's pixels under the control: the parent erases and prints
    // its client area into the memory context moved so that the control's corner is its origin.
    const HDC memory = canvas.native();
    if (const HWND parent = GetParent(window_)) {
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
    canvas.drawSoftware(
        [&](platform::DeviceContext& dc) {
            dc.setClipRect(Rect{damaged.left, damaged.top, damaged.right, damaged.bottom});
            control_->Paint(dc);
        },
        true);
    // Only the damaged rectangle goes on the window.
    canvas.put(target, damaged.left, damaged.top, damaged);
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
    const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    // A disabled control takes its rectangle but raises nothing.
    if (!IsWindowEnabled(window_)) return;
    const std::int16_t button = buttonOf(message);
    const bool lastUp = buttonsHeld(wParam) == 0;
    MouseAction action = MouseAction::Up;
    bool over = false;
    switch (message) {
        case WM_MOUSEMOVE:
            action = MouseAction::Move;
            break;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            // The events stay the control's until the last button is up.
            SetCapture(window_);
            action = MouseAction::Down;
            break;
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDBLCLK:
            SetCapture(window_);
            action = MouseAction::DoubleClick;
            break;
        default: {  // a release
            RECT client;
            GetClientRect(window_, &client);
            over = PtInRect(&client, p) != FALSE &&
                   (control_->hitRegion() ? control_->hitRegion()->contains(p.x, p.y)
                                          : control_->hitRect().contains(p.x, p.y));
            if (lastUp) ReleaseCapture();
            break;
        }
    }
    deliverMouse(*control_, action, button, buttonsHeld(wParam), shiftOf(wParam),
                 static_cast<float>(p.x), static_cast<float>(p.y), over, lastUp);
}

bool VitrelWindow::setCursor() {
    const std::int16_t pointer = mousePointer();
    if (pointer == kCustomPointer && iconCursor_) {
        SetCursor(iconCursor_);
        return true;
    }
    if (pointer == 0) return false;  // the class's arrow
    SetCursor(LoadCursorA(nullptr, stockCursorOf(pointer)));
    return true;
}

void VitrelWindow::cursorChanged(bool iconChanged) {
    if (!iconChanged) return;
    if (iconCursor_) DestroyCursor(iconCursor_);
    const auto icon = mouseIcon();
    iconCursor_ = icon ? cursorFromFile(icon->bytes) : nullptr;
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

std::int32_t VitrelWindow::dotsPerInch(bool horizontal) const {
    return platform::win32::screenDotsPerInch(horizontal);
}

void VitrelWindow::requestRepaint() {
    if (window_) InvalidateRect(window_, nullptr, FALSE);
}

void VitrelWindow::resizeWindow(std::int32_t width, std::int32_t height) {
    if (window_)
        SetWindowPos(window_, nullptr, 0, 0, width, height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
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
    return platform::win32::setWindowTimer(hwndOf(window), id, ms, std::move(onTick));
}

void VitrelWindow::killTimer(WindowHandle window, std::intptr_t id) {
    platform::win32::killWindowTimer(hwndOf(window), id);
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

}  // namespace talvrin::app::win32
