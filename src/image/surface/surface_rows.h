// Internal to the surface: the rows that have vector forms, in each form the image library's
// kernel table (image/image_kernels.h) names. The one-pixel forms define the bytes; the vector
// forms sit in files of their own instruction set (*_sse2.cpp, *_avx2.cpp) and give the same.
//   the compositor's rows      engine_blend.cpp, engine_blend_sse2.cpp, engine_blend_avx2.cpp
//   the bilinear scaler's and  engine_scale.cpp, engine_rotate.cpp, engine_sample_avx2.cpp
//   rotator's rows
//   32-bit rows out            export.cpp, export_sse2.cpp, export_avx2.cpp
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/pixels.h"
#include "base/simd.h"  // TALVRIN_SIMD_X86
#include "image/surface/engine_sample.h"

namespace talvrin::engine::detail {

// ---- The compositor (blendToSurface, blendToContext) ----

// How the target's bytes are laid out and which of them take part.
enum class TargetKind {
    Host,       // 32-bit surface: all four bytes blend
    Context32,  // 32-bit context through the 24-bit round trip: colours blend, alpha becomes 0
    Context24,  // 24-bit context: three bytes a pixel, colours blend
};

// n premultiplied source pixels at s onto the target pixels at t with the opacity byte o, without
// grayscale, by engine.h's truncating rule.
using BlendRowFn = void (*)(std::uint8_t* t, const std::uint8_t* s, std::int32_t n,
                            std::uint32_t o) noexcept;

void blendHostScalar(std::uint8_t* t, const std::uint8_t* s, std::int32_t n,
                     std::uint32_t o) noexcept;
void blendContext32Scalar(std::uint8_t* t, const std::uint8_t* s, std::int32_t n,
                          std::uint32_t o) noexcept;
void blendContext24Scalar(std::uint8_t* t, const std::uint8_t* s, std::int32_t n,
                          std::uint32_t o) noexcept;

// A 24-bit target through a 32-bit scratch in chunks, so that a 32-bit vector row does the
// arithmetic; the scratch's alpha bytes are never read back.
template <BlendRowFn Row32>
void blendRow24Through32(std::uint8_t* t, const std::uint8_t* s, std::int32_t n,
                         std::uint32_t o) noexcept {
    constexpr std::int32_t kChunk = 256;
    alignas(32) std::uint8_t scratch[kChunk * 4];
    while (n > 0) {
        const std::int32_t m = std::min(n, kChunk);
        for (std::int32_t i = 0; i < m; ++i)
            std::memcpy(scratch + 4 * i, t + 3 * i, 3);
        Row32(scratch, s, m, o);
        for (std::int32_t i = 0; i < m; ++i)
            std::memcpy(t + 3 * i, scratch + 4 * i, 3);
        t += 3 * m;
        s += 4 * m;
        n -= m;
    }
}

// ---- The bilinear scaler (scaleToBuffer) and rotator (rotateToSquare) ----

// A column of the scaler's integer form for weights in whole 1/128ths: its left pixel within
// the blended row, and the weights of that pixel and its right neighbour as the 16-bit pair
// (w0, w1).
struct SevenBitColumn {
    std::uint32_t at;
    std::int32_t weights;
};

// The scaler's faster rows, each giving the bytes of the one-pixel row (bilinearPixel per
// column) for the rows it is used for.
struct BilinearScaleForms {
    // A row with the channels of each sample in one register.
    void (*row)(ConstPixelView src, const ColumnWeights* cols, std::int32_t n, const RowWeights& rw,
                std::uint8_t* dst) noexcept;
    // n pixels from p as 4 n doubles, each byte converted exactly.
    void (*toDoubles)(const std::uint8_t* p, double* out, std::size_t n) noexcept;
    // `row` over source rows already turned into doubles (top: the row of rw.yi, below: the
    // one under it, or top again at weight 0), both starting at source column `first`.
    void (*rowDoubles)(const double* top, const double* below, std::int32_t first,
                       const ColumnWeights* cols, std::int32_t n, const RowWeights& rw,
                       std::uint8_t* dst) noexcept;
    // The integer form for weights in whole 1/128ths, first blending the two rows:
    // v = wTop x top + wBelow x below per channel, for n pixels and a zero pixel after them;
    void (*sevenBitRows)(const std::uint8_t* top, const std::uint8_t* below, std::int32_t wTop,
                         std::int32_t wBelow, std::int32_t n, std::uint16_t* v) noexcept;
    // then the columns: (w0 x v[at] + w1 x v[at + 1]) >> 14 per channel.
    void (*sevenBitColumns)(const std::uint16_t* v, const SevenBitColumn* cols, std::int32_t n,
                            std::uint8_t* dst) noexcept;
};

// What one working row of the rotator needs: the source rectangle as doubles (x0 <= fx < x1,
// y0 <= fy < y1), its column end for the bilinear pairing, and the steps per working column.
struct RotateGeometry {
    double x0, x1, y0, y1;
    std::int32_t columnEnd;
    double cx, sy;
};

// One bilinear working row of the rotator: fx and fy start at the row's first column and step
// by +cx and -sy; positions outside the rectangle are left as they are.
void rotateBilinearScalar(ConstPixelView src, const RotateGeometry& g, double fx, double fy,
                          std::int32_t side, std::uint8_t* dst) noexcept;

#if defined(TALVRIN_SIMD_X86)
void blendHostSse2(std::uint8_t* t, const std::uint8_t* s, std::int32_t n,
                   std::uint32_t o) noexcept;
void blendContext32Sse2(std::uint8_t* t, const std::uint8_t* s, std::int32_t n,
                        std::uint32_t o) noexcept;
void blendContext24Sse2(std::uint8_t* t, const std::uint8_t* s, std::int32_t n,
                        std::uint32_t o) noexcept;
void blendHostAvx2(std::uint8_t* t, const std::uint8_t* s, std::int32_t n,
                   std::uint32_t o) noexcept;
void blendContext32Avx2(std::uint8_t* t, const std::uint8_t* s, std::int32_t n,
                        std::uint32_t o) noexcept;
void blendContext24Avx2(std::uint8_t* t, const std::uint8_t* s, std::int32_t n,
                        std::uint32_t o) noexcept;
extern const BilinearScaleForms kBilinearScaleAvx2;
void rotateBilinearAvx2(ConstPixelView src, const RotateGeometry& g, double fx, double fy,
                        std::int32_t side, std::uint8_t* dst) noexcept;
#endif

}  // namespace talvrin::engine::detail

namespace talvrin::detail {

// ---- 32-bit rows out (c32bppDIB::GetDIBbits) ----

// n surface pixels from p to o in a 4-byte layout: B, G, R, A as stored (bgr) or R, G, B, A;
// un-premultiplied unless `premultiplied` (colour x 255 / alpha, held to 255; a transparent
// pixel stays zeros).
void exportRow32Scalar(const std::uint8_t* p, std::uint8_t* o, std::int32_t n, bool bgr,
                       bool premultiplied) noexcept;
#if defined(TALVRIN_SIMD_X86)
void exportRow32Sse2(const std::uint8_t* p, std::uint8_t* o, std::int32_t n, bool bgr,
                     bool premultiplied) noexcept;
void exportRow32Avx2(const std::uint8_t* p, std::uint8_t* o, std::int32_t n, bool bgr,
                     bool premultiplied) noexcept;
#endif

}  // namespace talvrin::detail
