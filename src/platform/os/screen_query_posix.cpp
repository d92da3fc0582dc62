// The display on POSIX is the window host's to describe; without one there is nothing to ask.
#include "platform/os/screen_query.h"

namespace talvrin::platform {

std::optional<SystemScreen> querySystemScreen() noexcept {
    return std::nullopt;
}

}  // namespace talvrin::platform
