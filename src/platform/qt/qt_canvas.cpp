#include "platform/qt/qt_canvas.h"

#include <QPainter>
#include <QRegion>
#include <cstdint>
#include <cstring>

#include "platform/gdi/bitmap.h"

namespace talvrin::platform::qt {

QImage backgroundUnder(const QWidget& widget, const QRect& area, const QColor& fill) {
    QImage canvas(area.size(), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(fill);
    if (QWidget* parent = widget.parentWidget()) {
        QPainter background(&canvas);
        parent->render(&background, QPoint(), QRegion(area.translated(widget.geometry().topLeft())),
                       QWidget::DrawWindowBackground);
    }
    return canvas;
}

std::optional<QImage> drawThroughSoftware(const QImage& canvas, QSize size, QPoint at,
                                          const std::function<void(DeviceContext&)>& draw,
                                          bool markOpaque) {
    // Outside the canvas's place the bitmap's pixels are never read (it starts zeroed, its pages
    // untouched).
    auto bitmap = Bitmap::create(size.width(), size.height(), 32);
    auto dc = DeviceContext::createCompatible();
    if (!bitmap || !dc) return std::nullopt;
    const int w = canvas.width(), h = canvas.height();
    const auto rowBytes = static_cast<std::size_t>(w) * 4;
    const auto left = static_cast<std::size_t>(at.x()) * 4;
    for (int y = 0; y < h; ++y)
        std::memcpy(bitmap->rowFromTop(at.y() + y) + left, canvas.constScanLine(y), rowBytes);
    dc->select(bitmap.get());
    draw(*dc);
    dc.reset();
    QImage result(canvas.size(), QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* out = reinterpret_cast<std::uint32_t*>(result.scanLine(y));
        std::memcpy(out, bitmap->rowFromTop(at.y() + y) + left, rowBytes);
        if (markOpaque)
            for (int x = 0; x < w; ++x)
                out[x] |= 0xFF000000u;
    }
    return result;
}

}  // namespace talvrin::platform::qt
