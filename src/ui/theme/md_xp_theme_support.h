// mdXpThemeSupport: makes a window's standard controls draw right under the desktop's visual
// styles (common controls version 6). It initialises the common-controls library once a
// process, and subclasses a window's frames (so controls inside them get the frame's
// background) and its graphical buttons (so they are drawn with the themed push-button look).
//
// Every routine asks the visual-style libraries of the platform (platform/os/visual_styles.h)
// and answers as they do. This platform has no common controls of version 6, so
// InitVisualStyles only sets its flag, FixThemeSupport answers false and subclasses nothing,
// and the shell gives graphical buttons their look through its own widget style instead
// (button_look.h holds the look's rules, shared by both).
#pragma once

#include <cstdint>
#include <span>

namespace talvrin::mdXpThemeSupport {

// The kinds of control the fix looks at; everything else is left alone.
enum class ControlKind { Frame, CommandButton, OptionButton, CheckBox, Other };

// The values of a button's Style.
inline constexpr std::int32_t kStyleStandard = 0;
inline constexpr std::int32_t kStyleGraphical = 1;

// The subclass procedures a control's window can be given.
enum class SubclassProcedure { pvRedirectFrame, pvRedirectButton };

// One control of a window's collection, as the fix sees it. The host implements it over its
// own controls.
class ThemeControl {
  public:
    virtual ~ThemeControl() = default;
    [[nodiscard]] virtual ControlKind kind() const noexcept = 0;
    // The button's Style (kStyleStandard for controls without one).
    [[nodiscard]] virtual std::int32_t Style() const noexcept = 0;
    // SetWindowSubclass of the control's window with the procedure, subclass id 0; the
    // button procedure's reference data is the control itself. False when it fails.
    virtual bool setWindowSubclass(SubclassProcedure procedure) noexcept = 0;
};

// Once a process: when common controls of version 6 are in use, loads "shell32.dll" and
// initialises the common controls with the extended class set. The flag is set also when the
// library is older, so a later call does nothing either way.
void InitVisualStyles() noexcept;

// Common controls of major version 6 or later are in use (DllGetVersion of the library);
// false where the library or the function is missing.
[[nodiscard]] bool IsComCtl6Loaded() noexcept;

// Visual styles are active for this program's controls now: the program is themed, the theme
// is active and the program's theme properties allow controls.
[[nodiscard]] bool IsAppThemedActive() noexcept;

// Without common controls of version 6: false, and nothing is subclassed. Otherwise every
// frame gets pvRedirectFrame and every command button, option button and check box whose
// Style is graphical gets pvRedirectButton; other controls are left alone; a failed subclass
// is skipped. Then true. Null entries are skipped.
bool FixThemeSupport(std::span<ThemeControl* const> controls) noexcept;

}  // namespace talvrin::mdXpThemeSupport
