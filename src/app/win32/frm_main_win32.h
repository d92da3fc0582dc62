// FrmMain as a native Win32 window: the controls of the window's design (app/frm_main_design.h)
// as standard child windows (list box, push buttons, static labels and picture, a hidden edit
// control) and the logo as an image control window, all at their rectangles scaled to the
// screen's resolution, in the design's stacking order, in one font. Timer1 is a window timer of
// 100 ms. The window's core (app/shell_core.h) walks the design and drives the window; this class
// makes the native windows and forwards their messages. Windows only.
#pragma once

#include <windows.h>

#include <memory>
#include <string_view>
#include <vector>

#include "app/shell_core.h"
#include "app/win32/vitrel_window.h"

namespace talvrin::app::win32 {

// Processes every pending window message of the thread once, with the main window's keyboard
// handling (platform/win32/win32_messages.h).
void pumpWindowMessages();

class FrmMainWin32 final : private ShellWindow {
  public:
    static constexpr const char* kClassName = "TalvrinFrmMain";
    // Timer1's identifier: far from the image controls' timer identifiers (small counters and
    // their negations) on the same window.
    static constexpr UINT_PTR kTimer1Id = 0x54310001;

    // Creates the window, hidden, with its controls, then runs its load handler. Null when the
    // window cannot be made.
    [[nodiscard]] static std::unique_ptr<FrmMainWin32> create();
    // Destroys the window and its controls if they still exist.
    ~FrmMainWin32() override;
    FrmMainWin32(const FrmMainWin32&) = delete;
    FrmMainWin32& operator=(const FrmMainWin32&) = delete;

    // Shows the window (not modally) with the focus on the first control of the tab order.
    void show();

    [[nodiscard]] HWND window() const noexcept { return window_; }
    // The child window of a control of the design by name (null for the timer, and once the
    // control has been unloaded).
    [[nodiscard]] HWND control(std::string_view name) const noexcept;
    // The logo's host (null once unloaded).
    [[nodiscard]] VitrelWindow* Vitrel1() const noexcept { return vitrel1_.get(); }

    [[nodiscard]] DOSOutputs* objDOS() const noexcept { return core_.logic().objDOS(); }
    [[nodiscard]] bool isClosing() const noexcept { return core_.logic().isClosing(); }
    [[nodiscard]] bool isRepairRunning() const noexcept { return core_.logic().isRepairRunning(); }
    [[nodiscard]] bool isTimer1Enabled() const noexcept { return timer1On_; }

    // The window a message belongs to, when it is one of this window's or its controls': Tab and
    // Shift+Tab move the focus along the design's tab order. True when the message was handled
    // and must not be dispatched.
    static bool preTranslate(const MSG& message);

  private:
    FrmMainWin32() = default;
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    // The design's entry of a child window (null for other windows).
    [[nodiscard]] const frm_main_design::ControlDesign* designOf(HWND child) const noexcept;
    void setTimer1(bool on);
    // The closing steps: the core's, with every control unloaded in design order and a pump
    // after each; then the window itself.
    void close();
    bool moveFocus(bool backwards);

    // The window as the core sees it.
    bool makeControl(std::size_t index, const frm_main_design::ControlDesign& control,
                     const Rect& bounds) override;
    Vitrel& logo() override { return vitrel1_->control(); }
    std::string logoProperties() override;
    void enable(std::string_view name, bool enabled) override;
    void clearList() override;
    void addListLine(const std::string& line) override;
    int listCount() const override;
    void selectListLine(int index) override;
    std::string text(std::string_view name) const override;
    void showMessage(const std::string& text, const std::string& caption) override;
    void pumpMessages() override { pumpWindowMessages(); }
    std::vector<std::unique_ptr<mdXpThemeSupport::ThemeControl>> themeControls() override;
    void requestClose() override { PostMessageA(window_, WM_CLOSE, 0, 0); }
    void openPage(const std::string& path) override;
    void unloadControl(std::size_t index) override;

    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    HBITMAP linkPicture_ = nullptr;
    HCURSOR linkCursor_ = nullptr;
    std::vector<HWND> controls_;  // by design index; null for the timer and unloaded controls
    std::unique_ptr<VitrelWindow> vitrel1_;
    bool timer1On_ = false;
    ShellCore core_{*this};
};

}  // namespace talvrin::app::win32
