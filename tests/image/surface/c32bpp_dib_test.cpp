#include "image/surface/c32bpp_dib.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "image/bridge/gdiplus.h"
#include "image/codecs/compression.h"
#include "image/surface/c32bpp_dib_internal.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"

namespace talvrin {
namespace {

// Writes one pixel (B, G, R, A) at image column x, row y counted from the top.
void putPixel(c32bppDIB& dib, int x, int y, std::uint8_t b, std::uint8_t g, std::uint8_t r,
              std::uint8_t a) {
    std::uint8_t* p = dib.BitsPointer() +
                      pixelOffset(x, y, dib.Height(), static_cast<std::size_t>(dib.scanWidth()));
    p[kBlueOffset] = b;
    p[kGreenOffset] = g;
    p[kRedOffset] = r;
    p[kAlphaOffset] = a;
}

bool allZero(const c32bppDIB& dib) {
    const std::size_t n = static_cast<std::size_t>(dib.scanWidth()) * dib.Height();
    return std::all_of(dib.BitsPointer(), dib.BitsPointer() + n, [](auto v) { return v == 0; });
}

void expectEmpty(const c32bppDIB& dib) {
    EXPECT_EQ(dib.Width(), 0);
    EXPECT_EQ(dib.Height(), 0);
    EXPECT_EQ(dib.scanWidth(), 0);
    EXPECT_EQ(dib.BitsPointer(), nullptr);
    EXPECT_EQ(dib.Handle(), nullptr);
}

// ---- Creation and sizes -----------------------------------------------------------------------

TEST(SurfaceCreation, NewSurfaceIsEmptyWithCreatedType) {
    c32bppDIB dib;
    expectEmpty(dib);
    EXPECT_EQ(dib.ImageType(), imgCreated);
    EXPECT_FALSE(dib.Alpha());
    EXPECT_TRUE(dib.sourceBytes().empty());
}

TEST(SurfaceCreation, NegativeHeightMakesBottomUpSurfaceOfAbsoluteSize) {
    c32bppDIB dib;
    ASSERT_TRUE(dib.InitializeDIB(10, -5));
    EXPECT_EQ(dib.Width(), 10);
    EXPECT_EQ(dib.Height(), 5);
    EXPECT_EQ(dib.scanWidth(), 40);
    ASSERT_NE(dib.Handle(), nullptr);
    EXPECT_EQ(dib.Handle()->height(), 5);
    EXPECT_EQ(dib.Handle()->bitsPerPixel(), 32);
    EXPECT_EQ(dib.Handle()->bits(), dib.BitsPointer());
    EXPECT_TRUE(dib.Alpha());
    EXPECT_EQ(dib.ImageType(), imgCreated);
    EXPECT_TRUE(allZero(dib));
}

TEST(SurfaceCreation, InvalidSizesFailAndLeaveTheSurfaceEmpty) {
    struct Case {
        std::int32_t w, h;
    };
    const Case cases[] = {{-1, 5},
                          {5, 0},
                          {0, 5},
                          {0, 0},
                          {std::numeric_limits<std::int32_t>::min(), 5},
                          {5, std::numeric_limits<std::int32_t>::min()}};
    for (const auto& c : cases) {
        c32bppDIB dib;
        ASSERT_TRUE(dib.InitializeDIB(4, 4));  // a failed call also drops the previous image
        EXPECT_FALSE(dib.InitializeDIB(c.w, c.h)) << c.w << " x " << c.h;
        expectEmpty(dib);
        EXPECT_EQ(dib.ImageType(), imgNone);
        EXPECT_FALSE(dib.Alpha());
    }
}

TEST(SurfaceCreation, SizeBeyondSigned32BitRangeFails) {
    c32bppDIB dib;
    // 2^31 bytes: one past the limit.
    EXPECT_FALSE(dib.InitializeDIB(32768, 16384));
    // 2^34 bytes, which wraps to 0 in unsigned 32-bit arithmetic.
    EXPECT_FALSE(dib.InitializeDIB(65536, 65536));
    EXPECT_FALSE(dib.InitializeDIB(std::numeric_limits<std::int32_t>::max(), 1));
    EXPECT_FALSE(dib.InitializeDIB(1, -std::numeric_limits<std::int32_t>::max()));
    expectEmpty(dib);
}

TEST(SurfaceCreation, DestroyResetsEverythingAndDropsSourceBytes) {
    c32bppDIB dib;
    ASSERT_TRUE(dib.InitializeDIB(3, 3));
    const std::uint8_t bytes[] = {1, 2, 3};
    SurfaceInternals::setSourceBytes(dib, bytes);
    dib.DestroyDIB();
    expectEmpty(dib);
    EXPECT_FALSE(dib.Alpha());
    EXPECT_EQ(dib.ImageType(), imgNone);
    EXPECT_TRUE(dib.sourceBytes().empty());
}

TEST(SurfaceCreation, EraseClearsPixelsAndResetsTypeAndAlpha) {
    c32bppDIB dib;
    ASSERT_TRUE(dib.InitializeDIB(4, 3));
    putPixel(dib, 0, 0, 1, 2, 3, 4);
    putPixel(dib, 3, 2, 9, 9, 9, 9);
    SurfaceInternals::setImageType(dib, imgPNG);
    SurfaceInternals::setAlpha(dib, false);
    dib.EraseDIB();
    EXPECT_TRUE(allZero(dib));
    EXPECT_EQ(dib.ImageType(), imgCreated);
    EXPECT_TRUE(dib.Alpha());

    dib.DestroyDIB();
    dib.EraseDIB();  // without an image nothing changes
    EXPECT_EQ(dib.ImageType(), imgNone);
    EXPECT_FALSE(dib.Alpha());
}

// ---- Pixel reads --------------------------------------------------------------------------

TEST(SurfaceGetPixel, UnpremultipliesWithTruncation) {
    c32bppDIB dib;
    ASSERT_TRUE(dib.InitializeDIB(2, 2));
    putPixel(dib, 1, 0, 64, 32, 16, 128);
    std::int32_t alpha = -5;
    EXPECT_EQ(dib.GetPixel(1, 0, alpha, false), 31 | (63 << 8) | (127 << 16));
    EXPECT_EQ(alpha, 128);
    EXPECT_EQ(dib.GetPixel(1, 0, alpha, true), 16 | (32 << 8) | (64 << 16));
    EXPECT_EQ(alpha, 128);
}

TEST(SurfaceGetPixel, RowsAreCountedFromTheTopOfTheBottomUpBuffer) {
    c32bppDIB dib;
    ASSERT_TRUE(dib.InitializeDIB(2, 3));
    // The first row in memory is the bottom row of the image.
    std::uint8_t* first = dib.BitsPointer();
    first[0] = 10, first[1] = 20, first[2] = 30, first[3] = 255;
    std::int32_t alpha = 0;
    EXPECT_EQ(dib.GetPixel(0, 2, alpha, false), 30 | (20 << 8) | (10 << 16));
    EXPECT_EQ(alpha, 255);
    EXPECT_EQ(dib.GetPixel(0, 0, alpha, false), 0);
    EXPECT_EQ(alpha, 0);
}

TEST(SurfaceGetPixel, ColourAboveAlphaClampsWithoutSpillingIntoNextChannel) {
    c32bppDIB dib;
    ASSERT_TRUE(dib.InitializeDIB(1, 1));
    putPixel(dib, 0, 0, 200, 0, 0, 100);  // blue 200 > alpha 100: 510 unclamped
    std::int32_t alpha = 0;
    EXPECT_EQ(dib.GetPixel(0, 0, alpha, false), 255 << 16);
    putPixel(dib, 0, 0, 0, 0, 250, 1);  // red would become 63750
    EXPECT_EQ(dib.GetPixel(0, 0, alpha, false), 255);
}

TEST(SurfaceGetPixel, OpaqueAndTransparentPixelsAreReturnedAsStored) {
    c32bppDIB dib;
    ASSERT_TRUE(dib.InitializeDIB(2, 1));
    putPixel(dib, 0, 0, 7, 8, 9, 255);
    putPixel(dib, 1, 0, 7, 8, 9, 0);  // malformed, but read as it is
    std::int32_t alpha = 0;
    EXPECT_EQ(dib.GetPixel(0, 0, alpha, false), 9 | (8 << 8) | (7 << 16));
    EXPECT_EQ(dib.GetPixel(1, 0, alpha, false), 9 | (8 << 8) | (7 << 16));
    EXPECT_EQ(alpha, 0);
}

TEST(SurfaceGetPixel, OutsideTheImageAnswersMinusOneAndZeroAlpha) {
    c32bppDIB dib;
    ASSERT_TRUE(dib.InitializeDIB(4, 3));
    putPixel(dib, 3, 2, 255, 255, 255, 255);
    const std::pair<int, int> outside[] = {{4, 0}, {-1, 0}, {0, 3}, {0, -1}};
    for (auto [x, y] : outside) {
        std::int32_t alpha = 77;
        EXPECT_EQ(dib.GetPixel(x, y, alpha, true), -1) << x << "," << y;
        EXPECT_EQ(alpha, 0);
    }
    c32bppDIB empty;
    std::int32_t alpha = 77;
    EXPECT_EQ(empty.GetPixel(0, 0, alpha, false), -1);
    EXPECT_EQ(alpha, 0);
}

// ---- Capabilities -------------------------------------------------------------------------

TEST(SurfaceCapabilities, FlagsFollowTheSystemFamilyAndVersion) {
    using platform::SystemVersion;
    EXPECT_EQ(surfaceCapabilityFlags(SystemVersion{1, 4, 10, 0}), 24u);  // consumer, later
    EXPECT_EQ(surfaceCapabilityFlags(SystemVersion{1, 4, 0, 0}), 32u);   // consumer, first
    EXPECT_EQ(surfaceCapabilityFlags(SystemVersion{2, 5, 0, 0}), 9u);
    EXPECT_EQ(surfaceCapabilityFlags(SystemVersion{2, 6, 1, 1}), 9u);
    EXPECT_EQ(surfaceCapabilityFlags(SystemVersion{2, 4, 0, 5}), 32u);
    EXPECT_EQ(surfaceCapabilityFlags(SystemVersion{2, 4, 0, 6}), 0u);
}

TEST(SurfaceCapabilities, ThisPlatformIsAlphaBlendFriendlyWithTheImagingBridge) {
    if (!bridge::backendAvailable()) GTEST_SKIP() << "this build has no imaging backend";
    c32bppDIB dib;
    EXPECT_EQ(dib.capabilityFlags(), 11u);
    EXPECT_TRUE(dib.isAlphaBlendFriendly());
    EXPECT_TRUE(dib.isGDIplusEnabled());
    EXPECT_TRUE(dib.HighQualityInterpolation());  // turned on with the imaging library
    dib.setAlphaBlendFriendly(false);
    EXPECT_FALSE(dib.isAlphaBlendFriendly());
    dib.setAlphaBlendFriendly(true);
    EXPECT_TRUE(dib.isAlphaBlendFriendly());
    dib.setGDIplusEnabled(false);
    EXPECT_FALSE(dib.isGDIplusEnabled());
    // Without the bridge's libraries a surface starts as before: no imaging library.
    const bridge::ScopedBackendAbsent absent;
    c32bppDIB plain;
    EXPECT_EQ(plain.capabilityFlags(), 9u);
    EXPECT_FALSE(plain.isGDIplusEnabled());
    EXPECT_FALSE(plain.HighQualityInterpolation());
}

TEST(SurfaceCapabilities, AlphaBlendFriendlyNeedsAUsableBlend) {
    c32bppDIB dib(platform::SystemVersion{1, 4, 0, 0});
    EXPECT_EQ(dib.capabilityFlags(), 32u);
    dib.setAlphaBlendFriendly(true);
    EXPECT_FALSE(dib.isAlphaBlendFriendly());
    dib.setGDIplusEnabled(true);  // barred on this system
    EXPECT_FALSE(dib.isGDIplusEnabled());
    EXPECT_EQ(dib.capabilityFlags(), 32u);
}

TEST(SurfaceCapabilities, ZlibFlagFollowsTheCompressionSwitch) {
    c32bppDIB dib;
    compression::setForcedAbsent(true);
    EXPECT_FALSE(dib.isZlibEnabled());
    compression::setForcedAbsent(false);
    EXPECT_TRUE(dib.isZlibEnabled());
}

// ---- Kept source bytes --------------------------------------------------------------------

TEST(SurfaceSourceBytes, CopyFormIsIndependentOfTheCaller) {
    c32bppDIB dib;
    std::vector<std::uint8_t> bytes{1, 2, 3, 4};
    SurfaceInternals::setSourceBytes(dib, std::span<const std::uint8_t>(bytes));
    bytes[0] = 99;
    EXPECT_EQ(dib.sourceBytes(), (std::vector<std::uint8_t>{1, 2, 3, 4}));

    std::vector<std::uint8_t> moved{5, 6};
    SurfaceInternals::setSourceBytes(dib, std::move(moved));
    EXPECT_EQ(dib.sourceBytes(), (std::vector<std::uint8_t>{5, 6}));
    dib.DestroyDIB();  // no image: the kept bytes stay
    EXPECT_EQ(dib.sourceBytes().size(), 2u);
}

// ---- Device-context bookkeeping ------------------------------------------------------------

TEST(SurfaceDeviceContext, LoadWithoutImageAnswersNull) {
    c32bppDIB dib;
    EXPECT_EQ(dib.LoadDIBinDC(true), nullptr);
    EXPECT_EQ(dib.LoadDIBinDC(false), nullptr);
}

TEST(SurfaceDeviceContext, LoadingTwiceSelectsOnceAndUnloadRestores) {
    c32bppDIB dib;
    dib.setManageOwnDC(true);  // keep the context so its selection can be inspected afterwards
    ASSERT_TRUE(dib.InitializeDIB(3, 2));
    platform::DeviceContext* dc = dib.LoadDIBinDC(true);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(&dc->surface(), dib.Handle());
    EXPECT_EQ(dib.Handle()->selectedInto(), dc);
    EXPECT_EQ(dib.LoadDIBinDC(true), dc);
    EXPECT_EQ(dib.LoadDIBinDC(false), nullptr);
    // Had the second call selected again, the image itself would have been "restored".
    EXPECT_EQ(dib.Handle()->selectedInto(), nullptr);
    EXPECT_TRUE(dc->hasStockSelected());
    EXPECT_EQ(dib.LoadDIBinDC(true), dc);  // the managed context survives
}

TEST(SurfaceDeviceContext, UnmanagedContextLivesOnlyWhileLoaded) {
    c32bppDIB dib;
    ASSERT_TRUE(dib.InitializeDIB(2, 2));
    ASSERT_NE(dib.LoadDIBinDC(true), nullptr);
    dib.LoadDIBinDC(false);
    EXPECT_EQ(dib.Handle()->selectedInto(), nullptr);
    // A fresh context can select the image again.
    platform::DeviceContext* dc = dib.LoadDIBinDC(true);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(dib.Handle()->selectedInto(), dc);
}

TEST(SurfaceDeviceContext, DroppingManagementReleasesTheSelection) {
    c32bppDIB dib;
    ASSERT_TRUE(dib.InitializeDIB(2, 2));
    dib.setManageOwnDC(true);
    EXPECT_TRUE(dib.ManageOwnDC());
    ASSERT_NE(dib.LoadDIBinDC(true), nullptr);
    dib.setManageOwnDC(false);
    EXPECT_FALSE(dib.ManageOwnDC());
    EXPECT_EQ(dib.Handle()->selectedInto(), nullptr);
    // Loading again works with a new context.
    ASSERT_NE(dib.LoadDIBinDC(true), nullptr);
    EXPECT_NE(dib.Handle()->selectedInto(), nullptr);
}

TEST(SurfaceDeviceContext, DestroyAndRecreateWhileSelected) {
    c32bppDIB dib;
    dib.setManageOwnDC(true);
    ASSERT_TRUE(dib.InitializeDIB(2, 2));
    ASSERT_NE(dib.LoadDIBinDC(true), nullptr);
    // Recreating destroys the selected image first; the sanitizer build catches any use of
    // the freed bitmap or context.
    ASSERT_TRUE(dib.InitializeDIB(5, 4));
    platform::DeviceContext* dc = dib.LoadDIBinDC(true);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(dc->surface().width(), 5);
    dib.DestroyDIB();
    EXPECT_EQ(dib.LoadDIBinDC(true), nullptr);
}

TEST(SurfaceDeviceContext, ImageAlreadySelectedElsewhereCannotBeLoaded) {
    c32bppDIB dib;
    ASSERT_TRUE(dib.InitializeDIB(2, 2));
    auto other = platform::DeviceContext::createCompatible();
    ASSERT_NE(other, nullptr);
    platform::Bitmap* previous = other->select(dib.Handle());
    ASSERT_NE(previous, nullptr);
    EXPECT_EQ(dib.LoadDIBinDC(true), nullptr);
    other->select(previous);
    EXPECT_NE(dib.LoadDIBinDC(true), nullptr);
}

}  // namespace
}  // namespace talvrin
