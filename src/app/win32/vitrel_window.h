// The Win32 host of the image control: one child window per control, which holds a Vitrel and is
// its VitrelHost. It paints in WM_PAINT through the software device context over the parent's
// pixels under the control (the parent erases and prints its client area into the canvas), so
// translucent pixels blend over whatever the window shows behind the control, and puts only the
// damaged rectangle on the window with SetDIBitsToDevice.
//
// Input: the desktop asks a window which points are its own through WM_NCHITTEST. The host hands
// the question to the control and answers HTTRANSPARENT for a point the control does not own, so
// the window beneath receives that point's mouse input. Timers are window timers on the
// container (win32_timers.h); the window under a point is the container while the point is the
// control's, as for a windowless control. Windows only.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image/control/vitrel.h"

namespace talvrin::app::win32 {

class VitrelWindow final : public VitrelHost {
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
    [[nodiscard]] static VitrelWindow* fromWindow(HWND window) noexcept;

    // ---- VitrelHost ----
    [[nodiscard]] bool userMode() const override { return true; }
    [[nodiscard]] std::int32_t width() const override;
    [[nodiscard]] std::int32_t height() const override;
    [[nodiscard]] std::int32_t twipsPerPixelX() const override;
    [[nodiscard]] std::int32_t twipsPerPixelY() const override;
    void requestRepaint() override;
    void requestResize(std::int32_t widthTwips, std::int32_t heightTwips) override;
    void propertyChanged(std::string_view) override {}
    [[nodiscard]] std::optional<std::int32_t> containerScaleMode() const override;
    [[nodiscard]] std::optional<float> pixelsToContainer(float pixels, bool horizontal,
                                                         std::int32_t scaleMode) const override;
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
    [[nodiscard]] bool enabled() const override;
    void setEnabled(bool value) override;
    [[nodiscard]] std::int16_t mousePointer() const override { return pointer_; }
    bool setMousePointer(std::int16_t value) override;
    [[nodiscard]] std::optional<StoredPicture> mouseIcon() const override { return icon_; }
    bool setMouseIcon(std::optional<StoredPicture> icon) override;
    [[nodiscard]] std::int16_t oleDropMode() const override { return 0; }
    // Drops are not taken by this host: only mode 0 (none) is accepted.
    bool setOleDropMode(std::int16_t value) override { return value == 0; }
    [[nodiscard]] std::string tag() const override { return tag_; }
    void setTag(std::string value) override { tag_ = std::move(value); }

  private:
    VitrelWindow() = default;
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void paint();
    // Paints the part of the client area inside area onto target.
    void paintOn(HDC target, const RECT& area);
    // WM_NCHITTEST: HTCLIENT for the control's points, HTTRANSPARENT for the others.
    LRESULT hitTest(LPARAM screenPoint);
    void mouse(UINT message, WPARAM wParam, LPARAM lParam);
    bool setCursor();

    HWND window_ = nullptr;
    std::unique_ptr<Vitrel> control_;
    std::int16_t pointer_ = 0;
    std::optional<StoredPicture> icon_;
    HCURSOR iconCursor_ = nullptr;  // made from the mouse icon for pointer 99
    std::string tag_;
    std::int16_t pressedButtons_ = 0;  // gone down over the control, for Click
    bool afterDblClick_ = false;       // the release of a double click raises no Click
    // The host asks the desktop for the window under a point: the hit test it causes answers
    // from the control's area alone, without entering or leaving.
    mutable bool quietHitTest_ = false;
};

// Gives the image code the desktop's own screen facts: its resolution and its system colours.
void installWin32ScreenFacts();

}  // namespace talvrin::app::win32
