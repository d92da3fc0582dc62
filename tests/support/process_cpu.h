// Processor time this process has used, on every platform: the measure of the tests' limits that
// guard against hangs and spins, since it grows only while the process under test runs, however
// loaded the machine is.
#pragma once

#ifdef _WIN32
#include "support/process_cpu_win32.h"
#else
#include <time.h>
#endif

namespace talvrin::testsupport {

#ifndef _WIN32
// Seconds of processor time (all threads, kernel and user) this process has used.
inline double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}
#endif

}  // namespace talvrin::testsupport
