// Internal to the resampler: the row forms of each instruction set, and what they share.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>

#include "base/div255.h"
#include "image/bridge/resample.h"

namespace talvrin::bridge::resample::detail {

extern const RowForms kScalarForms;
#if defined(TALVRIN_SIMD_X86)
// The vector forms (resample_x86.cpp), named only by the resampler's table of their level.
extern const RowForms kSse2Forms;
extern const RowForms kAvx2Forms;
#endif

[[nodiscard]] inline std::int16_t saturate16(std::int32_t v) noexcept {
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(v, -32768, 32767));
}

// What the rows between the passes hold for an across sum s: its value of 6 fractional bits,
// (s + 2^(shift - 1)) >> shift, less kMidBias and held to [-2 kMidBias, 2 kMidBias).
[[nodiscard]] inline std::int16_t midOfSum(std::int32_t s, int shift) noexcept {
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(
        ((s + (1 << (shift - 1))) >> shift) - kMidBias, -2 * kMidBias, 2 * kMidBias - 1));
}

// The down pass's start: the rounding of its shift, and the bias the rows were stored less of,
// weighted by the taps (taps is held to what weights[] has).
[[nodiscard]] inline std::int32_t downStart(const std::int16_t* w, std::int32_t taps) noexcept {
    std::int32_t sum = 0;
    for (std::int32_t k = 0; k < taps; ++k)
        sum += w[k];
    return (1 << (kOutShift - 1)) + kMidBias * sum;
}

// Column x of a turned draw's block held to the source (the edge extended).
[[nodiscard]] inline std::int32_t heldTo(std::int32_t x, std::int32_t count) noexcept {
    return x < 0 ? 0 : x >= count ? count - 1 : x;
}

// A block row that leaves the source: its taps gathered, each column held to the source, into
// `out` (taps pixels).
inline void gatherHeld(const std::uint8_t* row, std::int32_t x, std::int32_t taps,
                       std::int32_t width, std::uint8_t* out) noexcept {
    for (std::int32_t k = 0; k < taps; ++k) {
        const std::uint8_t* p = row + 4 * static_cast<std::ptrdiff_t>(heldTo(x + k, width));
        std::copy(p, p + 4, out + 4 * k);
    }
}

// The last step of a pixel of a turned draw: the coverage applied, rounding to nearest.
inline void applyCoverage(std::uint8_t* px, std::uint8_t coverage) noexcept {
    if (coverage == 255) return;
    for (int c = 0; c < 4; ++c)
        px[c] = static_cast<std::uint8_t>(div255Round(std::uint32_t{px[c]} * coverage));
}

// The largest block row a turned draw gathers (its taps are capped by the pre-reduction).
inline constexpr std::int32_t kMaxAffineTaps = 64;

// The scalar reference of the box stage's row forms (resample_box.cpp).
void boxDownScalar(const std::uint8_t* const* rows, std::int32_t rowCount, std::int32_t values,
                   std::uint16_t* sums) noexcept;
void boxAcrossScalar(const std::uint16_t* sums, std::int32_t k, const BoxDivisor& d,
                     std::int32_t count, std::int16_t* out) noexcept;

// The rows a separable draw filters when its source is first averaged over boxes (resample.h):
// the reduced image, row by row, each made from the source when it is asked for.
class BoxedRows {
  public:
    // The box stage of a draw of src through m; reduces() is false when neither axis has one.
    BoxedRows(const Source& src, const Map& m) noexcept;
    [[nodiscard]] bool reduces() const noexcept { return kx_ > 1 || ky_ > 1; }
    // The boxes' sides (1 where an axis has none).
    [[nodiscard]] std::int32_t factorX() const noexcept { return kx_; }
    [[nodiscard]] std::int32_t factorY() const noexcept { return ky_; }
    // The reduced image's size, and the draw's map onto its pixels.
    [[nodiscard]] std::int32_t width() const noexcept { return width_; }
    [[nodiscard]] std::int32_t height() const noexcept { return height_; }
    [[nodiscard]] const Map& map() const noexcept { return map_; }
    // Room for a row, at least `window` pixels wide (zeros past the image). False without it.
    bool allocate(std::int32_t window) noexcept;
    // Reduced row r with its pixels [j0, j1) made (0 <= j0 < j1 <= width()), kBoxBits
    // fractional bits: the row's first pixel. Valid until the next call.
    const std::int16_t* row(const RowForms& forms, std::int32_t r, std::int32_t j0,
                            std::int32_t j1) noexcept;

  private:
    Source src_;
    std::int32_t kx_, ky_;
    std::int32_t width_ = 0, height_ = 0;
    std::int32_t offsetX_ = 0, offsetY_ = 0;  // source pixels before the first box's first
    BoxDivisor divisor_;
    Map map_;
    std::unique_ptr<std::int16_t[]> line_;
    std::unique_ptr<std::uint16_t[]> sums_;
};

}  // namespace talvrin::bridge::resample::detail
