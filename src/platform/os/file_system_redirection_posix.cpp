// POSIX has no file-system redirection: nothing to turn off.
#include "platform/os/file_system_redirection.h"

namespace talvrin::platform {

FileSystemRedirectionOff::FileSystemRedirectionOff() noexcept = default;

void FileSystemRedirectionOff::revert() noexcept {
    off_ = false;
}

}  // namespace talvrin::platform
