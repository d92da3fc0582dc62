// The bitmap the desktop's controls take from premultiplied pixels: laid over an opaque colour.
#include "platform/win32/win32_canvas.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace talvrin::platform::win32 {
namespace {

// Each colour byte becomes colour + background * (255 - alpha) / 255 (rounded down), and the
// fourth byte 0: opaque pixels keep their colour, clear ones show the background, and the rest
// fall between.
TEST(Win32Canvas, PremultipliedPixelsAreLaidOverTheBackgroundColour) {
    struct Case {
        std::array<std::uint8_t, 4> pixel;  // blue, green, red, alpha (premultiplied)
        COLORREF background;
        std::array<std::uint8_t, 4> out;
    };
    const Case cases[] = {
        {{10, 20, 30, 255}, RGB(200, 100, 50), {10, 20, 30, 0}},
        {{0, 0, 0, 0}, RGB(200, 100, 50), {50, 100, 200, 0}},
        {{64, 32, 0, 128}, RGB(255, 255, 255), {191, 159, 127, 0}},
        {{0, 0, 0, 1}, RGB(1, 2, 255), {254, 1, 0, 0}},
        {{255, 255, 255, 255}, RGB(255, 255, 255), {255, 255, 255, 0}},
    };
    for (const Case& c : cases) {
        std::array<std::uint8_t, 4> out{1, 1, 1, 1};
        composeOverColor(c.pixel, c.background, out.data());
        EXPECT_EQ(out, c.out) << int(c.pixel[0]) << "," << int(c.pixel[1]) << "," << int(c.pixel[2])
                              << "," << int(c.pixel[3]);
    }
    // A trailing partial pixel is left alone.
    const std::array<std::uint8_t, 6> partial{0, 0, 0, 0, 9, 9};
    std::array<std::uint8_t, 6> out{7, 7, 7, 7, 7, 7};
    composeOverColor(partial, RGB(3, 2, 1), out.data());
    EXPECT_EQ(out, (std::array<std::uint8_t, 6>{1, 2, 3, 0, 7, 7}));
}

}  // namespace
}  // namespace talvrin::platform::win32
