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
using platform::win32::clientRect;
using platform::win32::cursorFromFile;
using platform::win32::handleOf;
using platform::win32::hwndOf;
using platform::win32::MouseMessage;
using platform::win32::shiftNow;
using platform::win32::shiftOf;
using platform::win32::stockCursorOf;

}  // namespace

std::unique_ptr<VitrelWindow> VitrelWindow::create(HWND parent, int x, int y, int width, int height,
                                                   int childId) {
    static const bool registered =
        platform::win32::registerWindowClass(kClassName, CS_DBLCLKS, nullptr, nullptr);
    if (!registered) return nullptr;
    std::unique_ptr<VitrelWindow> host(new VitrelWindow());
    const HWND window = platform::win32::createChildWindow(parent, kClassName, "",
                                                           WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
                                                           0, x, y, width, height, childId);
    if (!window) return nullptr;
    host->window_ = window;
    platform::win32::attachObject(window, host.get(), &VitrelWindow::windowProc);
    host->control_ = std::make_unique<Vitrel>(*host);
    return host;
}

VitrelWindow::~VitrelWindow() {
    control_.reset();
    if (iconCursor_) DestroyCursor(iconCursor_);
    platform::win32::destroyAttachedWindow(window_);
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
    if (platform::win32::mouseMessageOf(message) != MouseMessage::None) {
        mouse(message, wParam, lParam);
        return 0;
    }
    switch (message) {
        case WM_ERASEBKGND:
            return 1;  // the paint covers every pixel it repaints
        case WM_PAINT:
            platform::win32::paintDamaged(
                window_, [this](HDC dc, const RECT& damaged) { paintOn(dc, damaged); });
            return 0;
        case WM_PRINTCLIENT:
            // A copy of the window (PrintWindow, a parent printing its children): the whole
            // client area onto the given context.
            if (wParam) paintOn(reinterpret_cast<HDC>(wParam), clientRect(window_));
            return 0;
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

void VitrelWindow::paintOn(HDC target, const RECT& area) {
    const RECT client = clientRect(window_);
    const int w = client.right, h = client.bottom;
    RECT damaged;
    if (w < 1 || h < 1 || !IntersectRect(&damaged, &area, &client)) return;
    platform::win32::Win32Canvas canvas(target, w, h);
    if (!canvas) return;
    // The canvas starts with the parent's pixels under the control: the parent erases and prints
    // its client area into the memory context moved so that the control's corner is its origin.
    if (!platform::win32::printParentUnder(window_, canvas.native()))
        FillRect(canvas.native(), &client, GetSysColorBrush(COLOR_BTNFACE));
    canvas.drawSoftware(
        [&](platform::DeviceContext& dc) {
            dc.setClipRect(platform::win32::fromRect(damaged));
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
    if (quietHitTest_) return ownsPoint(*control_, p.x, p.y) ? HTCLIENT : HTTRANSPARENT;
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
    const MouseMessage kind = platform::win32::mouseMessageOf(message);
    // The events stay the control's until the last button is up.
    if (kind == MouseMessage::Down || kind == MouseMessage::DoubleClick) SetCapture(window_);
    bool over = false;
    if (kind == MouseMessage::Up) {
        const RECT client = clientRect(window_);
        over = PtInRect(&client, p) != FALSE && ownsPoint(*control_, p.x, p.y);
        if (lastUp) ReleaseCapture();
    }
    const MouseAction action = kind == MouseMessage::Move          ? MouseAction::Move
                               : kind == MouseMessage::Down        ? MouseAction::Down
                               : kind == MouseMessage::DoubleClick ? MouseAction::DoubleClick
                                                                   : MouseAction::Up;
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
    return clientRect(window_).right;
}

std::int32_t VitrelWindow::height() const {
    return clientRect(window_).bottom;
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
            members.push_back({platform::win32::classNameOf(child), nullptr});
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
    return platform::win32::cursorPosition();
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
    return platform::win32::clientToScreen(hwndOf(window), client);
}

bool VitrelWindow::enabled() const {
    return window_ && IsWindowEnabled(window_);
}

void VitrelWindow::setEnabled(bool value) {
    if (window_) EnableWindow(window_, value ? TRUE : FALSE);
}

}  // namespace talvrin::app::win32
