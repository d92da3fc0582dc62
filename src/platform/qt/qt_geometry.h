// Rectangles and colours between Qt's terms and the drawing layer's.
#pragma once

#include <QColor>
#include <QRect>

#include "base/geometry.h"
#include "platform/gdi/screen.h"

namespace talvrin::platform::qt {

[[nodiscard]] inline QRect qrectOf(const Rect& r) {
    return QRect(r.left, r.top, static_cast<int>(r.width()), static_cast<int>(r.height()));
}
[[nodiscard]] inline Rect rectOf(const QRect& r) {
    return Rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}
// A colour value (0x00BBGGRR or a system colour) as Qt's colour.
[[nodiscard]] inline QColor qcolorOf(ColorRef value) {
    const ColorRef c = translateColor(value);
    return QColor(redOf(c), greenOf(c), blueOf(c));
}

}  // namespace talvrin::platform::qt
