// Hostile inputs that once cost seconds: JPEG scan bombs (a progressive file whose last scan is
// repeated: 4096 x 4096 with 3,000 more scans, 198 KB; 8191 x 8191 with 400 more, 434 KB) beside
// the same pictures without the repeats, and the stored property bag's text form with 100,000
// distinct keys (the restore stops at the key limit) beside 100,000 keys written one by one.
// CPU time a run is what matters: each must stay well under a second.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "image/control/property_bag.h"
#include "platform/picture/jpeg_decoder.h"
#include "support/jpeg_test_builder.h"

namespace {

using namespace talvrin;

void BM_JpegRepeatedScans(benchmark::State& state) {
    const int side = static_cast<int>(state.range(0));
    const auto file = test::jpegWithRepeatedScans(side, side, static_cast<int>(state.range(1)));
    bool decoded = false;
    for (auto _ : state) {
        auto bitmap = platform::decodeJpeg(ByteView(file.data(), file.size())).image;
        decoded = bitmap != nullptr;
        benchmark::DoNotOptimize(bitmap);
    }
    state.counters["bytes"] = static_cast<double>(file.size());
    state.SetLabel(decoded ? "decoded" : "refused");
}
BENCHMARK(BM_JpegRepeatedScans)
    ->Args({4096, 3000})
    ->Args({4096, 0})
    ->Args({8191, 400})
    ->Args({8191, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

std::string bagWithKeys(int keys) {
    std::string text = "{\"talvrin-properties\": 1";
    for (int i = 0; i < keys; ++i)
        text += ",\n\"key" + std::to_string(i) + "\": {\"i32\": " + std::to_string(i) + "}";
    return text + "\n}\n";
}

void BM_BagRestore(benchmark::State& state) {
    std::string text = bagWithKeys(static_cast<int>(state.range(0)));
    if (state.range(1) != 0) text.resize(text.size() - 3);  // damaged: read line by line
    for (auto _ : state)
        benchmark::DoNotOptimize(PropertyBag::fromText(text));
    state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_BagRestore)->Args({100000, 0})->Args({100000, 1})->Unit(benchmark::kMillisecond);

void BM_BagWriteKeys(benchmark::State& state) {
    for (auto _ : state) {
        PropertyBag bag;
        for (int i = 0; i < state.range(0); ++i)
            bag.writeInt32("Key" + std::to_string(i), i + 1, 0);
        benchmark::DoNotOptimize(bag);
    }
}
BENCHMARK(BM_BagWriteKeys)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
