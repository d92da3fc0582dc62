#include "platform/qt/qt_system_colors.h"

#include <QApplication>
#include <QPalette>

#include "platform/gdi/screen.h"

namespace talvrin::platform::qt {

void installQtSystemColors() {
    const QPalette p = QApplication::palette();
    const auto colorOf = [](const QColor& c) {
        return rgb(static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
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
