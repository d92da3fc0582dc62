// talvrin-image and the files around it, with the reproducers of a hostile-input campaign: a
// batch never writes over an input, an output that is no regular file stays what it is, inputs
// are streams read no further than their format needs, and every refusal says what is wrong.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "image/codecs/gifico_test_util.h"
#include "image/codecs/png_test_builder.h"
#include "support/bmp_test_builder.h"
#include "tools/tool_run.h"

namespace {

using talvrin::testutil::Bytes;
using talvrin::tooltest::run;
using talvrin::tooltest::shown;
using talvrin::tooltest::ToolRun;
namespace fs = std::filesystem;

class ToolFiles : public talvrin::tooltest::ToolFolder {
  protected:
    void write(const std::string& name, const Bytes& bytes) const {
        fs::create_directories(fs::path(path(name)).parent_path());
        talvrin::testutil::writeFile(path(name), bytes);
    }
    Bytes read(const std::string& name) const { return talvrin::testutil::readFile(path(name)); }
    // A 64 x 64 PNG of noise, a few kilobytes however it is packed.
    Bytes noisePng() const {
        Bytes noise(64 * 64 * 4);
        std::uint32_t seed = 1;
        for (auto& b : noise)
            b = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
        return talvrin::testutil::makePngRgba(64, 64, noise);
    }
};

// An ISO media file's first box of the given major brand, padded past the smallest image.
Bytes isoMedia(std::string_view brand) {
    Bytes b(200, 0);
    const std::string box = std::string(
                                "\0\0\0\x14"
                                "ftyp",
                                8) +
                            std::string(brand) +
                            std::string(
                                "\0\0\0\0"
                                "mif1",
                                8);
    std::copy(box.begin(), box.end(), b.begin());
    return b;
}

Bytes textBytes(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

TEST_F(ToolFiles, BatchesNeverWriteOverTheirInputs) {
    const Bytes original = read("a.png");
    write("x/a.gif", talvrin::testutil::readFile(png_));  // any loadable file
    write("D/a.png", original);
    write("a.avif", isoMedia("avif"));
    const struct {
        std::string args;
        std::vector<std::string> says;
    } cases[] = {
        {"convert " + path("x/a.gif") + " " + path("D/a.png") + " --out-dir " + path("D") +
             " --format png",
         {"'" + path("x/a.gif") + "': not written: its output '" + path("D/a.png") +
              "' is the input '" + path("D/a.png") + "'",
          "'" + path("D/a.png") + "': not written: its output '" + path("D/a.png") +
              "' is this input itself"}},
        {"convert " + path("D/a.png") + " --out-dir " + path("D") + " --resize 10% --format png",
         {"is this input itself"}},
        {"render " + path("D/a.png") + " --out-dir " + path("D"), {"is this input itself"}},
        // A file that does not load takes no name from one that loads: neither is written.
        {"convert " + path("a.avif") + " " + png_ + " --out-dir " + path("o1") + " --format png",
         {"'" + path("a.avif") + "': not written: its output '" + path("o1") +
              "/a.png' is also the output of '" + png_ + "'",
          "'" + png_ + "': not written: its output '" + path("o1") +
              "/a.png' is also the output of '" + path("a.avif") + "'"}},
    };
    for (const auto& c : cases) {
        const ToolRun r = run(c.args);
        EXPECT_EQ(r.status, 1) << c.args << "\n" << r.out;
        for (const std::string& line : c.says)
            EXPECT_NE(r.out.find(line), std::string::npos) << c.args << "\n" << r.out;
        EXPECT_EQ(read("D/a.png"), original) << c.args;
        EXPECT_FALSE(fs::exists(path("o1/a.png"))) << c.args;
    }
}

#ifndef _WIN32
TEST_F(ToolFiles, OutputsThatAreNoRegularFileAndTheFileSizeLimit) {
    const std::string tool = talvrin::testsupport::programPath("talvrin-image");
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    fs::create_directory(path("dir"));
    write("big.png", noisePng());
    write("kept.png", {1, 2, 3});
    const std::string longName = std::string(250, 'n') + ".png";
    const struct {
        std::string line;  // through sh -c
        int status;
        std::string says;
    } cases[] = {
        // A FIFO is written into, never replaced.
        // (The shell holds it open both ways until the tool is done, so that the reader ends
        // whatever the tool did to it, and opens the reader's end before the tool starts: a
        // reader that opened it only after the tool and the shell had closed it would wait
        // for a writer for ever.)
        {"exec 3<> " + path("fifo") + " 4< " + path("fifo") + "; cat <&4 3>&- 4>&- > " +
             path("got") + " & exec 4<&-; " + tool + " convert " + png_ + " " + path("fifo") +
             " --format png; s=$?; exec 3>&-; wait; exit $s",
         0, ""},
        {tool + " convert " + png_ + " " + path("dir") + " --format png", 1,
         "cannot write '" + path("dir") + "': error=is a directory"},
        // Past the file size limit the write fails as on a full disk, without the signal.
        {"ulimit -f 2; exec " + tool + " convert " + path("big.png") + " " + path("kept.png"), 1,
         "error=unwritable (File too large)"},
        // The temporary's name is longer than the output's, and must still fit.
        {tool + " convert " + png_ + " " + path(longName), 0, ""},
    };
    for (const auto& c : cases) {
        const auto r = talvrin::testsupport::runCommand("sh -c '" + c.line + "'");
        EXPECT_EQ(r.exitStatus, c.status) << c.line << "\n" << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.line << "\n" << r.output;
    }
    EXPECT_TRUE(fs::is_fifo(path("fifo")));
    EXPECT_NE(run("info " + path("got")).out.find("format=png\ttype=10\tsize=2x2"),
              std::string::npos);
    EXPECT_TRUE(fs::is_directory(path("dir")));
    EXPECT_EQ(read("kept.png"), (Bytes{1, 2, 3}));
    EXPECT_TRUE(fs::exists(path(longName)));
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_))
        ++entries;
    EXPECT_EQ(entries, 7u)
        << "a.png, fifo, dir, big.png, kept.png, got, the long one; no temporary";
}

TEST_F(ToolFiles, InputsAreStreamsReadNoFurtherThanTheirFormatNeeds) {
    const std::string tool = talvrin::testsupport::programPath("talvrin-image");
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    // Sparse files: zeros, and a PNG header of 16 x 16 in front of 200 MB of them.
    std::ofstream(path("zeros")).close();
    fs::resize_file(path("zeros"), std::uintmax_t{1536} << 20);
    Bytes header = talvrin::testutil::makePngRgba(16, 16, Bytes(16 * 16 * 4, 5));
    header.resize(33);  // signature and IHDR
    write("padded.png", header);
    fs::resize_file(path("padded.png"), 200u << 20);
    Bytes huge = header;
    huge[16] = huge[20] = 0;
    huge[17] = huge[21] = 0;
    huge[18] = huge[22] = 0x9C;  // 40000 = 0x9C40
    huge[19] = huge[23] = 0x40;
    huge.resize(100, 0);  // past the smallest image: only the size is wrong
    write("huge.png", huge);
    const struct {
        std::string line;
        int status;
        const char* says;
    } cases[] = {
        {"cat " + png_ + " 2>/dev/null > " + path("fifo") + " & " + tool + " info " + path("fifo") +
             "; s=$?; : <> " + path("fifo") + "; wait; exit $s",
         0, "\tformat=png\ttype=10\tsize=2x2\talpha=1\n"},
        {"head -c 10000000 /dev/zero | " + tool + " info -", 1,
         "-\terror=not recognised (no known signature in the first 65536 bytes)\n"},
        {tool + " info " + path("zeros"), 1,
         "\terror=not recognised (no known signature in the first 65536 bytes)\n"},
        {tool + " info " + path("padded.png"), 1,
         "\terror=too large (more than the 67112960 bytes a 16 x 16 pixels PNG can need)\n"},
        {tool + " info " + path("huge.png"), 1,
         "\terror=too large (40000 x 40000 pixels; the pixel budget is 67108863 pixels, "
         "--max-pixels)\n"},
    };
    for (const auto& c : cases) {
        // A limit of processor time: a read that did not end would fail the run, not stall it.
        const auto r = talvrin::testsupport::runCommand("sh -c 'ulimit -t 20; " + c.line + "'");
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.line << "\n" << r.output;
        EXPECT_EQ(r.exitStatus, c.status) << c.line;
    }
    // The input's bytes go once decoded: writing a bitmap file of a 3000 x 3000 bitmap takes
    // the bytes of its output beyond what writing raw rows in bands takes, not those of its input
    // as well (27 MB each).
    {  // (freed before the runs: a child starts with its parent's resident memory)
        talvrin::test::BmpSpec bmp;
        bmp.width = bmp.height = 3000;
        bmp.pixels = Bytes(std::size_t{9000} * 3000, 77);
        write("big.bmp", talvrin::test::buildBmp(bmp));
    }
    const long rows =
        talvrin::tooltest::peakKilobytes({tool, "convert", path("big.bmp"), path("o.prgba")});
    const long file =
        talvrin::tooltest::peakKilobytes({tool, "convert", path("big.bmp"), path("o.bmp")});
    ASSERT_GT(rows, 0);
    ASSERT_GT(file, 0);
    EXPECT_LT(file - rows, 27'000 * 3 / 2) << rows << " KB against " << file << " KB";
}
#endif

TEST_F(ToolFiles, EveryRefusalSaysWhatIsWrong) {
    Bytes tiny = talvrin::testutil::readFile(png_);
    // A GIF of 0 x 1 pixels, 35 bytes: complete, and no image.
    const Bytes zeroWide = {'G', 'I', 'F', '8', '9', 'a', 0,   0,    1,    0, 0x80, 0,
                            0,   0,   0,   0,   255, 255, 255, 0x2C, 0,    0, 0,    0,
                            0,   0,   1,   0,   0,   2,   2,   0x44, 0x01, 0, 0x3B};
    Bytes tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 24, 0};
    tga.resize(18 + 18, 90);
    Bytes tiff = textBytes(std::string_view("II*\0\x08\0\0\0", 8));
    tiff.resize(100, 0);
    const struct {
        const char* file;
        Bytes bytes;
        const char* options;
        const char* error;
    } cases[] = {
        {"a.avif", isoMedia("avif"), "", "unsupported format (AVIF)"},
        {"a.heic", isoMedia("heic"), "", "unsupported format (HEIC)"},
        {"a.svg", textBytes("<?xml version=\"1.0\"?>\n<svg width=\"2\" height=\"2\"></svg>\n"), "",
         "unsupported format (SVG)"},
        {"a.xpm", textBytes("/* XPM */\nstatic char *a[] = {\"1 1 1 1\", \"a c #000\", \"a\"};\n"),
         "", "unsupported format (XPM)"},
        {"a.ppm", textBytes("P3\n1 1\n255\n0 0 0\n"), "", "unsupported format (PNM)"},
        {"a.tga", tga, "", "unsupported format (TGA)"},
        {"a.jp2", textBytes(std::string_view("\0\0\0\x0CjP  \r\n\x87\n", 12)), "",
         "unsupported format (JPEG 2000)"},
        {"a.tif", tiff, "--no-bridge", "unsupported format (TIFF)"},
        {"text.txt", textBytes("twenty bytes of text"), "", "not recognised"},
        {"zero.gif", zeroWide, "", "bad header (a side of 0 pixels)"},
        {"cut.png", Bytes(tiny.begin(), tiny.begin() + 40), "", "too short"},
    };
    for (const auto& c : cases) {
        write(c.file, c.bytes);
        const ToolRun r = run("info " + std::string(c.options) + " " + path(c.file));
        EXPECT_EQ(r.out, shown(path(c.file)) + "\terror=" + c.error + "\n");
        EXPECT_EQ(r.status, 1);
    }
    const ToolRun piped = run("info - < " + path("a.avif"));
    EXPECT_EQ(piped.out, "-\terror=unsupported format (AVIF)\n");
    // Two frames of a GIF: the first is converted, and one warning line says so; -q drops it.
    talvrin::testutil::GifRecipe gif;
    gif.globalTable = talvrin::testutil::rampTable(4);
    gif.width = gif.height = 2;
    gif.minCodeSize = 2;
    gif.pixels = {0, 1, 2, 3};
    Bytes two = talvrin::testutil::makeGif(gif);
    const Bytes frame(two.begin() + 13 + 12, two.end() - 1);
    two.insert(two.end() - 1, frame.begin(), frame.end());
    write("two.gif", two);
    const ToolRun warned = run("convert " + path("two.gif") + " " + path("t.png"));
    EXPECT_EQ(warned.status, 0);
    EXPECT_EQ(warned.out, "talvrin-image convert: warning: '" + path("two.gif") +
                              "': holds 2 frames; only the first is read\n");
    const ToolRun quiet = run("convert -q " + path("two.gif") + " " + path("t.png"));
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out, "");
}

// Each talvrin-image command the README shows runs as written: from a copy of the checkout's
// layout (the build's programs, resources/ and ../shared/corpus as links), so that what the
// commands write lands in a temporary folder. The JSON it shows is what the command prints.
TEST(ToolReadme, EveryExampleRunsAsWritten) {
#ifdef _WIN32
    GTEST_SKIP() << "the examples are POSIX shell lines";
#else
    if (!fs::is_directory(TALVRIN_CORPUS_DIR)) GTEST_SKIP() << "no corpus at " TALVRIN_CORPUS_DIR;
    std::ifstream in(std::string(TALVRIN_SOURCE_DIR) + "/README.md");
    ASSERT_TRUE(in) << "README.md";
    std::vector<std::string> commands;
    std::string jsonShown, line;
    bool inBlock = false, json = false;
    while (std::getline(in, line)) {
        if (line.rfind("```", 0) == 0) {
            json = !inBlock && line == "```json";
            inBlock = !inBlock;
            continue;
        }
        if (!inBlock) continue;
        if (json) jsonShown += line + "\n";
        if (!commands.empty() && commands.back().back() == '\\') {
            commands.back().pop_back();
            commands.back() += line;
        } else if (line.rfind("build/default/bin/talvrin-image ", 0) == 0) {
            commands.push_back(line);
        }
    }
    ASSERT_GE(commands.size(), 5u);
    const fs::path root = talvrin::testsupport::makeTempDirectory("talvrin_readme_test_");
    ASSERT_FALSE(root.empty());
    const fs::path repo = root / "repo";
    fs::create_directories(repo / "build/default");
    fs::create_directory_symlink(TALVRIN_BIN_DIR, repo / "build/default/bin");
    fs::create_directory_symlink(std::string(TALVRIN_SOURCE_DIR) + "/resources",
                                 repo / "resources");
    fs::create_directory_symlink(fs::path(TALVRIN_CORPUS_DIR).parent_path(), root / "shared");
    std::string jsonPrinted;
    for (const std::string& command : commands) {
        const auto r = talvrin::testsupport::runCommand("cd " + repo.string() + " && " + command);
        EXPECT_EQ(r.exitStatus, 0) << command << "\n" << r.output;
        if (command.find("info --json") != std::string::npos) jsonPrinted = r.output;
    }
    EXPECT_EQ(jsonPrinted, jsonShown);
    fs::remove_all(root);
#endif
}

}  // namespace
