// PNG decoding into the premultiplied bottom-up surface: cPNGparser (with zlib, and with the
// built-in inflater) against libpng's simplified API, libspng and stb_image, each followed by the
// same premultiply pass; and the built-in inflater alone against zlib's uncompress on the same
// streams. Inputs are made once by libpng at compression level 6: smooth pictures with adaptive
// filters, and photo-like pictures (textured, with grain) whose every row is Paeth-, Average- or
// Up-filtered, as photographs mostly are.
//
//   png_bench [benchmark options]   in-process figures
//   png_bench --e2e [ROUNDS] [DIR]  end to end: the inputs as files in DIR (default /dev/shm),
//                                   talvrin-image convert IN OUT.prgba against libpng's
//                                   simplified API and libspng (decode_peer) doing the same,
//                                   each a fresh process; median wall time and peak RSS of
//                                   ROUNDS interleaved runs (default 9)
//                                   (TALVRIN_E2E_BEFORE=PATH adds that talvrin-image too)
//   png_bench --write-inputs DIR    only writes the inputs as files into DIR (for profiling)
#include <benchmark/benchmark.h>
#include <png.h>
#include <spng.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/simd.h"
#include "e2e_runner.h"
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
// What the picture looks like: smooth shapes with light noise, a textured photo with grain, or
// a photo that is transparent but for a few shapes.
enum class Look { kSmooth, kPhoto, kMostlyClear };

// An input: its name in the figures, format, size, look and the filters libpng may choose from.
struct InputPlan {
    const char* name;
    Kind kind;
    int side;
    Look look;
    int filters;
};

constexpr InputPlan kInputs[] = {
    {"rgb_4096", Kind::kRgb, 4096, Look::kSmooth, PNG_ALL_FILTERS},
    {"rgba_4096", Kind::kRgba, 4096, Look::kSmooth, PNG_ALL_FILTERS},
    {"palette_2048", Kind::kPalette, 2048, Look::kSmooth, PNG_ALL_FILTERS},
    {"rgba_adam7_2048", Kind::kRgbaAdam7, 2048, Look::kSmooth, PNG_ALL_FILTERS},
    {"rgb_photo_4096_paeth", Kind::kRgb, 4096, Look::kPhoto, PNG_FILTER_PAETH},
    {"rgba_photo_4096_paeth", Kind::kRgba, 4096, Look::kPhoto, PNG_FILTER_PAETH},
    {"rgb_photo_4096_average", Kind::kRgb, 4096, Look::kPhoto, PNG_FILTER_AVG},
    {"rgba_clear_4096_up", Kind::kRgba, 4096, Look::kMostlyClear, PNG_FILTER_UP},
};
constexpr std::size_t kInputCount = sizeof kInputs / sizeof kInputs[0];

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

// Value noise: a lattice of random values every `cell` pixels, bilinearly joined.
double valueNoise(int x, int y, int cell, std::uint32_t seed) {
    auto lattice = [seed](int i, int j) {
        std::uint32_t v = static_cast<std::uint32_t>(i) * 0x9E3779B1u ^
                          static_cast<std::uint32_t>(j) * 0x85EBCA77u ^ seed;
        v ^= v >> 15;
        v *= 0x2C1B3C6Du;
        v ^= v >> 12;
        return (v & 0xFFFF) / 65535.0;
    };
    const int i = x / cell, j = y / cell;
    const double fx = (x % cell) / static_cast<double>(cell);
    const double fy = (y % cell) / static_cast<double>(cell);
    const double top = lattice(i, j) + (lattice(i + 1, j) - lattice(i, j)) * fx;
    const double bottom = lattice(i, j + 1) + (lattice(i + 1, j + 1) - lattice(i, j + 1)) * fx;
    return top + (bottom - top) * fy;
}

// The pixels of an input, top row first, 1, 3 or 4 bytes a pixel.
Bytes makeRaster(const InputPlan& plan) {
    const Kind kind = plan.kind;
    const int w = plan.side, h = plan.side;
    std::mt19937 rng(42);
    const int channels = kind == Kind::kRgb ? 3 : kind == Kind::kPalette ? 1 : 4;
    Bytes px(static_cast<std::size_t>(w) * h * channels);
    std::size_t i = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double fx = x / static_cast<double>(w), fy = y / static_cast<double>(h);
            double base =
                0.5 + 0.25 * std::sin(fx * 9.0 + fy * 4.0) + 0.25 * std::cos(fy * 7.0 - fx * 3.0);
            int noise = static_cast<int>(rng() % 7) - 3;
            if (plan.look != Look::kSmooth) {
                // Texture at three scales and a grain of +-6, as a photograph has.
                base = 0.45 * base + 0.3 * valueNoise(x, y, 211, 1) +
                       0.17 * valueNoise(x, y, 37, 2) + 0.08 * valueNoise(x, y, 5, 3);
                noise = static_cast<int>(rng() % 13) - 6;
            }
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
                std::uint8_t alpha;
                if (plan.look == Look::kMostlyClear) {
                    // Clear except inside a few soft discs, whose colour shows through.
                    const double d =
                        std::min({std::hypot(fx - 0.3, fy - 0.3), std::hypot(fx - 0.7, fy - 0.55),
                                  std::hypot(fx - 0.45, fy - 0.8)});
                    alpha = d > 0.12  ? 0
                            : d < 0.1 ? 255
                                      : static_cast<std::uint8_t>(255 * (0.12 - d) / 0.02);
                    if (alpha == 0) px[i - 3] = px[i - 2] = px[i - 1] = 0;
                } else {
                    // Opaque, clear and translucent areas.
                    const double a = 1.5 * std::sin(fx * 5.0) * std::cos(fy * 3.0);
                    alpha =
                        a > 0.9 ? 255
                        : a < -0.5
                            ? 0
                            : static_cast<std::uint8_t>(128 + 127 * a / 0.9 * (a > 0 ? 1 : 0.5));
                }
                px[i++] = alpha;
            }
        }
    }
    return px;
}

Input makeInput(const InputPlan& plan) {
    const Kind kind = plan.kind;
    const int w = plan.side, h = plan.side;
    Input in;
    in.width = w;
    in.height = h;
    const Bytes raster = makeRaster(plan);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &in.png, writeToVector, nullptr);
    png_set_compression_level(png, 6);
    png_set_filter(png, 0, plan.filters);
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

// Inputs are made on first use, once per run.
const Input& input(std::size_t plan) {
    static std::array<std::unique_ptr<Input>, kInputCount> made;
    if (!made[plan]) made[plan] = std::make_unique<Input>(makeInput(kInputs[plan]));
    return *made[plan];
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

void BM_Talvrin(benchmark::State& state, std::size_t kind, bool withZlib) {
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

void BM_Libpng(benchmark::State& state, std::size_t kind) {
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

void BM_Spng(benchmark::State& state, std::size_t kind) {
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

void BM_Stb(benchmark::State& state, std::size_t kind) {
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

void BM_InflaterAlone(benchmark::State& state, std::size_t kind) {
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

void BM_ZlibUncompress(benchmark::State& state, std::size_t kind) {
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

// Unfiltering alone, one form on rows of 4096 pixels filtered by one type (the filter byte of
// every row is that type; the bytes are random, so Paeth's choices are unpredictable).
void BM_Unfilter(benchmark::State& state, talvrin::simd::Level form, std::uint8_t type,
                 unsigned unit) {
    if (talvrin::simd::processorLevel() < form) {
        state.SkipWithError("this processor lacks the form");
        return;
    }
    const talvrin::simd::ScopedLevelLimit held(form);
    const std::size_t len = 4096 * unit, rows = 64;
    std::mt19937 rng(7);
    Bytes original(rows * len);
    for (auto& b : original)
        b = static_cast<std::uint8_t>(rng());
    Bytes block(original.size());
    for (auto _ : state) {
        std::memcpy(block.data(), original.data(), block.size());
        for (std::size_t r = 0; r < rows; ++r)
            talvrin::png::unfilterRow(type, block.data() + r * len,
                                      r ? block.data() + (r - 1) * len : nullptr, len, unit);
        benchmark::DoNotOptimize(block.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(block.size()) * state.iterations());
}

void registerUnfilter() {
    using talvrin::simd::Level;
    const char* filterNames[] = {"", "sub", "up", "average", "paeth"};
    for (const unsigned unit : {3u, 4u}) {
        for (std::uint8_t type = 1; type <= 4; ++type) {
            for (const auto& [form, formName] :
                 {std::pair{Level::kScalar, "scalar"}, std::pair{Level::kSse2, "sse2"},
                  std::pair{Level::kAvx2, "avx2"}}) {
                const std::string name = std::string("unfilter_") + filterNames[type] + "_" +
                                         std::to_string(unit) + "bpp_" + formName;
                benchmark::RegisterBenchmark(name.c_str(), [form, type, unit](benchmark::State& s) {
                    BM_Unfilter(s, form, type, unit);
                })->Unit(benchmark::kMicrosecond);
            }
        }
    }
}

// Registers every figure of one input, the peers before our own code.
void registerSet(std::size_t plan) {
    const std::string name = kInputs[plan].name;
    auto add = [&](const std::string& what, auto fn) {
        benchmark::RegisterBenchmark((name + "_" + what).c_str(), fn)
            ->Unit(benchmark::kMillisecond);
    };
    add("libpng", [plan](benchmark::State& s) { BM_Libpng(s, plan); });
    add("libspng", [plan](benchmark::State& s) { BM_Spng(s, plan); });
    add("stb_image", [plan](benchmark::State& s) { BM_Stb(s, plan); });
    add("talvrin", [plan](benchmark::State& s) { BM_Talvrin(s, plan, true); });
    add("talvrin_no_zlib", [plan](benchmark::State& s) { BM_Talvrin(s, plan, false); });
    add("zlib_uncompress", [plan](benchmark::State& s) { BM_ZlibUncompress(s, plan); });
    add("inflater", [plan](benchmark::State& s) { BM_InflaterAlone(s, plan); });
}

std::string e2eFile(const std::string& folder, std::size_t plan) {
    return folder + "/talvrin_e2e_" + kInputs[plan].name + ".png";
}

// The end-to-end runs, first half: every input as a file. The inputs are made here, in a process
// that then replaces itself (runEndToEndFiles), because a child's peak RSS starts from its
// parent's: the peers' figures must not carry the memory these inputs took.
int endToEnd(char* self, int rounds, const std::string& folder) {
    for (std::size_t plan = 0; plan < kInputCount; ++plan) {
        const Input in = makeInput(kInputs[plan]);
        if (!talvrin::bench::writeBytes(e2eFile(folder, plan), in.png)) {
            std::fprintf(stderr, "cannot write %s\n", e2eFile(folder, plan).c_str());
            return 1;
        }
    }
    return talvrin::bench::reexecForFiles(self, rounds, folder);
}

// Second half: three contestants per input file, which is removed afterwards.
int runEndToEndFiles(int rounds, const std::string& folder) {
    const std::string bin = talvrin::bench::programFolder();
    std::vector<talvrin::bench::Contestant> contestants = {
        {"talvrin-image", {bin + "/talvrin-image", "convert", "{in}", "{out}"}},
        {"libpng", {bin + "/decode_peer", "libpng", "{in}", "{out}"}},
        {"libspng", {bin + "/decode_peer", "spng", "{in}", "{out}"}},
    };
    talvrin::bench::addEarlierBuild(contestants);
    bool ok = true;
    for (std::size_t plan = 0; plan < kInputCount; ++plan) {
        const std::string file = e2eFile(folder, plan);
        const std::string label = std::string(kInputs[plan].name) + " (" +
                                  std::to_string(talvrin::bench::fileSize(file) / 1024) + " KiB)";
        ok = talvrin::bench::runEndToEnd(label, file, folder, ".prgba", contestants, rounds) && ok;
        std::remove(file.c_str());
    }
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write-inputs") == 0) {
        for (std::size_t plan = 0; plan < kInputCount; ++plan)
            if (!talvrin::bench::writeBytes(e2eFile(argv[2], plan), makeInput(kInputs[plan]).png))
                return 1;
        return 0;
    }
    if (argc >= 2 &&
        (std::strcmp(argv[1], "--e2e") == 0 || std::strcmp(argv[1], "--e2e-files") == 0)) {
        const int rounds = argc >= 3 ? std::atoi(argv[2]) : 9;
        const std::string folder = argc >= 4 ? argv[3] : "/dev/shm";
        if (std::strcmp(argv[1], "--e2e-files") == 0) return runEndToEndFiles(rounds, folder);
        return endToEnd(argv[0], rounds > 0 ? rounds : 9, folder);
    }
    registerUnfilter();
    for (std::size_t plan = 0; plan < kInputCount; ++plan)
        registerSet(plan);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
