// POSIX has no interpreter that takes the lines meant for the desktop's: those lines are run as
// they stand, like every other (and fail to start where no such program exists).
#include "platform/os/command_interpreter.h"

namespace talvrin::platform {

std::string commandInterpreter() {
    return {};
}

}  // namespace talvrin::platform
