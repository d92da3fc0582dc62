// Every drawing call, given arbitrary and extreme rectangle arguments, writes only inside the
// destination's clip box (the sanitizer build checks that nothing leaves a buffer either).
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "platform/gdi/gdi.h"
#include "support/drawing_test_support.h"

namespace talvrin::platform {
namespace {

TEST(AllCallsStayInsideTheClipBox, ExtremeArgumentsOnEveryCall) {
    constexpr std::array<std::int32_t, 9> kExtremes = {INT32_MIN, INT32_MIN + 1, -1000,     -1, 0,
                                                       1000,      INT32_MAX - 1, INT32_MAX, 7};
    std::mt19937 rng(8080);
    auto pick = [&] {
        return rng() % 2 ? static_cast<std::int32_t>(rng() % 9) - 2 : kExtremes[rng() % 9];
    };
    testing::Target src(5, 4), src24(5, 4, 24);
    testing::fillPremultiplied(*src.bitmap, rng);
    testing::fillRandom(*src24.bitmap, rng);
    std::vector<std::uint8_t> caller(5 * 4 * 4, 0x3C);
    const auto brush = createSolidBrush(rgb(1, 2, 3));
    const Rect clip{1, 2, 5, 5};
    for (const int bpp : {32, 24}) {
        testing::Target dst(7, 6, bpp);
        dst.dc->setClipRect(clip);
        for (int round = 0; round < 7000; ++round) {
            std::memset(dst.bitmap->bits(), 0xA5, dst.bitmap->byteCount());
            const std::int32_t a = pick(), b = pick(), c = pick(), d = pick(), e = pick(),
                               f = pick(), g = pick(), h = pick();
            DeviceContext& to = *dst.dc;
            const DeviceContext& from = rng() % 2 ? *src.dc : *src24.dc;
            switch (round % 7) {
                case 0:
                    BitBlt(to, a, b, c, d, from, e, f);
                    break;
                case 1:
                    StretchBlt(to, a, b, c, d, from, e, f, g, h);
                    break;
                case 2:
                    AlphaBlend(to, a, b, c, d, *src.dc, e, f, g, h, {200, true});
                    break;
                case 3:
                    AlphaBlend(to, a, b, c, d, from, e, f, g, h, {77, false});
                    break;
                case 4:
                    TransparentBlt(to, a, b, c, d, from, e, f, g, h, 0);
                    break;
                case 5:
                    SetDIBitsToDevice(to, a, b, c, d, e, f, caller,
                                      DibFormat{5, rng() % 2 ? 4 : -4, 32});
                    break;
                default:
                    FillRect(to, Rect{a, b, c, d}, brush.get());
                    break;
            }
            for (int y = 0; y < 6; ++y)
                for (int x = 0; x < 7; ++x)
                    for (int k = 0; k < bpp / 8 && !clip.contains(x, y); ++k)
                        ASSERT_EQ(dst.bitmap->rowFromTop(y)[bpp / 8 * x + k], 0xA5)
                            << "call " << round % 7 << " args " << a << " " << b << " " << c << " "
                            << d << " " << e << " " << f << " " << g << " " << h;
        }
    }
}

}  // namespace
}  // namespace talvrin::platform
