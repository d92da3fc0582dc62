// A JPEG that convert --resize or render --size draws at half its size or less is decoded at
// the JPEG library's reduced scale: the output has exactly the size of a full decode resized, in
// every EXIF orientation, pixels close to it, and the full-size image is never made.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#if TALVRIN_HAVE_JPEG
#include "support/jpeg_test_builder.h"
#endif
#include "tools/tool_run.h"

namespace {

using talvrin::testutil::Bytes;
using talvrin::tooltest::run;

#if TALVRIN_HAVE_JPEG
// A photo-like JPEG of w x h (smooth colour fields, a sharp-edged disc, a fine texture) with an
// EXIF block that stores the orientation.
Bytes photoJpeg(int w, int h, int orientation) {
    Bytes jpeg = talvrin::test::encodeJpeg(w, h, {.quality = 90}, [w, h](int x, int y, int k) {
        const double u = (x + 0.5) / w, v = (y + 0.5) / h;
        double s = 120 + 80 * std::sin(6.28 * (u + 0.3 * k)) * std::cos(6.28 * (1.3 * v + k));
        s += (x * 7 + y * 13 + k * 5) % 9;
        if ((u - 0.3) * (u - 0.3) + (v - 0.6) * (v - 0.6) < 0.05) s = k == 2 ? 220 : 30;
        return static_cast<int>(std::clamp(s, 0.0, 255.0));
    });
    // APP1: "Exif\0\0", a big-endian TIFF header, one directory entry: orientation SHORT.
    const Bytes app1 = {
        0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0,
        'M',  'M',  0, 42, 0,   0,   0,   8,   0, 1,
        1,    0x12, 0, 3,  0,   0,   0,   1,   0, static_cast<std::uint8_t>(orientation),
        0,    0,    0, 0,  0,   0};
    jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
    return jpeg;
}
#endif

using JpegResize = talvrin::tooltest::ToolFolder;

TEST_F(JpegResize, AReducedDecodeHasTheFullDecodesSizeAndPixels) {
#if !TALVRIN_HAVE_JPEG
    GTEST_SKIP() << "this build has no JPEG library to make the input with";
#else
    // 401 x 243 fitted into 90 x 90 is 90 x 55 (55 x 90 on its side): a decode at 1/4; 20 %
    // too, and 50 wide is 1/8 (1/4 on its side). Measured: mean differences of 0.2 to 0.6
    // levels, at most 18, at the disc's edge; the bounds are the reduced load's own.
    const struct {
        const char* command;
        const char* size;
    } commands[] = {{"convert", "--resize 90x90"},
                    {"render", "--size 90x90"},
                    {"convert", "--resize 20%"},
                    {"render", "--size 50 --scale stretch"}};
    for (int orientation = 1; orientation <= 8; ++orientation) {
        talvrin::testutil::writeFile(path("p.jpg"), photoJpeg(401, 243, orientation));
        // The reference: the whole image decoded (turned upright), then resized the same way.
        ASSERT_EQ(run("convert " + path("p.jpg") + " " + path("full.png")).status, 0);
        for (const auto& c : commands) {
            const std::string what = std::string(c.command) + " " + c.size + ", orientation " +
                                     std::to_string(orientation);
            for (const char* from : {"p.jpg", "full.png"}) {
                const std::string out = from[0] == 'p' ? "reduced" : "reference";
                ASSERT_EQ(run(std::string(c.command) + " " + path(from) + " " + path(out + ".png") +
                              " " + c.size)
                              .status,
                          0)
                    << what;
                ASSERT_EQ(run("convert " + path(out + ".png") + " " + path(out + ".rgba")).status,
                          0);
            }
            const auto sizeOf = [&](const char* name) {
                const std::string line = run("info " + path(name)).out;
                return line.substr(line.find("size="), line.find("\talpha") - line.find("size="));
            };
            EXPECT_EQ(sizeOf("reduced.png"), sizeOf("reference.png")) << what;
            const Bytes reduced = talvrin::testutil::readFile(path("reduced.rgba"));
            const Bytes reference = talvrin::testutil::readFile(path("reference.rgba"));
            ASSERT_EQ(reduced.size(), reference.size()) << what;
            ASSERT_FALSE(reduced.empty());
            double sum = 0;
            int most = 0;
            for (std::size_t i = 0; i < reduced.size(); ++i) {
                const int d = std::abs(int(reduced[i]) - int(reference[i]));
                sum += d;
                most = std::max(most, d);
            }
            EXPECT_LE(sum / double(reduced.size()), 2.0) << what;
            EXPECT_LE(most, 24) << what;
        }
    }
#endif
}

#if !defined(_WIN32) && TALVRIN_HAVE_JPEG
// A 4000 x 3000 JPEG is 48 MB of pixels at full size: a reduced decode never holds them, while
// the own engine's path (--no-bridge) decodes the whole image.
TEST_F(JpegResize, AReducedDecodeNeverMakesTheFullSizeImage) {
    talvrin::testutil::writeFile(
        path("big.jpg"),
        talvrin::test::encodeJpeg(4000, 3000, {.quality = 90},
                                  [](int x, int y, int k) { return (x / 8 + y / 8 + k) % 256; }));
    const std::string tool = talvrin::testsupport::programPath("talvrin-image");
    for (const char* command : {"convert", "render"}) {
        const std::string option = command[0] == 'c' ? "--resize" : "--size";
        const long full = talvrin::tooltest::peakKilobytes(
            {tool, "--no-bridge", command, path("big.jpg"), path("o.png"), option, "300x300"});
        const long reduced = talvrin::tooltest::peakKilobytes(
            {tool, command, path("big.jpg"), path("o.png"), option, "300x300"});
        ASSERT_GT(full, 0);
        ASSERT_GT(reduced, 0);
        EXPECT_GT(full - reduced, 40'000) << command << ": " << reduced << " KB against " << full;
    }
}
#endif

}  // namespace
