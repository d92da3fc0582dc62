// cPNGwriter: the form it picks for each kind of image (colour type, PLTE, tRNS, filters), exact
// round trips through our decoder and through libpng for made and real surfaces, and the
// failure and size rules.
#include "image/codecs/png_writer.h"

#include <gtest/gtest.h>
#if TALVRIN_HAVE_PEER_PNG
#include <png.h>
#endif
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "image/codecs/compression.h"
#include "image/codecs/png_parser.h"
#include "image/surface/c32bpp_dib.h"
#include "image/surface/c32bpp_dib_internal.h"

namespace talvrin {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Px = std::array<std::uint8_t, 4>;  // B, G, R, A, premultiplied
using Paint = std::function<Px(int x, int y, std::mt19937& rng)>;

Px grey(int v) {
    const auto b = static_cast<std::uint8_t>(v);
    return {b, b, b, 255};
}
// Colour number i of a palette of distinct opaque colours with every blue value below 200.
Px colour(int i) {
    return {static_cast<std::uint8_t>(i % 200), static_cast<std::uint8_t>(i / 200 * 37 + 5),
            static_cast<std::uint8_t>(i * 13), 255};
}
// A random premultiplied pixel of the given alpha.
Px premultiplied(std::uint8_t a, std::mt19937& rng) {
    std::uniform_int_distribution<int> c(0, a);
    return {static_cast<std::uint8_t>(c(rng)), static_cast<std::uint8_t>(c(rng)),
            static_cast<std::uint8_t>(c(rng)), a};
}

void paint(c32bppDIB& dib, int w, int h, bool alpha, const Paint& f) {
    ASSERT_TRUE(dib.InitializeDIB(w, h));
    std::mt19937 rng(7);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Px p = f(x, y, rng);
            std::memcpy(dib.BitsPointer() + (static_cast<std::size_t>(h - 1 - y) * w + x) * 4,
                        p.data(), 4);
        }
    SurfaceInternals::setAlpha(dib, alpha);
}

Bytes pixelsOf(const c32bppDIB& dib) {
    Bytes px(dib.BitsPointer(), dib.BitsPointer() + std::size_t(dib.scanWidth()) * dib.Height());
    if (!dib.Alpha())  // without the flag every pixel counts as opaque
        for (std::size_t i = 3; i < px.size(); i += 4)
            px[i] = 255;
    return px;
}

Bytes encode(const c32bppDIB& dib) {
    Bytes out;
    EXPECT_TRUE(cPNGwriter().WritePNG(dib, out));
    return out;
}

bool decodeOurs(const Bytes& file, c32bppDIB& dib) {
    std::uint32_t token = 0;
    cPNGparser parser;
    return parser.LoadStream(file, dib, 0, static_cast<std::int32_t>(file.size()), token) &&
           dib.BitsPointer();
}

#if TALVRIN_HAVE_PEER_PNG
// libpng's straight RGBA, premultiplied by truncation into the surface layout.
Bytes decodeLibpng(const Bytes& file) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return {};
    image.format = PNG_FORMAT_BGRA;
    Bytes straight(PNG_IMAGE_SIZE(image));
    // A negative row stride writes the rows bottom-up.
    if (!png_image_finish_read(&image, nullptr, straight.data(),
                               -static_cast<png_int_32>(image.width * 4), nullptr))
        return {};
    for (std::size_t i = 0; i < straight.size(); i += 4)
        for (std::size_t c = 0; c < 3; ++c)
            straight[i + c] = static_cast<std::uint8_t>(straight[i + c] * straight[i + 3] / 255);
    return straight;
}
#endif  // TALVRIN_HAVE_PEER_PNG

// Encodes the surface and decodes it with both decoders, ten times over; every decode must give
// back exactly the surface's pixels.
void expectExactRoundTrips(const c32bppDIB& original) {
    const Bytes want = pixelsOf(original);
    auto current = std::make_unique<c32bppDIB>();
    const c32bppDIB* source = &original;
    for (int cycle = 1; cycle <= 10; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        const Bytes file = encode(*source);
        ASSERT_FALSE(file.empty());
#if TALVRIN_HAVE_PEER_PNG  // the Windows build has no libpng: its own decoder only
        EXPECT_EQ(decodeLibpng(file), want) << "libpng";
#endif
        auto next = std::make_unique<c32bppDIB>();
        ASSERT_TRUE(decodeOurs(file, *next));
        ASSERT_EQ(pixelsOf(*next), want) << "cPNGparser";
        current = std::move(next);
        source = current.get();
    }
}

struct Chunk {
    std::string type;
    Bytes data;
};

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// The chunks after the signature, which must fill the file exactly; each checksum must match.
std::vector<Chunk> chunksOf(const Bytes& file) {
    std::vector<Chunk> chunks;
    std::size_t at = 8;
    while (at + 12 <= file.size()) {
        const std::uint32_t len = be32(file.data() + at);
        if (len > file.size() - at - 12) break;
        const std::uint8_t* typed = file.data() + at + 4;
        const std::uint8_t* end = typed + 4 + len;
        EXPECT_EQ(crc32(0, typed, len + 4), be32(end));
        chunks.push_back({std::string(typed, typed + 4), Bytes(typed + 4, end)});
        at += len + 12;
    }
    EXPECT_EQ(at, file.size());
    return chunks;
}

// ---- Form choice --------------------------------------------------------------------------------

struct FormCase {
    const char* name;
    int colorType;
    std::size_t plteEntries;  // 0: no PLTE
    Bytes trns;               // empty: no tRNS
    int w, h;
    bool alpha;
    Paint paint;
};

void PrintTo(const FormCase& c, std::ostream* os) {
    *os << c.name;
}

// clang-format off
const std::vector<FormCase>& formCases() {
    static const std::vector<FormCase> cases = {
        {"two colours", 3, 2, {}, 9, 7, false,
         [](int x, int y, auto&) { return (x + y) % 3 ? colour(1) : colour(2); }},
        {"greys", 0, 0, {}, 16, 16, false,
         [](int x, int y, auto&) { return grey(x * 16 + y); }},
        // Levels 0 and 1 are used by opaque pixels, 2 is not.
        {"greys with one transparent level", 0, 0, {0, 2}, 16, 8, true,
         [](int x, int y, auto&) {
             return x == 3 ? Px{0, 0, 0, 0} : grey(x < 3 ? x / 2 : y * 20 + x + 2);
         }},
        {"greys without black, one transparent", 0, 0, {0, 0}, 8, 4, true,
         [](int x, int y, auto&) { return x == 0 ? Px{0, 0, 0, 0} : grey(x * 10 + y + 1); }},
        // The flag alone asks for a transparent level, although no pixel uses it.
        {"greys without black, flag set", 0, 0, {0, 0}, 4, 4, true,
         [](int x, int, auto&) { return grey(x + 9); }},
        // A translucent grey needs a palette: greyscale would make it opaque.
        {"greys with one translucent level", 3, 5, {128}, 5, 3, true,
         [](int x, int, auto&) { return x == 0 ? Px{60, 60, 60, 128} : grey(x * 50); }},
        // The non-opaque entries lead, ascending as signed values: alpha 128 before alpha 0.
        {"greys with transparent and translucent", 3, 5, {128, 0}, 5, 3, true,
         [](int x, int, auto&) {
             return x == 0 ? Px{0, 0, 0, 0} : x == 1 ? Px{60, 60, 60, 128} : grey(x * 50);
         }},
        // Without the flag the alpha bytes do not count (here 0, as an unadjusted
        // classification of an image without alpha leaves them).
        {"300 colours, flag clear", 2, 0, {}, 30, 10, false,
         [](int x, int y, auto&) { Px p = colour(y * 30 + x); p[3] = 0; return p; }},
        // Blue never reaches 200 among the opaque pixels: 200 is the transparent grey.
        {"300 colours with binary alpha", 2, 0, {0, 200, 0, 200, 0, 200}, 31, 10, true,
         [](int x, int y, auto&) { return x == 30 ? Px{0, 0, 0, 0} : colour(y * 30 + x); }},
        // Every blue value used: the lowest free green value (0 .. 4 are never used) is taken.
        {"every blue used, binary alpha", 2, 0, {0, 0, 0, 0, 0, 0}, 30, 10, true,
         [](int x, int y, auto&) {
             return x == 29 && y == 9 ? Px{0, 0, 0, 0}
                                      : Px{std::uint8_t(y * 30 + x), std::uint8_t(5 + y), 9, 255};
         }},
        {"every grey used, binary alpha", 6, 0, {}, 40, 10, true,
         [](int x, int y, auto&) {
             const int i = y * 40 + x;
             return i < 256 ? grey(i) : i < 390 ? colour(i) : Px{0, 0, 0, 0};
         }},
        {"300 colours with one translucent pixel", 6, 0, {}, 30, 10, true,
         [](int x, int y, auto&) {
             return x == 5 && y == 5 ? Px{10, 20, 30, 128} : colour(y * 30 + x);
         }},
        {"random alpha", 6, 0, {}, 64, 48, true,
         [](int, int, auto& rng) { return premultiplied(std::uint8_t(rng()), rng); }},
        // Blue takes every colour at every alpha: translucent colours are stored rounded up,
        // ceil(c * 255 / a), or truncating decoders would give back less than c.
        {"every colour at every alpha", 6, 0, {}, 256, 256, true,
         [](int x, int y, auto&) {
             const auto a = std::uint8_t(y);
             return Px{std::min(std::uint8_t(x), a), std::uint8_t(a / 3), std::uint8_t(a / 2), a};
         }},
    };
    return cases;
}
// clang-format on

class PngWriterForm : public ::testing::TestWithParam<FormCase> {};

TEST_P(PngWriterForm, ChunksFollowTheFormRulesAndDecodeExactly) {
    const FormCase& c = GetParam();
    c32bppDIB dib;
    paint(dib, c.w, c.h, c.alpha, c.paint);
    const Bytes file = encode(dib);
    const std::vector<Chunk> chunks = chunksOf(file);
    std::vector<std::string> order;
    for (const Chunk& ch : chunks)
        order.push_back(ch.type);
    std::vector<std::string> want = {"IHDR"};
    if (c.plteEntries) want.push_back("PLTE");
    if (!c.trns.empty()) want.push_back("tRNS");
    want.insert(want.end(), {"IDAT", "IEND"});
    ASSERT_EQ(order, want);
    const Bytes& ihdr = chunks[0].data;
    ASSERT_EQ(ihdr.size(), 13u);
    EXPECT_EQ(be32(ihdr.data()), std::uint32_t(c.w));
    EXPECT_EQ(be32(ihdr.data() + 4), std::uint32_t(c.h));
    EXPECT_EQ(Bytes(ihdr.begin() + 8, ihdr.end()), (Bytes{8, std::uint8_t(c.colorType), 0, 0, 0}));
    if (c.plteEntries) {
        EXPECT_EQ(chunks[1].data.size(), 3 * c.plteEntries);
    }
    if (!c.trns.empty()) {
        EXPECT_EQ(chunks[c.plteEntries ? 2 : 1].data, c.trns);
    }

    // Filter None for the one-byte forms, Paeth for the truecolour ones, on every row.
    const std::size_t row = 1 + std::size_t(c.w) * (c.colorType == 6   ? 4
                                                    : c.colorType == 2 ? 3
                                                                       : 1);
    Bytes raw(row * c.h);
    uLongf rawLen = raw.size();
    const Bytes& idat = chunks[chunks.size() - 2].data;
    ASSERT_EQ(uncompress(raw.data(), &rawLen, idat.data(), idat.size()), Z_OK);
    ASSERT_EQ(rawLen, raw.size());
    for (int y = 0; y < c.h; ++y)
        EXPECT_EQ(raw[y * row], c.colorType >= 2 && c.colorType != 3 ? 4 : 0) << "row " << y;

    expectExactRoundTrips(dib);
}

INSTANTIATE_TEST_SUITE_P(Forms, PngWriterForm, ::testing::ValuesIn(formCases()),
                         [](const auto& info) {
                             std::string n;
                             for (const char* p = info.param.name; *p; ++p)
                                 n += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return n;
                         });

// ---- Real surfaces ------------------------------------------------------------------------------

TEST(PngWriterRoundTrip, CorpusImagesComeBackExactly) {
    const std::filesystem::path corpus(TALVRIN_CORPUS_DIR);
    if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "corpus not found at " << corpus;
    int encoded = 0;
    for (const char* folder : {"png", "gif", "ico", "bmp/g"}) {
        for (const auto& f : std::filesystem::directory_iterator(corpus / folder)) {
            c32bppDIB dib;
            if (!dib.LoadPicture_File(f.path().string()) || !dib.BitsPointer()) continue;
            SCOPED_TRACE(f.path().string());
            expectExactRoundTrips(dib);
            ++encoded;
        }
    }
    EXPECT_GT(encoded, 100);
}

// ---- Results ------------------------------------------------------------------------------------

TEST(PngWriterResult, OneWhitePixelStartsWithSignatureAndHeader) {
    c32bppDIB dib;
    paint(dib, 1, 1, false, [](int, int, auto&) { return grey(255); });
    const Bytes file = encode(dib);
    const Bytes head = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I',
                        'H',  'D', 'R', 0,   0,    0,    1,    0,    0, 0, 1, 8};
    ASSERT_GE(file.size(), head.size());
    EXPECT_TRUE(std::equal(head.begin(), head.end(), file.begin()));
}

TEST(PngWriterResult, RefusalsLeaveTheArrayAndFailuresEmptyIt) {
    struct Case {
        const char* name;
        bool image, library;
        Paint paint;
        bool untouched;
    };
    const Case cases[] = {
        {"no image", false, true, nullptr, true},
        {"no compression library", true, false, [](int, int, auto&) { return grey(3); }, true},
        // Colour above alpha is no premultiplied pixel: neither the palette nor the alpha form.
        {"few colours, colour above alpha", true, true,
         [](int x, int, auto&) {
             return x ? grey(x) : Px{9, 9, 9, 8};
         },
         false},
        {"many colours, colour above alpha", true, true,
         [](int x, int y, auto&) {
             return x || y ? colour(x * 20 + y) : Px{9, 9, 9, 8};
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c32bppDIB dib;
        if (c.image) paint(dib, 20, 20, true, c.paint);
        compression::ScopedAbsent absent(!c.library);
        Bytes out = {1, 2, 3};
        EXPECT_FALSE(cPNGwriter().WritePNG(dib, out));
        EXPECT_EQ(out, c.untouched ? Bytes({1, 2, 3}) : Bytes());
    }
}

TEST(PngWriterSizes, SizesAreCheckedAgainstTheSignedThirtyTwoBitRange) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    struct Case {
        std::int32_t w, h, bpp;
        std::int64_t row, image, capacity;  // 0: refused
    };
    const Case cases[] = {
        {1, 1, 4, 5, 5, 17},         // 5 + round(0.05) + 12
        {10, 10, 3, 31, 310, 325},   // 310 + round(3.1) + 12
        {15, 10, 1, 16, 160, 174},   // 160 + round(1.6) + 12
        {kMax / 4, 1, 4, 0, 0, 0},   // row and image 2^31 - 3, the buffer beyond
        {46341, 46341, 1, 0, 0, 0},  // 46342 * 46341 > 2^31 - 1
        {kMax, 1, 1, 0, 0, 0},       // the row with its filter byte is 2^31
        {0, 5, 1, 0, 0, 0},          // no width
        {5, -1, 1, 0, 0, 0},         // negative height
    };
    for (const Case& c : cases) {
        const auto s = png::encoderSizes(c.w, c.h, c.bpp);
        SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
        if (c.capacity == 0) {
            EXPECT_FALSE(s);
            continue;
        }
        ASSERT_TRUE(s);
        EXPECT_EQ(s->filteredRow, c.row);
        EXPECT_EQ(s->filteredImage, c.image);
        EXPECT_EQ(s->compressCapacity, c.capacity);
    }
}

}  // namespace
}  // namespace talvrin
