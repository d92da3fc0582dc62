// Builds JPEG files for tests and benchmarks through libjpeg-turbo: an encoder over a sample
// function, and a progressive file with one of its scans repeated, the shape of a scan bomb (a
// few dozen bytes a scan, each scan a pass over every block of its component).
#pragma once

#include <jpeglib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

namespace talvrin::test {

struct JpegOptions {
    J_COLOR_SPACE space = JCS_RGB;
    int components = 3;
    bool progressive = false;
    int quality = 100;
};

// Encodes width x height pixels whose samples come from sample(x, y, component).
template <typename Sample>
std::vector<std::uint8_t> encodeJpeg(int width, int height, const JpegOptions& o, Sample sample) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = o.components;
    c.in_color_space = o.space;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, o.quality, TRUE);
    if (o.space == JCS_CMYK) c.write_Adobe_marker = TRUE;
    if (o.progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * o.components);
    while (c.next_scanline < c.image_height) {
        for (int x = 0; x < width; ++x)
            for (int k = 0; k < o.components; ++k)
                row[static_cast<std::size_t>(x) * o.components + k] =
                    static_cast<JSAMPLE>(sample(x, static_cast<int>(c.next_scanline), k));
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<std::uint8_t> bytes(out, out + size);
    std::free(out);
    return bytes;
}

// The byte ranges of a JPEG file's scans: each from its SOS marker to the end of its entropy-
// coded data. Empty when the markers cannot be followed.
inline std::vector<std::pair<std::size_t, std::size_t>> jpegScans(
    const std::vector<std::uint8_t>& f) {
    std::vector<std::pair<std::size_t, std::size_t>> scans;
    std::size_t at = 2;  // after SOI
    while (at + 4 <= f.size() && f[at] == 0xFF) {
        const std::uint8_t marker = f[at + 1];
        if (marker == 0xD9) break;  // EOI
        const std::size_t length = std::size_t{f[at + 2]} << 8 | f[at + 3];
        std::size_t end = at + 2 + length;
        if (marker == 0xDA) {
            // Entropy-coded data runs to the next marker other than a stuffed zero or a restart.
            while (end + 1 < f.size() &&
                   !(f[end] == 0xFF && f[end + 1] != 0 && (f[end + 1] < 0xD0 || f[end + 1] > 0xD7)))
                ++end;
            scans.emplace_back(at, end);
        }
        at = end;
    }
    return scans;
}

// A progressive width x height greyscale-ish flat picture whose last scan (the luma's AC
// refinement) is written `repeats` more times before the end of the image.
inline std::vector<std::uint8_t> jpegWithRepeatedScans(int width, int height, int repeats) {
    JpegOptions o;
    o.progressive = true;
    o.quality = 75;
    const std::vector<std::uint8_t> plain =
        encodeJpeg(width, height, o, [](int, int, int k) { return k == 0 ? 120 : 128; });
    const auto scans = jpegScans(plain);
    if (scans.empty()) return plain;
    const auto [from, to] = scans.back();
    std::vector<std::uint8_t> out(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(to));
    out.reserve(plain.size() + (to - from) * static_cast<std::size_t>(repeats));
    for (int i = 0; i < repeats; ++i)
        out.insert(out.end(), plain.begin() + static_cast<std::ptrdiff_t>(from),
                   plain.begin() + static_cast<std::ptrdiff_t>(to));
    out.insert(out.end(), plain.begin() + static_cast<std::ptrdiff_t>(to), plain.end());
    return out;
}

}  // namespace talvrin::test
