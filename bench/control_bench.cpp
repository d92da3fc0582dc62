// The image control's paint: a 512 x 512 control showing a 1024 x 1024 RGBA image scaled to fit
// with a drop shadow, painted in full without and with AutoRedraw (the cached drawing), and a
// repaint of a 64 x 64 clip box from the cache. Microseconds a paint; the full / cached ratio is
// what the cache saves. The full paint runs twice: through the imaging bridge (bicubic), and with
// the bridge absent (the own engine, bilinear), whose ratio is the price of the quality; and the
// two in turn, kTurn paints of one then kTurn of the other (each turn's images are read once
// before it is timed, so that neither pays for the other's), their processor times counted
// apart: the ratio it prints (bridge / own) sees the machine's load fall on both alike.
#include <benchmark/benchmark.h>
#include <time.h>

#include <memory>
#include <optional>
#include <random>
#include <vector>

#include "image/bridge/gdiplus.h"
#include "image/control/headless_host.h"
#include "image/control/vitrel.h"
#include "image/surface/c32bpp_dib.h"
#include "image/surface/c32bpp_dib_internal.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"

namespace {

using namespace talvrin;

// A 1024 x 1024 photo-like RGBA image with soft alpha, as a PNG the control loads.
const std::vector<std::uint8_t>& imageBytes() {
    static const std::vector<std::uint8_t> png = [] {
        c32bppDIB dib;
        dib.InitializeDIB(1024, 1024);
        std::mt19937 rng(7);
        std::uint8_t* p = dib.BitsPointer();
        for (int y = 0; y < 1024; ++y)
            for (int x = 0; x < 1024; ++x, p += 4) {
                const int dx = x - 512, dy = y - 512;
                const int a = std::max(0, 255 - (dx * dx + dy * dy) / 1100);
                p[3] = static_cast<std::uint8_t>(a);
                p[0] = static_cast<std::uint8_t>((x ^ y) % (a + 1));
                p[1] = static_cast<std::uint8_t>((x + static_cast<int>(rng() % 16)) % (a + 1));
                p[2] = static_cast<std::uint8_t>(y % (a + 1));
            }
        SurfaceInternals::setAlpha(dib, true);
        std::vector<std::uint8_t> out;
        dib.SaveToStream_PNG(out);
        return out;
    }();
    return png;
}

struct Scene {
    explicit Scene(bool autoRedraw) : control(host) {
        control.InitProperties();
        control.setAutoSize(false);
        if (autoRedraw) control.setAutoRedraw(true);
        control.setShadowEnabled(true);
        std::int32_t w = 0, h = 0, d = 0;
        control.LoadImage_FromArray(imageBytes(), w, h, d);
        bitmap = platform::Bitmap::create(512, 512, 32);
        dc = platform::DeviceContext::createCompatible();
        dc->select(bitmap.get());
    }
    HeadlessHost host{512, 512};
    Vitrel control;
    std::unique_ptr<platform::Bitmap> bitmap;
    std::unique_ptr<platform::DeviceContext> dc;
};

void BM_FullPaint(benchmark::State& state) {
    Scene s(false);
    for (auto _ : state) {
        s.control.Paint(*s.dc);
        benchmark::DoNotOptimize(s.bitmap->bits());
    }
}
BENCHMARK(BM_FullPaint)->Unit(benchmark::kMicrosecond);

void BM_FullPaintOwnEngine(benchmark::State& state) {
    const bridge::ScopedBackendAbsent ownEngine;
    Scene s(false);
    for (auto _ : state) {
        s.control.Paint(*s.dc);
        benchmark::DoNotOptimize(s.bitmap->bits());
    }
}
BENCHMARK(BM_FullPaintOwnEngine)->Unit(benchmark::kMicrosecond);

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void BM_FullPaintAgainstOwnEngine(benchmark::State& state) {
    constexpr int kTurn = 8;
    Scene withBridge(false);
    std::optional<Scene> own;
    {
        const bridge::ScopedBackendAbsent ownEngine;
        own.emplace(false);
    }
    // One turn of paints; its processor seconds after a first paint, untimed, that brings its
    // images into the caches.
    const auto turn = [](Scene& scene) {
        scene.control.Paint(*scene.dc);
        const double t0 = threadSeconds();
        for (int i = 0; i < kTurn; ++i)
            scene.control.Paint(*scene.dc);
        benchmark::DoNotOptimize(scene.bitmap->bits());
        return threadSeconds() - t0;
    };
    double bridgeSeconds = 0, ownSeconds = 0;
    for (auto _ : state) {
        bridgeSeconds += turn(withBridge);
        const bridge::ScopedBackendAbsent ownEngine;
        ownSeconds += turn(*own);
    }
    const auto paints = static_cast<double>(state.iterations()) * kTurn;
    state.counters["bridge_us"] = bridgeSeconds / paints * 1e6;
    state.counters["own_us"] = ownSeconds / paints * 1e6;
    state.counters["ratio"] = ownSeconds > 0 ? bridgeSeconds / ownSeconds : 0;
}
BENCHMARK(BM_FullPaintAgainstOwnEngine)->Unit(benchmark::kMicrosecond);

void BM_FullPaintFromCache(benchmark::State& state) {
    Scene s(true);
    for (auto _ : state) {
        s.control.Paint(*s.dc);
        benchmark::DoNotOptimize(s.bitmap->bits());
    }
}
BENCHMARK(BM_FullPaintFromCache)->Unit(benchmark::kMicrosecond);

void BM_ClipRepaint64FromCache(benchmark::State& state) {
    Scene s(true);
    s.dc->setClipRect(Rect{200, 200, 264, 264});
    for (auto _ : state) {
        s.control.Paint(*s.dc);
        benchmark::DoNotOptimize(s.bitmap->bits());
    }
}
BENCHMARK(BM_ClipRepaint64FromCache)->Unit(benchmark::kMicrosecond);

void BM_ClipRepaint64Uncached(benchmark::State& state) {
    Scene s(false);
    s.dc->setClipRect(Rect{200, 200, 264, 264});
    for (auto _ : state) {
        s.control.Paint(*s.dc);
        benchmark::DoNotOptimize(s.bitmap->bits());
    }
}
BENCHMARK(BM_ClipRepaint64Uncached)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
