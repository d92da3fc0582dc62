// Bitmap creation, selection bookkeeping of device contexts, clip boxes, the screen context and
// the screen facts (resolution, system colours).
#include "platform/device_context.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "drawing_test_support.h"
#include "platform/bitmap.h"
#include "platform/gdi.h"
#include "platform/screen.h"

namespace talvrin::platform {
namespace {

TEST(BitmapCreation, SizesStridesAndZeroFill) {
    auto b32 = Bitmap::create(5, 3, 32);
    ASSERT_TRUE(b32);
    EXPECT_EQ(b32->stride(), 20);
    EXPECT_EQ(b32->byteCount(), 60u);
    auto b24 = Bitmap::create(5, 3, 24);
    ASSERT_TRUE(b24);
    EXPECT_EQ(b24->stride(), 16);  // 15 bytes padded to 4
    EXPECT_EQ(b24->byteCount(), 48u);
    for (std::size_t i = 0; i < b24->byteCount(); ++i)
        ASSERT_EQ(b24->bits()[i], 0);
    // Row 0 from the top is the last row in memory.
    EXPECT_EQ(b32->rowFromTop(0), b32->bits() + 40);
    EXPECT_EQ(b32->rowFromTop(2), b32->bits());
}

TEST(BitmapCreation, InvalidOrOverflowingSizesFail) {
    EXPECT_FALSE(Bitmap::create(0, 5, 32));
    EXPECT_FALSE(Bitmap::create(5, 0, 32));
    EXPECT_FALSE(Bitmap::create(-5, 5, 32));
    EXPECT_FALSE(Bitmap::create(5, -5, 32));
    EXPECT_FALSE(Bitmap::create(5, 5, 16));
    EXPECT_FALSE(Bitmap::create(5, 5, 0));
    // 46341 * 46341 * 4 exceeds the signed 32-bit range; 32768 * 16384 * 4 is exactly 2^31.
    EXPECT_FALSE(Bitmap::create(46341, 46341, 32));
    EXPECT_FALSE(Bitmap::create(32768, 16384, 32));
    EXPECT_FALSE(Bitmap::create(INT32_MAX, 1, 32));
    EXPECT_FALSE(Bitmap::create(1, INT32_MAX, 24));
    EXPECT_FALSE(Bitmap::create(INT32_MAX, INT32_MAX, 24));
}

TEST(BitmapCreation, DibStrideRoundsToWords) {
    EXPECT_EQ(dibStride(1, 1), 4);
    EXPECT_EQ(dibStride(33, 1), 8);
    EXPECT_EQ(dibStride(3, 8), 4);
    EXPECT_EQ(dibStride(5, 8), 8);
    EXPECT_EQ(dibStride(3, 24), 12);
    EXPECT_EQ(dibStride(1, 24), 4);
    EXPECT_FALSE(dibStride(0, 32));
    EXPECT_FALSE(dibStride(10, 12));
    EXPECT_FALSE(dibStride(INT32_MAX, 32));
    EXPECT_EQ(dibStride(INT32_MAX, 1), 268435456);
}

TEST(DeviceContextSelection, PreviousObjectIsGivenBack) {
    auto dc = DeviceContext::createCompatible();
    ASSERT_TRUE(dc);
    EXPECT_TRUE(dc->hasStockSelected());
    Bitmap* stock = &dc->surface();
    EXPECT_EQ(stock->width(), 1);

    auto a = Bitmap::create(4, 4, 32);
    auto b = Bitmap::create(2, 2, 32);
    EXPECT_EQ(dc->select(a.get()), stock);
    EXPECT_EQ(a->selectedInto(), dc.get());
    EXPECT_EQ(&dc->surface(), a.get());
    EXPECT_EQ(dc->select(b.get()), a.get());
    EXPECT_EQ(a->selectedInto(), nullptr);
    EXPECT_EQ(dc->select(b.get()), b.get());  // already selected: given back, nothing changes
    EXPECT_EQ(dc->select(stock), b.get());    // the stock bitmap back releases the selection
    EXPECT_EQ(b->selectedInto(), nullptr);
    EXPECT_TRUE(dc->hasStockSelected());
}

TEST(DeviceContextSelection, ABitmapLivesInOneContextAtATime) {
    auto first = DeviceContext::createCompatible();
    auto second = DeviceContext::createCompatible();
    auto bmp = Bitmap::create(3, 3, 32);
    ASSERT_NE(first->select(bmp.get()), nullptr);
    EXPECT_EQ(second->select(bmp.get()), nullptr);
    EXPECT_TRUE(second->hasStockSelected());
    // The stock bitmap given back by one context may be selected into another.
    Bitmap* stock = first->select(&second->surface());
    EXPECT_EQ(stock, bmp.get());
    EXPECT_NE(second->select(bmp.get()), nullptr);
    EXPECT_EQ(bmp->selectedInto(), second.get());
}

TEST(DeviceContextSelection, NullAndScreenSelectionsFail) {
    auto dc = DeviceContext::createCompatible();
    EXPECT_EQ(dc->select(nullptr), nullptr);
    auto bmp = Bitmap::create(3, 3, 32);
    EXPECT_EQ(DeviceContext::screen().select(bmp.get()), nullptr);
    EXPECT_EQ(bmp->selectedInto(), nullptr);
    // The screen raster itself cannot be taken into a memory context.
    EXPECT_EQ(dc->select(&DeviceContext::screen().surface()), nullptr);
}

TEST(DeviceContextSelection, DestroyingEitherSideLeavesNoDanglingSelection) {
    auto dc = DeviceContext::createCompatible();
    {
        auto bmp = Bitmap::create(8, 8, 32);
        dc->select(bmp.get());
    }
    EXPECT_TRUE(dc->hasStockSelected());
    auto brush = createSolidBrush(rgb(1, 2, 3));
    EXPECT_TRUE(FillRect(*dc, Rect{0, 0, 100, 100}, brush.get()));  // draws on the 1x1 stock

    auto bmp = Bitmap::create(8, 8, 32);
    {
        auto other = DeviceContext::createCompatible();
        other->select(bmp.get());
    }
    EXPECT_EQ(bmp->selectedInto(), nullptr);
    EXPECT_NE(dc->select(bmp.get()), nullptr);
}

TEST(DeviceContextState, ClipBoxAndStretchMode) {
    auto dc = DeviceContext::createCompatible();
    auto bmp = Bitmap::create(10, 6, 32);
    dc->select(bmp.get());
    EXPECT_EQ(dc->clipBox(), (Rect{0, 0, 10, 6}));
    dc->setClipRect(Rect{-5, 2, 4, 100});
    EXPECT_EQ(dc->clipBox(), (Rect{0, 2, 4, 6}));
    dc->setClipRect(Rect{20, 20, 30, 30});
    EXPECT_TRUE(dc->clipBox().isEmpty());
    dc->setClipRect(std::nullopt);
    EXPECT_EQ(dc->clipBox(), (Rect{0, 0, 10, 6}));

    const auto before = dc->setStretchMode(StretchMode::HalfTone);
    ASSERT_TRUE(before);
    EXPECT_EQ(dc->setStretchMode(*before), StretchMode::HalfTone);
    EXPECT_EQ(dc->stretchMode(), *before);
    EXPECT_FALSE(dc->setStretchMode(static_cast<StretchMode>(9)));
    EXPECT_EQ(dc->stretchMode(), *before);
}

TEST(ScreenContext, FollowsTheHostsScreenSize) {
    DeviceContext& screen = DeviceContext::screen();
    EXPECT_TRUE(screen.isScreen());
    EXPECT_EQ(screen.surface().width(), screenWidth());
    EXPECT_EQ(screen.surface().bitsPerPixel(), 32);
    const std::int32_t w = screenWidth(), h = screenHeight();
    ASSERT_TRUE(setScreenSize(64, 48));
    EXPECT_EQ(DeviceContext::screen().clipBox(), (Rect{0, 0, 64, 48}));
    EXPECT_FALSE(setScreenSize(0, 48));
    EXPECT_FALSE(setScreenSize(64, 100000));
    ASSERT_TRUE(setScreenSize(w, h));
    EXPECT_EQ(DeviceContext::screen().surface().height(), h);
    EXPECT_EQ(&DeviceContext::screen(), &screen);
}

TEST(ScreenFacts, ResolutionDefaultsAndOverrides) {
    EXPECT_EQ(dotsPerInchX(), 96);
    EXPECT_EQ(dotsPerInchY(), 96);
    EXPECT_EQ(twipsPerPixelX(), 15);
    EXPECT_EQ(twipsPerPixelY(), 15);
    EXPECT_TRUE(setDotsPerInch(120, 144));
    EXPECT_EQ(dotsPerInchY(), 144);
    EXPECT_FALSE(setDotsPerInch(0, 96));
    EXPECT_EQ(dotsPerInchX(), 120);
    EXPECT_TRUE(setTwipsPerPixel(12, 10));
    EXPECT_EQ(twipsPerPixelY(), 10);
    EXPECT_FALSE(setTwipsPerPixel(-1, 15));
    EXPECT_TRUE(setDotsPerInch(96, 96));
    EXPECT_TRUE(setTwipsPerPixel(15, 15));
}

TEST(ScreenFacts, SystemColourTranslation) {
    resetSystemColors();
    EXPECT_EQ(translateColor(0x8000000Fu), rgb(212, 208, 200));  // 3D face
    EXPECT_EQ(translateColor(0x80000005u), rgb(255, 255, 255));  // window
    EXPECT_EQ(translateColor(0x80000008u), rgb(0, 0, 0));        // window text
    EXPECT_EQ(translateColor(0x8000000Du), rgb(10, 36, 106));    // highlight
    EXPECT_EQ(translateColor(0x80000018u), rgb(255, 255, 225));  // tooltip background
    // Only the low byte names the index; indices without a colour give 0.
    EXPECT_EQ(translateColor(0x8000FF0Fu), rgb(212, 208, 200));
    EXPECT_EQ(translateColor(0x80000019u), 0u);
    EXPECT_EQ(translateColor(0x800000FFu), 0u);
    // Values without the high bit pass through untouched.
    EXPECT_EQ(translateColor(0x00123456u), 0x00123456u);
    EXPECT_EQ(translateColor(0x7F000001u), 0x7F000001u);

    EXPECT_TRUE(setSystemColor(kColorBtnFace, 0xFF112233u));
    EXPECT_EQ(translateColor(0x8000000Fu), 0x00112233u);
    EXPECT_EQ(createSolidBrush(0x8000000Fu)->color(), 0x00112233u);
    EXPECT_FALSE(setSystemColor(kSystemColorCount, 0));
    EXPECT_FALSE(setSystemColor(-1, 0));
    resetSystemColors();
    EXPECT_EQ(systemColor(kColorBtnFace), rgb(212, 208, 200));
}

}  // namespace
}  // namespace talvrin::platform
