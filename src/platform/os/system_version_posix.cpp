// The system version on POSIX: a fixed answer, since no system of the old family exists here.
#include "platform/os/system_version.h"

namespace talvrin::platform {

SystemVersion querySystemVersion() noexcept {
    // Major 6 makes the capability detection settle on "blend usable and friendly".
    return SystemVersion{2, 6, 1, 1};
}

}  // namespace talvrin::platform
