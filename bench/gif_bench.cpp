// GIF first-frame decode of a 1024 x 1024, 256-colour image: our decoder (indices, and the full
// cGIFparser load into a surface) against giflib (indices, and indices plus a conversion to
// 32-bit pixels) in the same run. The image is encoded once by giflib.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "image/codecs/gif_parser.h"
#include "image/surface/c32bpp_dib.h"
#include "platform/picture/gif_decoder.h"

namespace {

constexpr int kSide = 1024;

// A photo-like picture: smooth gradients with a little noise, through a 256-entry palette.
const std::vector<std::uint8_t>& gifBytes() {
    static const std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> out;
        int error = 0;
        GifFileType* gif = EGifOpen(
            &out,
            [](GifFileType* g, const GifByteType* data, int n) {
                auto* v = static_cast<std::vector<std::uint8_t>*>(g->UserData);
                v->insert(v->end(), data, data + n);
                return n;
            },
            &error);
        GifColorType colors[256];
        for (int i = 0; i < 256; ++i) {
            colors[i].Red = static_cast<GifByteType>(i);
            colors[i].Green = static_cast<GifByteType>((i * 7) & 255);
            colors[i].Blue = static_cast<GifByteType>(255 - i);
        }
        ColorMapObject* map = GifMakeMapObject(256, colors);
        EGifPutScreenDesc(gif, kSide, kSide, 8, 0, map);
        EGifPutImageDesc(gif, 0, 0, kSide, kSide, false, nullptr);
        std::mt19937 rng(7);
        std::vector<GifPixelType> line(kSide);
        for (int y = 0; y < kSide; ++y) {
            for (int x = 0; x < kSide; ++x) {
                const int v = (x / 4 + y / 8 + static_cast<int>(rng() % 3)) & 255;
                line[static_cast<std::size_t>(x)] = static_cast<GifPixelType>(v);
            }
            EGifPutLine(gif, line.data(), kSide);
        }
        EGifCloseFile(gif, &error);
        GifFreeMapObject(map);
        return out;
    }();
    return bytes;
}

struct Reader {
    const std::vector<std::uint8_t>* bytes;
    std::size_t pos = 0;
};

int readGif(GifFileType* gif, GifByteType* buf, int n) {
    auto* r = static_cast<Reader*>(gif->UserData);
    const std::size_t left = r->bytes->size() - r->pos;
    const std::size_t take =
        left < static_cast<std::size_t>(n) ? left : static_cast<std::size_t>(n);
    std::memcpy(buf, r->bytes->data() + r->pos, take);
    r->pos += take;
    return static_cast<int>(take);
}

void setCounters(benchmark::State& state) {
    state.counters["MP/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kSide * kSide / 1e6, benchmark::Counter::kIsRate);
}

void BM_Gif1024_Talvrin_Indices(benchmark::State& state) {
    const auto& bytes = gifBytes();
    const talvrin::ByteView view(bytes.data(), bytes.size());
    for (auto _ : state) {
        talvrin::platform::GifLayout layout;
        talvrin::platform::GifImage image;
        if (talvrin::platform::walkGifToFirstImage(view, layout).failed() ||
            talvrin::platform::decodeGifImage(view, layout, image).failed())
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image.indices.data());
    }
    setCounters(state);
}

void BM_Gif1024_Talvrin_Surface(benchmark::State& state) {
    const auto& bytes = gifBytes();
    talvrin::c32bppDIB dib;
    for (auto _ : state) {
        talvrin::cGIFparser parser;
        parser.LoadStream(bytes, dib, 0, static_cast<std::int32_t>(bytes.size()));
        if (dib.Width() != kSide) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(dib.BitsPointer());
    }
    setCounters(state);
}

void BM_Gif1024_Giflib_Indices(benchmark::State& state) {
    const auto& bytes = gifBytes();
    for (auto _ : state) {
        Reader reader{&bytes};
        int error = 0;
        GifFileType* gif = DGifOpen(&reader, readGif, &error);
        if (!gif || DGifSlurp(gif) != GIF_OK) state.SkipWithError("giflib failed");
        benchmark::DoNotOptimize(gif->SavedImages[0].RasterBits);
        DGifCloseFile(gif, &error);
    }
    setCounters(state);
}

void BM_Gif1024_Giflib_Bgra(benchmark::State& state) {
    const auto& bytes = gifBytes();
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(kSide) * kSide);
    for (auto _ : state) {
        Reader reader{&bytes};
        int error = 0;
        GifFileType* gif = DGifOpen(&reader, readGif, &error);
        if (!gif || DGifSlurp(gif) != GIF_OK) state.SkipWithError("giflib failed");
        const ColorMapObject* map = gif->SColorMap;
        std::uint32_t lut[256] = {};
        for (int i = 0; i < map->ColorCount; ++i) {
            const GifColorType c = map->Colors[i];
            lut[i] =
                0xFF000000u | (std::uint32_t{c.Red} << 16) | (std::uint32_t{c.Green} << 8) | c.Blue;
        }
        const GifByteType* src = gif->SavedImages[0].RasterBits;
        for (std::size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = lut[src[i]];
        benchmark::DoNotOptimize(pixels.data());
        DGifCloseFile(gif, &error);
    }
    setCounters(state);
}

BENCHMARK(BM_Gif1024_Talvrin_Indices)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Gif1024_Giflib_Indices)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Gif1024_Talvrin_Surface)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Gif1024_Giflib_Bgra)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
