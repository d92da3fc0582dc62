#include "app/qt/vitrel_widget.h"

#include <QApplication>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

#include "platform/gdi/screen.h"
#include "platform/qt/qt_canvas.h"
#include "platform/qt/qt_geometry.h"
#include "platform/qt/qt_input.h"
#include "platform/qt/qt_timers.h"
#include "platform/qt/qt_windows.h"

namespace talvrin::app::qt {

using namespace platform;
using namespace platform::qt;

namespace {

bool isImageControl(const QWidget* widget) {
    return dynamic_cast<const VitrelWidget*>(widget) != nullptr;
}

}  // namespace

VitrelWidget::VitrelWidget(QWidget* parent)
    : QWidget(parent), control_(std::make_unique<Vitrel>(*this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);  // the canvas covers every pixel it repaints
    setMouseTracking(true);                 // every move is asked about, buttons or not
}

VitrelWidget::~VitrelWidget() {
    control_.reset();
}

// ---- The container and the window services ------------------------------------------------------

QWidget* VitrelWidget::container() const {
    QWidget* parent = parentWidget();
    return parent ? parent : const_cast<VitrelWidget*>(this);
}

WindowHandle VitrelWidget::containerWindow() const {
    return handleOf(container());
}

WindowHandle VitrelWidget::topLevelWindow(WindowHandle window) const {
    // Only windows this host knows are followed; Qt's window() goes up the parents, and widgets
    // have no owners apart from them.
    if (window == containerWindow()) return handleOf(container()->window());
    if (window == handleOf(this)) return handleOf(QWidget::window());
    return window;
}

std::vector<ContainerControl> VitrelWidget::containerControls() const {
    std::vector<ContainerControl> members;
    const QWidget* box = parentWidget();
    if (!box) return {{Vitrel::kTypeName, control_.get()}};
    for (QObject* child : box->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (!widget || widget->isWindow()) continue;
        if (auto* image = dynamic_cast<VitrelWidget*>(widget)) {
            members.push_back({Vitrel::kTypeName, image->control_.get()});
        } else {
            members.push_back({widget->metaObject()->className(), nullptr});
        }
    }
    return members;
}

bool VitrelWidget::setTimer(WindowHandle window, std::intptr_t id, std::uint32_t ms,
                            std::function<void()> onTick) {
    setWindowTimer(window, id, ms, std::move(onTick));
    return true;
}

void VitrelWidget::killTimer(WindowHandle window, std::intptr_t id) {
    killWindowTimer(window, id);
}

Point VitrelWidget::cursorPos() const {
    const QPoint p = QCursor::pos();
    return {p.x(), p.y()};
}

WindowHandle VitrelWidget::windowFromPoint(Point screen) const {
    QWidget* widget = QApplication::widgetAt(QPoint(screen.x, screen.y));
    // An image control stands for a windowless one: the window there is its container's.
    while (widget && isImageControl(widget) && widget->parentWidget())
        widget = widget->parentWidget();
    return handleOf(widget);
}

std::optional<Point> VitrelWidget::clientToScreen(WindowHandle window, Point client) const {
    const QWidget* widget = window == containerWindow() ? container()
                            : window == handleOf(this)  ? this
                                                        : nullptr;
    if (!widget) return std::nullopt;
    const QPoint p = widget->mapToGlobal(QPoint(client.x, client.y));
    return Point{p.x(), p.y()};
}

void VitrelWidget::applyCursor() {
    const std::int16_t pointer = mousePointer();
    if (pointer == kCustomPointer) {
        if (const auto icon = mouseIcon()) {
            QPixmap pixmap;
            if (pixmap.loadFromData(icon->bytes.data(), static_cast<uint>(icon->bytes.size()))) {
                setCursor(QCursor(pixmap));
                return;
            }
        }
    }
    if (pointer == 0) {
        unsetCursor();
    } else {
        setCursor(cursorShapeOf(pointer));
    }
}

void VitrelWidget::paintEvent(QPaintEvent* event) {
    const QRect damaged = event->rect().intersected(rect());
    if (damaged.isEmpty() || !control_) return;
    // Only the damaged rectangle is drawn and converted: the canvas starts with what the window
    // shows behind the control there and is painted with the rectangle as the clip box, in the
    // coordinates of the whole control, as its paint addresses it.
    const QImage canvas = backgroundUnder(*this, damaged, palette().color(QPalette::Window));
    const auto result =
        drawThroughSoftware(canvas, size(), damaged.topLeft(), [&](DeviceContext& dc) {
            dc.setClipRect(rectOf(damaged));
            control_->Paint(dc);
        });
    if (result) QPainter(this).drawImage(damaged.topLeft(), *result);
}

void VitrelWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (control_) control_->Resize();
}

// ---- Input --------------------------------------------------------------------------------------

bool VitrelWidget::event(QEvent* event) {
    if (!control_) return QWidget::event(event);  // being destroyed
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
            routeMouse(static_cast<QMouseEvent*>(event));
            return true;
        default:
            return QWidget::event(event);
    }
}

void VitrelWidget::borrowCursor(QWidget* from) {
    if (borrowing_ == (from != nullptr) && cursorFrom_ == from) return;
    borrowing_ = from != nullptr;
    cursorFrom_ = from;
    if (from) {
        setCursor(from->cursor());
    } else {
        applyCursor();
    }
}

void VitrelWidget::routeMouse(QMouseEvent* event) {
    const QEvent::Type type = event->type();
    const bool lastUp = type == QEvent::MouseButtonRelease && event->buttons() == Qt::NoButton;
    event->accept();
    if (forwarding_) {
        // The widget beneath had the press: it has the events (and no hit test is asked).
        if (forwardTarget_) sendMouseOn(*event, *forwardTarget_);
        if (lastUp) {
            forwarding_ = false;
            forwardTarget_ = nullptr;
        }
        return;
    }
    const QPointF pos = event->position();
    const auto x = static_cast<float>(pos.x()), y = static_cast<float>(pos.y());
    HitResult result = HitResult::Outside;
    control_->HitTestQuery(x, y, result);
    const bool hit = result == HitResult::Hit;
    const bool press = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick;
    if (!hit && !controlGrab_) {
        // An image control beneath asks its own control.
        QWidget* beneath = widgetBeneath(*this, event->globalPosition().toPoint(), isImageControl);
        borrowCursor(beneath);
        if (press) {
            forwarding_ = true;
            forwardTarget_ = beneath;
        }
        if (beneath) sendMouseOn(*event, *beneath);
        return;
    }
    borrowCursor(nullptr);
    // A press on an enabled control keeps the events its own until the last button is up.
    if (!isEnabled()) return;
    if (press) controlGrab_ = true;
    if (lastUp) controlGrab_ = false;
    const MouseAction action = type == QEvent::MouseButtonPress      ? MouseAction::Down
                               : type == QEvent::MouseButtonDblClick ? MouseAction::DoubleClick
                               : type == QEvent::MouseMove           ? MouseAction::Move
                                                                     : MouseAction::Up;
    deliverMouse(*control_, action, buttonsOf(event->button()), buttonsOf(event->buttons()),
                 shiftOf(event->modifiers()), x, y, hit, lastUp);
}

void VitrelWidget::keyPressEvent(QKeyEvent* event) {
    const std::int16_t shift = shiftOf(event->modifiers());
    control_->onKeyDown(keyCodeOf(event->key()), shift);
    const QString text = event->text();
    if (!text.isEmpty()) control_->onKeyPress(static_cast<std::int16_t>(text.at(0).unicode()));
}

void VitrelWidget::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat()) return;  // a held key repeats KeyDown only
    control_->onKeyUp(keyCodeOf(event->key()), shiftOf(event->modifiers()));
}

std::int32_t VitrelWidget::dragOver(QDropEvent* event, std::int16_t state) {
    QtDropData data(event->mimeData());
    std::int32_t effect = effectsOf(event->possibleActions());
    const QPointF pos = event->position();
    control_->onOLEDragOver(data, effect, buttonsOf(event->buttons()), shiftOf(event->modifiers()),
                            static_cast<float>(pos.x()), static_cast<float>(pos.y()), state);
    return effect;
}

void VitrelWidget::dragEnterEvent(QDragEnterEvent* event) {
    if (oleDropMode() != 1) return QWidget::dragEnterEvent(event);
    answerDrop(event, dragOver(event, 0));
    // The drag stays ours, so that the control hears of every move and of the leave.
    event->accept();
}

void VitrelWidget::dragMoveEvent(QDragMoveEvent* event) {
    if (oleDropMode() != 1) return QWidget::dragMoveEvent(event);
    answerDrop(event, dragOver(event, 2));
}

void VitrelWidget::dragLeaveEvent(QDragLeaveEvent* event) {
    if (oleDropMode() != 1) return QWidget::dragLeaveEvent(event);
    // A leave carries neither data nor position: the control hears of it with no data at the
    // last position the cursor had over it.
    QtDropData none(nullptr);
    std::int32_t effect = 0;
    const QPoint pos = mapFromGlobal(QCursor::pos());
    control_->onOLEDragOver(none, effect, buttonsOf(QApplication::mouseButtons()),
                            shiftOf(QApplication::keyboardModifiers()), static_cast<float>(pos.x()),
                            static_cast<float>(pos.y()), 1);
}

void VitrelWidget::dropEvent(QDropEvent* event) {
    if (oleDropMode() != 1) return QWidget::dropEvent(event);
    QtDropData data(event->mimeData());
    std::int32_t effect = effectsOf(event->possibleActions());
    const QPointF pos = event->position();
    control_->onOLEDragDrop(data, effect, buttonsOf(event->buttons()), shiftOf(event->modifiers()),
                            static_cast<float>(pos.x()), static_cast<float>(pos.y()));
    answerDrop(event, effect);
}

void VitrelWidget::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (control_) control_->Show();
}

void VitrelWidget::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (control_) control_->Hide();
}

}  // namespace talvrin::app::qt
