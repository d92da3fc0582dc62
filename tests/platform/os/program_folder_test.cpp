// The program's folder: beside the executable, else the installed data folder, else the
// executable's folder.
#include "platform/os/program_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace talvrin::platform {
namespace {

namespace fs = std::filesystem;

TEST(ProgramFolder, SupportFilesBesideTheExecutableElseInTheInstalledDataFolder) {
    std::random_device seed;
    const fs::path root =
        fs::temp_directory_path() / ("talvrin-folder-" + std::to_string(seed()) + "-" +
                                     std::to_string(seed()));
    ASSERT_TRUE(fs::create_directories(root));
    const fs::path portable = root / "portable", prefix = root / "pre fix";
    const fs::path data = (prefix / "bin" / kInstalledProgramFolder).lexically_normal();
    fs::create_directories(portable / "files");
    fs::create_directories(prefix / "bin");
    fs::create_directories(data / "files");
    fs::create_directories(root / "bare");
    fs::create_directories(portable / "bin");

    EXPECT_EQ(data, prefix / "share" / "talvrin");
    EXPECT_EQ(programFolderFor(portable.string()), portable.string());
    EXPECT_EQ(programFolderFor((prefix / "bin").string()), data.string());
    EXPECT_EQ(programFolderFor((root / "bare").string()), (root / "bare").string());
    // A portable copy's own files win over an installed data folder above it.
    fs::create_directories(portable / "share" / "talvrin" / "files");
    EXPECT_EQ(programFolderFor(portable.string()), portable.string());
    EXPECT_EQ(programFolderFor(""), "");
    fs::remove_all(root);
}

TEST(ProgramFolder, TheRunningTestLiesInItsExecutableFolder) {
    const std::string folder = executableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(fs::exists(fs::path(folder) / "platform_os_tests") ||
                fs::exists(fs::path(folder) / "platform_os_tests.exe"));
}

}  // namespace
}  // namespace talvrin::platform
