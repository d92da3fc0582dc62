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
#include <cmath>
#include <cstring>

#include "app/qt/qt_timers.h"
#include "image/control/scale_units.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"
#include "platform/gdi/screen.h"
#include "platform/qt/qt_clipboard.h"

namespace talvrin::app::qt {

using namespace platform;
using platform::qt::fileDropOf;

namespace {

// Twips per pixel at a logical resolution: 1440 twips an inch.
std::int32_t twipsAt(int dpi) {
    if (dpi < 1) return kDefaultTwipsPerPixel;
    return std::max(1, static_cast<int>(std::lround(1440.0 / dpi)));
}

// The cursor shapes of the mouse-pointer values Qt has a counterpart for.
Qt::CursorShape cursorShapeOf(std::int16_t pointer) {
    switch (pointer) {
        case 1:
            return Qt::ArrowCursor;
        case 2:
            return Qt::CrossCursor;
        case 3:
            return Qt::IBeamCursor;
        case 5:
            return Qt::SizeAllCursor;
        case 6:
            return Qt::SizeBDiagCursor;
        case 7:
            return Qt::SizeVerCursor;
        case 8:
            return Qt::SizeFDiagCursor;
        case 9:
            return Qt::SizeHorCursor;
        case 10:
            return Qt::UpArrowCursor;
        case 11:
            return Qt::WaitCursor;
        case 12:
            return Qt::ForbiddenCursor;
        case 13:
            return Qt::BusyCursor;
        case 14:
            return Qt::WhatsThisCursor;
        case 15:
            return Qt::SizeAllCursor;
        default:
            return Qt::ArrowCursor;
    }
}

// Buttons and shift keys as the control's events count them: 1 left, 2 right, 4 middle; 1 shift,
// 2 control, 4 alt.
std::int16_t buttonsOf(Qt::MouseButtons buttons) {
    return static_cast<std::int16_t>(buttons.toInt() & 0x7);
}

std::int16_t shiftOf(Qt::KeyboardModifiers modifiers) {
    std::int16_t shift = 0;
    if (modifiers & Qt::ShiftModifier) shift |= 1;
    if (modifiers & Qt::ControlModifier) shift |= 2;
    if (modifiers & Qt::AltModifier) shift |= 4;
    return shift;
}

// The desktop's virtual-key code of a Qt key (0 for a key without one).
std::int16_t keyCodeOf(int key) {
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return static_cast<std::int16_t>(key);  // the same codes
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return static_cast<std::int16_t>(0x70 + (key - Qt::Key_F1));
    switch (key) {
        case Qt::Key_Backspace:
            return 8;
        case Qt::Key_Tab:
            return 9;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Shift:
            return 16;
        case Qt::Key_Control:
            return 17;
        case Qt::Key_Alt:
            return 18;
        case Qt::Key_Pause:
            return 19;
        case Qt::Key_Escape:
            return 27;
        case Qt::Key_Space:
            return 32;
        case Qt::Key_PageUp:
            return 33;
        case Qt::Key_PageDown:
            return 34;
        case Qt::Key_End:
            return 35;
        case Qt::Key_Home:
            return 36;
        case Qt::Key_Left:
            return 37;
        case Qt::Key_Up:
            return 38;
        case Qt::Key_Right:
            return 39;
        case Qt::Key_Down:
            return 40;
        case Qt::Key_Insert:
            return 45;
        case Qt::Key_Delete:
            return 46;
        default:
            return 0;
    }
}

bool isImageControl(const QWidget* widget) {
    return dynamic_cast<const VitrelWidget*>(widget) != nullptr;
}

// A drop's data as the image code reads it.
class QtDropData final : public DropDataObject {
  public:
    explicit QtDropData(const QMimeData* data) : data_(data) {
        if (const auto drop = fileDropOf(data)) files_ = drop->names;
    }
    bool hasFormat(ClipboardFormat format) const override {
        if (!data_) return false;
        if (format == ClipboardFormat::FileDrop) return fileDropOf(data_).has_value();
        return (format == ClipboardFormat::Bitmap || format == ClipboardFormat::Dib) &&
               data_->hasImage();
    }
    std::optional<FileDrop> fileDrop() const override { return fileDropOf(data_); }
    std::vector<std::string> files() const override { return files_; }
    void clearFiles() override { files_.clear(); }
    void addFile(std::string name) override { files_.push_back(std::move(name)); }

  private:
    const QMimeData* data_;
    std::vector<std::string> files_;
};

// The drop effects as the control's events count them (1 copy, 2 move).
std::int32_t effectsOf(Qt::DropActions actions) {
    std::int32_t effect = 0;
    if (actions & Qt::CopyAction) effect |= 1;
    if (actions & Qt::MoveAction) effect |= 2;
    return effect;
}

// A copy of a mouse event delivered to another widget, at the same screen position.
void sendOn(QMouseEvent* event, QWidget* target) {
    const QPointF global = event->globalPosition();
    QMouseEvent copy(event->type(), target->mapFromGlobal(global),
                     target->window()->mapFromGlobal(global), global, event->button(),
                     event->buttons(), event->modifiers(), event->pointingDevice());
    QCoreApplication::sendEvent(target, &copy);
}

// The handler's effect as the drag's answer.
void answer(QDropEvent* event, std::int32_t effect) {
    if ((effect & 2) != 0 && (event->possibleActions() & Qt::MoveAction)) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else if ((effect & 1) != 0 && (event->possibleActions() & Qt::CopyAction)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
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

std::int32_t VitrelWidget::twipsPerPixelX() const {
    return twipsAt(logicalDpiX());
}
std::int32_t VitrelWidget::twipsPerPixelY() const {
    return twipsAt(logicalDpiY());
}

void VitrelWidget::requestResize(std::int32_t widthTwips, std::int32_t heightTwips) {
    resize(std::max(0, widthTwips / twipsPerPixelX()), std::max(0, heightTwips / twipsPerPixelY()));
}

void VitrelWidget::propertyChanged(std::string_view name) {
    if (onPropertyChanged_) onPropertyChanged_(name);
}

std::optional<std::int32_t> VitrelWidget::containerScaleMode() const {
    // The window shell lays its controls out in twips, as a form does.
    return 1;
}

std::optional<float> VitrelWidget::pixelsToContainer(float pixels, bool horizontal,
                                                     std::int32_t scaleMode) const {
    return pixelsToScaleMode(pixels, horizontal ? logicalDpiX() : logicalDpiY(),
                             horizontal ? twipsPerPixelX() : twipsPerPixelY(), scaleMode);
}

bool VitrelWidget::setMousePointer(std::int16_t value) {
    if (value < 0 || (value > 15 && value != 99)) return false;
    pointer_ = value;
    applyCursor();
    return true;
}

bool VitrelWidget::setMouseIcon(std::optional<StoredPicture> icon) {
    icon_ = std::move(icon);
    applyCursor();
    return true;
}

bool VitrelWidget::setOleDropMode(std::int16_t value) {
    if (value < 0 || value > 2) return false;
    dropMode_ = value;
    setAcceptDrops(value != 0);
    return true;
}

void VitrelWidget::applyCursor() {
    if (pointer_ == 99 && icon_) {
        QPixmap pixmap;
        if (pixmap.loadFromData(icon_->bytes.data(), static_cast<uint>(icon_->bytes.size()))) {
            setCursor(QCursor(pixmap));
            return;
        }
    }
    if (pointer_ == 0) {
        unsetCursor();
    } else {
        setCursor(cursorShapeOf(pointer_));
    }
}

void VitrelWidget::paintEvent(QPaintEvent* event) {
    const int w = QWidget::width(), h = QWidget::height();
    const QRect damaged = event->rect().intersected(rect());
    if (damaged.isEmpty() || !control_) return;
    // Only the damaged rectangle is drawn and converted: the canvas starts with what the window
    // shows behind the control there, is copied into the context's pixels at the same place,
    // painted with the rectangle as the clip box, and copied back.
    QImage canvas(damaged.size(), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(palette().color(QPalette::Window));
    if (QWidget* parent = parentWidget()) {
        QPainter background(&canvas);
        parent->render(&background, QPoint(), QRegion(damaged.translated(geometry().topLeft())),
                       QWidget::DrawWindowBackground);
    }
    // The context covers the whole control, as its paint addresses it; outside the rectangle its
    // pixels are never read (the bitmap starts zeroed, its pages untouched).
    auto bitmap = Bitmap::create(w, h, 32);
    auto dc = DeviceContext::createCompatible();
    if (!bitmap || !dc) return;
    const auto rowBytes = static_cast<std::size_t>(damaged.width()) * 4;
    const auto left = static_cast<std::size_t>(damaged.left()) * 4;
    for (int y = 0; y < damaged.height(); ++y)
        std::memcpy(bitmap->rowFromTop(damaged.top() + y) + left, canvas.constScanLine(y),
                    rowBytes);
    dc->select(bitmap.get());
    dc->setClipRect(Rect{damaged.left(), damaged.top(), damaged.right() + 1, damaged.bottom() + 1});
    control_->Paint(*dc);
    dc.reset();
    // Drawing onto a context leaves its alpha bytes meaningless: the result is opaque colour.
    QImage result(damaged.size(), QImage::Format_RGB32);
    for (int y = 0; y < damaged.height(); ++y)
        std::memcpy(result.scanLine(y), bitmap->rowFromTop(damaged.top() + y) + left, rowBytes);
    QPainter painter(this);
    painter.drawImage(damaged.topLeft(), result);
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

QWidget* VitrelWidget::widgetBeneath(QPoint global) const {
    QWidget* box = parentWidget();
    if (!box) return nullptr;
    const QPoint p = box->mapFromGlobal(global);
    // The children list is the stacking order, the last on top.
    const QObjectList& kids = box->children();
    for (qsizetype i = kids.indexOf(const_cast<VitrelWidget*>(this)) - 1; i >= 0; --i) {
        auto* widget = qobject_cast<QWidget*>(kids.at(i));
        if (!widget || widget->isWindow() || !widget->isVisibleTo(box) ||
            widget->testAttribute(Qt::WA_TransparentForMouseEvents) ||
            !widget->geometry().contains(p))
            continue;
        if (isImageControl(widget)) return widget;  // it asks its own control
        QWidget* deepest = widget->childAt(widget->mapFrom(box, p));
        return deepest ? deepest : widget;
    }
    return box;
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
        if (forwardTarget_) sendOn(event, forwardTarget_);
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
        QWidget* beneath = widgetBeneath(event->globalPosition().toPoint());
        borrowCursor(beneath);
        if (press) {
            forwarding_ = true;
            forwardTarget_ = beneath;
        }
        if (beneath) sendOn(event, beneath);
        return;
    }
    borrowCursor(nullptr);
    // A disabled control takes its rectangle but raises nothing.
    if (!isEnabled()) return;
    const std::int16_t button = buttonsOf(event->button());
    const std::int16_t shift = shiftOf(event->modifiers());
    switch (type) {
        case QEvent::MouseButtonPress:
            controlGrab_ = true;
            pressedButtons_ = static_cast<std::int16_t>(pressedButtons_ | button);
            control_->onMouseDown(button, shift, x, y);
            break;
        case QEvent::MouseButtonDblClick:
            // The second press of a double click is the DblClick; its release raises no Click.
            controlGrab_ = true;
            pressedButtons_ = static_cast<std::int16_t>(pressedButtons_ | button);
            afterDblClick_ = true;
            control_->onDblClick();
            break;
        case QEvent::MouseMove:
            control_->onMouseMove(buttonsOf(event->buttons()), shift, x, y);
            break;
        case QEvent::MouseButtonRelease: {
            const bool clicked = hit && !afterDblClick_ && (pressedButtons_ & button) != 0;
            pressedButtons_ = static_cast<std::int16_t>(pressedButtons_ & ~button);
            if (lastUp) {
                controlGrab_ = false;
                afterDblClick_ = false;
                pressedButtons_ = 0;
            }
            control_->onMouseUp(button, shift, x, y);
            if (clicked) control_->onClick();
            break;
        }
        default:
            break;
    }
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
    if (dropMode_ != 1) return QWidget::dragEnterEvent(event);
    answer(event, dragOver(event, 0));
    // The drag stays ours, so that the control hears of every move and of the leave.
    event->accept();
}

void VitrelWidget::dragMoveEvent(QDragMoveEvent* event) {
    if (dropMode_ != 1) return QWidget::dragMoveEvent(event);
    answer(event, dragOver(event, 2));
}

void VitrelWidget::dragLeaveEvent(QDragLeaveEvent* event) {
    if (dropMode_ != 1) return QWidget::dragLeaveEvent(event);
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
    if (dropMode_ != 1) return QWidget::dropEvent(event);
    QtDropData data(event->mimeData());
    std::int32_t effect = effectsOf(event->possibleActions());
    const QPointF pos = event->position();
    control_->onOLEDragDrop(data, effect, buttonsOf(event->buttons()), shiftOf(event->modifiers()),
                            static_cast<float>(pos.x()), static_cast<float>(pos.y()));
    answer(event, effect);
}

void VitrelWidget::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (control_) control_->Show();
}

void VitrelWidget::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (control_) control_->Hide();
}

void installQtSystemColors() {
    const QPalette p = QApplication::palette();
    const auto colorOf = [](const QColor& c) {
        return talvrin::rgb(static_cast<std::uint8_t>(c.red()),
                            static_cast<std::uint8_t>(c.green()),
                            static_cast<std::uint8_t>(c.blue()));
    };
    setSystemColor(kColorWindow, colorOf(p.color(QPalette::Base)));
    setSystemColor(kColorWindowText, colorOf(p.color(QPalette::Text)));
    setSystemColor(kColorHighlight, colorOf(p.color(QPalette::Highlight)));
    setSystemColor(kColorBtnFace, colorOf(p.color(QPalette::Button)));
    setSystemColor(kColorBtnShadow, colorOf(p.color(QPalette::Dark)));
    setSystemColor(kColorBtnText, colorOf(p.color(QPalette::ButtonText)));
    setSystemColor(kColorBtnHighlight, colorOf(p.color(QPalette::Light)));
}

}  // namespace talvrin::app::qt
