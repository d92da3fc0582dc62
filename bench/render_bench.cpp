// Render engine against pixman in one run: bilinear scaling into a host surface, unscaled
// blending at opacity 128 onto a 24-bit device context and a host surface, bilinear rotation by
// 30 degrees, and the drop shadow at three blur depths. Throughput is in megapixels of output
// a second; compare the ratios, not the absolute figures.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "image/surface/c32bpp_dib.h"
#include "image/surface/engine.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"

namespace {

using namespace talvrin;

// Premultiplied pixels with every kind of alpha (a quarter opaque, an eighth transparent).
std::unique_ptr<c32bppDIB> randomSurface(int w, int h, std::uint32_t seed) {
    auto dib = std::make_unique<c32bppDIB>();
    dib->InitializeDIB(w, h);
    std::mt19937 rng(seed);
    std::uint8_t* p = dib->BitsPointer();
    for (std::size_t i = 0; i < static_cast<std::size_t>(w) * h; ++i, p += 4) {
        const std::uint32_t pick = rng() % 8;
        const std::uint32_t a = pick < 2 ? 255 : pick == 2 ? 0 : rng() % 256;
        for (int c = 0; c < 3; ++c)
            p[c] = static_cast<std::uint8_t>(a ? rng() % (a + 1) : 0);
        p[3] = static_cast<std::uint8_t>(a);
    }
    return dib;
}

ConstPixelView viewOf(const c32bppDIB& d) {
    return {d.BitsPointer(), d.Width(), d.Height()};
}
PixelView mutableViewOf(const c32bppDIB& d) {
    return {d.BitsPointer(), d.Width(), d.Height()};
}

void setRate(benchmark::State& state, double pixelsPerIteration) {
    state.counters["MP/s"] =
        benchmark::Counter(pixelsPerIteration * static_cast<double>(state.iterations()) / 1e6,
                           benchmark::Counter::kIsRate);
}

// A pixman image over a surface's pixels: same memory order (B, G, R, A = a8r8g8b8).
// Rows are bottom-up in the surface; for these benchmarks the row order does not matter.
pixman_image_t* pixmanOver(const c32bppDIB& d) {
    return pixman_image_create_bits(PIXMAN_a8r8g8b8, d.Width(), d.Height(),
                                    reinterpret_cast<std::uint32_t*>(d.BitsPointer()),
                                    d.scanWidth());
}

// ---- Bilinear scaling --------------------------------------------------------------------

void ScaleOurs(benchmark::State& state, int from, int to) {
    auto src = randomSurface(from, from, 1);
    auto dst = randomSurface(to, to, 2);
    engine::ScaleJob job;
    job.srcWidth = job.srcHeight = from;
    job.fullWidth = job.fullHeight = to;
    job.bilinear = true;
    for (auto _ : state) {
        benchmark::DoNotOptimize(engine::scaleToBuffer(viewOf(*src), job, mutableViewOf(*dst)));
        benchmark::ClobberMemory();
    }
    setRate(state, double(to) * to);
}

void ScalePixman(benchmark::State& state, int from, int to) {
    auto src = randomSurface(from, from, 1);
    auto dst = randomSurface(to, to, 2);
    pixman_image_t* s = pixmanOver(*src);
    pixman_image_t* d = pixmanOver(*dst);
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(double(from) / to),
                                pixman_double_to_fixed(double(from) / to));
    pixman_image_set_transform(s, &t);
    pixman_image_set_filter(s, PIXMAN_FILTER_BILINEAR, nullptr, 0);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, s, nullptr, d, 0, 0, 0, 0, 0, 0, to, to);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(s);
    pixman_image_unref(d);
    setRate(state, double(to) * to);
}

void BM_ScaleDown2048To1024_Ours(benchmark::State& s) {
    ScaleOurs(s, 2048, 1024);
}
void BM_ScaleDown2048To1024_Pixman(benchmark::State& s) {
    ScalePixman(s, 2048, 1024);
}
void BM_ScaleUp1024To2048_Ours(benchmark::State& s) {
    ScaleOurs(s, 1024, 2048);
}
void BM_ScaleUp1024To2048_Pixman(benchmark::State& s) {
    ScalePixman(s, 1024, 2048);
}

// The whole pipeline for comparison: Render with bilinear scaling onto a host surface (scale
// into a work buffer, then blend at full opacity).
void BM_ScaleDown2048To1024_RenderOntoHost(benchmark::State& state) {
    auto src = randomSurface(2048, 2048, 1);
    src->setHighQualityInterpolation(true);
    auto dst = randomSurface(1024, 1024, 2);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            src->Render(nullptr, 0, 0, 1024, 1024, 0, 0, 0, 0, 100, 0, false, dst.get()));
    }
    setRate(state, 1024.0 * 1024);
}

// ---- Unscaled blend at opacity 128 ---------------------------------------------------------

constexpr int kBlendSize = 1024;

engine::BlendJob blendJob() {
    engine::BlendJob j;
    j.width = j.height = kBlendSize;
    j.opacity = 128;
    return j;
}

void BM_Blend128_Ours_Host(benchmark::State& state) {
    auto src = randomSurface(kBlendSize, kBlendSize, 3);
    auto dst = randomSurface(kBlendSize, kBlendSize, 4);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            engine::blendToSurface(viewOf(*src), blendJob(), mutableViewOf(*dst)));
        benchmark::ClobberMemory();
    }
    setRate(state, double(kBlendSize) * kBlendSize);
}

void BM_Blend128_Ours_Context24(benchmark::State& state) {
    auto src = randomSurface(kBlendSize, kBlendSize, 3);
    auto bitmap = platform::Bitmap::create(kBlendSize, kBlendSize, 24);
    auto dc = platform::DeviceContext::createCompatible();
    dc->select(bitmap.get());
    for (auto _ : state) {
        benchmark::DoNotOptimize(engine::blendToContext(viewOf(*src), blendJob(), *dc));
        benchmark::ClobberMemory();
    }
    setRate(state, double(kBlendSize) * kBlendSize);
}

void BlendPixman(benchmark::State& state, pixman_format_code_t format) {
    auto src = randomSurface(kBlendSize, kBlendSize, 3);
    const int bpp = PIXMAN_FORMAT_BPP(format) / 8;
    const int stride = (kBlendSize * bpp + 3) / 4 * 4;
    std::vector<std::uint32_t> dstBits(static_cast<std::size_t>(stride / 4) * kBlendSize,
                                       0x80808080u);
    pixman_image_t* s = pixmanOver(*src);
    pixman_image_t* d =
        pixman_image_create_bits(format, kBlendSize, kBlendSize, dstBits.data(), stride);
    const pixman_color_t half{0, 0, 0, 128 * 257};
    pixman_image_t* mask = pixman_image_create_solid_fill(&half);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_OVER, s, mask, d, 0, 0, 0, 0, 0, 0, kBlendSize,
                                 kBlendSize);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(mask);
    pixman_image_unref(s);
    pixman_image_unref(d);
    setRate(state, double(kBlendSize) * kBlendSize);
}

void BM_Blend128_Pixman_a8r8g8b8(benchmark::State& s) {
    BlendPixman(s, PIXMAN_a8r8g8b8);
}
void BM_Blend128_Pixman_r8g8b8(benchmark::State& s) {
    BlendPixman(s, PIXMAN_r8g8b8);
}

// ---- Rotation by 30 degrees, bilinear ---------------------------------------------------------

constexpr int kRotateSize = 1024;

void BM_Rotate30_Ours(benchmark::State& state) {
    auto src = randomSurface(kRotateSize, kRotateSize, 5);
    std::int32_t side = 0;
    if (!engine::rotationSquareSide(kRotateSize, kRotateSize, side)) return;
    auto out = engine::WorkBuffer::create(side, side, true);
    engine::RotateJob job;
    job.srcWidth = job.srcHeight = kRotateSize;
    job.degrees = 30;
    job.bilinear = true;
    for (auto _ : state) {
        benchmark::DoNotOptimize(engine::rotateToSquare(viewOf(*src), job, out.view()));
        benchmark::ClobberMemory();
    }
    setRate(state, double(side) * side);
}

void BM_Rotate30_Pixman(benchmark::State& state) {
    auto src = randomSurface(kRotateSize, kRotateSize, 5);
    std::int32_t side = 0;
    if (!engine::rotationSquareSide(kRotateSize, kRotateSize, side)) return;
    std::vector<std::uint32_t> dstBits(static_cast<std::size_t>(side) * side, 0);
    pixman_image_t* s = pixmanOver(*src);
    pixman_image_t* d =
        pixman_image_create_bits(PIXMAN_a8r8g8b8, side, side, dstBits.data(), side * 4);
    // Destination -> source: move the square's centre to the origin, turn, move to the
    // image's centre.
    pixman_f_transform_t ft;
    pixman_f_transform_init_translate(&ft, -side / 2.0, -side / 2.0);
    const double a = 30.0 * M_PI / 180.0;
    pixman_f_transform_rotate(&ft, nullptr, std::cos(a), std::sin(a));
    pixman_f_transform_translate(&ft, nullptr, kRotateSize / 2.0, kRotateSize / 2.0);
    pixman_transform_t t;
    pixman_transform_from_pixman_f_transform(&t, &ft);
    pixman_image_set_transform(s, &t);
    pixman_image_set_filter(s, PIXMAN_FILTER_BILINEAR, nullptr, 0);
    pixman_image_set_repeat(s, PIXMAN_REPEAT_NONE);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, s, nullptr, d, 0, 0, 0, 0, 0, 0, side, side);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(s);
    pixman_image_unref(d);
    setRate(state, double(side) * side);
}

// ---- Drop shadow ------------------------------------------------------------------------------

void BM_DropShadow1024(benchmark::State& state) {
    auto src = randomSurface(1024, 1024, 6);
    const auto depth = static_cast<std::int32_t>(state.range(0));
    for (auto _ : state) {
        auto shadow = src->CreateDropShadow(depth, 0x00404040);
        benchmark::DoNotOptimize(shadow.get());
    }
    setRate(state, double(1024 + 2 * depth) * (1024 + 2 * depth));
}

// Each peer runs before our own code of the same kind, so that nothing of ours (caches, clock
// changes after wide vector code) weighs on its figure.
BENCHMARK(BM_ScaleDown2048To1024_Pixman)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleDown2048To1024_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleDown2048To1024_RenderOntoHost)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleUp1024To2048_Pixman)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleUp1024To2048_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Blend128_Pixman_a8r8g8b8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Blend128_Ours_Host)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Blend128_Pixman_r8g8b8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Blend128_Ours_Context24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate30_Pixman)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate30_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DropShadow1024)->Arg(1)->Arg(5)->Arg(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
