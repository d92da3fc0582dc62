#include "app/win32/theme_fix_win32.h"

#include <cmath>
#include <optional>
#include <string>

#include "platform/gdi/screen.h"
#include "platform/win32/system_functions.h"
#include "platform/win32/win32_canvas.h"
#include "ui/theme/button_look.h"
#include "ui/theme/button_pictures.h"

namespace talvrin::app::win32 {

namespace {

using mdXpThemeSupport::ButtonMessage;
using mdXpThemeSupport::ControlKind;

constexpr const char* kGraphicalProperty = "TalvrinGraphical";
constexpr const char* kHotProperty = "Hot";
constexpr const char* kPaintedProperty = "Painted";
constexpr int kPushButtonPart = 1;  // BP_PUSHBUTTON

const GraphicalButton* graphicalOf(HWND window) {
    return static_cast<const GraphicalButton*>(GetPropA(window, kGraphicalProperty));
}

ControlKind kindOf(HWND window) {
    char name[32] = {};
    GetClassNameA(window, name, sizeof(name));
    if (_stricmp(name, "Button") != 0) return ControlKind::Other;
    switch (GetWindowLongA(window, GWL_STYLE) & BS_TYPEMASK) {
        case BS_GROUPBOX:
            return ControlKind::Frame;
        case BS_PUSHBUTTON:
        case BS_DEFPUSHBUTTON:
        case BS_OWNERDRAW:
            return ControlKind::CommandButton;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            return ControlKind::OptionButton;
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE:
            return ControlKind::CheckBox;
        default:
            return ControlKind::Other;
    }
}

class WindowControl final : public mdXpThemeSupport::ThemeControl {
  public:
    explicit WindowControl(HWND window) : window_(window) {}
    ControlKind kind() const noexcept override { return kindOf(window_); }
    std::int32_t Style() const noexcept override {
        return graphicalOf(window_) ? mdXpThemeSupport::kStyleGraphical
                                    : mdXpThemeSupport::kStyleStandard;
    }
    bool setWindowSubclass(mdXpThemeSupport::SubclassProcedure procedure) noexcept override {
        const auto set = platform::win32::subclassFunctions().SetWindowSubclass;
        if (!set) return false;
        const bool frame = procedure == mdXpThemeSupport::SubclassProcedure::pvRedirectFrame;
        return set(window_, frame ? pvRedirectFrame : pvRedirectButton, 0,
                   frame ? 0 : reinterpret_cast<DWORD_PTR>(graphicalOf(window_))) != FALSE;
    }

  private:
    HWND window_;
};

void collect(HWND container, std::vector<std::unique_ptr<mdXpThemeSupport::ThemeControl>>& out) {
    for (HWND child = GetWindow(container, GW_CHILD); child;
         child = GetWindow(child, GW_HWNDNEXT)) {
        out.push_back(std::make_unique<WindowControl>(child));
        if (kindOf(child) == ControlKind::Frame) collect(child, out);
    }
}

LRESULT defaultProcessing(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto def = platform::win32::subclassFunctions().DefSubclassProc;
    return def ? def(window, message, wParam, lParam)
               : DefWindowProcA(window, message, wParam, lParam);
}

std::optional<ButtonMessage> buttonMessageOf(UINT message) {
    switch (message) {
        case WM_SETFOCUS:
            return ButtonMessage::SetFocus;
        case WM_KILLFOCUS:
            return ButtonMessage::KillFocus;
        case WM_ENABLE:
            return ButtonMessage::Enable;
        case WM_PAINT:
            return ButtonMessage::Paint;
        case WM_LBUTTONDOWN:
            return ButtonMessage::LButtonDown;
        case WM_LBUTTONUP:
            return ButtonMessage::LButtonUp;
        case WM_RBUTTONUP:
            return ButtonMessage::RButtonUp;
        case WM_MOUSEMOVE:
            return ButtonMessage::MouseMove;
        case WM_MOUSEHOVER:
            return ButtonMessage::MouseHover;
        case WM_MOUSELEAVE:
            return ButtonMessage::MouseLeave;
        default:
            return std::nullopt;
    }
}

// The rect of a theme call as the system's RECT, and back.
RECT toRect(const Rect& r) {
    return {r.left, r.top, r.right, r.bottom};
}
Rect fromRect(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

// InvalidateThemedButton: the button's themed shape is repainted, not the area around it.
void invalidateThemedButton(HWND window) {
    const auto& theme = platform::win32::themeFunctions();
    RECT client;
    GetClientRect(window, &client);
    ValidateRect(window, nullptr);
    HRGN shape = nullptr;
    if (theme.OpenThemeData && theme.GetThemeBackgroundRegion) {
        if (const HTHEME data = theme.OpenThemeData(window, L"BUTTON")) {
            theme.GetThemeBackgroundRegion(data, nullptr, kPushButtonPart, 1, &client, &shape);
            if (theme.CloseThemeData) theme.CloseThemeData(data);
        }
    }
    InvalidateRgn(window, shape, FALSE);  // no region: the whole button
    if (shape) DeleteObject(shape);
}

// The picture of a button drawn into its area of dc: the area's pixels are drawn on by the
// software drawing layer, which applies the picture rules, and put back.
void drawPicture(HDC dc, const platform::Picture& picture, const RECT& area, bool enabled,
                 const GraphicalButton& button) {
    const int w = area.right - area.left, h = area.bottom - area.top;
    if (w < 1 || h < 1) return;
    platform::win32::Win32Canvas canvas(dc, w, h);
    if (!canvas) return;
    BitBlt(canvas.native(), 0, 0, w, h, dc, area.left, area.top, SRCCOPY);
    canvas.drawSoftware(
        [&](platform::DeviceContext& soft) {
            mdXpThemeSupport::drawButtonPicture(picture, soft, Rect{0, 0, w, h}, enabled,
                                                button.UseMaskColor, button.MaskColor);
        },
        false);
    canvas.put(dc, area.left, area.top, RECT{0, 0, w, h});
}

// A picture exists with a non-zero handle: it shows a bitmap or an icon.
bool hasHandle(const platform::Picture* picture) {
    return picture && (picture->bitmap() || picture->icon());
}

std::wstring wide(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(std::max(n, 1)), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, out.data(), n);
    out.resize(static_cast<std::size_t>(std::max(n - 1, 0)));
    return out;
}

}  // namespace

void makeGraphical(HWND button, const GraphicalButton* record) {
    SetPropA(button, kGraphicalProperty, const_cast<GraphicalButton*>(record));
}

std::vector<std::unique_ptr<mdXpThemeSupport::ThemeControl>> themeControlsOf(HWND form) {
    std::vector<std::unique_ptr<mdXpThemeSupport::ThemeControl>> controls;
    collect(form, controls);
    return controls;
}

LRESULT CALLBACK pvRedirectFrame(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                 DWORD_PTR) {
    if (message == WM_PRINTCLIENT || message == WM_MOUSELEAVE)
        return DefWindowProcA(window, message, wParam, lParam);
    return defaultProcessing(window, message, wParam, lParam);
}

LRESULT CALLBACK pvRedirectButton(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                  DWORD_PTR reference) {
    const auto kind = buttonMessageOf(message);
    const auto* button = reinterpret_cast<const GraphicalButton*>(reference);
    if (!kind || !button) return defaultProcessing(window, message, wParam, lParam);

    mdXpThemeSupport::ButtonProperties properties;
    properties.Hot = GetPropA(window, kHotProperty) != nullptr;
    properties.Painted = GetPropA(window, kPaintedProperty) != nullptr;
    const bool themed = mdXpThemeSupport::IsAppThemedActive();
    const auto reaction = mdXpThemeSupport::pvRedirectButton(properties, *kind, themed,
                                                             IsWindowVisible(window) != FALSE);
    SetPropA(window, kHotProperty, reinterpret_cast<HANDLE>(properties.Hot ? 1 : 0));
    if (properties.Painted) SetPropA(window, kPaintedProperty, reinterpret_cast<HANDLE>(1));

    if (reaction.customPaint) {
        PAINTSTRUCT ps;
        const HDC dc = BeginPaint(window, &ps);
        if (dc) pvDrawButton(window, dc, *button);
        EndPaint(window, &ps);
        return 0;
    }
    if (reaction.holdRedraw) SendMessageA(window, WM_SETREDRAW, FALSE, 0);
    const LRESULT result = defaultProcessing(window, message, wParam, lParam);
    if (reaction.holdRedraw) SendMessageA(window, WM_SETREDRAW, TRUE, 0);
    if (reaction.trackMouse) {
        TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_HOVER | TME_LEAVE, window, 1};
        TrackMouseEvent(&track);
    }
    if (reaction.repaint == mdXpThemeSupport::Repaint::Whole) {
        InvalidateRect(window, nullptr, FALSE);
    } else if (reaction.repaint == mdXpThemeSupport::Repaint::ThemedShape) {
        invalidateThemedButton(window);
    }
    return result;
}

void pvDrawButton(HWND window, HDC dc, const GraphicalButton& button) {
    const auto& theme = platform::win32::themeFunctions();
    const LRESULT state = SendMessageA(window, BM_GETSTATE, 0, 0);
    mdXpThemeSupport::ButtonLookInputs in;
    in.Enabled = IsWindowEnabled(window) != FALSE;
    in.pushed = (state & BST_PUSHED) != 0;
    in.focused = (state & BST_FOCUS) != 0;
    in.Value = button.Value;
    in.hot = GetPropA(window, kHotProperty) != nullptr;
    // The form's active control is the focused window. A button's Default reads as -1 or 0 (0
    // stands for both here: neither is above 0); any other control, or none, has no Default.
    const HWND focus = GetFocus();
    std::optional<std::int32_t> activeDefault;
    if (focus && focus != window && kindOf(focus) != ControlKind::Other) activeDefault = 0;
    in.defaultLook = mdXpThemeSupport::showsDefault(button.Default, focus == window, activeDefault);
    in.pictures.Picture = hasHandle(button.Picture.get());
    in.pictures.DownPicture = hasHandle(button.DownPicture.get());
    in.pictures.DisabledPicture = hasHandle(button.DisabledPicture.get());
    const auto look = mdXpThemeSupport::chooseButtonLook(in);
    const int stateId = static_cast<int>(look.state);
    const platform::Picture* picture =
        look.picture == mdXpThemeSupport::PictureSlot::Picture       ? button.Picture.get()
        : look.picture == mdXpThemeSupport::PictureSlot::DownPicture ? button.DownPicture.get()
        : look.picture == mdXpThemeSupport::PictureSlot::DisabledPicture
            ? button.DisabledPicture.get()
            : nullptr;

    RECT rect;
    GetClientRect(window, &rect);
    const HTHEME data = theme.OpenThemeData ? theme.OpenThemeData(window, L"BUTTON") : nullptr;
    // The area outside the button's shape shows the parent's background (or the BackColor).
    HRGN shape = nullptr;
    if (data && theme.GetThemeBackgroundRegion)
        theme.GetThemeBackgroundRegion(data, dc, kPushButtonPart, stateId, &rect, &shape);
    if (shape) ExtSelectClipRgn(dc, shape, RGN_DIFF);
    const bool parentDrawn = theme.DrawThemeParentBackground &&
                             SUCCEEDED(theme.DrawThemeParentBackground(window, dc, &rect));
    if (!parentDrawn) {
        const HBRUSH brush = CreateSolidBrush(platform::translateColor(button.BackColor));
        FillRect(dc, &rect, brush);
        DeleteObject(brush);
    }
    ExtSelectClipRgn(dc, nullptr, RGN_COPY);
    if (shape) DeleteObject(shape);

    if (data && theme.DrawThemeBackground)
        theme.DrawThemeBackground(data, dc, kPushButtonPart, stateId, &rect, &rect);
    RECT content = rect;
    if (data && theme.GetThemeBackgroundContentRect)
        theme.GetThemeBackgroundContentRect(data, dc, kPushButtonPart, stateId, &rect, &content);
    if (in.focused) DrawFocusRect(dc, &content);

    char caption[512] = {};
    GetWindowTextA(window, caption, sizeof(caption));
    RECT pictureArea = content;
    if (caption[0] != '\0') {
        const auto font = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
        const HGDIOBJ previousFont = font ? SelectObject(dc, font) : nullptr;
        RECT measured = content;
        DrawTextA(dc, caption, -1, &measured, DT_CALCRECT | DT_WORDBREAK);
        const auto layout =
            mdXpThemeSupport::layoutCaption(fromRect(content), measured.bottom, picture != nullptr);
        RECT textRect = toRect(layout.text);
        if (data && theme.DrawThemeText) {
            const std::wstring text = wide(caption);
            theme.DrawThemeText(data, dc, kPushButtonPart, stateId, text.c_str(), -1,
                                DT_CENTER | DT_WORDBREAK, 0, &textRect);
        } else {
            SetBkMode(dc, TRANSPARENT);
            DrawTextA(dc, caption, -1, &textRect, DT_CENTER | DT_WORDBREAK);
        }
        if (previousFont) SelectObject(dc, previousFont);
        pictureArea = toRect(layout.pictureArea);
    }
    if (data && theme.CloseThemeData) theme.CloseThemeData(data);
    if (picture) drawPicture(dc, *picture, pictureArea, in.Enabled, button);
}

}  // namespace talvrin::app::win32
