// Internal to the codecs: the rows that have vector forms, in each form the image library's
// kernel table (image/image_kernels.h) names. The one-pixel forms define the bytes; the vector
// forms sit in files of their own instruction set and give the same.
//   PNG row unfiltering        png_unfilter.cpp, png_unfilter_sse2.cpp, png_unfilter_avx2.cpp
//   PNG rows at 8 bits into    png_pixels.cpp, png_pixels_sse2.cpp (RGBA),
//   adjacent pixels            png_pixels_ssse3.cpp (RGB)
//   the alpha classification   pixel_helpers.cpp, pixel_helpers_sse2.cpp
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "base/simd.h"  // TALVRIN_SIMD_X86
#include "image/codecs/pixel_helpers.h"

namespace talvrin::png::detail {

// ---- Unfiltering (png::unfilterRow states the rule) ----

// The Paeth predictor of the left (a), upper (b) and upper-left (c) bytes.
[[gnu::always_inline]] inline std::uint8_t paeth(std::uint8_t a, std::uint8_t b,
                                                 std::uint8_t c) noexcept {
    const int p = a + b - c;
    const int pa = p > a ? p - a : a - p;
    const int pb = p > b ? p - b : b - p;
    const int pc = p > c ? p - c : c - p;
    if (pa <= pb && pa <= pc) return a;
    if (pb <= pc) return b;
    return c;
}

void unfilterRowScalar(std::uint8_t type, std::uint8_t* row, const std::uint8_t* prev,
                       std::size_t len, unsigned unit) noexcept;

// ---- 8-bit rows into adjacent target pixels (B, G, R, A words, premultiplied) ----

// columns RGBA pixels from s, each colour times its alpha (premultiplyChannel).
void rgba8AdjacentScalar(const std::uint8_t* s, std::uint8_t* d, std::uint32_t columns) noexcept;
// columns RGB pixels from s without a colour key, alpha 255.
void rgb8AdjacentScalar(const std::uint8_t* s, std::uint8_t* d, std::uint32_t columns) noexcept;

#if defined(TALVRIN_SIMD_X86)
void unfilterRowSse2(std::uint8_t type, std::uint8_t* row, const std::uint8_t* prev,
                     std::size_t len, unsigned unit) noexcept;
// Up alone, 16 bytes a step (the tail of the AVX2 form too).
void upSse2(std::uint8_t* row, const std::uint8_t* prev, std::size_t len) noexcept;
void unfilterRowAvx2(std::uint8_t type, std::uint8_t* row, const std::uint8_t* prev,
                     std::size_t len, unsigned unit) noexcept;
void rgba8AdjacentSse2(const std::uint8_t* s, std::uint8_t* d, std::uint32_t columns) noexcept;
void rgb8AdjacentSsse3(const std::uint8_t* s, std::uint8_t* d, std::uint32_t columns) noexcept;
#endif

}  // namespace talvrin::png::detail

namespace talvrin::detail {

// ---- The alpha classification (ClassifyAlpha) ----

// The state of the classification scan: whether every transparent pixel so far is all zeros
// (consistent), and how many pixels were transparent and opaque.
struct AlphaScan {
    bool consistent = true;
    std::size_t zeros = 0;
    std::size_t opaque = 0;

    // One pixel (the little-endian word B, G, R, A); true when it proves straight alpha.
    bool visit(std::uint32_t v) noexcept {
        const std::uint32_t a = v >> 24;
        if (a == 0) {
            if ((v & 0x00FFFFFFu) != 0) consistent = false;
            ++zeros;
            return false;
        }
        if (!consistent) return true;
        if (a == 255) {
            ++opaque;
            return false;
        }
        return (v & 0xFFu) > a || ((v >> 8) & 0xFFu) > a || ((v >> 16) & 0xFFu) > a;
    }
    // Scans pixels [from, count) of p one block of four or one pixel at a time and answers the
    // verdict on all count pixels. Inline, so that the scan's state stays in registers.
    AlphaVerdict finish(const std::uint8_t* p, std::size_t from, std::size_t count) noexcept;

    static std::uint32_t load(const std::uint8_t* p) noexcept {
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
};

inline AlphaVerdict AlphaScan::finish(const std::uint8_t* p, std::size_t from,
                                      std::size_t count) noexcept {
    std::size_t i = from;
    // Blocks of four: runs of opaque pixels and runs of all-zero pixels, the common content of
    // real images, are settled with two tests per block.
    for (; i + 4 <= count; i += 4) {
        const std::uint32_t w0 = load(p + i * 4);
        const std::uint32_t w1 = load(p + i * 4 + 4);
        const std::uint32_t w2 = load(p + i * 4 + 8);
        const std::uint32_t w3 = load(p + i * 4 + 12);
        if (((w0 & w1 & w2 & w3) >> 24) == 0xFFu) {
            if (!consistent) return AlphaVerdict::Straight;
            opaque += 4;
            continue;
        }
        if ((w0 | w1 | w2 | w3) == 0) {
            zeros += 4;
            continue;
        }
        if (visit(w0) || visit(w1) || visit(w2) || visit(w3)) return AlphaVerdict::Straight;
    }
    for (; i < count; ++i) {
        if (visit(load(p + i * 4))) return AlphaVerdict::Straight;
    }
    if (zeros == count || opaque == count) return AlphaVerdict::Opaque;
    return consistent ? AlphaVerdict::Premultiplied : AlphaVerdict::Straight;
}

AlphaVerdict classifyAlphaScalar(std::span<const std::uint8_t> pixels,
                                 std::size_t pixelCount) noexcept;
void premultiplyScalar(std::uint8_t* pixels, std::size_t pixelCount) noexcept;
// Sets every alpha byte to 255, keeping the colour bytes.
void makeOpaqueScalar(std::uint8_t* pixels, std::size_t pixelCount) noexcept;

#if defined(TALVRIN_SIMD_X86)
AlphaVerdict classifyAlphaSse2(std::span<const std::uint8_t> pixels,
                               std::size_t pixelCount) noexcept;
void premultiplySse2(std::uint8_t* pixels, std::size_t pixelCount) noexcept;
void makeOpaqueSse2(std::uint8_t* pixels, std::size_t pixelCount) noexcept;
#endif

}  // namespace talvrin::detail
