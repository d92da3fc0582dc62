// Drawing with the theme library's parts (uxtheme, found at run time): one part of a window's
// theme class in one state, each step skipped or falling back where the system lacks its
// function or the window has no theme. Windows only.
#pragma once

#include <windows.h>

#include <string>

#include "platform/win32/system_functions.h"

namespace talvrin::platform::win32 {

class ThemeDrawing {
  public:
    // Opens the window's theme data of the class (L"BUTTON"), for the part and state given.
    ThemeDrawing(HWND window, const wchar_t* themeClass, int part, int state) noexcept;
    // Closes the theme data.
    ~ThemeDrawing();
    ThemeDrawing(const ThemeDrawing&) = delete;
    ThemeDrawing& operator=(const ThemeDrawing&) = delete;

    // The area of rect outside the part's shape shows the window parent's background, or a fill
    // with fallback where the theme library cannot draw it.
    void drawParentBackground(HDC dc, const RECT& rect, COLORREF fallback) const;
    // The part's background over rect.
    void drawBackground(HDC dc, const RECT& rect) const;
    // The part's content area inside rect (rect itself where the theme says none).
    [[nodiscard]] RECT contentRect(HDC dc, const RECT& rect) const;
    // The text (in the system's narrow encoding) in rect with the DrawText flags given: themed,
    // else plain over a transparent background.
    void drawText(HDC dc, const std::string& text, DWORD flags, const RECT& rect) const;

  private:
    const ThemeFunctions& theme_;
    HWND window_;
    HTHEME data_;
    int part_, state_;
};

// Repaints the themed shape of a part of the window, not the area around it: the window's
// pending paint is dropped and only the shape invalidated (the whole window without a shape).
void invalidateThemedShape(HWND window, const wchar_t* themeClass, int part, int state);

}  // namespace talvrin::platform::win32
