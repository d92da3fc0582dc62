// Internal to the resampler: the row forms of each instruction set, and what they share.
#pragma once

#include <algorithm>
#include <cstdint>

#include "base/div255.h"
#include "image/bridge/resample.h"

namespace talvrin::bridge::resample::detail {

extern const RowForms kScalarForms;
// The vector forms, or null where the build or the processor has none.
[[nodiscard]] const RowForms* sse2Forms() noexcept;
[[nodiscard]] const RowForms* avx2Forms() noexcept;

[[nodiscard]] inline std::int16_t saturate16(std::int32_t v) noexcept {
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(v, -32768, 32767));
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

}  // namespace talvrin::bridge::resample::detail
