// The release of a test child that waits ("wait PATH", tests/app/runner/runner_child.cpp): the
// child writes nothing until the test makes the file, so a test decides how long a child stays
// silent by what it has seen, not by a clock. Going out of scope releases the child and removes
// the folder, so a test that fails early leaves no child waiting.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "support/temp_directory.h"

namespace talvrin::testsupport {

class ChildRelease {
  public:
    ChildRelease() : folder_(makeTempDirectory("talvrin-release-")) {}
    ~ChildRelease() {
        release();
        std::error_code ec;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
    }
    ChildRelease(const ChildRelease&) = delete;
    ChildRelease& operator=(const ChildRelease&) = delete;

    // The child's arguments that make it wait for this release, ready for a command line.
    [[nodiscard]] std::string waitArgs() const {
        return "wait \"" + (folder_ / "go").string() + "\"";
    }
    // Lets the child go on; a second call does nothing.
    void release() {
        if (!released_ && !folder_.empty()) std::ofstream(folder_ / "go").put('\n');
        released_ = true;
    }
    [[nodiscard]] bool released() const { return released_; }
    // How many times the released child looked for its release (about one look per 2 ms of
    // silence); 0 before it has seen it.
    [[nodiscard]] unsigned long looks() const {
        unsigned long n = 0;
        std::ifstream(folder_ / "go.looks") >> n;
        return n;
    }

  private:
    std::filesystem::path folder_;
    bool released_ = false;
};

}  // namespace talvrin::testsupport
