// The round trip between a Qt widget's drawing and the software device context: the canvas a
// widget paints on starts with what its parent shows behind it, goes into a software bitmap,
// is drawn on through a device context and comes back as an image Qt can paint.
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <functional>
#include <optional>

#include "platform/gdi/device_context.h"

namespace talvrin::platform::qt {

// An image of the area's size (premultiplied ARGB) with what the widget's parent shows under
// that area of the widget: filled with fill, and the parent's background drawn over it. Just
// fill for a widget without a parent.
[[nodiscard]] QImage backgroundUnder(const QWidget& widget, const QRect& area, const QColor& fill);

// Draws on a software device context over a canvas: the context holds a bitmap of size, with
// the canvas's pixels at the canvas's place (at) and zeroes around them; draw paints through it;
// the pixels of the canvas's place come back as an image of its size (Format_RGB32). Drawing
// leaves the alpha bytes meaningless: markOpaque sets them to 0xFF in every pixel. Nothing when
// the bitmap or the context cannot be made.
[[nodiscard]] std::optional<QImage> drawThroughSoftware(
    const QImage& canvas, QSize size, QPoint at, const std::function<void(DeviceContext&)>& draw,
    bool markOpaque = false);

}  // namespace talvrin::platform::qt
