// AlphaBlend against pixman's OVER compositing (a solid mask carries the constant opacity): an
// independent implementation of the same premultiplied rule with the same rounding.
#include <gtest/gtest.h>
#include <pixman.h>

#include <cstring>
#include <random>

#include "drawing_test_support.h"
#include "platform/device_context.h"
#include "platform/gdi.h"

namespace talvrin::platform {
namespace {

TEST(AlphaBlendMatchesPixman, EveryOpacityOnRandomPremultipliedPixels) {
    constexpr int kW = 67, kH = 5;
    std::mt19937 rng(314);
    auto src = Bitmap::create(kW, kH, 32);
    auto ours = Bitmap::create(kW, kH, 32);
    auto theirs = Bitmap::create(kW, kH, 32);
    auto sdc = DeviceContext::createCompatible();
    auto ddc = DeviceContext::createCompatible();
    sdc->select(src.get());
    ddc->select(ours.get());
    for (int opacity = 0; opacity < 256; ++opacity) {
        testing::fillPremultiplied(*src, rng);
        testing::fillRandom(*ours, rng);
        std::memcpy(theirs->bits(), ours->bits(), ours->byteCount());

        ASSERT_TRUE(AlphaBlend(*ddc, 0, 0, kW, kH, *sdc, 0, 0, kW, kH,
                               {static_cast<std::uint8_t>(opacity), true}));
        pixman_image_t* s = pixman_image_create_bits(
            PIXMAN_a8r8g8b8, kW, kH, reinterpret_cast<std::uint32_t*>(src->bits()), src->stride());
        pixman_image_t* d = pixman_image_create_bits(
            PIXMAN_a8r8g8b8, kW, kH, reinterpret_cast<std::uint32_t*>(theirs->bits()),
            theirs->stride());
        const pixman_color_t c{0, 0, 0, static_cast<std::uint16_t>(opacity * 257)};
        pixman_image_t* m = pixman_image_create_solid_fill(&c);
        pixman_image_composite32(PIXMAN_OP_OVER, s, m, d, 0, 0, 0, 0, 0, 0, kW, kH);
        pixman_image_unref(s);
        pixman_image_unref(m);
        pixman_image_unref(d);
        ASSERT_EQ(std::memcmp(ours->bits(), theirs->bits(), ours->byteCount()), 0)
            << "opacity " << opacity;
    }
}

}  // namespace
}  // namespace talvrin::platform
