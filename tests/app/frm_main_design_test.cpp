// The window's design as both shells build it: the tab order, and sizes at other resolutions.
#include "app/frm_main_design.h"

#include <gtest/gtest.h>

namespace talvrin::frm_main_design {
namespace {

// Only controls that take the focus are stops (labels carry tab indices 3, 4 and 6 but never
// take it), in tab-index order, "Start" first.
TEST(FrmMainDesign, TabOrderSkipsLabelsAndStartsAtStart) {
    EXPECT_EQ(tabOrder(),
              (std::vector<std::string_view>{"Command2", "List1", "Command1", "Text2"}));
    EXPECT_EQ(control("Command2").caption, "Start");
    EXPECT_EQ(control("no such control").name, kControls.front().name);
}

// Sizes scale with the resolution, rounded to the nearest pixel with halves away from zero (as
// the desktop's MulDiv), and the font is 6.75 pt: 9 pixels at 96 dots per inch.
TEST(FrmMainDesign, SizesAndTheFontScaleWithTheResolution) {
    struct Case {
        std::int32_t dpi, pixels, scaled;
    };
    const Case cases[] = {
        {96, kClientWidth, 557},
        {96, kClientHeight, 183},
        {120, kClientWidth, 696},   // 696.25
        {120, 2, 3},                // 2.5 up
        {144, kClientHeight, 275},  // 274.5 up
        {144, -3, -5},              // -4.5
        {0, 91, 91},                // as 96
    };
    for (const Case& c : cases)
        EXPECT_EQ(scaleToDpi(c.pixels, c.dpi), c.scaled) << c.pixels << " at " << c.dpi;
    EXPECT_EQ(fontPixelHeight(96), 9);
    EXPECT_EQ(fontPixelHeight(120), 11);  // 11.25
    EXPECT_EQ(fontPixelHeight(144), 14);  // 13.5, half up
}

}  // namespace
}  // namespace talvrin::frm_main_design
