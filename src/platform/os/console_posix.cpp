// The console's system facts on POSIX.
#include <signal.h>

#include "platform/os/console.h"

namespace talvrin::platform {

AdministratorRights administratorRights() noexcept {
    return AdministratorRights::Unknown;
}

void ignoreBrokenPipes() noexcept {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

}  // namespace talvrin::platform
