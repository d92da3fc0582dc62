// The system's picture loader (Windows) against the portable decoders on the corpus's GIF and
// JPEG files, its size checks before the system decodes anything, and the two helpers it rests
// on (the declared size of a JPEG, a GIF's first image rebuilt alone), which hold everywhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "base/decode_budget.h"
#include "platform/picture/gif_decoder.h"
#include "platform/picture/picture_loader.h"

namespace talvrin {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::path corpus() {
    return TALVRIN_CORPUS_DIR;
}

bool haveCorpus() {
    return !corpus().empty() && fs::is_directory(corpus() / "gif");
}

std::vector<fs::path> corpusFiles(const char* folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(corpus() / folder))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// The pixels of a picture's bitmap as B, G, R (alpha left out: 24-bit pictures have none).
Bytes colours(const platform::Picture& picture) {
    const platform::Bitmap& b = *picture.bitmap();
    const int bytes = b.bitsPerPixel() / 8;
    Bytes out;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x) {
            const std::uint8_t* p = b.rowFromTop(y) + std::size_t(x) * bytes;
            out.insert(out.end(), p, p + 3);
        }
    return out;
}

TEST(JpegDeclaredSize, ReadsTheFrameHeaderPastOtherSegments) {
    // SOI, then segments; the frame header's height and width are big-endian at 3 and 5 of it.
    const Bytes app0 = {0xFF, 0xE0, 0x00, 0x04, 0x4A, 0x46};
    const Bytes dht = {0xFF, 0xC4, 0x00, 0x03, 0x00};
    const Bytes sof0 = {0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x01, 0x2C,
                        0x02, 0x80, 0x01, 0x01, 0x11, 0x00};
    const Bytes sof2 = {0xFF, 0xC2, 0x00, 0x0B, 0x08, 0x00, 0x07,
                        0x00, 0x05, 0x01, 0x01, 0x11, 0x00};
    const Bytes sos = {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00};
    const auto join = [](std::initializer_list<Bytes> parts) {
        Bytes out = {0xFF, 0xD8};
        for (const Bytes& p : parts)
            out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    struct Case {
        const char* name;
        Bytes file;
        std::optional<std::pair<std::uint32_t, std::uint32_t>> size;  // width, height
    };
    const Bytes whole = join({sof0});
    const Bytes cut(whole.begin(), whole.begin() + 8);
    Bytes stray = join({app0, sof2});
    stray.insert(stray.begin() + 8, {0x12, 0x34});  // stray bytes between two segments
    Bytes filled = join({app0, sof2});
    filled.insert(filled.begin() + 2, 3, 0xFF);  // fill bytes before a marker
    const Case cases[] = {
        {"after an application segment", join({app0, sof0}), std::pair{640u, 300u}},
        {"after a table, progressive", join({dht, sof2}), std::pair{5u, 7u}},
        {"after fill bytes", filled, std::pair{5u, 7u}},
        {"a scan before any frame", join({app0, sos, sof0}), std::nullopt},
        {"frame header cut short", cut, std::nullopt},
        {"a segment length past the data", join({{0xFF, 0xE1, 0x7F, 0xFF}, sof0}), std::nullopt},
        {"a length below 2", join({{0xFF, 0xE1, 0x00, 0x01}, sof0}), std::nullopt},
        {"stray bytes between segments", stray, std::pair{5u, 7u}},
        {"a frame of height 0", join({{0xFF, 0xC0, 0x00, 0x0B, 0x08, 0, 0, 0, 5}}), std::nullopt},
        {"not a JPEG", Bytes{'G', 'I', 'F', '8', '9', 'a'}, std::nullopt},
    };
    for (const Case& c : cases) {
        const auto got = platform::jpegDeclaredSize(ByteView(c.file.data(), c.file.size()));
        ASSERT_EQ(got.has_value(), c.size.has_value()) << c.name;
        if (got) {
            EXPECT_EQ(got->width, c.size->first) << c.name;
            EXPECT_EQ(got->height, c.size->second) << c.name;
        }
    }
}

TEST(GifFirstImageAlone, DecodesAsTheWholeFileDoes) {
    if (!haveCorpus()) GTEST_SKIP() << "image corpus not found at '" << corpus().string() << "'";
    int compared = 0;
    for (const fs::path& file : corpusFiles("gif")) {
        const Bytes bytes = readFile(file);
        const ByteView view(bytes.data(), bytes.size());
        platform::GifLayout layout;
        if (platform::walkGifToFirstImage(view, layout).failed()) continue;
        const Bytes alone = platform::rebuildFirstImageGif(view, layout);
        ASSERT_FALSE(alone.empty()) << file;
        const ByteView rebuilt(alone.data(), alone.size());
        // Screen of the image's size, image at (0, 0), no control extension, then the trailer.
        platform::GifLayout again;
        ASSERT_FALSE(platform::walkGifToFirstImage(rebuilt, again).failed()) << file;
        EXPECT_EQ(rebuilt.u16le(6), layout.width) << file;
        EXPECT_EQ(rebuilt.u16le(8), layout.height) << file;
        EXPECT_EQ(rebuilt.u32le(again.imageBlock + 1), 0u) << file;
        EXPECT_FALSE(again.hasControlExtension) << file;
        EXPECT_EQ(alone.back(), 0x3B) << file;

        const auto [a, whole] = platform::decodeGifPicture(view);
        const auto [b, first] = platform::decodeGifPicture(rebuilt);
        EXPECT_EQ(whole, first) << file;
        ASSERT_EQ(a == nullptr, b == nullptr) << file;
        if (!a) continue;
        EXPECT_EQ(colours(*a), colours(*b)) << file;
        ++compared;
    }
    EXPECT_GT(compared, 30);
}

// ---- The system's loader ----------------------------------------------------------------------

// The manifest's expectation for each JPEG file of the corpus: "ref", "image" or "none:REASON".
std::map<std::string, std::string> jpegExpectations() {
    std::map<std::string, std::string> out;
    std::ifstream in(fs::path(TALVRIN_SOURCE_DIR) / "tests/image/codecs/bmp_jpeg_manifest.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("jpeg/", 0) != 0) continue;
        std::istringstream fields(line);
        std::string file, expect;
        std::getline(fields, file, '\t');
        std::getline(fields, expect, '\t');
        out[file] = expect;
    }
    return out;
}

// How far the system's JPEG decoder may stray from the reference decode (which the portable
// decoder matches exactly): its inverse transform and chroma upsampling are its own, which
// shows on sharp colour edges (Wine's: worst 50 on hopper.jpg) and hardly anywhere else (a mean
// difference below 1.5 on every file).
constexpr int kSystemJpegTolerance = 64;
constexpr double kSystemJpegMeanTolerance = 2.0;

// Files the reference decoder reads and one system decoder (Wine's) refuses, with the reason.
const std::map<std::string, std::string> kSystemRefuses = {
    {"jpeg/truncated_jpeg.jpg",
     "the data ends inside the scan: libjpeg-turbo fills the rest, Wine's decoder gives up"},
};

TEST(SystemPictureLoader, CorpusGifAndJpegMatchThePortableDecode) {
    auto system = platform::makeSystemPictureLoader();
    if (!system) GTEST_SKIP() << "no system picture loader on this platform";
    if (!haveCorpus()) GTEST_SKIP() << "image corpus not found at '" << corpus().string() << "'";

    // GIF: exactly the portable decoder's picture, wherever that one decodes the file.
    for (const fs::path& file : corpusFiles("gif")) {
        const Bytes bytes = readFile(file);
        const auto [portable, portableWhy] = platform::DefaultPictureLoader().load(bytes);
        const auto [viaSystem, systemWhy] = system->load(bytes);
        if (!portable) {
            EXPECT_EQ(viaSystem, nullptr) << file << " (portable: " << explain(portableWhy) << ")";
            continue;
        }
        ASSERT_NE(viaSystem, nullptr) << file << ": " << explain(systemWhy);
        EXPECT_EQ(viaSystem->type(), platform::kPictureBitmap);
        EXPECT_EQ(viaSystem->pixelWidth(), portable->pixelWidth()) << file;
        EXPECT_EQ(viaSystem->pixelHeight(), portable->pixelHeight()) << file;
        EXPECT_TRUE(colours(*viaSystem) == colours(*portable)) << file;
    }

    // JPEG: the reference pixels within the system decoder's tolerance, opaque.
    const auto expectations = jpegExpectations();
    ASSERT_FALSE(expectations.empty());
    for (const auto& [name, expect] : expectations) {
        const Bytes bytes = readFile(corpus() / name);
        const auto [picture, why] = system->load(bytes);
        if (expect.rfind("none:", 0) == 0) {
            EXPECT_EQ(picture, nullptr) << name;
            continue;
        }
        if (!picture && kSystemRefuses.count(name)) {
            std::printf("%s: refused as %s; %s\n", name.c_str(), explain(why).c_str(),
                        kSystemRefuses.at(name).c_str());
            continue;
        }
        ASSERT_NE(picture, nullptr) << name << ": " << explain(why);
        const platform::Bitmap& b = *picture->bitmap();
        const auto declared = platform::jpegDeclaredSize(ByteView(bytes.data(), bytes.size()));
        ASSERT_TRUE(declared.has_value()) << name;
        EXPECT_EQ(std::uint32_t(b.width()), declared->width) << name;
        EXPECT_EQ(std::uint32_t(b.height()), declared->height) << name;
        if (expect != "ref") continue;
        const Bytes ref = readFile(corpus() / "ref" / (name + ".rgba"));
        ASSERT_EQ(ref.size(), std::size_t(b.width()) * b.height() * 4) << name;
        int worst = 0;
        double sum = 0;
        for (int y = 0; y < b.height(); ++y)
            for (int x = 0; x < b.width(); ++x) {
                const std::uint8_t* p = b.rowFromTop(y) + 4 * std::size_t(x);
                const std::uint8_t* r = &ref[(std::size_t(y) * b.width() + x) * 4];
                EXPECT_EQ(p[3], 255);
                for (int k = 0; k < 3; ++k) {
                    const int d = std::abs(int(p[k]) - int(r[2 - k]));
                    worst = std::max(worst, d);
                    sum += d;
                }
            }
        const double mean = sum / (3.0 * b.width() * b.height());
        EXPECT_LE(worst, kSystemJpegTolerance) << name;
        EXPECT_LT(mean, kSystemJpegMeanTolerance) << name;
        std::printf("%s: worst difference %d, mean %.2f\n", name.c_str(), worst, mean);
    }
}

TEST(SystemPictureLoader, DeclaredSizesBeyondTheBudgetNeverReachTheSystem) {
    auto system = platform::makeSystemPictureLoader();
    if (!system) GTEST_SKIP() << "no system picture loader on this platform";
    const ScopedDecodeBudget budget(1000);
    // A JPEG frame of 40 x 30 and a GIF image of 40 x 30, each with nothing decodable after the
    // header: refused for their size before any decoding.
    const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 30, 0x00, 40,
                        0x01, 0x01, 0x11, 0x00, 0xFF, 0xD9, 0,    0,    0,  0,    0};
    Bytes gif = {'G', 'I',  'F', '8', '9', 'a', 40, 0, 30, 0, 0x80, 0, 0, 0,    0,    0, 255, 255,
                 255, 0x2C, 0,   0,   0,   0,   40, 0, 30, 0, 0,    2, 2, 0x44, 0x01, 0, 0x3B};
    for (const Bytes& file : {jpeg, gif}) {
        const auto [picture, why] = system->load(file);
        EXPECT_EQ(picture, nullptr);
        EXPECT_EQ(why.reason, DecodeFailure::kTooLarge);
    }
    // The process's loader is the system's one.
    EXPECT_EQ(dynamic_cast<platform::DefaultPictureLoader*>(platform::pictureLoader()), nullptr);
}

}  // namespace
}  // namespace talvrin
