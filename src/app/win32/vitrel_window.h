// The Win32 host of the image control: one child window per control, which holds a Vitrel and is
// its VitrelHost. It paints in WM_PAINT through the software device context over the parent's
// pixels under the control (the parent erases and prints its client area into the canvas), so
// translucent pixels blend over whatever the window shows behind the control, and puts only the
// damaged rectangle on the window with SetDIBitsToDevice.
//
// Input: the desktop asks a window which points are its own through WM_NCHITTEST. The host hands
// the question to the control and answers HTTRANSPARENT for a point the control does not own, so
// the window beneath receives that point's mouse input. Timers are window timers on the
// container (platform/win32/win32_timers.h); the window under a point is the container while the
// point is the control's, as for a windowless control. Windows only.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image/control/vitrel.h"
#include "image/control/vitrel_host_base.h"
#include "platform/win32/win32_windows.h"

namespace talvrin::app::win32 {

class VitrelWindow final : public VitrelHostBase {
  public:
    // The window class of the control's windows (registered at the first create).
    static constexpr const char* kClassName = "TalvrinVitrel";

    // Creates the child window of parent at x, y, width, height (pixels of the parent's client
    // area) with the given child identifier, and its control. Null when the window cannot be
    // made. The window is created visible when the parent is.
    [[nodiscard]] static std::unique_ptr<VitrelWindow> create(HWND parent, int x, int y, int width,
                                                              int height, int childId);
    // The control goes first, while the host it calls on is whole; then the window.
    ~VitrelWindow() override;
    VitrelWindow(const VitrelWindow&) = delete;
    VitrelWindow& operator=(const VitrelWindow&) = delete;

    [[nodiscard]] HWND window() const noexcept { return window_; }
    [[nodiscard]] Vitrel& control() noexcept { return *control_; }
    // The host of a control window, or null for any other window.
    [[nodiscard]] static VitrelWindow* fromWindow(HWND window) noexcept {
        return platform::win32::attachedTo<VitrelWindow>(window, kClassName);
    }

    // ---- VitrelHost ----
    [[nodiscard]] std::int32_t width() const override;
    [[nodiscard]] std::int32_t height() const override;
    void requestRepaint() override;
    [[nodiscard]] WindowHandle containerWindow() const override;
    [[nodiscard]] WindowHandle topLevelWindow(WindowHandle window) const override;
    [[nodiscard]] std::vector<ContainerControl> containerControls() const override;
    bool setTimer(WindowHandle window, std::intptr_t id, std::uint32_t ms,
                  std::function<void()> onTick) override;
    void killTimer(WindowHandle window, std::intptr_t id) override;
    [[nodiscard]] Point cursorPos() const override;
    [[nodiscard]] WindowHandle windowFromPoint(Point screen) const override;
    [[nodiscard]] std::optional<Point> clientToScreen(WindowHandle window,
                                                      Point client) const override;
    // The window's own enabled state (false without a window).
    [[nodiscard]] bool enabled() const override;
    void setEnabled(bool value) override;

  private:
    VitrelWindow() = default;
    [[nodiscard]] std::int32_t dotsPerInch(bool horizontal) const override;
    // The resize event (WM_SIZE) arrives before this returns, as the control expects.
    void resizeWindow(std::int32_t width, std::int32_t height) override;
    // The cursor itself is set on WM_SETCURSOR; a new icon is made into a cursor here.
    void cursorChanged(bool iconChanged) override;
    // Drops are not taken by this host: only mode 0 (none) is accepted.
    bool applyDropMode(std::int16_t mode) override { return mode == 0; }
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    // Paints the part of the client area inside area onto target.
    void paintOn(HDC target, const RECT& area);
    // WM_NCHITTEST: HTCLIENT for the control's points, HTTRANSPARENT for the others.
    LRESULT hitTest(LPARAM screenPoint);
    void mouse(UINT message, WPARAM wParam, LPARAM lParam);
    bool setCursor();

    HWND window_ = nullptr;
    std::unique_ptr<Vitrel> control_;
    HCURSOR iconCursor_ = nullptr;  // made from the mouse icon for pointer 99
    // The host asks the desktop for the window under a point: the hit test it causes answers
    // from the control's area alone, without entering or leaving.
    mutable bool quietHitTest_ = false;
};

}  // namespace talvrin::app::win32
