#include "app/win32/theme_fix_win32.h"

#include <optional>
#include <string>

#include "platform/gdi/screen.h"
#include "platform/win32/system_functions.h"
#include "platform/win32/win32_canvas.h"
#include "platform/win32/win32_input.h"
#include "platform/win32/win32_theme.h"
#include "platform/win32/win32_windows.h"
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

// The kind of control the fix sees in a window: its standard buttons by their style; any other
// window is Other.
ControlKind kindOf(HWND window) {
    switch (platform::win32::buttonKindOf(window)) {
        case platform::win32::ButtonKind::GroupBox:
            return ControlKind::Frame;
        case platform::win32::ButtonKind::PushButton:
            return ControlKind::CommandButton;
        case platform::win32::ButtonKind::RadioButton:
            return ControlKind::OptionButton;
        case platform::win32::ButtonKind::CheckBox:
            return ControlKind::CheckBox;
        case platform::win32::ButtonKind::None:
            break;
    }
    return ControlKind::Other;
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
        const bool frame = procedure == mdXpThemeSupport::SubclassProcedure::pvRedirectFrame;
        return platform::win32::setWindowSubclass(
            window_, frame ? pvRedirectFrame : pvRedirectButton, 0,
            frame ? 0 : reinterpret_cast<DWORD_PTR>(graphicalOf(window_)));
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

// A picture exists with a non-zero handle: it shows a bitmap or an icon.
bool hasHandle(const platform::Picture* picture) {
    return picture && (picture->bitmap() || picture->icon());
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
    return platform::win32::defaultSubclassProcessing(window, message, wParam, lParam);
}

LRESULT CALLBACK pvRedirectButton(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                  DWORD_PTR reference) {
    const auto kind = buttonMessageOf(message);
    const auto* button = reinterpret_cast<const GraphicalButton*>(reference);
    if (!kind || !button)
        return platform::win32::defaultSubclassProcessing(window, message, wParam, lParam);

    mdXpThemeSupport::ButtonProperties properties;
    properties.Hot = GetPropA(window, kHotProperty) != nullptr;
    properties.Painted = GetPropA(window, kPaintedProperty) != nullptr;
    const bool themed = mdXpThemeSupport::IsAppThemedActive();
    const auto reaction = mdXpThemeSupport::pvRedirectButton(properties, *kind, themed,
                                                             IsWindowVisible(window) != FALSE);
    SetPropA(window, kHotProperty, reinterpret_cast<HANDLE>(properties.Hot ? 1 : 0));
    if (properties.Painted) SetPropA(window, kPaintedProperty, reinterpret_cast<HANDLE>(1));

    if (reaction.customPaint) {
        platform::win32::paintDamaged(
            window, [&](HDC dc, const RECT&) { pvDrawButton(window, dc, *button); });
        return 0;
    }
    if (reaction.holdRedraw) SendMessageA(window, WM_SETREDRAW, FALSE, 0);
    const LRESULT result =
        platform::win32::defaultSubclassProcessing(window, message, wParam, lParam);
    if (reaction.holdRedraw) SendMessageA(window, WM_SETREDRAW, TRUE, 0);
    if (reaction.trackMouse) platform::win32::trackHoverAndLeave(window, 1);
    if (reaction.repaint == mdXpThemeSupport::Repaint::Whole) {
        InvalidateRect(window, nullptr, FALSE);
    } else if (reaction.repaint == mdXpThemeSupport::Repaint::ThemedShape) {
        // The button's themed shape is repainted, not the area around it.
        platform::win32::invalidateThemedShape(window, L"BUTTON", kPushButtonPart, 1);
    }
    return result;
}

void pvDrawButton(HWND window, HDC dc, const GraphicalButton& button) {
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
    const platform::Picture* picture =
        look.picture == mdXpThemeSupport::PictureSlot::Picture       ? button.Picture.get()
        : look.picture == mdXpThemeSupport::PictureSlot::DownPicture ? button.DownPicture.get()
        : look.picture == mdXpThemeSupport::PictureSlot::DisabledPicture
            ? button.DisabledPicture.get()
            : nullptr;

    const RECT rect = platform::win32::clientRect(window);
    RECT pictureArea;
    {
        const platform::win32::ThemeDrawing theme(window, L"BUTTON", kPushButtonPart,
                                                  static_cast<int>(look.state));
        theme.drawParentBackground(dc, rect, platform::translateColor(button.BackColor));
        theme.drawBackground(dc, rect);
        const RECT content = theme.contentRect(dc, rect);
        if (in.focused) DrawFocusRect(dc, &content);

        const std::string caption = platform::win32::windowText(window, 512);
        pictureArea = content;
        if (!caption.empty()) {
            const platform::win32::WindowFontIn font(dc, window);
            RECT measured = content;
            DrawTextA(dc, caption.c_str(), -1, &measured, DT_CALCRECT | DT_WORDBREAK);
            const auto layout = mdXpThemeSupport::layoutCaption(
                platform::win32::fromRect(content), measured.bottom, picture != nullptr);
            theme.drawText(dc, caption, DT_CENTER | DT_WORDBREAK,
                           platform::win32::toRect(layout.text));
            pictureArea = platform::win32::toRect(layout.pictureArea);
        }
    }
    // The picture is drawn by the software drawing layer, which applies the picture rules.
    if (picture)
        platform::win32::drawSoftwareOver(
            dc, pictureArea, [&](platform::DeviceContext& soft, const Rect& area) {
                mdXpThemeSupport::drawButtonPicture(*picture, soft, area, in.Enabled,
                                                    button.UseMaskColor, button.MaskColor);
            });
}

}  // namespace talvrin::app::win32
