#include "image/control/vitrel_host_base.h"

#include <algorithm>
#include <cmath>

#include "image/control/scale_units.h"
#include "platform/gdi/screen.h"

namespace talvrin {

std::int32_t twipsAtDpi(std::int32_t dotsPerInch) noexcept {
    if (dotsPerInch < 1) return platform::kDefaultTwipsPerPixel;
    return std::max(1, static_cast<int>(std::lround(1440.0 / dotsPerInch)));
}

std::int32_t VitrelHostBase::twipsPerPixelX() const {
    return twipsAtDpi(dotsPerInch(true));
}

std::int32_t VitrelHostBase::twipsPerPixelY() const {
    return twipsAtDpi(dotsPerInch(false));
}

void VitrelHostBase::requestResize(std::int32_t widthTwips, std::int32_t heightTwips) {
    resizeWindow(std::max(0, widthTwips / twipsPerPixelX()),
                 std::max(0, heightTwips / twipsPerPixelY()));
}

void VitrelHostBase::propertyChanged(std::string_view name) {
    if (onPropertyChanged_) onPropertyChanged_(name);
}

std::optional<float> VitrelHostBase::pixelsToContainer(float pixels, bool horizontal,
                                                       std::int32_t scaleMode) const {
    return pixelsToScaleMode(pixels, dotsPerInch(horizontal),
                             horizontal ? twipsPerPixelX() : twipsPerPixelY(), scaleMode);
}

bool VitrelHostBase::setMousePointer(std::int16_t value) {
    if (value < 0 || (value > 15 && value != kCustomPointer)) return false;
    pointer_ = value;
    cursorChanged(false);
    return true;
}

bool VitrelHostBase::setMouseIcon(std::optional<StoredPicture> icon) {
    icon_ = std::move(icon);
    cursorChanged(true);
    return true;
}

bool VitrelHostBase::setOleDropMode(std::int16_t value) {
    if (value < 0 || value > 2 || !applyDropMode(value)) return false;
    dropMode_ = value;
    return true;
}

void VitrelHostBase::deliverMouse(Vitrel& control, MouseAction action, std::int16_t button,
                                  std::int16_t buttonsHeld, std::int16_t shift, float x, float y,
                                  bool overControl, bool lastUp) {
    // A disabled control takes its rectangle but raises nothing.
    if (!enabled()) return;
    switch (action) {
        case MouseAction::Move:
            control.onMouseMove(buttonsHeld, shift, x, y);
            break;
        case MouseAction::Down:
            pressedButtons_ = static_cast<std::int16_t>(pressedButtons_ | button);
            control.onMouseDown(button, shift, x, y);
            break;
        case MouseAction::DoubleClick:
            // The second press of a double click is the DblClick; its release raises no Click.
            pressedButtons_ = static_cast<std::int16_t>(pressedButtons_ | button);
            afterDblClick_ = true;
            control.onDblClick();
            break;
        case MouseAction::Up: {
            const bool clicked = overControl && !afterDblClick_ && (pressedButtons_ & button) != 0;
            pressedButtons_ = static_cast<std::int16_t>(pressedButtons_ & ~button);
            if (lastUp) {
                afterDblClick_ = false;
                pressedButtons_ = 0;
            }
            control.onMouseUp(button, shift, x, y);
            if (clicked) control.onClick();
            break;
        }
    }
}

bool VitrelHostBase::ownsPoint(const Vitrel& control, std::int32_t x, std::int32_t y) noexcept {
    return control.hitRegion() ? control.hitRegion()->contains(x, y)
                               : control.hitRect().contains(x, y);
}

}  // namespace talvrin
