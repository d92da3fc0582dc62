// The rules of a themed graphical button, free of any window system: which theme state and
// which picture it is drawn with, where its caption and picture go, and how the messages of its
// subclass procedure move its "Hot" and "Painted" properties. The desktop's subclass procedure
// and the shell's Qt button both follow them.
#pragma once

#include <cstdint>
#include <optional>

#include "base/geometry.h"

namespace talvrin::mdXpThemeSupport {

// States of the themed push-button part (BP_PUSHBUTTON).
enum class ButtonState : std::int32_t {
    Normal = 1,
    Hot = 2,
    Pressed = 3,
    Disabled = 4,
    Defaulted = 5,
};

// A button's pictures, and which of them exist with a non-zero handle.
enum class PictureSlot { None, Picture, DownPicture, DisabledPicture };
struct ButtonPictures {
    bool Picture = false;
    bool DownPicture = false;
    bool DisabledPicture = false;
};

// ChoosePicture: first when it exists with a handle, else second when that does, else none.
[[nodiscard]] PictureSlot ChoosePicture(const ButtonPictures& pictures, PictureSlot first,
                                        PictureSlot second) noexcept;

// Whether a button whose Default is set shows the default look. It keeps it while it has the
// keyboard focus; otherwise only when the Default of the form's active control, read as a 32-bit
// integer, is above 0 (none: no active control, or one without a Default, which fails the
// test). A Default that is a stored boolean is -1 or 0, so in practice a button shows the
// default look only while it has the focus.
[[nodiscard]] bool showsDefault(bool Default, bool hasFocus,
                                std::optional<std::int32_t> activeControlDefault) noexcept;

struct ButtonLookInputs {
    bool Enabled = true;
    bool pushed = false;       // the button's pushed state (BST_PUSHED)
    bool focused = false;      // the button's focus state (BST_FOCUS)
    bool Value = false;        // the button's Value
    bool hot = false;          // the "Hot" property
    bool defaultLook = false;  // showsDefault of the button
    ButtonPictures pictures;
};

struct ButtonLook {
    ButtonState state = ButtonState::Normal;
    PictureSlot picture = PictureSlot::None;
    friend constexpr bool operator==(const ButtonLook&, const ButtonLook&) = default;
};

// The theme state and the picture:
//   disabled                    -> Disabled,  DisabledPicture else Picture
//   not hot, or pushed:
//     Value or pushed           -> Pressed,   DownPicture else Picture
//     focused or default look   -> Defaulted, Picture
//     otherwise                 -> Normal,    Picture
//   hot and not pushed          -> Hot,       DownPicture else Picture when Value, else Picture
// A chosen picture without a handle counts as none.
[[nodiscard]] ButtonLook chooseButtonLook(const ButtonLookInputs& in) noexcept;

struct CaptionLayout {
    Rect text;         // where the caption is drawn, centred horizontally, word-wrapped
    Rect pictureArea;  // what is left for the picture
};

// The caption's rectangle in the theme's content rectangle, given the bottom of the caption
// measured (with word breaks) in a copy of that rectangle, and the picture's area after it.
// The text rectangle keeps the content's left and right; vertically:
//   without a picture: top = (content.bottom - measuredBottom) / 2 + 2, rounded to nearest with
//                      halves to even, and bottom = top + measuredBottom;
//   with a picture:    top = content.bottom - measuredBottom + 1, bottom = content.bottom, and
//                      the picture's area ends where the text begins.
// Without a picture the picture's area is the content rectangle.
[[nodiscard]] CaptionLayout layoutCaption(const Rect& content, std::int32_t measuredBottom,
                                          bool withPicture) noexcept;

// The top-left corner of a width x height picture centred in area: left + (area width -
// width) / 2 and top + (area height - height) / 2, each whole expression rounded to nearest
// with halves to even (so a picture larger than its area starts before it).
[[nodiscard]] Point centrePicture(const Rect& area, std::int32_t width,
                                  std::int32_t height) noexcept;

// The messages the button subclass reacts to.
enum class ButtonMessage {
    SetFocus,
    KillFocus,
    Enable,
    Paint,
    LButtonDown,
    LButtonUp,
    RButtonUp,
    MouseMove,
    MouseHover,
    MouseLeave,
};

// The button window's properties "Hot" (the mouse is over it, or it was just pressed) and
// "Painted" (it has had a custom paint); absent counts as false.
struct ButtonProperties {
    bool Hot = false;
    bool Painted = false;
};

enum class Repaint { None, ThemedShape, Whole };

// What the subclass asks of its window for one message.
struct ButtonReaction {
    bool holdRedraw = false;   // switch redrawing off around the default processing
    bool customPaint = false;  // paint the button itself instead of the default processing
    bool trackMouse = false;   // ask for hover and leave notices (hover time 1 ms)
    Repaint repaint = Repaint::None;
    friend constexpr bool operator==(const ButtonReaction&, const ButtonReaction&) = default;
};

// pvRedirectButton's rules. With visual styles off (themed false) nothing changes and nothing
// is asked: every message goes to the default processing. Otherwise:
//   SetFocus, Enable  (visible)  hold redraw; afterwards repaint the themed shape (SetFocus)
//                                or the whole button (Enable)
//   Paint             (visible)  set Painted, paint the button itself
//   LButtonDown, MouseHover      set Hot, repaint the themed shape
//   KillFocus, MouseLeave        clear Hot, repaint the themed shape
//   MouseMove                    track the mouse unless Hot; repaint the themed shape unless
//                                Painted
//   LButtonUp, RButtonUp         repaint the themed shape
[[nodiscard]] ButtonReaction pvRedirectButton(ButtonProperties& properties, ButtonMessage message,
                                              bool themed, bool visible) noexcept;

}  // namespace talvrin::mdXpThemeSupport
