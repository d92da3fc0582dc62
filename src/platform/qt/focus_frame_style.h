// The window's push buttons show where the keyboard focus is: the focused button gets a dotted
// frame inside its edge, as the desktop the program was made for draws it, and the widget
// style's own focus colour on its outline. Qt styles otherwise show focus only after the first
// Tab, so "Start", focused when the window opens, would look like any other button.
#pragma once

#include <QProxyStyle>

namespace talvrin::platform::qt {

class FocusFrameStyle final : public QProxyStyle {
  public:
    // Draws over the application's style (and follows it when it changes).
    FocusFrameStyle() = default;

    // How far the dotted frame lies inside the button's rectangle, in pixels.
    static constexpr int kFrameInset = 3;

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
};

}  // namespace talvrin::platform::qt
