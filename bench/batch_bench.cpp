// talvrin-image's batch conversion on one processor against all of them: 417 PNG files of
// photo-like content (320 x 240 to 800 x 600) made in a temporary folder, converted to PNG with
// `convert IN... --out-dir DIR --format png --jobs N`, for N = 1 and N = the processors, in
// interleaved rounds. Prints each run's wall time and the children's processor time (their sum
// over the wall time is how many processors were busy), the medians and the speed-up.
//
//   batch_bench [ROUNDS] [FOLDER]     default 3 rounds in /dev/shm (else the temporary folder)
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "e2e_runner.h"
#include "image/codecs/png_writer.h"
#include "image/surface/c32bpp_dib.h"

namespace {

namespace fs = std::filesystem;
constexpr int kFiles = 417;

// A smooth picture with some grain, so that the encoder has real work (no flat colour).
std::vector<std::uint8_t> pictureAsPng(int index) {
    const int w = 320 + (index * 37) % 481, h = 240 + (index * 53) % 361;
    talvrin::c32bppDIB image;
    if (!image.InitializeDIB(w, h)) return {};
    std::uint32_t seed = static_cast<std::uint32_t>(index) * 2654435761u + 1;
    std::uint8_t* p = image.BitsPointer();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x, p += 4) {
            seed = seed * 1103515245u + 12345u;
            const int grain = static_cast<int>(seed >> 28) - 8;
            p[0] = static_cast<std::uint8_t>(std::clamp(x * 255 / w + grain, 0, 255));
            p[1] = static_cast<std::uint8_t>(std::clamp(y * 255 / h + grain, 0, 255));
            p[2] = static_cast<std::uint8_t>(std::clamp((x + y + index) % 256 + grain, 0, 255));
            p[3] = 255;
        }
    image.MakeTransparent(0, true);
    std::vector<std::uint8_t> png;
    talvrin::cPNGwriter().WritePNG(image, png);
    return png;
}

double childCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const fs::path base = argc > 2                      ? fs::path(argv[2])
                          : fs::is_directory("/dev/shm") ? fs::path("/dev/shm")
                                                         : fs::temp_directory_path();
    const fs::path in = base / "talvrin_batch_bench_in", out = base / "talvrin_batch_bench_out";
    fs::remove_all(in);
    fs::remove_all(out);
    fs::create_directories(in);
    fs::create_directories(out);
    std::string files;
    std::uintmax_t bytes = 0;
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = (in / ("picture" + std::to_string(i) + ".png")).string();
        if (!talvrin::bench::writeBytes(name, pictureAsPng(i))) {
            std::fprintf(stderr, "cannot write %s\n", name.c_str());
            return 1;
        }
        bytes += fs::file_size(name);
        files += " " + name;
    }
    const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
    std::printf("%d PNG files, %.1f MB, converted to PNG; %u processors\n", kFiles,
                static_cast<double>(bytes) / 1e6, processors);
    const std::string tool = talvrin::bench::programFolder() + "/talvrin-image";
    std::vector<double> wall[2], cpu[2];
    const unsigned jobs[2] = {1, processors};
    for (int r = 0; r < rounds; ++r)
        for (int j = 0; j < 2; ++j) {
            const std::string command = tool + " convert" + files + " --out-dir " + out.string() +
                                        " --format png --jobs " + std::to_string(jobs[j]);
            const double cpuBefore = childCpuSeconds();
            const auto start = std::chrono::steady_clock::now();
            const int status = std::system(command.c_str());
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (status != 0) {
                std::fprintf(stderr, "talvrin-image failed (%d)\n", status);
                return 1;
            }
            wall[j].push_back(seconds);
            cpu[j].push_back(childCpuSeconds() - cpuBefore);
            std::printf("round %d  --jobs %u  wall %.2f s  cpu %.2f s  busy %.2f processors\n",
                        r + 1, jobs[j], seconds, cpu[j].back(), cpu[j].back() / seconds);
        }
    std::printf("median wall: --jobs 1 %.2f s, --jobs %u %.2f s: %.2fx as fast\n", median(wall[0]),
                processors, median(wall[1]), median(wall[0]) / median(wall[1]));
    fs::remove_all(in);
    fs::remove_all(out);
    return 0;
}
