// The themed graphical button's rules: state and picture, caption and picture placement, and
// how the subclass's messages move "Hot".
#include "ui/theme/button_look.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string_view>

namespace talvrin::mdXpThemeSupport {
namespace {

// Inputs as letters, each one present meaning true: Enabled, Pushed, Focused, Value, Hot,
// Default look. Pictures with a handle: Picture, Down picture, disabled picture (X).
ButtonLookInputs inputs(std::string_view flags, std::string_view pictures) {
    const auto has = [](std::string_view s, char c) { return s.find(c) != s.npos; };
    ButtonLookInputs in;
    in.Enabled = has(flags, 'E');
    in.pushed = has(flags, 'P');
    in.focused = has(flags, 'F');
    in.Value = has(flags, 'V');
    in.hot = has(flags, 'H');
    in.defaultLook = has(flags, 'D');
    in.pictures = {has(pictures, 'P'), has(pictures, 'D'), has(pictures, 'X')};
    return in;
}

TEST(ButtonLook, StateAndPictureFollowEnabledHotPushedValueFocusAndDefault) {
    using S = ButtonState;
    using P = PictureSlot;
    struct Case {
        const char* flags;
        const char* pictures;
        ButtonLook expected;
    };
    const Case cases[] = {
        {"EPH", "PDX", {S::Pressed, P::DownPicture}},  // pressed while hot
        {"EPH", "P", {S::Pressed, P::Picture}},        // no down picture
        {"EV", "PDX", {S::Pressed, P::DownPicture}},   // a chosen option looks pressed
        {"EFHD", "PDX", {S::Hot, P::Picture}},         // hot wins over focus and default
        {"EVH", "PDX", {S::Hot, P::DownPicture}},      // hot and chosen
        {"EF", "PDX", {S::Defaulted, P::Picture}},     // focused, mouse away
        {"ED", "PDX", {S::Defaulted, P::Picture}},     // default look, mouse away
        {"E", "PDX", {S::Normal, P::Picture}},
        {"PFVHD", "PDX", {S::Disabled, P::DisabledPicture}},
        {"", "P", {S::Disabled, P::Picture}},  // no disabled picture: Picture, embossed
        {"E", "", {S::Normal, P::None}},
        {"E", "D", {S::Normal, P::None}},  // the down picture is no stand-in for Picture
    };
    for (const Case& c : cases)
        EXPECT_EQ(chooseButtonLook(inputs(c.flags, c.pictures)), c.expected)
            << c.flags << " with " << c.pictures;
}

// Without the focus a Default button keeps the default look only when the active control's
// Default, as a 32-bit integer, is above 0; a button's Default is -1 or 0, and any other control
// (or none) has none.
TEST(ButtonLook, DefaultLookNeedsTheFocusOrAPositiveActiveDefault) {
    struct Case {
        bool Default, hasFocus;
        std::optional<std::int32_t> active;
        bool shows;
    };
    const Case cases[] = {
        {true, true, std::nullopt, true},  // the focus is this button's own
        {true, true, -1, true},
        {true, false, -1, false},            // another button with Default true
        {true, false, 0, false},             // another button
        {true, false, std::nullopt, false},  // a control without Default, or none
        {true, false, 1, true},              // a positive number, which no button stores
        {false, true, 1, false},
        {false, false, 1, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(showsDefault(c.Default, c.hasFocus, c.active), c.shows)
            << c.Default << c.hasFocus << c.active.value_or(99);
}

TEST(ButtonLook, CaptionRectangleWithAndWithoutAPicture) {
    struct Case {
        Rect content;
        std::int32_t measuredBottom;
        bool picture;
        Rect text, pictureArea;
    };
    const Case cases[] = {
        // Content 3 to 23, text 14 high measured from 3: (23 - 17) / 2 + 2 = 5, 5 + 17 = 22.
        {{3, 3, 88, 23}, 17, false, {3, 5, 88, 22}, {3, 3, 88, 23}},
        // (24 - 17) / 2 = 3.5 goes to 4, the even neighbour; (26 - 17) / 2 = 4.5 goes to 4.
        {{3, 3, 88, 24}, 17, false, {3, 6, 88, 23}, {3, 3, 88, 24}},
        {{3, 3, 88, 26}, 17, false, {3, 6, 88, 23}, {3, 3, 88, 26}},
        // Under a picture: 61 - 17 + 1 = 45 to the bottom; the picture keeps 3 to 45.
        {{3, 3, 60, 61}, 17, true, {3, 45, 60, 61}, {3, 3, 60, 45}},
    };
    for (const Case& c : cases) {
        const CaptionLayout layout = layoutCaption(c.content, c.measuredBottom, c.picture);
        EXPECT_EQ(layout.text, c.text) << c.content.bottom << (c.picture ? " with" : " without");
        EXPECT_EQ(layout.pictureArea, c.pictureArea) << c.content.bottom;
    }
}

TEST(ButtonLook, PictureIsCentredWithHalvesToEven) {
    struct Case {
        Rect area;
        std::int32_t width, height;
        Point expected;
    };
    const Case cases[] = {
        {{0, 0, 91, 23}, 16, 16, {38, 4}},     // 75 / 2 = 37.5 -> 38; 7 / 2 = 3.5 -> 4
        {{10, 20, 43, 41}, 16, 16, {18, 22}},  // 17 / 2 = 8.5 -> 8; 5 / 2 = 2.5 -> 2
        // The whole expression is rounded: 1 + 7 / 2 = 4.5 -> 4 and 1 + 3 / 2 = 2.5 -> 2, where
        // rounding the half first gives 5 and 3.
        {{1, 1, 12, 5}, 4, 1, {4, 2}},
        // Larger than the area: 3 - 7 / 2 = -0.5 -> 0, 3 - 5 / 2 = 0.5 -> 0.
        {{3, 3, 13, 13}, 17, 15, {0, 0}},
        {{-3, -6, 4, 1}, 2, 2, {0, -4}},  // -3 + 2.5 = -0.5 -> 0; -6 + 2.5 = -3.5 -> -4
    };
    for (const Case& c : cases)
        EXPECT_EQ(centrePicture(c.area, c.width, c.height), c.expected) << c.area.left;
}

TEST(ButtonLook, HotIsSetOnHoverAndLeftPressAndClearedOnLeaveAndFocusLoss) {
    using M = ButtonMessage;
    struct Step {
        M message;
        bool hotAfter;
        ButtonReaction reaction;
    };
    const ButtonReaction shape{false, false, false, Repaint::ThemedShape};
    const Step steps[] = {
        // Not yet painted: a move asks for hover notices and a repaint.
        {M::MouseMove, false, {false, false, true, Repaint::ThemedShape}},
        {M::Paint, false, {false, true, false, Repaint::None}},
        {M::MouseHover, true, shape},
        {M::MouseMove, true, {}},  // hot and painted: nothing more to ask
        {M::MouseLeave, false, shape},
        {M::LButtonDown, true, shape},
        {M::LButtonUp, true, shape},
        {M::KillFocus, false, shape},
        {M::MouseMove, false, {false, false, true, Repaint::None}},
        {M::SetFocus, false, {true, false, false, Repaint::ThemedShape}},
        {M::Enable, false, {true, false, false, Repaint::Whole}},
        {M::RButtonUp, false, shape},
    };
    ButtonProperties properties;
    for (const Step& s : steps) {
        EXPECT_EQ(pvRedirectButton(properties, s.message, true, true), s.reaction)
            << static_cast<int>(s.message);
        EXPECT_EQ(properties.Hot, s.hotAfter) << static_cast<int>(s.message);
    }
    EXPECT_TRUE(properties.Painted);
}

TEST(ButtonLook, WithoutVisualStylesOrUnseenTheSubclassAsksNothing) {
    for (int m = 0; m <= static_cast<int>(ButtonMessage::MouseLeave); ++m) {
        ButtonProperties properties{true, false};
        EXPECT_EQ(pvRedirectButton(properties, static_cast<ButtonMessage>(m), false, true),
                  ButtonReaction{});
        EXPECT_TRUE(properties.Hot);
        EXPECT_FALSE(properties.Painted);
    }
    ButtonProperties hidden;
    for (ButtonMessage m : {ButtonMessage::Paint, ButtonMessage::SetFocus, ButtonMessage::Enable})
        EXPECT_EQ(pvRedirectButton(hidden, m, true, false), ButtonReaction{});
    EXPECT_FALSE(hidden.Painted);
}

}  // namespace
}  // namespace talvrin::mdXpThemeSupport
