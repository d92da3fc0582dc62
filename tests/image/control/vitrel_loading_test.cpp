// Vitrel's loading interface: icon requests, settling a new image, bytes out and in, clearing.
#include <gtest/gtest.h>

#include "fake_host.h"
#include "image/codecs/gifico_test_util.h"
#include "image/surface/c32bpp_dib_internal.h"
#include "image/surface/image_types.h"
#include "support/icon_file_builder.h"

namespace talvrin {
namespace {

using test::iconOfSizes;
using testing::HostedControl;
using testutil::Bytes;

Bytes rgbaPng(int w, int h, const std::vector<std::uint8_t>& rgba) {
    return testutil::makePngRgba(w, h, rgba);
}

// An opaque 2 x 2 bitmap file: top row red, green; bottom row blue, white.
Bytes cornersBitmap() {
    c32bppDIB dib;
    EXPECT_TRUE(dib.LoadPicture_Stream(
        rgbaPng(2, 2, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255})));
    SurfaceInternals::setAlpha(dib, false);
    Bytes file;
    EXPECT_TRUE(dib.SaveToStream(file));
    return file;
}

TEST(VitrelLoading, IconRequestsTakeTheControlsSize) {
    HostedControl t(48, 48, true);
    t.control.setAutoSize(false);
    std::int32_t w = 0, h = -3, depth = 0;
    ASSERT_TRUE(t.control.LoadImage_FromArray(iconOfSizes({16, 48, 32}), w, h, depth));
    EXPECT_EQ(w, 48);
    EXPECT_EQ(h, 48);
    EXPECT_EQ(depth, 32);
    EXPECT_EQ(t.control.surface().Width(), 48);
    // A failed load answers false and leaves the control empty, not laid out again.
    std::int32_t a = 0, b = 0, c = 0;
    EXPECT_FALSE(t.control.LoadImage_FromArray(Bytes(100, 3), a, b, c));
    EXPECT_EQ(t.control.surface().BitsPointer(), nullptr);
}

TEST(VitrelLoading, SettlingKeepsACornerMaskOrDropsItForAlpha) {
    HostedControl t(20, 20, true);
    std::int32_t w = 0, h = 0, d = 0;
    ASSERT_TRUE(t.control.LoadImage_FromArray(cornersBitmap(), w, h, d));
    t.control.setMaskUsed(3);  // the top-right pixel: green
    EXPECT_EQ(t.control.mask(), 0x00FF00u);
    std::int32_t alpha = 0;
    EXPECT_EQ(t.control.surface().GetPixel(1, 0, alpha, true), 0);
    EXPECT_EQ(alpha, 0);
    // A new picture without alpha: its own top-right colour becomes the mask.
    const Bytes other = [] {
        c32bppDIB dib;
        EXPECT_TRUE(dib.LoadPicture_Stream(
            rgbaPng(2, 2, {9, 9, 9, 255, 50, 60, 70, 255, 9, 9, 9, 255, 9, 9, 9, 255})));
        SurfaceInternals::setAlpha(dib, false);
        Bytes file;
        EXPECT_TRUE(dib.SaveToStream(file));
        return file;
    }();
    t.host.changes.clear();
    ASSERT_TRUE(t.control.LoadImage_FromArray(other, w, h, d));
    EXPECT_EQ(t.control.mask(), 0x463C32u);  // 70, 60, 50 as 0x00BBGGRR
    EXPECT_EQ(t.control.surface().GetPixel(1, 0, alpha, true), 0);
    EXPECT_EQ(alpha, 0);
    EXPECT_TRUE(t.host.changes.empty());
    // A PNG with alpha drops the mask and says so.
    ASSERT_TRUE(
        t.control.LoadImage_FromArray(rgbaPng(2, 1, {1, 2, 3, 255, 4, 5, 6, 100}), w, h, d));
    EXPECT_FALSE(t.control.maskInUse());
    EXPECT_EQ(t.control.MaskUsed(), 0);
    EXPECT_EQ(t.host.changes, std::vector<std::string>{"MaskUsed"});
    // With an alpha channel and no mask, MaskUsed does nothing.
    t.control.setMaskUsed(2);
    EXPECT_FALSE(t.control.maskInUse());
}

TEST(VitrelLoading, BytesOutAndInAndTheImageType) {
    testutil::GifRecipe g;
    g.width = g.height = 8;
    g.globalTable = testutil::rampTable(4);
    g.minCodeSize = 2;
    g.pixels.assign(64, 2);
    g.beforeImage = {0x21, 0xFE, 30};
    g.beforeImage.resize(33, 'x');
    g.beforeImage.push_back(0);
    const Bytes gif = testutil::makeGif(g);
    for (const bool keep : {true, false}) {
        HostedControl t(16, 16, true);
        t.control.setKeepOriginalFormat(keep);
        std::int32_t w = 0, h = 0, d = 0;
        ASSERT_TRUE(t.control.LoadImage_FromArray(gif, w, h, d));
        Bytes out;
        std::int32_t scan = -1;
        ASSERT_TRUE(t.control.GetImageBytes(out, scan, false, true, true, true, true));
        EXPECT_EQ(scan, -1) << "the file form sets no scan width";
        if (keep) {
            EXPECT_EQ(out, gif);
            EXPECT_EQ(t.control.ImageType(), imgGIF);
        } else {
            EXPECT_EQ(out[1], 'P') << "a PNG file";
            EXPECT_EQ(t.control.ImageType(), imgPNG);
        }
        // Rows: 32-bit, the surface's scan width; written back they give the same image.
        ASSERT_TRUE(t.control.GetImageBytes(out, scan, false, true, false, true, false));
        EXPECT_EQ(scan, 32);
        ASSERT_EQ(out.size(), 8u * 32);
        out[0] = 0x10;  // top-left blue, then back in
        ASSERT_TRUE(t.control.SetImageBytes(out, true, false));
        std::int32_t alpha = 0;
        EXPECT_EQ(t.control.surface().GetPixel(0, 0, alpha, true) >> 16, 0x10);
    }
    // An empty control: no bytes out or in; a design-time checkerboard counts as no image.
    HostedControl empty(16, 16, true);
    Bytes out;
    std::int32_t scan = 0;
    EXPECT_FALSE(empty.control.GetImageBytes(out, scan, false, true, true, true, true));
    EXPECT_FALSE(empty.control.SetImageBytes(Bytes(16 * 16 * 4, 1), true, true));
    HostedControl design(16, 16, false);
    design.control.Resize();
    EXPECT_EQ(design.control.surface().ImageType(), imgCheckerBoard);
    EXPECT_EQ(design.control.ImageType(), 0);
    EXPECT_FALSE(design.control.GetImageBytes(out, scan, false, true, true, true, true));
}

TEST(VitrelLoading, ClearingShowsNothingWhenRunningAndTheCheckerboardAtDesignTime) {
    const Bytes png = rgbaPng(4, 4, std::vector<std::uint8_t>(64, 200));
    for (const bool running : {true, false}) {
        HostedControl t(30, 30, running);
        t.control.setAutoSize(false);
        std::int32_t w = 0, h = 0, d = 0;
        ASSERT_TRUE(t.control.LoadImage_FromArray(png, w, h, d));
        t.control.ClearImage();
        if (running) {
            EXPECT_EQ(t.control.surface().BitsPointer(), nullptr);
        } else {
            EXPECT_EQ(t.control.surface().ImageType(), imgCheckerBoard);
            std::int32_t alpha = 0;
            EXPECT_EQ(t.control.surface().GetPixel(0, 0, alpha, true), 0xFFFFFF);
            EXPECT_EQ(t.control.surface().GetPixel(12, 0, alpha, true), 0xC0C0C0);
        }
    }
}

}  // namespace
}  // namespace talvrin
