// No system picture loader on POSIX: the default loader decodes everything itself.
#include "platform/picture/picture_loader.h"

namespace talvrin::platform {

std::unique_ptr<PictureLoader> makeSystemPictureLoader(std::uint64_t) noexcept {
    return nullptr;
}

}  // namespace talvrin::platform
