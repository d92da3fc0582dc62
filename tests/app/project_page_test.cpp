// Where the window's link finds the program's own page: beside the executables in doc/ (the
// build tree, a copied folder), else in the installed documentation folder.
#include "app/project_page.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/temp_directory.h"

namespace talvrin {
namespace {

namespace fs = std::filesystem;

TEST(ProjectPage, BesideTheProgramFirstThenTheInstalledDocumentation) {
    const fs::path root = testsupport::makeTempDirectory("talvrin-page-");
    ASSERT_FALSE(root.empty());
    const fs::path copied = root / "copied folder";
    fs::create_directories(copied / "doc");
    std::ofstream(copied / "doc" / "talvrin.html") << "<title>Talvrin</title>";
    fs::create_directories(root / "usr" / "bin");

    struct Case {
        fs::path folder;
        fs::path page;
    };
    const Case cases[] = {
        {copied, copied / "doc" / "talvrin.html"},
        {root / "usr" / "bin", root / "usr" / "share" / "doc" / "talvrin" / "talvrin.html"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fs::path(projectPagePath(c.folder.string())), c.page.lexically_normal())
            << c.folder;
    EXPECT_EQ(projectPagePath(""), "");
    fs::remove_all(root);
}

}  // namespace
}  // namespace talvrin
