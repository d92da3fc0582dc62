// Internal to the engine: the bilinear sample shared by the resampler and the rotator, so both
// pair columns and rows, weigh them and truncate the sums the same way.
#pragma once

#include <cstdint>
#include <cstring>

#include "image/surface/engine.h"

namespace talvrin::engine::detail {

// Column weights of one sample: column xi weighs w0, column xi + 1 weighs w1 (0 when the right
// neighbour is dropped).
struct ColumnWeights {
    std::int32_t xi = 0;
    double w0 = 1;
    double w1 = 0;
};

// Row weights: storage row yi weighs wTop, the row below it (yi - 1) weighs wBelow (0 when
// yi is row 0, which then weighs 1 alone).
struct RowWeights {
    std::int32_t yi = 0;
    double wTop = 1;
    double wBelow = 0;
};

// xi = floor(fx) >= 0 and xf = fx - xi: xi weighs 1 - xf and xi + 1 weighs xf, unless xi + 1
// reaches columnEnd (one past the last column of the source rectangle).
[[nodiscard]] inline ColumnWeights columnWeights(double fx, std::int32_t xi,
                                                 std::int32_t columnEnd) noexcept {
    const double xf = fx - static_cast<double>(xi);
    if (xi + 1 >= columnEnd) return {xi, 1.0, 0.0};
    return {xi, 1.0 - xf, xf};
}

// yi = floor(fy) >= 0 and yf = fy - yi: row yi weighs yf and row yi - 1 weighs 1 - yf; row 0
// alone weighs 1.
[[nodiscard]] inline RowWeights rowWeights(double fy, std::int32_t yi) noexcept {
    if (yi == 0) return {0, 1.0, 0.0};
    const double yf = fy - static_cast<double>(yi);
    return {yi, yf, 1.0 - yf};
}

// Writes the weighted pixel: each byte is the integer part of the sum of weight * byte over the
// (up to four) pixels whose weight is not 0. The caller guarantees that every pixel it names
// with a non-zero weight lies inside src.
inline void bilinearPixel(ConstPixelView src, const ColumnWeights& c, const RowWeights& r,
                          std::uint8_t* dst) noexcept {
    const bool twoCols = c.w1 != 0.0;
    const bool top = r.wTop != 0.0;
    const bool below = r.wBelow != 0.0;
    if (!twoCols && c.w0 == 1.0 && (top != below) && (top ? r.wTop : r.wBelow) == 1.0) {
        // A single pixel of weight exactly 1: the sums are the bytes themselves.
        const std::uint8_t* p = src.row(top ? r.yi : r.yi - 1) + static_cast<std::size_t>(c.xi) * 4;
        std::memcpy(dst, p, 4);
        return;
    }
    double acc0 = 0, acc1 = 0, acc2 = 0, acc3 = 0;
    auto add = [&](const std::uint8_t* p, double w) {
        if (w == 0.0) return;
        acc0 += w * p[0];
        acc1 += w * p[1];
        acc2 += w * p[2];
        acc3 += w * p[3];
    };
    const std::size_t off = static_cast<std::size_t>(c.xi) * 4;
    if (top) {
        const std::uint8_t* row = src.row(r.yi) + off;
        add(row, c.w0 * r.wTop);
        if (twoCols) add(row + 4, c.w1 * r.wTop);
    }
    if (below) {
        const std::uint8_t* row = src.row(r.yi - 1) + off;
        add(row, c.w0 * r.wBelow);
        if (twoCols) add(row + 4, c.w1 * r.wBelow);
    }
    auto toByte = [](double v) -> std::uint8_t {
        // The weights add up to 1 (within rounding), so a sum cannot pass 255 by a whole unit.
        return v >= 255.0 ? std::uint8_t{255} : static_cast<std::uint8_t>(static_cast<int>(v));
    };
    dst[0] = toByte(acc0);
    dst[1] = toByte(acc1);
    dst[2] = toByte(acc2);
    dst[3] = toByte(acc3);
}

}  // namespace talvrin::engine::detail
