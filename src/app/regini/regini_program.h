// regini.exe: sets the access lists of registry keys as permission scripts say
// (permission_script.h). Its main routine, with the registry behind a parameter so that the
// program's rules are tested without one.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os/registry_access.h"

namespace talvrin::regini {

// Sets one key's access list; nothing on success, else the reason (platform::setMachineKeyAccess).
using KeyAccessSetter = std::function<std::optional<std::string>(
    std::string_view subkey, std::span<const platform::KeyAccess> access)>;

// Runs regini with its arguments (UTF-8; the program's name not among them): each script file in
// turn, each of its keys set as its line says. Prints one line to `messages` for each line it
// could not read (skipped; nothing else happens for it), each key it could not set and each file
// it could not read. Answers the exit status: 0 when every key was set, 1 when anything was
// reported, 2 for a usage error (no script, an option).
int runRegini(const std::vector<std::string>& args, const KeyAccessSetter& setKeyAccess,
              std::FILE* messages);

}  // namespace talvrin::regini
