// What the three programs say on their command lines before any work: the version, and the
// window's one line when no display can be opened.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_command.h"

namespace {

using talvrin::testsupport::programPath;
using talvrin::testsupport::runCommand;

// The environment of a desktop session without any display.
const std::string kNoDisplay = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ";

TEST(CommandLines, EveryProgramPrintsTheProjectVersion) {
    std::vector<std::string> programs = {"talvrin-repair", "talvrin-image"};
    if (TALVRIN_HAS_GUI) programs.push_back("talvrin");
    for (const std::string& program : programs) {
        // Without a display: the window's program must not try to open one.
        const auto r = runCommand(kNoDisplay + programPath(program) + " --version");
        EXPECT_EQ(r.exitStatus, 0) << program;
        EXPECT_EQ(r.output, program + " " + TALVRIN_VERSION + "\n");
    }
}

TEST(CommandLines, WindowWithoutADisplaySaysSoInOneLineAndExitsWithOne) {
    if (!TALVRIN_HAS_GUI) GTEST_SKIP() << "no window in this build";
    struct Case {
        std::string environment;
        std::string reason;
    };
    const Case cases[] = {
        {kNoDisplay, "DISPLAY is not set"},
        // A display number nothing listens on.
        {kNoDisplay + "DISPLAY=:7391 ", "DISPLAY=:7391 does not answer"},
    };
    for (const Case& c : cases) {
        const auto r = runCommand(c.environment + programPath("talvrin"));
        EXPECT_EQ(r.exitStatus, 1) << c.reason;
        EXPECT_EQ(r.output, "talvrin: cannot open a display (" + c.reason +
                                "); talvrin-repair runs the same repair on the console\n");
    }
}

}  // namespace
