#include "platform/win32/win32_screen.h"

#include <windows.h>

namespace talvrin::platform::win32 {

std::int32_t screenDotsPerInch(bool horizontal, std::int32_t fallback) noexcept {
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, horizontal ? LOGPIXELSX : LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : fallback;
}

void installScreenFacts(std::int32_t (*twipsPerPixelAt)(std::int32_t dotsPerInch)) {
    const std::int32_t x = screenDotsPerInch(true), y = screenDotsPerInch(false);
    setDotsPerInch(x, y);
    setTwipsPerPixel(twipsPerPixelAt(x), twipsPerPixelAt(y));
    for (int index = 0; index < kSystemColorCount; ++index)
        setSystemColor(index, static_cast<ColorRef>(GetSysColor(index)));
}

}  // namespace talvrin::platform::win32
