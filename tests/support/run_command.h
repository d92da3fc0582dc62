// Runs a command line through the shell for end-to-end tests of the command-line programs:
// standard output and standard error together, and the exit status. On Windows the shell is the
// command interpreter, and the output is read in text mode, so its line ends are "\n" as on POSIX.
#pragma once

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdio>
#include <string>

namespace talvrin::testsupport {

struct CommandResult {
    std::string output;
    int exitStatus = -1;  // -1 when the program did not exit normally
};

inline CommandResult runCommand(const std::string& commandLine) {
    CommandResult r;
#ifdef _WIN32
    // The interpreter removes the outer quotes of a line that starts with one.
    FILE* p = _popen(("\"" + commandLine + " 2>&1\"").c_str(), "rt");
#else
    FILE* p = popen((commandLine + " 2>&1").c_str(), "r");
#endif
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.output.append(buf, n);
#ifdef _WIN32
    r.exitStatus = _pclose(p);
#else
    const int status = pclose(p);
    r.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return r;
}

// The path of a program built beside the tests' executables, ready for a command line.
inline std::string programPath(const std::string& name) {
#ifdef _WIN32
    std::string path = std::string(TALVRIN_BIN_DIR) + "\\" + name + ".exe";
    for (char& c : path)
        if (c == '/') c = '\\';
    return "\"" + path + "\"";
#else
    return std::string(TALVRIN_BIN_DIR) + "/" + name;
#endif
}

}  // namespace talvrin::testsupport
