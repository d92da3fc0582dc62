// Runs a command line through the shell for end-to-end tests of the command-line programs:
// standard output and standard error together, and the exit status.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace talvrin::testsupport {

struct CommandResult {
    std::string output;
    int exitStatus = -1;  // -1 when the program did not exit normally
};

inline CommandResult runCommand(const std::string& commandLine) {
    CommandResult r;
    FILE* p = popen((commandLine + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.output.append(buf, n);
    const int status = pclose(p);
    r.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace talvrin::testsupport
