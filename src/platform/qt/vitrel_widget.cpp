#include "platform/qt/vitrel_widget.h"

#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <cmath>
#include <cstring>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"
#include "platform/gdi/screen.h"

namespace talvrin::platform::qt {

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

}  // namespace

VitrelWidget::VitrelWidget(QWidget* parent) : QWidget(parent), control_(*this) {
    setAttribute(Qt::WA_OpaquePaintEvent);  // the canvas covers every pixel it repaints
}

VitrelWidget::~VitrelWidget() = default;

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
    const double dpi = horizontal ? logicalDpiX() : logicalDpiY();
    if (dpi <= 0) return std::nullopt;
    const double inches = pixels / dpi;
    switch (scaleMode) {
        case 1:  // twips
        case 9:  // the container's own position unit: twips here
            return static_cast<float>(pixels * (horizontal ? twipsPerPixelX() : twipsPerPixelY()));
        case 2:
            return static_cast<float>(inches * 72.0);  // points
        case 3:
            return pixels;
        case 5:
            return static_cast<float>(inches);
        case 6:
            return static_cast<float>(inches * 25.4);  // millimetres
        case 7:
            return static_cast<float>(inches * 2.54);  // centimetres
        default:
            return std::nullopt;
    }
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
    if (w < 1 || h < 1) return;
    // The canvas starts with what the window shows behind the control.
    QImage canvas(w, h, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(palette().color(QPalette::Window));
    if (QWidget* parent = parentWidget()) {
        QPainter background(&canvas);
        parent->render(&background, QPoint(), QRegion(geometry()), QWidget::DrawWindowBackground);
    }
    auto bitmap = Bitmap::create(w, h, 32);
    auto dc = DeviceContext::createCompatible();
    if (!bitmap || !dc) return;
    for (int y = 0; y < h; ++y)
        std::memcpy(bitmap->rowFromTop(y), canvas.constScanLine(y),
                    static_cast<std::size_t>(w) * 4);
    dc->select(bitmap.get());
    const QRect r = event->rect();
    dc->setClipRect(Rect{r.left(), r.top(), r.right() + 1, r.bottom() + 1});
    control_.Paint(*dc);
    dc.reset();
    // Drawing onto a context leaves its alpha bytes meaningless: the result is opaque colour.
    QImage result(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        std::memcpy(result.scanLine(y), bitmap->rowFromTop(y), static_cast<std::size_t>(w) * 4);
    QPainter painter(this);
    painter.drawImage(r, result, r);
}

void VitrelWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    control_.Resize();
}

void VitrelWidget::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    control_.Show();
}

void VitrelWidget::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    control_.Hide();
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

}  // namespace talvrin::platform::qt
