// talvrin-image run as a process: its exit statuses, the info line and the raw exports.
#include <gtest/gtest.h>
#if TALVRIN_HAVE_WEBP
#include <webp/encode.h>
#endif

#include <cstdio>
#include <filesystem>
#include <string>
#if TALVRIN_HAVE_JPEG
#include <jpeglib.h>
#endif

#include <nlohmann/json.hpp>

#include "image/codecs/gifico_test_util.h"
#include "image/codecs/png_test_builder.h"
#include "support/run_command.h"
#include "tools/tool_run.h"

namespace {

using talvrin::testutil::Bytes;
namespace fs = std::filesystem;

using talvrin::tooltest::run;
using talvrin::tooltest::shown;
using talvrin::tooltest::ToolRun;
using TalvrinImage = talvrin::tooltest::ToolFolder;

TEST_F(TalvrinImage, InfoPrintsOneTabSeparatedLinePerFileAndFailsOnAnyError) {
    ToolRun r = run(png_);
    EXPECT_EQ(r.status, 2) << "a file name is not a command";

    r = run("info " + png_);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, shown(png_) + "\tformat=png\ttype=10\tsize=2x2\talpha=1\n");

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
    EXPECT_NE(r.out.find(shown(png_) + "\tformat=png"), std::string::npos);
    // Each failure prints its reason, and what exactly was wrong when the decoder says more.
    EXPECT_NE(r.out.find(shown(path("junk.bin")) + "\terror=not recognised\n"), std::string::npos);
    EXPECT_NE(r.out.find(shown(path("missing.png")) + "\terror=not found\n"), std::string::npos);
    EXPECT_NE(r.out.find(shown(path("cut.png")) + "\terror=truncated (chunk runs past the data)\n"),
              std::string::npos);
    EXPECT_NE(r.out.find(shown(path("short.png")) + "\terror=too short\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(shown(path("filter.png")) + "\terror=bad data (bad filter)\n"),
              std::string::npos)
        << r.out;
}

TEST_F(TalvrinImage, MaxPixelsSetsTheDecodeBudgetOfEveryCommand) {
    // The 2 x 2 image has 4 pixels.
    EXPECT_EQ(run("info --max-pixels 3 " + png_).out,
              shown(png_) +
                  "\terror=too large (2 x 2 pixels; the pixel budget is 3 pixels, --max-pixels)\n");
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
              shown(path("b.png")) + "\tformat=png\ttype=10\tsize=2x2\talpha=1\n");
    // The bitmap keeps the premultiplied pixels with their alpha.
    EXPECT_EQ(run("info " + path("b.bmp")).out,
              shown(path("b.bmp")) + "\tformat=bmp\ttype=7\tsize=2x2\talpha=1\n");
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
              shown(path("r.png")) + "\tformat=png\ttype=10\tsize=4x4\talpha=0\n");
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
    EXPECT_EQ(run("render " + png_ + " " + path("x.png") + " --size 4x4 --scale huge").status, 2);
    EXPECT_EQ(run("render " + png_ + " " + path("x.xyz") + " --size 4x4").status, 2);
    EXPECT_EQ(run("render " + path("missing.png") + " " + path("x.png") + " --size 4x4").status, 1);
}

// Render arguments found by a hostile-input campaign, and the pixel budget (--max-pixels) on the
// canvas and on the drawing: a clean paint (a shadow at the far ends of its range), "too
// large" with the budget named, or a usage error for a number outside its range.
TEST_F(TalvrinImage, RenderAnswersHostileSizesAndOffsetsCleanly) {
    struct Case {
        const char* options;
        int status;
        const char* says;  // on the output, when not empty
    };
    const Case cases[] = {
        {"--size 16384x16384 --background transparent", 1,
         "error=too large (16384 x 16384 pixels; the pixel budget is 67108863 pixels"},
        {"--size 16384x16384 --angle 30 --shadow 4,000000,50,4,4 --autoredraw", 1, "too large"},
        {"--size 64x64 --scale custom:16384x16384 --shadow 4,000000,50,4,4", 1,
         // The image, the 64 x 64 paint, the shadow's scaled copy and the shadow: 4 + 4096 +
         // 16384^2 + 16392^2.
         "the drawing: error=too large (537137220 pixels of surfaces in all; the pixel budget is "
         "67108863 pixels, --max-pixels)"},
        {"--size 64x64 --scale custom:1x2147483647 --angle 30", 1, "too large"},
        {"--size 4x4 --max-pixels 15", 1, "the pixel budget is 15 pixels"},
        // The budget bounds the sum of a render's surfaces: the 2 x 2 image and the 4 x 4 paint.
        {"--size 4x4 --max-pixels 19", 1,
         "error=too large (20 pixels of surfaces in all; the pixel budget is 19 pixels"},
        {"--size 4x4 --max-pixels 20", 0, ""},
        {"--size 4x4 --autoredraw --max-pixels 35", 1, "36 pixels of surfaces in all"},
        {"--size 4x4 --autoredraw --max-pixels 36", 0, ""},
        // Over nothing, the own engine paints twice (over black and over white).
        {"--size 4x4 --background transparent --no-bridge --max-pixels 35", 1,
         "36 pixels of surfaces in all"},
        {"--size 4x4 --background transparent --no-bridge --max-pixels 36", 0, ""},
        {"--size 40000x40000 --max-pixels unlimited", 1, "the pixel budget is 536870911 pixels"},
        {"--size 16x16 --shadow 4,000000,50,10000,10000", 0, ""},
        {"--size 16x16 --shadow 4,000000,50,10000,10000 --angle 30", 0, ""},
        {"--size 16x16 --shadow 4,000000,50,-10000,-10000", 0, ""},
        {"--size 16x16 --shadow 4,000000,50,-10000,-10000 --angle 30", 0, ""},
        {"--size 16x16 --shadow 4,000000,50,2147483647,0", 2,
         "--shadow DX: 2147483647 is out of range -10000..10000"},
        {"--size 16x16 --shadow 4,000000,50,2147483648,0", 2,
         "--shadow DX: 2147483648 is out of range"},
        {"--size 16x16 --scale custom:2147483648x1", 2,
         "--scale custom: 2147483648 is out of range 1..2147483647"},
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
              shown(path("a.webp")) + "\tformat=webp\ttype=10\tsize=2x2\talpha=1\n");
    EXPECT_EQ(run("info --no-bridge " + path("a.webp")).out,
              shown(path("a.webp")) + "\terror=unsupported format (WebP)\n");
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

    EXPECT_EQ(run("-V").out, "talvrin-image " TALVRIN_VERSION "\n");
    const ToolRun help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: talvrin-image"), std::string::npos);
    EXPECT_EQ(run("info --help").status, 0);
    EXPECT_EQ(run("convert --help").status, 0);
}

#if TALVRIN_HAVE_JPEG
// A 120 x 60 JPEG, left half red and right half blue, with an EXIF block that stores
// orientation 6 (turned 90 degrees clockwise for display).
Bytes sidewaysJpeg() {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = 120;
    c.image_height = 60;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> row(120 * 3);
    for (int x = 0; x < 120; ++x) {
        row[x * 3] = x < 60 ? 255 : 0;
        row[x * 3 + 2] = x < 60 ? 0 : 255;
    }
    while (c.next_scanline < c.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    Bytes jpeg(out, out + size);
    jpeg_destroy_compress(&c);
    std::free(out);
    // APP1: "Exif\0\0", a big-endian TIFF header, one directory entry: orientation SHORT 6.
    const Bytes app1 = {0xFF, 0xE1, 0, 34,   'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8,
                        0,    1,    1, 0x12, 0,   3,   0,   0,   0, 1, 0,   6,   0, 0,  0, 0, 0, 0};
    jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
    return jpeg;
}
#endif

TEST_F(TalvrinImage, JpegOrientationIsReportedAndAppliedUnlessAsked) {
#if !TALVRIN_HAVE_JPEG
    GTEST_SKIP() << "this build has no JPEG library to make the input with";
#else
    talvrin::testutil::writeFile(path("side.jpg"), sidewaysJpeg());
    EXPECT_EQ(
        run("info " + path("side.jpg")).out,
        shown(path("side.jpg")) + "\tformat=jpeg\ttype=1\tsize=120x60\talpha=0\torientation=6\n");
    const struct {
        std::string args;
        const char* size;
    } cases[] = {
        {"convert " + path("side.jpg") + " " + path("o.png"), "60x120"},
        {"convert " + path("side.jpg") + " " + path("o.png") + " --no-auto-orient", "120x60"},
        {"convert " + path("side.jpg") + " " + path("o.png") + " --resize 30", "30x60"},
        {"render " + path("side.jpg") + " " + path("o.png") + " --size 50x50", "25x50"},
        {"render " + path("side.jpg") + " " + path("o.png") + " --no-auto-orient", "120x60"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(run(c.args).status, 0) << c.args;
        EXPECT_NE(run("info " + path("o.png")).out.find(std::string("size=") + c.size),
                  std::string::npos)
            << c.args;
    }
    // Upright, the red half (the stored left) is at the top.
    ASSERT_EQ(run("convert " + path("side.jpg") + " " + path("o.rgba")).status, 0);
    const Bytes rgba = talvrin::testutil::readFile(path("o.rgba"));
    ASSERT_EQ(rgba.size(), 60u * 120 * 4);
    EXPECT_GT(rgba[(10 * 60 + 30) * 4], 200) << "top: red";
    EXPECT_GT(rgba[(110 * 60 + 30) * 4 + 2], 200) << "bottom: blue";
#endif
}

// The EXIF block read from wherever it lies before the first scan (after 320 KiB of APP2
// segments here, as colour profiles are stored), by every command alike.
TEST_F(TalvrinImage, OneExifReaderForEveryCommand) {
#if !TALVRIN_HAVE_JPEG
    GTEST_SKIP() << "this build has no JPEG library to make the input with";
#else
    Bytes jpeg = sidewaysJpeg();
    Bytes profile;
    for (int i = 0; i < 5; ++i) {
        profile.insert(profile.end(), {0xFF, 0xE2, 0xFF, 0xFF});
        profile.insert(profile.end(), 0xFFFD, 0);
    }
    jpeg.insert(jpeg.begin() + 2, profile.begin(), profile.end());
    talvrin::testutil::writeFile(path("late.jpg"), jpeg);
    EXPECT_NE(run("info " + path("late.jpg")).out.find("orientation=6"), std::string::npos);
    for (const char* command : {"convert", "render"}) {
        ASSERT_EQ(run(std::string(command) + " " + path("late.jpg") + " " + path("o.png")).status,
                  0);
        EXPECT_NE(run("info " + path("o.png")).out.find("size=60x120"), std::string::npos)
            << command;
    }
#endif
}

TEST_F(TalvrinImage, JpegOutputIsUprightFlattenedOntoWhiteAtItsQuality) {
#if !TALVRIN_HAVE_JPEG
    GTEST_SKIP() << "this build has no JPEG library";
#else
    talvrin::testutil::writeFile(path("side.jpg"), sidewaysJpeg());
    ASSERT_EQ(run("convert " + path("side.jpg") + " " + path("up.JPEG")).status, 0);
    EXPECT_EQ(
        run("info " + path("up.JPEG")).out,
        shown(path("up.JPEG")) + "\tformat=jpeg\ttype=1\tsize=60x120\talpha=0\torientation=1\n");
    ASSERT_EQ(run("convert " + path("up.JPEG") + " " + path("up.rgba")).status, 0);
    const Bytes up = talvrin::testutil::readFile(path("up.rgba"));
    ASSERT_EQ(up.size(), 60u * 120 * 4);
    EXPECT_GT(up[(10 * 60 + 30) * 4], 200) << "top: red";
    EXPECT_GT(up[(110 * 60 + 30) * 4 + 2], 200) << "bottom: blue";
    // Quality: a lower one makes a smaller file; out of range is a usage error.
    ASSERT_EQ(run("convert " + path("side.jpg") + " " + path("q20.jpg") + " --quality 20").status,
              0);
    ASSERT_EQ(run("convert " + path("side.jpg") + " " + path("q100.jpg") + " --quality=100").status,
              0);
    EXPECT_LT(fs::file_size(path("q20.jpg")), fs::file_size(path("q100.jpg")));
    EXPECT_EQ(run("convert " + png_ + " " + path("x.jpg") + " --quality 0").status, 2);
    // The 2 x 2 image's white at alpha 128 lies on white: white; the opaque red stays red.
    ASSERT_EQ(run("convert " + png_ + " - --format jpeg > " + path("a.jpg")).status, 0);
    ASSERT_EQ(run("convert " + path("a.jpg") + " " + path("a.rgba")).status, 0);
    const Bytes a = talvrin::testutil::readFile(path("a.rgba"));
    ASSERT_EQ(a.size(), 16u);
    EXPECT_GT(a[12] + a[13] + a[14], 3 * 230);
    EXPECT_GT(a[0], 200);
    // A JPEG cut short converts, completed by the library, with one warning line.
    const Bytes whole = sidewaysJpeg();
    talvrin::testutil::writeFile(
        path("cut.jpg"),
        Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() * 2 / 3)));
    const ToolRun cut = run("convert " + path("cut.jpg") + " " + path("cut.png"));
    EXPECT_EQ(cut.status, 0);
    EXPECT_EQ(cut.out, "talvrin-image convert: warning: '" + path("cut.jpg") +
                           "': the JPEG data is damaged or cut short, and the image may be "
                           "incomplete (libjpeg-turbo: Premature end of JPEG file)\n");
#endif
}

// A render over nothing holds each pixel's alpha, however it is painted: laid over black and
// over white it gives the renders over those backgrounds (within the rounding of a blend).
TEST_F(TalvrinImage, ATransparentRenderIsItsPaintsOverBlackAndWhite) {
    Bytes rgba;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            rgba.insert(rgba.end(),
                        {static_cast<std::uint8_t>(x * 16), 90, static_cast<std::uint8_t>(y * 16),
                         static_cast<std::uint8_t>(x < 4 ? 0 : 40 + 13 * y)});
    talvrin::testutil::writeFile(path("g.png"), talvrin::testutil::makePngRgba(16, 16, rgba));
    const char* cases[] = {
        "--size 37x23 --scale stretch",          "--angle 30",
        "--size 50x50 --shadow 3,ff0000,80,2,3", "--opacity 60 --grayscale 2 --size 20",
        "--autoredraw --angle 15 --size 40",     "--no-bridge --size 37x23 --scale stretch",
        "--no-bridge --angle 30 --opacity 70",
    };
    for (const char* options : cases) {
        const auto paint = [&](const char* background, const char* out) {
            EXPECT_EQ(run("render " + path("g.png") + " " + path(out) + " --format prgba " +
                          options + " --background " + background)
                          .status,
                      0)
                << options;
            return talvrin::testutil::readFile(path(out));
        };
        const Bytes t = paint("transparent", "t"), b = paint("000000", "b"),
                    w = paint("ffffff", "w");
        ASSERT_EQ(t.size(), b.size()) << options;
        ASSERT_EQ(t.size(), w.size()) << options;
        int worst = 0;
        for (std::size_t i = 0; i < t.size(); i += 4)
            for (int c = 0; c < 3; ++c) {
                worst = std::max(worst, std::abs(int(t[i + c]) - int(b[i + c])));
                worst =
                    std::max(worst, std::abs(int(t[i + c]) + 255 - int(t[i + 3]) - int(w[i + c])));
            }
        EXPECT_LE(worst, 2) << options;
    }
}

TEST_F(TalvrinImage, SizesFitInsideTheBoxAndTheCanvasKeepsIt) {
    // A 4 x 2 image (2:1).
    talvrin::testutil::writeFile(path("wide.png"),
                                 talvrin::testutil::makePngRgba(4, 2, Bytes(32, 255)));
    const struct {
        std::string options;
        const char* size;
    } cases[] = {
        {"render --size 200x200", "200x100"},
        {"render --size 200x200 --canvas", "200x200"},
        {"render --size x10", "20x10"},
        {"render --size 7", "7x4"},
        {"render --size 50%", "2x1"},
        {"render", "4x2"},
        {"convert --resize 200x200", "200x100"},
        {"convert --resize=x1", "2x1"},
    };
    for (const auto& c : cases) {
        const std::string command = c.options.substr(0, c.options.find(' '));
        const std::string args =
            c.options.size() > command.size() ? c.options.substr(command.size()) : "";
        ASSERT_EQ(run(command + " " + path("wide.png") + " " + path("s.png") + args).status, 0)
            << c.options;
        EXPECT_NE(run("info " + path("s.png")).out.find(std::string("size=") + c.size),
                  std::string::npos)
            << c.options;
    }
    const ToolRun canvasAlone = run("render " + png_ + " " + path("s.png") + " --canvas");
    EXPECT_EQ(canvasAlone.status, 2);
    EXPECT_NE(canvasAlone.out.find("--canvas needs the box of --size WxH"), std::string::npos);
    // Beyond the pixel budget: the limit is named.
    const ToolRun big =
        run("render " + png_ + " " + path("s.png") + " --size 100x100 --max-pixels 9999");
    EXPECT_EQ(big.status, 1);
    EXPECT_NE(big.out.find("the pixel budget is 9999 pixels"), std::string::npos) << big.out;
}

TEST_F(TalvrinImage, FormatsByExtensionInAnyCaseByNameAndOnTheStandardStreams) {
    ASSERT_EQ(run("convert " + png_ + " " + path("UP.PNG")).status, 0);
    ASSERT_EQ(run("convert " + png_ + " " + path("Mixed.Bmp")).status, 0);
    ASSERT_EQ(run("convert " + png_ + " " + path("forced.bin") + " --format=prgba").status, 0);
    EXPECT_NE(run("info " + path("UP.PNG")).out.find("format=png"), std::string::npos);
    EXPECT_NE(run("info " + path("Mixed.Bmp")).out.find("format=bmp"), std::string::npos);
    EXPECT_EQ(fs::file_size(path("forced.bin")), 16u);
    // Standard input to standard output, and its facts through info -.
    const ToolRun piped = run("convert - - --format png < " + png_ + " | " +
                              talvrin::testsupport::programPath("talvrin-image") + " info -");
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.out, "-\tformat=png\ttype=10\tsize=2x2\talpha=1\n");
    const ToolRun noFormat = run("convert " + png_ + " -");
    EXPECT_EQ(noFormat.status, 2);
    EXPECT_NE(noFormat.out.find("writing to standard output needs --format"), std::string::npos);
    EXPECT_EQ(run("convert " + png_ + " " + path("x.png") + " --format gif").status, 2);
    // A PNG level: 0 stores the data, 9 packs it; both read back the same. The default is 6
    // (the logo packs differently at 6 and 9).
    const std::string logo = std::string(TALVRIN_SOURCE_DIR) + "/resources/logo.png";
    ASSERT_EQ(run("convert " + logo + " " + path("d.png")).status, 0);
    ASSERT_EQ(run("convert " + logo + " " + path("l6.png") + " --level 6").status, 0);
    ASSERT_EQ(run("convert " + logo + " " + path("l9.png") + " --level 9").status, 0);
    EXPECT_EQ(talvrin::testutil::readFile(path("d.png")),
              talvrin::testutil::readFile(path("l6.png")));
    EXPECT_GT(fs::file_size(path("l6.png")), fs::file_size(path("l9.png")));
    const std::string flat = path("flat.png");
    talvrin::testutil::writeFile(flat,
                                 talvrin::testutil::makePngRgba(64, 64, Bytes(64 * 64 * 4, 90)));
    ASSERT_EQ(run("convert " + flat + " " + path("l0.png") + " --level 0").status, 0);
    ASSERT_EQ(run("convert " + flat + " " + path("l9.png") + " --level 9").status, 0);
    EXPECT_GT(fs::file_size(path("l0.png")), 4 * fs::file_size(path("l9.png")));
    ASSERT_EQ(run("convert " + path("l0.png") + " " + path("l0.rgba")).status, 0);
    ASSERT_EQ(run("convert " + path("l9.png") + " " + path("l9.rgba")).status, 0);
    EXPECT_EQ(talvrin::testutil::readFile(path("l0.rgba")),
              talvrin::testutil::readFile(path("l9.rgba")));
    EXPECT_EQ(run("convert " + flat + " " + path("x.png") + " --level 10").status, 2);
}

TEST_F(TalvrinImage, ErrorsSayWhyAndAFailedWriteLeavesNoFile) {
    fs::create_directory(path("dir"));
    const struct {
        std::string in;
        const char* reason;
    } cases[] = {
        {path("missing.png"), "error=not found"},
        {path("dir"), "error=is a directory"},
        {path("missing/deeper.png"), "error=not found"},
    };
    for (const auto& c : cases) {
        const ToolRun r = run("convert " + c.in + " " + path("o.png"));
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "talvrin-image convert: cannot load '" + c.in + "': " + c.reason + "\n");
    }
    const ToolRun nowhere = run("convert " + png_ + " " + path("missing/o.png"));
    EXPECT_EQ(nowhere.status, 1);
    EXPECT_EQ(nowhere.out, "talvrin-image convert: cannot write '" + path("missing/o.png") +
                               "': error=not found\n");
#ifndef _WIN32
    // A write past the file size limit fails as on a full disk: the old file stays, whole, and
    // nothing else is left in the folder.
    const std::string big = path("big.png");
    Bytes noise(64 * 64 * 4);
    std::uint32_t seed = 1;
    for (auto& b : noise)
        b = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
    talvrin::testutil::writeFile(big, talvrin::testutil::makePngRgba(64, 64, noise));
    talvrin::testutil::writeFile(path("kept.png"), Bytes{1, 2, 3});
    const auto full =
        talvrin::testsupport::runCommand("sh -c 'ulimit -f 2; trap \"\" XFSZ; exec " +
                                         talvrin::testsupport::programPath("talvrin-image") +
                                         " convert " + big + " " + path("kept.png") + "' 2>&1");
    EXPECT_EQ(full.exitStatus, 1);
    EXPECT_NE(full.output.find("cannot write '" + path("kept.png") +
                               "': error=unwritable (File too large)"),
              std::string::npos)
        << full.output;
    EXPECT_EQ(talvrin::testutil::readFile(path("kept.png")), (Bytes{1, 2, 3}));
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_))
        ++entries;
    EXPECT_EQ(entries, 4u) << "a.png, dir, big.png, kept.png and no temporary";
#endif
}

TEST_F(TalvrinImage, ManyFilesAtOnceWithAnErrorLinePerFailure) {
    fs::create_directory(path("out"));
    talvrin::testutil::writeFile(path("b.png"),
                                 talvrin::testutil::makePngRgba(3, 1, Bytes(12, 200)));
    talvrin::testutil::writeFile(path("junk.png"), Bytes(100, 7));
    std::string inputs;
    for (const char* f : {"a.png", "b.png", "junk.png", "missing.png"})
        inputs += " " + path(f);
    const ToolRun r =
        run("convert" + inputs + " --out-dir " + path("out") + " --format rgba --jobs 2");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("cannot load '" + path("junk.png") + "': error=not recognised\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("cannot load '" + path("missing.png") + "': error=not found\n"),
              std::string::npos);
    EXPECT_EQ(r.out.find('['), std::string::npos)
        << "no progress when standard error is no terminal";
    EXPECT_EQ(fs::file_size(path("out/a.rgba")), 16u);
    EXPECT_EQ(fs::file_size(path("out/b.rgba")), 12u);
    EXPECT_FALSE(fs::exists(path("out/junk.rgba")));
    // Usage: a batch needs its format (convert), a folder, and no standard input.
    EXPECT_EQ(run("convert " + png_ + " --out-dir " + path("out")).status, 2);
    EXPECT_EQ(run("convert " + png_ + " --out-dir " + path("a.png") + " --format png").status, 2);
    EXPECT_EQ(run("convert - --out-dir " + path("out") + " --format png").status, 2);
}

TEST_F(TalvrinImage, InfoJsonAndEscapedNames) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows file names cannot hold a tab";
#endif
    const std::string odd = path("tab\there.png");
    fs::copy_file(png_, odd);
    const ToolRun r = run("info --json '" + odd + "' " + path("missing.png"));
    EXPECT_EQ(r.status, 1);
    std::vector<nlohmann::json> objects;
    std::size_t start = 0;
    for (std::size_t nl; (nl = r.out.find('\n', start)) != std::string::npos; start = nl + 1)
        objects.push_back(nlohmann::json::parse(r.out.substr(start, nl - start)));
    ASSERT_EQ(objects.size(), 2u) << r.out;
    EXPECT_EQ(objects[0]["name"], odd);
    EXPECT_EQ(objects[0]["size"], nullptr);
    EXPECT_EQ(objects[0]["width"], 2);
    EXPECT_EQ(objects[0]["type_name"], "png");
    EXPECT_EQ(objects[1]["error"]["reason"], "not found");
    // The tab-separated line escapes the tab in the name.
    EXPECT_EQ(run("info '" + odd + "'").out,
              path("tab\\there.png") + "\tformat=png\ttype=10\tsize=2x2\talpha=1\n");
}

}  // namespace
