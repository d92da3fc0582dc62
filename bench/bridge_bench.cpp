// The imaging-library bridge against the own engine and the peers people reach for, in one run:
// scale 2048² -> 1024², 1024² -> 2048², the thumbnail reductions 5120 x 2880 -> 600 x 337 and
// 6000 x 4000 -> 256 x 171, rotate a 1024² image by 30 degrees. The bridge draws with
// its own resampler (Catmull-Rom, and Lanczos-3 called directly); the peers are libvips
// (vips_resize with the cubic kernel, vips_rotate with the bicubic interpolator, one thread, its
// operation cache off), pixman (the separable cubic convolution the bridge used before: two
// one-dimensional passes, cubic reconstruction with a box of the reduction's width), cairo (best
// filter) and the own engine (bilinear). Every timing is the process's CPU time, so that work a
// library hands to a thread of its own counts.
//
// Each drawing's quality is its PSNR against the truth: the source is a smooth picture sampled at
// pixel centres, so the right output is the same picture sampled at the output's pixel centres,
// computed in double precision. Printed before the timings.
// Also WebP and TIFF decodes through the bridge against the libraries called directly, and the
// nearest-neighbour draws (pixman through the bridge) against the own engine's.
//
//   bridge_bench --e2e [ROUNDS] [DIR]   whole processes: `talvrin-image render` of a 6000 x 4000
//                                       photo-like PNG to 600 x 400 against `vipsthumbnail -s
//                                       600x400` (its default threads, and one), interleaved,
//                                       ROUNDS times (default 5), the file in DIR (default
//                                       /dev/shm); medians of wall and CPU time and their ratios
//                                       (TALVRIN_E2E_BEFORE=path/to/another/talvrin-image adds
//                                       an earlier build to the same run).
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <pixman.h>
#include <tiffio.h>
#include <unistd.h>
#include <vips/vips.h>
#include <webp/decode.h>
#include <webp/encode.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "e2e_runner.h"
#include "image/bridge/resample.h"
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

std::unique_ptr<c32bppDIB> pictureOf(int width, int height) {
    auto dib = std::make_unique<c32bppDIB>();
    dib->InitializeDIB(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = dib->BitsPointer() + pixelOffset(0, y, height, dib->scanWidth());
        for (int x = 0; x < width; ++x) {
            const double u = (x + 0.5) / width, v = (y + 0.5) / height;
            row[4 * x + 2] = byteOf(channel(0, u, v));
            row[4 * x + 1] = byteOf(channel(1, u, v));
            row[4 * x + 0] = byteOf(channel(2, u, v));
            row[4 * x + 3] = 255;
        }
    }
    SurfaceInternals::setAlpha(*dib, false);
    return dib;
}

// The picture at each size a job reads, made once.
c32bppDIB& source(int width, int height) {
    static std::map<std::pair<int, int>, std::unique_ptr<c32bppDIB>> made;
    auto& s = made[{width, height}];
    if (!s) s = pictureOf(width, height);
    return *s;
}

// The source rows top-down (B, G, R, A), as libvips takes them.
const std::vector<std::uint8_t>& topDown(int width, int height) {
    static std::map<std::pair<int, int>, std::vector<std::uint8_t>> made;
    auto& r = made[{width, height}];
    if (r.empty()) {
        const c32bppDIB& s = source(width, height);
        r.resize(std::size_t(width) * height * 4);
        for (int y = 0; y < height; ++y)
            std::memcpy(r.data() + std::size_t(y) * width * 4,
                        s.BitsPointer() + pixelOffset(0, y, height, s.scanWidth()),
                        std::size_t(width) * 4);
    }
    return r;
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

// An output: w x h pixels of B, G, R, A, row y from the top at rows(y).
struct Output {
    int width = 0, height = 0;
    std::function<const std::uint8_t*(int)> row;
};

enum class Way { Engine, Bridge, Lanczos, Pixman, Cairo, Vips };

const char* nameOf(Way w) {
    switch (w) {
        case Way::Engine:
            return "engine bilinear";
        case Way::Bridge:
            return "bridge cubic";
        case Way::Lanczos:
            return "own lanczos3";
        case Way::Pixman:
            return "pixman cubic";
        case Way::Cairo:
            return "cairo best";
        case Way::Vips:
            return "libvips cubic";
    }
    return "";
}

struct Job {
    const char* name;
    int fromWidth, fromHeight, toWidth, toHeight;
    float angle;
    // The drawing's size: the output, or the square that holds it turned.
    [[nodiscard]] int outWidth() const { return angle != 0 ? kRotatedSide : toWidth; }
    [[nodiscard]] int outHeight() const { return angle != 0 ? kRotatedSide : toHeight; }
    static constexpr int kRotatedSide = 1448;  // a 1024 square turned by 30 degrees fits in 1448
};
constexpr Job kJobs[] = {{"scale 2048 -> 1024", 2048, 2048, 1024, 1024, 0},
                         {"scale 1024 -> 2048", 1024, 1024, 2048, 2048, 0},
                         {"scale 5120x2880 -> 600x337", 5120, 2880, 600, 337, 0},
                         {"scale 6000x4000 -> 256x171", 6000, 4000, 256, 171, 0},
                         {"rotate 1024 by 30", 1024, 1024, 1024, 1024, 30}};

// pixman's separable cubic on one axis (scale 0: that axis unfiltered), as the bridge set it.
void setPixmanCubic(pixman_image_t* image, double scaleX, double scaleY) {
    const auto kernels = [](double scale, pixman_kernel_t& r, pixman_kernel_t& s, double& size) {
        if (scale == 0) {
            r = PIXMAN_KERNEL_BOX;
            s = PIXMAN_KERNEL_IMPULSE;
            size = 1;
            return;
        }
        size = std::max(std::fabs(scale), 1.0);
        r = PIXMAN_KERNEL_CUBIC;
        s = size > 1 ? PIXMAN_KERNEL_BOX : PIXMAN_KERNEL_IMPULSE;
    };
    pixman_kernel_t rx, sx, ry, sy;
    double wx = 1, wy = 1;
    kernels(scaleX, rx, sx, wx);
    kernels(scaleY, ry, sy, wy);
    int n = 0;
    pixman_fixed_t* params = pixman_filter_create_separable_convolution(
        &n, pixman_double_to_fixed(wx), pixman_double_to_fixed(wy), rx, ry, sx, sy, 4, 4);
    pixman_image_set_filter(image, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, n);
    std::free(params);
}

pixman_transform_t transformOf(double a, double b, double c, double d, double e, double f) {
    pixman_transform_t t;
    const double m[2][3] = {{a, b, c}, {d, e, f}};
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 3; ++j)
            t.matrix[i][j] = pixman_double_to_fixed(m[i][j]);
    t.matrix[2][0] = t.matrix[2][1] = 0;
    t.matrix[2][2] = pixman_fixed_1;
    return t;
}

// pixman as the bridge drew before: scaling in two passes (across into the drawn columns, then
// down), rotation in one two-dimensional pass.
void drawPixman(c32bppDIB& src, Target& t, const Job& j) {
    const int sw = src.Width(), sh = src.Height();
    const int ow = t.bitmap->width(), oh = t.bitmap->height();
    pixman_image_t* in = pixman_image_create_bits(
        PIXMAN_a8r8g8b8, sw, sh,
        reinterpret_cast<std::uint32_t*>(src.BitsPointer() + std::size_t(sh - 1) * src.scanWidth()),
        -src.scanWidth());
    pixman_image_t* dst = pixman_image_create_bits(
        PIXMAN_a8r8g8b8, ow, oh, reinterpret_cast<std::uint32_t*>(t.bitmap->rowFromTop(0)),
        -t.bitmap->stride());
    const double scaleX = double(sw) / j.toWidth, scaleY = double(sh) / j.toHeight;
    if (j.angle == 0) {
        std::vector<std::uint32_t> across(std::size_t(j.toWidth) * sh);
        pixman_image_t* mid =
            pixman_image_create_bits(PIXMAN_a8r8g8b8, j.toWidth, sh, across.data(), j.toWidth * 4);
        pixman_transform_t t1 = transformOf(scaleX, 0, 0, 0, 1, 0);
        pixman_image_set_transform(in, &t1);
        setPixmanCubic(in, scaleX, 0);
        pixman_image_composite32(PIXMAN_OP_SRC, in, nullptr, mid, 0, 0, 0, 0, 0, 0, j.toWidth, sh);
        pixman_transform_t t2 = transformOf(1, 0, 0, 0, scaleY, 0);
        pixman_image_set_transform(mid, &t2);
        setPixmanCubic(mid, 0, scaleY);
        pixman_image_composite32(PIXMAN_OP_OVER, mid, nullptr, dst, 0, 0, 0, 0, 0, 0, j.toWidth,
                                 j.toHeight);
        pixman_image_unref(mid);
    } else {
        const int s = sw, out = ow;
        const double th = j.angle * 3.14159265358979 / 180, c = std::cos(th), sn = std::sin(th);
        const double cx = out / 2.0, cy = out / 2.0;
        pixman_transform_t tr =
            transformOf(c, sn, -c * cx - sn * cy + s / 2.0, -sn, c, sn * cx - c * cy + s / 2.0);
        pixman_image_set_transform(in, &tr);
        setPixmanCubic(in, 1, 1);
        pixman_image_composite32(PIXMAN_OP_OVER, in, nullptr, dst, 0, 0, 0, 0, 0, 0, out, out);
    }
    pixman_image_unref(in);
    pixman_image_unref(dst);
}

void drawCairo(c32bppDIB& src, Target& t, const Job& j) {
    // cairo sees the bottom-up surface through a flip of its own.
    const int sw = src.Width(), sh = src.Height();
    cairo_surface_t* in = cairo_image_surface_create_for_data(
        src.BitsPointer() + std::size_t(sh - 1) * src.scanWidth(), CAIRO_FORMAT_ARGB32, sw, sh,
        -src.scanWidth());
    cairo_surface_t* out = cairo_image_surface_create_for_data(
        t.bitmap->rowFromTop(0), CAIRO_FORMAT_ARGB32, t.bitmap->width(), t.bitmap->height(),
        -t.bitmap->stride());
    cairo_t* cr = cairo_create(out);
    if (j.angle != 0) {
        cairo_translate(cr, t.bitmap->width() / 2.0, t.bitmap->height() / 2.0);
        cairo_rotate(cr, j.angle * 3.14159265358979 / 180);
        cairo_translate(cr, -j.toWidth / 2.0, -j.toHeight / 2.0);
    }
    cairo_scale(cr, double(j.toWidth) / sw, double(j.toHeight) / sh);
    cairo_set_source_surface(cr, in, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BEST);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(out);
    cairo_surface_destroy(in);
}

// The bridge's resampler with Lanczos-3, called directly with the map the bridge would make.
void drawLanczos(c32bppDIB& src, Target& t, const Job& j) {
    const int sw = src.Width(), sh = src.Height();
    const int ow = t.bitmap->width(), oh = t.bitmap->height();
    const double scaleX = double(sw) / j.toWidth, scaleY = double(sh) / j.toHeight;
    bridge::resample::Map m{scaleX, 0, 0, 0, scaleY, 0};
    if (j.angle != 0) {
        const int s = sw;
        const double scale = scaleX;
        const double th = j.angle * 3.14159265358979 / 180, c = std::cos(th), sn = std::sin(th);
        const double cx = ow / 2.0, cy = oh / 2.0;
        m = {c * scale,   sn * scale, (-c * cx - sn * cy) * scale + s / 2.0,
             -sn * scale, c * scale,  (sn * cx - c * cy) * scale + s / 2.0};
    }
    const bridge::resample::Source in{src.BitsPointer() + std::size_t(sh - 1) * src.scanWidth(),
                                      -static_cast<std::ptrdiff_t>(src.scanWidth()), sw, sh};
    const bridge::resample::Target to{t.bitmap->rowFromTop(0), -t.bitmap->stride(), ow, oh, 4};
    bridge::resample::draw(in, m, bridge::resample::Kernel::kLanczos3, 1, Rect{0, 0, ow, oh}, to);
}

struct VipsUnref {
    void operator()(VipsImage* i) const { g_object_unref(i); }
};
using VipsPtr = std::unique_ptr<VipsImage, VipsUnref>;

// libvips, evaluated into memory; the output's pixels (freed with g_free).
struct VipsResult {
    std::unique_ptr<std::uint8_t, void (*)(void*)> pixels{nullptr, g_free};
    int width = 0, height = 0;
};
VipsResult drawVips(const Job& j) {
    const auto& rows = topDown(j.fromWidth, j.fromHeight);
    VipsPtr in(vips_image_new_from_memory(rows.data(), rows.size(), j.fromWidth, j.fromHeight, 4,
                                          VIPS_FORMAT_UCHAR));
    VipsImage* out = nullptr;
    if (j.angle == 0) {
        vips_resize(in.get(), &out, double(j.toWidth) / j.fromWidth, "vscale",
                    double(j.toHeight) / j.fromHeight, "kernel", VIPS_KERNEL_CUBIC, nullptr);
    } else {
        VipsInterpolate* bicubic = vips_interpolate_new("bicubic");
        vips_rotate(in.get(), &out, j.angle, "interpolate", bicubic, nullptr);
        g_object_unref(bicubic);
    }
    VipsResult r;
    if (!out) return r;
    std::size_t size = 0;
    r.pixels.reset(static_cast<std::uint8_t*>(vips_image_write_to_memory(out, &size)));
    r.width = vips_image_get_width(out);
    r.height = vips_image_get_height(out);
    g_object_unref(out);
    return r;
}

void draw(Way way, c32bppDIB& src, Target& t, const Job& j) {
    switch (way) {
        case Way::Pixman:
            return drawPixman(src, t, j);
        case Way::Cairo:
            return drawCairo(src, t, j);
        case Way::Lanczos:
            return drawLanczos(src, t, j);
        case Way::Vips:
            return;
        case Way::Engine:
        case Way::Bridge:
            break;
    }
    src.setGDIplusEnabled(way == Way::Bridge);
    src.setHighQualityInterpolation(true);
    src.setAlphaBlendFriendly(false);
    if (j.angle != 0) {
        src.Render(t.dc.get(), t.bitmap->width() / 2, t.bitmap->height() / 2, j.toWidth, j.toHeight,
                   0, 0, 0, 0, 100, 0, false, nullptr, -1, 0, j.angle, true);
    } else {
        src.Render(t.dc.get(), 0, 0, j.toWidth, j.toHeight);
    }
}

// PSNR of an output against the truth; pixels where the truth is outside the picture (rotation
// corners) and a two-pixel margin of the picture's edge are left out.
double psnr(const Output& o, const Job& j) {
    const double th = -j.angle * 3.14159265358979 / 180, c = std::cos(th), s = std::sin(th);
    double squares = 0;
    long n = 0;
    for (int y = 0; y < o.height; ++y)
        for (int x = 0; x < o.width; ++x) {
            // The output pixel's centre in the picture's unit square.
            double px = x + 0.5 - o.width / 2.0, py = y + 0.5 - o.height / 2.0;
            if (j.angle != 0) {
                const double rx = c * px - s * py, ry = s * px + c * py;
                px = rx;
                py = ry;
            }
            const double u = px / j.toWidth + 0.5, v = py / j.toHeight + 0.5;
            const double marginU = 2.0 / j.toWidth, marginV = 2.0 / j.toHeight;
            if (!(u > marginU && v > marginV && u < 1 - marginU && v < 1 - marginV)) continue;
            const std::uint8_t* p = o.row(y) + 4 * x;
            for (int k = 0; k < 3; ++k) {
                const double want = std::clamp(channel(k, u, v), 0.0, 1.0) * 255;
                const double got = p[2 - k];
                squares += (got - want) * (got - want);
                ++n;
            }
        }
    return 10 * std::log10(255.0 * 255.0 / (squares / double(n)));
}

constexpr Way kWays[] = {Way::Engine, Way::Bridge, Way::Lanczos,
                         Way::Pixman, Way::Cairo,  Way::Vips};

void printQuality() {
    std::printf("quality (PSNR against the picture sampled in double precision, dB):\n");
    for (const Job& j : kJobs) {
        const int ow = j.outWidth(), oh = j.outHeight();
        for (const Way w : kWays) {
            double q = 0;
            if (w == Way::Vips) {
                const VipsResult r = drawVips(j);
                const std::uint8_t* base = r.pixels.get();
                const int width = r.width;
                q = psnr(
                    {r.width, r.height, [&](int y) { return base + std::size_t(y) * width * 4; }},
                    j);
            } else {
                Target t(ow, oh);
                draw(w, source(j.fromWidth, j.fromHeight), t, j);
                q = psnr({ow, oh, [&](int y) { return t.bitmap->rowFromTop(y); }}, j);
            }
            std::printf("  %-28s %-16s %6.2f\n", j.name, nameOf(w), q);
        }
    }
}

void BM_Draw(benchmark::State& state, Job j, Way w) {
    Target t(j.outWidth(), j.outHeight());
    for (auto _ : state) {
        if (w == Way::Vips) {
            const VipsResult r = drawVips(j);
            benchmark::DoNotOptimize(r.pixels.get());
        } else {
            draw(w, source(j.fromWidth, j.fromHeight), t, j);
            benchmark::DoNotOptimize(t.bitmap->bits());
        }
    }
    state.counters["MP/s"] = benchmark::Counter(
        double(j.toWidth) * j.toHeight * state.iterations() / 1e6, benchmark::Counter::kIsRate);
}

// Nearest-neighbour draws, which the bridge leaves to pixman, against the own engine's.
void BM_Nearest(benchmark::State& state, Job j, bool viaBridge) {
    Target t(j.outWidth(), j.outHeight());
    c32bppDIB& src = source(j.fromWidth, j.fromHeight);
    for (auto _ : state) {
        src.setGDIplusEnabled(viaBridge);
        src.setHighQualityInterpolation(false);
        src.setAlphaBlendFriendly(false);
        if (j.angle != 0) {
            src.Render(t.dc.get(), j.outWidth() / 2, j.outHeight() / 2, j.toWidth, j.toHeight, 0, 0,
                       0, 0, 100, 0, false, nullptr, -1, 0, j.angle, true);
        } else {
            src.Render(t.dc.get(), 0, 0, j.toWidth, j.toHeight);
        }
        benchmark::DoNotOptimize(t.bitmap->bits());
    }
}

// ---- Formats ----

std::vector<std::uint8_t> webpOf(bool lossless) {
    auto& pic = source(1024, 1024);
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
    auto& pic = source(1024, 1024);
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

// ---- End to end ----

std::string e2eFile(const std::string& folder) {
    return folder + "/talvrin_bridge_e2e_6000x4000.png";
}

// The input: the picture at 6000 x 4000 with a little noise, opaque RGB, written by cairo
// (libpng at its default level). Made here, in a process that then replaces itself, so that the
// contestants' peak RSS does not carry it.
int endToEnd(char* self, int rounds, const std::string& folder) {
    const int w = 6000, h = 4000;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    std::uint8_t* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    std::uint32_t noise = 12345;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = data + std::size_t(y) * stride + 4 * x;
            const double u = (x + 0.5) / w, v = (y + 0.5) / h;
            for (int c = 0; c < 3; ++c) {
                noise = noise * 1664525u + 1013904223u;
                p[2 - c] = byteOf(channel(c, u, v) + ((noise >> 24) % 13 - 6) / 255.0);
            }
            p[3] = 255;
        }
    cairo_surface_mark_dirty(s);
    const bool written =
        cairo_surface_write_to_png(s, e2eFile(folder).c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(s);
    if (!written) {
        std::fprintf(stderr, "cannot write %s\n", e2eFile(folder).c_str());
        return 1;
    }
    return talvrin::bench::reexecForFiles(self, rounds, folder);
}

int runEndToEndFiles(int rounds, const std::string& folder) {
    const std::string bin = talvrin::bench::programFolder();
    const std::string in = e2eFile(folder);
    struct Contestant {
        const char* name;
        std::vector<std::string> argv;
    };
    std::vector<Contestant> contestants = {
        {"talvrin-image render",
         {bin + "/talvrin-image", "render", in, folder + "/talvrin_e2e_out.png", "--size",
          "600x400"}},
        {"vipsthumbnail",
         {"/usr/bin/vipsthumbnail", in, "-s", "600x400", "-o", folder + "/vips_e2e_out.png"}},
        {"vipsthumbnail 1 thread",
         {"/usr/bin/env", "VIPS_CONCURRENCY=1", "/usr/bin/vipsthumbnail", in, "-s", "600x400", "-o",
          folder + "/vips1_e2e_out.png"}},
    };
    // Another build of talvrin-image (an earlier revision) in the same run.
    if (const char* before = std::getenv("TALVRIN_E2E_BEFORE"))
        contestants.push_back(
            {"before",
             {before, "render", in, folder + "/before_e2e_out.png", "--size", "600x400"}});
    std::vector<std::vector<double>> wall(contestants.size()), cpu(contestants.size());
    bool ok = true;
    for (int round = 0; round < rounds; ++round)
        for (std::size_t c = 0; c < contestants.size(); ++c) {
            const talvrin::bench::RunResult r = talvrin::bench::runOnce(contestants[c].argv);
            if (!r.ok) {
                std::printf("%s failed\n", contestants[c].name);
                ok = false;
            }
            wall[c].push_back(r.seconds);
            cpu[c].push_back(r.cpuSeconds);
        }
    std::printf("6000 x 4000 PNG (%llu KiB) to 600 x 400, median of %d:\n",
                static_cast<unsigned long long>(talvrin::bench::fileSize(in) / 1024), rounds);
    const double w0 = talvrin::bench::median(wall[0]), c0 = talvrin::bench::median(cpu[0]);
    for (std::size_t c = 0; c < contestants.size(); ++c) {
        const double wc = talvrin::bench::median(wall[c]), cc = talvrin::bench::median(cpu[c]);
        std::printf("  %-24s wall %7.1f ms  CPU %7.1f ms", contestants[c].name, wc * 1e3, cc * 1e3);
        if (c != 0) std::printf("   talvrin / this: wall %.2f x, CPU %.2f x", w0 / wc, c0 / cc);
        std::printf("\n");
    }
    for (const char* out :
         {"/talvrin_e2e_out.png", "/vips_e2e_out.png", "/vips1_e2e_out.png", "/before_e2e_out.png"})
        std::remove((folder + out).c_str());
    std::remove(in.c_str());
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 &&
        (std::strcmp(argv[1], "--e2e") == 0 || std::strcmp(argv[1], "--e2e-files") == 0)) {
        const int rounds = argc >= 3 && std::atoi(argv[2]) > 0 ? std::atoi(argv[2]) : 5;
        const std::string folder = argc >= 4 ? argv[3] : "/dev/shm";
        if (std::strcmp(argv[1], "--e2e-files") == 0) return runEndToEndFiles(rounds, folder);
        return endToEnd(argv[0], rounds, folder);
    }
    if (VIPS_INIT(argv[0])) return 1;
    vips_concurrency_set(1);
    vips_cache_set_max(0);
    printQuality();
    for (const Job& j : kJobs)
        for (const Way w : kWays)
            benchmark::RegisterBenchmark((std::string(j.name) + " / " + nameOf(w)).c_str(), BM_Draw,
                                         j, w)
                ->Unit(benchmark::kMillisecond)
                ->MeasureProcessCPUTime();
    for (const Job& j : kJobs)
        for (const bool viaBridge : {true, false})
            benchmark::RegisterBenchmark(
                (std::string(j.name) + " / nearest " + (viaBridge ? "bridge (pixman)" : "engine"))
                    .c_str(),
                BM_Nearest, j, viaBridge)
                ->Unit(benchmark::kMillisecond)
                ->MeasureProcessCPUTime();
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
    vips_shutdown();
    return 0;
}
