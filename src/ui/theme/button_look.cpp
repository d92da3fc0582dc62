#include "ui/theme/button_look.h"

#include "base/rounding.h"

namespace talvrin::mdXpThemeSupport {

namespace {

bool exists(const ButtonPictures& pictures, PictureSlot slot) noexcept {
    switch (slot) {
        case PictureSlot::Picture:
            return pictures.Picture;
        case PictureSlot::DownPicture:
            return pictures.DownPicture;
        case PictureSlot::DisabledPicture:
            return pictures.DisabledPicture;
        case PictureSlot::None:
            break;
    }
    return false;
}

std::int32_t halfOf(std::int64_t value) noexcept {
    return static_cast<std::int32_t>(divideRoundHalfEven(value, 2));
}

}  // namespace

PictureSlot ChoosePicture(const ButtonPictures& pictures, PictureSlot first,
                          PictureSlot second) noexcept {
    if (exists(pictures, first)) return first;
    if (exists(pictures, second)) return second;
    return PictureSlot::None;
}

bool showsDefault(bool Default, bool hasFocus,
                  std::optional<std::int32_t> activeControlDefault) noexcept {
    if (!Default) return false;
    return hasFocus || (activeControlDefault && *activeControlDefault > 0);
}

ButtonLook chooseButtonLook(const ButtonLookInputs& in) noexcept {
    const auto choose = [&in](PictureSlot first, PictureSlot second) {
        return ChoosePicture(in.pictures, first, second);
    };
    constexpr PictureSlot kPicture = PictureSlot::Picture;
    if (!in.Enabled) return {ButtonState::Disabled, choose(PictureSlot::DisabledPicture, kPicture)};
    if (!in.hot || in.pushed) {
        if (in.Value || in.pushed)
            return {ButtonState::Pressed, choose(PictureSlot::DownPicture, kPicture)};
        if (in.focused || in.defaultLook)
            return {ButtonState::Defaulted, choose(kPicture, kPicture)};
        return {ButtonState::Normal, choose(kPicture, kPicture)};
    }
    return {ButtonState::Hot,
            in.Value ? choose(PictureSlot::DownPicture, kPicture) : choose(kPicture, kPicture)};
}

CaptionLayout layoutCaption(const Rect& content, std::int32_t measuredBottom,
                            bool withPicture) noexcept {
    CaptionLayout layout{content, content};
    if (withPicture) {
        layout.text.top =
            static_cast<std::int32_t>(std::int64_t{content.bottom} - measuredBottom + 1);
        layout.text.bottom = content.bottom;
        layout.pictureArea.bottom = layout.text.top;
    } else {
        layout.text.top = halfOf(std::int64_t{content.bottom} - measuredBottom) + 2;
        layout.text.bottom =
            static_cast<std::int32_t>(std::int64_t{layout.text.top} + measuredBottom);
    }
    return layout;
}

Point centrePicture(const Rect& area, std::int32_t width, std::int32_t height) noexcept {
    // left + (width of the area - width) / 2 = (2 left + area width - width) / 2, rounded as a
    // whole: rounding the half first and adding left would round an odd left the wrong way.
    const auto centred = [](std::int64_t start, std::int64_t room, std::int64_t size) {
        return static_cast<std::int32_t>(divideRoundHalfEven(2 * start + room - size, 2));
    };
    return {centred(area.left, area.width(), width), centred(area.top, area.height(), height)};
}

ButtonReaction pvRedirectButton(ButtonProperties& properties, ButtonMessage message, bool themed,
                                bool visible) noexcept {
    ButtonReaction r;
    if (!themed) return r;
    switch (message) {
        case ButtonMessage::SetFocus:
        case ButtonMessage::Enable:
            if (visible) {
                r.holdRedraw = true;
                r.repaint =
                    message == ButtonMessage::Enable ? Repaint::Whole : Repaint::ThemedShape;
            }
            break;
        case ButtonMessage::Paint:
            if (visible) {
                properties.Painted = true;
                r.customPaint = true;
            }
            break;
        case ButtonMessage::LButtonDown:
        case ButtonMessage::MouseHover:
            properties.Hot = true;
            r.repaint = Repaint::ThemedShape;
            break;
        case ButtonMessage::KillFocus:
        case ButtonMessage::MouseLeave:
            properties.Hot = false;
            r.repaint = Repaint::ThemedShape;
            break;
        case ButtonMessage::MouseMove:
            r.trackMouse = !properties.Hot;
            if (!properties.Painted) r.repaint = Repaint::ThemedShape;
            break;
        case ButtonMessage::LButtonUp:
        case ButtonMessage::RButtonUp:
            r.repaint = Repaint::ThemedShape;
            break;
    }
    return r;
}

}  // namespace talvrin::mdXpThemeSupport
