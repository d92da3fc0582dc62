// talvrin-image run as a process by the tool's tests, and a fresh folder with a small PNG in it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "image/codecs/gifico_test_util.h"
#include "support/run_command.h"
#include "support/temp_directory.h"

namespace talvrin::tooltest {

struct ToolRun {
    std::string out;  // standard output and standard error together
    int status = -1;
};

// talvrin-image with the arguments (through the shell: quoting and redirections work).
inline ToolRun run(const std::string& args) {
    const auto r = testsupport::runCommand(testsupport::programPath("talvrin-image") + " " + args);
    return {r.output, r.exitStatus};
}

// A name as info's tab-separated line shows it: backslashes doubled (Windows paths have them),
// so that the escapes of control characters stay unambiguous.
inline std::string shown(const std::string& name) {
    std::string out;
    for (const char c : name) {
        out += c;
        if (c == '\\') out += c;
    }
    return out;
}

#ifndef _WIN32
// The peak memory of one run of a program (its path first), in kilobytes; -1 when it fails.
inline long peakKilobytes(const std::vector<std::string>& args) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        std::_Exit(127);
    }
    int status = 0;
    rusage usage{};
    if (::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return -1;
    return usage.ru_maxrss;
}
#endif

// A fresh folder per test, holding a.png: 2 x 2, red, green / blue, white at alpha 128.
class ToolFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = testsupport::makeTempDirectory("talvrin_image_test_");
        ASSERT_FALSE(dir_.empty());
        png_ = (dir_ / "a.png").string();
        testutil::writeFile(
            png_, testutil::makePngRgba(
                      2, 2, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 128}));
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    std::filesystem::path dir_;
    std::string png_;
};

}  // namespace talvrin::tooltest
