// GraphicalButton: a command button, option button or check box whose Style is graphical. It
// shows a picture and a caption over the themed push-button look, drawn through the widget
// style in the five states of the themed button (normal, hot, pressed, disabled, defaulted).
// Which state and picture, where the caption and the picture go, and how hovering, pressing
// and focus move the "Hot" property follow the theme module's rules (ui/theme/button_look.h);
// the widget style stands in for the desktop's visual styles, so they always apply.
#pragma once

#include <QPushButton>
#include <memory>

#include "base/geometry.h"
#include "platform/picture/picture.h"
#include "ui/theme/button_look.h"
#include "ui/theme/button_pictures.h"

namespace talvrin::app::qt {

class GraphicalButton final : public QPushButton {
    Q_OBJECT

  public:
    enum class Kind { CommandButton, OptionButton, CheckBox };

    explicit GraphicalButton(Kind kind = Kind::CommandButton, QWidget* parent = nullptr);
    ~GraphicalButton() override;

    [[nodiscard]] Kind kind() const noexcept { return kind_; }

    // The pictures for the normal, down and disabled looks; null for none.
    [[nodiscard]] const platform::Picture* Picture() const noexcept {
        return pictures_.Picture.get();
    }
    [[nodiscard]] const platform::Picture* DownPicture() const noexcept {
        return pictures_.DownPicture.get();
    }
    [[nodiscard]] const platform::Picture* DisabledPicture() const noexcept {
        return pictures_.DisabledPicture.get();
    }
    void setPicture(std::unique_ptr<platform::Picture> picture);
    void setDownPicture(std::unique_ptr<platform::Picture> picture);
    void setDisabledPicture(std::unique_ptr<platform::Picture> picture);

    // With UseMaskColor, pixels of MaskColor in a picture are left out. The mask colour also
    // marks the background of the embossed picture of a disabled button.
    [[nodiscard]] bool UseMaskColor() const noexcept { return useMaskColor_; }
    void setUseMaskColor(bool value);
    [[nodiscard]] ColorRef MaskColor() const noexcept { return maskColor_; }
    void setMaskColor(ColorRef value);
    // What shows around the button's shape where there is no parent to show through.
    [[nodiscard]] ColorRef BackColor() const noexcept { return backColor_; }
    void setBackColor(ColorRef value);

    [[nodiscard]] QString Caption() const { return text(); }
    void setCaption(const QString& caption) { setText(caption); }

    // An option button or check box: whether it is chosen (a chosen one looks pressed). A
    // command button's Value reads false; setting it true clicks the button.
    [[nodiscard]] bool Value() const noexcept;
    void setValue(bool value);

    [[nodiscard]] bool Default() const noexcept { return isDefault(); }
    void setDefault(bool value) { QPushButton::setDefault(value); }

    // The theme state and picture the button is drawn with now.
    [[nodiscard]] mdXpThemeSupport::ButtonLook look() const;
    [[nodiscard]] bool isHot() const noexcept { return properties_.Hot; }

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void dispatch(mdXpThemeSupport::ButtonMessage message);

    Kind kind_;
    mdXpThemeSupport::ButtonPictureSet pictures_;
    bool useMaskColor_ = false;
    ColorRef maskColor_ = 0xC0C0C0;    // light grey
    ColorRef backColor_ = 0x8000000F;  // the button face's system colour
    mdXpThemeSupport::ButtonProperties properties_;
};

}  // namespace talvrin::app::qt
