#include "platform/os/files.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/temp_directory.h"

namespace talvrin::platform {
namespace {

namespace fs = std::filesystem;

// The file-system path of a UTF-8 path.
fs::path fromUtf8(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

// What overwriting must keep, per platform: permission bits on POSIX; the hidden and system
// attributes on Windows (without them passed on, the system refuses to replace such a file).
#ifdef _WIN32
void markSpecial(const std::string& p) {
    ASSERT_TRUE(
        SetFileAttributesW(fromUtf8(p).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}
bool isStillSpecial(const std::string& p) {
    const DWORD a = GetFileAttributesW(fromUtf8(p).c_str());
    const DWORD both = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return a != INVALID_FILE_ATTRIBUTES && (a & both) == both;
}
#else
void markSpecial(const std::string& p) {
    ASSERT_EQ(::chmod(p.c_str(), 0751), 0);
}
bool isStillSpecial(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && (st.st_mode & 07777) == 0751;
}
#endif

// A private directory removed with everything in it after each test.
class FilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = testsupport::makeTempDirectory("talvrin-files-");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    // The UTF-8 path of a name in the folder, as the file calls take it.
    std::string path(const std::string& name) const {
        const std::u8string text = (dir_ / fromUtf8(name)).u8string();
        return std::string(text.begin(), text.end());
    }
    static void writeText(const std::string& p, const std::string& text) {
        std::ofstream(fromUtf8(p), std::ios::binary) << text;
    }
    static std::string readText(const std::string& p) {
        std::ifstream in(fromUtf8(p), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path dir_;
};

// ---- Reading ------------------------------------------------------------------------------

TEST_F(FilesTest, ReadFormReadsSeeksAndSizes) {
    writeText(path("a.bin"), "0123456789");
    File f = OpenImageFile(path("a.bin"), true);
    ASSERT_TRUE(f.isOpen());
    EXPECT_EQ(f.size(), 10u);
    char buf[16] = {};
    EXPECT_EQ(f.read(buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), "0123");
    EXPECT_EQ(f.seek(-3, SeekOrigin::End), 7u);
    EXPECT_EQ(f.read(buf, 16), 3u);  // short read at the end
    EXPECT_EQ(std::string(buf, 3), "789");
    EXPECT_EQ(f.read(buf, 16), 0u);
    EXPECT_FALSE(f.write("x", 1));  // opened for reading only
    EXPECT_EQ(f.seek(-1, SeekOrigin::Begin), std::nullopt);
}

TEST_F(FilesTest, ReadFormRefusesMissingFilesDirectoriesAndBadNames) {
    EXPECT_FALSE(OpenImageFile(path("missing"), true).isOpen());
    EXPECT_FALSE(OpenImageFile(dir_.string(), true).isOpen());
    EXPECT_FALSE(OpenImageFile("", true).isOpen());
    writeText(path("a"), "x");
    EXPECT_FALSE(OpenImageFile(std::string_view(path("a") + std::string(1, '\0') + "b"), true));
}

TEST_F(FilesTest, ClosedOrEmptyHandleFailsCleanly) {
    File none;
    char c = 0;
    EXPECT_FALSE(none.isOpen());
    EXPECT_EQ(none.read(&c, 1), std::nullopt);
    EXPECT_FALSE(none.write(&c, 1));
    EXPECT_EQ(none.size(), std::nullopt);
    EXPECT_EQ(none.seek(0, SeekOrigin::Begin), std::nullopt);

    writeText(path("a"), "abc");
    File f = OpenImageFile(path("a"), true);
    File moved = std::move(f);
    EXPECT_FALSE(f.isOpen());  // NOLINT: the moved-from handle is empty by contract
    EXPECT_TRUE(moved.isOpen());
    EXPECT_TRUE(moved.close());
    EXPECT_EQ(moved.read(&c, 1), std::nullopt);
}

// ---- Writing ------------------------------------------------------------------------------

TEST_F(FilesTest, NamesOutsideAnyNarrowCodePageOpen) {
    // Latin, Greek, a symbol and a character beyond the 16-bit range in one name.
    const std::string p = path("\xc3\xbc \xce\xa9 \xe2\x82\xac \xf0\x9f\x98\x80.png");
    writeText(p, "named");
    File f = OpenImageFile(p, true);
    ASSERT_TRUE(f.isOpen());
    char buf[8] = {};
    EXPECT_EQ(f.read(buf, sizeof buf), 5u);
    EXPECT_EQ(std::string(buf, 5), "named");
    f.close();
    EXPECT_TRUE(ForceDeleteFile(p));
    EXPECT_FALSE(fs::exists(fromUtf8(p)));
}

TEST_F(FilesTest, WriteFormTruncatesAndKeepsWhatTheFileHad) {
    const std::string p = path("keep.png");
    writeText(p, "old contents that are longer");
    markSpecial(p);
    {
        File f = OpenImageFile(p, false);
        ASSERT_TRUE(f.isOpen());
        EXPECT_EQ(f.size(), 0u);
        EXPECT_TRUE(f.write("new", 3));
        EXPECT_EQ(f.seek(0, SeekOrigin::Begin), 0u);
        char buf[3];
        EXPECT_EQ(f.read(buf, 3), 3u);  // the write form also reads
    }
    EXPECT_EQ(readText(p), "new");
    EXPECT_TRUE(isStillSpecial(p));
}

TEST_F(FilesTest, WriteFormCreatesAMissingFile) {
    const std::string p = path("new.png");
    {
        File f = OpenImageFile(p, false);
        ASSERT_TRUE(f.isOpen());
        EXPECT_TRUE(f.write("png", 3));
    }
    EXPECT_EQ(readText(p), "png");
    EXPECT_FALSE(OpenImageFile(path("no/such/dir/x.png"), false).isOpen());
}

TEST_F(FilesTest, Utf16NamesBecomeUtf8Paths) {
    EXPECT_EQ(utf16ToUtf8(u"a\u00fc\u20ac"), "a\xc3\xbc\xe2\x82\xac");
    EXPECT_EQ(utf16ToUtf8(u"\U0001F600"), "\xf0\x9f\x98\x80");
    const char16_t lone[] = {u'x', 0xD800, u'y', 0};
    EXPECT_EQ(utf16ToUtf8(lone), "x\xef\xbf\xbdy");
}

TEST_F(FilesTest, Utf8PathsBecomeUtf16NamesAndBack) {
    const std::u16string names[] = {u"plain.png", u"a\u00fc\u20ac", u"\U0001F600 x"};
    for (const auto& n : names)
        EXPECT_EQ(utf8ToUtf16(utf16ToUtf8(n)), n);
    // A cut-off sequence, a stray continuation byte and an encoded surrogate are replaced.
    EXPECT_EQ(utf8ToUtf16("a\xe2\x82"), u"a\ufffd\ufffd");
    EXPECT_EQ(utf8ToUtf16("\x80"
                          "b"),
              u"\ufffdb");
    EXPECT_EQ(utf8ToUtf16("\xed\xa0\x80"), u"\ufffd\ufffd\ufffd");
    EXPECT_EQ(utf8ToUtf16("\xc0\xaf"), u"\ufffd\ufffd");  // overlong "/"
}

// ---- Deleting -----------------------------------------------------------------------------

TEST_F(FilesTest, ForceDeleteRemovesReadOnlyFiles) {
    const std::string p = path("ro.png");
    writeText(p, "x");
    // Read-only for everyone (on Windows: the read-only attribute).
    fs::permissions(p, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_TRUE(ForceDeleteFile(p));
    EXPECT_FALSE(fs::exists(p));
}

TEST_F(FilesTest, ForceDeleteFailsForMissingFilesAndDirectories) {
    EXPECT_FALSE(ForceDeleteFile(path("missing")));
    fs::create_directory(path("sub"));
    EXPECT_FALSE(ForceDeleteFile(path("sub")));
    EXPECT_TRUE(fs::exists(path("sub")));
    EXPECT_FALSE(ForceDeleteFile(""));
}

}  // namespace
}  // namespace talvrin::platform
