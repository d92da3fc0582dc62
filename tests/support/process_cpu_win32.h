// Processor time a Windows process has used: the limit of the Windows tests' waits, so that a hang
// fails a test without any wall-clock assertion.
#pragma once

#include <windows.h>

namespace talvrin::testsupport {

// Seconds of processor time (kernel and user) `process` has used; 0 when the system cannot say.
inline double processCpuSeconds(HANDLE process = GetCurrentProcess()) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    const auto seconds = [](const FILETIME& t) {
        return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) |
                                   t.dwLowDateTime) /
               1e7;
    };
    return seconds(kernel) + seconds(user);
}

}  // namespace talvrin::testsupport
