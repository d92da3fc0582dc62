// The tool's system services: why a path cannot be read, and output files that appear whole or
// not at all (a failed write, a discarded file and an interruption leave nothing behind), with
// what is no regular file left what it is and names as long as a file's may be.
#include "platform/os/tool_io.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#endif

#include "support/temp_directory.h"

namespace {

namespace fs = std::filesystem;
using talvrin::FileFailure;
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
        FileFailure expected;
    } cases[] = {
        {path("file"), FileFailure::kNone},
        {path("missing"), FileFailure::kNotFound},
        {path("missing/deeper"), FileFailure::kNotFound},
        {path("file/under-a-file"), FileFailure::kNotFound},
        {path("sub"), FileFailure::kIsDirectory},
        {"", FileFailure::kNotFound},
    };
    const auto opened = [](const std::string& p) {
        talvrin::FileFailureRecord problem;
        const auto in = talvrin::platform::InputStream::open(p, problem);
        EXPECT_EQ(in.isOpen(), !problem.failed()) << p;
        return problem.reason;
    };
    for (const auto& c : cases)
        EXPECT_EQ(opened(c.path), c.expected) << c.path;
#ifndef _WIN32
    // Permission bits bind everyone but the superuser.
    if (::geteuid() != 0) {
        ::chmod(path("file").c_str(), 0);
        EXPECT_EQ(opened(path("file")), FileFailure::kPermissionDenied);
    }
#endif
}

TEST_F(ToolIo, AReplacingFileAppearsOnlyWhenCommitted) {
    std::ofstream(path("out"), std::ios::binary) << "old";
    const std::vector<std::uint8_t> bytes = {'n', 'e', 'w', '!'};
    {
        ReplacingFile f = ReplacingFile::create(path("out"));
        ASSERT_TRUE(f.isOpen()) << f.failure().detail;
        ASSERT_TRUE(f.write(bytes));
        EXPECT_EQ(contents(path("out")), "old") << "the target is untouched until the commit";
        EXPECT_EQ(strays({"out"}).size(), 1u) << "the temporary lies beside the target";
    }
    EXPECT_EQ(contents(path("out")), "old") << "dropped without a commit: nothing changes";
    EXPECT_TRUE(strays({"out"}).empty());

    ReplacingFile f = ReplacingFile::create(path("out"));
    ASSERT_TRUE(f.write(bytes));
    ASSERT_TRUE(f.commit()) << f.failure().detail;
    EXPECT_EQ(contents(path("out")), "new!");
    EXPECT_TRUE(strays({"out"}).empty());

    // A folder that does not exist: the system's reason, and nothing made.
    ReplacingFile nowhere = ReplacingFile::create(path("missing/out"));
    EXPECT_FALSE(nowhere.isOpen());
    EXPECT_EQ(nowhere.failure().reason, FileFailure::kNotFound);
    // A folder in the target's place is refused before anything is made.
    fs::create_directory(path("dir"));
    ReplacingFile onDir = ReplacingFile::create(path("dir"));
    EXPECT_FALSE(onDir.isOpen());
    EXPECT_EQ(onDir.failure().reason, FileFailure::kIsDirectory);
    EXPECT_TRUE(strays({"out", "dir"}).empty());
    // A name as long as a file name may be: the temporary's name is cut to fit beside it.
    const std::string longest(255 - 4, 'n');
    ReplacingFile longName = ReplacingFile::create(path((longest + ".png").c_str()));
    ASSERT_TRUE(longName.isOpen()) << longName.failure().detail;
    ASSERT_TRUE(longName.write(bytes));
    ASSERT_TRUE(longName.commit()) << longName.failure().detail;
    EXPECT_EQ(contents(path((longest + ".png").c_str())), "new!");
}

TEST(ToolIoNames, TheTemporarysNameFitsAndKeepsWholeCharacters) {
    using talvrin::platform::temporaryNameFor;
    const struct {
        std::string base;
        std::size_t nameMax;
        std::string expected;
    } cases[] = {
        {"a.png", 255, ".a.png.tmp-1-2"},
        {std::string(250, 'x'), 255, "." + std::string(246, 'x') + ".tmp-1-2"},
        {std::string(241, 'x'), 255, "." + std::string(241, 'x') + ".tmp-1-2"},
        // A two-byte character that would be cut in half goes whole.
        {"ab\xC3\xA9", 12, ".ab.tmp-1-2"},
        {"ab\xC3\xA9", 13, ".ab\xC3\xA9.tmp-1-2"},
        {"abc", 5, "..tmp-1-2"},
    };
    for (const auto& c : cases) {
        const std::string name = temporaryNameFor(c.base, ".tmp-1-2", c.nameMax);
        EXPECT_EQ(name, c.expected) << c.base.size() << " bytes in " << c.nameMax;
        if (c.nameMax >= 9) {
            EXPECT_LE(name.size(), c.nameMax);
        }
    }
}

#ifndef _WIN32
// What is not a regular file stays what it is: a FIFO and a device are written in place, a link
// keeps linking (to the new file), a socket is refused.
TEST_F(ToolIo, TargetsThatAreNoRegularFile) {
    const std::vector<std::uint8_t> bytes = {'p', 'n', 'g'};
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    std::ofstream(path("real"), std::ios::binary) << "old";
    fs::create_symlink(path("real"), path("link"));
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string sockPath = path("sock");
    ASSERT_LT(sockPath.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, sockPath.c_str(), sockPath.size() + 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    // The FIFO's reader, in a child: it sends back what arrived through a pipe.
    int back[2];
    ASSERT_EQ(::pipe(back), 0);
    const pid_t reader = ::fork();
    if (reader == 0) {
        const int fd = ::open(path("fifo").c_str(), O_RDONLY);
        char got[16];
        const ssize_t n = fd < 0 ? -1 : ::read(fd, got, sizeof got);
        if (n > 0) (void)!::write(back[1], got, static_cast<std::size_t>(n));
        std::_Exit(0);
    }
    const struct {
        std::string target;
        bool opens, inPlace;
    } cases[] = {
        {path("fifo"), true, true},
        {"/dev/null", true, true},
        {path("link"), true, false},
        {sockPath, false, false},
    };
    for (const auto& c : cases) {
        ReplacingFile f = ReplacingFile::create(c.target);
        ASSERT_EQ(f.isOpen(), c.opens) << c.target << ": " << f.failure().detail;
        if (!c.opens) {
            EXPECT_EQ(f.failure(),
                      (talvrin::FileFailureRecord{FileFailure::kUnwritable, "is a socket"}));
            continue;
        }
        EXPECT_EQ(f.inPlace(), c.inPlace) << c.target;
        ASSERT_TRUE(f.write(bytes));
        ASSERT_TRUE(f.commit()) << c.target << ": " << f.failure().detail;
    }
    ::close(back[1]);
    char got[16] = {};
    EXPECT_EQ(::read(back[0], got, sizeof got), 3);
    EXPECT_EQ(std::string(got), "png");
    ::close(back[0]);
    ::waitpid(reader, nullptr, 0);
    ::close(sock);
    EXPECT_TRUE(fs::is_fifo(path("fifo")));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(fs::is_symlink(path("link")));
    EXPECT_EQ(contents(path("real")), "png");
    EXPECT_TRUE(strays({"fifo", "real", "link", "sock"}).empty());
}

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
        std::_Exit(!wrote && f.failure().reason == FileFailure::kUnwritable &&
                           !f.failure().detail.empty() && !f.commit()
                       ? 0
                       : 1);
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
