// The events the image control raises, in the order of its event list, with the argument names
// of its public interface. A user of the control overrides the ones it handles. X and Y are in
// the container's unit (converted from control pixels); buttons are 1 left, 2 right, 4 middle;
// Shift is 1 shift, 2 control, 4 alt.
#pragma once

#include <cstdint>

namespace talvrin {

namespace platform {
class DropDataObject;
}

class VitrelEvents {
  public:
    virtual ~VitrelEvents() = default;

    // Button: the button of the last release over the control (the buttons word's high half).
    virtual void Click(std::int16_t /*Button*/) {}
    virtual void DblClick(std::int16_t /*Button*/) {}
    virtual void MouseExit() {}
    virtual void MouseEnter() {}
    virtual void MouseUp(std::int16_t /*Button*/, std::int16_t /*Shift*/, float /*X*/,
                         float /*Y*/) {}
    virtual void MouseMove(std::int16_t /*Button*/, std::int16_t /*Shift*/, float /*X*/,
                           float /*Y*/) {}
    virtual void MouseDown(std::int16_t /*Button*/, std::int16_t /*Shift*/, float /*X*/,
                           float /*Y*/) {}
    virtual void KeyDown(std::int16_t /*KeyCode*/, std::int16_t /*Shift*/) {}
    virtual void KeyUp(std::int16_t /*KeyCode*/, std::int16_t /*Shift*/) {}
    virtual void KeyPress(std::int16_t /*KeyAscii*/) {}
    // Effect (0 none, 1 copy, 2 move) is the handler's answer to the drag's source.
    virtual void OLEDragDrop(platform::DropDataObject& /*data*/, std::int32_t& /*Effect*/,
                             std::int16_t /*Button*/, std::int16_t /*Shift*/, float /*X*/,
                             float /*Y*/) {}
    // State: 0 the drag entered, 1 it left, 2 it moved over the control.
    virtual void OLEDragOver(platform::DropDataObject& /*data*/, std::int32_t& /*Effect*/,
                             std::int16_t /*Button*/, std::int16_t /*Shift*/, float /*X*/,
                             float /*Y*/, std::int16_t /*State*/) {}
    // The opacity at the end of a completed fade (its target).
    virtual void FadeTerminated(std::int32_t /*CurrentOpacity*/) {}
};

}  // namespace talvrin
