// What the image control asks of the window that hosts it. The Qt shell implements it for the
// real window; tests use a deterministic fake. Sizes are pixels of the control's client area
// unless a name says twips.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "image/control/property_bag.h"

namespace talvrin {

class VitrelHost {
  public:
    virtual ~VitrelHost() = default;

    // ---- Ambient ----
    // True in a running program, false while a designer edits the window.
    [[nodiscard]] virtual bool userMode() const = 0;

    // ---- The control's window ----
    [[nodiscard]] virtual std::int32_t width() const = 0;
    [[nodiscard]] virtual std::int32_t height() const = 0;
    // Twips per screen pixel (15 at 96 dots per inch).
    [[nodiscard]] virtual std::int32_t twipsPerPixelX() const = 0;
    [[nodiscard]] virtual std::int32_t twipsPerPixelY() const = 0;
    // Asks for a paint event (later, through the message loop).
    virtual void requestRepaint() = 0;
    // Resizes the control's window to the size in twips; the host sends the resulting resize
    // event (possibly before this returns, as the desktop does).
    virtual void requestResize(std::int32_t widthTwips, std::int32_t heightTwips) = 0;
    // A stored setting changed, under its stored name: the host's stored properties are stale.
    virtual void propertyChanged(std::string_view name) = 0;

    // ---- The container ----
    // The container's scale mode, or nothing when it cannot be read.
    [[nodiscard]] virtual std::optional<std::int32_t> containerScaleMode() const = 0;
    // A length in pixels in the unit of the given scale mode (horizontal or vertical); nothing
    // when the conversion fails.
    [[nodiscard]] virtual std::optional<float> pixelsToContainer(float pixels, bool horizontal,
                                                                 std::int32_t scaleMode) const = 0;

    // ---- The extender (what the host keeps for every control) ----
    [[nodiscard]] virtual bool enabled() const = 0;
    virtual void setEnabled(bool value) = 0;
    [[nodiscard]] virtual std::int16_t mousePointer() const = 0;
    // False when the host refuses the value.
    virtual bool setMousePointer(std::int16_t value) = 0;
    [[nodiscard]] virtual std::optional<StoredPicture> mouseIcon() const = 0;
    virtual bool setMouseIcon(std::optional<StoredPicture> icon) = 0;
    [[nodiscard]] virtual std::int16_t oleDropMode() const = 0;
    virtual bool setOleDropMode(std::int16_t value) = 0;
    [[nodiscard]] virtual std::string tag() const = 0;
    virtual void setTag(std::string value) = 0;
};

}  // namespace talvrin
