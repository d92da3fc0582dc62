// Engine: the resampler, nearest-neighbour and bilinear, producing only the part of the output
// that reaches the target.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "base/checked_math.h"
#include "image/image_kernels.h"
#include "image/surface/engine.h"
#include "image/surface/surface_rows.h"

namespace talvrin::engine {

namespace {

bool scaleJobFits(ConstPixelView src, const ScaleJob& job, PixelView out) noexcept {
    if (!src.valid() || !out.valid()) return false;
    if (job.srcX < 0 || job.srcY < 0 || job.srcWidth < 1 || job.srcHeight < 1) return false;
    if (std::int64_t{job.srcX} + job.srcWidth > src.width ||
        std::int64_t{job.srcY} + job.srcHeight > src.height)
        return false;
    if (job.fullWidth < 1 || job.fullHeight < 1 || job.skipX < 0 || job.skipBottom < 0)
        return false;
    return std::int64_t{out.width} + job.skipX <= job.fullWidth &&
           std::int64_t{out.height} + job.skipBottom <= job.fullHeight;
}

// Clamps a computed sample coordinate into [lo, hi]: floating-point steps can never legally
// leave the rectangle, and this keeps every read inside the source whatever the ratios are.
inline std::int32_t clampIndex(double v, std::int32_t lo, std::int32_t hi) noexcept {
    const double f = std::floor(v);
    if (!(f >= lo)) return lo;
    if (f > hi) return hi;
    return static_cast<std::int32_t>(f);
}

// One output row of bilinear samples, one pixel at a time (the reference form).
void bilinearRow(ConstPixelView src, const detail::ColumnWeights* cols, std::int32_t n,
                 const detail::RowWeights& rw, std::uint8_t* dst) noexcept {
    for (std::int32_t x = 0; x < n; ++x)
        detail::bilinearPixel(src, cols[x], rw, dst + static_cast<std::size_t>(x) * 4);
}

// Enlargements read each source pixel for several output pixels: there the source rows are
// turned into doubles once and the samples read those. The sums are the same (a byte converts
// to a double exactly), in the same order.
class DoubleRows {
  public:
    // Columns [first, end) of any source row, converted by toDoubles; false when the rows cannot
    // be allocated.
    bool init(std::int32_t first, std::int32_t end,
              void (*toDoubles)(const std::uint8_t*, double*, std::size_t) noexcept) noexcept {
        toDoubles_ = toDoubles;
        first_ = first;
        count_ = static_cast<std::size_t>(end - first) * 4;
        try {
            rows_[0].resize(count_);
            rows_[1].resize(count_);
        } catch (...) {
            return false;
        }
        return true;
    }
    // The row as doubles, pixel x at [(x - first) * 4]; converted unless it is one of the two
    // kept.
    const double* get(ConstPixelView src, std::int32_t r) noexcept {
        for (int k = 0; k < 2; ++k)
            if (key_[k] == r) return rows_[k].data();
        const int k = next_;
        next_ ^= 1;
        key_[k] = r;
        toDoubles_(src.row(r) + static_cast<std::size_t>(first_) * 4, rows_[k].data(), count_ / 4);
        return rows_[k].data();
    }
    [[nodiscard]] std::int32_t first() const noexcept { return first_; }

  private:
    void (*toDoubles_)(const std::uint8_t*, double*, std::size_t) noexcept = nullptr;
    std::vector<double> rows_[2];
    std::int32_t key_[2] = {-1, -1};
    int next_ = 0;
    std::int32_t first_ = 0;
    std::size_t count_ = 0;
};

// Weights that are whole multiples of 1/128 (halves, quarters, ... as in enlargements by 2, 4 or
// 8): every product of two such weights and a byte, and every sum of those, is exact in a
// double, so the rule's truncated sum is the integer sum of 128 x 128 weighted bytes divided by
// 2^14 and truncated. The integer form (BilinearScaleForms::sevenBitRows and sevenBitColumns)
// computes exactly that, and is used only when every weight of the row passes this test.
bool sevenBitWeight(double w, std::int32_t& out) noexcept {
    const double scaled = w * 128.0;  // exact: a power of two
    if (!(scaled >= 0.0 && scaled <= 128.0) || scaled != std::floor(scaled)) return false;
    out = static_cast<std::int32_t>(scaled);
    return true;
}

// Output rows whose every sample is one source pixel of weight exactly 1 (a reduction by a whole
// factor, say) copy those pixels: the sums of such samples are the bytes themselves, which is
// what the one-pixel form gives as well. `offsets` holds each column's byte offset in the row.
void pointSampleRow(const std::uint8_t* row, const std::uint32_t* offsets, std::int32_t n,
                    std::uint8_t* dst) noexcept {
    std::int32_t x = 0;
    for (; x + 4 <= n; x += 4, dst += 16) {
        std::uint32_t p[4];
        for (int k = 0; k < 4; ++k)
            std::memcpy(&p[k], row + offsets[x + k], 4);
        std::memcpy(dst, p, 16);
    }
    for (; x < n; ++x, dst += 4)
        std::memcpy(dst, row + offsets[x], 4);
}

}  // namespace

bool scaleToBuffer(ConstPixelView src, const ScaleJob& job, PixelView out) noexcept {
    if (!scaleJobFits(src, job, out)) return false;
    const double xRatio = static_cast<double>(job.srcWidth) / job.fullWidth;
    const double yRatio = static_cast<double>(job.srcHeight) / job.fullHeight;
    const std::int32_t base = src.height - job.srcHeight - job.srcY;
    const std::int32_t colEnd = job.srcX + job.srcWidth;
    const std::int32_t rowLast = base + job.srcHeight - 1;

    std::vector<detail::ColumnWeights> cols;
    try {
        cols.resize(static_cast<std::size_t>(out.width));
    } catch (...) {
        return false;
    }
    for (std::int32_t x = 0; x < out.width; ++x) {
        const double fx = job.srcX + static_cast<double>(x + job.skipX) * xRatio;
        const std::int32_t xi = clampIndex(fx, job.srcX, colEnd - 1);
        cols[static_cast<std::size_t>(x)] =
            job.bilinear ? detail::columnWeights(fx, xi, colEnd) : detail::ColumnWeights{xi, 1, 0};
    }

    // The faster rows where the table has them; then the shortcuts below are taken too.
    const detail::BilinearScaleForms* fast = job.bilinear ? imageKernels().bilinearScale : nullptr;
    // Whether every column takes one source column of weight 1; then rows of one source row of
    // weight 1 are plain copies of pixels.
    std::vector<std::uint32_t> pointOffsets;
    if (fast && std::all_of(cols.begin(), cols.end(), [](const detail::ColumnWeights& c) {
            return c.w1 == 0.0 && c.w0 == 1.0;
        })) {
        try {
            pointOffsets.resize(cols.size());
        } catch (...) {
            return false;
        }
        for (std::size_t x = 0; x < cols.size(); ++x)
            pointOffsets[x] = static_cast<std::uint32_t>(cols[x].xi) * 4;
    }
    DoubleRows doubleRows;
    const bool useDoubleRows = fast && xRatio <= 1.0 && yRatio <= 1.0 &&
                               doubleRows.init(job.srcX, colEnd, fast->toDoubles);
    // The integer form, when every column's weights are multiples of 1/128.
    std::vector<detail::SevenBitColumn> sevenBitCols;
    std::vector<std::uint16_t> blended;
    if (fast && pointOffsets.empty()) {
        try {
            sevenBitCols.resize(cols.size());
            for (std::size_t x = 0; x < cols.size(); ++x) {
                std::int32_t w0 = 0, w1 = 0;
                if (!sevenBitWeight(cols[x].w0, w0) || !sevenBitWeight(cols[x].w1, w1)) {
                    sevenBitCols.clear();
                    break;
                }
                sevenBitCols[x] = {static_cast<std::uint32_t>(cols[x].xi - job.srcX),
                                   w0 | (w1 << 16)};
            }
            if (!sevenBitCols.empty())
                blended.resize(static_cast<std::size_t>(job.srcWidth + 1) * 4);
        } catch (...) {
            return false;
        }
    }
    for (std::int32_t y = 0; y < out.height; ++y) {
        std::uint8_t* dst = out.row(y);
        const double fy = base + static_cast<double>(y + job.skipBottom) * yRatio;
        const std::int32_t yi = clampIndex(fy, base, rowLast);
        if (!job.bilinear) {
            const std::uint8_t* row = src.row(yi);
            for (std::int32_t x = 0; x < out.width; ++x) {
                std::memcpy(
                    dst + static_cast<std::size_t>(x) * 4,
                    row + static_cast<std::size_t>(cols[static_cast<std::size_t>(x)].xi) * 4, 4);
            }
            continue;
        }
        const detail::RowWeights rw = detail::rowWeights(fy, yi);
        if (!pointOffsets.empty() && (rw.wTop == 0.0) != (rw.wBelow == 0.0) &&
            (rw.wTop != 0.0 ? rw.wTop : rw.wBelow) == 1.0) {
            pointSampleRow(src.row(rw.wTop != 0.0 ? rw.yi : rw.yi - 1), pointOffsets.data(),
                           out.width, dst);
            continue;
        }
        std::int32_t wTop = 0, wBelow = 0;
        if (!sevenBitCols.empty() && sevenBitWeight(rw.wTop, wTop) &&
            sevenBitWeight(rw.wBelow, wBelow)) {
            const std::size_t left = static_cast<std::size_t>(job.srcX) * 4;
            // A row of weight 0 adds nothing; its place is taken by the row above.
            const std::uint8_t* top = src.row(rw.yi) + left;
            const std::uint8_t* below = wBelow != 0 ? src.row(rw.yi - 1) + left : top;
            fast->sevenBitRows(top, below, wTop, wBelow, job.srcWidth, blended.data());
            fast->sevenBitColumns(blended.data(), sevenBitCols.data(), out.width, dst);
            continue;
        }
        if (useDoubleRows) {
            const double* top = doubleRows.get(src, rw.yi);
            const double* below = rw.wBelow != 0.0 ? doubleRows.get(src, rw.yi - 1) : top;
            fast->rowDoubles(top, below, doubleRows.first(), cols.data(), out.width, rw, dst);
            continue;
        }
        if (fast) {
            fast->row(src, cols.data(), out.width, rw, dst);
            continue;
        }
        bilinearRow(src, cols.data(), out.width, rw, dst);
    }
    return true;
}

}  // namespace talvrin::engine
