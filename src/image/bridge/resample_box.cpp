// The resampler's box stage: the factor of each axis, the exact division, the scalar reference
// of its two row forms, and the rows it hands the separable draw (resample_forms.h).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "image/bridge/resample_forms.h"

namespace talvrin::bridge::resample {

std::int32_t boxFactor(double step) noexcept {
    const double f = std::fabs(step);
    if (!(f >= 4)) return 1;  // also NaN
    return static_cast<std::int32_t>(std::min(std::floor(f / 2), double{kMaxBox}));
}

double boxSharpening(std::int32_t k) noexcept {
    if (k <= 1) return 0;
    return (1 - 1.0 / (double(k) * k)) / 24;
}

BoxDivisor boxDivisor(std::uint32_t n) noexcept {
    n = std::clamp<std::uint32_t>(n, 1, std::uint32_t{kMaxBox} * kMaxBox);
    std::int32_t log = 0;  // ceil(log2 n)
    while ((std::uint32_t{1} << log) < n)
        ++log;
    BoxDivisor d;
    d.n = n;
    d.half = n / 2;
    d.shift = 15 + 2 * log;
    d.multiplier = static_cast<std::uint32_t>(((std::uint64_t{1} << d.shift) + n - 1) / n);
    return d;
}

namespace detail {

void boxDownScalar(const std::uint8_t* const* rows, std::int32_t rowCount, std::int32_t values,
                   std::uint16_t* sums) noexcept {
    for (std::int32_t j = 0; j < values; ++j) {
        std::uint32_t s = 0;
        for (std::int32_t t = 0; t < rowCount; ++t)
            s += rows[t][j];
        sums[j] = static_cast<std::uint16_t>(s);
    }
}

void boxAcrossScalar(const std::uint16_t* sums, std::int32_t k, const BoxDivisor& d,
                     std::int32_t count, std::int16_t* out) noexcept {
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint16_t* p = sums + 4 * std::size_t(k) * std::size_t(i);
        for (int c = 0; c < 4; ++c) {
            std::uint32_t s = 0;
            for (std::int32_t t = 0; t < k; ++t)
                s += p[4 * t + c];
            out[4 * i + c] = static_cast<std::int16_t>(((s << kBoxBits) + d.half) / d.n);
        }
    }
}

BoxedRows::BoxedRows(const Source& src, const Map& m) noexcept
    : src_(src), kx_(boxFactor(m.a)), ky_(boxFactor(m.e)) {
    // Each factor is at most half the source's pixels along its axis (a reduction by 4 or more
    // of fewer pixels than the factor keeps a box of 1).
    kx_ = std::max(1, std::min(kx_, src.width / 2));
    ky_ = std::max(1, std::min(ky_, src.height / 2));
    width_ = (src.width + kx_ - 1) / kx_;
    height_ = (src.height + ky_ - 1) / ky_;
    offsetX_ = (kx_ * width_ - src.width) / 2;
    offsetY_ = (ky_ * height_ - src.height) / 2;
    divisor_ = boxDivisor(std::uint32_t(kx_) * std::uint32_t(ky_));
    map_ = {m.a / kx_, m.b / kx_, (m.c + offsetX_) / kx_,
            m.d / ky_, m.e / ky_, (m.f + offsetY_) / ky_};
}

bool BoxedRows::allocate(std::int32_t window) noexcept {
    const std::size_t pixels = std::size_t(std::max(width_, window));
    line_.reset(new (std::nothrow) std::int16_t[pixels * 4]);
    sums_.reset(new (std::nothrow) std::uint16_t[std::size_t(width_) * std::size_t(kx_) * 4]);
    if (!line_ || !sums_) return false;
    // Past the last pixel: what the window reads as 0.
    std::memset(line_.get(), 0, pixels * 4 * sizeof(std::int16_t));
    return true;
}

const std::int16_t* BoxedRows::row(const RowForms& forms, std::int32_t r, std::int32_t j0,
                                   std::int32_t j1) noexcept {
    // The boxes' source columns [p0, p1), of which [q0, q1) lie in the image; every box holds at
    // least one of them, since fewer than kx_ are left over at each end.
    const std::int32_t p0 = j0 * kx_ - offsetX_, p1 = j1 * kx_ - offsetX_;
    const std::int32_t q0 = std::max(p0, 0), q1 = std::min(p1, src_.width);
    const std::uint8_t* lines[kMaxBox];
    for (std::int32_t t = 0; t < ky_; ++t)
        lines[t] = src_.row(std::clamp(r * ky_ - offsetY_ + t, 0, src_.height - 1)) +
                   4 * std::ptrdiff_t(q0);
    std::uint16_t* sums = sums_.get();
    forms.boxDown(lines, ky_, 4 * (q1 - q0), sums + 4 * (q0 - p0));
    // Columns past the edges take the edge column's sums.
    for (std::int32_t p = p0; p < q0; ++p)
        std::memcpy(sums + 4 * (p - p0), sums + 4 * (q0 - p0), 4 * sizeof *sums);
    for (std::int32_t p = q1; p < p1; ++p)
        std::memcpy(sums + 4 * (p - p0), sums + 4 * (q1 - 1 - p0), 4 * sizeof *sums);
    forms.boxAcross(sums, kx_, divisor_, j1 - j0, line_.get() + 4 * std::ptrdiff_t(j0));
    return line_.get();
}

}  // namespace detail

}  // namespace talvrin::bridge::resample
