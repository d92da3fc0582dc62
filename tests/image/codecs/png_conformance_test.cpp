// The PNG corpus (the public conformance suite with its corrupted files) against the manifest:
// good files decode, with and without the compression library, from bytes and from an open
// file, to the premultiplied form of a peer decoder's straight RGBA; broken files give no image.
#include <gtest/gtest.h>
#if TALVRIN_HAVE_PEER_PNG
#include <spng.h>
#endif

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "image/codecs/compression.h"
#include "image/codecs/png_parser.h"
#include "image/surface/c32bpp_dib.h"
#include "platform/os/files.h"

namespace talvrin {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct ManifestEntry {
    std::string file;
    std::string outcome;
    std::string failure;  // for a bad file, the decode failure it reports (outcome:failure)
};

std::vector<ManifestEntry> readManifest() {
    std::vector<ManifestEntry> entries;
    std::ifstream in(std::string(TALVRIN_SOURCE_DIR) + "/tests/image/codecs/png_manifest.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        ManifestEntry e;
        std::getline(fields, e.file, '\t');
        std::getline(fields, e.outcome, '\t');
        if (const auto colon = e.outcome.find(':'); colon != std::string::npos) {
            e.failure = e.outcome.substr(colon + 1);
            e.outcome.resize(colon);
        }
        entries.push_back(e);
    }
    return entries;
}

const std::filesystem::path& corpusDir() {
    static const std::filesystem::path dir = std::filesystem::path(TALVRIN_CORPUS_DIR) / "png";
    return dir;
}

Bytes readFile(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// The peer's straight RGBA (gamma and colour chunks not applied, transparency applied), turned
// into the surface's premultiplied bottom-up B, G, R, A: 16-bit samples give their high byte.
// False when the build has no peer decoder (the Windows build).
bool peerPixels(const Bytes& png, int& width, int& height, Bytes& out) {
#if !TALVRIN_HAVE_PEER_PNG
    (void)png, (void)width, (void)height, (void)out;
    return false;
#else
    spng_ctx* ctx = spng_ctx_new(0);
    if (!ctx) return false;
    // Checksums are the parser's business (and are skipped without the library).
    spng_set_crc_action(ctx, SPNG_CRC_USE, SPNG_CRC_USE);
    spng_set_png_buffer(ctx, png.data(), png.size());
    spng_ihdr ihdr{};
    bool ok = spng_get_ihdr(ctx, &ihdr) == 0;
    const bool sixteen = ihdr.bit_depth == 16;
    const int fmt = sixteen ? SPNG_FMT_RGBA16 : SPNG_FMT_RGBA8;
    std::size_t size = 0;
    ok = ok && spng_decoded_image_size(ctx, fmt, &size) == 0;
    Bytes rgba(ok ? size : 0);
    ok = ok && spng_decode_image(ctx, rgba.data(), rgba.size(), fmt, SPNG_DECODE_TRNS) == 0;
    spng_ctx_free(ctx);
    if (!ok) return false;
    width = static_cast<int>(ihdr.width);
    height = static_cast<int>(ihdr.height);
    out.assign(static_cast<std::size_t>(width) * height * 4, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            std::uint32_t c[4];
            for (int k = 0; k < 4; ++k) {
                if (sixteen) {
                    std::uint16_t v;
                    std::memcpy(&v, rgba.data() + i * 8 + k * 2, 2);
                    c[k] = v >> 8;
                } else {
                    c[k] = rgba[i * 4 + k];
                }
            }
            std::uint8_t* d =
                out.data() + (static_cast<std::size_t>(height - 1 - y) * width + x) * 4;
            const std::uint32_t a = c[3];
            if (a == 0) continue;
            d[0] = static_cast<std::uint8_t>(c[2] * a / 255);
            d[1] = static_cast<std::uint8_t>(c[1] * a / 255);
            d[2] = static_cast<std::uint8_t>(c[0] * a / 255);
            d[3] = static_cast<std::uint8_t>(a);
        }
    }
    return true;
#endif
}

// Index and value of the first differing byte, for a readable failure.
std::string firstDifference(const std::uint8_t* got, const Bytes& want) {
    for (std::size_t i = 0; i < want.size(); ++i)
        if (got[i] != want[i])
            return "byte " + std::to_string(i) + ": got " + std::to_string(got[i]) + ", want " +
                   std::to_string(want[i]);
    return "none";
}

class PngConformance : public ::testing::TestWithParam<ManifestEntry> {};

TEST_P(PngConformance, MatchesTheManifest) {
    if (!std::filesystem::is_directory(corpusDir()))
        GTEST_SKIP() << "corpus not found at " << corpusDir();
    const ManifestEntry& e = GetParam();
    const std::filesystem::path path = corpusDir() / e.file;
    ASSERT_TRUE(std::filesystem::exists(path)) << path;
    const Bytes png = readFile(path);

    for (const bool withLibrary : {true, false}) {
        compression::ScopedAbsent absent(!withLibrary);
        for (const bool fromFile : {false, true}) {
            SCOPED_TRACE(std::string(withLibrary ? "with" : "without") + " the library, " +
                         (fromFile ? "file mode" : "stream mode"));
            c32bppDIB dib;
            cPNGparser parser;
            std::uint32_t token = 0;
            bool result = false;
            if (fromFile) {
                platform::File f = platform::OpenImageFile(path.string(), true);
                ASSERT_TRUE(f.isOpen());
                result = parser.LoadFile(f, u"corpus.png", dib, token);
            } else {
                result =
                    parser.LoadStream(png, dib, 0, static_cast<std::int32_t>(png.size()), token);
            }
            const bool wantImage =
                e.outcome == "image" || (e.outcome == "image-without-zlib" && !withLibrary);
            EXPECT_EQ(describe(parser.lastLoadFailure().reason), wantImage ? "none" : e.failure);
            if (e.outcome == "not-png") {
                EXPECT_FALSE(result);
                EXPECT_EQ(dib.BitsPointer(), nullptr);
                continue;
            }
            EXPECT_TRUE(result);
            if (!wantImage) {
                EXPECT_EQ(dib.BitsPointer(), nullptr);
                EXPECT_TRUE(parser.lastLoadFailure().failed());
                continue;
            }
            ASSERT_NE(dib.BitsPointer(), nullptr)
                << "failure " << explain(parser.lastLoadFailure());
            EXPECT_EQ(dib.ImageType(), imgPNG);
            if (!TALVRIN_HAVE_PEER_PNG) continue;  // PngConformancePeer says so once
            int w = 0, h = 0;
            Bytes want;
            ASSERT_TRUE(peerPixels(png, w, h, want)) << "the peer decoder rejects " << e.file;
            ASSERT_EQ(dib.Width(), w);
            ASSERT_EQ(dib.Height(), h);
            EXPECT_EQ(0, std::memcmp(dib.BitsPointer(), want.data(), want.size()))
                << firstDifference(dib.BitsPointer(), want);
        }
    }
}

std::string entryName(const ::testing::TestParamInfo<ManifestEntry>& info) {
    std::string name;
    for (char c : info.param.file)
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, PngConformance, ::testing::ValuesIn(readManifest()), entryName);

TEST(PngConformancePeer, GoodFilesAreComparedWithAPeerDecoder) {
    if (!TALVRIN_HAVE_PEER_PNG)
        GTEST_SKIP() << "no peer PNG decoder in this build (MinGW-w64 has no libspng): the "
                        "corpus files are decoded and checked against the manifest, their "
                        "pixels are not compared";
    int w = 0, h = 0;
    Bytes want;
    const Bytes png = readFile(corpusDir() / "basn6a08.png");
    if (png.empty()) GTEST_SKIP() << "corpus not found at " << corpusDir();
    EXPECT_TRUE(peerPixels(png, w, h, want));
}

TEST(PngManifest, ListsEveryCorpusFileOnce) {
    if (!std::filesystem::is_directory(corpusDir()))
        GTEST_SKIP() << "corpus not found at " << corpusDir();
    std::set<std::string> listed;
    for (const ManifestEntry& e : readManifest()) {
        EXPECT_TRUE(listed.insert(e.file).second) << "listed twice: " << e.file;
        EXPECT_TRUE(e.outcome == "image" || e.outcome == "no-image" || e.outcome == "not-png" ||
                    e.outcome == "image-without-zlib")
            << e.file << ": " << e.outcome;
    }
    for (const auto& f : std::filesystem::directory_iterator(corpusDir()))
        EXPECT_TRUE(listed.count(f.path().filename().string()))
            << "not in the manifest: " << f.path();
}

}  // namespace
}  // namespace talvrin
