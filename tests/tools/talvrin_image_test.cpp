// talvrin-image run as a process: its exit statuses, the info line and the raw exports.
#include <gtest/gtest.h>
#if TALVRIN_HAVE_WEBP
#include <webp/encode.h>
#endif

#include <filesystem>
#include <string>

#include "image/codecs/gifico_test_util.h"
#include "image/codecs/png_test_builder.h"
#include "support/run_command.h"
#include "support/temp_directory.h"

namespace {

using talvrin::testutil::Bytes;
namespace fs = std::filesystem;

struct ToolRun {
    std::string out;
    int status = -1;
};

ToolRun run(const std::string& args) {
    const auto r = talvrin::testsupport::runCommand(
        talvrin::testsupport::programPath("talvrin-image") + " " + args);
    return {r.output, r.exitStatus};
}

class TalvrinImage : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = talvrin::testsupport::makeTempDirectory("talvrin_image_test_");
        ASSERT_FALSE(dir_.empty());
        // 2 x 2: red, green / blue, white at alpha 128.
        png_ = (dir_ / "a.png").string();
        talvrin::testutil::writeFile(
            png_, talvrin::testutil::makePngRgba(
                      2, 2, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 128}));
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const char* name) const { return (dir_ / name).string(); }

    fs::path dir_;
    std::string png_;
};

TEST_F(TalvrinImage, InfoPrintsOneTabSeparatedLinePerFileAndFailsOnAnyError) {
    ToolRun r = run(png_);
    EXPECT_EQ(r.status, 2) << "a file name is not a command";

    r = run("info " + png_);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, png_ + "\tformat=png\ttype=10\tsize=2x2\talpha=1\n");

    talvrin::testutil::writeFile(path("junk.bin"), Bytes(100, 7));
    // A PNG cut off after its header chunk, one only 40 bytes long, and an interlaced one whose
    // second row has filter type 5.
    Bytes png = talvrin::testutil::readFile(png_);
    talvrin::testutil::writeFile(path("cut.png"), Bytes(png.begin(), png.begin() + 60));
    talvrin::testutil::writeFile(path("short.png"), Bytes(png.begin(), png.begin() + 40));
    talvrin::testutil::writeFile(path("filter.png"),
                                 talvrin::test::simplePng(1, 2, 8, 0, {0, 10, 5, 3}, 1));
    r = run("info " + png_ + " " + path("junk.bin") + " " + path("missing.png") + " " +
            path("cut.png") + " " + path("short.png") + " " + path("filter.png"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(png_ + "\tformat=png"), std::string::npos);
    // Each failure prints its reason, and what exactly was wrong when the decoder says more.
    EXPECT_NE(r.out.find(path("junk.bin") + "\terror=not recognised\n"), std::string::npos);
    EXPECT_NE(r.out.find(path("missing.png") + "\terror=unreadable (cannot open the file)\n"),
              std::string::npos);
    EXPECT_NE(r.out.find(path("cut.png") + "\terror=truncated (chunk runs past the data)\n"),
              std::string::npos);
    EXPECT_NE(r.out.find(path("short.png") + "\terror=too short\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(path("filter.png") + "\terror=bad data (bad filter)\n"), std::string::npos)
        << r.out;
}

TEST_F(TalvrinImage, MaxPixelsSetsTheDecodeBudgetOfEveryCommand) {
    // The 2 x 2 image has 4 pixels.
    EXPECT_EQ(run("info --max-pixels 3 " + png_).out,
              png_ + "\terror=too large (beyond the decode budget)\n");
    EXPECT_EQ(run("info " + png_ + " --max-pixels 4").status, 0);
    EXPECT_EQ(run("--max-pixels unlimited info " + png_).status, 0);
    const ToolRun refused = run("convert " + png_ + " " + path("a.rgba") + " --max-pixels 3");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("error=too large"), std::string::npos);
    for (const char* bad : {"", "0", "-4", "12x", "99999999999999999999"})
        EXPECT_EQ(run("info " + png_ + " --max-pixels " + bad).status, 2) << bad;
}

TEST_F(TalvrinImage, ConvertWritesStraightAndPremultipliedRgbaTopRowFirst) {
    ASSERT_EQ(run("convert " + png_ + " " + path("a.rgba")).status, 0);
    EXPECT_EQ(talvrin::testutil::readFile(path("a.rgba")),
              (Bytes{255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 128}));
    ASSERT_EQ(run("convert " + png_ + " " + path("a.prgba")).status, 0);
    // 255 at alpha 128 is stored as 255 * 128 / 255 = 128.
    EXPECT_EQ(talvrin::testutil::readFile(path("a.prgba")),
              (Bytes{255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 128, 128, 128, 128}));
}

TEST_F(TalvrinImage, ConvertWritesPngAndBitmapFilesThatReadBackAsTheInput) {
    ASSERT_EQ(run("convert " + png_ + " " + path("b.png")).status, 0);
    ASSERT_EQ(run("convert " + png_ + " " + path("b.bmp")).status, 0);
    EXPECT_EQ(run("info " + path("b.png")).out,
              path("b.png") + "\tformat=png\ttype=10\tsize=2x2\talpha=1\n");
    // The bitmap keeps the premultiplied pixels with their alpha.
    EXPECT_EQ(run("info " + path("b.bmp")).out,
              path("b.bmp") + "\tformat=bmp\ttype=7\tsize=2x2\talpha=1\n");
    // Both give back the input's pixels exactly.
    ASSERT_EQ(run("convert " + path("b.png") + " " + path("b.prgba")).status, 0);
    ASSERT_EQ(run("convert " + path("b.bmp") + " " + path("c.prgba")).status, 0);
    ASSERT_EQ(run("convert " + png_ + " " + path("a.prgba")).status, 0);
    const Bytes original = talvrin::testutil::readFile(path("a.prgba"));
    EXPECT_EQ(talvrin::testutil::readFile(path("b.prgba")), original);
    EXPECT_EQ(talvrin::testutil::readFile(path("c.prgba")), original);
}

TEST_F(TalvrinImage, RenderPaintsTheImageControlIntoAPng) {
    // The 2 x 2 image stretched over 4 x 4 without smoothing, mirrored left to right, over black.
    ASSERT_EQ(run("render " + png_ + " " + path("r.png") +
                  " --size 4x4 --scale stretch --nearest --mirror 1 --background 000000")
                  .status,
              0);
    EXPECT_EQ(run("info " + path("r.png")).out,
              path("r.png") + "\tformat=png\ttype=10\tsize=4x4\talpha=0\n");
    ASSERT_EQ(run("convert " + path("r.png") + " " + path("r.rgba")).status, 0);
    const Bytes rgba = talvrin::testutil::readFile(path("r.rgba"));
    ASSERT_EQ(rgba.size(), 64u);
    // Top-left is the input's top-right (green); bottom-left its bottom-right, white at alpha 128
    // over black: 128.
    EXPECT_EQ(Bytes(rgba.begin(), rgba.begin() + 4), (Bytes{0, 255, 0, 255}));
    EXPECT_EQ(Bytes(rgba.begin() + 48, rgba.begin() + 52), (Bytes{128, 128, 128, 255}));
    // A transparent background keeps the image's own alpha.
    ASSERT_EQ(run("render " + png_ + " " + path("t.png") +
                  " --size 2x2 --scale actual --background transparent")
                  .status,
              0);
    ASSERT_EQ(run("convert " + path("t.png") + " " + path("t.prgba")).status, 0);
    ASSERT_EQ(run("convert " + png_ + " " + path("a.prgba")).status, 0);
    EXPECT_EQ(talvrin::testutil::readFile(path("t.prgba")),
              talvrin::testutil::readFile(path("a.prgba")));
    // Usage errors and a file that does not load.
    EXPECT_EQ(run("render " + png_ + " " + path("x.png")).status, 2) << "--size is required";
    EXPECT_EQ(run("render " + png_ + " " + path("x.png") + " --size 4x4 --scale huge").status, 2);
    EXPECT_EQ(run("render " + png_ + " " + path("x.bmp") + " --size 4x4").status, 2);
    EXPECT_EQ(run("render " + path("missing.png") + " " + path("x.png") + " --size 4x4").status, 1);
}

// Render arguments found by a hostile-input campaign, and the pixel budget (--max-pixels) on the
// canvas and on the drawing: a clean paint (a shadow beyond the 32-bit range left out), "too
// large" with the budget named, or a usage error for a number outside the 32-bit range.
TEST_F(TalvrinImage, RenderAnswersHostileSizesAndOffsetsCleanly) {
    struct Case {
        const char* options;
        int status;
        const char* says;  // on the output, when not empty
    };
    const Case cases[] = {
        {"--size 16384x16384 --background transparent", 1,
         "--size 16384x16384: error=too large (the pixel budget is 67108863 pixels"},
        {"--size 16384x16384 --angle 30 --shadow 4,000000,50,4,4 --autoredraw", 1, "too large"},
        {"--size 64x64 --scale custom:16384x16384 --shadow 4,000000,50,4,4", 1,
         "the drawing: error=too large (the pixel budget is 67108863 pixels"},
        {"--size 64x64 --scale custom:1x2147483647 --angle 30", 1, "too large"},
        {"--size 4x4 --max-pixels 15", 1, "the pixel budget is 15 pixels"},
        {"--size 4x4 --max-pixels 16", 0, ""},
        {"--size 40000x40000 --max-pixels unlimited", 1, "the pixel budget is 536870911 pixels"},
        {"--size 16x16 --shadow 4,000000,50,2147483647,2147483647", 0, ""},
        {"--size 16x16 --shadow 4,000000,50,2147483647,2147483647 --angle 30", 0, ""},
        {"--size 16x16 --shadow 4,000000,50,-2147483648,-2147483648", 0, ""},
        {"--size 16x16 --shadow 4,000000,50,-2147483648,-2147483648 --angle 30", 0, ""},
        {"--size 16x16 --shadow 4,000000,50,2147483648,0", 2, "--shadow wants"},
        {"--size 16x16 --scale custom:2147483648x1", 2, "--scale custom wants"},
    };
    for (const Case& c : cases) {
        fs::remove(path("h.png"));
        const ToolRun r = run("render " + png_ + " " + path("h.png") + " " + c.options);
        EXPECT_EQ(r.status, c.status) << c.options << "\n" << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << c.options << "\n" << r.out;
        EXPECT_EQ(fs::exists(path("h.png")), c.status == 0) << c.options;
    }
}

TEST_F(TalvrinImage, TheBridgesFormatsAndItsSwitch) {
#if !TALVRIN_HAVE_WEBP
    GTEST_SKIP() << "this build has no WebP library to make the input with";
#else
    const std::uint8_t rgba[] = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 255, 9, 9, 9, 0};
    std::uint8_t* out = nullptr;
    const std::size_t size = WebPEncodeLosslessRGBA(rgba, 2, 2, 8, &out);
    ASSERT_GT(size, 0u);
    Bytes webp(out, out + size);
    WebPFree(out);
    webp.resize(std::max<std::size_t>(webp.size(), 60), 0);  // past the 57-byte minimum
    talvrin::testutil::writeFile(path("a.webp"), webp);
    EXPECT_EQ(run("info " + path("a.webp")).out,
              path("a.webp") + "\tformat=webp\ttype=10\tsize=2x2\talpha=1\n");
    EXPECT_EQ(run("info --no-bridge " + path("a.webp")).out,
              path("a.webp") + "\terror=not recognised\n");
    // Converted, the WebP's pixels come out as its source's.
    ASSERT_EQ(run("convert " + path("a.webp") + " " + path("w.rgba")).status, 0);
    const Bytes back = talvrin::testutil::readFile(path("w.rgba"));
    EXPECT_EQ(Bytes(back.begin(), back.begin() + 4), (Bytes{255, 0, 0, 255}));
#endif
}

TEST_F(TalvrinImage, UsageErrorsAndFailuresHaveTheirStatuses) {
    EXPECT_EQ(run("").status, 2);
    EXPECT_EQ(run("frobnicate").status, 2);
    EXPECT_EQ(run("convert " + png_).status, 2);
    EXPECT_EQ(run("convert " + png_ + " " + path("out.xyz")).status, 2);
    EXPECT_EQ(run("convert " + png_ + " " + path("o.rgba") + " --icon 16").status, 2);
    EXPECT_EQ(run("convert " + png_ + " " + path("o.rgba") + " --depth").status, 2);
    EXPECT_EQ(run("convert " + path("missing.png") + " " + path("o.rgba")).status, 1);
    talvrin::testutil::writeFile(path("junk.bin"), Bytes(100, 7));
    const ToolRun bad = run("convert " + path("junk.bin") + " " + path("o.rgba"));
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("error=not recognised"), std::string::npos)
        << "one line on standard error says why";
    EXPECT_FALSE(fs::exists(path("o.rgba")));

    const ToolRun help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: talvrin-image"), std::string::npos);
    EXPECT_EQ(run("info --help").status, 0);
    EXPECT_EQ(run("convert --help").status, 0);
}

}  // namespace
