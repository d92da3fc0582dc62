// The decode budget through the loading dispatch: a few bytes declaring a huge image are refused
// as "too large" by every format's decoder before anything of the image's size is allocated,
// and a budget the host sets holds for every format alike, and for every surface and working
// buffer the image library makes.
#include "base/decode_budget.h"

#include <gtest/gtest.h>
#if TALVRIN_HAVE_JPEG
#include <jpeglib.h>
#endif
#ifdef _WIN32
#include <windows.h>
// windows.h first: psapi.h uses its types.
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "image/codecs/gifico_test_util.h"
#include "image/codecs/ico_parser.h"
#include "image/surface/c32bpp_dib.h"
#include "image/surface/engine.h"
#include "render_test_support.h"

namespace talvrin {
namespace {

using testutil::Bytes;

// The PNG with its header's size replaced (and the header's checksum made right again).
Bytes withPngSize(Bytes png, std::uint32_t width, std::uint32_t height) {
    Bytes ihdr(png.begin() + 12, png.begin() + 29);  // "IHDR" and its 13 bytes
    for (int i = 0; i < 4; ++i) {
        ihdr[4 + i] = static_cast<std::uint8_t>(width >> (24 - 8 * i));
        ihdr[8 + i] = static_cast<std::uint8_t>(height >> (24 - 8 * i));
    }
    std::copy(ihdr.begin(), ihdr.end(), png.begin() + 12);
    const auto crc = static_cast<std::uint32_t>(crc32(0, ihdr.data(), 17));
    for (int i = 0; i < 4; ++i)
        png[29 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    return png;
}

Bytes smallPng(int w, int h) {
    return testutil::makePngRgba(w, h, std::vector<std::uint8_t>(std::size_t(w) * h * 4, 200));
}

// A GIF whose first image is w x h, interlaced, with a two-colour local table and a few bytes of
// data (the rest of the image would be index 0), padded by a comment to the dispatch's minimum.
Bytes gifOfSize(int w, int h) {
    testutil::GifRecipe g;
    g.screenWidth = g.screenHeight = 10;
    g.top = w > 1000 ? 18240 : 0;
    g.width = w;
    g.height = h;
    g.interlaced = true;
    g.localTable = {0, 0, 0, 255, 255, 255};
    g.minCodeSize = 2;
    g.pixels = std::vector<std::uint8_t>(std::size_t(w < 64 ? w * h : 4), 1);
    g.beforeImage = {0x21, 0xFE, 24};
    g.beforeImage.resize(g.beforeImage.size() + 24, 'x');
    g.beforeImage.push_back(0);
    return testutil::makeGif(g);
}

// An 8-bit bitmap file of w x h pixels: run-length coded (an end-of-bitmap code and nothing
// else) or uncompressed with every row present.
Bytes bmpOfSize(int w, int h, bool runLength) {
    Bytes b = {'B', 'M'};
    const std::size_t row = (std::size_t(w) + 3) / 4 * 4;
    const std::size_t data = runLength ? 2 : row * std::size_t(h);
    testutil::put32(b, static_cast<std::uint32_t>(14 + 40 + 8 + data));
    testutil::put32(b, 0);
    testutil::put32(b, 14 + 40 + 8);
    testutil::put32(b, 40);
    testutil::put32(b, static_cast<std::uint32_t>(w));
    testutil::put32(b, static_cast<std::uint32_t>(h));
    testutil::put16(b, 1);
    testutil::put16(b, 8);
    testutil::put32(b, runLength ? 1 : 0);
    testutil::put32(b, 0);
    testutil::put32(b, 0);
    testutil::put32(b, 0);
    testutil::put32(b, 2);
    testutil::put32(b, 0);
    testutil::append(b, {0, 0, 0, 0, 255, 255, 255, 0});
    if (runLength) {
        testutil::append(b, {0, 1});
    } else {
        b.resize(b.size() + data, 1);
    }
    return b;
}

#if TALVRIN_HAVE_JPEG
// A real w x h JPEG; with declared set, its frame header then claims declared x declared.
Bytes jpegOfSize(int w, int h, std::uint16_t declared = 0) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(std::size_t(w) * 3, 128);
    while (c.next_scanline < c.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    Bytes jpeg(out, out + size);
    jpeg_destroy_compress(&c);
    std::free(out);
    if (declared != 0) {
        for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
            if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {  // baseline frame header
                jpeg[i + 5] = jpeg[i + 7] = static_cast<std::uint8_t>(declared >> 8);
                jpeg[i + 6] = jpeg[i + 8] = static_cast<std::uint8_t>(declared);
                break;
            }
        }
    }
    return jpeg;
}
#endif  // TALVRIN_HAVE_JPEG

// An icon whose one entry is the given PNG.
Bytes iconHoldingPng(const Bytes& png) {
    Bytes b;
    testutil::put16(b, 0);
    testutil::put16(b, 1);
    testutil::put16(b, 1);
    testutil::append(b, {0, 0, 0, 0});
    testutil::put16(b, 1);
    testutil::put16(b, 32);
    testutil::put32(b, static_cast<std::uint32_t>(png.size()));
    testutil::put32(b, 22);
    testutil::append(b, png);
    return b;
}

// The process's peak resident memory so far.
long peakKilobytes() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return static_cast<long>(counters.PeakWorkingSetSize / 1024);
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
#endif
}

TEST(DecodeBudget, TinyFilesDeclaringHugeImagesAreRefusedWithoutTheirMemory) {
    installIconPictureRoute();
    const Bytes png = smallPng(1, 1);
    struct Bomb {
        const char* name;
        Bytes bytes;
    };
    const Bomb bombs[] = {
        {"PNG 30000 x 30000", withPngSize(png, 30000, 30000)},
        {"GIF 17993 x 14648 in a 10 x 10 screen", gifOfSize(17993, 14648)},
        {"GIF 23170 x 23170", gifOfSize(23170, 23170)},
        {"BMP RLE8 23170 x 23170", bmpOfSize(23170, 23170, true)},
#if TALVRIN_HAVE_JPEG  // without the library JPEG is refused as unsupported, whatever its size
        {"JPEG declaring 23170 x 23170", jpegOfSize(16, 16, 23170)},
#endif
        {"icon holding a PNG of 30000 x 30000", iconHoldingPng(withPngSize(png, 30000, 30000))},
    };
    for (const Bomb& b : bombs) {
        ASSERT_LT(b.bytes.size(), 2000u) << b.name;
        const long before = peakKilobytes();
        c32bppDIB dib;
        EXPECT_FALSE(dib.LoadPicture_Stream(b.bytes)) << b.name;
        EXPECT_EQ(dib.Handle(), nullptr) << b.name;
        EXPECT_EQ(describe(dib.lastLoadFailure().reason), "too large") << b.name;
        // A generous bound: the refused images would take gigabytes.
        EXPECT_LT(peakKilobytes() - before, 64 * 1024) << b.name;
    }
}

TEST(DecodeBudget, AHostsBudgetHoldsForEveryFormat) {
    installIconPictureRoute();
    struct Case {
        const char* name;
        Bytes small;  // 10 x 10
        Bytes large;  // 11 x 10
    };
    const Case cases[] = {
        {"PNG", smallPng(10, 10), smallPng(11, 10)},
        {"GIF", gifOfSize(10, 10), gifOfSize(11, 10)},
        {"BMP through the picture loader", bmpOfSize(10, 10, false), bmpOfSize(11, 10, false)},
#if TALVRIN_HAVE_JPEG
        {"JPEG", jpegOfSize(10, 10), jpegOfSize(11, 10)},
#endif
        {"icon with a PNG entry", iconHoldingPng(smallPng(10, 10)),
         iconHoldingPng(smallPng(11, 10))},
    };
    const ScopedDecodeBudget budget(100);
    for (const Case& c : cases) {
        c32bppDIB dib;
        EXPECT_TRUE(dib.LoadPicture_Stream(c.small))
            << c.name << ": " << explain(dib.lastLoadFailure());
        EXPECT_EQ(dib.Width(), 10) << c.name;
        EXPECT_FALSE(dib.LoadPicture_Stream(c.large)) << c.name;
        EXPECT_EQ(describe(dib.lastLoadFailure().reason), "too large") << c.name;
    }
    // Without a budget only the surface's own limits apply.
    const ScopedDecodeBudget none(0);
    c32bppDIB dib;
    EXPECT_TRUE(dib.LoadPicture_Stream(smallPng(11, 10)));
}

// The surfaces made from sizes that stored or user values choose: each one up to the budget (here
// 100 pixels) is made, one pixel row or column more is refused before anything is allocated.
TEST(DecodeBudget, EverySurfaceTheImageLibraryMakesAnswersToIt) {
    // Made before the small budget holds.
    auto source6x6 = testing::engineSurface(6, 6);
    auto source6x7 = testing::engineSurface(6, 7);
    auto source4x4 = testing::engineSurface(4, 4);
    testing::fillRandom(*source4x4, 3, true);
    auto host = testing::engineSurface(20, 20);
    const ScopedDecodeBudget budget(100);
    const auto copyAt = [&](std::int32_t w, std::int32_t h) {
        std::unique_ptr<c32bppDIB> target;
        source6x6->CopyImageTo(target, w, h);
        return target != nullptr && target->Width() == w;
    };
    // The own rotator works in a square of the rotated drawing's diagonal.
    const auto rotated = [&](std::int32_t w, std::int32_t h) {
        return source4x4->Render({.host = host.get(),
                                  .destX = 10,
                                  .destY = 10,
                                  .destWidth = w,
                                  .destHeight = h,
                                  .angle = 45,
                                  .centerOnDestXY = true});
    };
    struct Case {
        const char* name;
        std::function<bool()> make;
        bool made;
    };
    const Case cases[] = {
        {"surface 10 x 10", [] { return c32bppDIB().InitializeDIB(10, 10); }, true},
        {"surface 10 x -10", [] { return c32bppDIB().InitializeDIB(10, -10); }, true},
        {"surface 11 x 10", [] { return c32bppDIB().InitializeDIB(11, 10); }, false},
        {"work buffer 10 x 10", [] { return !engine::WorkBuffer::create(10, 10, true).empty(); },
         true},
        {"work buffer 10 x 11", [] { return !engine::WorkBuffer::create(10, 11, true).empty(); },
         false},
        // Depth 2 widens by 4 each way.
        {"shadow of 6 x 6", [&] { return source6x6->CreateDropShadow(2, 0) != nullptr; }, true},
        {"shadow of 6 x 7", [&] { return source6x7->CreateDropShadow(2, 0) != nullptr; }, false},
        {"copy at 10 x 10", [&] { return copyAt(10, 10); }, true},
        {"copy at 11 x 10", [&] { return copyAt(11, 10); }, false},
        // round(sqrt(7^2 + 7^2)) = 10; round(sqrt(8^2 + 7^2)) = 11.
        {"rotation square 10", [&] { return rotated(7, 7); }, true},
        {"rotation square 11", [&] { return rotated(8, 7); }, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.make(), c.made) << c.name;
}

}  // namespace
}  // namespace talvrin
