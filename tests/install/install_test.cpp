// An install into a temporary prefix: the programs in bin/, the support files in the data
// folder the repair steps name, the menu entry with its icons, the manual pages.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/run_command.h"

namespace {

namespace fs = std::filesystem;
using talvrin::testsupport::runCommand;

std::string quoted(const fs::path& p) {
    return "'" + p.string() + "'";
}

// The value of "Key=" in a desktop entry.
std::string entryValue(const fs::path& entry, const std::string& key) {
    std::ifstream in(entry);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return {};
}

class Install : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "talvrin-install-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        prefix_ = root_ / "pre fix";  // the program's folder may hold a space
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    fs::path root_, prefix_;
};

TEST_F(Install, TheInstalledRepairNamesTheInstalledSupportFiles) {
    const auto installed = runCommand(std::string(TALVRIN_CMAKE_COMMAND) + " --install " +
                                      quoted(TALVRIN_BUILD_DIR) + " --prefix " + quoted(prefix_));
    ASSERT_EQ(installed.exitStatus, 0) << installed.output;

    const fs::path p = prefix_ / "share" / "talvrin";
    for (const char* name : {"firewall_reg_permissions.txt", "firewall_settings.reg",
                             "reg_wmi_dlls.bat", "reg_wmi_exes.bat"})
        EXPECT_TRUE(fs::is_regular_file(p / "files" / name)) << name;
    EXPECT_FALSE(fs::exists(p / "files" / "README.md"));

    // P is the data folder: step 3 quotes both of its paths, steps 9 and 10 their batch files.
    const auto run = runCommand(quoted(prefix_ / "bin" / "talvrin-repair") + " --verbose");
    ASSERT_EQ(run.exitStatus, 0) << run.output;
    const std::string P = p.string();
    EXPECT_NE(run.output.find("    $ \"" + P + "/files/regini.exe\" \"" + P +
                              "/files/firewall_reg_permissions.txt\"\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("    $ REGEDIT /S \"" + P + "/files/firewall_settings.reg\"\n"),
              std::string::npos);
    EXPECT_NE(run.output.find("    $ \"" + P + "/files/reg_wmi_exes.bat\"\n"), std::string::npos);

    std::vector<std::string> programs = {"talvrin-repair", "talvrin-image"};
    if (TALVRIN_HAS_GUI) programs.push_back("talvrin");
    for (const auto& program : programs) {
        EXPECT_TRUE(fs::is_regular_file(prefix_ / "bin" / program)) << program;
        EXPECT_TRUE(fs::is_regular_file(prefix_ / "share/man/man1" / (program + ".1.gz")))
            << program;
    }
    if (TALVRIN_HAS_GUI) {
        // The menu entry starts an installed program and names an installed icon.
        const fs::path entry = prefix_ / "share/applications/talvrin.desktop";
        ASSERT_TRUE(fs::is_regular_file(entry));
        EXPECT_TRUE(fs::is_regular_file(prefix_ / "bin" / entryValue(entry, "Exec")));
        const std::string icon = entryValue(entry, "Icon") + ".png";
        for (const char* size : {"48x48", "128x128"})
            EXPECT_TRUE(fs::is_regular_file(prefix_ / "share/icons/hicolor" / size / "apps" / icon))
                << size;
        // The page the window's link opens from <prefix>/bin.
        EXPECT_TRUE(fs::is_regular_file(prefix_ / "share/doc/talvrin/talvrin.html"));
    }
}

// A stripped install, as the README's Install section and the package make it: no debugging
// information, symbol table or compiler notes; and a release build's hardening in each program
// (relocations resolved at start and read-only, fortified calls, stack protection).
TEST_F(Install, StrippedProgramsCarryNoNotesAndKeepTheirHardening) {
    if (runCommand("command -v readelf").exitStatus != 0) GTEST_SKIP() << "no readelf (binutils)";
    const auto installed =
        runCommand(std::string(TALVRIN_CMAKE_COMMAND) + " --install " + quoted(TALVRIN_BUILD_DIR) +
                   " --prefix " + quoted(prefix_) + " --strip");
    ASSERT_EQ(installed.exitStatus, 0) << installed.output;
    std::vector<std::string> programs = {"talvrin-repair", "talvrin-image"};
    if (TALVRIN_HAS_GUI) programs.push_back("talvrin");
    for (const auto& program : programs) {
        const std::string file = quoted(prefix_ / "bin" / program);
        const std::string sections = runCommand("readelf -S -W " + file).output;
        ASSERT_NE(sections.find(".text"), std::string::npos) << program << sections;
        for (const char* gone : {" .comment ", " .note ", " .debug_", " .symtab "})
            EXPECT_EQ(sections.find(gone), std::string::npos) << program << ":" << gone;
        if (!TALVRIN_HARDENED) continue;
        EXPECT_NE(runCommand("readelf -l -W " + file).output.find("GNU_RELRO"), std::string::npos)
            << program;
        EXPECT_NE(runCommand("readelf -d -W " + file).output.find("BIND_NOW"), std::string::npos)
            << program;
        const std::string symbols = runCommand("readelf --dyn-syms -W " + file).output;
        EXPECT_NE(symbols.find("__stack_chk_fail"), std::string::npos) << program;
        EXPECT_NE(symbols.find("_chk@"), std::string::npos) << program << ": no fortified call";
    }
}

}  // namespace
