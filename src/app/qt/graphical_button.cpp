#include "app/qt/graphical_button.h"

#include <QApplication>
#include <QEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <optional>

#include "platform/qt/qt_canvas.h"
#include "platform/qt/qt_geometry.h"
#include "platform/qt/qt_theme_part.h"
#include "ui/theme/button_pictures.h"

namespace talvrin::app::qt {

namespace {

using mdXpThemeSupport::ButtonMessage;
using mdXpThemeSupport::ButtonState;
using platform::qt::qcolorOf;
using platform::qt::qrectOf;
using platform::qt::rectOf;

constexpr int kCaptionFlags = Qt::AlignHCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;

}  // namespace

GraphicalButton::GraphicalButton(Kind kind, QWidget* parent) : QPushButton(parent), kind_(kind) {
    setCheckable(kind != Kind::CommandButton);
    setAutoExclusive(kind == Kind::OptionButton);
    // Moves over the button arrive without a pressed button too, so a button that lost "Hot"
    // to a focus change while the mouse stays over it becomes hot again at the next move.
    setMouseTracking(true);
}

GraphicalButton::~GraphicalButton() = default;

void GraphicalButton::setPicture(std::unique_ptr<platform::Picture> picture) {
    pictures_.Picture = std::move(picture);
    update();
}
void GraphicalButton::setDownPicture(std::unique_ptr<platform::Picture> picture) {
    pictures_.DownPicture = std::move(picture);
    update();
}
void GraphicalButton::setDisabledPicture(std::unique_ptr<platform::Picture> picture) {
    pictures_.DisabledPicture = std::move(picture);
    update();
}
void GraphicalButton::setUseMaskColor(bool value) {
    useMaskColor_ = value;
    update();
}
void GraphicalButton::setMaskColor(ColorRef value) {
    maskColor_ = value;
    update();
}
void GraphicalButton::setBackColor(ColorRef value) {
    backColor_ = value;
    update();
}

bool GraphicalButton::Value() const noexcept {
    return kind_ != Kind::CommandButton && isChecked();
}

void GraphicalButton::setValue(bool value) {
    if (kind_ == Kind::CommandButton) {
        if (value) click();
        return;
    }
    setChecked(value);
}

mdXpThemeSupport::ButtonLook GraphicalButton::look() const {
    // The window's active control is the one with the focus; a push button's Default reads as
    // -1 or 0, any other control has none.
    const QWidget* focus = QApplication::focusWidget();
    std::optional<std::int32_t> activeDefault;
    if (const auto* button = qobject_cast<const QPushButton*>(focus))
        activeDefault = button->isDefault() ? -1 : 0;
    mdXpThemeSupport::ButtonLookInputs in;
    in.Enabled = isEnabled();
    in.pushed = isDown();
    in.focused = hasFocus();
    in.Value = Value();
    in.hot = properties_.Hot;
    in.defaultLook = mdXpThemeSupport::showsDefault(isDefault(), focus == this, activeDefault);
    in.pictures = pictures_.handles();
    return mdXpThemeSupport::chooseButtonLook(in);
}

void GraphicalButton::dispatch(ButtonMessage message) {
    // The widget style is always in force: the themed rules always apply.
    const auto reaction =
        mdXpThemeSupport::pvRedirectButton(properties_, message, true, isVisible());
    if (reaction.repaint != mdXpThemeSupport::Repaint::None) update();
    // The hover notice asked for comes after 1 ms over the button: at once, here.
    if (reaction.trackMouse) dispatch(ButtonMessage::MouseHover);
}

bool GraphicalButton::event(QEvent* event) {
    // The default processing first; the themed rules react to what it did.
    const bool handled = QPushButton::event(event);
    switch (event->type()) {
        case QEvent::Enter:
        case QEvent::MouseMove:
            dispatch(ButtonMessage::MouseMove);
            break;
        case QEvent::Leave:
            dispatch(ButtonMessage::MouseLeave);
            break;
        case QEvent::MouseButtonPress:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
                dispatch(ButtonMessage::LButtonDown);
            break;
        case QEvent::MouseButtonRelease: {
            const auto button = static_cast<QMouseEvent*>(event)->button();
            if (button == Qt::LeftButton) dispatch(ButtonMessage::LButtonUp);
            if (button == Qt::RightButton) dispatch(ButtonMessage::RButtonUp);
            break;
        }
        case QEvent::FocusIn:
            dispatch(ButtonMessage::SetFocus);
            break;
        case QEvent::FocusOut:
            dispatch(ButtonMessage::KillFocus);
            break;
        case QEvent::EnabledChange:
            dispatch(ButtonMessage::Enable);
            break;
        default:
            break;
    }
    return handled;
}

void GraphicalButton::paintEvent(QPaintEvent*) {
    dispatch(ButtonMessage::Paint);
    const int w = width(), h = height();
    if (w < 1 || h < 1) return;
    const mdXpThemeSupport::ButtonLook current = look();
    const platform::Picture* picture = pictures_.in(current.picture);

    // Around the button's shape the parent shows through; without a parent, BackColor.
    const QWidget* parent = parentWidget();
    QImage canvas = platform::qt::backgroundUnder(
        *this, rect(), parent ? parent->palette().color(QPalette::Window) : qcolorOf(backColor_));

    QPainter painter(&canvas);
    const bool focused = hasFocus();
    const QRect content =
        platform::qt::drawPushButtonPart(painter, *this, static_cast<int>(current.state), focused);
    mdXpThemeSupport::CaptionLayout layout{rectOf(content), rectOf(content)};
    if (!text().isEmpty()) {
        painter.setFont(font());
        const QRect measured = painter.fontMetrics().boundingRect(
            QRect(content.left(), content.top(), content.width(), 1 << 16), kCaptionFlags, text());
        layout = mdXpThemeSupport::layoutCaption(rectOf(content), content.top() + measured.height(),
                                                 picture != nullptr);
        style()->drawItemText(&painter, qrectOf(layout.text), kCaptionFlags | Qt::AlignTop,
                              palette(), current.state != ButtonState::Disabled, text(),
                              QPalette::ButtonText);
    }
    painter.end();

    if (picture) {
        // The picture goes through the software device context, over the drawn button.
        // Drawing onto a context leaves its alpha bytes meaningless: the result is opaque, and
        // says so in every pixel (0xFFRRGGBB), whatever surface it is drawn on.
        auto result = platform::qt::drawThroughSoftware(
            canvas, size(), QPoint(),
            [&](platform::DeviceContext& dc) {
                mdXpThemeSupport::drawButtonPicture(*picture, dc, layout.pictureArea, isEnabled(),
                                                    useMaskColor_, maskColor_);
            },
            true);
        if (result) canvas = std::move(*result);
    }
    QPainter(this).drawImage(0, 0, canvas);
}

}  // namespace talvrin::app::qt
