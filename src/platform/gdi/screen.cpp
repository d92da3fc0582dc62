#include "platform/gdi/screen.h"

#include <array>

namespace talvrin::platform {
namespace {

constexpr std::int32_t kMaxScreenSide = 16384;

// The classic scheme's system colours, by index (0x00BBGGRR). Index 25 has no colour.
constexpr std::array<ColorRef, kSystemColorCount> kDefaultSystemColors = {
    rgb(212, 208, 200),  //  0 scroll bar
    rgb(58, 110, 165),   //  1 desktop background
    rgb(10, 36, 106),    //  2 active caption
    rgb(128, 128, 128),  //  3 inactive caption
    rgb(212, 208, 200),  //  4 menu
    rgb(255, 255, 255),  //  5 window
    rgb(0, 0, 0),        //  6 window frame
    rgb(0, 0, 0),        //  7 menu text
    rgb(0, 0, 0),        //  8 window text
    rgb(255, 255, 255),  //  9 caption text
    rgb(212, 208, 200),  // 10 active border
    rgb(212, 208, 200),  // 11 inactive border
    rgb(128, 128, 128),  // 12 application workspace
    rgb(10, 36, 106),    // 13 highlight
    rgb(255, 255, 255),  // 14 highlight text
    rgb(212, 208, 200),  // 15 3D face (button face)
    rgb(128, 128, 128),  // 16 3D shadow
    rgb(128, 128, 128),  // 17 grey text
    rgb(0, 0, 0),        // 18 button text
    rgb(212, 208, 200),  // 19 inactive caption text
    rgb(255, 255, 255),  // 20 3D highlight
    rgb(64, 64, 64),     // 21 3D dark shadow
    rgb(212, 208, 200),  // 22 3D light
    rgb(0, 0, 0),        // 23 tooltip text
    rgb(255, 255, 225),  // 24 tooltip background
    0,                   // 25 (none)
    rgb(0, 0, 128),      // 26 hot-tracked item
    rgb(166, 202, 240),  // 27 active caption gradient
    rgb(192, 192, 192),  // 28 inactive caption gradient
    rgb(10, 36, 106),    // 29 highlighted menu item
    rgb(212, 208, 200),  // 30 menu bar
};

struct ScreenFacts {
    std::int32_t dpiX = kDefaultDotsPerInch;
    std::int32_t dpiY = kDefaultDotsPerInch;
    std::int32_t twipsX = kDefaultTwipsPerPixel;
    std::int32_t twipsY = kDefaultTwipsPerPixel;
    std::int32_t width = kDefaultScreenWidth;
    std::int32_t height = kDefaultScreenHeight;
    std::array<ColorRef, kSystemColorCount> colors = kDefaultSystemColors;
};

ScreenFacts& facts() noexcept {
    static ScreenFacts f;
    return f;
}

}  // namespace

std::int32_t dotsPerInchX() noexcept {
    return facts().dpiX;
}
std::int32_t dotsPerInchY() noexcept {
    return facts().dpiY;
}

bool setDotsPerInch(std::int32_t x, std::int32_t y) noexcept {
    if (x < 1 || y < 1) return false;
    facts().dpiX = x;
    facts().dpiY = y;
    return true;
}

std::int32_t twipsPerPixelX() noexcept {
    return facts().twipsX;
}
std::int32_t twipsPerPixelY() noexcept {
    return facts().twipsY;
}

bool setTwipsPerPixel(std::int32_t x, std::int32_t y) noexcept {
    if (x < 1 || y < 1) return false;
    facts().twipsX = x;
    facts().twipsY = y;
    return true;
}

std::int32_t screenWidth() noexcept {
    return facts().width;
}
std::int32_t screenHeight() noexcept {
    return facts().height;
}

bool setScreenSize(std::int32_t width, std::int32_t height) noexcept {
    if (width < 1 || height < 1 || width > kMaxScreenSide || height > kMaxScreenSide) return false;
    facts().width = width;
    facts().height = height;
    return true;
}

ColorRef systemColor(int index) noexcept {
    if (index < 0 || index >= kSystemColorCount) return 0;
    return facts().colors[static_cast<std::size_t>(index)];
}

bool setSystemColor(int index, ColorRef rgb) noexcept {
    if (index < 0 || index >= kSystemColorCount) return false;
    facts().colors[static_cast<std::size_t>(index)] = rgb & 0x00FFFFFFu;
    return true;
}

void resetSystemColors() noexcept {
    facts().colors = kDefaultSystemColors;
}

ColorRef translateColor(std::uint32_t color) noexcept {
    if (!isSystemColor(color)) return color;
    return systemColor(static_cast<int>(color & 0xFFu));
}

}  // namespace talvrin::platform
