// Conformance of the GIF and icon decoders over the shared corpus: every gif/, ico/ and cur/
// file is listed in gif_ico_manifest.tsv with its expected outcome, and decoded images are
// compared with ImageMagick's decode in ref/ (straight RGBA, premultiplied here by the
// truncating rule). For icons the reference is the first directory entry, so that entry's size
// and depth are requested.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gifico_test_util.h"
#include "image/codecs/gif_parser.h"
#include "image/codecs/ico_parser.h"
#include "image/surface/c32bpp_dib.h"

namespace talvrin {
namespace {

namespace fs = std::filesystem;

struct ManifestLine {
    std::string file;
    std::string expect;  // match | reject:REASON | empty:REASON
    std::string reason;
};

std::vector<ManifestLine> readManifest() {
    std::vector<ManifestLine> lines;
    std::ifstream in(fs::path(TALVRIN_SOURCE_DIR) / "tests/image/codecs/gif_ico_manifest.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        ManifestLine m;
        std::getline(fields, m.file, '\t');
        std::getline(fields, m.expect, '\t');
        std::getline(fields, m.reason);
        lines.push_back(m);
    }
    return lines;
}

// Names the line in failure messages instead of dumping its bytes.
void PrintTo(const ManifestLine& m, std::ostream* os) {
    *os << m.file;
}

class GifIcoConformance : public ::testing::TestWithParam<ManifestLine> {
  protected:
    void SetUp() override {
        corpus_ = TALVRIN_CORPUS_DIR;
        if (!fs::is_directory(corpus_ / "gif"))
            GTEST_SKIP() << "image corpus not found at " << corpus_;
    }
    fs::path corpus_;
};

TEST(GifIcoManifest, ListsEveryCorpusFile) {
    const fs::path corpus = TALVRIN_CORPUS_DIR;
    if (!fs::is_directory(corpus / "gif")) GTEST_SKIP() << "image corpus not found at " << corpus;
    std::vector<std::string> listed;
    for (const auto& m : readManifest())
        listed.push_back(m.file);
    for (const char* folder : {"gif", "ico", "cur"}) {
        for (const auto& f : fs::directory_iterator(corpus / folder)) {
            const std::string name = std::string(folder) + "/" + f.path().filename().string();
            EXPECT_NE(std::find(listed.begin(), listed.end(), name), listed.end())
                << name << " is missing from the manifest";
        }
    }
}

TEST_P(GifIcoConformance, DecodesAsListed) {
    const ManifestLine& m = GetParam();
    const testutil::Bytes bytes = testutil::readFile(corpus_ / m.file);
    ASSERT_FALSE(bytes.empty()) << m.file;
    c32bppDIB dib;
    bool result;
    DecodeFailure failure = DecodeFailure::kNone;
    const bool isGif = m.file.rfind("gif/", 0) == 0;
    if (isGif) {
        cGIFparser parser;
        result = parser.LoadStream(bytes, dib, 0, static_cast<std::int32_t>(bytes.size()));
        failure = parser.lastLoadFailure().reason;
    } else {
        cICOparser directory;
        std::int32_t length = 0;
        int w = 32, h = 32, bits = 32;
        if (directory.LoadStream(bytes, 32, 32, nullptr, 0, length)) {
            w = directory.Width(1);
            h = directory.Height(1);
            bits = directory.bitDepth(1);
        }
        cICOparser parser;
        length = 0;
        result = parser.LoadStream(bytes, w, h, &dib, 0, length, bits);
        failure = parser.lastLoadFailure().reason;
    }

    // The outcome, and for a bad file the decode failure it must report.
    const auto colon = m.expect.find(':');
    const std::string outcome = m.expect.substr(0, colon);
    const std::string why = colon == std::string::npos ? "none" : m.expect.substr(colon + 1);
    EXPECT_EQ(describe(failure), why) << m.file << ": " << m.reason;
    if (outcome == "reject") {
        EXPECT_FALSE(result) << m.file << ": " << m.reason;
        return;
    }
    ASSERT_TRUE(result) << m.file;
    if (outcome == "empty") {
        EXPECT_EQ(dib.BitsPointer(), nullptr) << m.file << ": " << m.reason;
        return;
    }
    ASSERT_EQ(m.expect, "match") << "unknown expectation in the manifest";
    ASSERT_NE(dib.BitsPointer(), nullptr) << m.file;

    // The reference's size comes from the manifest of references.
    const testutil::Bytes ref = testutil::readFile(corpus_ / "ref" / (m.file + ".rgba"));
    const std::size_t pixels = static_cast<std::size_t>(dib.Width()) * dib.Height();
    ASSERT_EQ(ref.size(), pixels * 4)
        << m.file << " decoded to " << dib.Width() << "x" << dib.Height();
    std::size_t mismatches = 0;
    for (int y = 0; y < dib.Height(); ++y) {
        for (int x = 0; x < dib.Width(); ++x) {
            const std::uint8_t* r = &ref[(static_cast<std::size_t>(y) * dib.Width() + x) * 4];
            const std::uint8_t* p =
                dib.BitsPointer() +
                pixelOffset(x, y, dib.Height(), static_cast<std::size_t>(dib.scanWidth()));
            const unsigned a = r[3];
            bool same = p[3] == a;
            if (same && a > 0) {
                same = p[2] == r[0] * a / 255 && p[1] == r[1] * a / 255 && p[0] == r[2] * a / 255;
            }
            if (!same && mismatches++ < 5) {
                ADD_FAILURE() << m.file << " pixel " << x << "," << y << ": got BGRA " << int(p[0])
                              << " " << int(p[1]) << " " << int(p[2]) << " " << int(p[3])
                              << ", reference RGBA " << int(r[0]) << " " << int(r[1]) << " "
                              << int(r[2]) << " " << int(r[3]);
            }
        }
    }
    EXPECT_EQ(mismatches, 0u) << m.file;
}

std::string lineName(const ::testing::TestParamInfo<ManifestLine>& info) {
    std::string name = info.param.file;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, GifIcoConformance, ::testing::ValuesIn(readManifest()), lineName);

}  // namespace
}  // namespace talvrin
