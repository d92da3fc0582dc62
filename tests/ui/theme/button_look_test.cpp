// The themed graphical button's rules: state and picture, caption and picture placement, and
// how the subclass's messages move "Hot".
#include "ui/theme/button_look.h"

#include <gtest/gtest.h>

namespace talvrin::mdXpThemeSupport {
namespace {

TEST(ButtonLook, StateAndPictureFollowEnabledHotPushedValueFocusAndDefault) {
    const ButtonPictures all{true, true, true};
    const ButtonPictures pictureOnly{true, false, false};
    const ButtonPictures none{};
    struct Case {
        const char* what;
        bool enabled, pushed, focused, value, hot, defaultLook;
        ButtonPictures pictures;
        ButtonLook expected;
    };
    const Case cases[] = {
        {"pressed while hot",
         true,
         true,
         false,
         false,
         true,
         false,
         all,
         {ButtonState::Pressed, PictureSlot::DownPicture}},
        {"pressed without a down picture",
         true,
         true,
         false,
         false,
         true,
         false,
         pictureOnly,
         {ButtonState::Pressed, PictureSlot::Picture}},
        {"a chosen option looks pressed",
         true,
         false,
         false,
         true,
         false,
         false,
         all,
         {ButtonState::Pressed, PictureSlot::DownPicture}},
        {"hot, not pressed",
         true,
         false,
         true,
         false,
         true,
         true,
         all,
         {ButtonState::Hot, PictureSlot::Picture}},
        {"hot and chosen",
         true,
         false,
         false,
         true,
         true,
         false,
         all,
         {ButtonState::Hot, PictureSlot::DownPicture}},
        {"focused, mouse away",
         true,
         false,
         true,
         false,
         false,
         false,
         all,
         {ButtonState::Defaulted, PictureSlot::Picture}},
        {"default look, mouse away",
         true,
         false,
         false,
         false,
         false,
         true,
         all,
         {ButtonState::Defaulted, PictureSlot::Picture}},
        {"nothing going on",
         true,
         false,
         false,
         false,
         false,
         false,
         all,
         {ButtonState::Normal, PictureSlot::Picture}},
        {"disabled",
         false,
         true,
         true,
         true,
         true,
         true,
         all,
         {ButtonState::Disabled, PictureSlot::DisabledPicture}},
        {"disabled without a disabled picture",
         false,
         false,
         false,
         false,
         false,
         false,
         pictureOnly,
         {ButtonState::Disabled, PictureSlot::Picture}},
        {"no picture with a handle",
         true,
         false,
         false,
         false,
         false,
         false,
         none,
         {ButtonState::Normal, PictureSlot::None}},
        {"only a down picture, not pressed",
         true,
         false,
         false,
         false,
         false,
         false,
         ButtonPictures{false, true, false},
         {ButtonState::Normal, PictureSlot::None}},
    };
    for (const Case& c : cases) {
        ButtonLookInputs in;
        in.Enabled = c.enabled;
        in.pushed = c.pushed;
        in.focused = c.focused;
        in.Value = c.value;
        in.hot = c.hot;
        in.defaultLook = c.defaultLook;
        in.pictures = c.pictures;
        EXPECT_EQ(chooseButtonLook(in), c.expected) << c.what;
    }
}

TEST(ButtonLook, DefaultLookGoesToTheFocusedButton) {
    EXPECT_TRUE(showsDefault(true, FocusOwner::ThisButton));
    EXPECT_TRUE(showsDefault(true, FocusOwner::OtherControl));
    EXPECT_TRUE(showsDefault(true, FocusOwner::Nothing));
    EXPECT_FALSE(showsDefault(true, FocusOwner::OtherButton));
    EXPECT_FALSE(showsDefault(false, FocusOwner::ThisButton));
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
        {{3, 3, 13, 13}, 17, 15, {-1, 1}},     // larger than the area: -7 / 2 -> -4, -5 / 2 -> -2
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
