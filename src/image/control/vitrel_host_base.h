// What every host of the image control decides the same way, whatever window system it runs on:
// twips from the screen's resolution, resizing in twips, the container's scale mode and the
// conversion of lengths into it, the report of changed settings, the settings the extender
// stores for the control (mouse pointer and its range, mouse icon, drop mode and its range, tag,
// and the enabled state where the window system keeps none), and how mouse buttons over the
// control become its events (Click included). A host supplies the primitives of its window
// system: the window's size and resolution, repainting and resizing it, timers, the cursor and
// window queries, and what a changed cursor or drop mode means there.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "image/control/vitrel.h"

namespace talvrin {

// Twips per pixel at a resolution: 1440 twips an inch; the desktop default below 1 dot per inch.
[[nodiscard]] std::int32_t twipsAtDpi(std::int32_t dotsPerInch) noexcept;

class VitrelHostBase : public VitrelHost {
  public:
    // The mouse-pointer values a host takes: 0 (the window's own), 1 to 15 (the stock shapes)
    // and this one, the mouse icon.
    static constexpr std::int16_t kCustomPointer = 99;

    // Called with the stored name of every setting that changes.
    void setPropertyChangedHandler(std::function<void(std::string_view)> handler) {
        onPropertyChanged_ = std::move(handler);
    }

    // ---- VitrelHost ----
    [[nodiscard]] bool userMode() const override { return true; }
    [[nodiscard]] std::int32_t twipsPerPixelX() const override;
    [[nodiscard]] std::int32_t twipsPerPixelY() const override;
    void requestResize(std::int32_t widthTwips, std::int32_t heightTwips) override;
    void propertyChanged(std::string_view name) override;
    // The window shells lay their controls out in twips, as a form does.
    [[nodiscard]] std::optional<std::int32_t> containerScaleMode() const override { return 1; }
    [[nodiscard]] std::optional<float> pixelsToContainer(float pixels, bool horizontal,
                                                         std::int32_t scaleMode) const override;
    [[nodiscard]] bool enabled() const override { return enabled_; }
    void setEnabled(bool value) override { enabled_ = value; }
    [[nodiscard]] std::int16_t mousePointer() const override { return pointer_; }
    bool setMousePointer(std::int16_t value) override;
    [[nodiscard]] std::optional<StoredPicture> mouseIcon() const override { return icon_; }
    bool setMouseIcon(std::optional<StoredPicture> icon) override;
    [[nodiscard]] std::int16_t oleDropMode() const override { return dropMode_; }
    bool setOleDropMode(std::int16_t value) override;
    [[nodiscard]] std::string tag() const override { return tag_; }
    void setTag(std::string value) override { tag_ = std::move(value); }

  protected:
    // The screen's resolution in dots per inch along one axis.
    [[nodiscard]] virtual std::int32_t dotsPerInch(bool horizontal) const = 0;
    // Resizes the control's window to a size in pixels (never negative).
    virtual void resizeWindow(std::int32_t width, std::int32_t height) = 0;
    // The stored mouse pointer or (iconChanged) the mouse icon changed: the window shows the
    // new cursor.
    virtual void cursorChanged(bool /*iconChanged*/) {}
    // Takes a drop mode in range into the window; false when the window refuses it, which
    // leaves the stored mode as it was.
    virtual bool applyDropMode(std::int16_t /*mode*/) { return true; }

    // A mouse event over the control, in the control's pixels, handed to it as the desktop does
    // for a windowless control: nothing while the control is disabled; a release of a button
    // that went down over the control clicks when it lands over the control, unless that press
    // was the second of a double click. lastUp: no button is held after this release.
    enum class MouseAction { Move, Down, DoubleClick, Up };
    void deliverMouse(Vitrel& control, MouseAction action, std::int16_t button,
                      std::int16_t buttonsHeld, std::int16_t shift, float x, float y,
                      bool overControl = true, bool lastUp = false);

    // The point (the control's pixels) is one the control owns: inside its hit region, or
    // without one its hit rectangle. Asks nothing of the control's events, unlike its hit test.
    [[nodiscard]] static bool ownsPoint(const Vitrel& control, std::int32_t x,
                                        std::int32_t y) noexcept;

  private:
    std::function<void(std::string_view)> onPropertyChanged_;
    bool enabled_ = true;
    std::int16_t pointer_ = 0;
    std::optional<StoredPicture> icon_;
    std::int16_t dropMode_ = 0;
    std::string tag_;
    std::int16_t pressedButtons_ = 0;  // gone down over the control, for Click
    bool afterDblClick_ = false;       // the release of a double click raises no Click
};

}  // namespace talvrin
