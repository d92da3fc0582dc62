// Engine: the resampler, nearest-neighbour and bilinear, producing only the part of the output
// that reaches the target.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "base/checked_math.h"
#include "base/simd.h"
#include "image/surface/engine.h"
#include "image/surface/engine_sample.h"

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

#if defined(TALVRIN_SIMD_X86)
// The same row with the channels of each sample in one vector register.
__attribute__((target("avx2"))) void bilinearRowAvx2(ConstPixelView src,
                                                     const detail::ColumnWeights* cols,
                                                     std::int32_t n, const detail::RowWeights& rw,
                                                     std::uint8_t* dst) noexcept {
    const std::uint8_t* top = src.row(rw.yi);
    // A row of weight 0 still needs readable pixels: it adds nothing.
    const std::uint8_t* below = rw.wBelow != 0.0 ? src.row(rw.yi - 1) : top;
    const bool oneRow = (rw.wTop == 0.0) != (rw.wBelow == 0.0);
    const double oneRowWeight = rw.wTop != 0.0 ? rw.wTop : rw.wBelow;
    const std::uint8_t* single = rw.wTop != 0.0 ? top : below;
    for (std::int32_t x = 0; x < n; ++x, dst += 4) {
        const detail::ColumnWeights& c = cols[x];
        const std::size_t off = static_cast<std::size_t>(c.xi) * 4;
        if (c.w1 == 0.0 && c.w0 == 1.0 && oneRow && oneRowWeight == 1.0) {
            std::memcpy(dst, single + off, 4);
            continue;
        }
        if (c.w1 == 0.0) {  // one column: the taps of weight 0 add nothing
            if (oneRow) {
                detail::bilinearPixel2Avx2(single + off, single + off, c.w0 * oneRowWeight, 0.0,
                                           dst);
            } else {
                detail::bilinearPixel2Avx2(top + off, below + off, c.w0 * rw.wTop, c.w0 * rw.wBelow,
                                           dst);
            }
        } else if (oneRow) {
            detail::bilinearPixel2Avx2(single + off, single + off + 4, c.w0 * oneRowWeight,
                                       c.w1 * oneRowWeight, dst);
        } else {
            detail::bilinearPixelAvx2(top + off, top + off + 4, below + off, below + off + 4,
                                      c.w0 * rw.wTop, c.w1 * rw.wTop, c.w0 * rw.wBelow,
                                      c.w1 * rw.wBelow, dst);
        }
    }
}

// Enlargements read each source pixel for several output pixels: there the source rows are
// turned into doubles once and the samples read those. The sums are the same (a byte converts
// to a double exactly), in the same order.
class DoubleRows {
  public:
    // Columns [first, end) of any source row; false when the rows cannot be allocated.
    bool init(std::int32_t first, std::int32_t end) noexcept {
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
        convert(src.row(r) + static_cast<std::size_t>(first_) * 4, rows_[k].data(), count_ / 4);
        return rows_[k].data();
    }
    [[nodiscard]] std::int32_t first() const noexcept { return first_; }

  private:
    __attribute__((target("avx2"))) static void convert(const std::uint8_t* p, double* out,
                                                        std::size_t n) noexcept {
        for (std::size_t i = 0; i < n; ++i)
            _mm256_storeu_pd(out + 4 * i, detail::pixelAsDoubles(p + 4 * i));
    }

    std::vector<double> rows_[2];
    std::int32_t key_[2] = {-1, -1};
    int next_ = 0;
    std::int32_t first_ = 0;
    std::size_t count_ = 0;
};

__attribute__((target("avx2"))) inline __m256d tapD(const double* p, double w) noexcept {
    return _mm256_mul_pd(_mm256_loadu_pd(p), _mm256_set1_pd(w));
}

// bilinearRowAvx2 over rows already turned into doubles.
__attribute__((target("avx2"))) void bilinearRowDoubles(ConstPixelView src, DoubleRows& rows,
                                                        const detail::ColumnWeights* cols,
                                                        std::int32_t n,
                                                        const detail::RowWeights& rw,
                                                        std::uint8_t* dst) noexcept {
    const double* top = rows.get(src, rw.yi);
    const double* below = rw.wBelow != 0.0 ? rows.get(src, rw.yi - 1) : top;
    const bool oneRow = (rw.wTop == 0.0) != (rw.wBelow == 0.0);
    const double oneRowWeight = rw.wTop != 0.0 ? rw.wTop : rw.wBelow;
    const double* single = rw.wTop != 0.0 ? top : below;
    const std::int32_t first = rows.first();
    for (std::int32_t x = 0; x < n; ++x, dst += 4) {
        const detail::ColumnWeights& c = cols[x];
        const std::size_t off = static_cast<std::size_t>(c.xi - first) * 4;
        __m256d acc;
        if (c.w1 == 0.0) {
            if (oneRow) {
                acc = tapD(single + off, c.w0 * oneRowWeight);
            } else {
                acc = tapD(top + off, c.w0 * rw.wTop);
                acc = _mm256_add_pd(acc, tapD(below + off, c.w0 * rw.wBelow));
            }
        } else if (oneRow) {
            acc = tapD(single + off, c.w0 * oneRowWeight);
            acc = _mm256_add_pd(acc, tapD(single + off + 4, c.w1 * oneRowWeight));
        } else {
            acc = tapD(top + off, c.w0 * rw.wTop);
            acc = _mm256_add_pd(acc, tapD(top + off + 4, c.w1 * rw.wTop));
            acc = _mm256_add_pd(acc, tapD(below + off, c.w0 * rw.wBelow));
            acc = _mm256_add_pd(acc, tapD(below + off + 4, c.w1 * rw.wBelow));
        }
        detail::storeSums(acc, dst);
    }
}
#endif

#if defined(TALVRIN_SIMD_X86)
// Weights that are whole multiples of 1/128 (halves, quarters, ... as in enlargements by 2, 4 or
// 8): every product of two such weights and a byte, and every sum of those, is exact in a
// double, so the rule's truncated sum is the integer sum of 128 x 128 weighted bytes divided by
// 2^14 and truncated. The integer form below computes exactly that, and is used only when every
// weight of the row passes this test.
bool sevenBitWeight(double w, std::int32_t& out) noexcept {
    const double scaled = w * 128.0;  // exact: a power of two
    if (!(scaled >= 0.0 && scaled <= 128.0) || scaled != std::floor(scaled)) return false;
    out = static_cast<std::int32_t>(scaled);
    return true;
}

// A column of the integer form: its left pixel within the blended row, and the weights of that
// pixel and its right neighbour as the 16-bit pair (w0, w1).
struct SevenBitColumn {
    std::uint32_t at;
    std::int32_t weights;
};

// The two rows of an output row blended first (the sums are the same in any order, being
// exact): v = wTop x top + wBelow x below per channel, at most 128 x 255, for n pixels and a
// zero pixel after them (the right neighbour of weight 0 of the last column).
__attribute__((target("avx2"))) void blendRowsSevenBit(const std::uint8_t* top,
                                                       const std::uint8_t* below, std::int32_t wTop,
                                                       std::int32_t wBelow, std::int32_t n,
                                                       std::uint16_t* v) noexcept {
    const __m256i mt = _mm256_set1_epi16(static_cast<short>(wTop));
    const __m256i mb = _mm256_set1_epi16(static_cast<short>(wBelow));
    std::int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m256i t =
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 4 * i)));
        const __m256i b =
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(below + 4 * i)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(v + 4 * i),
                            _mm256_add_epi16(_mm256_mullo_epi16(t, mt), _mm256_mullo_epi16(b, mb)));
    }
    for (std::size_t k = static_cast<std::size_t>(i) * 4; k < static_cast<std::size_t>(n) * 4; ++k)
        v[k] = static_cast<std::uint16_t>(wTop * top[k] + wBelow * below[k]);
    std::memset(v + static_cast<std::size_t>(n) * 4, 0, 4 * sizeof(std::uint16_t));
}

// Two pixels of columnsSevenBit, one in each half: the sums before they are packed.
__attribute__((target("avx2"))) inline __m256i twoColumnsSevenBit(
    const std::uint16_t* v, const SevenBitColumn& a, const SevenBitColumn& b) noexcept {
    // v[at] and v[at + 1] of each.
    const __m128i pa = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + 4 * std::size_t{a.at}));
    const __m128i pb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + 4 * std::size_t{b.at}));
    __m256i p = _mm256_inserti128_si256(_mm256_castsi128_si256(pa), pb, 1);
    // (left, right) of each channel side by side, for the pairwise multiply-add.
    p = _mm256_unpacklo_epi16(p, _mm256_srli_si256(p, 8));
    const __m256i w = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_set1_epi32(a.weights)),
                                              _mm_set1_epi32(b.weights), 1);
    return _mm256_srli_epi32(_mm256_madd_epi16(p, w), 14);
}

// The columns of an output row from the blended row: (w0 x v[at] + w1 x v[at + 1]) >> 14 per
// channel, four pixels at a time.
__attribute__((target("avx2"))) void columnsSevenBit(const std::uint16_t* v,
                                                     const SevenBitColumn* cols, std::int32_t n,
                                                     std::uint8_t* dst) noexcept {
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 0, 0, 0, 0);
    std::int32_t x = 0;
    for (; x + 4 <= n; x += 4, dst += 16) {
        // Lanes hold pixels (0, 2) and (1, 3) after the packs; the permutation puts them in order.
        __m256i p = _mm256_packus_epi32(twoColumnsSevenBit(v, cols[x], cols[x + 1]),
                                        twoColumnsSevenBit(v, cols[x + 2], cols[x + 3]));
        p = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(p, p), order);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm256_castsi256_si128(p));
    }
    for (; x < n; ++x, dst += 4) {
        const SevenBitColumn& c = cols[x];
        const std::int32_t w0 = c.weights & 0xFFFF, w1 = c.weights >> 16;
        const std::uint16_t* l = v + 4 * std::size_t{c.at};
        for (int k = 0; k < 4; ++k)
            dst[k] = static_cast<std::uint8_t>((w0 * l[k] + w1 * l[k + 4]) >> 14);
    }
}
#endif

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

    [[maybe_unused]] const bool vector = job.bilinear && simd::allows(simd::Level::kAvx2);
    // Whether every column takes one source column of weight 1; then rows of one source row of
    // weight 1 are plain copies of pixels.
    std::vector<std::uint32_t> pointOffsets;
    if (vector && std::all_of(cols.begin(), cols.end(), [](const detail::ColumnWeights& c) {
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
#if defined(TALVRIN_SIMD_X86)
    DoubleRows doubleRows;
    const bool useDoubleRows =
        vector && xRatio <= 1.0 && yRatio <= 1.0 && doubleRows.init(job.srcX, colEnd);
#endif
#if defined(TALVRIN_SIMD_X86)
    // The integer form, when every column's weights are multiples of 1/128.
    std::vector<SevenBitColumn> sevenBitCols;
    std::vector<std::uint16_t> blended;
    if (vector && pointOffsets.empty()) {
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
#endif
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
#if defined(TALVRIN_SIMD_X86)
        std::int32_t wTop = 0, wBelow = 0;
        if (!sevenBitCols.empty() && sevenBitWeight(rw.wTop, wTop) &&
            sevenBitWeight(rw.wBelow, wBelow)) {
            const std::size_t left = static_cast<std::size_t>(job.srcX) * 4;
            // A row of weight 0 adds nothing; its place is taken by the row above.
            const std::uint8_t* top = src.row(rw.yi) + left;
            const std::uint8_t* below = wBelow != 0 ? src.row(rw.yi - 1) + left : top;
            blendRowsSevenBit(top, below, wTop, wBelow, job.srcWidth, blended.data());
            columnsSevenBit(blended.data(), sevenBitCols.data(), out.width, dst);
            continue;
        }
        if (useDoubleRows) {
            bilinearRowDoubles(src, doubleRows, cols.data(), out.width, rw, dst);
            continue;
        }
        if (vector) {
            bilinearRowAvx2(src, cols.data(), out.width, rw, dst);
            continue;
        }
#endif
        bilinearRow(src, cols.data(), out.width, rw, dst);
    }
    return true;
}

}  // namespace talvrin::engine
