// The display on Windows: the screen device context's logical pixels per inch.
#include <windows.h>

#include "platform/os/screen_query.h"

namespace talvrin::platform {

std::optional<SystemScreen> querySystemScreen() noexcept {
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return std::nullopt;
    const SystemScreen facts{GetDeviceCaps(screen, LOGPIXELSX), GetDeviceCaps(screen, LOGPIXELSY)};
    ReleaseDC(nullptr, screen);
    if (facts.dotsPerInchX < 1 || facts.dotsPerInchY < 1) return std::nullopt;
    return facts;
}

}  // namespace talvrin::platform
