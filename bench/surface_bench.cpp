// Alpha classification against the memory-bandwidth limit: ClassifyAlpha with adjust on a
// 4096 x 4096 straight-alpha image, against memcpy of the same buffer. Rates are in megapixels
// a second; compare the two in one run.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "image/codecs/pixel_helpers.h"
#include "image/surface/image_types.h"

namespace {

constexpr int kSide = 4096;
constexpr std::size_t kPixels = std::size_t{kSide} * kSide;

// Straight alpha: random colours over random alpha, so colour bytes exceed their alpha and the
// verdict comes at once; the premultiplication then touches every pixel.
const std::vector<std::uint8_t>& straightImage() {
    static const std::vector<std::uint8_t> image = [] {
        std::vector<std::uint8_t> v(kPixels * 4);
        std::mt19937 rng(42);
        for (auto& b : v)
            b = static_cast<std::uint8_t>(rng());
        return v;
    }();
    return image;
}

// Already premultiplied: the verdict needs a full scan and nothing is adjusted.
const std::vector<std::uint8_t>& premultipliedImage() {
    static const std::vector<std::uint8_t> image = [] {
        std::vector<std::uint8_t> v(kPixels * 4);
        std::mt19937 rng(7);
        for (std::size_t i = 0; i < kPixels; ++i) {
            const auto a = static_cast<std::uint8_t>(rng());
            for (int k = 0; k < 3; ++k)
                v[i * 4 + k] = static_cast<std::uint8_t>(a == 0 ? 0 : rng() % (a + 1u));
            v[i * 4 + 3] = a;
        }
        return v;
    }();
    return image;
}

void setRate(benchmark::State& state) {
    state.counters["MP/s"] = benchmark::Counter(
        static_cast<double>(kPixels) * static_cast<double>(state.iterations()) / 1e6,
        benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<std::int64_t>(kPixels * 4) * state.iterations());
}

void BM_ClassifyAlpha_Adjust_Straight4096(benchmark::State& state) {
    const auto& source = straightImage();
    std::vector<std::uint8_t> work(source.size());
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(work.data(), source.data(), source.size());
        state.ResumeTiming();
        bool alpha = false;
        std::int32_t type = talvrin::imgCreated;
        talvrin::ClassifyAlpha(work, kSide, kSide, true, alpha, type);
        benchmark::DoNotOptimize(work.data());
        if (type != talvrin::imgBmpARGB) state.SkipWithError("unexpected verdict");
    }
    setRate(state);
}

void BM_ClassifyAlpha_Scan_Premultiplied4096(benchmark::State& state) {
    std::vector<std::uint8_t> work = premultipliedImage();
    for (auto _ : state) {
        bool alpha = false;
        std::int32_t type = talvrin::imgCreated;
        talvrin::ClassifyAlpha(work, kSide, kSide, true, alpha, type);
        benchmark::DoNotOptimize(work.data());
        if (type != talvrin::imgBmpPARGB) state.SkipWithError("unexpected verdict");
    }
    setRate(state);
}

void BM_Memcpy4096(benchmark::State& state) {
    const auto& source = straightImage();
    std::vector<std::uint8_t> work(source.size());
    for (auto _ : state) {
        std::memcpy(work.data(), source.data(), source.size());
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
    setRate(state);
}

BENCHMARK(BM_ClassifyAlpha_Adjust_Straight4096)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ClassifyAlpha_Scan_Premultiplied4096)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Memcpy4096)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
