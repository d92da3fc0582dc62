// DrawStateBitmap's disabled emboss (its plain copy is drawn in the theme's picture tests).
#include "platform/gdi/draw_state.h"

#include <gtest/gtest.h>

#include "platform/gdi/screen.h"
#include "support/drawing_test_support.h"

namespace talvrin::platform {
namespace {

using testing::pixel32;
using testing::setPixel32;
using testing::Target;

constexpr std::uint32_t kWhite = 0x00FFFFFF, kGrey = 0x00808080;

void fill(Bitmap& b, std::uint32_t v) {
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            setPixel32(b, x, y, v);
}

TEST(DrawState, DisabledEmbossesWhatIsNotWhiteShadowOverHighlight) {
    // Ink at (0, 0) and (1, 1): the highlight of the first lands under the second's shadow.
    auto source = Bitmap::create(3, 3, 32);
    fill(*source, kWhite | 0xFF000000u);  // white with any alpha is background
    setPixel32(*source, 0, 0, 0x00102030);
    setPixel32(*source, 1, 1, 0x00FEFFFF);  // nearly white is ink
    Target t(6, 6);
    fill(*t.bitmap, kGrey);
    t.dc->setClipRect(Rect{0, 0, 6, 3});  // row 3 and below stay untouched
    ASSERT_TRUE(DrawStateBitmap(*t.dc, *source, 1, 1, 0, 0, true));
    const std::uint32_t shadow = pixelFromColor(systemColor(kColorBtnShadow), 0);
    const std::uint32_t highlight = pixelFromColor(systemColor(kColorBtnHighlight), 0);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            std::uint32_t expected = kGrey;
            if ((x == 1 && y == 1) || (x == 2 && y == 2)) expected = shadow;
            if (x == 3 && y == 3) expected = highlight;
            if (y >= 3) expected = kGrey;
            EXPECT_EQ(pixel32(*t.bitmap, x, y), expected) << x << "," << y;
        }
}

}  // namespace
}  // namespace talvrin::platform
