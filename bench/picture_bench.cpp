// Picture loading: a 4096 x 4096 JPEG through our decoder against libjpeg-turbo alone (same
// output layout, so the difference is our overhead), and a 24-bit 4096 x 4096 BMP through the
// BMP decoder; both also through the whole cBMPparser route (loader, picture, surface, alpha).
// And the JPEG loaded for a 512 x 512 drawing (decoded at 1/8 scale and resampled) against the
// full load drawn at that size with high quality.
// Inputs are made once per run: a smooth gradient with a fine pattern, JPEG quality 90.
//
//   picture_bench [benchmark options]   in-process figures
//   picture_bench --e2e [ROUNDS] [DIR]  end to end: the JPEG as a file in DIR (default
//                                       /dev/shm), talvrin-image convert IN OUT.rgba against
//                                       libjpeg-turbo decoding straight to RGBA and writing the
//                                       same bytes (decode_peer jpeg), each a fresh process;
//                                       median wall time and peak RSS of ROUNDS interleaved runs
//                                       (default 9; TALVRIN_E2E_BEFORE=PATH adds that
//                                       talvrin-image too)
//   picture_bench --write-inputs DIR    only writes the JPEG as a file into DIR (for profiling)
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "e2e_runner.h"
#include "image/codecs/bmp_parser.h"
#include "image/surface/c32bpp_dib.h"
#include "platform/picture/bmp_decoder.h"
#include "platform/picture/jpeg_decoder.h"

namespace {

constexpr int kSide = 4096;
constexpr double kMegapixels = double(kSide) * kSide / 1e6;

std::uint8_t sampleAt(int x, int y, int k) {
    return static_cast<std::uint8_t>((x * (k + 1) + y * (3 - k) + ((x ^ y) & 15)) & 255);
}

const std::vector<std::uint8_t>& jpegFile() {
    static const std::vector<std::uint8_t> file = [] {
        jpeg_compress_struct c{};
        jpeg_error_mgr err{};
        c.err = jpeg_std_error(&err);
        jpeg_create_compress(&c);
        unsigned char* out = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&c, &out, &size);
        c.image_width = kSide;
        c.image_height = kSide;
        c.input_components = 3;
        c.in_color_space = JCS_RGB;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, 90, TRUE);
        jpeg_start_compress(&c, TRUE);
        std::vector<JSAMPLE> row(kSide * 3);
        while (c.next_scanline < c.image_height) {
            const int y = static_cast<int>(c.next_scanline);
            for (int x = 0; x < kSide; ++x)
                for (int k = 0; k < 3; ++k)
                    row[x * 3 + k] = sampleAt(x, y, k);
            JSAMPROW r = row.data();
            jpeg_write_scanlines(&c, &r, 1);
        }
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        std::vector<std::uint8_t> bytes(out, out + size);
        std::free(out);
        return bytes;
    }();
    return file;
}

const std::vector<std::uint8_t>& bmpFile() {
    static const std::vector<std::uint8_t> file = [] {
        const std::size_t stride = kSide * 3;  // already a multiple of 4
        std::vector<std::uint8_t> b(54 + stride * kSide, 0);
        auto put32 = [&](std::size_t at, std::uint32_t v) {
            for (int i = 0; i < 4; ++i)
                b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        };
        b[0] = 'B';
        b[1] = 'M';
        put32(2, static_cast<std::uint32_t>(b.size()));
        put32(10, 54);
        put32(14, 40);
        put32(18, kSide);
        put32(22, kSide);
        b[26] = 1;
        b[28] = 24;
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x)
                for (int k = 0; k < 3; ++k)
                    b[54 + y * stride + x * 3 + k] = sampleAt(x, y, k);
        return b;
    }();
    return file;
}

void setRate(benchmark::State& state) {
    state.counters["MP/s"] = benchmark::Counter(
        kMegapixels * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// libjpeg-turbo alone, writing B, G, R, A rows into one buffer: the peer of our decoder.
struct PeerError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

// freshBuffer: a new output buffer for every decode, as any caller keeping the pixels needs;
// otherwise one buffer, already in memory, is reused.
void jpegPeer(benchmark::State& state, bool freshBuffer) {
    const auto& file = jpegFile();
    std::vector<std::uint8_t> pixels(std::size_t{kSide} * kSide * 4);
    for (auto _ : state) {
        if (freshBuffer) pixels = std::vector<std::uint8_t>(std::size_t{kSide} * kSide * 4);
        jpeg_decompress_struct d{};
        PeerError err{};
        d.err = jpeg_std_error(&err.pub);
        err.pub.error_exit = [](j_common_ptr c) {
            std::longjmp(reinterpret_cast<PeerError*>(c->err)->jump, 1);
        };
        if (setjmp(err.jump)) {
            jpeg_destroy_decompress(&d);
            state.SkipWithError("libjpeg-turbo failed");
            break;
        }
        jpeg_create_decompress(&d);
        jpeg_mem_src(&d, file.data(), file.size());
        jpeg_read_header(&d, TRUE);
        d.out_color_space = JCS_EXT_BGRA;
        jpeg_start_decompress(&d);
        while (d.output_scanline < d.output_height) {
            JSAMPROW row = pixels.data() + std::size_t{d.output_scanline} * kSide * 4;
            jpeg_read_scanlines(&d, &row, 1);
        }
        jpeg_finish_decompress(&d);
        jpeg_destroy_decompress(&d);
        benchmark::DoNotOptimize(pixels.data());
    }
    setRate(state);
}

void BM_Jpeg4096_LibjpegTurboAlone(benchmark::State& state) {
    jpegPeer(state, false);
}

void BM_Jpeg4096_LibjpegTurboAloneFreshBuffer(benchmark::State& state) {
    jpegPeer(state, true);
}

void BM_Jpeg4096_OurDecoder(benchmark::State& state) {
    const auto& file = jpegFile();
    for (auto _ : state) {
        auto bitmap = talvrin::platform::decodeJpeg({file.data(), file.size()}).image;
        if (!bitmap) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(bitmap.get());
    }
    setRate(state);
}

void BM_Jpeg4096_ThroughBmpParser(benchmark::State& state) {
    const auto& file = jpegFile();
    for (auto _ : state) {
        talvrin::c32bppDIB dib;
        if (!talvrin::cBMPparser().LoadStream(file, dib, 0, static_cast<std::int32_t>(file.size())))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(dib.BitsPointer());
    }
    setRate(state);
}

void BM_Jpeg4096_LoadedFor512(benchmark::State& state) {
    const auto& file = jpegFile();
    for (auto _ : state) {
        talvrin::c32bppDIB dib;
        if (!dib.LoadPicture_StreamForSize(file, 512, 512) || dib.Width() != 512)
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(dib.BitsPointer());
    }
    setRate(state);
}

void BM_Jpeg4096_LoadedThenDrawnAt512(benchmark::State& state) {
    const auto& file = jpegFile();
    for (auto _ : state) {
        talvrin::c32bppDIB dib, small;
        if (!dib.LoadPicture_Stream(file) || !small.InitializeDIB(512, 512))
            state.SkipWithError("load failed");
        dib.setHighQualityInterpolation(true);
        dib.Render(nullptr, 0, 0, 512, 512, 0, 0, 0, 0, 100, 0, true, &small);
        benchmark::DoNotOptimize(small.BitsPointer());
    }
    setRate(state);
}

void BM_Bmp24_4096_OurDecoder(benchmark::State& state) {
    const auto& file = bmpFile();
    for (auto _ : state) {
        auto bitmap = talvrin::platform::decodeBmp({file.data(), file.size()}).image;
        if (!bitmap) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(bitmap.get());
    }
    setRate(state);
}

void BM_Bmp24_4096_ThroughBmpParser(benchmark::State& state) {
    const auto& file = bmpFile();
    for (auto _ : state) {
        talvrin::c32bppDIB dib;
        if (!talvrin::cBMPparser().LoadStream(file, dib, 0, static_cast<std::int32_t>(file.size())))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(dib.BitsPointer());
    }
    setRate(state);
}

}  // namespace

BENCHMARK(BM_Jpeg4096_LibjpegTurboAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg4096_LibjpegTurboAloneFreshBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg4096_OurDecoder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg4096_ThroughBmpParser)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg4096_LoadedFor512)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg4096_LoadedThenDrawnAt512)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bmp24_4096_OurDecoder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bmp24_4096_ThroughBmpParser)->Unit(benchmark::kMillisecond);
namespace {

std::string e2eFile(const std::string& folder) {
    return folder + "/talvrin_e2e_photo_4096.jpg";
}

// The end-to-end run: the input is made here, then the runs start afresh (reexecForFiles).
int endToEnd(char* self, int rounds, const std::string& folder) {
    if (!talvrin::bench::writeBytes(e2eFile(folder), jpegFile())) return 1;
    return talvrin::bench::reexecForFiles(self, rounds, folder);
}

int runEndToEndFiles(int rounds, const std::string& folder) {
    const std::string bin = talvrin::bench::programFolder();
    std::vector<talvrin::bench::Contestant> contestants = {
        {"talvrin-image", {bin + "/talvrin-image", "convert", "{in}", "{out}"}},
        {"libjpeg-turbo", {bin + "/decode_peer", "jpeg", "{in}", "{out}"}},
    };
    talvrin::bench::addEarlierBuild(contestants);
    const std::string file = e2eFile(folder);
    const std::string label =
        "jpeg_4096 (" + std::to_string(talvrin::bench::fileSize(file) / 1024) + " KiB)";
    const bool ok = talvrin::bench::runEndToEnd(label, file, folder, ".rgba", contestants, rounds);
    std::remove(file.c_str());
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write-inputs") == 0)
        return talvrin::bench::writeBytes(e2eFile(argv[2]), jpegFile()) ? 0 : 1;
    if (argc >= 2 &&
        (std::strcmp(argv[1], "--e2e") == 0 || std::strcmp(argv[1], "--e2e-files") == 0)) {
        const int rounds = argc >= 3 ? std::atoi(argv[2]) : 9;
        const std::string folder = argc >= 4 ? argv[3] : "/dev/shm";
        if (std::strcmp(argv[1], "--e2e-files") == 0) return runEndToEndFiles(rounds, folder);
        return endToEnd(argv[0], rounds > 0 ? rounds : 9, folder);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
