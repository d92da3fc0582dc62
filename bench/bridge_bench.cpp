// The imaging-library bridge against the own engine, and against cairo doing the same drawing:
// scale 2048² -> 1024², 1024² -> 2048², rotate a 1024² image by 30 degrees. Each drawing's
// quality is its PSNR against the truth: the source is a smooth picture sampled at pixel centres,
// so the right output is the same picture sampled at the output's pixel centres, computed in
// double precision. Printed before the timings; the timings compare the three in one run.
// Also WebP and TIFF decodes through the bridge against the libraries called directly.
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <tiffio.h>
#include <unistd.h>
#include <webp/decode.h>
#include <webp/encode.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include "image/surface/c32bpp_dib.h"
#include "image/surface/c32bpp_dib_internal.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"

namespace {

using namespace talvrin;

// The picture: smooth colour fields with detail at a few pixels' scale, opaque. Coordinates are
// in the unit square, so that every size samples the same picture.
double channel(int c, double u, double v) {
    const double pi = 3.14159265358979;
    switch (c) {
        case 0:
            return 0.5 + 0.35 * std::sin(2 * pi * (3 * u + 0.5 * v)) +
                   0.1 * std::sin(2 * pi * 90 * u);
        case 1:
            return 0.5 + 0.3 * std::cos(2 * pi * (2 * v - u)) + 0.1 * std::sin(2 * pi * 70 * v);
        default:
            return 0.5 + 0.4 * std::sin(2 * pi * (u * u + v * v) * 2);
    }
}
std::uint8_t byteOf(double x) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(x, 0.0, 1.0) * 255));
}

std::unique_ptr<c32bppDIB> pictureOf(int size) {
    auto dib = std::make_unique<c32bppDIB>();
    dib->InitializeDIB(size, size);
    for (int y = 0; y < size; ++y) {
        std::uint8_t* row = dib->BitsPointer() + pixelOffset(0, y, size, dib->scanWidth());
        for (int x = 0; x < size; ++x) {
            const double u = (x + 0.5) / size, v = (y + 0.5) / size;
            row[4 * x + 2] = byteOf(channel(0, u, v));
            row[4 * x + 1] = byteOf(channel(1, u, v));
            row[4 * x + 0] = byteOf(channel(2, u, v));
            row[4 * x + 3] = 255;
        }
    }
    SurfaceInternals::setAlpha(*dib, false);
    return dib;
}

// A 32-bit context of the output size.
struct Target {
    explicit Target(int w, int h)
        : bitmap(platform::Bitmap::create(w, h, 32)),
          dc(platform::DeviceContext::createCompatible()) {
        dc->select(bitmap.get());
    }
    std::unique_ptr<platform::Bitmap> bitmap;
    std::unique_ptr<platform::DeviceContext> dc;
};

// PSNR of a drawing against the truth; pixels where the truth is outside the picture (rotation
// corners) and a two-pixel margin of the picture's edge are left out.
double psnr(const Target& t, const std::function<bool(int, int, double&, double&)>& truthAt) {
    double squares = 0;
    long n = 0;
    for (int y = 0; y < t.bitmap->height(); ++y)
        for (int x = 0; x < t.bitmap->width(); ++x) {
            double u = 0, v = 0;
            if (!truthAt(x, y, u, v)) continue;
            const std::uint8_t* p = t.bitmap->rowFromTop(y) + 4 * x;
            for (int c = 0; c < 3; ++c) {
                const double want = std::clamp(channel(c, u, v), 0.0, 1.0) * 255;
                const double got = p[2 - c];
                squares += (got - want) * (got - want);
                ++n;
            }
        }
    return 10 * std::log10(255.0 * 255.0 / (squares / double(n)));
}

// The three ways of drawing: the own engine (bilinear), the bridge (bicubic), cairo (best).
enum class Way { Engine, Bridge, Cairo };

void draw(Way way, c32bppDIB& src, Target& t, int w, int h, float angle) {
    if (way == Way::Cairo) {
        // cairo sees the bottom-up surface through a flip of its own.
        const int s = src.Width();
        cairo_surface_t* in = cairo_image_surface_create_for_data(
            src.BitsPointer() + std::size_t(s - 1) * src.scanWidth(), CAIRO_FORMAT_ARGB32, s, s,
            -src.scanWidth());
        cairo_surface_t* out = cairo_image_surface_create_for_data(
            t.bitmap->rowFromTop(0), CAIRO_FORMAT_ARGB32, t.bitmap->width(), t.bitmap->height(),
            -t.bitmap->stride());
        cairo_t* cr = cairo_create(out);
        if (angle != 0) {
            cairo_translate(cr, t.bitmap->width() / 2.0, t.bitmap->height() / 2.0);
            cairo_rotate(cr, angle * 3.14159265358979 / 180);
            cairo_translate(cr, -w / 2.0, -h / 2.0);
        }
        cairo_scale(cr, double(w) / s, double(h) / s);
        cairo_set_source_surface(cr, in, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BEST);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_destroy(out);
        cairo_surface_destroy(in);
        return;
    }
    src.setGDIplusEnabled(way == Way::Bridge);
    src.setHighQualityInterpolation(true);
    src.setAlphaBlendFriendly(false);
    if (angle != 0) {
        src.Render(t.dc.get(), t.bitmap->width() / 2, t.bitmap->height() / 2, w, h, 0, 0, 0, 0, 100,
                   0, false, nullptr, -1, 0, angle, true);
    } else {
        src.Render(t.dc.get(), 0, 0, w, h);
    }
}

const char* nameOf(Way w) {
    return w == Way::Engine   ? "engine bilinear"
           : w == Way::Bridge ? "bridge bicubic"
                              : "cairo best";
}

struct Job {
    const char* name;
    int from, to;
    float angle;
};
constexpr Job kJobs[] = {{"scale 2048 -> 1024", 2048, 1024, 0},
                         {"scale 1024 -> 2048", 1024, 2048, 0},
                         {"rotate 1024 by 30", 1024, 1024, 30}};

c32bppDIB& source(int size) {
    static auto s1024 = pictureOf(1024);
    static auto s2048 = pictureOf(2048);
    return size == 1024 ? *s1024 : *s2048;
}

void printQuality() {
    std::printf("quality (PSNR against the picture sampled in double precision, dB):\n");
    for (const Job& j : kJobs) {
        const int out = j.angle != 0 ? 1448 : j.to;  // a rotated 1024 square fits in 1448
        for (const Way w : {Way::Engine, Way::Bridge, Way::Cairo}) {
            Target t(out, out);
            draw(w, source(j.from), t, j.to, j.to, j.angle);
            const double th = -j.angle * 3.14159265358979 / 180, c = std::cos(th), s = std::sin(th);
            const double q = psnr(t, [&](int x, int y, double& u, double& v) {
                // The output pixel's centre in the picture's unit square.
                double px = x + 0.5 - out / 2.0, py = y + 0.5 - out / 2.0;
                if (j.angle != 0) {
                    const double rx = c * px - s * py, ry = s * px + c * py;
                    px = rx;
                    py = ry;
                }
                u = px / j.to + 0.5;
                v = py / j.to + 0.5;
                const double margin = 2.0 / j.to;
                return u > margin && v > margin && u < 1 - margin && v < 1 - margin;
            });
            std::printf("  %-20s %-16s %6.2f\n", j.name, nameOf(w), q);
        }
    }
}

void BM_Draw(benchmark::State& state, Job j, Way w) {
    const int out = j.angle != 0 ? 1448 : j.to;
    Target t(out, out);
    for (auto _ : state) {
        draw(w, source(j.from), t, j.to, j.to, j.angle);
        benchmark::DoNotOptimize(t.bitmap->bits());
    }
    state.counters["MP/s"] = benchmark::Counter(double(j.to) * j.to * state.iterations() / 1e6,
                                                benchmark::Counter::kIsRate);
}

// ---- Formats ----

std::vector<std::uint8_t> webpOf(bool lossless) {
    auto& pic = source(1024);
    std::vector<std::uint8_t> bgra(std::size_t(1024) * 1024 * 4);
    for (int y = 0; y < 1024; ++y)
        std::memcpy(bgra.data() + std::size_t(y) * 4096,
                    pic.BitsPointer() + pixelOffset(0, y, 1024, pic.scanWidth()), 4096);
    std::uint8_t* out = nullptr;
    const std::size_t n = lossless ? WebPEncodeLosslessBGRA(bgra.data(), 1024, 1024, 4096, &out)
                                   : WebPEncodeBGRA(bgra.data(), 1024, 1024, 4096, 85, &out);
    std::vector<std::uint8_t> file(out, out + n);
    WebPFree(out);
    return file;
}

std::vector<std::uint8_t> tiffOf() {
    auto& pic = source(1024);
    const auto path = std::filesystem::temp_directory_path() /
                      ("talvrin_bench_" + std::to_string(::getpid()) + ".tif");
    TIFF* t = TIFFOpen(path.c_str(), "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 1024);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, 1024);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 16);
    std::vector<std::uint8_t> row(1024 * 3);
    for (int y = 0; y < 1024; ++y) {
        const std::uint8_t* p = pic.BitsPointer() + pixelOffset(0, y, 1024, pic.scanWidth());
        for (int x = 0; x < 1024; ++x) {
            row[3 * x] = p[4 * x + 2];
            row[3 * x + 1] = p[4 * x + 1];
            row[3 * x + 2] = p[4 * x];
        }
        TIFFWriteScanline(t, row.data(), std::uint32_t(y), 0);
    }
    TIFFClose(t);
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    std::filesystem::remove(path);
    return bytes;
}

void BM_WebpThroughTheBridge(benchmark::State& state, bool lossless) {
    const auto file = webpOf(lossless);
    for (auto _ : state) {
        c32bppDIB dib;
        if (!dib.LoadPicture_Stream(file)) state.SkipWithError("did not load");
        benchmark::DoNotOptimize(dib.BitsPointer());
    }
}
void BM_WebpLibraryAlone(benchmark::State& state, bool lossless) {
    const auto file = webpOf(lossless);
    std::vector<std::uint8_t> out(std::size_t(1024) * 1024 * 4);
    for (auto _ : state) {
        if (!WebPDecodeBGRAInto(file.data(), file.size(), out.data(), out.size(), 4096))
            state.SkipWithError("did not decode");
        benchmark::DoNotOptimize(out.data());
    }
}
void BM_TiffThroughTheBridge(benchmark::State& state) {
    const auto file = tiffOf();
    for (auto _ : state) {
        c32bppDIB dib;
        if (!dib.LoadPicture_Stream(file)) state.SkipWithError("did not load");
        benchmark::DoNotOptimize(dib.BitsPointer());
    }
}
void BM_TiffLibraryAlone(benchmark::State& state) {
    const auto file = tiffOf();
    const auto path = std::filesystem::temp_directory_path() /
                      ("talvrin_bench_r" + std::to_string(::getpid()) + ".tif");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    std::vector<std::uint32_t> raster(std::size_t(1024) * 1024);
    for (auto _ : state) {
        TIFF* t = TIFFOpen(path.c_str(), "r");
        TIFFReadRGBAImageOriented(t, 1024, 1024, raster.data(), ORIENTATION_TOPLEFT, 1);
        TIFFClose(t);
        benchmark::DoNotOptimize(raster.data());
    }
    std::filesystem::remove(path);
}

}  // namespace

int main(int argc, char** argv) {
    printQuality();
    for (const Job& j : kJobs)
        for (const Way w : {Way::Engine, Way::Bridge, Way::Cairo})
            benchmark::RegisterBenchmark((std::string(j.name) + " / " + nameOf(w)).c_str(), BM_Draw,
                                         j, w)
                ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("webp lossless 1024 / bridge", BM_WebpThroughTheBridge, true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("webp lossless 1024 / libwebp alone", BM_WebpLibraryAlone, true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("webp lossy 1024 / bridge", BM_WebpThroughTheBridge, false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("webp lossy 1024 / libwebp alone", BM_WebpLibraryAlone, false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("tiff lzw 1024 / bridge", BM_TiffThroughTheBridge)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("tiff lzw 1024 / libtiff alone", BM_TiffLibraryAlone)
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
