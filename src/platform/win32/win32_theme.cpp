#include "platform/win32/win32_theme.h"

#include <algorithm>

namespace talvrin::platform::win32 {

namespace {

std::wstring wide(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(std::max(n, 1)), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, out.data(), n);
    out.resize(static_cast<std::size_t>(std::max(n - 1, 0)));
    return out;
}

}  // namespace

ThemeDrawing::ThemeDrawing(HWND window, const wchar_t* themeClass, int part, int state) noexcept
    : theme_(themeFunctions()),
      window_(window),
      data_(theme_.OpenThemeData ? theme_.OpenThemeData(window, themeClass) : nullptr),
      part_(part),
      state_(state) {}

ThemeDrawing::~ThemeDrawing() {
    if (data_ && theme_.CloseThemeData) theme_.CloseThemeData(data_);
}

void ThemeDrawing::drawParentBackground(HDC dc, const RECT& rect, COLORREF fallback) const {
    HRGN shape = nullptr;
    if (data_ && theme_.GetThemeBackgroundRegion)
        theme_.GetThemeBackgroundRegion(data_, dc, part_, state_, &rect, &shape);
    if (shape) ExtSelectClipRgn(dc, shape, RGN_DIFF);
    const bool parentDrawn = theme_.DrawThemeParentBackground &&
                             SUCCEEDED(theme_.DrawThemeParentBackground(window_, dc, &rect));
    if (!parentDrawn) {
        const HBRUSH brush = CreateSolidBrush(fallback);
        FillRect(dc, &rect, brush);
        DeleteObject(brush);
    }
    ExtSelectClipRgn(dc, nullptr, RGN_COPY);
    if (shape) DeleteObject(shape);
}

void ThemeDrawing::drawBackground(HDC dc, const RECT& rect) const {
    if (data_ && theme_.DrawThemeBackground)
        theme_.DrawThemeBackground(data_, dc, part_, state_, &rect, &rect);
}

RECT ThemeDrawing::contentRect(HDC dc, const RECT& rect) const {
    RECT content = rect;
    if (data_ && theme_.GetThemeBackgroundContentRect)
        theme_.GetThemeBackgroundContentRect(data_, dc, part_, state_, &rect, &content);
    return content;
}

void ThemeDrawing::drawText(HDC dc, const std::string& text, DWORD flags, const RECT& rect) const {
    RECT area = rect;
    if (data_ && theme_.DrawThemeText) {
        const std::wstring wideText = wide(text);
        theme_.DrawThemeText(data_, dc, part_, state_, wideText.c_str(), -1, flags, 0, &area);
    } else {
        SetBkMode(dc, TRANSPARENT);
        DrawTextA(dc, text.c_str(), -1, &area, flags);
    }
}

void invalidateThemedShape(HWND window, const wchar_t* themeClass, int part, int state) {
    const auto& theme = themeFunctions();
    RECT client;
    GetClientRect(window, &client);
    ValidateRect(window, nullptr);
    HRGN shape = nullptr;
    if (theme.OpenThemeData && theme.GetThemeBackgroundRegion) {
        if (const HTHEME data = theme.OpenThemeData(window, themeClass)) {
            theme.GetThemeBackgroundRegion(data, nullptr, part, state, &client, &shape);
            if (theme.CloseThemeData) theme.CloseThemeData(data);
        }
    }
    InvalidateRgn(window, shape, FALSE);  // no region: the whole window
    if (shape) DeleteObject(shape);
}

}  // namespace talvrin::platform::win32
