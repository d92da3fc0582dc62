// The main window's design, shared by both window shells: its caption, size, font and texts,
// and its controls in the order the design lists them, each at its rectangle in pixels at 96 dots
// per inch with its caption and tab index. A shell builds its window from this table and scales
// it to the screen's resolution with scaleToDpi.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "base/geometry.h"

namespace talvrin::frm_main_design {

inline constexpr std::int32_t kDesignDpi = 96;
inline constexpr std::int32_t kClientWidth = 557;   // 8355 twips at 15 twips a pixel
inline constexpr std::int32_t kClientHeight = 183;  // 2745 twips
inline constexpr std::uint32_t kTimerIntervalMs = 100;

inline constexpr std::string_view kCaption = "Talvrin - by Brennock";
// The link picture and its label open the program's own page (app/project_page.h).

// One font for the window and every control.
inline constexpr std::string_view kFontFamily = "Verdana";
inline constexpr double kFontPoints = 6.75;
inline constexpr std::int32_t kFontWeight = 700;

// The link cursor's hot spot, as drawn in resources/link.cur.
inline constexpr Point kLinkCursorHotSpot{6, 1};

enum class ControlKind { TextBox, Timer, PushButton, ListBox, Picture, Label, ImageControl };

struct ControlDesign {
    std::string_view name;
    ControlKind kind;
    // Left, top, width, height in pixels at 96 dots per inch (all 0 for the timer).
    std::int32_t left, top, width, height;
    std::string_view caption;  // a label's or button's caption, the text box's text
    std::int32_t tabIndex;     // -1 for controls without one
    bool opensMakerPage;       // a click opens the maker's page (the link picture and label)
};

inline constexpr std::string_view kAboutText =
    "This program will repair the Windows Firewall and WMI. When the Windows firewall won't start "
    "or you have errors from programs using WMI this tool should help fix those problems. A Broken "
    "Windows Firewall can also keep programs and ports from working correctly. This program will "
    "take a few minutes to complete. Once finished you will need to reboot to finish.";

// In the order of the window's design data, which is also the stacking order: a later control
// lies above an earlier one.
inline constexpr std::array<ControlDesign, 10> kControls{{
    {"Text2", ControlKind::TextBox, 30, 2, 13, 14, "\"", 5, false},
    {"Timer1", ControlKind::Timer, 0, 0, 0, 0, "", -1, false},
    {"Command1", ControlKind::PushButton, 462, 106, 91, 23, "Close", 2, false},
    {"List1", ControlKind::ListBox, 134, 4, 419, 98, "", 1, false},
    {"Command2", ControlKind::PushButton, 368, 106, 91, 23, "Start", 0, false},
    {"Image2", ControlKind::Picture, 134, 116, 16, 16, "", -1, true},
    {"Label4", ControlKind::Label, 152, 118, 156, 12, "Follow Brennock on Facebook", 6, true},
    {"Label2", ControlKind::Label, 4, 132, 549, 53, kAboutText, 4, false},
    {"Label1", ControlKind::Label, 134, 104, 185, 12, "For Windows Xp/2003/Vista/2008/7", 3, false},
    {"Vitrel1", ControlKind::ImageControl, 2, 2, 128, 128, "", -1, false},
}};

// The design entry of a control by name (the first entry's when the name is unknown).
[[nodiscard]] const ControlDesign& control(std::string_view name) noexcept;

// The controls that take the keyboard focus (buttons, the list, the text box), in tab-index
// order; labels carry a tab index but never take the focus. The first is the one focused when
// the window opens.
[[nodiscard]] std::vector<std::string_view> tabOrder();

// A length in design pixels at the given resolution, rounded to the nearest pixel (as the
// desktop's MulDiv rounds); a resolution below 1 counts as 96.
[[nodiscard]] std::int32_t scaleToDpi(std::int32_t pixels, std::int32_t dpi) noexcept;

// The font's character height in pixels at the given resolution (points x dpi / 72, rounded).
[[nodiscard]] std::int32_t fontPixelHeight(std::int32_t dpi) noexcept;

}  // namespace talvrin::frm_main_design
