// talvrin-repair: the repair sequence without a window, as a program's main routine. The check of
// the process's rights is a parameter, so a test can run the program as a standard user would.
#pragma once

#include <functional>

#include "platform/os/console.h"

namespace talvrin {

using AdministratorCheck = std::function<platform::AdministratorRights()>;

// Runs talvrin-repair with the program's arguments and answers its exit status: 0 when the
// sequence ran to its end and all its output was written, 1 when it did not complete, when
// writing its output failed, or when the process lacks an administrator's rights (then nothing is
// run), 2 for a usage error.
int repairConsoleMain(int argc, char** argv, const AdministratorCheck& administratorRights);

}  // namespace talvrin
