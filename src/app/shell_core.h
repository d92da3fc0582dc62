// The window's core, shared by the Qt and the Win32 shell: it walks the design table and has the
// shell make each control at its rectangle scaled to the screen, restores the logo from its
// stored properties, drives the controls through the repair sequence's interfaces, and routes
// the window's events (the clicks, the timer's tick, the close request) to the window's
// behaviour. A shell implements ShellWindow, which is only what its toolkit must do, and
// forwards its native events to the core.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/frm_main_design.h"
#include "app/frm_main_logic.h"
#include "base/geometry.h"
#include "image/control/vitrel.h"
#include "ui/theme/md_xp_theme_support.h"

namespace talvrin {

// The start-up steps both shells run, in order, before their window: data-execution prevention
// off and one pump (each the shell's), the visual-style initialisation, then the host services
// the image code uses: the program's own resources, the route from the picture loader to the
// icon decoder, and the shell's own.
void runStartupSteps(const std::function<void()>& disableDataExecutionPrevention,
                     const std::function<void()>& pumpMessages,
                     const std::function<void()>& installShellServices);

class ShellWindow {
  public:
    virtual ~ShellWindow() = default;

    // Makes the native control of the design's entry `index` at its rectangle in screen pixels
    // (the timer too, whose rectangle is empty); false when it cannot be made.
    virtual bool makeControl(std::size_t index, const frm_main_design::ControlDesign& control,
                             const Rect& bounds) = 0;
    // The logo's image control, once made, and its stored properties in their text form, as the
    // shell's resources hold them.
    virtual Vitrel& logo() = 0;
    [[nodiscard]] virtual std::string logoProperties() = 0;

    // The controls the repair sequence drives: the buttons and the timer by name, the list, the
    // text box's text, the final box and the message pump.
    virtual void enable(std::string_view name, bool enabled) = 0;
    virtual void clearList() = 0;
    virtual void addListLine(const std::string& line) = 0;
    [[nodiscard]] virtual int listCount() const = 0;
    virtual void selectListLine(int index) = 0;  // also scrolls it into view
    [[nodiscard]] virtual std::string text(std::string_view name) const = 0;
    virtual void showMessage(const std::string& text, const std::string& caption) = 0;
    virtual void pumpMessages() = 0;

    // The window's controls as the theme fix sees them.
    [[nodiscard]] virtual std::vector<std::unique_ptr<mdXpThemeSupport::ThemeControl>>
    themeControls() = 0;
    // Asks the window to close, as its system menu would.
    virtual void requestClose() = 0;
    // Opens a local page with the desktop's handler.
    virtual void openPage(const std::string& path) = 0;
    // Unloads one control while the window closes.
    virtual void unloadControl(std::size_t index) = 0;
};

class ShellCore {
  public:
    explicit ShellCore(ShellWindow& window);
    ~ShellCore();
    ShellCore(const ShellCore&) = delete;
    ShellCore& operator=(const ShellCore&) = delete;

    // Has the shell make every control in the design's order, which is the stacking order, at
    // its rectangle scaled to `dpi`, then restores the logo from its stored properties. False,
    // with the walk stopped, when a control cannot be made.
    bool build(std::int32_t dpi);
    // The load handler: the theme fix of the window's controls and the runner.
    void load();

    // A click on a control of the design, by name: "Start" enables the timer, "Close" asks the
    // window to close, the link picture and its label open the program's own page; clicks on
    // the other controls do nothing.
    void onClick(std::string_view name);
    void onTimerTick() { logic_.onTimerTick(); }
    // The closing steps, then every control unloaded in the design's order. True the first time;
    // the shell then closes the window itself.
    bool close();

    // The controls that open the program's page (the link picture and its label) show the link
    // cursor; the link's label shows its text in the highlight colour.
    [[nodiscard]] static bool showsLinkCursor(
        const frm_main_design::ControlDesign& control) noexcept;
    [[nodiscard]] static bool inHighlightColour(
        const frm_main_design::ControlDesign& control) noexcept;

    // The program's own page, beside the executables in doc/ (app/project_page.h).
    [[nodiscard]] static std::string makerPagePath();
    // The control Tab (Shift+Tab: backwards) moves the focus to from `current`, along the
    // design's tab order among the stops that can take the focus, wrapping at either end; from
    // a control that is none of them, the first. Empty when no stop can take the focus.
    [[nodiscard]] static std::string_view nextTabStop(
        std::string_view current, bool backwards,
        const std::function<bool(std::string_view)>& canTakeFocus);

    [[nodiscard]] const FrmMainLogic& logic() const noexcept { return logic_; }

  private:
    class List;
    class Switch;
    class Box;

    ShellWindow& window_;
    std::unique_ptr<List> list_;
    std::unique_ptr<Switch> closeButton_, startButton_, timer_;
    std::unique_ptr<Box> box_;
    FrmMainLogic logic_;
};

}  // namespace talvrin
