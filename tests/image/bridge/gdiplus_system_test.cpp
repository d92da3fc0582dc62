// The bridge over the desktop's own imaging library (the Windows build): its rules on real
// pixels drawn by that library, PNG saving through the library's encoder read back by the own
// decoder, the bridge's formats read by the library, and its sessions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "image/bridge/gdiplus.h"
#include "image/surface/c32bpp_dib.h"
#include "image/surface/c32bpp_dib_internal.h"
#include "image/surface/render_test_support.h"

namespace talvrin {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::Pixel;
using testing::TestDC;

// Skips a test when the library cannot be had on this system.
#define REQUIRE_SYSTEM_LIBRARY() \
    if (!bridge::backendAvailable()) GTEST_SKIP() << "no imaging library on this system"

// A 4 x 3 opaque picture whose every pixel is told apart by its colour.
std::unique_ptr<c32bppDIB> labelled() {
    auto dib = testing::engineSurface(4, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            testing::put(*dib, x, y,
                         {std::uint8_t(20 + x * 60), std::uint8_t(30 + y * 90), 200, 255});
    return dib;
}

Pixel at(const TestDC& t, int x, int y) {
    const std::uint8_t* p = t.at(x, y);
    return {p[0], p[1], p[2], p[3]};
}

TEST(SystemImagingBridge, DrawsAndMirrorsWhereTheBridgeRulesSay) {
    REQUIRE_SYSTEM_LIBRARY();
    const auto src = labelled();
    const Bytes before(src->BitsPointer(), src->BitsPointer() + 4 * 3 * 4);
    struct Case {
        const char* name;
        std::int32_t destX, destY, destW, destH, srcX, srcY, srcW, srcH;
        float angle;
        // Where source pixel (u, v) of the source rectangle must land.
        int (*x)(int u, int v);
        int (*y)(int u, int v);
        int drawnW, drawnH;  // the part of the source rectangle checked
    };
    const Case cases[] = {
        // Same size: an exact copy, upright.
        {"same size", 2, 3, 4, 3, 0, 0, 4, 3, 0, [](int u, int) { return 2 + u; },
         [](int, int v) { return 3 + v; }, 4, 3},
        // Negative width: flip code 2, mirrored left to right in the same rectangle.
        {"mirrored x", 1, 1, -4, 3, 0, 0, 4, 3, 0, [](int u, int) { return 1 + 3 - u; },
         [](int, int v) { return 1 + v; }, 4, 3},
        // Negative height: flip code 0, the bottom-up buffer shown as it lies.
        {"mirrored y", 1, 1, 4, -3, 0, 0, 4, 3, 0, [](int u, int) { return 1 + u; },
         [](int, int v) { return 1 + 2 - v; }, 4, 3},
        // Both: flip code 4.
        {"mirrored both", 1, 1, -4, -3, 0, 0, 4, 3, 0, [](int u, int) { return 1 + 3 - u; },
         [](int, int v) { return 1 + 2 - v; }, 4, 3},
        // A source rectangle of the upright picture.
        {"source part", 0, 0, 2, 2, 1, 1, 2, 2, 0, [](int u, int) { return u; },
         [](int, int v) { return v; }, 2, 2},
        // Enlarged twice, nearest pixel: each source pixel covers 2 x 2.
        {"enlarged", 0, 0, 8, 6, 0, 0, 4, 3, 0, [](int u, int) { return 2 * u + 1; },
         [](int, int v) { return 2 * v + 1; }, 4, 3},
    };
    cGDIPlus bridge;
    for (const Case& c : cases) {
        TestDC dc(24, 24, 32);
        ASSERT_TRUE(bridge.RenderWithGDIPlus(*src, *dc.dc, c.angle, 100, c.destX, c.destY, c.destW,
                                             c.destH, c.srcX, c.srcY, c.srcW, c.srcH, false, -1, 0,
                                             0))
            << c.name;
        for (int v = 0; v < c.drawnH; ++v)
            for (int u = 0; u < c.drawnW; ++u)
                EXPECT_EQ(at(dc, c.x(u, v), c.y(u, v)), testing::get(*src, c.srcX + u, c.srcY + v))
                    << c.name << " source pixel " << u << "," << v;
        // Nothing lands outside the drawn rectangle's box.
        int outside = 0, drawn = 0;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x)
                if (at(dc, x, y)[3] != 0) ++drawn;
        outside = drawn - std::abs(c.destW) * std::abs(c.destH);
        EXPECT_EQ(outside, 0) << c.name;
    }
    EXPECT_EQ(Bytes(src->BitsPointer(), src->BitsPointer() + 48), before)
        << "the library turned the source's own pixels";

    // A draw whose rectangle misses the clip box, or onto an empty clip box, answers false and
    // touches nothing.
    for (const Rect clip : {Rect{0, 0, 2, 2}, Rect{30, 30, 40, 40}}) {
        TestDC dc(24, 24, 32);
        dc.dc->setClipRect(clip);
        EXPECT_FALSE(bridge.RenderWithGDIPlus(*src, *dc.dc, 0, 100, 5, 5, 4, 3, 0, 0, 4, 3, false,
                                              -1, 0, 0));
        EXPECT_EQ(at(dc, 6, 6)[3], 0);
    }
    // A clip box cuts a draw: only its pixels change.
    TestDC clipped(24, 24, 32);
    clipped.dc->setClipRect(Rect{3, 3, 5, 4});
    ASSERT_TRUE(bridge.RenderWithGDIPlus(*src, *clipped.dc, 0, 100, 2, 3, 4, 3, 0, 0, 4, 3, false,
                                         -1, 0, 0));
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x)
            EXPECT_EQ(at(clipped, x, y)[3] != 0, x >= 3 && x < 5 && y == 3) << x << "," << y;
}

// Which source pixel a rotated draw shows at destination pixel (x, y), sampling the pixel at
// (x + offset, y + offset): the image's pixel (originX, originY) sits on the centre and the
// image turns clockwise about it. Null outside the image.
std::optional<std::pair<int, int>> shownAt(int x, int y, double offset, float angle,
                                           const bridge::RotatedPlacement& p, int w, int h) {
    const double t = angle * 3.14159265358979323846 / 180, c = std::cos(t), s = std::sin(t);
    const double dx = x + offset - p.centreX, dy = y + offset - p.centreY;
    // A hair past the sample point, so that a point on a pixel edge counts for the pixel after.
    const double u = c * dx + s * dy + p.originX + 1e-6, v = -s * dx + c * dy + p.originY + 1e-6;
    if (u < 0 || v < 0 || u >= w || v >= h) return std::nullopt;
    return std::pair{static_cast<int>(u), static_cast<int>(v)};
}

TEST(SystemImagingBridge, TurnsAboutTheDestinationsCentre) {
    REQUIRE_SYSTEM_LIBRARY();
    const auto src = labelled();
    struct Case {
        std::int32_t destX, destY, destW, destH;
        float angle;
    };
    const Case cases[] = {{10, 10, 4, 3, 90},
                          {10, 10, 4, 3, 180},
                          {9, 12, 4, 3, -90},
                          {12, 10, -4, 3, 90},
                          {8, 14, 4, -3, 180}};
    cGDIPlus bridge;
    for (const Case& c : cases) {
        const std::string name = std::to_string(c.destW) + "x" + std::to_string(c.destH) + " at " +
                                 std::to_string(c.destX) + "," + std::to_string(c.destY) +
                                 " turned " + std::to_string(int(c.angle));
        TestDC dc(24, 24, 32);
        ASSERT_TRUE(bridge.RenderWithGDIPlus(*src, *dc.dc, c.angle, 100, c.destX, c.destY, c.destW,
                                             c.destH, 0, 0, 4, 3, false, -1, 0, 0))
            << name;
        // The mirrored picture the draw turns, as the flip code makes it.
        const bridge::Flip flip = bridge::flipOf(c.destW, c.destH);
        const auto turned = [&](int u, int v) {
            return testing::get(*src, flip.sx < 0 ? 3 - u : u, flip.sy < 0 ? 2 - v : v);
        };
        const bridge::RotatedPlacement p = bridge::rotatedPlacement(c.destX, c.destY, flip);
        // The library draws the pixels whose centre the turned rectangle covers, each sampled at
        // its centre. One implementation (Wine's) samples turned draws at the pixel's corner
        // instead: half a pixel off, which at these quarter turns moves the picture by a pixel
        // along an axis and cuts off its last row or column there. The pixels must match one
        // of the two samplings throughout.
        int mismatches[2] = {0, 0};
        for (int m = 0; m < 2; ++m)
            for (int y = 0; y < 24; ++y)
                for (int x = 0; x < 24; ++x) {
                    auto shown = shownAt(x, y, 0.5, c.angle, p, 4, 3);
                    if (m == 1 && shown) shown = shownAt(x, y, 0.0, c.angle, p, 4, 3);
                    const Pixel want = shown ? turned(shown->first, shown->second) : Pixel{};
                    mismatches[m] += at(dc, x, y) != want;
                }
        EXPECT_TRUE(mismatches[0] == 0 || mismatches[1] == 0)
            << name << ": " << mismatches[0] << " pixels apart from centre sampling, "
            << mismatches[1] << " from corner sampling";
        if (mismatches[0] != 0 && mismatches[1] == 0)
            std::printf("%s: the library samples turned draws at pixel corners\n", name.c_str());
    }
}

TEST(SystemImagingBridge, ColourMatrixOnKnownColours) {
    REQUIRE_SYSTEM_LIBRARY();
    struct Case {
        const char* name;
        Pixel source;  // B, G, R, A
        std::int32_t grayScale;
        float lightness;
        std::int32_t opacity;
        Pixel want;
    };
    const Case cases[] = {
        // 0.299 * 200 + 0.587 * 100 + 0.114 * 50 = 124.2
        {"greyscale 0", {50, 100, 200, 255}, 0, 0, 100, {124, 124, 124, 255}},
        // 0.8 * 200 + 0.1 * 100 + 0.1 * 50 = 175
        {"greyscale 3", {50, 100, 200, 255}, 3, 0, 100, {175, 175, 175, 255}},
        // + 0.5 of 255 = 127.5 on each colour
        {"lightness 50", {0, 50, 100, 255}, -1, 50, 100, {127, 177, 227, 255}},
        // - 127.5, held at 0
        {"lightness -50", {50, 100, 200, 255}, -1, -50, 100, {0, 0, 72, 255}},
        // alpha 0.4 * 255 = 102; colours premultiplied 20, 40, 80
        {"opacity 40", {50, 100, 200, 255}, -1, 0, 40, {20, 40, 80, 102}},
        // greyscale then half opacity over nothing: 124.2 at alpha 127.5
        {"greyscale at half", {50, 100, 200, 255}, 0, 0, 50, {62, 62, 62, 127}},
    };
    cGDIPlus bridge;
    for (const Case& c : cases) {
        auto src = testing::engineSurface(3, 3);
        testing::fill(*src, c.source);
        TestDC dc(3, 3, 32);
        ASSERT_TRUE(bridge.RenderWithGDIPlus(*src, *dc.dc, 0, c.opacity, 0, 0, 3, 3, 0, 0, 3, 3,
                                             false, c.grayScale, 0, c.lightness))
            << c.name;
        const Pixel got = at(dc, 1, 1);
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(got[k], c.want[k], 1) << c.name << " channel " << k;
    }
}

TEST(SystemImagingBridge, SavedPngReadsBackToTheSamePixels) {
    REQUIRE_SYSTEM_LIBRARY();
    // Opaque, empty and translucent pixels. The encoder writes straight colours; alphas that
    // divide 255 (51, 85) bring every premultiplied value back exactly.
    auto pic = testing::engineSurface(7, 5);
    const std::uint8_t alphas[] = {255, 0, 51, 85, 255};
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            const std::uint8_t a = alphas[(x + y) % 5];
            const auto c = [&](int v) { return std::uint8_t(a == 0 ? 0 : v % (a + 1)); };
            testing::put(*pic, x, y, {c(x * 37 + y), c(y * 53 + 7), c(x * y * 11 + 3), a});
        }
    SurfaceInternals::setAlpha(*pic, true);
    pic->setGDIplusEnabled(true);
    ASSERT_TRUE(pic->isGDIplusEnabled());

    Bytes viaLibrary;
    ASSERT_TRUE(cGDIPlus().SaveToPNG({}, viaLibrary, *pic, 0));
    ASSERT_GT(viaLibrary.size(), 8u);
    EXPECT_EQ(std::string(viaLibrary.begin() + 1, viaLibrary.begin() + 4), "PNG");
    // The surface saves through the library first.
    Bytes viaSurface;
    ASSERT_TRUE(pic->SaveToStream_PNG(viaSurface));
    EXPECT_EQ(viaSurface, viaLibrary);

    c32bppDIB back;
    back.setGDIplusEnabled(false);
    ASSERT_TRUE(back.LoadPicture_Stream(viaLibrary)) << explain(back.lastLoadFailure());
    ASSERT_EQ(back.Width(), 7);
    ASSERT_EQ(back.Height(), 5);
    EXPECT_TRUE(back.Alpha());
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(testing::get(back, x, y), testing::get(*pic, x, y)) << x << "," << y;

    // Other alphas: the straight colours the library writes may be a step below the exact
    // quotient (one implementation truncates), so a value can come back one less, never more
    // apart. (64 at alpha 128 is 127.5 straight; written 127, it comes back 63.)
    auto other = testing::engineSurface(16, 16);
    testing::fillRandom(*other, 3);
    other->setGDIplusEnabled(true);
    Bytes png;
    ASSERT_TRUE(cGDIPlus().SaveToPNG({}, png, *other, 0));
    ASSERT_TRUE(back.LoadPicture_Stream(png));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const Pixel got = testing::get(back, x, y), want = testing::get(*other, x, y);
            EXPECT_EQ(got[3], want[3]);
            for (int k = 0; k < 3; ++k)
                EXPECT_TRUE(got[k] == want[k] || got[k] + 1 == want[k]) << x << "," << y;
        }
}

// A little-endian uncompressed 8-bit RGB TIFF of the picture's colours.
Bytes makeTiff(const c32bppDIB& pic) {
    const auto w = static_cast<std::uint16_t>(pic.Width());
    const auto h = static_cast<std::uint16_t>(pic.Height());
    Bytes t = {'I', 'I', 42, 0, 8, 0, 0, 0};
    const auto u16 = [&](std::uint32_t v) {
        t.push_back(std::uint8_t(v));
        t.push_back(std::uint8_t(v >> 8));
    };
    const auto u32 = [&](std::uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    const std::uint32_t samples = 8 + 2 + 9 * 12 + 4, pixels = samples + 6;
    const auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                           std::uint32_t value) {
        u16(tag);
        u16(type);
        u32(count);
        u32(value);
    };
    u16(9);
    entry(256, 3, 1, w);
    entry(257, 3, 1, h);
    entry(258, 3, 3, samples);  // bits per sample: 8, 8, 8 at `samples`
    entry(259, 3, 1, 1);        // no compression
    entry(262, 3, 1, 2);        // RGB
    entry(273, 4, 1, pixels);
    entry(277, 3, 1, 3);
    entry(278, 3, 1, h);
    entry(279, 4, 1, std::uint32_t(w) * h * 3);
    u32(0);
    u16(8), u16(8), u16(8);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Pixel p = testing::get(pic, x, y);
            t.insert(t.end(), {p[2], p[1], p[0]});
        }
    return t;
}

TEST(SystemImagingBridge, ReadsTheBridgeFormatsAndDeclinesTheOwnDecoders) {
    REQUIRE_SYSTEM_LIBRARY();
    auto pic = testing::engineSurface(5, 4);
    testing::fillRandom(*pic, 7, true);
    const Bytes tiff = makeTiff(*pic);

    c32bppDIB dib;
    ASSERT_TRUE(dib.LoadPicture_Stream(tiff)) << explain(dib.lastLoadFailure());
    EXPECT_EQ(dib.ImageType(), imgPNG);
    EXPECT_FALSE(dib.Alpha());
    ASSERT_EQ(dib.Width(), 5);
    ASSERT_EQ(dib.Height(), 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(testing::get(dib, x, y), testing::get(*pic, x, y)) << x << "," << y;
    // Kept as PNG bytes, written by the library's encoder.
    ASSERT_TRUE(dib.LoadPicture_Stream(tiff, 0, 0, 0, 0, true));
    Bytes kept;
    ASSERT_TRUE(dib.GetOrginalFormat(kept));
    EXPECT_EQ(std::string(kept.begin() + 1, kept.begin() + 4), "PNG");

    // Cut inside its pixel data's directory, the file fails cleanly; cut anywhere, no crash.
    c32bppDIB cut;
    EXPECT_FALSE(cut.LoadPicture_Stream(Bytes(tiff.begin(), tiff.begin() + 60)));
    EXPECT_EQ(cut.Handle(), nullptr);
    for (std::size_t n = 57; n < tiff.size(); n += 7) {
        c32bppDIB any;
        (void)any.LoadPicture_Stream(Bytes(tiff.begin(), tiff.begin() + n));
    }

    // The formats the own decoders keep are declined, even by a direct call.
    Bytes png;
    ASSERT_TRUE(pic->SaveToStream_PNG(png));
    for (const Bytes& own : {png, Bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                             Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 0, 0, 0, 0, 0, 0}}) {
        c32bppDIB target;
        cGDIPlus bridge;
        EXPECT_FALSE(bridge.LoadWithGDIPlus({}, own, target, 0));
        EXPECT_EQ(bridge.lastLoadFailure().reason, DecodeFailure::kNotRecognised);
    }
}

TEST(SystemImagingBridge, SessionsAreTheLibrarysStartUps) {
    REQUIRE_SYSTEM_LIBRARY();
    const std::size_t open = bridge::openSessions();
    std::uint32_t token = 0;
    ASSERT_TRUE(cGDIPlus::isGDIplusOk(token, true));
    EXPECT_NE(token, 0u);
    EXPECT_EQ(bridge::openSessions(), open + 1);
    std::uint32_t probe = 0;
    EXPECT_TRUE(cGDIPlus::isGDIplusOk(probe, false));
    EXPECT_EQ(probe, 0u);
    EXPECT_EQ(bridge::openSessions(), open + 1);
    // A draw under the kept session, and one under a session of its own.
    const auto src = labelled();
    cGDIPlus bridge;
    for (const std::uint32_t t : {token, 0u}) {
        TestDC dc(4, 3, 32);
        EXPECT_TRUE(
            bridge.RenderWithGDIPlus(*src, *dc.dc, 0, 100, 0, 0, 4, 3, 0, 0, 4, 3, true, -1, t, 0));
        EXPECT_EQ(at(dc, 1, 1), testing::get(*src, 1, 1));
    }
    EXPECT_EQ(bridge::openSessions(), open + 1);
    bridge::stopSession(token);
    EXPECT_EQ(bridge::openSessions(), open);
}

}  // namespace
}  // namespace talvrin
