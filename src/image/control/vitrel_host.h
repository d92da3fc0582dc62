// What the image control asks of the window that hosts it. The Qt shell implements it for the
// real window; tests use a deterministic fake with a manual clock. Sizes are pixels of the
// control's client area unless a name says twips; screen positions are pixels of the desktop.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/geometry.h"
#include "image/control/property_bag.h"

namespace talvrin {

class ICrossComm;

// A window's identity as the host's window services know it; 0 is no window.
using WindowHandle = std::uintptr_t;

// One member of the container's collection of controls: its type name ("Vitrel" for an image
// control) and, for an image control, its coordination interface (null for any other control).
struct ContainerControl {
    std::string typeName;
    ICrossComm* control = nullptr;
};

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
    // The container's window (the window under the cursor is this one while the cursor is over
    // the container or over any of its image controls, which have no window of their own).
    [[nodiscard]] virtual WindowHandle containerWindow() const { return 0; }
    // The top-level window of a window: parent links followed to the top, then owner links.
    [[nodiscard]] virtual WindowHandle topLevelWindow(WindowHandle window) const { return window; }
    // The container's controls, first to last (the control itself among them).
    [[nodiscard]] virtual std::vector<ContainerControl> containerControls() const { return {}; }

    // ---- Window services ----
    // A host without a window system (a command-line render) keeps the defaults: no timers, no
    // cursor, no windows. Timers are the desktop's window timers: keyed by window and
    // identifier, periodic until killed, delivered through the message loop; setting an armed
    // timer again restarts it with the new period and callback. False when no timer was set.
    virtual bool setTimer(WindowHandle /*window*/, std::intptr_t /*id*/, std::uint32_t /*ms*/,
                          std::function<void()> /*onTick*/) {
        return false;
    }
    // Stops and forgets the timer; nothing happens for one that is not armed.
    virtual void killTimer(WindowHandle /*window*/, std::intptr_t /*id*/) {}
    // The cursor's position on the screen.
    [[nodiscard]] virtual Point cursorPos() const { return {}; }
    // The window under a screen position (0 for none).
    [[nodiscard]] virtual WindowHandle windowFromPoint(Point /*screen*/) const { return 0; }
    // A point of a window's client area in screen coordinates; nothing for an unknown window.
    [[nodiscard]] virtual std::optional<Point> clientToScreen(WindowHandle /*window*/,
                                                              Point /*client*/) const {
        return std::nullopt;
    }

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
