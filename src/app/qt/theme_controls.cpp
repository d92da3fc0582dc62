#include "app/qt/theme_controls.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include "app/qt/graphical_button.h"

namespace talvrin::app::qt {

namespace {

using mdXpThemeSupport::ControlKind;
using mdXpThemeSupport::SubclassProcedure;

class WidgetControl final : public mdXpThemeSupport::ThemeControl {
  public:
    explicit WidgetControl(QWidget* widget) : widget_(widget) {}

    ControlKind kind() const noexcept override {
        if (const auto* button = qobject_cast<const GraphicalButton*>(widget_)) {
            switch (button->kind()) {
                case GraphicalButton::Kind::CommandButton:
                    return ControlKind::CommandButton;
                case GraphicalButton::Kind::OptionButton:
                    return ControlKind::OptionButton;
                case GraphicalButton::Kind::CheckBox:
                    return ControlKind::CheckBox;
            }
        }
        if (qobject_cast<const QGroupBox*>(widget_)) return ControlKind::Frame;
        if (qobject_cast<const QPushButton*>(widget_)) return ControlKind::CommandButton;
        if (qobject_cast<const QRadioButton*>(widget_)) return ControlKind::OptionButton;
        if (qobject_cast<const QCheckBox*>(widget_)) return ControlKind::CheckBox;
        return ControlKind::Other;
    }

    std::int32_t Style() const noexcept override {
        return qobject_cast<const GraphicalButton*>(widget_) ? mdXpThemeSupport::kStyleGraphical
                                                             : mdXpThemeSupport::kStyleStandard;
    }

    bool setWindowSubclass(SubclassProcedure procedure) noexcept override {
        try {
            widget_->setProperty(kSubclassProperty, procedure == SubclassProcedure::pvRedirectFrame
                                                        ? "pvRedirectFrame"
                                                        : "pvRedirectButton");
            return true;
        } catch (...) {
            return false;
        }
    }

  private:
    QWidget* widget_;
};

void collect(QWidget& container,
             std::vector<std::unique_ptr<mdXpThemeSupport::ThemeControl>>& out) {
    for (QWidget* child : container.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        out.push_back(std::make_unique<WidgetControl>(child));
        if (qobject_cast<QGroupBox*>(child)) collect(*child, out);
    }
}

}  // namespace

std::vector<std::unique_ptr<mdXpThemeSupport::ThemeControl>> themeControlsOf(QWidget& form) {
    std::vector<std::unique_ptr<mdXpThemeSupport::ThemeControl>> controls;
    collect(form, controls);
    return controls;
}

}  // namespace talvrin::app::qt
