// cBMPparser over the BMP and JPEG files of the shared corpus, checked against the reference
// decodes in corpus/ref (8-bit straight RGBA, top row first). One parameterised test over
// bmp_jpeg_manifest.tsv, which lists every file with what the surface must hold:
//   ref         the reference pixels, premultiplied (colour * alpha / 255, truncated), within tol
//   ref-opaque  the reference colours with alpha 255: our rules make the image opaque where the
//               reference keeps an alpha channel (bit-field and loader routes)
//   ref-skips   as ref, except pixels the run-length data skips: they stay black (0, 0, 0, 255)
//               where the reference paints palette entry 0, so black surface pixels are not
//               compared
//   like-opaque:FILE  both of the above
//   like:FILE   the reference of another corpus file showing the same picture (the reference
//               decoder refuses or misreads this one)
//   image       an image; no usable reference (refused by the reference decoder, or none kept)
//   none:REASON no image, refused for REASON (the decode-failure text, e.g. "bad header")
// Skipped when the corpus is absent.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "image/codecs/bmp_parser.h"
#include "image/surface/c32bpp_dib.h"
#include "platform/picture/jpeg_decoder.h"
#include "platform/picture/picture_loader.h"

namespace talvrin {
namespace {

namespace fs = std::filesystem;

struct Case {
    std::string file;
    std::string expect;
    int tolerance = 0;
    std::string reason;
};

std::vector<Case> readManifest() {
    std::vector<Case> cases;
    std::ifstream in(fs::path(TALVRIN_SOURCE_DIR) / "tests/image/codecs/bmp_jpeg_manifest.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Case c;
        std::string tol;
        std::getline(fields, c.file, '\t');
        std::getline(fields, c.expect, '\t');
        std::getline(fields, tol, '\t');
        std::getline(fields, c.reason);
        c.tolerance = tol.empty() ? 0 : std::atoi(tol.c_str());
        cases.push_back(c);
    }
    return cases;
}

std::vector<std::uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.file << " (" << c.expect << ")";
}

class BmpJpegCorpus : public ::testing::TestWithParam<Case> {};

TEST_P(BmpJpegCorpus, MatchesManifest) {
    const fs::path corpus = TALVRIN_CORPUS_DIR;
    if (corpus.empty() || !fs::is_directory(corpus / "bmp"))
        GTEST_SKIP() << "image corpus not found at '" << corpus.string() << "'";
    const Case& c = GetParam();
    const auto bytes = readFile(corpus / c.file);
    ASSERT_FALSE(bytes.empty()) << c.file;

    c32bppDIB dib;
    cBMPparser parser;
    const bool loaded = parser.LoadStream(bytes, dib, 0, static_cast<std::int32_t>(bytes.size()));
    if (c.file.rfind("jpeg/", 0) == 0 && !platform::jpegDecoderAvailable()) {
        if (!platform::makeSystemPictureLoader()) {
            EXPECT_FALSE(loaded);
            GTEST_SKIP() << "no JPEG library in this build: refused as "
                         << explain(parser.lastLoadFailure());
        }
        // The system's picture loader decodes JPEG here: the file loads opaque at its size
        // wherever the reference decoder reads it (its pixels are compared in the platform's
        // tests).
        if (c.expect.rfind("none:", 0) == 0) return;
        if (!loaded)
            GTEST_SKIP() << "the system's picture loader refuses it as "
                         << explain(parser.lastLoadFailure())
                         << " (its differences are listed in the system picture loader's tests)";
        EXPECT_FALSE(dib.Alpha());
        EXPECT_EQ(dib.ImageType(), imgBitmap);
        return;
    }
    if (c.expect.rfind("none:", 0) == 0) {
        EXPECT_FALSE(loaded);
        EXPECT_EQ(dib.Handle(), nullptr);
        EXPECT_EQ(describe(parser.lastLoadFailure().reason), c.expect.substr(5)) << c.reason;
        return;
    }
    EXPECT_FALSE(parser.lastLoadFailure().failed())
        << c.file << ": " << explain(parser.lastLoadFailure());
    ASSERT_TRUE(loaded) << c.reason;
    ASSERT_NE(dib.Handle(), nullptr);
    if (c.expect == "image") return;

    const auto colon = c.expect.find(':');
    const std::string mode = c.expect.substr(0, colon);
    const std::string refFile = colon == std::string::npos ? c.file : c.expect.substr(colon + 1);
    const auto ref = readFile(corpus / "ref" / (refFile + ".rgba"));
    const bool skips = mode == "ref-skips";
    const std::size_t w = static_cast<std::size_t>(dib.Width());
    const std::size_t h = static_cast<std::size_t>(dib.Height());
    ASSERT_EQ(ref.size(), w * h * 4) << "size " << w << "x" << h;
    const bool opaque = mode == "ref-opaque" || mode == "like-opaque";
    int worst = 0;
    std::size_t mismatches = 0;
    std::string first;
    for (std::size_t y = 0; y < h; ++y) {
        const std::uint8_t* row = dib.BitsPointer() + (h - 1 - y) * w * 4;
        for (std::size_t x = 0; x < w; ++x) {
            const std::uint8_t* r = &ref[(y * w + x) * 4];
            const std::uint8_t* s = row + x * 4;
            if (skips && s[0] == 0 && s[1] == 0 && s[2] == 0 && s[3] == 255) continue;
            const unsigned a = opaque ? 255u : r[3];
            // Reference R, G, B, A against surface B, G, R, A.
            const int want[4] = {static_cast<int>(r[2] * a / 255), static_cast<int>(r[1] * a / 255),
                                 static_cast<int>(r[0] * a / 255), static_cast<int>(a)};
            for (int k = 0; k < 4; ++k) {
                const int d = std::abs(want[k] - s[k]);
                if (d > worst) worst = d;
                if (d > c.tolerance) {
                    if (mismatches++ == 0)
                        first = "(" + std::to_string(x) + "," + std::to_string(y) + ") channel " +
                                std::to_string(k) + " want " + std::to_string(want[k]) + " got " +
                                std::to_string(s[k]);
                    break;
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0u) << "worst difference " << worst << ", first at " << first;
    if (opaque) {
        EXPECT_FALSE(dib.Alpha());
    }
}

std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    std::string name = info.param.file;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Manifest, BmpJpegCorpus, ::testing::ValuesIn(readManifest()), caseName);

}  // namespace
}  // namespace talvrin
