// POSIX has no registry.
#include "platform/os/registry_access.h"

namespace talvrin::platform {

std::optional<std::string> setMachineKeyAccess(std::string_view,
                                               std::span<const KeyAccess>) noexcept {
    return std::string("no registry");  // short enough not to allocate
}

}  // namespace talvrin::platform
