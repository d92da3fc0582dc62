#include "platform/qt/focus_frame_style.h"

#include <QPainter>
#include <QPen>
#include <QStyleOptionButton>

namespace talvrin::platform::qt {

void FocusFrameStyle::drawControl(ControlElement element, const QStyleOption* option,
                                  QPainter* painter, const QWidget* widget) const {
    const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
    if (element != CE_PushButton || !button || !(button->state & State_HasFocus)) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    QStyleOptionButton focused = *button;
    focused.state |= State_KeyboardFocusChange;
    QProxyStyle::drawControl(element, &focused, painter, widget);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(focused.palette.color(QPalette::ButtonText), 1, Qt::DotLine));
    const QRect frame =
        focused.rect.adjusted(kFrameInset, kFrameInset, -kFrameInset - 1, -kFrameInset - 1);
    painter->drawRect(frame);
    painter->restore();
}

}  // namespace talvrin::platform::qt
