// The imaging-library bridge: its arithmetic (flip codes, colour matrix), its drawings against
// the own engine's on the same arguments, WebP and TIFF loading, saving, and sessions.
#include "image/bridge/gdiplus.h"

#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>
#include <webp/encode.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "base/div255.h"
#include "image/surface/c32bpp_dib.h"
#include "image/surface/c32bpp_dib_internal.h"
#include "image/surface/render_test_support.h"

namespace talvrin {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::Pixel;
using testing::TestDC;

TEST(BridgeArithmetic, FlipCodesAndColourMatrix) {
    struct FlipCase {
        std::int32_t w, h;
        int code, sx, sy;
    };
    const FlipCase flips[] = {
        {100, 50, 6, 1, 1}, {-100, 50, 2, -1, 1}, {100, -50, 0, 1, -1}, {-100, -50, 4, -1, -1}};
    for (const FlipCase& f : flips) {
        const bridge::Flip got = bridge::flipOf(f.w, f.h);
        EXPECT_EQ(got.code, f.code) << f.w << "x" << f.h;
        EXPECT_EQ(got.sx, f.sx);
        EXPECT_EQ(got.sy, f.sy);
        EXPECT_EQ(got.width, 100);
        EXPECT_EQ(got.height, 50);
    }
    // A plain draw uses no attributes.
    EXPECT_FALSE(bridge::attributesOf(-1, 0, 0, 100).has_value());
    // Lightness 50 adds 0.5 to each colour; opacity 40 sets M[3][3] to 0.4.
    const auto light = bridge::attributesOf(-1, 50, 0, 100);
    ASSERT_TRUE(light.has_value());
    for (int j = 0; j < 3; ++j)
        EXPECT_FLOAT_EQ((*light)[4][j], 0.5f);
    EXPECT_FLOAT_EQ((*light)[3][3], 1.0f);
    EXPECT_FLOAT_EQ((*light)[0][0], 1.0f);
    const auto faded = bridge::attributesOf(-1, 0, 0, 40);
    ASSERT_TRUE(faded.has_value());
    EXPECT_FLOAT_EQ((*faded)[3][3], 0.4f);
    EXPECT_FLOAT_EQ((*faded)[4][0], 0.0f);
    // Grayscale formula 0: every output colour takes 0.299 R + 0.587 G + 0.114 B.
    const auto gray = bridge::attributesOf(0, 0, 30, 100);
    ASSERT_TRUE(gray.has_value());
    for (int j = 0; j < 3; ++j) {
        EXPECT_FLOAT_EQ((*gray)[0][j], 0.299f);
        EXPECT_FLOAT_EQ((*gray)[1][j], 0.587f);
        EXPECT_FLOAT_EQ((*gray)[2][j], 0.114f);
    }
    // The matrix on a premultiplied pixel: (R 100, G 50, B 0) at alpha 128 is straight
    // (199, 100, 0); grey 0.299 * 199 + 0.587 * 100 = 118.2, premultiplied again 59.
    std::uint8_t px[4] = {0, 50, 100, 128};  // B, G, R, A
    bridge::applyColorMatrix(*gray, px);
    EXPECT_NEAR(px[0], 59, 1);
    EXPECT_EQ(px[0], px[1]);
    EXPECT_EQ(px[1], px[2]);
    EXPECT_EQ(px[3], 128);
    // Rotation about the destination's centre, mirrored draws centred on the other side.
    const auto p = bridge::rotatedPlacement(10, 20, bridge::flipOf(-101, 50));
    EXPECT_EQ(p.centreX, 10 - 50);
    EXPECT_EQ(p.centreY, 20 + 25);
    EXPECT_EQ(p.originX, 50);
}

std::unique_ptr<c32bppDIB> photo(int w, int h, std::uint32_t seed) {
    auto dib = testing::engineSurface(w, h);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            // Smooth gradients with a little noise, a soft transparent border.
            const int a = (x == 0 || y == 0 || x == w - 1 || y == h - 1) ? 0 : 255;
            const auto c = [&](int v) { return std::uint8_t(a ? std::clamp(v, 0, 255) : 0); };
            testing::put(
                *dib, x, y,
                {c(x * 255 / w + int(rng() % 9)), c(y * 255 / h), c(128), std::uint8_t(a)});
        }
    SurfaceInternals::setAlpha(*dib, true);
    return dib;
}

// The mean absolute difference of two 32-bit contexts' colour bytes, and where only one drew.
struct Comparison {
    double meanDifference = 0;
    int coverageMismatch = 0;
};
Comparison compare(const TestDC& a, const TestDC& b) {
    Comparison c;
    double sum = 0;
    int n = 0;
    for (int y = 0; y < a.bitmap->height(); ++y)
        for (int x = 0; x < a.bitmap->width(); ++x) {
            const std::uint8_t* p = a.at(x, y);
            const std::uint8_t* q = b.at(x, y);
            const bool drawnA = p[0] | p[1] | p[2], drawnB = q[0] | q[1] | q[2];
            if (drawnA != drawnB) ++c.coverageMismatch;
            for (int k = 0; k < 3; ++k)
                sum += std::abs(int(p[k]) - int(q[k]));
            n += 3;
        }
    c.meanDifference = sum / n;
    return c;
}

TEST(BridgeDrawing, SameGeometryAsTheEngineWithinWhatSamplingAllows) {
    const auto src = photo(64, 48, 3);
    struct Case {
        const char* name;
        std::int32_t x, y, w, h, srcW;
        float angle;
        bool centred;
    };
    const Case cases[] = {
        {"enlarged", 10, 10, 128, 96, 0, 0, false},
        {"shrunk", 20, 15, 32, 24, 0, 0, false},
        {"mirrored", 30, 30, -64, 48, 0, 0, false},
        {"source mirrored", 30, 30, 64, 48, -64, 0, false},
        {"rotated 30", 100, 90, 64, 48, 0, 30, true},
        {"rotated -75", 100, 90, 96, 72, 0, -75, true},
    };
    for (const Case& c : cases) {
        TestDC viaEngine(200, 180, 32), viaBridge(200, 180, 32);
        src->setGDIplusEnabled(false);
        src->setHighQualityInterpolation(true);
        ASSERT_TRUE(src->Render(viaEngine.dc.get(), c.x, c.y, c.w, c.h, 0, 0, c.srcW, 0, 100, 0,
                                false, nullptr, -1, 0, c.angle, c.centred))
            << c.name;
        src->setGDIplusEnabled(true);
        ASSERT_TRUE(src->isGDIplusEnabled());
        const std::uint64_t before = bridge::drawsMade();
        ASSERT_TRUE(src->Render(viaBridge.dc.get(), c.x, c.y, c.w, c.h, 0, 0, c.srcW, 0, 100, 0,
                                false, nullptr, -1, 0, c.angle, c.centred))
            << c.name;
        EXPECT_GT(bridge::drawsMade(), before) << c.name;
        const Comparison d = compare(viaEngine, viaBridge);
        // Bicubic against bilinear: the same picture in the same place, edges apart.
        EXPECT_LT(d.meanDifference, 3.0) << c.name;
        EXPECT_LT(d.coverageMismatch, (std::abs(c.w) + c.h) * 4) << c.name;
        // A repaint of clip boxes across the picture gives the pixels of the whole draw there
        // (only the part of the source those pixels sample is prepared), and none outside.
        for (const Rect clip : {Rect{0, 0, 200, 180}, Rect{c.x - 3, c.y - 5, c.x + 9, c.y + 7},
                                Rect{c.x + 7, c.y + 11, c.x + 21, c.y + 19},
                                Rect{c.x + 25, c.y, c.x + 26, c.y + 30}}) {
            TestDC clipped(200, 180, 32);
            clipped.dc->setClipRect(clip);
            src->Render(clipped.dc.get(), c.x, c.y, c.w, c.h, 0, 0, c.srcW, 0, 100, 0, false,
                        nullptr, -1, 0, c.angle, c.centred);
            int apart = 0;
            for (int y = 0; y < 180; ++y)
                for (int x = 0; x < 200; ++x) {
                    const std::uint8_t* p = clipped.at(x, y);
                    const std::uint8_t* q = viaBridge.at(x, y);
                    if (!clip.contains(x, y)) {
                        apart += (p[0] | p[1] | p[2] | p[3]) != 0;
                        continue;
                    }
                    for (int k = 0; k < 4; ++k)
                        apart += std::abs(int(p[k]) - int(q[k])) > 1;
                }
            EXPECT_EQ(apart, 0) << c.name << " clip " << clip.left << "," << clip.top;
        }
    }
    // Opacity 0 draws nothing and answers true.
    TestDC untouched(20, 20, 32);
    cGDIPlus bridge;
    EXPECT_TRUE(bridge.RenderWithGDIPlus(*src, *untouched.dc, 0, 0, 0, 0, 20, 20, 0, 0, 64, 48,
                                         true, -1, 0, 0));
    EXPECT_EQ(untouched.at(10, 10)[0] | untouched.at(10, 10)[3], 0);
    // Opacity, greyscale and lightness go through the colour matrix.
    TestDC matrix(64, 48, 32);
    ASSERT_TRUE(bridge.RenderWithGDIPlus(*src, *matrix.dc, 0, 50, 0, 0, 64, 48, 0, 0, 64, 48, true,
                                         0, 0, 0));
    const std::uint8_t* px = matrix.at(20, 20);
    EXPECT_EQ(px[0], px[1]);
    EXPECT_EQ(px[1], px[2]);
    EXPECT_NEAR(px[3], 128, 1) << "half opacity over an empty context";
}

// A draw at the image's own size through the bridge (a session held, so that the surface
// takes the bridge's path) puts the pixels down exactly as the own path does (AlphaBlend):
// opaque, translucent and transparent pixels, on 32- and 24-bit targets, and a small
// checkerboard whose every pixel differs from its neighbours.
TEST(BridgeDrawing, OwnSizeDrawsEqualTheOwnPathExactly) {
    std::uint32_t token = 0;
    ASSERT_TRUE(cGDIPlus::isGDIplusOk(token, true));
    auto random = testing::engineSurface(29, 17);
    testing::fillRandom(*random, 8);
    SurfaceInternals::setAlpha(*random, true);
    auto checker = testing::engineSurface(5, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x)
            testing::put(*checker, x, y,
                         (x + y) % 2 ? Pixel{0, 255, 0, 255} : Pixel{0, 0, 255, 255});
    struct Case {
        c32bppDIB* src;
        int bpp, x, y, sx, sy, w, h;
    };
    const Case cases[] = {{random.get(), 32, 3, 2, 0, 0, 29, 17},
                          {random.get(), 24, 0, 0, 4, 3, 20, 11},
                          {checker.get(), 32, 1, 1, 0, 0, 5, 5}};
    for (const Case& c : cases) {
        TestDC own(40, 24, c.bpp), viaBridge(40, 24, c.bpp);
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 40 * c.bpp / 8; ++x)
                own.bitmap->rowFromTop(y)[x] = viaBridge.bitmap->rowFromTop(y)[x] =
                    std::uint8_t(x * 7 + y * 13);
        c.src->setAlphaBlendFriendly(true);
        c.src->setHighQualityInterpolation(true);
        c.src->setGDIplusEnabled(false);
        ASSERT_TRUE(c.src->Render(own.dc.get(), c.x, c.y, c.w, c.h, c.sx, c.sy, c.w, c.h));
        c.src->setGDIplusEnabled(true);
        c.src->setGdiToken(token);
        const std::uint64_t before = bridge::drawsMade();
        ASSERT_TRUE(c.src->Render(viaBridge.dc.get(), c.x, c.y, c.w, c.h, c.sx, c.sy, c.w, c.h));
        EXPECT_GT(bridge::drawsMade(), before);
        EXPECT_EQ(
            std::memcmp(own.bitmap->bits(), viaBridge.bitmap->bits(), own.bitmap->byteCount()), 0)
            << c.w << "x" << c.h << " onto " << c.bpp << " bits";
        c.src->setGdiToken(0);
    }
    bridge::stopSession(token);
}

// The flips are part of the bridge's map: a mirrored draw (by a negative destination or source
// size) equals the draw of the surface mirrored beforehand, at the own size and enlarged, so a
// mirrored drawing keeps its pixel centres.
TEST(BridgeDrawing, MirroredDrawsEqualDrawsOfTheMirroredImage) {
    const auto src = photo(12, 9, 4);
    const auto mirrorOf = [&](bool x, bool y) {
        auto m = testing::engineSurface(12, 9);
        for (int r = 0; r < 9; ++r)
            for (int c = 0; c < 12; ++c)
                testing::put(*m, x ? 11 - c : c, y ? 8 - r : r, testing::get(*src, c, r));
        SurfaceInternals::setAlpha(*m, true);
        return m;
    };
    struct Case {
        int w, h, srcW;
        bool mx, my;
    };
    const Case cases[] = {{-12, 9, 0, true, false},  {12, -9, 0, false, true},
                          {-12, -9, 0, true, true},  {12, 9, -12, true, false},
                          {-24, 18, 0, true, false}, {30, -27, 0, false, true}};
    for (const Case& c : cases) {
        const auto mirrored = mirrorOf(c.mx, c.my);
        TestDC a(40, 30, 32), b(40, 30, 32);
        for (c32bppDIB* s : {src.get(), mirrored.get()}) {
            s->setGDIplusEnabled(true);
            s->setAlphaBlendFriendly(false);
            s->setHighQualityInterpolation(true);
        }
        // The bridge draws a mirrored image into the rectangle at destX, destY of the sizes'
        // absolute values.
        ASSERT_TRUE(src->Render(a.dc.get(), 2, 1, c.w, c.h, 0, 0, c.srcW, 0));
        ASSERT_TRUE(mirrored->Render(b.dc.get(), 2, 1, std::abs(c.w), std::abs(c.h)));
        int apart = 0;
        for (int py = 0; py < 30; ++py)
            for (int px = 0; px < 40; ++px)
                apart += std::memcmp(a.at(px, py), b.at(px, py), 4) != 0;
        EXPECT_EQ(apart, 0) << c.w << "x" << c.h << " source width " << c.srcW;
    }
}

Bytes readBack(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A TIFF of the picture: 8-bit RGB, RGBA (unassociated alpha) or palette, with the compression.
Bytes makeTiff(const c32bppDIB& pic, int kind, std::uint16_t compression) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("talvrin_bridge_" + std::to_string(::getpid()) + ".tif");
    TIFF* t = TIFFOpen(path.c_str(), "w");
    const int w = pic.Width(), h = pic.Height();
    const int spp = kind == 0 ? 3 : kind == 1 ? 4 : 1;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 4);
    std::vector<std::uint16_t> r(256), g(256), b(256);
    if (kind == 2) {
        for (int i = 0; i < 256; ++i) {
            r[i] = std::uint16_t(i * 257);
            g[i] = std::uint16_t((255 - i) * 257);
            b[i] = 128 * 257;
        }
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
        TIFFSetField(t, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
    } else {
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    }
    if (kind == 1) {
        const std::uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    std::vector<std::uint8_t> row(std::size_t(w) * spp);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Pixel p = testing::get(pic, x, y);
            if (kind == 2) {
                row[x] = p[2];  // the palette index is the red value
            } else {
                row[x * spp] = p[2];
                row[x * spp + 1] = p[1];
                row[x * spp + 2] = p[0];
                if (spp == 4) row[x * spp + 3] = p[3];
            }
        }
        TIFFWriteScanline(t, row.data(), std::uint32_t(y), 0);
    }
    TIFFClose(t);
    Bytes bytes = readBack(path);
    std::filesystem::remove(path);
    return bytes;
}

TEST(BridgeLoading, WebpAndTiffDecodeToTheirSourcePixels) {
    // An opaque picture for the formats without alpha, one with straight alpha for the rest.
    auto opaque = testing::engineSurface(13, 9);
    auto translucent = testing::engineSurface(13, 9);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 13; ++x) {
            const auto v = std::uint8_t(x * 19 + y * 7);
            testing::put(*opaque, x, y, {std::uint8_t(255 - v), std::uint8_t(y * 28), v, 255});
            testing::put(*translucent, x, y,
                         {std::uint8_t(x * 17), std::uint8_t(y * 25), 200, 255});
        }
    // Straight colours with alpha, as the encoders take them (B, G, R, A, top row first).
    std::vector<std::uint8_t> straight;
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 13; ++x)
            straight.insert(straight.end(), {std::uint8_t(x * 17), std::uint8_t(y * 25), 200,
                                             std::uint8_t(x < 6 ? 255 : 40 + y * 20)});
    std::uint8_t* lossless = nullptr;
    const std::size_t losslessSize = WebPEncodeLosslessBGRA(straight.data(), 13, 9, 52, &lossless);
    std::uint8_t* lossy = nullptr;
    const std::size_t lossySize = WebPEncodeBGRA(straight.data(), 13, 9, 52, 95, &lossy);
    ASSERT_GT(losslessSize, 0u);
    ASSERT_GT(lossySize, 0u);
    const Bytes webpLossless(lossless, lossless + losslessSize),
        webpLossy(lossy, lossy + lossySize);
    WebPFree(lossless);
    WebPFree(lossy);

    struct Case {
        const char* name;
        Bytes file;
        int tolerance;
        bool alpha;
    };
    const Case cases[] = {
        {"webp lossless with alpha", webpLossless, 0, true},
        {"webp lossy with alpha", webpLossy, 24, true},
        {"tiff rgb lzw", makeTiff(*opaque, 0, COMPRESSION_LZW), 0, false},
        {"tiff rgb deflate", makeTiff(*opaque, 0, COMPRESSION_ADOBE_DEFLATE), 0, false},
        {"tiff rgba", makeTiff(*translucent, 1, COMPRESSION_NONE), 0, false},
        {"tiff palette", makeTiff(*opaque, 2, COMPRESSION_LZW), 0, false},
    };
    for (const Case& c : cases) {
        c32bppDIB dib;
        ASSERT_TRUE(dib.LoadPicture_Stream(c.file))
            << c.name << ": " << explain(dib.lastLoadFailure());
        EXPECT_EQ(dib.ImageType(), imgPNG) << c.name;
        EXPECT_EQ(dib.Alpha(), c.alpha) << c.name;
        ASSERT_EQ(dib.Width(), 13);
        ASSERT_EQ(dib.Height(), 9);
        int worst = 0;
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 13; ++x) {
                Pixel want;
                if (c.alpha) {
                    const std::uint8_t* s = straight.data() + (std::size_t(y) * 13 + x) * 4;
                    for (int k = 0; k < 3; ++k)
                        want[k] = premultiplyChannel(s[k], s[3]);
                    want[3] = s[3];
                } else if (std::string(c.name) == "tiff palette") {
                    const Pixel o = testing::get(*opaque, x, y);
                    want = {128, std::uint8_t(255 - o[2]), o[2], 255};
                } else {
                    want = testing::get(std::string(c.name) == "tiff rgba" ? *translucent : *opaque,
                                        x, y);
                }
                const Pixel got = testing::get(dib, x, y);
                for (int k = 0; k < 4; ++k)
                    worst = std::max(worst, std::abs(got[k] - want[k]));
            }
        EXPECT_LE(worst, c.tolerance) << c.name;
        // Cut short (a WebP in its data, a TIFF in its first strip, before its directory), the
        // file fails cleanly; cut anywhere, it never crashes.
        const std::size_t cutAt = c.file[0] == 'R' ? c.file.size() / 2 : 60;
        c32bppDIB cut;
        EXPECT_FALSE(cut.LoadPicture_Stream(Bytes(c.file.begin(), c.file.begin() + cutAt)))
            << c.name;
        EXPECT_EQ(cut.Handle(), nullptr);
        for (std::size_t n = 57; n < c.file.size(); n += 13) {
            c32bppDIB any;
            (void)any.LoadPicture_Stream(Bytes(c.file.begin(), c.file.begin() + n));
        }
    }
    // Without the bridge the formats are not recognised.
    c32bppDIB dib;
    dib.setGDIplusEnabled(false);
    EXPECT_FALSE(dib.LoadPicture_Stream(webpLossless));
    EXPECT_EQ(dib.lastLoadFailure().reason, DecodeFailure::kNotRecognised);
}

// A TIFF written by libtiff to a file, in one of the layouts writers use: strips or 16 x 16
// tiles, any compression, RGB, RGBA (unassociated alpha), grey or palette samples; `padding`
// extra bytes after each strip's data (recorded in its byte count), as some writers leave them.
struct TiffLayout {
    const char* name;
    bool tiled;
    std::uint16_t compression;
    int spp;  // 1 grey, 3 RGB, 4 RGBA, -1 palette
    int padding;
};
std::filesystem::path writeTiff(const TiffLayout& l, int w, int h) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("talvrin_tiff_" + std::to_string(::getpid()) + ".tif");
    TIFF* t = TIFFOpen(path.c_str(), "w");
    const int spp = l.spp < 0 ? 1 : l.spp;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, l.compression);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
                 l.spp < 0  ? PHOTOMETRIC_PALETTE
                 : spp == 1 ? PHOTOMETRIC_MINISBLACK
                            : PHOTOMETRIC_RGB);
    std::vector<std::uint16_t> r(256), g(256), b(256);
    if (l.spp < 0) {
        for (int i = 0; i < 256; ++i) {
            r[i] = std::uint16_t(i * 257);
            g[i] = std::uint16_t((255 - i) * 257);
            b[i] = std::uint16_t((i * 7 % 256) * 257);
        }
        TIFFSetField(t, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
    }
    if (spp == 4) {
        const std::uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    const auto sample = [&](int x, int y, int c) {
        return std::uint8_t(c == 3 ? (x * 37 + y * 11) % 256 : (x * 9 + y * 5 + c * 70) % 256);
    };
    const int block = 16;  // tile side, or rows a strip
    if (l.tiled) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, block);
        TIFFSetField(t, TIFFTAG_TILELENGTH, block);
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, block);
    }
    const int across = l.tiled ? block : w;
    std::vector<std::uint8_t> data;
    for (int y0 = 0, index = 0; y0 < h; y0 += block)
        for (int x0 = 0; x0 < (l.tiled ? w : 1); x0 += block, ++index) {
            data.assign(std::size_t(across) * block * spp, 0);
            const int rows = l.tiled ? block : std::min(block, h - y0);
            for (int y = 0; y < rows && y0 + y < h; ++y)
                for (int x = 0; x < across && x0 + x < w; ++x)
                    for (int c = 0; c < spp; ++c)
                        data[(std::size_t(y) * across + x) * spp + c] = sample(x0 + x, y0 + y, c);
            data.resize(std::size_t(across) * rows * spp);
            if (l.padding > 0) {
                data.resize(data.size() + std::size_t(l.padding), 0xEE);
                l.tiled
                    ? TIFFWriteRawTile(t, std::uint32_t(index), data.data(), tmsize_t(data.size()))
                    : TIFFWriteRawStrip(t, std::uint32_t(index), data.data(),
                                        tmsize_t(data.size()));
            } else {
                l.tiled ? TIFFWriteEncodedTile(t, std::uint32_t(index), data.data(),
                                               tmsize_t(data.size()))
                        : TIFFWriteEncodedStrip(t, std::uint32_t(index), data.data(),
                                                tmsize_t(data.size()));
            }
        }
    TIFFClose(t);
    return path;
}

// Every TIFF that libtiff's file interface reads, the bridge reads from memory to the same
// pixels: strips and tiles, each compression, padded strips (uncompressed tiles were refused
// as "bad data": libtiff's unmapped read of them fails).
TEST(BridgeLoading, TiffFromMemoryReadsWhatTheFileInterfaceReads) {
    const TiffLayout layouts[] = {
        {"strips, none, rgb", false, COMPRESSION_NONE, 3, 0},
        {"strips, lzw, rgba", false, COMPRESSION_LZW, 4, 0},
        {"strips, packbits, grey", false, COMPRESSION_PACKBITS, 1, 0},
        {"strips, none, padded", false, COMPRESSION_NONE, 3, 256},
        {"tiles, none, rgb", true, COMPRESSION_NONE, 3, 0},
        {"tiles, lzw, rgba", true, COMPRESSION_LZW, 4, 0},
        {"tiles, deflate, palette", true, COMPRESSION_ADOBE_DEFLATE, -1, 0},
        {"tiles, packbits, grey", true, COMPRESSION_PACKBITS, 1, 0},
    };
    const int w = 37, h = 21;
    for (const TiffLayout& l : layouts) {
        const auto path = writeTiff(l, w, h);
        std::vector<std::uint32_t> raster(std::size_t(w) * h);
        TIFF* t = TIFFOpen(path.c_str(), "r");
        ASSERT_NE(t, nullptr) << l.name;
        ASSERT_TRUE(TIFFReadRGBAImageOriented(t, w, h, raster.data(), ORIENTATION_TOPLEFT, 0))
            << l.name << ": the file interface reads it";
        TIFFClose(t);
        const Bytes bytes = readBack(path);
        std::filesystem::remove(path);
        c32bppDIB dib;
        ASSERT_TRUE(dib.LoadPicture_Stream(bytes))
            << l.name << ": " << explain(dib.lastLoadFailure());
        ASSERT_EQ(dib.Width(), w);
        ASSERT_EQ(dib.Height(), h);
        int apart = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::uint32_t v = raster[std::size_t(y) * w + x];
                const auto a = std::uint8_t(TIFFGetA(v));
                const Pixel want{std::min(std::uint8_t(TIFFGetB(v)), a),
                                 std::min(std::uint8_t(TIFFGetG(v)), a),
                                 std::min(std::uint8_t(TIFFGetR(v)), a), a};
                apart += testing::get(dib, x, y) != want;
            }
        EXPECT_EQ(apart, 0) << l.name;
    }
}

// A load the bridge declines, for any reason, leaves the surface empty, whatever it held.
TEST(BridgeLoading, DeclinedLoadsEmptyTheSurface) {
    Bytes png;
    ASSERT_TRUE(photo(4, 4, 2)->SaveToStream_PNG(png));
    const Bytes tiffHeaderOnly{'I', 'I', 42, 0, 8, 0, 0, 0};
    const Bytes webpTruncated{'R', 'I', 'F', 'F', 30, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P'};
    struct Case {
        const char* name;
        Bytes bytes;
        bool session;
    };
    const Case cases[] = {{"a PNG (not the bridge's)", png, true},
                          {"no bytes", {}, true},
                          {"a TIFF header alone", tiffHeaderOnly, true},
                          {"a truncated WebP", webpTruncated, true},
                          {"no imaging library", png, false}};
    for (const Case& c : cases) {
        c32bppDIB target;
        ASSERT_TRUE(target.InitializeDIB(3, 3));
        const bridge::ScopedBackendAbsent absent(!c.session);
        cGDIPlus bridge;
        EXPECT_FALSE(bridge.LoadWithGDIPlus({}, c.bytes, target, 0)) << c.name;
        EXPECT_EQ(target.Handle(), nullptr) << c.name;
    }
}

TEST(BridgeSessions, TokensCountAndSavingFallsBackToTheOwnEncoder) {
    const std::size_t open = bridge::openSessions();
    std::uint32_t token = 0;
    ASSERT_TRUE(cGDIPlus::isGDIplusOk(token, true));
    EXPECT_NE(token, 0u);
    EXPECT_EQ(bridge::openSessions(), open + 1);
    std::uint32_t probe = 0;
    EXPECT_TRUE(cGDIPlus::isGDIplusOk(probe, false));
    EXPECT_EQ(probe, 0u) << "an unkept session hands out no token";
    EXPECT_EQ(bridge::openSessions(), open + 1);
    bridge::stopSession(token);
    EXPECT_EQ(bridge::openSessions(), open);
    {
        const bridge::ScopedBackendAbsent absent;
        EXPECT_FALSE(cGDIPlus::isGDIplusOk(token, true));
    }
    // No encoder registered for "image/png": the bridge's save fails, the surface's own PNG is
    // written instead.
    const auto pic = photo(8, 8, 1);
    pic->setGDIplusEnabled(true);
    cGDIPlus bridge;
    Bytes out{1, 2, 3};
    EXPECT_FALSE(bridge.SaveToPNG({}, out, *pic, 0));
    ASSERT_TRUE(pic->SaveToStream_PNG(out));
    EXPECT_EQ(out[1], 'P');
}

}  // namespace
}  // namespace talvrin
