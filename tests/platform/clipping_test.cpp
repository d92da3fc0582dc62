// Every drawing call, given arbitrary and extreme rectangle arguments, writes only inside the
// destination's clip box (and never outside a buffer: the sanitizer build checks that part).
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "drawing_test_support.h"
#include "platform/device_context.h"
#include "platform/gdi.h"

namespace talvrin::platform {
namespace {

constexpr std::array<std::int32_t, 13> kValues = {
    INT32_MIN, INT32_MIN + 1, -1000, -7, -1, 0, 1, 2, 3, 5, 1000, INT32_MAX - 1, INT32_MAX};

TEST(AllCallsStayInsideTheClipBox, ExtremeArgumentsOnEveryCall) {
    std::mt19937 rng(8080);
    auto pick = [&] {
        return rng() % 3 == 0 ? static_cast<std::int32_t>(rng() % 9) - 2
                              : kValues[rng() % kValues.size()];
    };
    auto src = Bitmap::create(5, 4, 32);
    auto src24 = Bitmap::create(5, 4, 24);
    testing::fillPremultiplied(*src, rng);
    testing::fillRandom(*src24, rng);
    auto sdc = DeviceContext::createCompatible();
    auto sdc24 = DeviceContext::createCompatible();
    sdc->select(src.get());
    sdc24->select(src24.get());
    std::vector<std::uint8_t> caller(5 * 4 * 4);
    for (auto& b : caller)
        b = static_cast<std::uint8_t>(rng());
    const auto brush = createSolidBrush(rgb(1, 2, 3));

    for (const int bpp : {32, 24}) {
        auto dst = Bitmap::create(7, 6, bpp);
        auto ddc = DeviceContext::createCompatible();
        ddc->select(dst.get());
        const Rect clip{1, 2, 5, 5};
        ddc->setClipRect(clip);
        const int bytes = bpp / 8;
        for (int round = 0; round < 6000; ++round) {
            std::memset(dst->bits(), 0xA5, dst->byteCount());
            const std::int32_t a = pick(), b = pick(), c = pick(), d = pick();
            const std::int32_t e = pick(), f = pick(), g = pick(), h = pick();
            const DeviceContext& from = rng() % 2 ? *sdc : *sdc24;
            switch (round % 7) {
                case 0:
                    BitBlt(*ddc, a, b, c, d, from, e, f);
                    break;
                case 1:
                    StretchBlt(*ddc, a, b, c, d, from, e, f, g, h);
                    break;
                case 2:
                    AlphaBlend(*ddc, a, b, c, d, *sdc, e, f, g, h, {200, true});
                    break;
                case 3:
                    AlphaBlend(*ddc, a, b, c, d, from, e, f, g, h, {77, false});
                    break;
                case 4:
                    TransparentBlt(*ddc, a, b, c, d, from, e, f, g, h, 0);
                    break;
                case 5:
                    SetDIBitsToDevice(*ddc, a, b, c, d, e, f, caller,
                                      DibFormat{5, rng() % 2 ? 4 : -4, 32});
                    break;
                default:
                    FillRect(*ddc, Rect{a, b, c, d}, brush.get());
                    break;
            }
            for (int y = 0; y < dst->height(); ++y)
                for (int x = 0; x < dst->width(); ++x) {
                    if (clip.contains(x, y)) continue;
                    const std::uint8_t* p = dst->rowFromTop(y) + bytes * x;
                    for (int k = 0; k < bytes; ++k)
                        ASSERT_EQ(p[k], 0xA5) << "call " << round % 7 << " args " << a << " " << b
                                              << " " << c << " " << d << " " << e << " " << f << " "
                                              << g << " " << h << " pixel " << x << "," << y;
                }
        }
    }
}

}  // namespace
}  // namespace talvrin::platform
