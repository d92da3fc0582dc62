// The Qt host of the image control: a widget that holds a Vitrel and is its VitrelHost. It
// paints through the software device context onto an offscreen canvas that starts with the
// parent's background, so the control's translucent pixels blend over whatever the window shows
// behind it, and then draws the canvas.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "image/control/vitrel.h"

namespace talvrin::platform::qt {

class VitrelWidget final : public QWidget, public VitrelHost {
  public:
    explicit VitrelWidget(QWidget* parent = nullptr);
    ~VitrelWidget() override;

    [[nodiscard]] Vitrel& control() noexcept { return control_; }
    // Called with the stored name of every setting that changes.
    void setPropertyChangedHandler(std::function<void(std::string_view)> handler) {
        onPropertyChanged_ = std::move(handler);
    }

    // ---- VitrelHost ----
    [[nodiscard]] bool userMode() const override { return true; }
    [[nodiscard]] std::int32_t width() const override { return QWidget::width(); }
    [[nodiscard]] std::int32_t height() const override { return QWidget::height(); }
    [[nodiscard]] std::int32_t twipsPerPixelX() const override;
    [[nodiscard]] std::int32_t twipsPerPixelY() const override;
    void requestRepaint() override { update(); }
    void requestResize(std::int32_t widthTwips, std::int32_t heightTwips) override;
    void propertyChanged(std::string_view name) override;
    [[nodiscard]] std::optional<std::int32_t> containerScaleMode() const override;
    [[nodiscard]] std::optional<float> pixelsToContainer(float pixels, bool horizontal,
                                                         std::int32_t scaleMode) const override;
    [[nodiscard]] bool enabled() const override { return isEnabled(); }
    void setEnabled(bool value) override { QWidget::setEnabled(value); }
    [[nodiscard]] std::int16_t mousePointer() const override { return pointer_; }
    bool setMousePointer(std::int16_t value) override;
    [[nodiscard]] std::optional<StoredPicture> mouseIcon() const override { return icon_; }
    bool setMouseIcon(std::optional<StoredPicture> icon) override;
    [[nodiscard]] std::int16_t oleDropMode() const override { return dropMode_; }
    bool setOleDropMode(std::int16_t value) override;
    [[nodiscard]] std::string tag() const override { return tag_; }
    void setTag(std::string value) override { tag_ = std::move(value); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void applyCursor();

    Vitrel control_;
    std::function<void(std::string_view)> onPropertyChanged_;
    std::int16_t pointer_ = 0;
    std::optional<StoredPicture> icon_;
    std::int16_t dropMode_ = 0;
    std::string tag_;
};

// Gives the image code the desktop's colours for the system colours that have a counterpart in
// the application's palette (window, its text, button face and text, highlight ...).
void installQtSystemColors();

}  // namespace talvrin::platform::qt
