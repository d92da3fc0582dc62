// Unscaled alpha blend of a 2048 x 2048 premultiplied image onto a 32-bit context, at opacity
// 255 and 128, against pixman's OVER compositing (with a solid mask for the opacity case) on the
// same pixels. Both use the same rounding, so the results are also compared byte for byte.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"
#include "platform/gdi/gdi.h"

namespace {

using talvrin::platform::Bitmap;
using talvrin::platform::DeviceContext;

constexpr int kSide = 2048;
constexpr double kPixels = double{kSide} * kSide;

// Premultiplied pixels: a quarter transparent, a quarter opaque, the rest translucent, mixed
// pixel by pixel (the hard case: no long runs for fast paths to skip).
void fillSource(Bitmap& b) {
    std::mt19937 rng(2048);
    auto* p = b.bits();
    for (std::size_t i = 0; i < b.byteCount(); i += 4) {
        const unsigned kind = rng() % 4;
        const unsigned a = kind == 0 ? 0 : kind == 1 ? 255 : rng() % 256;
        for (int c = 0; c < 3; ++c)
            p[i + c] = static_cast<std::uint8_t>(a ? rng() % (a + 1) : 0);
        p[i + 3] = static_cast<std::uint8_t>(a);
    }
}

void fillBackground(Bitmap& b) {
    std::mt19937 rng(7);
    auto* p = b.bits();
    for (std::size_t i = 0; i < b.byteCount(); i += 4) {
        p[i] = static_cast<std::uint8_t>(rng());
        p[i + 1] = static_cast<std::uint8_t>(rng());
        p[i + 2] = static_cast<std::uint8_t>(rng());
        p[i + 3] = 255;
    }
}

struct Pixels {
    std::unique_ptr<Bitmap> src = Bitmap::create(kSide, kSide, 32);
    std::unique_ptr<Bitmap> dst = Bitmap::create(kSide, kSide, 32);
    std::unique_ptr<DeviceContext> srcDc = DeviceContext::createCompatible();
    std::unique_ptr<DeviceContext> dstDc = DeviceContext::createCompatible();
    Pixels() {
        fillSource(*src);
        fillBackground(*dst);
        srcDc->select(src.get());
        dstDc->select(dst.get());
    }
};

Pixels& pixels() {
    static Pixels p;
    return p;
}

pixman_image_t* wrap(Bitmap& b) {
    return pixman_image_create_bits(PIXMAN_a8r8g8b8, b.width(), b.height(),
                                    reinterpret_cast<std::uint32_t*>(b.bits()), b.stride());
}

void ourBlend(std::uint8_t opacity) {
    Pixels& p = pixels();
    talvrin::platform::AlphaBlend(*p.dstDc, 0, 0, kSide, kSide, *p.srcDc, 0, 0, kSide, kSide,
                                  {opacity, true});
}

void pixmanBlend(pixman_image_t* src, pixman_image_t* mask, pixman_image_t* dst) {
    pixman_image_composite32(PIXMAN_OP_OVER, src, mask, dst, 0, 0, 0, 0, 0, 0, kSide, kSide);
}

pixman_image_t* solidMask(std::uint8_t opacity) {
    const pixman_color_t c{0, 0, 0, static_cast<std::uint16_t>(opacity * 257)};
    return pixman_image_create_solid_fill(&c);
}

void report(benchmark::State& state) {
    state.counters["MP/s"] = benchmark::Counter(
        kPixels * static_cast<double>(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

void BM_AlphaBlend_2048_Opacity255(benchmark::State& state) {
    for (auto _ : state)
        ourBlend(255);
    report(state);
}
void BM_Pixman_Over_2048(benchmark::State& state) {
    Pixels& p = pixels();
    pixman_image_t* s = wrap(*p.src);
    pixman_image_t* d = wrap(*p.dst);
    for (auto _ : state)
        pixmanBlend(s, nullptr, d);
    pixman_image_unref(s);
    pixman_image_unref(d);
    report(state);
}
void BM_AlphaBlend_2048_Opacity128(benchmark::State& state) {
    for (auto _ : state)
        ourBlend(128);
    report(state);
}
void BM_Pixman_OverSolidMask128_2048(benchmark::State& state) {
    Pixels& p = pixels();
    pixman_image_t* s = wrap(*p.src);
    pixman_image_t* m = solidMask(128);
    pixman_image_t* d = wrap(*p.dst);
    for (auto _ : state)
        pixmanBlend(s, m, d);
    pixman_image_unref(s);
    pixman_image_unref(m);
    pixman_image_unref(d);
    report(state);
}

BENCHMARK(BM_AlphaBlend_2048_Opacity255)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pixman_Over_2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AlphaBlend_2048_Opacity128)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pixman_OverSolidMask128_2048)->Unit(benchmark::kMillisecond);

// Blends the image once with each library onto copies of the background and compares them.
bool sameAsPixman(std::uint8_t opacity) {
    Pixels& p = pixels();
    auto ours = Bitmap::create(kSide, kSide, 32);
    auto theirs = Bitmap::create(kSide, kSide, 32);
    fillBackground(*ours);
    fillBackground(*theirs);
    auto dc = DeviceContext::createCompatible();
    dc->select(ours.get());
    talvrin::platform::AlphaBlend(*dc, 0, 0, kSide, kSide, *p.srcDc, 0, 0, kSide, kSide,
                                  {opacity, true});
    pixman_image_t* s = wrap(*p.src);
    pixman_image_t* m = opacity == 255 ? nullptr : solidMask(opacity);
    pixman_image_t* d = wrap(*theirs);
    pixmanBlend(s, m, d);
    pixman_image_unref(s);
    if (m) pixman_image_unref(m);
    pixman_image_unref(d);
    return std::memcmp(ours->bits(), theirs->bits(), ours->byteCount()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::printf("identical to pixman: opacity 255 %s, opacity 128 %s\n",
                sameAsPixman(255) ? "yes" : "NO", sameAsPixman(128) ? "yes" : "NO");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
