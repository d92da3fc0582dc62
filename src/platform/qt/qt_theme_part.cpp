#include "platform/qt/qt_theme_part.h"

#include <QStyle>
#include <QStyleOptionFocusRect>

namespace talvrin::platform::qt {

QStyleOptionButton pushButtonOption(const QPushButton& button, int stateId, bool focused) {
    QStyleOptionButton option;
    option.initFrom(&button);
    option.state &= ~(QStyle::State_Enabled | QStyle::State_MouseOver | QStyle::State_Sunken |
                      QStyle::State_On | QStyle::State_Raised | QStyle::State_HasFocus);
    option.features = QStyleOptionButton::None;
    switch (stateId) {
        case 1:  // normal
            option.state |= QStyle::State_Enabled | QStyle::State_Raised;
            break;
        case 2:  // hot
            option.state |= QStyle::State_Enabled | QStyle::State_Raised | QStyle::State_MouseOver;
            break;
        case 3:  // pressed
            option.state |= QStyle::State_Enabled | QStyle::State_Sunken;
            break;
        case 4:  // disabled
            option.state |= QStyle::State_Raised;
            break;
        case 5:  // defaulted
            option.state |= QStyle::State_Enabled | QStyle::State_Raised;
            option.features |= QStyleOptionButton::DefaultButton;
            break;
    }
    if (focused) option.state |= QStyle::State_HasFocus;
    return option;
}

QRect drawPushButtonPart(QPainter& painter, const QPushButton& button, int stateId, bool focused) {
    const QStyleOptionButton option = pushButtonOption(button, stateId, focused);
    QStyle* style = button.style();
    style->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, &button);
    const QRect content = style->subElementRect(QStyle::SE_PushButtonContents, &option, &button);
    if (focused) {
        QStyleOptionFocusRect focusRect;
        focusRect.initFrom(&button);
        focusRect.rect = content;
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focusRect, &painter, &button);
    }
    return content;
}

}  // namespace talvrin::platform::qt
