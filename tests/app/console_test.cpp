// The console front end run as a process: the progress lines, the message text, the status.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/repair_sequence.h"
#include "support/run_command.h"
#include "support/temp_directory.h"

namespace {

struct Result {
    std::string out;
    int status = -1;
};

Result runTool(const std::string& args) {
    const auto r = talvrin::testsupport::runCommand(
        talvrin::testsupport::programPath("talvrin-repair") + " " + args);
    return {r.output, r.exitStatus};
}

std::vector<std::string> lines(const std::string& s) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < s.size()) {
        size_t nl = s.find('\n', start);
        if (nl == std::string::npos) nl = s.size();
        out.push_back(s.substr(start, nl - start));
        start = nl + 1;
    }
    return out;
}

TEST(RepairConsole, PrintsEveryProgressLineThenTheMessageAndSucceeds) {
#ifdef _WIN32
    GTEST_SKIP() << "runs the real repair commands, and under Wine a process they leave keeps "
                    "this test's pipe open; repair_end_to_end checks the run instead";
#endif
    const Result r = runTool("");
    ASSERT_EQ(r.status, 0) << r.out;
    const auto l = lines(r.out);
    ASSERT_EQ(l.size(), 13u) << r.out;
    EXPECT_EQ(l[0], "Starting Repair, Please Wait...");
    EXPECT_EQ(l[1], "Step 01/10 - Stopping Firewall...");
    EXPECT_EQ(l[10], "Step 10/10 - Reregistering WMI EXE's...");
    EXPECT_EQ(l[11], "DONE! PLEASE REBOOT!");
    EXPECT_EQ(l[12],
              "Talvrin: All done!, You must restart your computer for the changes to take effect!");
}

TEST(RepairConsole, VerboseShowsEachCommandIndentedBeneathItsStep) {
#ifdef _WIN32
    GTEST_SKIP() << "runs the real repair commands, and under Wine a process they leave keeps "
                    "this test's pipe open; repair_end_to_end checks the run instead";
#endif
    const Result r = runTool("--verbose");
    ASSERT_EQ(r.status, 0) << r.out;
    const auto l = lines(r.out);
    ASSERT_GE(l.size(), 12u + 14u + 1u);  // lines, commands, the message; output may add more
    EXPECT_EQ(l[1], "Step 01/10 - Stopping Firewall...");
    EXPECT_EQ(l[2], "    $ net stop MpsSvc /y");
    EXPECT_NE(r.out.find("    $ winmgmt  /salvagerepository\n"), std::string::npos);
    const std::string batch = std::string(1, talvrin::kPathSeparator) + "files" +
                              talvrin::kPathSeparator + "reg_wmi_exes.bat\"\n";
    EXPECT_NE(r.out.find(batch), std::string::npos);
}

// A copy of the program in a folder of its own, with or without its support files, run with a
// PATH on which "net" exists but may not be run and nothing else of the repair exists: the
// warning about the missing folder comes once, and --verbose says why each command did not start.
TEST(RepairConsole, SaysWhyCommandsDidNotStartAndWarnsOnceWithoutTheSupportFiles) {
#ifdef _WIN32
    GTEST_SKIP() << "the stand-in PATH and file modes are POSIX ones";
#else
    namespace fs = std::filesystem;
    const fs::path root = talvrin::testsupport::makeTempDirectory("talvrin-console-");
    ASSERT_FALSE(root.empty());
    fs::create_directories(root / "path");
    std::ofstream(root / "path" / "net") << "#!/bin/sh\necho never runs\n";
    fs::permissions(root / "path" / "net", fs::perms::owner_read | fs::perms::owner_write);
    const std::string original = std::string(TALVRIN_BIN_DIR) + "/talvrin-repair";
    for (const bool withFiles : {false, true}) {
        const fs::path folder = root / (withFiles ? "with" : "without");
        fs::create_directories(folder);
        fs::copy_file(original, folder / "talvrin-repair");
        if (withFiles) fs::copy(std::string(TALVRIN_BIN_DIR) + "/files", folder / "files");
        const auto r =
            talvrin::testsupport::runCommand("env PATH='" + (root / "path").string() + "' '" +
                                             (folder / "talvrin-repair").string() + "' --verbose");
        EXPECT_EQ(r.exitStatus, 0) << r.output;
        const std::string warning = "talvrin-repair: warning: the support-file folder " +
                                    folder.string() + "/files does not exist";
        const auto first = r.output.find(warning);
        if (withFiles) {
            EXPECT_EQ(first, std::string::npos) << r.output;
        } else {
            ASSERT_NE(first, std::string::npos) << r.output;
            EXPECT_EQ(r.output.find(warning, first + 1), std::string::npos) << "said twice";
        }
        EXPECT_NE(r.output.find("    $ net stop MpsSvc /y\n      (could not start: permission "
                                "denied)\n    $ net stop SharedAccess /y\n"),
                  std::string::npos)
            << r.output;
        EXPECT_NE(r.output.find("    $ sc config MpsSvc start= auto\n      (could not start: not "
                                "found)\n"),
                  std::string::npos)
            << r.output;
    }
    fs::remove_all(root);
#endif
}

TEST(RepairConsole, UnknownArgumentIsAUsageError) {
    const Result r = runTool("--bogus");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("usage: talvrin-repair"), std::string::npos);
}

}  // namespace
