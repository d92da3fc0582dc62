// What the tool reads from files and does to images where those rules live: the JPEG header
// reader (hand-made headers, then every cut and every one-byte change of one), the GIF frame
// count and format sniffing, EXIF orientations applied to pixels, and the JSON record.
#include "tools/image_facts.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "base/decode_budget.h"
#include "image/codecs/gifico_test_util.h"
#include "image/surface/c32bpp_dib.h"
#include "tools/image_ops.h"
#include "tools/info_json.h"
#include "tools/jpeg_header.h"

namespace {

using namespace talvrin::tool;
using talvrin::testutil::Bytes;

// An APP1 "Exif" segment whose first directory holds the entries (tag, type, count, value).
struct Entry {
    std::uint16_t tag, type;
    std::uint32_t count, value;
};
Bytes exifSegment(bool bigEndian, const std::vector<Entry>& entries, std::uint32_t ifdOffset = 8) {
    Bytes tiff = bigEndian ? Bytes{'M', 'M', 0, 42} : Bytes{'I', 'I', 42, 0};
    const auto put = [&tiff, bigEndian](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            const int shift = bigEndian ? 8 * (bytes - 1 - i) : 8 * i;
            tiff.push_back(static_cast<std::uint8_t>(v >> shift));
        }
    };
    put(ifdOffset, 4);
    put(static_cast<std::uint32_t>(entries.size()), 2);
    for (const Entry& e : entries) {
        put(e.tag, 2);
        put(e.type, 2);
        put(e.count, 4);
        // A SHORT value sits in the first two bytes of the value field.
        if (e.type == 3) {
            put(e.value, 2);
            put(0, 2);
        } else {
            put(e.value, 4);
        }
    }
    put(0, 4);  // no next directory
    Bytes body = {'E', 'x', 'i', 'f', 0, 0};
    body.insert(body.end(), tiff.begin(), tiff.end());
    const auto length = static_cast<std::uint16_t>(body.size() + 2);
    Bytes segment = {0xFF, 0xE1, static_cast<std::uint8_t>(length >> 8),
                     static_cast<std::uint8_t>(length)};
    segment.insert(segment.end(), body.begin(), body.end());
    return segment;
}

// SOI, the segments, a baseline frame header (8 bits, 3 components) and the start of a scan.
Bytes jpegWith(const std::vector<Bytes>& segments) {
    Bytes b = {0xFF, 0xD8};
    for (const Bytes& s : segments)
        b.insert(b.end(), s.begin(), s.end());
    const Bytes sof = {0xFF, 0xC0, 0, 17, 8, 0, 2, 0, 3, 3, 1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0};
    b.insert(b.end(), sof.begin(), sof.end());
    b.insert(b.end(), {0xFF, 0xDA, 0, 2});
    return b;
}

TEST(JpegHeader, ReadsTheExifOrientationAndTheFrameFacts) {
    const Bytes xmp = {0xFF, 0xE1, 0, 8, 'h', 't', 't', 'p', ':', '/'};
    const struct {
        const char* what;
        Bytes bytes;
        std::optional<std::uint8_t> orientation;
    } cases[] = {
        {"big-endian SHORT", jpegWith({exifSegment(true, {{0x0112, 3, 1, 6}})}), 6},
        {"little-endian SHORT", jpegWith({exifSegment(false, {{0x0112, 3, 1, 3}})}), 3},
        {"LONG", jpegWith({exifSegment(true, {{0x0112, 4, 1, 8}})}), 8},
        {"after other tags", jpegWith({exifSegment(false, {{0x010F, 2, 4, 0}, {0x0112, 3, 1, 5}})}),
         5},
        {"after an XMP block", jpegWith({xmp, exifSegment(true, {{0x0112, 3, 1, 7}})}), 7},
        {"none stored", jpegWith({exifSegment(true, {{0x010F, 2, 4, 0}})}), std::nullopt},
        {"0 is no orientation", jpegWith({exifSegment(true, {{0x0112, 3, 1, 0}})}), std::nullopt},
        {"9 is no orientation", jpegWith({exifSegment(true, {{0x0112, 3, 1, 9}})}), std::nullopt},
        {"two values", jpegWith({exifSegment(true, {{0x0112, 3, 2, 6}})}), std::nullopt},
        {"a text value", jpegWith({exifSegment(true, {{0x0112, 2, 1, 6}})}), std::nullopt},
        {"directory past the end", jpegWith({exifSegment(true, {{0x0112, 3, 1, 6}}, 4000)}),
         std::nullopt},
        {"directory at the very end",
         jpegWith({exifSegment(true, {{0x0112, 3, 1, 6}}, 0xFFFFFFFF)}), std::nullopt},
        {"no EXIF at all", jpegWith({}), std::nullopt},
    };
    for (const auto& c : cases) {
        const auto h = readJpegHeader(c.bytes);
        ASSERT_TRUE(h) << c.what;
        EXPECT_EQ(h->orientation, c.orientation) << c.what;
        EXPECT_EQ(h->precision, 8) << c.what;
        EXPECT_EQ(h->components, 3) << c.what;
    }
    EXPECT_FALSE(readJpegHeader(Bytes{0x89, 'P', 'N', 'G'}));
    EXPECT_FALSE(readJpegHeader(Bytes{}));
    // A segment whose length runs past the data ends the walk without an answer from it.
    Bytes cut = jpegWith({exifSegment(true, {{0x0112, 3, 1, 6}})});
    cut.resize(20);
    EXPECT_EQ(readJpegHeader(cut)->orientation, std::nullopt);
}

// Every prefix and every one-byte change of a header: an answer in range or none, and no read
// outside the bytes (each case runs on an exact-size copy, which the sanitizers watch).
TEST(JpegHeader, EveryCutAndEveryByteChangeIsSafe) {
    const Bytes base = jpegWith({exifSegment(false, {{0x0112, 3, 1, 6}})});
    const auto check = [](const Bytes& bytes) {
        const auto h = readJpegHeader(bytes);
        if (h && h->orientation) {
            EXPECT_GE(*h->orientation, 1);
            EXPECT_LE(*h->orientation, 8);
        }
    };
    for (std::size_t n = 0; n <= base.size(); ++n)
        check(Bytes(base.begin(), base.begin() + static_cast<std::ptrdiff_t>(n)));
    for (std::size_t i = 0; i < base.size(); ++i)
        for (const std::uint8_t v : {0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF}) {
            Bytes changed = base;
            changed[i] = v;
            check(changed);
        }
}

TEST(ImageFacts, FormatsFramesDepthsAndTypeNames) {
    talvrin::testutil::GifRecipe gif;
    gif.globalTable = talvrin::testutil::rampTable(4);
    gif.width = gif.height = 2;
    gif.minCodeSize = 2;
    gif.pixels = {0, 1, 2, 3};
    Bytes one = talvrin::testutil::makeGif(gif);
    // Two more images after the first, with an extension between them.
    const std::size_t image = 13 + 12;
    Bytes three(one.begin(), one.end() - 1);
    const Bytes block(one.begin() + image, one.end() - 1);
    three.insert(three.end(), {0x21, 0xFE, 2, 'h', 'i', 0});
    three.insert(three.end(), block.begin(), block.end());
    three.insert(three.end(), block.begin(), block.end());
    three.push_back(0x3B);
    EXPECT_EQ(gifFrameCount(one), 1);
    EXPECT_EQ(gifFrameCount(three), 3);
    EXPECT_EQ(gifFrameCount(Bytes(three.begin(), three.end() - 5)), 3) << "cut in the last";
    EXPECT_EQ(gifFrameCount(Bytes(one.begin(), one.begin() + image + 4)), 0);

    Bytes lower = one;
    std::copy_n("gif89a", 6, lower.begin());
    const struct {
        Bytes bytes;
        std::string_view format;
        std::optional<std::int32_t> depth;
        std::optional<std::string_view> colour;
        std::optional<std::int32_t> frames;
    } cases[] = {
        {three, "gif", 2, "palette", 3},
        {lower, "gif", 2, "palette", 1},  // the decoder takes either case, so info does too
        {talvrin::testutil::makePngRgba(1, 1, {1, 2, 3, 4}), "png", 8, "rgba", std::nullopt},
        {jpegWith({}), "jpeg", 8, "ycbcr", std::nullopt},
        {Bytes(60, 7), "other", std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        const ImageFacts f = readFacts(c.bytes);
        EXPECT_EQ(f.format, c.format);
        EXPECT_EQ(f.bitDepth, c.depth) << c.format;
        EXPECT_EQ(f.colorType, c.colour) << c.format;
        EXPECT_EQ(f.frames, c.frames) << c.format;
    }
    EXPECT_EQ(readFacts(jpegWith({})).orientation, 1) << "a JPEG without EXIF is upright";
    EXPECT_EQ(imageTypeName(10), "png");
    EXPECT_EQ(imageTypeName(7), "bitmap-pargb");
    EXPECT_EQ(imageTypeName(64), "checkerboard");
    EXPECT_EQ(imageTypeName(1000), "unknown");
    EXPECT_NE(imageTypeTable().find("11 png-icon"), std::string::npos);
}

// The pixels of a 3 x 2 image, top row first: a b c / d e f, each a distinct opaque grey.
std::string arrangement(const talvrin::c32bppDIB& image) {
    std::string s;
    for (std::int32_t y = 0; y < image.Height(); ++y) {
        if (y) s += '/';
        for (std::int32_t x = 0; x < image.Width(); ++x)
            s += static_cast<char>(
                image.BitsPointer()[talvrin::pixelOffset(x, y, image.Height(), image.scanWidth())]);
    }
    return s;
}

TEST(ImageOps, EachExifOrientationTurnsTheImageUpright) {
    // What a viewer shows for each orientation of the stored "abc/def".
    const char* expected[] = {"abc/def",  "abc/def",  "cba/fed",  "fed/cba", "def/abc",
                              "ad/be/cf", "da/eb/fc", "fc/eb/da", "cf/be/ad"};
    for (int orientation = 0; orientation <= 8; ++orientation) {
        auto image = std::make_unique<talvrin::c32bppDIB>();
        ASSERT_TRUE(image->InitializeDIB(3, 2));
        for (std::int32_t i = 0; i < 6; ++i) {
            std::uint8_t* p =
                image->BitsPointer() + talvrin::pixelOffset(i % 3, i / 3, 2, image->scanWidth());
            p[0] = p[1] = p[2] = static_cast<std::uint8_t>('a' + i);
            p[3] = 255;
        }
        image->MakeTransparent(0, true);  // opaque: the flag from the pixels
        ASSERT_TRUE(applyOrientation(image, orientation));
        EXPECT_EQ(arrangement(*image), expected[orientation]) << orientation;
        EXPECT_FALSE(image->Alpha()) << "an opaque image stays opaque, " << orientation;
    }
}

TEST(ImageOps, AResizedOpaqueImageStaysOpaqueAndSizesAnswerToTheBudget) {
    talvrin::c32bppDIB image;
    ASSERT_TRUE(image.LoadPicture_Stream(talvrin::testutil::makePngRgba(
        2, 2, {200, 0, 0, 255, 200, 0, 0, 255, 0, 0, 200, 255, 0, 0, 200, 255})));
    image.MakeTransparent(0, true);  // every pixel is opaque: the flag from the pixels
    ASSERT_FALSE(image.Alpha());
    const auto big = resized(image, 5, 3);
    ASSERT_TRUE(big);
    EXPECT_EQ(big->Width(), 5);
    EXPECT_EQ(big->Height(), 3);
    EXPECT_FALSE(big->Alpha());
    // The top row is red and the bottom blue, edges included: nothing blends with the outside,
    // which would darken the corners. A cubic kernel may overshoot a little past the source.
    const std::uint8_t* top = big->BitsPointer() + talvrin::pixelOffset(0, 0, 3, big->scanWidth());
    const std::uint8_t* bottom =
        big->BitsPointer() + talvrin::pixelOffset(4, 2, 3, big->scanWidth());
    EXPECT_GE(top[2], 198);
    EXPECT_LE(top[2], 230);
    EXPECT_LE(top[0], 10);
    EXPECT_GE(bottom[0], 198);
    EXPECT_LE(bottom[0], 230);
    EXPECT_LE(bottom[2], 10);
    EXPECT_EQ(top[3], 255);
    EXPECT_EQ(bottom[3], 255);

    const talvrin::ScopedDecodeBudget budget(100);
    EXPECT_FALSE(sizeFailure(10, 10));
    EXPECT_EQ(sizeFailure(10, 11).value_or(Failure{}).text(),
              "too large (10 x 11 pixels; the pixel budget is 100 pixels, --max-pixels)");
    EXPECT_TRUE(sizeFailure(0, 5));
}

TEST(InfoJson, OneObjectWithTheKeysThatApply) {
    InfoRecord png;
    png.name = "a\tb\n\xff.png";  // a tab, a line break and a byte that is not UTF-8
    png.read = png.loaded = true;
    png.facts = readFacts(talvrin::testutil::makePngRgba(1, 1, {1, 2, 3, 4}));
    png.width = 1;
    png.height = 1;
    png.type = 10;
    png.alpha = true;
    const std::string text = infoJson(png);
    EXPECT_EQ(text.find('\n'), std::string::npos) << "one line";
    const auto j = nlohmann::json::parse(text);
    EXPECT_EQ(j["name"], "a\tb\n\xEF\xBF\xBD.png");
    EXPECT_EQ(j["format"], "png");
    EXPECT_EQ(j["width"], 1);
    EXPECT_EQ(j["type"], 10);
    EXPECT_EQ(j["type_name"], "png");
    EXPECT_EQ(j["alpha"], true);
    EXPECT_EQ(j["bit_depth"], 8);
    EXPECT_EQ(j["color_type"], "rgba");
    for (const char* absent : {"frames", "icons", "orientation", "error"})
        EXPECT_FALSE(j.contains(absent)) << absent;

    InfoRecord failed;
    failed.name = "cut.png";
    failed.read = true;
    failed.facts.format = "png";
    failed.error.reason = "bad data";
    failed.error.detail = "bad filter";
    const auto e = nlohmann::json::parse(infoJson(failed));
    EXPECT_EQ(e["error"]["reason"], "bad data");
    EXPECT_EQ(e["error"]["detail"], "bad filter");
    EXPECT_EQ(e["format"], "png");
    EXPECT_FALSE(e.contains("width"));

    InfoRecord missing;
    missing.name = "missing.png";
    missing.error.reason = "not found";
    const auto m = nlohmann::json::parse(infoJson(missing));
    EXPECT_EQ(m["error"], nlohmann::json({{"reason", "not found"}}));
    EXPECT_FALSE(m.contains("format"));
}

}  // namespace
