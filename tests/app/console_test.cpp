// The console front end run as a process: the progress lines, the message text, the status.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
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

// Stand-ins for the repair's programs on PATH: each prints much more than a pipe holds, then
// notes in the log that it ran to its end. The folder holds a copy of talvrin-repair with its
// support files.
struct StandInRepair {
    std::filesystem::path root, program, log;
    std::string environment;

    StandInRepair() {
        namespace fs = std::filesystem;
        root = talvrin::testsupport::makeTempDirectory("talvrin-console-");
        if (root.empty()) return;
        log = root / "log";
        fs::create_directories(root / "path");
        for (const char* name : {"net", "sc", "winmgmt"}) {
            const fs::path script = root / "path" / name;
            std::ofstream(script) << "#!/bin/sh\ni=0\nwhile [ $i -lt 2000 ]; do\n"
                                     "  echo \"$0 $* printing line $i of its output\"\n"
                                     "  i=$((i + 1))\ndone\necho \"$(basename \"$0\") $*\" >>'"
                                  << log.string() << "'\n";
            fs::permissions(script, fs::perms::owner_all);
        }
        fs::create_directories(root / "program");
        program = root / "program" / "talvrin-repair";
        fs::copy_file(std::string(TALVRIN_BIN_DIR) + "/talvrin-repair", program);
        fs::copy(std::string(TALVRIN_BIN_DIR) + "/files", root / "program" / "files");
        environment = "PATH='" + (root / "path").string() + ":/usr/bin:/bin' ";
    }
    ~StandInRepair() {
        if (!root.empty()) std::filesystem::remove_all(root);
    }
    [[nodiscard]] std::string logged() const {
        std::ifstream in(log);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

// Every command the stand-ins answer for, once each, in the sequence's order.
const char* const kEveryStandInRan =
    "net stop MpsSvc /y\nnet stop SharedAccess /y\nsc config MpsSvc start= auto\n"
    "sc config SharedAccess start= auto\nnet stop winmgmt /y\nnet start winmgmt /y\n"
    "winmgmt /salvagerepository\n";

// A reader that quits early, or output nobody can take: the run goes on to its end, every
// command runs to its own end (none is cut off with the program), and the status is 1.
TEST(RepairConsole, LostOutputLetsEveryCommandFinishAndEndsWithStatusOne) {
#ifdef _WIN32
    GTEST_SKIP() << "the stand-in PATH, /dev/full and SIGPIPE are POSIX ones";
#else
    struct Case {
        const char* what;
        const char* redirection;  // applied to talvrin-repair's standard output
        const char* message;      // on standard error
    };
    const Case cases[] = {
        {"a reader that quits after 100 bytes", "| head -c 100 >/dev/null", "Broken pipe"},
        {"a full disk", ">/dev/full", "No space left on device"},
    };
    for (const Case& c : cases) {
        StandInRepair repair;
        ASSERT_FALSE(repair.root.empty());
        const std::string status = (repair.root / "status").string();
        const auto r = talvrin::testsupport::runCommand(
            "{ " + repair.environment + "'" + repair.program.string() + "' --verbose 2>'" +
            (repair.root / "stderr").string() + "'; echo $? >'" + status + "'; } " + c.redirection);
        std::ifstream statusFile(status);
        int exitStatus = -1;
        statusFile >> exitStatus;
        EXPECT_EQ(exitStatus, 1) << c.what << ": " << r.output;
        EXPECT_EQ(repair.logged(), kEveryStandInRan) << c.what;
        std::ifstream errors(repair.root / "stderr");
        const std::string said{std::istreambuf_iterator<char>(errors),
                               std::istreambuf_iterator<char>()};
        EXPECT_NE(
            said.find(std::string("talvrin-repair: could not write the output: ") + c.message),
            std::string::npos)
            << c.what << ": " << said;
    }
#endif
}

// Without an administrator's rights nothing runs: one message on standard error, status 1.
TEST(RepairConsole, WithoutAdministratorRightsNothingRuns) {
    std::string program = TALVRIN_REPAIR_STANDARD_USER;
#ifdef _WIN32
    for (char& ch : program)
        if (ch == '/') ch = '\\';
    const auto r = talvrin::testsupport::runCommand("\"" + program + "\" --verbose");
#else
    StandInRepair repair;
    ASSERT_FALSE(repair.root.empty());
    const auto r =
        talvrin::testsupport::runCommand(repair.environment + "'" + program + "' --verbose");
    EXPECT_EQ(repair.logged(), "");
#endif
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.output,
              "talvrin-repair: the repair needs an administrator's rights; nothing was run.\n"
              "Start it from a command prompt opened with \"Run as administrator\", or log on "
              "as an administrator.\n");
}

TEST(RepairConsole, UnknownArgumentIsAUsageError) {
    const Result r = runTool("--bogus");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("usage: talvrin-repair"), std::string::npos);
}

}  // namespace
