// The display's resolution as the operating system reports it, for a program without a window
// host to say it (the Qt host reports its own screen).
#pragma once

#include <cstdint>
#include <optional>

namespace talvrin::platform {

struct SystemScreen {
    std::int32_t dotsPerInchX = 0;
    std::int32_t dotsPerInchY = 0;
};

// The display's dots per inch, both above 0; nothing when the system has no display to ask
// (POSIX without a host: the desktop defaults of the screen facts hold there).
[[nodiscard]] std::optional<SystemScreen> querySystemScreen() noexcept;

}  // namespace talvrin::platform
