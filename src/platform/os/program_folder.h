// Where the running program lives.
#pragma once

#include <string>

namespace talvrin::platform {

// The folder holding the program's own executable, without a trailing separator except at the
// root of the file system ("/"). Empty when it cannot be determined.
[[nodiscard]] std::string programFolder();

// The folder part of an executable's path, by the same rule.
[[nodiscard]] std::string folderOf(const std::string& executablePath);

}  // namespace talvrin::platform
