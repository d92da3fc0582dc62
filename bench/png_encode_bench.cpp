// PNG encoding of a surface: cPNGwriter against libpng writing the same pixels in the same PNG
// form (colour type, palette and transparency read back from cPNGwriter's file), once at
// compression level 9 with every filter tried on each row and once at libpng's defaults.
// Inputs: a 2048x2048 photo-like picture with translucent areas, a 2048x2048 screenshot-like
// picture (a few flat colours, text-like strokes) and a 1024x1024 grey picture. MB/s counts the
// surface's bytes (4 a pixel); size_ratio is the file size over cPNGwriter's. cPNGwriter's time
// includes its analysis of the pixels; libpng's rows are prepared before timing.
#include <benchmark/benchmark.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "image/codecs/png_parser.h"
#include "image/codecs/png_pixels.h"
#include "image/codecs/png_writer.h"
#include "image/surface/c32bpp_dib.h"
#include "image/surface/c32bpp_dib_internal.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

enum class Kind { kPhoto, kScreenshot, kGrey };

// Straight R, G, B, A of image pixel (x, y) for each kind.
struct Painter {
    Kind kind;
    int w, h;
    std::mt19937 rng{42};

    std::array<std::uint8_t, 4> operator()(int x, int y) {
        const double fx = x / double(w), fy = y / double(h);
        const int noise = int(rng() % 7) - 3;
        auto clamp = [](double v) { return std::uint8_t(std::clamp(v, 0.0, 255.0)); };
        const double base =
            0.5 + 0.25 * std::sin(fx * 9.0 + fy * 4.0) + 0.25 * std::cos(fy * 7.0 - fx * 3.0);
        switch (kind) {
            case Kind::kPhoto: {
                auto chan = [&](double phase) {
                    return clamp(255.0 * (0.5 + 0.5 * std::sin(base * 6.0 + phase)) + noise);
                };
                // Opaque, clear and translucent areas.
                const double a = 1.5 * std::sin(fx * 5.0) * std::cos(fy * 3.0);
                const std::uint8_t alpha = a > 0.9    ? 255
                                           : a < -0.5 ? 0
                                                      : clamp(128 + 127 * a / (a > 0 ? 0.9 : 1.0));
                return {chan(0.0), chan(2.1), chan(4.2), alpha};
            }
            case Kind::kGrey: {
                const std::uint8_t v = clamp(255.0 * base + noise);
                return {v, v, v, 255};
            }
            case Kind::kScreenshot:
            default:
                return screenshot(x, y);
        }
    }

    // A desktop of windows: flat title bars and bodies, and lines of text-like strokes.
    std::array<std::uint8_t, 4> screenshot(int x, int y) const {
        static constexpr std::uint8_t kColours[][3] = {
            {58, 110, 165},  {236, 233, 216}, {255, 255, 255}, {0, 84, 227}, {0, 0, 0},
            {128, 128, 128}, {212, 208, 200}, {49, 106, 197},  {255, 0, 0},  {0, 128, 0}};
        auto rgb = [](int i) {
            return std::array<std::uint8_t, 4>{kColours[i][0], kColours[i][1], kColours[i][2], 255};
        };
        const int wx = x / 512, wy = y / 512, lx = x % 512, ly = y % 512;
        if ((wx + wy) % 3 == 0) return rgb(0);              // desktop
        if (lx < 8 || lx > 503 || ly > 503) return rgb(6);  // frame
        if (ly < 30) return rgb(ly < 15 ? 3 : 7);           // title bar
        const bool textLine = ly > 40 && (ly - 40) % 18 < 11 && lx > 20 && lx < 480 - (ly * 7) % 90;
        if (textLine) {
            // Glyph-like strokes: columns of dark pixels in a fixed pseudo-random pattern.
            const unsigned h = unsigned(lx / 2) * 2654435761u ^ unsigned((ly - 40) / 18) * 40503u;
            if ((h >> 13) % 3 == 0 || (lx % 7 == 0 && (ly - 40) % 18 < 9))
                return rgb((wx * 3 + wy) % 4 == 1 ? 8 : 4);
        }
        return rgb(ly > 470 ? 5 : (wx + wy) % 2 ? 2 : 1);
    }
};

struct Input {
    std::string label;
    std::unique_ptr<talvrin::c32bppDIB> surface;
    Bytes ours;  // cPNGwriter's file, made once
    // The same image in the form cPNGwriter chose, as libpng takes it.
    int colorType = 0;
    std::vector<png_color> palette;
    std::vector<png_byte> trnsAlpha;
    png_color_16 trnsColour{};
    bool hasTrns = false;
    Bytes rows;
    std::size_t rowBytes = 0;
};

struct Reader {
    const Bytes* file;
    std::size_t at;
};

void readFromVector(png_structp png, png_bytep out, png_size_t n) {
    auto* r = static_cast<Reader*>(png_get_io_ptr(png));
    if (r->at + n > r->file->size()) png_error(png, "short read");
    std::memcpy(out, r->file->data() + r->at, n);
    r->at += n;
}

void writeToVector(png_structp png, png_bytep data, png_size_t len) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + len);
}

// The rows, palette and transparency of a PNG exactly as stored (no transformations).
bool readForm(const Bytes& file, Input& in) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    Reader reader{&file, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &reader, readFromVector);
    png_read_info(png, info);
    in.colorType = png_get_color_type(png, info);
    png_colorp plte = nullptr;
    int entries = 0;
    if (png_get_PLTE(png, info, &plte, &entries)) in.palette.assign(plte, plte + entries);
    png_bytep alpha = nullptr;
    int alphas = 0;
    png_color_16p colour = nullptr;
    if (png_get_tRNS(png, info, &alpha, &alphas, &colour)) {
        in.hasTrns = true;
        if (alpha && alphas) in.trnsAlpha.assign(alpha, alpha + alphas);
        if (colour) in.trnsColour = *colour;
    }
    in.rowBytes = png_get_rowbytes(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    in.rows.resize(in.rowBytes * height);
    std::vector<png_bytep> pointers(height);
    for (png_uint_32 y = 0; y < height; ++y)
        pointers[y] = in.rows.data() + y * in.rowBytes;
    png_read_image(png, pointers.data());
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

// level < 0: libpng's default level and filter choice.
Bytes libpngWrite(const Input& in, int level) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, writeToVector, nullptr);
    if (level >= 0) {
        png_set_compression_level(png, level);
        png_set_filter(png, 0, PNG_ALL_FILTERS);
    }
    const int w = in.surface->Width(), h = in.surface->Height();
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, in.colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!in.palette.empty()) png_set_PLTE(png, info, in.palette.data(), int(in.palette.size()));
    if (in.hasTrns)
        png_set_tRNS(png, info, in.trnsAlpha.empty() ? nullptr : in.trnsAlpha.data(),
                     int(in.trnsAlpha.size()), &in.trnsColour);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y)
        png_write_row(png, in.rows.data() + std::size_t(y) * in.rowBytes);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

Input makeInput(Kind kind, int w, int h, const char* label) {
    Input in;
    in.label = std::string(label) + " " + std::to_string(w) + "x" + std::to_string(h);
    in.surface = std::make_unique<talvrin::c32bppDIB>();
    in.surface->InitializeDIB(w, h);
    Painter paint{kind, w, h};
    bool translucent = false;
    for (int y = 0; y < h; ++y) {
        std::uint8_t* d = in.surface->BitsPointer() + std::size_t(h - 1 - y) * w * 4;
        for (int x = 0; x < w; ++x, d += 4) {
            const auto p = paint(x, y);
            const std::uint32_t a = p[3];
            translucent |= a != 255;
            d[0] = a ? talvrin::premultiplyChannel(p[2], a) : 0;
            d[1] = a ? talvrin::premultiplyChannel(p[1], a) : 0;
            d[2] = a ? talvrin::premultiplyChannel(p[0], a) : 0;
            d[3] = std::uint8_t(a);
        }
    }
    talvrin::SurfaceInternals::setAlpha(*in.surface, translucent);
    talvrin::cPNGwriter().WritePNG(*in.surface, in.ours);
    readForm(in.ours, in);
    return in;
}

const Input& input(Kind kind) {
    static const Input photo = makeInput(Kind::kPhoto, 2048, 2048, "photo RGBA");
    static const Input screenshot = makeInput(Kind::kScreenshot, 2048, 2048, "screenshot");
    static const Input grey = makeInput(Kind::kGrey, 1024, 1024, "grey");
    return kind == Kind::kPhoto ? photo : kind == Kind::kScreenshot ? screenshot : grey;
}

// A file must decode to the surface's pixels before its time counts.
bool decodesToSurface(const Bytes& file, const talvrin::c32bppDIB& surface) {
    talvrin::c32bppDIB dib;
    talvrin::cPNGparser parser;
    std::uint32_t token = 0;
    parser.LoadStream(file, dib, 0, std::int32_t(file.size()), token);
    return dib.BitsPointer() && dib.Width() == surface.Width() &&
           std::memcmp(dib.BitsPointer(), surface.BitsPointer(),
                       std::size_t(surface.scanWidth()) * surface.Height()) == 0;
}

void report(benchmark::State& state, const Input& in, std::size_t size) {
    const std::int64_t bytes = std::int64_t(in.surface->scanWidth()) * in.surface->Height();
    state.SetBytesProcessed(bytes * std::int64_t(state.iterations()));
    state.counters["KiB"] = double(size) / 1024.0;
    state.counters["size_ratio"] = double(size) / double(in.ours.size());
    state.SetLabel(in.label + " colour type " + std::to_string(in.colorType));
}

void BM_Talvrin(benchmark::State& state, Kind kind) {
    const Input& in = input(kind);
    if (!decodesToSurface(in.ours, *in.surface)) {
        state.SkipWithError("cPNGwriter's file does not decode to the surface");
        return;
    }
    std::size_t size = 0;
    for (auto _ : state) {
        Bytes out;
        if (!talvrin::cPNGwriter().WritePNG(*in.surface, out)) state.SkipWithError("WritePNG");
        size = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    report(state, in, size);
}

void BM_Libpng(benchmark::State& state, Kind kind, int level) {
    const Input& in = input(kind);
    if (!decodesToSurface(libpngWrite(in, level), *in.surface)) {
        state.SkipWithError("libpng's file does not decode to the surface");
        return;
    }
    std::size_t size = 0;
    for (auto _ : state) {
        const Bytes out = libpngWrite(in, level);
        if (out.empty()) state.SkipWithError("libpng");
        size = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    report(state, in, size);
}

#define PNG_ENCODE_SET(name, kind)                                                                 \
    BENCHMARK_CAPTURE(BM_Libpng, name##_libpng_level9_all_filters, kind, 9)                        \
        ->Unit(benchmark::kMillisecond);                                                           \
    BENCHMARK_CAPTURE(BM_Libpng, name##_libpng_defaults, kind, -1)->Unit(benchmark::kMillisecond); \
    BENCHMARK_CAPTURE(BM_Talvrin, name##_talvrin, kind)->Unit(benchmark::kMillisecond)

PNG_ENCODE_SET(photo_rgba_2048, Kind::kPhoto);
PNG_ENCODE_SET(screenshot_2048, Kind::kScreenshot);
PNG_ENCODE_SET(grey_1024, Kind::kGrey);

}  // namespace

BENCHMARK_MAIN();
