// The window's controls as the theme fix sees them: frames (group boxes), command buttons,
// option buttons and check boxes with their Style (graphical for GraphicalButton), everything
// else left alone. Qt widgets have no window procedure to subclass; a control the fix
// subclasses records the procedure's name in its "subclassProcedure" property.
#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "ui/theme/md_xp_theme_support.h"

namespace talvrin::app::qt {

inline constexpr const char* kSubclassProperty = "subclassProcedure";

// The controls of a window: its child widgets, and those inside its frames.
[[nodiscard]] std::vector<std::unique_ptr<mdXpThemeSupport::ThemeControl>> themeControlsOf(
    QWidget& form);

}  // namespace talvrin::app::qt
