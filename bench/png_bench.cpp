// PNG decoding into the premultiplied bottom-up surface: cPNGparser (with zlib, and with the
// built-in inflater) against libpng's simplified API, libspng and stb_image, each followed by the
// same premultiply pass; and the built-in inflater alone against zlib's uncompress on the same
// streams. Inputs are made once by libpng at compression level 6 with adaptive filters.
#include <benchmark/benchmark.h>
#include <png.h>
#include <spng.h>
#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "image/codecs/compression.h"
#include "image/codecs/inflater.h"
#include "image/codecs/png_parser.h"
#include "image/codecs/png_pixels.h"
#include "image/surface/c32bpp_dib.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace {

using Bytes = std::vector<std::uint8_t>;

enum class Kind { kRgb, kRgba, kPalette, kRgbaAdam7 };

struct Input {
    int width = 0;
    int height = 0;
    Bytes png;
    Bytes zlibStream;         // the concatenated IDAT data
    std::size_t rawSize = 0;  // its decompressed size
};

void writeToVector(png_structp png, png_bytep data, png_size_t len) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + len);
}

// A photo-like picture: smooth shapes with light noise, so compression is realistic.
Bytes makeRaster(Kind kind, int w, int h) {
    std::mt19937 rng(42);
    const int channels = kind == Kind::kRgb ? 3 : kind == Kind::kPalette ? 1 : 4;
    Bytes px(static_cast<std::size_t>(w) * h * channels);
    std::size_t i = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double fx = x / static_cast<double>(w), fy = y / static_cast<double>(h);
            const double base =
                0.5 + 0.25 * std::sin(fx * 9.0 + fy * 4.0) + 0.25 * std::cos(fy * 7.0 - fx * 3.0);
            const int noise = static_cast<int>(rng() % 7) - 3;
            auto chan = [&](double phase) {
                const int v =
                    static_cast<int>(255.0 * (0.5 + 0.5 * std::sin(base * 6.0 + phase))) + noise;
                return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            };
            if (kind == Kind::kPalette) {
                px[i++] =
                    static_cast<std::uint8_t>(static_cast<int>(base * 200.0) + (noise > 2 ? 1 : 0));
                continue;
            }
            px[i++] = chan(0.0);
            px[i++] = chan(2.1);
            px[i++] = chan(4.2);
            if (channels == 4) {
                // Opaque, clear and translucent areas.
                const double a = 1.5 * std::sin(fx * 5.0) * std::cos(fy * 3.0);
                px[i++] = a > 0.9 ? 255
                          : a < -0.5
                              ? 0
                              : static_cast<std::uint8_t>(128 + 127 * a / 0.9 * (a > 0 ? 1 : 0.5));
            }
        }
    }
    return px;
}

Input makeInput(Kind kind, int w, int h) {
    Input in;
    in.width = w;
    in.height = h;
    const Bytes raster = makeRaster(kind, w, h);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &in.png, writeToVector, nullptr);
    png_set_compression_level(png, 6);
    png_set_filter(png, 0, PNG_ALL_FILTERS);
    const int colorType = kind == Kind::kRgb       ? PNG_COLOR_TYPE_RGB
                          : kind == Kind::kPalette ? PNG_COLOR_TYPE_PALETTE
                                                   : PNG_COLOR_TYPE_RGBA;
    png_set_IHDR(png, info, w, h, 8, colorType,
                 kind == Kind::kRgbaAdam7 ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (kind == Kind::kPalette) {
        std::vector<png_color> pal(256);
        for (int c = 0; c < 256; ++c)
            pal[c] = {static_cast<png_byte>(c), static_cast<png_byte>(255 - c),
                      static_cast<png_byte>((c * 7) & 255)};
        png_set_PLTE(png, info, pal.data(), 256);
    }
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    const std::size_t stride = raster.size() / h;
    for (int p = 0; p < passes; ++p)
        for (int y = 0; y < h; ++y)
            png_write_row(png, raster.data() + stride * y);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);

    // The IDAT stream and its decompressed size, for the inflater comparison.
    std::size_t at = 8;
    while (at + 12 <= in.png.size()) {
        const std::uint32_t len = (std::uint32_t{in.png[at]} << 24) | (in.png[at + 1] << 16) |
                                  (in.png[at + 2] << 8) | in.png[at + 3];
        if (std::memcmp(in.png.data() + at + 4, "IDAT", 4) == 0)
            in.zlibStream.insert(in.zlibStream.end(), in.png.begin() + at + 8,
                                 in.png.begin() + at + 8 + len);
        at += len + 12;
    }
    talvrin::png::ImageHeader hdr{w, h, 8, static_cast<std::uint8_t>(colorType),
                                  static_cast<std::uint8_t>(kind == Kind::kRgbaAdam7 ? 1 : 0)};
    in.rawSize = *talvrin::png::expectedSize(hdr);
    return in;
}

const Input& input(Kind kind) {
    static const Input rgb = makeInput(Kind::kRgb, 4096, 4096);
    static const Input rgba = makeInput(Kind::kRgba, 4096, 4096);
    static const Input pal = makeInput(Kind::kPalette, 2048, 2048);
    static const Input adam7 = makeInput(Kind::kRgbaAdam7, 2048, 2048);
    switch (kind) {
        case Kind::kRgb:
            return rgb;
        case Kind::kRgba:
            return rgba;
        case Kind::kPalette:
            return pal;
        default:
            return adam7;
    }
}

// Straight RGBA, top row first, into the premultiplied bottom-up B, G, R, A surface layout.
void premultiplyInto(const std::uint8_t* rgba, int w, int h, std::uint8_t* out) {
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* s = rgba + static_cast<std::size_t>(y) * w * 4;
        std::uint8_t* d = out + static_cast<std::size_t>(h - 1 - y) * w * 4;
        for (int x = 0; x < w; ++x, s += 4, d += 4) {
            const std::uint32_t a = s[3];
            if (a == 0) {
                std::memset(d, 0, 4);
            } else if (a == 255) {
                d[0] = s[2];
                d[1] = s[1];
                d[2] = s[0];
                d[3] = 255;
            } else {
                d[0] = talvrin::premultiplyChannel(s[2], a);
                d[1] = talvrin::premultiplyChannel(s[1], a);
                d[2] = talvrin::premultiplyChannel(s[0], a);
                d[3] = static_cast<std::uint8_t>(a);
            }
        }
    }
}

void setRate(benchmark::State& state, const Input& in) {
    state.counters["MP/s"] =
        benchmark::Counter(static_cast<double>(in.width) * in.height * state.iterations() / 1e6,
                           benchmark::Counter::kIsRate);
    state.SetLabel(std::to_string(in.width) + "x" + std::to_string(in.height) + " " +
                   std::to_string(in.png.size() / 1024) + " KiB");
}

// libspng's RGBA with the premultiply pass: the pixels every decoder here must produce.
Bytes referencePixels(const Input& in) {
    spng_ctx* ctx = spng_ctx_new(0);
    spng_set_png_buffer(ctx, in.png.data(), in.png.size());
    std::size_t size = 0;
    spng_decoded_image_size(ctx, SPNG_FMT_RGBA8, &size);
    Bytes rgba(size);
    spng_decode_image(ctx, rgba.data(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS);
    spng_ctx_free(ctx);
    Bytes out(rgba.size());
    premultiplyInto(rgba.data(), in.width, in.height, out.data());
    return out;
}

void BM_Talvrin(benchmark::State& state, Kind kind, bool withZlib) {
    const Input& in = input(kind);
    talvrin::compression::ScopedAbsent absent(!withZlib);
    {
        // One checked decode first: a fast wrong answer is no result.
        talvrin::c32bppDIB dib;
        talvrin::cPNGparser parser;
        std::uint32_t token = 0;
        parser.LoadStream(in.png, dib, 0, static_cast<std::int32_t>(in.png.size()), token);
        const Bytes want = referencePixels(in);
        if (!dib.BitsPointer() || std::memcmp(dib.BitsPointer(), want.data(), want.size()) != 0) {
            state.SkipWithError("pixels differ from libspng's");
            return;
        }
    }
    for (auto _ : state) {
        talvrin::c32bppDIB dib;
        talvrin::cPNGparser parser;
        std::uint32_t token = 0;
        parser.LoadStream(in.png, dib, 0, static_cast<std::int32_t>(in.png.size()), token);
        if (!dib.BitsPointer()) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(dib.BitsPointer());
    }
    setRate(state, in);
}

void BM_Libpng(benchmark::State& state, Kind kind) {
    const Input& in = input(kind);
    for (auto _ : state) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_memory(&image, in.png.data(), in.png.size()))
            state.SkipWithError("libpng");
        image.format = PNG_FORMAT_RGBA;
        Bytes rgba(PNG_IMAGE_SIZE(image));
        if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr))
            state.SkipWithError("libpng");
        Bytes out(rgba.size());
        premultiplyInto(rgba.data(), in.width, in.height, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    setRate(state, in);
}

void BM_Spng(benchmark::State& state, Kind kind) {
    const Input& in = input(kind);
    for (auto _ : state) {
        spng_ctx* ctx = spng_ctx_new(0);
        spng_set_png_buffer(ctx, in.png.data(), in.png.size());
        std::size_t size = 0;
        spng_decoded_image_size(ctx, SPNG_FMT_RGBA8, &size);
        Bytes rgba(size);
        if (spng_decode_image(ctx, rgba.data(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) != 0)
            state.SkipWithError("libspng");
        spng_ctx_free(ctx);
        Bytes out(rgba.size());
        premultiplyInto(rgba.data(), in.width, in.height, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    setRate(state, in);
}

void BM_Stb(benchmark::State& state, Kind kind) {
    const Input& in = input(kind);
    for (auto _ : state) {
        int w = 0, h = 0, n = 0;
        stbi_uc* rgba =
            stbi_load_from_memory(in.png.data(), static_cast<int>(in.png.size()), &w, &h, &n, 4);
        if (!rgba) state.SkipWithError("stb_image");
        Bytes out(static_cast<std::size_t>(w) * h * 4);
        premultiplyInto(rgba, w, h, out.data());
        stbi_image_free(rgba);
        benchmark::DoNotOptimize(out.data());
    }
    setRate(state, in);
}

void BM_InflaterAlone(benchmark::State& state, Kind kind) {
    const Input& in = input(kind);
    Bytes out(in.rawSize);
    for (auto _ : state) {
        if (!talvrin::inflateZlib(talvrin::ByteView(in.zlibStream), out).ok())
            state.SkipWithError("inflate");
        benchmark::DoNotOptimize(out.data());
    }
    setRate(state, in);
    state.SetBytesProcessed(static_cast<std::int64_t>(in.rawSize) * state.iterations());
}

void BM_ZlibUncompress(benchmark::State& state, Kind kind) {
    const Input& in = input(kind);
    Bytes out(in.rawSize);
    for (auto _ : state) {
        uLongf len = out.size();
        if (uncompress(out.data(), &len, in.zlibStream.data(), in.zlibStream.size()) != Z_OK)
            state.SkipWithError("uncompress");
        benchmark::DoNotOptimize(out.data());
    }
    setRate(state, in);
    state.SetBytesProcessed(static_cast<std::int64_t>(in.rawSize) * state.iterations());
}

#define PNG_BENCH_SET(name, kind)                                                              \
    BENCHMARK_CAPTURE(BM_Talvrin, name##_talvrin, kind, true)->Unit(benchmark::kMillisecond);  \
    BENCHMARK_CAPTURE(BM_Talvrin, name##_talvrin_no_zlib, kind, false)                         \
        ->Unit(benchmark::kMillisecond);                                                       \
    BENCHMARK_CAPTURE(BM_Libpng, name##_libpng, kind)->Unit(benchmark::kMillisecond);          \
    BENCHMARK_CAPTURE(BM_Spng, name##_libspng, kind)->Unit(benchmark::kMillisecond);           \
    BENCHMARK_CAPTURE(BM_Stb, name##_stb_image, kind)->Unit(benchmark::kMillisecond);          \
    BENCHMARK_CAPTURE(BM_InflaterAlone, name##_inflater, kind)->Unit(benchmark::kMillisecond); \
    BENCHMARK_CAPTURE(BM_ZlibUncompress, name##_zlib_uncompress, kind)                         \
        ->Unit(benchmark::kMillisecond)

PNG_BENCH_SET(rgb_4096, Kind::kRgb);
PNG_BENCH_SET(rgba_4096, Kind::kRgba);
PNG_BENCH_SET(palette_2048, Kind::kPalette);
PNG_BENCH_SET(rgba_adam7_2048, Kind::kRgbaAdam7);

}  // namespace

BENCHMARK_MAIN();
