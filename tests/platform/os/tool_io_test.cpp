// The tool's system services: why a path cannot be read, and output files that appear whole or
// not at all (a failed write, a discarded file and an interruption leave nothing behind).
#include "platform/os/tool_io.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "support/temp_directory.h"

namespace {

namespace fs = std::filesystem;
using talvrin::platform::ReadProblem;
using talvrin::platform::ReplacingFile;

class ToolIo : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = talvrin::testsupport::makeTempDirectory("tool_io_test_");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string path(const char* name) const { return (dir_ / name).string(); }
    static std::string contents(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // The folder's entries other than the given names.
    std::vector<std::string> strays(std::initializer_list<std::string> expected) const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir_)) {
            const std::string name = e.path().filename().string();
            if (std::find(expected.begin(), expected.end(), name) == expected.end())
                out.push_back(name);
        }
        return out;
    }
    fs::path dir_;
};

TEST_F(ToolIo, WhyAPathCannotBeRead) {
    std::ofstream(path("file")) << "x";
    fs::create_directory(path("sub"));
    const struct {
        std::string path;
        ReadProblem expected;
    } cases[] = {
        {path("file"), ReadProblem::kNone},
        {path("missing"), ReadProblem::kNotFound},
        {path("missing/deeper"), ReadProblem::kNotFound},
        {path("file/under-a-file"), ReadProblem::kNotFound},
        {path("sub"), ReadProblem::kIsDirectory},
        {"", ReadProblem::kNotFound},
    };
    for (const auto& c : cases)
        EXPECT_EQ(talvrin::platform::whyUnreadable(c.path), c.expected) << c.path;
#ifndef _WIN32
    // Permission bits bind everyone but the superuser.
    if (::geteuid() != 0) {
        ::chmod(path("file").c_str(), 0);
        EXPECT_EQ(talvrin::platform::whyUnreadable(path("file")), ReadProblem::kPermissionDenied);
    }
#endif
}

TEST_F(ToolIo, AReplacingFileAppearsOnlyWhenCommitted) {
    std::ofstream(path("out"), std::ios::binary) << "old";
    const std::vector<std::uint8_t> bytes = {'n', 'e', 'w', '!'};
    {
        ReplacingFile f = ReplacingFile::create(path("out"));
        ASSERT_TRUE(f.isOpen()) << f.error();
        ASSERT_TRUE(f.write(bytes));
        EXPECT_EQ(contents(path("out")), "old") << "the target is untouched until the commit";
        EXPECT_EQ(strays({"out"}).size(), 1u) << "the temporary lies beside the target";
    }
    EXPECT_EQ(contents(path("out")), "old") << "dropped without a commit: nothing changes";
    EXPECT_TRUE(strays({"out"}).empty());

    ReplacingFile f = ReplacingFile::create(path("out"));
    ASSERT_TRUE(f.write(bytes));
    ASSERT_TRUE(f.commit()) << f.error();
    EXPECT_EQ(contents(path("out")), "new!");
    EXPECT_TRUE(strays({"out"}).empty());

    // A folder that does not exist: the system's reason, and nothing made.
    ReplacingFile nowhere = ReplacingFile::create(path("missing/out"));
    EXPECT_FALSE(nowhere.isOpen());
    EXPECT_FALSE(nowhere.error().empty());
    // A folder in the target's place: the rename fails, the temporary goes.
    fs::create_directory(path("dir"));
    ReplacingFile onDir = ReplacingFile::create(path("dir"));
    ASSERT_TRUE(onDir.write(bytes));
    EXPECT_FALSE(onDir.commit());
    EXPECT_FALSE(onDir.error().empty());
    EXPECT_TRUE(strays({"out", "dir"}).empty());
}

#ifndef _WIN32
TEST_F(ToolIo, ReplacingKeepsTheTargetsPermissionBits) {
    std::ofstream(path("out")) << "old";
    ::chmod(path("out").c_str(), 0640);
    ReplacingFile f = ReplacingFile::create(path("out"));
    ASSERT_TRUE(f.write(std::vector<std::uint8_t>{1}));
    ASSERT_TRUE(f.commit());
    struct stat st {};
    ASSERT_EQ(::stat(path("out").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(ToolIo, AFailedOrInterruptedWriteLeavesNoFile) {
    std::ofstream(path("out")) << "old";
    // A write beyond the file size limit fails (EFBIG) as a full disk would.
    const auto beyondTheLimit = [this] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        limit.rlim_cur = 4096;
        limit.rlim_max = RLIM_INFINITY;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ReplacingFile f = ReplacingFile::create(path("out"));
        const bool wrote = f.write(std::vector<std::uint8_t>(100000, 7));
        std::_Exit(!wrote && !f.error().empty() && !f.commit() ? 0 : 1);
    };
    EXPECT_EXIT(beyondTheLimit(), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(contents(path("out")), "old");
    EXPECT_TRUE(strays({"out"}).empty());
    // Interrupted halfway: the handler removes the temporary, and the signal still ends the
    // process as it would have.
    const auto interrupted = [this] {
        talvrin::platform::removeUnfinishedFilesOnInterrupt();
        ReplacingFile f = ReplacingFile::create(path("out"));
        f.write(std::vector<std::uint8_t>(1000, 7));
        std::raise(SIGTERM);
        std::_Exit(3);
    };
    EXPECT_EXIT(interrupted(), ::testing::KilledBySignal(SIGTERM), "");
    EXPECT_EQ(contents(path("out")), "old");
    EXPECT_TRUE(strays({"out"}).empty());
}
#endif

}  // namespace
