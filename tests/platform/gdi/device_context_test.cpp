// Bitmap creation, selection bookkeeping, clip boxes, the screen context and screen facts.
#include <gtest/gtest.h>

#include "platform/gdi/gdi.h"
#include "platform/gdi/screen.h"
#include "support/drawing_test_support.h"

namespace talvrin::platform {
namespace {

TEST(BitmapCreation, StridesZeroFillAndRowOrder) {
    auto b32 = Bitmap::create(5, 3, 32);
    auto b24 = Bitmap::create(5, 3, 24);
    ASSERT_TRUE(b32 && b24);
    EXPECT_EQ(b32->stride(), 20);
    EXPECT_EQ(b24->stride(), 16);  // 15 bytes padded to 4
    EXPECT_EQ(b24->byteCount(), 48u);
    for (std::size_t i = 0; i < b24->byteCount(); ++i)
        ASSERT_EQ(b24->bits()[i], 0);
    EXPECT_EQ(b32->rowFromTop(0), b32->bits() + 40);  // the top row is last in memory
}

TEST(BitmapCreation, InvalidOrOverflowingSizesFail) {
    for (auto [w, h, bpp] : {std::tuple{0, 5, 32},
                             {5, 0, 32},
                             {-5, 5, 32},
                             {5, -5, 24},
                             {5, 5, 16},
                             {46341, 46341, 32},
                             {32768, 16384, 32},  // exactly 2^31 bytes
                             {INT32_MAX, 1, 32},
                             {1, INT32_MAX, 24},
                             {INT32_MAX, INT32_MAX, 24}})
        EXPECT_FALSE(Bitmap::create(w, h, bpp)) << w << "x" << h << "x" << bpp;
    EXPECT_EQ(dibStride(33, 1), 8);
    EXPECT_EQ(dibStride(INT32_MAX, 1), 268435456);
    EXPECT_FALSE(dibStride(INT32_MAX, 32));
}

TEST(DeviceContextSelection, PreviousObjectIsGivenBack) {
    auto dc = DeviceContext::createCompatible();
    ASSERT_TRUE(dc && dc->hasStockSelected());
    Bitmap* stock = &dc->surface();
    auto a = Bitmap::create(4, 4, 32), b = Bitmap::create(2, 2, 32);
    EXPECT_EQ(dc->select(a.get()), stock);
    EXPECT_EQ(a->selectedInto(), dc.get());
    EXPECT_EQ(dc->select(b.get()), a.get());
    EXPECT_EQ(a->selectedInto(), nullptr);
    EXPECT_EQ(dc->select(b.get()), b.get());  // already selected: nothing changes
    EXPECT_EQ(dc->select(stock), b.get());    // the stock bitmap back releases the selection
    EXPECT_EQ(b->selectedInto(), nullptr);
    EXPECT_TRUE(dc->hasStockSelected());
}

TEST(DeviceContextSelection, OneContextPerBitmapAndInvalidSelections) {
    auto first = DeviceContext::createCompatible(), second = DeviceContext::createCompatible();
    auto bmp = Bitmap::create(3, 3, 32);
    ASSERT_NE(first->select(bmp.get()), nullptr);
    EXPECT_EQ(second->select(bmp.get()), nullptr);
    EXPECT_EQ(first->select(&second->surface()), bmp.get());  // stock is shared between contexts
    EXPECT_EQ(second->select(bmp.get())->isStock(), true);
    EXPECT_EQ(second->select(nullptr), nullptr);
    EXPECT_EQ(DeviceContext::screen().select(bmp.get()), nullptr);
    EXPECT_EQ(first->select(&DeviceContext::screen().surface()), nullptr);
}

TEST(DeviceContextSelection, DestroyingEitherSideLeavesNoDanglingSelection) {
    auto dc = DeviceContext::createCompatible();
    {
        auto bmp = Bitmap::create(8, 8, 32);
        dc->select(bmp.get());
    }
    EXPECT_TRUE(dc->hasStockSelected());
    EXPECT_TRUE(FillRect(*dc, Rect{0, 0, 100, 100}, createSolidBrush(0).get()));  // on the stock
    auto bmp = Bitmap::create(8, 8, 32);
    {
        auto other = DeviceContext::createCompatible();
        other->select(bmp.get());
    }
    EXPECT_EQ(bmp->selectedInto(), nullptr);
    EXPECT_NE(dc->select(bmp.get()), nullptr);
}

TEST(DeviceContextState, ClipBoxStretchModeAndScreen) {
    testing::Target t(10, 6);
    EXPECT_EQ(t.dc->clipBox(), (Rect{0, 0, 10, 6}));
    t.dc->setClipRect(Rect{-5, 2, 4, 100});
    EXPECT_EQ(t.dc->clipBox(), (Rect{0, 2, 4, 6}));
    t.dc->setClipRect(Rect{20, 20, 30, 30});
    EXPECT_TRUE(t.dc->clipBox().isEmpty());
    const auto before = t.dc->setStretchMode(StretchMode::HalfTone);
    ASSERT_TRUE(before);
    EXPECT_EQ(t.dc->setStretchMode(*before), StretchMode::HalfTone);
    EXPECT_FALSE(t.dc->setStretchMode(static_cast<StretchMode>(9)));
    EXPECT_EQ(t.dc->stretchMode(), *before);

    const std::int32_t w = screenWidth(), h = screenHeight();
    ASSERT_TRUE(setScreenSize(64, 48));
    EXPECT_EQ(DeviceContext::screen().clipBox(), (Rect{0, 0, 64, 48}));
    EXPECT_FALSE(setScreenSize(0, 48));
    ASSERT_TRUE(setScreenSize(w, h));
    EXPECT_EQ(DeviceContext::screen().surface().height(), h);
}

TEST(ScreenFacts, ResolutionDefaultsAndSystemColours) {
    EXPECT_EQ(dotsPerInchX(), 96);
    EXPECT_EQ(twipsPerPixelY(), 15);
    EXPECT_FALSE(setDotsPerInch(0, 96));
    EXPECT_FALSE(setTwipsPerPixel(15, -1));

    EXPECT_EQ(translateColor(0x8000000Fu), rgb(212, 208, 200));  // 3D face
    EXPECT_EQ(translateColor(0x80000005u), rgb(255, 255, 255));  // window
    EXPECT_EQ(translateColor(0x8000000Du), rgb(10, 36, 106));    // highlight
    EXPECT_EQ(translateColor(0x8000FF0Fu), rgb(212, 208, 200));  // only the low byte counts
    EXPECT_EQ(translateColor(0x800000FFu), 0u);                  // no such index
    EXPECT_EQ(translateColor(0x7F123456u), 0x7F123456u);         // not a system colour
    EXPECT_TRUE(setSystemColor(kColorBtnFace, 0xFF112233u));
    EXPECT_EQ(createSolidBrush(0x8000000Fu)->color(), 0x00112233u);
    EXPECT_EQ(Brush(0x8000000Fu).color(), 0x00112233u);
    EXPECT_FALSE(setSystemColor(kSystemColorCount, 0));
    resetSystemColors();
    EXPECT_EQ(systemColor(kColorBtnFace), rgb(212, 208, 200));
}

}  // namespace
}  // namespace talvrin::platform
