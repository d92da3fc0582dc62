// The visual-style fix on real windows: a window's child controls as the fix sees them, and the
// two subclass procedures it installs with the common controls' SetWindowSubclass (found at run
// time). pvRedirectFrame hands the background-printing and mouse-leave messages of a frame (a
// group box) to the default window procedure; pvRedirectButton follows the graphical button's
// rules (ui/theme/button_look.h) and, while visual styles are active, paints the button itself
// with the theme library's push-button part, its caption and its picture (ui/theme/
// button_pictures.h). Every theme function is found at run time; where one is missing the step
// falls back as the rules say (the parent's background becomes a fill with the button's
// BackColor) or is skipped. Windows only.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "platform/picture/picture.h"
#include "ui/theme/md_xp_theme_support.h"

namespace talvrin::app::win32 {

// What a graphical button carries beyond its window (caption and font are the window's own).
// A push button, radio button or check box window becomes graphical with makeGraphical.
struct GraphicalButton {
    bool Value = false;    // an option button's or check box's state
    bool Default = false;  // the window's default button
    std::shared_ptr<const platform::Picture> Picture, DownPicture, DisabledPicture;
    bool UseMaskColor = false;
    ColorRef MaskColor = 0xC0C0C0;
    ColorRef BackColor = 0x8000000F;  // the button face
};

// Marks a button window as graphical (Style 1) with its record, which must outlive the window.
void makeGraphical(HWND button, const GraphicalButton* record);

// The form's child windows, and those inside its group boxes, as the fix sees them.
[[nodiscard]] std::vector<std::unique_ptr<mdXpThemeSupport::ThemeControl>> themeControlsOf(
    HWND form);

// The subclass procedures, as the common controls call them.
LRESULT CALLBACK pvRedirectFrame(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                 UINT_PTR id, DWORD_PTR reference);
LRESULT CALLBACK pvRedirectButton(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                  UINT_PTR id, DWORD_PTR reference);

// Paints one graphical button onto dc with the themed push-button look (the theme state chosen
// by the rules, the caption and the picture).
void pvDrawButton(HWND window, HDC dc, const GraphicalButton& button);

}  // namespace talvrin::app::win32
