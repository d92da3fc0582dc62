// Row unfiltering in SSE2, the same bytes as the plain form of png_unfilter.cpp.
//
// Up has no dependency along the row and runs 16 bytes at a time. Sub is a prefix sum along the
// row: a vector of whole pixels is summed in log2 steps and the last pixel of one vector carries
// into the next. Average and Paeth depend on the pixel to the left after it was unfiltered, so
// they go pixel by pixel with the pixel's bytes side by side in one register (Paeth in 16-bit
// lanes, without branches); for 1- and 2-byte units that leaves too little in a register to
// pay, and the plain form runs.
#include <cstring>
#include <type_traits>

#include "image/codecs/codec_rows.h"

#if defined(TALVRIN_SIMD_X86)

namespace talvrin::png::detail {

void upSse2(std::uint8_t* row, const std::uint8_t* prev, std::size_t len) noexcept {
    std::size_t i = 0;
    for (; i + 16 <= len; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(prev + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), _mm_add_epi8(x, b));
    }
    for (; i < len; ++i)
        row[i] = static_cast<std::uint8_t>(row[i] + prev[i]);
}

namespace {

// One pixel of U bytes in the low lanes of a register (the lanes above are 0), and back. The
// accesses touch exactly the pixel's bytes, so nothing outside the row is read or written; they
// are whole loads and stores of 1, 2, 4 and 8 bytes combined in registers (a copy of 3 or 6
// bytes through memory would stall the next load of the same word).
template <unsigned U>
[[gnu::always_inline]] inline std::uint64_t loadBytes(const std::uint8_t* p) noexcept {
    if constexpr (U == 8 || U == 4 || U == 2 || U == 1) {
        using Word = std::conditional_t<
            U == 8, std::uint64_t,
            std::conditional_t<U == 4, std::uint32_t,
                               std::conditional_t<U == 2, std::uint16_t, std::uint8_t>>>;
        Word w;
        std::memcpy(&w, p, U);
        return w;
    } else {
        constexpr unsigned kLow = U == 6 ? 4 : 2;
        return loadBytes<kLow>(p) | (loadBytes<U - kLow>(p + kLow) << (8 * kLow));
    }
}
template <unsigned U>
[[gnu::always_inline]] inline void storeBytes(std::uint8_t* p, std::uint64_t v) noexcept {
    if constexpr (U == 8 || U == 4 || U == 2 || U == 1) {
        using Word = std::conditional_t<
            U == 8, std::uint64_t,
            std::conditional_t<U == 4, std::uint32_t,
                               std::conditional_t<U == 2, std::uint16_t, std::uint8_t>>>;
        const auto w = static_cast<Word>(v);
        std::memcpy(p, &w, U);
    } else {
        constexpr unsigned kLow = U == 6 ? 4 : 2;
        storeBytes<kLow>(p, v);
        storeBytes<U - kLow>(p + kLow, v >> (8 * kLow));
    }
}
template <unsigned U>
[[gnu::always_inline]] inline __m128i loadPixel(const std::uint8_t* p) noexcept {
    return _mm_cvtsi64_si128(static_cast<long long>(loadBytes<U>(p)));
}
template <unsigned U>
[[gnu::always_inline]] inline void storePixel(std::uint8_t* p, __m128i v) noexcept {
    storeBytes<U>(p, static_cast<std::uint64_t>(_mm_cvtsi128_si64(v)));
}

// Adds every pixel of the vector to all pixels to its right: log2 steps of shifted adds.
template <unsigned kShift, unsigned kStep>
[[gnu::always_inline]] inline __m128i prefixSum(__m128i x) noexcept {
    if constexpr (kShift < kStep) {
        x = _mm_add_epi8(x, _mm_slli_si128(x, kShift));
        return prefixSum<kShift * 2, kStep>(x);
    } else {
        return x;
    }
}

// A mask of the low U bytes of a 64-bit word.
template <unsigned U>
constexpr std::uint64_t lowBytes() noexcept {
    if constexpr (U >= 8)
        return ~std::uint64_t{0};
    else
        return (std::uint64_t{1} << (8 * U)) - 1;
}

// Sub: whole pixels per vector, 16 bytes for units that divide 16, 12 for units 3 and 6.
template <unsigned U>
void subSse2(std::uint8_t* row, std::size_t len) noexcept {
    constexpr unsigned kStep = 16 / U * U == 16 ? 16 : 12;
    const __m128i keep = _mm_cvtsi64_si128(static_cast<long long>(lowBytes<U>()));
    __m128i carry = _mm_setzero_si128();  // the pixel to the left, in the low lanes
    std::size_t i = 0;
    for (; i + 16 <= len; i += kStep) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        x = prefixSum<U, kStep>(_mm_add_epi8(x, carry));
        if constexpr (kStep == 16) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), x);
            carry = _mm_srli_si128(x, 16 - U);
        } else {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(row + i), x);
            const std::int32_t high = _mm_cvtsi128_si32(_mm_srli_si128(x, 8));
            std::memcpy(row + i + 8, &high, 4);
            carry = _mm_and_si128(_mm_srli_si128(x, kStep - U), keep);
        }
    }
    for (std::size_t k = i < U ? U : i; k < len; ++k)
        row[k] = static_cast<std::uint8_t>(row[k] + row[k - U]);
}

// Average: x + floor((a + b) / 2). The rounding-up byte average less the bit it rounded up.
template <unsigned U>
void averageSse2(std::uint8_t* row, const std::uint8_t* prev, std::size_t len) noexcept {
    const __m128i one = _mm_set1_epi8(1);
    __m128i a = _mm_setzero_si128();
    std::size_t i = 0;
    for (; i + U <= len; i += U) {
        const __m128i b = loadPixel<U>(prev + i);
        const __m128i x = loadPixel<U>(row + i);
        const __m128i avg =
            _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
        a = _mm_add_epi8(x, avg);
        storePixel<U>(row + i, a);
    }
    for (std::size_t k = i; k < len; ++k)  // a partial pixel cannot occur; kept for safety
        row[k] = static_cast<std::uint8_t>(row[k] + (((k >= U ? row[k - U] : 0) + prev[k]) >> 1));
}

[[gnu::always_inline]] inline __m128i abs16(__m128i v) noexcept {
    return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v));
}

// Paeth in 16-bit lanes: pa = |b - c|, pb = |a - c|, pc = |a + b - 2c|; a where pa is the
// smallest, else b where pb is, else c (the ties of the scalar form).
template <unsigned U>
void paethSse2(std::uint8_t* row, const std::uint8_t* prev, std::size_t len) noexcept {
    const __m128i zero = _mm_setzero_si128();
    __m128i a = zero, c = zero;  // 16-bit lanes
    std::size_t i = 0;
    for (; i + U <= len; i += U) {
        const __m128i b = _mm_unpacklo_epi8(loadPixel<U>(prev + i), zero);
        const __m128i x = loadPixel<U>(row + i);
        const __m128i bc = _mm_sub_epi16(b, c);
        const __m128i ac = _mm_sub_epi16(a, c);
        const __m128i pa = abs16(bc);
        const __m128i pb = abs16(ac);
        const __m128i pc = abs16(_mm_add_epi16(ac, bc));
        const __m128i smallest = _mm_min_epi16(pa, _mm_min_epi16(pb, pc));
        const __m128i takeA = _mm_cmpeq_epi16(pa, smallest);
        const __m128i takeB = _mm_cmpeq_epi16(pb, smallest);
        const __m128i bOrC = _mm_or_si128(_mm_and_si128(takeB, b), _mm_andnot_si128(takeB, c));
        const __m128i pred = _mm_or_si128(_mm_and_si128(takeA, a), _mm_andnot_si128(takeA, bOrC));
        const __m128i out = _mm_add_epi8(x, _mm_packus_epi16(pred, pred));
        storePixel<U>(row + i, out);
        a = _mm_unpacklo_epi8(out, zero);
        c = b;
    }
    for (std::size_t k = i; k < len; ++k)  // a partial pixel cannot occur; kept for safety
        row[k] = static_cast<std::uint8_t>(
            row[k] + paeth(k >= U ? row[k - U] : 0, prev[k], k >= U ? prev[k - U] : 0));
}

template <unsigned U>
void vectorRow(std::uint8_t type, std::uint8_t* row, const std::uint8_t* prev,
               std::size_t len) noexcept {
    // The first row of a block has no row above: Up leaves it, Average and Paeth become the
    // plain forms of a one-sided neighbourhood (rare enough not to need vectors).
    if (!prev && type != 1) {
        unfilterRowScalar(type, row, prev, len, U);
        return;
    }
    switch (type) {
        case 1:
            subSse2<U>(row, len);
            break;
        case 2:
            upSse2(row, prev, len);
            break;
        case 3:
            if constexpr (U >= 3)
                averageSse2<U>(row, prev, len);
            else
                unfilterRowScalar(type, row, prev, len, U);
            break;
        case 4:
            if constexpr (U >= 3)
                paethSse2<U>(row, prev, len);
            else
                unfilterRowScalar(type, row, prev, len, U);
            break;
        default:
            break;
    }
}

}  // namespace

void unfilterRowSse2(std::uint8_t type, std::uint8_t* row, const std::uint8_t* prev,
                     std::size_t len, unsigned unit) noexcept {
    switch (unit) {
        case 1:
            return vectorRow<1>(type, row, prev, len);
        case 2:
            return vectorRow<2>(type, row, prev, len);
        case 3:
            return vectorRow<3>(type, row, prev, len);
        case 4:
            return vectorRow<4>(type, row, prev, len);
        case 6:
            return vectorRow<6>(type, row, prev, len);
        case 8:
            return vectorRow<8>(type, row, prev, len);
        default:
            return unfilterRowScalar(type, row, prev, len, unit);
    }
}

}  // namespace talvrin::png::detail

#endif  // TALVRIN_SIMD_X86
