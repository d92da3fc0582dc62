// Thumbnails as people make them, whole processes against vipsthumbnail (libvips-tools):
//
//   5120 x 2880 PNG to fit 600 x 400    talvrin-image convert --resize 600x400,
//                                       talvrin-image render --size 600x400,
//                                       vipsthumbnail -s 600x400
//   6000 x 4000 JPEG (quality 90), the same three
//   20 JPEGs of 3000 x 2000 to fit 256 x 256 in one call: talvrin-image convert --out-dir,
//                                       vipsthumbnail over the same files
//
// Every output is PNG, at zlib level 6 by default for both tools; the single files also run
// talvrin-image with --level 9, which shows what the smallest form costs. The inputs are
// made here from a seeded photo-like picture (smooth colour fields, soft edges, fine texture and
// sensor-like noise) and removed afterwards; they are never kept. The contestants run in turn, once
// per round (ROUNDS rounds, default 5), each a fresh process; the report gives the medians of wall
// time, CPU time (user and system, all threads) and peak resident memory, and their ratios to
// vipsthumbnail's.
//
//   thumbnail_bench [ROUNDS] [DIR]      the files in DIR (default /dev/shm)
//   thumbnail_bench --write-inputs DIR  only writes the inputs into DIR (for profiling)
//
// TALVRIN_E2E_BEFORE=path/to/another/talvrin-image runs that build's convert and render too
// (an earlier revision, say), so that a change is measured in the same run.
// (jpeglib.h needs size_t and FILE first.)
#include <cstddef>
#include <cstdio>
//
#include <jpeglib.h>
#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "e2e_runner.h"

namespace {

using talvrin::bench::median;
using talvrin::bench::runOnce;
using talvrin::bench::RunResult;

// ---- The picture ----

// A photo-like picture of w x h: three smooth colour fields, a few soft-edged discs, a fine
// texture and per-pixel noise, all from the seed. Rows top-down, R, G, B.
class Picture {
  public:
    Picture(int w, int h, std::uint32_t seed) : w_(w), h_(h), state_(seed) {
        const double pi = 3.14159265358979;
        for (int c = 0; c < 3; ++c) {
            const double fu = 1 + next() % 4, fv = 1 + next() % 3, phase = next() % 628 / 100.0;
            colU_[c].resize(std::size_t(w));
            rowV_[c].resize(std::size_t(h));
            for (int x = 0; x < w; ++x)
                colU_[c][std::size_t(x)] = std::sin(2 * pi * fu * (x + 0.5) / w + phase);
            for (int y = 0; y < h; ++y)
                rowV_[c][std::size_t(y)] = std::cos(2 * pi * fv * (y + 0.5) / h + c);
        }
        texture_.resize(std::size_t(w));
        for (int x = 0; x < w; ++x)
            texture_[std::size_t(x)] = std::sin(2 * pi * (x + 0.5) / 7.3);
        for (Disc& d : discs_) {
            d.x = next() % w;
            d.y = next() % h;
            d.r = h / 12 + next() % (h / 5);
            for (int c = 0; c < 3; ++c)
                d.colour[c] = static_cast<int>(next() % 256);
        }
    }

    // Row y's pixels.
    void row(int y, std::uint8_t* rgb) {
        for (int x = 0; x < w_; ++x) {
            double v[3];
            for (int c = 0; c < 3; ++c)
                v[c] = 128 + 70 * colU_[c][std::size_t(x)] * rowV_[c][std::size_t(y)] +
                       12 * texture_[std::size_t(x)] * rowV_[(c + 1) % 3][std::size_t(y)];
            for (const Disc& d : discs_) {
                const double dx = x - d.x, dy = y - d.y;
                const double edge = std::sqrt(dx * dx + dy * dy) - d.r;
                if (edge >= 4) continue;
                const double cover = edge <= -4 ? 1 : (4 - edge) / 8;  // a soft edge
                for (int c = 0; c < 3; ++c)
                    v[c] += cover * (d.colour[c] - v[c]);
            }
            for (int c = 0; c < 3; ++c) {
                const double noise = static_cast<int>(next() % 9) - 4;
                rgb[3 * x + c] =
                    static_cast<std::uint8_t>(std::lround(std::clamp(v[c] + noise, 0.0, 255.0)));
            }
        }
    }

  private:
    struct Disc {
        int x = 0, y = 0, r = 0;
        int colour[3] = {};
    };
    std::uint32_t next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    int w_, h_;
    std::uint32_t state_;
    std::vector<double> colU_[3], rowV_[3], texture_;
    Disc discs_[6];
};

bool writePng(const std::string& path, int w, int h, std::uint32_t seed) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, std::uint32_t(w), std::uint32_t(h), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    Picture picture(w, h, seed);
    std::vector<std::uint8_t> row(std::size_t(w) * 3);
    for (int y = 0; y < h; ++y) {
        picture.row(y, row.data());
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

bool writeJpeg(const std::string& path, int w, int h, std::uint32_t seed) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    Picture picture(w, h, seed);
    std::vector<std::uint8_t> row(std::size_t(w) * 3);
    while (c.next_scanline < c.image_height) {
        picture.row(int(c.next_scanline), row.data());
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return std::fclose(f) == 0;
}

// ---- The inputs ----

constexpr int kBatch = 20;

std::string pngInput(const std::string& dir) {
    return dir + "/talvrin_thumb_5120x2880.png";
}
std::string jpegInput(const std::string& dir) {
    return dir + "/talvrin_thumb_6000x4000.jpg";
}
std::string batchFolder(const std::string& dir) {
    return dir + "/talvrin_thumb_batch";
}
std::string batchInput(const std::string& dir, int i) {
    return batchFolder(dir) + "/photo_" + std::to_string(i) + ".jpg";
}
std::string outFolder(const std::string& dir) {
    return dir + "/talvrin_thumb_out";
}

bool writeInputs(const std::string& dir) {
    ::mkdir(batchFolder(dir).c_str(), 0755);
    ::mkdir(outFolder(dir).c_str(), 0755);
    bool ok = writePng(pngInput(dir), 5120, 2880, 1) && writeJpeg(jpegInput(dir), 6000, 4000, 2);
    for (int i = 0; ok && i < kBatch; ++i)
        ok = writeJpeg(batchInput(dir, i), 3000, 2000, 100 + std::uint32_t(i));
    if (!ok) std::fprintf(stderr, "cannot write the inputs into %s\n", dir.c_str());
    return ok;
}

// Writes the inputs, then replaces this process by its second half (see e2e_runner.h: the
// contestants' peak memory must not carry what making the inputs took).
int makeInputs(char* self, int rounds, const std::string& dir) {
    if (!writeInputs(dir)) return 1;
    return talvrin::bench::reexecForFiles(self, rounds, dir);
}

// ---- The runs ----

struct Contestant {
    std::string name;
    std::vector<std::string> argv;
};

struct Figures {
    double wall = 0, cpu = 0;
    long rssKiB = 0;
};

// Runs the contestants in turn, `rounds` times; the last one is the reference the ratios are to.
bool runCase(const std::string& label, const std::vector<Contestant>& contestants, int rounds,
             const char* goal) {
    std::vector<std::vector<RunResult>> runs(contestants.size());
    bool ok = true;
    for (int round = 0; round < rounds; ++round)
        for (std::size_t c = 0; c < contestants.size(); ++c) {
            const RunResult r = runOnce(contestants[c].argv);
            if (!r.ok) {
                std::printf("%s: %s failed\n", label.c_str(), contestants[c].name.c_str());
                ok = false;
            }
            runs[c].push_back(r);
        }
    std::vector<Figures> figures;
    for (const auto& rs : runs) {
        std::vector<double> wall, cpu;
        std::vector<long> rss;
        for (const RunResult& r : rs) {
            wall.push_back(r.seconds);
            cpu.push_back(r.cpuSeconds);
            rss.push_back(r.maxRssKiB);
        }
        figures.push_back({median(wall), median(cpu), median(rss)});
    }
    const Figures& ref = figures.back();
    std::printf("%s (median of %d; goal: %s)\n", label.c_str(), rounds, goal);
    for (std::size_t c = 0; c < contestants.size(); ++c) {
        const Figures& f = figures[c];
        std::printf("  %-26s wall %7.1f ms  CPU %7.1f ms  peak %7.1f MiB",
                    contestants[c].name.c_str(), f.wall * 1e3, f.cpu * 1e3, f.rssKiB / 1024.0);
        if (c + 1 != contestants.size())
            std::printf("   / vipsthumbnail: wall %.2f x, CPU %.2f x, memory %.2f x",
                        f.wall / ref.wall, f.cpu / ref.cpu, double(f.rssKiB) / double(ref.rssKiB));
        std::printf("\n");
    }
    std::fflush(stdout);
    return ok;
}

// The talvrin-image contestants of a single file: convert and render, of this build and of
// TALVRIN_E2E_BEFORE's.
std::vector<Contestant> singleFile(const std::string& in, const std::string& out) {
    std::vector<std::pair<std::string, std::string>> builds = {
        {"", talvrin::bench::programFolder() + "/talvrin-image"}};
    if (const char* before = std::getenv("TALVRIN_E2E_BEFORE"))
        builds.push_back({"before ", before});
    std::vector<Contestant> cs;
    for (const auto& [prefix, tool] : builds) {
        cs.push_back({prefix + "convert --resize",
                      {tool, "convert", in, out + "/convert.png", "--resize", "600x400"}});
        cs.push_back({prefix + "render --size",
                      {tool, "render", in, out + "/render.png", "--size", "600x400"}});
        if (!prefix.empty()) continue;
        cs.push_back(
            {"convert --resize --level 9",
             {tool, "convert", in, out + "/convert.png", "--resize", "600x400", "--level", "9"}});
        cs.push_back(
            {"render --size --level 9",
             {tool, "render", in, out + "/render.png", "--size", "600x400", "--level", "9"}});
    }
    cs.push_back({"vipsthumbnail -s",
                  {"/usr/bin/vipsthumbnail", in, "-s", "600x400", "-o", out + "/vips.png"}});
    return cs;
}

int runAll(int rounds, const std::string& dir) {
    const std::string out = outFolder(dir);
    std::printf(
        "inputs: %s (%llu KiB), %s (%llu KiB), %d x %s/... (%llu KiB each)\n",
        pngInput(dir).c_str(),
        static_cast<unsigned long long>(talvrin::bench::fileSize(pngInput(dir)) / 1024),
        jpegInput(dir).c_str(),
        static_cast<unsigned long long>(talvrin::bench::fileSize(jpegInput(dir)) / 1024), kBatch,
        batchFolder(dir).c_str(),
        static_cast<unsigned long long>(talvrin::bench::fileSize(batchInput(dir, 0)) / 1024));
    bool ok = runCase("5120 x 2880 PNG to 600 x 400", singleFile(pngInput(dir), out), rounds,
                      "wall at most 0.6 x, memory at most 1 x");
    ok = runCase("6000 x 4000 JPEG to 600 x 400", singleFile(jpegInput(dir), out), rounds,
                 "wall at most 0.8 x, memory at most 1 x") &&
         ok;
    std::vector<std::string> files;
    for (int i = 0; i < kBatch; ++i)
        files.push_back(batchInput(dir, i));
    std::vector<Contestant> batch;
    const auto convertBatch = [&](const std::string& name, const std::string& tool) {
        Contestant c{name, {tool, "convert"}};
        c.argv.insert(c.argv.end(), files.begin(), files.end());
        c.argv.insert(c.argv.end(), {"--out-dir", out, "--format", "png", "--resize", "256x256"});
        batch.push_back(c);
    };
    convertBatch("convert --out-dir", talvrin::bench::programFolder() + "/talvrin-image");
    if (const char* before = std::getenv("TALVRIN_E2E_BEFORE"))
        convertBatch("before convert --out-dir", before);
    Contestant vips{"vipsthumbnail", {"/usr/bin/vipsthumbnail"}};
    vips.argv.insert(vips.argv.end(), files.begin(), files.end());
    vips.argv.insert(vips.argv.end(), {"-s", "256x256", "-o", out + "/%s.png"});
    batch.push_back(vips);
    ok = runCase("20 JPEGs of 3000 x 2000 to 256 x 256", batch, rounds,
                 "wall at most 0.8 x, memory at most 1 x") &&
         ok;

    for (const char* name : {"/convert.png", "/render.png", "/vips.png"})
        std::remove((out + name).c_str());
    for (int i = 0; i < kBatch; ++i) {
        std::remove(batchInput(dir, i).c_str());
        std::remove((out + "/photo_" + std::to_string(i) + ".png").c_str());
    }
    std::remove(pngInput(dir).c_str());
    std::remove(jpegInput(dir).c_str());
    ::rmdir(batchFolder(dir).c_str());
    ::rmdir(out.c_str());
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    // The second half, after the inputs are made: SELF --e2e-files ROUNDS DIR.
    if (argc >= 4 && std::strcmp(argv[1], "--e2e-files") == 0)
        return runAll(std::max(1, std::atoi(argv[2])), argv[3]);
    if (argc >= 3 && std::strcmp(argv[1], "--write-inputs") == 0)
        return writeInputs(argv[2]) ? 0 : 1;
    const int rounds = argc >= 2 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 5;
    const std::string dir = argc >= 3 ? argv[2] : "/dev/shm";
    return makeInputs(argv[0], rounds, dir);
}
