// Loading for a smaller drawing: a JPEG reduced while it decodes equals the full decode drawn
// at that size within a measured tolerance, its size is exact for every orientation, and
// everything else loads as LoadPicture_Stream loads it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "image/bridge/gdiplus.h"
#include "image/surface/c32bpp_dib.h"
#include "image/surface/image_types.h"
#include "support/load_failure_printer.h"
#if TALVRIN_HAVE_JPEG
#include "support/jpeg_test_builder.h"
#endif
#include "image/codecs/gifico_test_util.h"

namespace talvrin {
namespace {

using testutil::Bytes;

#if TALVRIN_HAVE_JPEG

// A photo-like picture: smooth colour fields, a sharp-edged disc and fine stripes, at quality 90.
Bytes photo(int w, int h) {
    return test::encodeJpeg(w, h, {JCS_RGB, 3, false, 90}, [w, h](int x, int y, int k) {
        const double u = (x + 0.5) / w, v = (y + 0.5) / h;
        double s = 128 + 90 * std::sin(6.28 * (1.5 * u + 0.3 * k)) * std::cos(6.28 * (v + 0.2 * k));
        s += 20 * std::sin(6.28 * x / 9.0);
        const double dx = u - 0.6, dy = v - 0.4;
        if (dx * dx + dy * dy < 0.04) s = k == 1 ? 230 : 40;
        return static_cast<int>(std::clamp(s, 0.0, 255.0));
    });
}

// The full decode drawn at w x h with high quality, as a caller resizes an image.
std::unique_ptr<c32bppDIB> fullResized(const Bytes& jpeg, int w, int h) {
    c32bppDIB full;
    if (!full.LoadPicture_Stream(jpeg)) return nullptr;
    auto out = std::make_unique<c32bppDIB>();
    if (!out->InitializeDIB(w, h)) return nullptr;
    full.setHighQualityInterpolation(true);
    if (!full.Render(nullptr, 0, 0, w, h, 0, 0, 0, 0, 100, 0, true, out.get())) return nullptr;
    return out;
}

struct Difference {
    int largest = 0;
    double mean = 0;
};
Difference differenceOf(const c32bppDIB& a, const c32bppDIB& b) {
    Difference d;
    const std::size_t n = std::size_t(a.Width()) * std::size_t(a.Height()) * 4;
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int e = std::abs(int(a.BitsPointer()[i]) - int(b.BitsPointer()[i]));
        d.largest = std::max(d.largest, e);
        sum += e;
    }
    d.mean = sum / double(n);
    return d;
}

// Sizes whose decode is reduced by 2, 4 and 8 (sides that are no multiple of 8, so the last
// decoded pixels stand for part of a block), against the full decode drawn at the same size.
// Measured on this picture: mean differences of 0.4 (reduced by 2), 1.1 (by 4 and by 8) and
// 1.8 levels (by 8, then by 2 more), at most 6 to 18 levels, at the disc's edge and where the
// 9-pixel stripes meet the library's 8-pixel blocks (its reduced transform averages blocks, as a
// box does, and a pattern near the block's period comes through it at a few levels). A
// drawing whose centres were half a decoded pixel off, or upside down, would differ by tens of
// levels along every edge.
TEST(LoadingForSize, AReducedJpegIsTheFullDecodeDrawnAtTheSize) {
    const Bytes jpeg = photo(1001, 757);
    struct Case {
        int w, h;
    };
    for (const Case c : {Case{300, 200}, Case{200, 150}, Case{120, 90}, Case{64, 40}}) {
        c32bppDIB reduced;
        ASSERT_TRUE(reduced.LoadPicture_StreamForSize(jpeg, c.w, c.h));
        ASSERT_EQ(reduced.Width(), c.w);
        ASSERT_EQ(reduced.Height(), c.h);
        EXPECT_EQ(reduced.ImageType(), imgBitmap);
        EXPECT_FALSE(reduced.Alpha());
        const auto full = fullResized(jpeg, c.w, c.h);
        ASSERT_NE(full, nullptr);
        const Difference d = differenceOf(reduced, *full);
        EXPECT_LE(d.mean, 2.0) << c.w << " x " << c.h;
        EXPECT_LE(d.largest, 24) << c.w << " x " << c.h;
        for (std::size_t i = 3; i < std::size_t(c.w) * std::size_t(c.h) * 4; i += 4)
            ASSERT_EQ(reduced.BitsPointer()[i], 255) << "opaque";
    }
}

// The drawing's size is upright: orientations 5 to 8 (a quarter turn) make the stored image
// the other way round. The size is exact whether or not the decode is reduced; a size above
// half the stored one, a size of 0 and a surface without the imaging bridge decode at full size.
TEST(LoadingForSize, SizesAreExactForEveryOrientation) {
    const Bytes jpeg = photo(640, 480);
    struct Case {
        int w, h;
        bool enabled;
        int storedW, storedH;  // for orientations 1 to 4
    };
    const Case cases[] = {
        {150, 100, true, 150, 100}, {75, 49, true, 75, 49},      {321, 100, true, 640, 480},
        {0, 100, true, 640, 480},   {150, 100, false, 640, 480},
    };
    for (const Case& c : cases) {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            c32bppDIB dib;
            dib.setGDIplusEnabled(c.enabled);
            ASSERT_TRUE(dib.LoadPicture_StreamForSize(jpeg, c.w, c.h, orientation));
            const bool turned = orientation >= 5;
            const bool reduced = c.storedW != 640;
            // A reduced decode is resampled in the stored orientation: the drawing turned back.
            const int wantW = reduced && turned ? c.storedH : c.storedW;
            const int wantH = reduced && turned ? c.storedW : c.storedH;
            EXPECT_EQ(dib.Width(), wantW) << c.w << "x" << c.h << " orientation " << orientation;
            EXPECT_EQ(dib.Height(), wantH) << c.w << "x" << c.h << " orientation " << orientation;
        }
    }
    // 480 x 640 upright under a quarter turn is the stored 640 x 480 halved: 320 x 240 stored.
    c32bppDIB turned;
    ASSERT_TRUE(turned.LoadPicture_StreamForSize(jpeg, 240, 320, 6));
    EXPECT_EQ(turned.Width(), 320);
    EXPECT_EQ(turned.Height(), 240);
}

// What the reduced path does not take loads exactly as LoadPicture_Stream loads it: a PNG, and
// a JPEG whose data the library refuses (the same failure, the surface empty).
TEST(LoadingForSize, EverythingElseLoadsAsTheStreamDoes) {
    const Bytes jpeg = photo(64, 64);
    Bytes damaged = jpeg;
    for (std::size_t i = damaged.size() / 4; i < damaged.size() - 2; ++i)
        damaged[i] = 0xFF;  // markers where the scan data was
    const Bytes& broken = damaged;
    const Bytes header(jpeg.begin(), jpeg.begin() + 120);
    const Bytes png = testutil::makePngRgba(4, 2, std::vector<std::uint8_t>(32, 200));
    for (const Bytes* bytes : {&png, &broken, &header}) {
        c32bppDIB sized, plain;
        const bool a = sized.LoadPicture_StreamForSize(*bytes, 2, 1);
        const bool b = plain.LoadPicture_Stream(*bytes);
        EXPECT_EQ(a, b);
        EXPECT_EQ(sized.Width(), plain.Width());
        EXPECT_EQ(sized.Height(), plain.Height());
        EXPECT_EQ(sized.lastLoadFailure(), plain.lastLoadFailure());
        if (b) {
            const Difference d = differenceOf(sized, plain);
            EXPECT_EQ(d.largest, 0);
        }
    }
}

#else

TEST(LoadingForSize, AReducedJpegIsTheFullDecodeDrawnAtTheSize) {
    GTEST_SKIP() << "no JPEG library in this build: JPEG files are not decoded";
}

#endif  // TALVRIN_HAVE_JPEG

}  // namespace
}  // namespace talvrin
