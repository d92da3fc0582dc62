// The bridge's own resampler: high-quality drawing of premultiplied 32-bit pixels through an
// affine map, blended source-over onto a 32- or 24-bit target.
//
// Sampling. A destination pixel's centre (x + 0.5, y + 0.5) maps to the source position
// (u, v) = (a x' + b y' + c, d x' + e y' + f); source pixel i has its centre at i + 0.5, so a
// pixel enlarged by 2 spreads symmetrically. The kernel (Catmull-Rom cubic, or Lanczos-3) is
// widened by the reduction factor along each source axis (source pixels per destination pixel,
// when above 1), so every source pixel counts in a reduction of any factor and nothing aliases.
// Samples beyond the image take its edge pixels (the edge extended), so a uniform image stays
// uniform to its last pixel.
//
// Large reductions take two stages. An axis reduced by a factor f of 4 or more is first averaged
// over boxes of k = floor(f / 2) source pixels (at most kMaxBox), so that at least twice the
// output's pixels remain; the kernel then reduces the rest (f / k, between 2 and 4), widened by
// that and sharpened by three taps that undo the box's softening of the detail it keeps
// (boxSharpening), so that the two stages pass what the one kernel widened by f would. The box
// average is exact: the sum of the premultiplied bytes of a box of kx x ky pixels, divided by kx ky
// rounding to nearest with kBoxBits fractional bits (the kernel filters averages 128 times finer
// than bytes: rounded to bytes, they would add noise the one-stage kernel does not have). The
// boxes are centred on the image (the pixels left over at the two ends, fewer than k, split
// between them), each box that reaches past an edge taking the edge pixel in place of the missing
// ones, and the map is divided by the box, so pixel centres keep mapping to pixel centres.
//
// Arithmetic. Weights are 16-bit fixed point with 14 fractional bits, normalised so that each
// output pixel's weights sum to exactly the gain (1 << 14 at full opacity). Axis-aligned draws
// run in two passes: across, each source row (or row of box averages) is filtered into 16-bit
// values with 6 fractional bits ((sum + 2^7) >> 8 for bytes), kept less kMidBias; down, those
// rows are filtered into bytes ((sum + 2^19) >> 20, held to 0 ... 255), and each colour is held
// to its alpha. Every sum is exact, so the vector forms may group the taps as they like: a
// symmetric filter's taps of equal weight are added before they are multiplied, and weights that
// are whole in 8 bits multiply bytes as they are. Turned draws take the same two steps per pixel
// over the kernel's block, with the weights of the nearest of 256 phases per axis, and multiply
// the result by the pixel's coverage of the drawn shape (its edges antialiased). The same rules in
// every form: a scalar reference, and SSE2 and AVX2 forms chosen at run time that give the same
// bytes.
//
// A draw whose map is a whole-pixel translation at full opacity puts the source pixels down
// unfiltered: blended source-over by the rule of the drawing layer's AlphaBlend
// (t = s + round(t (255 - a) / 255), held to 255), so the bridge and the own path agree exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/geometry.h"
#include "base/simd.h"

namespace talvrin::bridge::resample {

enum class Kernel : std::uint8_t { kCubic, kLanczos3 };

// The kernel's value at distance x (in source pixels at scale 1) and the distance beyond which
// it is 0.
[[nodiscard]] double kernelAt(Kernel kernel, double x) noexcept;
[[nodiscard]] double kernelRadius(Kernel kernel) noexcept;

inline constexpr int kWeightBits = 14;
inline constexpr std::int32_t kUnitWeight = 1 << kWeightBits;
inline constexpr int kMidShift = 8;   // across: Q14 sums to 6 fractional bits
inline constexpr int kOutShift = 20;  // down: Q14 x Q6 sums to bytes
// The rows between the passes hold each 6-fractional-bit value less kMidBias (128.0), held to
// [-2 kMidBias, 2 kMidBias): the values -128 ... 384 (no kernel here overshoots that far: its
// positive weights sum to less than 1.5), in a range where two of them add up without leaving
// 16 bits, so the down pass adds the rows of equal weights before it multiplies.
inline constexpr std::int32_t kMidBias = 1 << 13;

// Premultiplied B, G, R, A pixels: row y starts at top + y * stride (the stride may be negative,
// for bottom-up storage).
struct Source {
    const std::uint8_t* top = nullptr;
    std::ptrdiff_t stride = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    [[nodiscard]] const std::uint8_t* row(std::int32_t y) const noexcept {
        return top + static_cast<std::ptrdiff_t>(y) * stride;
    }
};

// The pixels drawn onto: 4 bytes a pixel (B, G, R, A) or 3 (B, G, R), rows as in Source.
struct Target {
    std::uint8_t* top = nullptr;
    std::ptrdiff_t stride = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    int bytesPerPixel = 4;
    [[nodiscard]] std::uint8_t* row(std::int32_t y) const noexcept {
        return top + static_cast<std::ptrdiff_t>(y) * stride;
    }
};

// Destination to source, pixel centres at half-integers on both sides.
struct Map {
    double a = 1, b = 0, c = 0;
    double d = 0, e = 1, f = 0;
};

// Draws the source through the map onto the target's pixels inside `drawn` (target coordinates,
// cut to the target by the caller), blended source-over at the given opacity (0 ... 1). The
// source is the rectangle [0, width) x [0, height) of source coordinates; destination pixels
// whose centres map outside it take no part of a scaled draw, and a turned draw covers the
// pixels its edges cross in part. False only when memory for the work runs out.
bool draw(const Source& source, const Map& map, Kernel kernel, double opacity, const Rect& drawn,
          const Target& target) noexcept;

// ---- The pieces, for tests and the benchmark ------------------------------------------------

// One axis of a separable draw: output pixel i takes `taps` source pixels from first[i] on,
// with the weights weights[i * taps ...] (Q14). taps is a multiple of 4, and every window lies
// inside [0, max(sourceCount, taps)): past the source's last pixel the weights are 0 (a source
// narrower than the window is read from a row padded to the window).
struct AxisFilter {
    std::int32_t taps = 0;
    std::int32_t sourceCount = 0;
    std::vector<std::int32_t> first;
    std::vector<std::int16_t> weights;
    // Output pixels [uniformBegin, uniformEnd) share one set of weights, and each window starts
    // uniformStride pixels after the last (empty when no two neighbours do).
    std::int32_t uniformBegin = 0;
    std::int32_t uniformEnd = 0;
    std::int32_t uniformStride = 0;
};

// The filter for `count` output pixels whose centres map to source positions
// origin + step * (i + 0.5), each pixel's weights summing to round(gain * 2^14). With `sharpen`
// s above 0, the kernel's weights are first convolved with (-s, 1 + 2 s, -s) along the source
// (boxSharpening: what undoes a box stage's softening to second order). Empty (taps 0) when the
// memory is not there.
[[nodiscard]] AxisFilter axisFilter(Kernel kernel, double step, double origin, std::int32_t count,
                                    std::int32_t sourceCount, double gain,
                                    double sharpen = 0) noexcept;

// The weights of a turned draw along one source axis, for 256 phases: a sample at source index
// position t (the pixel centre at t + 0.5) with q = round(t * 256) takes the taps from
// (q >> 8) + offset on, weighted by weights[(q & 255) * taps ...].
struct PhaseTable {
    std::int32_t taps = 0;
    std::int32_t offset = 0;
    std::vector<std::int16_t> weights;
};
[[nodiscard]] PhaseTable phaseTable(Kernel kernel, double scale, double gain) noexcept;

// Where one destination pixel of a turned draw samples: the top-left tap of its block (column
// x, row y), its phases, and its coverage (1 ... 255) of the drawn shape.
struct AffineSample {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::uint8_t phaseX = 0;
    std::uint8_t phaseY = 0;
    std::uint8_t coverage = 255;
    std::uint8_t unused = 0;
};

// ---- The box stage ---------------------------------------------------------------------------

inline constexpr std::int32_t kMaxBox = 256;

// The box of an axis reduced by `step` source pixels a destination pixel: floor(|step| / 2),
// held to 1 ... kMaxBox (1: no box stage).
[[nodiscard]] std::int32_t boxFactor(double step) noexcept;

// The sharpening that follows a box of k: (1 - 1 / k^2) / 24. The mean of k pixels passes a
// frequency of v cycles a pixel of its output as 1 - pi^2 v^2 (1 - 1 / k^2) / 6 + O(v^4), and
// (-s, 1 + 2 s, -s) passes it as 1 + 4 pi^2 s v^2 + O(v^4): their product is flat to second
// order. 0 for k = 1.
[[nodiscard]] double boxSharpening(std::int32_t k) noexcept;

// The fractional bits of a box average: as many as a 16-bit signed lane holds over 0 ... 255.
inline constexpr int kBoxBits = 7;
// Across over box averages: Q14 x Q7 sums to the same 6 fractional bits.
inline constexpr int kBoxedMidShift = kMidShift + kBoxBits;

// Division by n (1 ... kMaxBox^2) of x = 2^kBoxBits s + half for sums s up to 255 n, rounding to
// nearest: x / n = (x * multiplier) >> shift, exact for every such s. The multiplier is
// ceil(2^shift / n) with shift = 15 + 2 ceil(log2 n): its excess e = multiplier n - 2^shift is
// below n and x below 2^15 n, so x e < 2^shift and the product's excess over x / n stays below
// 1 / n. The multiplier fits 32 bits (below 2^(16 + ceil(log2 n)) <= 2^32).
struct BoxDivisor {
    std::uint32_t n = 1;
    std::uint32_t half = 0;
    std::uint32_t multiplier = 1u << 15;
    std::int32_t shift = 15;
};
[[nodiscard]] BoxDivisor boxDivisor(std::uint32_t n) noexcept;

// The row forms: each runs `count` output pixels.
struct RowForms {
    // Across: out[4i + c] = mid((sum_k w[i][k] * src[4 (first[i] + k) + c] + 2^7) >> 8), where
    // mid(v) = clamp(v - kMidBias, -2 kMidBias, 2 kMidBias - 1).
    void (*across)(const std::uint8_t* src, const AxisFilter& f, std::int32_t begin,
                   std::int32_t count, std::int16_t* out) noexcept;
    // Down, over rows of such values: out[j] = clamp((sum_k w[k] * (rows[k][j] + kMidBias) +
    // 2^19) >> 20, 0, 255) for the 4 * count values j, then each colour held to its pixel's
    // alpha. taps is a multiple of 4.
    void (*down)(const std::int16_t* const* rows, const std::int16_t* w, std::int32_t taps,
                 std::int32_t count, std::uint8_t* out) noexcept;
    // A turned draw's pixels: for each sample, across then down over its block (rows and columns
    // held to the source, as the edge extended), then times its coverage
    // (round(v * coverage / 255)).
    void (*affine)(const Source& src, const PhaseTable& px, const PhaseTable& py,
                   const AffineSample* samples, std::int32_t count, std::uint8_t* out) noexcept;
    // Source-over onto 32-bit pixels: t = min(255, s + round(t (255 - sa) / 255)) per byte.
    void (*over)(std::uint8_t* dst, const std::uint8_t* src, std::int32_t count) noexcept;
    // Box, down: sums[j] = sum over t < rowCount of rows[t][j], for the `values` bytes j
    // (rowCount at most kMaxBox, so every sum fits 16 bits).
    void (*boxDown)(const std::uint8_t* const* rows, std::int32_t rowCount, std::int32_t values,
                    std::uint16_t* sums) noexcept;
    // Box, across: out[4i + c] = (2^kBoxBits sum over t < k of sums[4 (k i + t) + c] + d.half)
    // / d.n, for the `count` pixels i (k at most kMaxBox): the average with kBoxBits fractional
    // bits.
    void (*boxAcross)(const std::uint16_t* sums, std::int32_t k, const BoxDivisor& d,
                      std::int32_t count, std::int16_t* out) noexcept;
    // Across over box averages (kBoxBits fractional bits):
    // out[4i + c] = mid((sum_k w[i][k] * src[4 (first[i] + k) + c] + 2^14) >> 15), in the same
    // 6 fractional bits as `across` gives for bytes.
    void (*acrossBoxed)(const std::int16_t* src, const AxisFilter& f, std::int32_t begin,
                        std::int32_t count, std::int16_t* out) noexcept;
    // Down, the pixels blended source-over onto the 32-bit pixels at dst as `over` blends them.
    void (*downOver)(const std::int16_t* const* rows, const std::int16_t* w, std::int32_t taps,
                     std::int32_t count, std::uint8_t* dst) noexcept;
};

// The forms of one instruction-set level: the scalar reference, and the vector ones where this
// processor runs them (null otherwise). SSSE3 has the SSE2 forms.
[[nodiscard]] const RowForms* formsOf(simd::Level level) noexcept;
// The forms draws use: those of simd::level() (the scalar ones while tests hold vector code back
// with simd::setLevelLimit).
[[nodiscard]] const RowForms& activeForms() noexcept;

}  // namespace talvrin::bridge::resample
