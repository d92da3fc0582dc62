// The visual style's push-button part as the widget style draws it: the part's five states (1
// normal, 2 hot, 3 pressed, 4 disabled, 5 defaulted, numbered as the theme library numbers them)
// as style options, and the part drawn with its focus frame.
#pragma once

#include <QPainter>
#include <QPushButton>
#include <QRect>
#include <QStyleOptionButton>

namespace talvrin::platform::qt {

// The style option of a push button drawn in one state of the part.
[[nodiscard]] QStyleOptionButton pushButtonOption(const QPushButton& button, int stateId,
                                                  bool focused);
// Draws the part's bevel in a state and, when focused, the focus frame around its content;
// answers the content rectangle.
QRect drawPushButtonPart(QPainter& painter, const QPushButton& button, int stateId, bool focused);

}  // namespace talvrin::platform::qt
