// What an input's first bytes tell before the rest is read: the format by its signature (the
// formats the library does not read included, so that refusals name them), the declared size,
// and the bytes worth reading. Hand-made headers, each cut at every length.
#include "tools/input_header.h"

#include <gtest/gtest.h>

#include <string>

#include "image/codecs/gifico_test_util.h"
#include "image/codecs/png_test_builder.h"
#include "support/bmp_test_builder.h"
#include "support/icon_file_builder.h"

namespace {

using namespace talvrin::tool;
using namespace std::literals;
using talvrin::testutil::Bytes;

Bytes text(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

Bytes withSuffix(Bytes b, std::size_t total) {
    b.resize(std::max(b.size(), total), 0);
    return b;
}

// An ISO media file's first box: size, "ftyp", the major brand, a version, compatible brands.
Bytes ftyp(std::string_view major, std::string_view compatible) {
    Bytes b = {0, 0, 0, static_cast<std::uint8_t>(16 + compatible.size()), 'f', 't', 'y', 'p'};
    b.insert(b.end(), major.begin(), major.end());
    b.insert(b.end(), {0, 0, 0, 0});
    b.insert(b.end(), compatible.begin(), compatible.end());
    return b;
}

// An 18-byte TGA header: true colour (type 2) at 24 bits, 3 x 2.
Bytes tga() {
    return {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 24, 0};
}

TEST(InputHeader, FormatsByTheirSignatures) {
    const struct {
        Bytes head;
        std::string_view key;
        bool library;
    } cases[] = {
        {talvrin::testutil::makePngRgba(1, 1, {1, 2, 3, 4}), "png", true},
        {text("GIF89a......"), "gif", true},
        {text("gif87a......"), "gif", true},
        {{0, 0, 1, 0, 1, 0}, "ico", true},
        {{0, 0, 2, 0, 1, 0}, "cur", true},
        {text("BM......"), "bmp", true},
        {{0xFF, 0xD8, 0xFF, 0xE0}, "jpeg", true},
        {text("RIFF\x10\0\0\0WEBPVP8 "sv), "webp", true},
        {text(std::string_view("II*\0", 4)), "tiff", true},
        {ftyp("avif", "mif1miafMA1B"), "avif", false},
        {ftyp("mif1", "mif1avif"), "avif", false},
        {ftyp("heic", "mif1heic"), "heic", false},
        {ftyp("isom", "isomiso2mp41"), "other", false},  // a video
        {text(std::string_view("\0\0\0\x0CjP  \r\n\x87\n", 12)), "jp2", false},
        {{0xFF, 0x4F, 0xFF, 0x51}, "jp2", false},
        {{0xFF, 0x0A, 0xFA}, "jxl", false},
        {text("8BPS\0\1"sv), "psd", false},
        {text("/* XPM */\nstatic char*"), "xpm", false},
        {text("P6\n3 2\n255\n"), "pnm", false},
        {text("P7\nWIDTH 1\n"), "pnm", false},
        {text("\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<svg xmlns="), "svg", false},
        {text("  <svg width=\"4\">"), "svg", false},
        {tga(), "tga", false},
        {{0xD7, 0xCD, 0xC6, 0x9A}, "wmf", false},
        // Not recognised: text, markup that is no SVG, zeros, a TGA header with a bad depth.
        {text("just some text here."), "other", false},
        {text("<html><body>"), "other", false},
        {Bytes(100, 0), "other", false},
        {Bytes(100, 7), "other", false},
        {[] {
             Bytes b = tga();
             b[16] = 17;
             return b;
         }(),
         "other", false},
        {{}, "other", false},
    };
    for (const auto& c : cases) {
        const Format f = sniffFormat(c.head);
        EXPECT_EQ(f.key, c.key) << std::string(c.head.begin(), c.head.end());
        EXPECT_EQ(f.libraryReads, c.library) << c.key;
    }
}

TEST(InputHeader, DeclaredSizesBoundTheBytesRead) {
    talvrin::test::BmpSpec bottomUp;
    bottomUp.width = 300;
    bottomUp.height = -200;  // top-down
    bottomUp.pixels = Bytes(4, 0);
    talvrin::test::BmpSpec core;
    core.headerSize = 12;
    core.width = 5;
    core.height = 7;
    core.pixels = Bytes(4, 0);
    talvrin::testutil::GifRecipe gif;
    gif.width = 640;
    gif.height = 480;
    gif.globalTable = talvrin::testutil::rampTable(4);
    gif.minCodeSize = 2;
    gif.pixels = Bytes(640 * 480, 1);
    // JPEG: SOI, 300 KiB of APP2 segments, then a frame header of 1000 x 700.
    Bytes jpeg = {0xFF, 0xD8};
    for (int i = 0; i < 5; ++i) {
        jpeg.insert(jpeg.end(), {0xFF, 0xE2, 0xFF, 0xFF});
        jpeg.insert(jpeg.end(), 0xFFFD, 0x20);
    }
    jpeg.insert(jpeg.end(), {0xFF, 0xC0, 0, 11, 8, 0x02, 0xBC, 0x03, 0xE8, 1, 1, 0x11, 0});
    jpeg.insert(jpeg.end(), {0xFF, 0xDA, 0, 2});
    const Bytes icon = talvrin::test::iconOfSizes({16, 48});
    Bytes webp = withSuffix(text("RIFF\x40\0\0\0WEBPVP8X\x0A\0\0\0\x10\0\0\0"sv), 30);
    webp[24] = 0x1F;  // canvas width - 1 = 799
    webp[25] = 0x03;
    webp[27] = 0x57;  // canvas height - 1 = 599
    webp[28] = 0x02;
    using Size = std::pair<std::uint32_t, std::uint32_t>;
    const struct {
        const char* what;
        Bytes bytes;
        std::optional<Size> size;
        bool isTheImage;
        std::optional<std::uint64_t> fileBytes;
    } cases[] = {
        {"png", talvrin::testutil::makePngRgba(3, 2, Bytes(24, 9)), Size{3, 2}, true, {}},
        {"bmp, top-down", talvrin::test::buildBmp(bottomUp), Size{300, 200}, true, {}},
        {"bmp, core header", talvrin::test::buildBmp(core), Size{5, 7}, true, {}},
        {"gif: the screen", talvrin::testutil::makeGif(gif), Size{640, 480}, false, {}},
        {"jpeg after long segments", jpeg, Size{1000, 700}, true, {}},
        {"icon: the largest entry", icon, Size{48, 48}, false, icon.size()},
        {"webp, extended", webp, Size{800, 600}, true, 0x48},
    };
    for (const auto& c : cases) {
        const Format format = sniffFormat(c.bytes);
        const Declared d = readDeclared(format, c.bytes);
        EXPECT_FALSE(d.needMore) << c.what;
        EXPECT_EQ(d.size, c.size) << c.what;
        EXPECT_EQ(d.sizeIsTheImage, c.isTheImage) << c.what;
        EXPECT_EQ(d.fileBytes, c.fileBytes) << c.what;
        // Each cut asks for more or answers what the bytes hold; none reads past them (the
        // sanitizers watch the exact-size copies).
        for (std::size_t n = 0; n < c.bytes.size(); n += 1 + n / 64) {
            const Bytes cut(c.bytes.begin(), c.bytes.begin() + static_cast<std::ptrdiff_t>(n));
            const Declared part = readDeclared(format, cut);
            if (part.size && !part.needMore && c.fileBytes == std::nullopt) {
                EXPECT_EQ(part.size, c.size) << c.what << " cut at " << n;
            }
        }
    }
    // The JPEG's frame header lies past the first 64 KiB: a cut there asks for more.
    EXPECT_TRUE(
        readDeclared(sniffFormat(jpeg), Bytes(jpeg.begin(), jpeg.begin() + kSniffBytes)).needMore);
    // The bytes worth reading: 16 a pixel (64 for a GIF's screen) and 64 MiB, or by the budget
    // without a size, never beyond the decoders' 32-bit offsets.
    const Format png = sniffFormat(cases[0].bytes);
    Declared d;
    d.size = Size{1000, 1000};
    EXPECT_EQ(byteLimitFor(png, d, 0), 16'000'000u + (64u << 20));
    EXPECT_EQ(byteLimitFor(sniffFormat(cases[3].bytes), d, 0), 64'000'000u + (64u << 20));
    EXPECT_EQ(byteLimitFor(png, Declared{}, 1000), 16'000u + (64u << 20));
    d.size = Size{65535, 65535};
    EXPECT_EQ(byteLimitFor(png, d, 0), 2147483647u);
}

}  // namespace
