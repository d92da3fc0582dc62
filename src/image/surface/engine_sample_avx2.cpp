// The bilinear sample's AVX2 forms: the scaler's faster rows (BilinearScaleForms) and the
// rotator's bilinear row, each function built for AVX2 and named only by the AVX2 kernel table.
// Each gives the bytes of the one-pixel sample, bilinearPixel of engine_sample.h.
#include "image/surface/surface_rows.h"

#if defined(TALVRIN_SIMD_X86)

namespace talvrin::engine::detail {

namespace {

#define AVX2 __attribute__((target("avx2")))

// The four bytes of a pixel as four doubles.
AVX2 inline __m256d pixelAsDoubles(const std::uint8_t* p) noexcept {
    std::int32_t v;
    std::memcpy(&v, p, 4);
    return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(v)));
}

// Truncates four sums and stores them as bytes, saturating at 255 (sums are never negative).
AVX2 inline void storeSums(__m256d acc, std::uint8_t* dst) noexcept {
    const __m128i i32 = _mm256_cvttpd_epi32(acc);
    const __m128i u8 = _mm_packus_epi16(_mm_packs_epi32(i32, i32), _mm_setzero_si128());
    const std::int32_t out = _mm_cvtsi128_si32(u8);
    std::memcpy(dst, &out, 4);
}

// The same sums as bilinearPixel with the four channels in one register. Each tap adds
// weight * byte in the same order as the scalar form, so the doubles are bit for bit the same;
// taps of weight 0 add nothing (the pointers given for them must still be readable).
// No fused multiply-add: the products are rounded before they are added, as in scalar code.
AVX2 inline void bilinearPixelAvx2(const std::uint8_t* p0, const std::uint8_t* p1,
                                   const std::uint8_t* p2, const std::uint8_t* p3, double w0,
                                   double w1, double w2, double w3, std::uint8_t* dst) noexcept {
    __m256d acc = _mm256_mul_pd(pixelAsDoubles(p0), _mm256_set1_pd(w0));
    acc = _mm256_add_pd(acc, _mm256_mul_pd(pixelAsDoubles(p1), _mm256_set1_pd(w1)));
    acc = _mm256_add_pd(acc, _mm256_mul_pd(pixelAsDoubles(p2), _mm256_set1_pd(w2)));
    acc = _mm256_add_pd(acc, _mm256_mul_pd(pixelAsDoubles(p3), _mm256_set1_pd(w3)));
    storeSums(acc, dst);
}

// The same with only two taps of non-zero weight (skipping taps of weight 0 leaves every sum
// as it is, since adding +0 changes nothing).
AVX2 inline void bilinearPixel2Avx2(const std::uint8_t* p0, const std::uint8_t* p1, double w0,
                                    double w1, std::uint8_t* dst) noexcept {
    __m256d acc = _mm256_mul_pd(pixelAsDoubles(p0), _mm256_set1_pd(w0));
    acc = _mm256_add_pd(acc, _mm256_mul_pd(pixelAsDoubles(p1), _mm256_set1_pd(w1)));
    storeSums(acc, dst);
}

// ---- The scaler

// The same row with the channels of each sample in one vector register.
AVX2 void bilinearRowAvx2(ConstPixelView src, const ColumnWeights* cols, std::int32_t n,
                          const RowWeights& rw, std::uint8_t* dst) noexcept {
    const std::uint8_t* top = src.row(rw.yi);
    // A row of weight 0 still needs readable pixels: it adds nothing.
    const std::uint8_t* below = rw.wBelow != 0.0 ? src.row(rw.yi - 1) : top;
    const bool oneRow = (rw.wTop == 0.0) != (rw.wBelow == 0.0);
    const double oneRowWeight = rw.wTop != 0.0 ? rw.wTop : rw.wBelow;
    const std::uint8_t* single = rw.wTop != 0.0 ? top : below;
    for (std::int32_t x = 0; x < n; ++x, dst += 4) {
        const ColumnWeights& c = cols[x];
        const std::size_t off = static_cast<std::size_t>(c.xi) * 4;
        if (c.w1 == 0.0 && c.w0 == 1.0 && oneRow && oneRowWeight == 1.0) {
            std::memcpy(dst, single + off, 4);
            continue;
        }
        if (c.w1 == 0.0) {  // one column: the taps of weight 0 add nothing
            if (oneRow) {
                bilinearPixel2Avx2(single + off, single + off, c.w0 * oneRowWeight, 0.0, dst);
            } else {
                bilinearPixel2Avx2(top + off, below + off, c.w0 * rw.wTop, c.w0 * rw.wBelow, dst);
            }
        } else if (oneRow) {
            bilinearPixel2Avx2(single + off, single + off + 4, c.w0 * oneRowWeight,
                               c.w1 * oneRowWeight, dst);
        } else {
            bilinearPixelAvx2(top + off, top + off + 4, below + off, below + off + 4,
                              c.w0 * rw.wTop, c.w1 * rw.wTop, c.w0 * rw.wBelow, c.w1 * rw.wBelow,
                              dst);
        }
    }
}

// n pixels as doubles, each byte exactly.
AVX2 void toDoubles(const std::uint8_t* p, double* out, std::size_t n) noexcept {
    for (std::size_t i = 0; i < n; ++i)
        _mm256_storeu_pd(out + 4 * i, pixelAsDoubles(p + 4 * i));
}

AVX2 inline __m256d tapD(const double* p, double w) noexcept {
    return _mm256_mul_pd(_mm256_loadu_pd(p), _mm256_set1_pd(w));
}

// The row over source rows already turned into doubles.
AVX2 void rowDoubles(const double* top, const double* below, std::int32_t first,
                     const ColumnWeights* cols, std::int32_t n, const RowWeights& rw,
                     std::uint8_t* dst) noexcept {
    const bool oneRow = (rw.wTop == 0.0) != (rw.wBelow == 0.0);
    const double oneRowWeight = rw.wTop != 0.0 ? rw.wTop : rw.wBelow;
    const double* single = rw.wTop != 0.0 ? top : below;
    for (std::int32_t x = 0; x < n; ++x, dst += 4) {
        const ColumnWeights& c = cols[x];
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
        storeSums(acc, dst);
    }
}

// The two rows of an output row blended first (the sums are the same in any order, being
// exact): v = wTop x top + wBelow x below per channel, at most 128 x 255, for n pixels and a
// zero pixel after them (the right neighbour of weight 0 of the last column).
AVX2 void blendRowsSevenBit(const std::uint8_t* top, const std::uint8_t* below, std::int32_t wTop,
                            std::int32_t wBelow, std::int32_t n, std::uint16_t* v) noexcept {
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
AVX2 inline __m256i twoColumnsSevenBit(const std::uint16_t* v, const SevenBitColumn& a,
                                       const SevenBitColumn& b) noexcept {
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
AVX2 void columnsSevenBit(const std::uint16_t* v, const SevenBitColumn* cols, std::int32_t n,
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

}  // namespace

const BilinearScaleForms kBilinearScaleAvx2 = {bilinearRowAvx2, toDoubles, rowDoubles,
                                               blendRowsSevenBit, columnsSevenBit};

// ---- The rotator

// The bilinear row with the channels of each sample in one vector register.
AVX2 void rotateBilinearAvx2(ConstPixelView src, const RotateGeometry& g, double fx, double fy,
                             std::int32_t side, std::uint8_t* dst) noexcept {
    for (std::int32_t col = 0; col < side; ++col, fx += g.cx, fy -= g.sy) {
        if (!(fx >= g.x0 && fx < g.x1 && fy >= g.y0 && fy < g.y1)) continue;
        const auto xi = static_cast<std::int32_t>(fx);
        const auto yi = static_cast<std::int32_t>(fy);
        const ColumnWeights c = columnWeights(fx, xi, g.columnEnd);
        const RowWeights r = rowWeights(fy, yi);
        const std::uint8_t* top = src.row(r.yi);
        const std::uint8_t* below = r.wBelow != 0.0 ? src.row(r.yi - 1) : top;
        const std::size_t off = static_cast<std::size_t>(xi) * 4;
        const std::size_t offRight = c.w1 != 0.0 ? off + 4 : off;
        bilinearPixelAvx2(top + off, top + offRight, below + off, below + offRight, c.w0 * r.wTop,
                          c.w1 * r.wTop, c.w0 * r.wBelow, c.w1 * r.wBelow,
                          dst + static_cast<std::size_t>(col) * 4);
    }
}

#undef AVX2

}  // namespace talvrin::engine::detail

#endif  // TALVRIN_SIMD_X86
