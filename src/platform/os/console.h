// What a console program needs of the system beyond its standard streams: whether it runs with
// an administrator's rights, and writes to a reader that has gone failing instead of ending the
// process.
#pragma once

namespace talvrin::platform {

enum class AdministratorRights {
    Held,     // the process's token holds the Administrators group (elevated, where UAC is on)
    Missing,  // it does not: a standard user, or an administrator's token that is not elevated
    Unknown,  // the system cannot say (POSIX has no such group; the check is missing)
};

// Windows: CheckTokenMembership of the process's token with the built-in Administrators group,
// the function found at run time. POSIX: Unknown.
[[nodiscard]] AdministratorRights administratorRights() noexcept;

// A write to a pipe whose reader has gone fails (EPIPE) instead of killing the process with
// SIGPIPE (POSIX; Windows has no such signal and nothing to do). Children started afterwards
// still get the default handling: the command runner resets it for them.
void ignoreBrokenPipes() noexcept;

}  // namespace talvrin::platform
