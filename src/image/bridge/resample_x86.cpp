// The resampler's SSE2 and AVX2 row forms: the arithmetic of the scalar reference
// (resample.cpp), lane by lane. Sums of 16-bit products are formed in pairs by madd, whose
// 32-bit results are exact, so any pairing of the taps gives the reference's sums; and the rows
// between the passes hold values below 2 kMidBias in size, so adding two of them first (the taps
// of equal weight of a symmetric filter) changes no sum either.
#include "image/bridge/resample_x86.h"

#include "base/simd.h"

namespace talvrin::bridge::resample::detail {

#if TALVRIN_RESAMPLE_X86

namespace {

using namespace x86;

#define SSE2 TALVRIN_SSE2
#define AVX2 TALVRIN_AVX2

constexpr std::int32_t kMidRound = 1 << (kMidShift - 1);
constexpr std::int32_t kOutRound = 1 << (kOutShift - 1);

// ---- Shared 128-bit steps (SSE2) ----

// Two 16-bit weights as one 32-bit lane pattern, for madd against interleaved pairs.
SSE2 inline __m128i pairOf(std::int16_t w0, std::int16_t w1) noexcept {
    return _mm_set1_epi32(static_cast<std::int32_t>(
        static_cast<std::uint32_t>(static_cast<std::uint16_t>(w0)) |
        (static_cast<std::uint32_t>(static_cast<std::uint16_t>(w1)) << 16)));
}

// Sums of four taps of 4 pixels, per channel: [B G R A] as int32.
SSE2 inline __m128i fourTapsSse2(const std::uint8_t* p, const std::int16_t* w) noexcept {
    const __m128i zero = _mm_setzero_si128();
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i lo = _mm_unpacklo_epi8(v, zero), hi = _mm_unpackhi_epi8(v, zero);
    // [w0 w1 w2 w3] -> [w0 w2 w1 w3]: pairs (w0, w2) and (w1, w3) against (p0, p2), (p1, p3).
    const __m128i wv = _mm_shufflelo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(w)),
                                           _MM_SHUFFLE(3, 1, 2, 0));
    const __m128i a = _mm_madd_epi16(_mm_unpacklo_epi16(lo, hi), _mm_shuffle_epi32(wv, 0x00));
    const __m128i b = _mm_madd_epi16(_mm_unpackhi_epi16(lo, hi), _mm_shuffle_epi32(wv, 0x55));
    return _mm_add_epi32(a, b);
}

// One pixel's across sum over the window: the 4 channels' int32 sums.
SSE2 inline __m128i windowSse2(const std::uint8_t* p, const std::int16_t* w,
                               std::int32_t taps) noexcept {
    __m128i acc = _mm_setzero_si128();
    for (std::int32_t k = 0; k < taps; k += 4)
        acc = _mm_add_epi32(acc, fourTapsSse2(p + 4 * k, w + k));
    return acc;
}

// A turned draw's value of 6 fractional bits (saturated when packed).
SSE2 inline __m128i midOf(__m128i sums) noexcept {
    return _mm_srai_epi32(_mm_add_epi32(sums, _mm_set1_epi32(kMidRound)), kMidShift);
}

// Each pixel's colours held to its alpha (4 pixels of bytes).
SSE2 inline __m128i heldToAlphaSse2(__m128i v) noexcept {
    __m128i a = _mm_srli_epi32(v, 24);
    a = _mm_or_si128(a, _mm_slli_epi32(a, 8));
    a = _mm_or_si128(a, _mm_slli_epi32(a, 16));
    return _mm_min_epu8(v, a);
}

// One pixel of a turned draw from its row sums: two rows at a time, interleaved per channel.
SSE2 inline __m128i pairRowsSse2(__m128i midA, __m128i midB, std::int16_t wa,
                                 std::int16_t wb) noexcept {
    const __m128i t = _mm_packs_epi32(midA, midB);  // [A: B G R A | B: B G R A]
    return _mm_madd_epi16(_mm_unpacklo_epi16(t, _mm_srli_si128(t, 8)), pairOf(wa, wb));
}

SSE2 inline void finishPixelSse2(__m128i acc, std::uint8_t coverage, std::uint8_t* out) noexcept {
    const __m128i r = _mm_srai_epi32(_mm_add_epi32(acc, _mm_set1_epi32(kOutRound)), kOutShift);
    const __m128i p16 = _mm_packs_epi32(r, r);
    const __m128i bytes = heldToAlphaSse2(_mm_packus_epi16(p16, p16));
    const std::int32_t v = _mm_cvtsi128_si32(bytes);
    std::memcpy(out, &v, 4);
    applyCoverage(out, coverage);
}

// Source-over of 4 pixels: t = min(255, s + round(t (255 - sa) / 255)), on 16-bit halves.
SSE2 inline __m128i overHalfSse2(__m128i s16, __m128i d16) noexcept {
    const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s16, 0xFF), 0xFF);
    const __m128i t = _mm_mullo_epi16(d16, _mm_sub_epi16(_mm_set1_epi16(255), a));
    return _mm_mulhi_epu16(_mm_add_epi16(t, _mm_set1_epi16(128)), _mm_set1_epi16(257));
}
SSE2 inline __m128i overFourSse2(__m128i s, __m128i d) noexcept {
    const __m128i zero = _mm_setzero_si128();
    const __m128i lo = overHalfSse2(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero));
    const __m128i hi = overHalfSse2(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero));
    return _mm_adds_epu8(s, _mm_packus_epi16(lo, hi));
}

inline void overTail(std::uint8_t* d, const std::uint8_t* s, std::int32_t count) noexcept {
    for (std::int32_t i = 0; i < count; ++i, d += 4, s += 4) {
        const std::uint32_t ia = 255 - s[3];
        for (int c = 0; c < 4; ++c)
            d[c] = static_cast<std::uint8_t>(
                std::min<std::uint32_t>(255, s[c] + div255Round(d[c] * ia)));
    }
}

// Four finished pixels s onto the 32-bit pixels at d, source-over; an opaque four are put down
// as they are and a transparent four leave d alone (what the blend gives them anyway).
SSE2 inline void overFourAt(std::uint8_t* d, __m128i sv) noexcept {
    const int opaque = _mm_movemask_epi8(
        _mm_cmpeq_epi8(_mm_or_si128(sv, _mm_set1_epi32(0x00FFFFFF)), _mm_set1_epi8(-1)));
    if (opaque == 0xFFFF) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), sv);
        return;
    }
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(sv, _mm_setzero_si128())) == 0xFFFF) return;
    const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), overFourSse2(sv, dv));
}

// What the down pass does with its finished pixels: stores them, or blends them source-over
// onto the 32-bit pixels there.
enum class Put : std::uint8_t { kStore, kOver };

// Down over 8 values (2 pixels) at j from `start` (downStart): int32 results before the shift.
SSE2 inline void downEightSse2(const std::int16_t* const* rows, const std::int16_t* w,
                               std::int32_t taps, std::int32_t start, std::int32_t j, __m128i& lo,
                               __m128i& hi) noexcept {
    lo = _mm_set1_epi32(start);
    hi = lo;
    for (std::int32_t k = 0; k < taps; k += 2) {
        const __m128i wv = pairAt(w + k);
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + j));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k + 1] + j));
        lo = _mm_add_epi32(lo, _mm_madd_epi16(_mm_unpacklo_epi16(a, b), wv));
        hi = _mm_add_epi32(hi, _mm_madd_epi16(_mm_unpackhi_epi16(a, b), wv));
    }
}

// Down over 4 pixels at pixel i, put at out + 4 i.
template <Put kPut>
SSE2 inline void downFourSse2(const std::int16_t* const* rows, const std::int16_t* w,
                              std::int32_t taps, std::int32_t start, std::int32_t i,
                              std::uint8_t* out) noexcept {
    __m128i a, b, c, d;
    downEightSse2(rows, w, taps, start, 4 * i, a, b);
    downEightSse2(rows, w, taps, start, 4 * i + 8, c, d);
    const __m128i first =
        _mm_packs_epi32(_mm_srai_epi32(a, kOutShift), _mm_srai_epi32(b, kOutShift));
    const __m128i second =
        _mm_packs_epi32(_mm_srai_epi32(c, kOutShift), _mm_srai_epi32(d, kOutShift));
    const __m128i px = heldToAlphaSse2(_mm_packus_epi16(first, second));
    if constexpr (kPut == Put::kStore)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i), px);
    else
        overFourAt(out + 4 * i, px);
}

// The pixels after the vector steps, as the reference does them.
template <Put kPut>
void downTail(const std::int16_t* const* rows, const std::int16_t* w, std::int32_t taps,
              std::int32_t start, std::int32_t from, std::int32_t count,
              std::uint8_t* out) noexcept {
    for (std::int32_t i = from; i < count; ++i) {
        std::uint8_t px[4];
        for (int c = 0; c < 4; ++c) {
            std::int32_t s = start;
            for (std::int32_t k = 0; k < taps; ++k)
                s += w[k] * rows[k][4 * i + c];
            px[c] = static_cast<std::uint8_t>(std::clamp(s >> kOutShift, 0, 255));
        }
        for (int c = 0; c < 3; ++c)
            px[c] = std::min(px[c], px[3]);
        if constexpr (kPut == Put::kStore)
            std::memcpy(out + 4 * i, px, 4);
        else
            overTail(out + 4 * i, px, 1);
    }
}

// Down over any number of taps, four pixels a step.
template <Put kPut>
SSE2 void downRowsSse2(const std::int16_t* const* rows, const std::int16_t* w, std::int32_t taps,
                       std::int32_t count, std::uint8_t* out) noexcept {
    const std::int32_t start = downStart(w, taps);
    std::int32_t i = 0;
    for (; i + 4 <= count; i += 4)
        downFourSse2<kPut>(rows, w, taps, start, i, out);
    downTail<kPut>(rows, w, taps, start, i, count, out);
}

// ---- SSE2 forms ----

SSE2 void acrossSse2(const std::uint8_t* src, const AxisFilter& f, std::int32_t begin,
                     std::int32_t count, std::int16_t* out) noexcept {
    const std::int32_t taps = f.taps;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::size_t at = std::size_t(begin) + std::size_t(i);
        const __m128i sums = windowSse2(src + 4 * std::size_t(f.first[at]),
                                        f.weights.data() + at * std::size_t(taps), taps);
        const __m128i m = midTwice<kMidShift>(sums);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * i), midPack(m, m));
    }
}

SSE2 void downSse2(const std::int16_t* const* rows, const std::int16_t* w, std::int32_t taps,
                   std::int32_t count, std::uint8_t* out) noexcept {
    downRowsSse2<Put::kStore>(rows, w, taps, count, out);
}

SSE2 void downOverSse2(const std::int16_t* const* rows, const std::int16_t* w, std::int32_t taps,
                       std::int32_t count, std::uint8_t* dst) noexcept {
    downRowsSse2<Put::kOver>(rows, w, taps, count, dst);
}

SSE2 void affineSse2(const Source& src, const PhaseTable& px, const PhaseTable& py,
                     const AffineSample* samples, std::int32_t count, std::uint8_t* out) noexcept {
    alignas(16) std::uint8_t gathered[2][4 * kMaxAffineTaps];
    for (std::int32_t i = 0; i < count; ++i) {
        const AffineSample& s = samples[i];
        const std::int16_t* wx = px.weights.data() + std::size_t(s.phaseX) * px.taps;
        const std::int16_t* wy = py.weights.data() + std::size_t(s.phaseY) * py.taps;
        const bool inside = s.x >= 0 && s.x <= src.width - px.taps;
        const auto rowAt = [&](std::int32_t ky, int slot) {
            const std::uint8_t* row = src.row(heldTo(s.y + ky, src.height));
            if (inside) return row + 4 * std::ptrdiff_t(s.x);
            gatherHeld(row, s.x, px.taps, src.width, gathered[slot]);
            return static_cast<const std::uint8_t*>(gathered[slot]);
        };
        __m128i acc = _mm_setzero_si128();
        for (std::int32_t ky = 0; ky < py.taps; ky += 2) {
            const __m128i a = midOf(windowSse2(rowAt(ky, 0), wx, px.taps));
            const __m128i b = midOf(windowSse2(rowAt(ky + 1, 1), wx, px.taps));
            acc = _mm_add_epi32(acc, pairRowsSse2(a, b, wy[ky], wy[ky + 1]));
        }
        finishPixelSse2(acc, s.coverage, out + 4 * i);
    }
}

SSE2 void overSse2(std::uint8_t* d, const std::uint8_t* s, std::int32_t count) noexcept {
    std::int32_t i = 0;
    for (; i + 4 <= count; i += 4)
        overFourAt(d + 4 * i, _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * i)));
    overTail(d + 4 * i, s + 4 * i, count - i);
}

// ---- AVX2 forms ----

// Byte shuffles pairing pixels 0 and 1 (and 2 and 3) of each 128-bit lane channel by channel,
// zero-extended to 16 bits: [B0 B1 G0 G1 R0 R1 A0 A1].
AVX2 inline __m256i pairMask01() noexcept {
    return _mm256_setr_epi8(0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1,  //
                            0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1);
}
AVX2 inline __m256i pairMask23() noexcept {
    return _mm256_setr_epi8(8, -1, 12, -1, 9, -1, 13, -1, 10, -1, 14, -1, 11, -1, 15, -1,  //
                            8, -1, 12, -1, 9, -1, 13, -1, 10, -1, 14, -1, 11, -1, 15, -1);
}
AVX2 inline __m256i load256(const std::uint8_t* p) noexcept {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// The across sums of two windows, one in each 128-bit lane: [B G R A] as int32 each.
AVX2 inline __m256i twoWindows(const std::uint8_t* pa, const std::uint8_t* pb,
                               const std::int16_t* wa, const std::int16_t* wb, std::int32_t taps,
                               __m256i m01, __m256i m23) noexcept {
    __m256i acc = _mm256_setzero_si256();
    for (std::int32_t k = 0; k < taps; k += 4) {
        const __m256i v = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pa + 4 * k))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(pb + 4 * k)), 1);
        const __m256i wv = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(wa + k))),
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(wb + k)), 1);
        acc = _mm256_add_epi32(
            acc, _mm256_madd_epi16(_mm256_shuffle_epi8(v, m01), _mm256_shuffle_epi32(wv, 0x00)));
        acc = _mm256_add_epi32(
            acc, _mm256_madd_epi16(_mm256_shuffle_epi8(v, m23), _mm256_shuffle_epi32(wv, 0x55)));
    }
    return acc;
}

// Output pixels [i, end) with windows and weights of their own.
AVX2 void acrossEach(const std::uint8_t* src, const AxisFilter& f, std::int32_t i, std::int32_t end,
                     std::int16_t* out) noexcept {
    const std::int32_t taps = f.taps;
    const __m256i m01 = pairMask01(), m23 = pairMask23();
    const auto at = [&](std::int32_t j) { return src + 4 * std::size_t(f.first[std::size_t(j)]); };
    const auto wt = [&](std::int32_t j) { return f.weights.data() + std::size_t(j) * taps; };
    for (; i + 4 <= end; i += 4, out += 16) {
        // Lanes: (i, i + 1) and (i + 2, i + 3); packed, they come out as i, i + 2 | i + 1, i + 3.
        const __m256i a =
            midTwice256<kMidShift>(twoWindows(at(i), at(i + 1), wt(i), wt(i + 1), taps, m01, m23));
        const __m256i b = midTwice256<kMidShift>(
            twoWindows(at(i + 2), at(i + 3), wt(i + 2), wt(i + 3), taps, m01, m23));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                            _mm256_permute4x64_epi64(midPack256(a, b), 0xD8));
    }
    for (; i + 2 <= end; i += 2, out += 8) {
        const __m256i a =
            midTwice256<kMidShift>(twoWindows(at(i), at(i + 1), wt(i), wt(i + 1), taps, m01, m23));
        const __m256i p = midPack256(a, a);  // i twice | i + 1 twice
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         _mm256_castsi256_si128(_mm256_permute4x64_epi64(p, 0x08)));
    }
    for (; i < end; ++i, out += 4) {
        const __m128i m = midTwice<kMidShift>(windowSse2(at(i), wt(i), taps));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), midPack(m, m));
    }
}

// Outputs [i, end) of a reduction by 2 sharing the weights w, four at a time: one load of 8
// pixels holds a tap pair of each, (0, 1) of output i, (2, 3) of i + 1, (4, 5) of i + 2 and
// (6, 7) of i + 3. Taps > 0 holds the weights in registers. Answers the first output not done.
template <std::int32_t Taps>
AVX2 std::int32_t halvingRows(const std::uint8_t* src, const AxisFilter& f, const std::int16_t* w,
                              std::int32_t i, std::int32_t end, std::int16_t* out) noexcept {
    const std::int32_t taps = Taps > 0 ? Taps : f.taps;
    const __m256i m01 = pairMask01(), m23 = pairMask23();
    constexpr std::int32_t kHeld = Taps > 0 ? Taps / 2 : 1;
    __m256i held[kHeld];
    if constexpr (Taps > 0) {
#pragma GCC unroll 8
        for (std::int32_t k = 0; k < Taps; k += 2)
            held[k / 2] = pairWeights(w + k);
    }
    for (; i + 4 <= end; i += 4, out += 16) {
        const std::uint8_t* p = src + 4 * std::size_t(f.first[std::size_t(i)]);
        __m256i even = _mm256_setzero_si256(), odd = even;
#pragma GCC unroll 8
        for (std::int32_t k = 0; k < taps; k += 2) {
            const __m256i v = load256(p + 4 * k);
            const __m256i wk = Taps > 0 ? held[k / 2] : pairWeights(w + k);
            even = _mm256_add_epi32(even, _mm256_madd_epi16(_mm256_shuffle_epi8(v, m01), wk));
            odd = _mm256_add_epi32(odd, _mm256_madd_epi16(_mm256_shuffle_epi8(v, m23), wk));
        }
        // even: i | i + 2, odd: i + 1 | i + 3; packed: i, i + 1 | i + 2, i + 3.
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                            midPack256(midTwice256<kMidShift>(even), midTwice256<kMidShift>(odd)));
    }
    return i;
}

// Eight weights that are whole multiples of 2^6 as 8-bit ones, c[k] = w[k] / 64 (the cubic's at
// a reduction by 2 are: -3, -9, 29, 111, 111, 29, -9, -3), where no sum of the byte products in
// the pairs (3, 1), (2, 0), (4, 6) and (5, 7) leaves 16 bits. False otherwise.
bool byteWeights(const std::int16_t* w, std::int8_t (&c)[8]) noexcept {
    for (int k = 0; k < 8; ++k) {
        if (w[k] % 64 != 0 || w[k] / 64 < -128 || w[k] / 64 > 127) return false;
        c[k] = static_cast<std::int8_t>(w[k] / 64);
    }
    for (const auto& [a, b] : {std::pair{3, 1}, {2, 0}, {4, 6}, {5, 7}}) {
        const int high = 255 * (std::max(0, int{c[a]}) + std::max(0, int{c[b]}));
        const int low = 255 * (std::min(0, int{c[a]}) + std::min(0, int{c[b]}));
        if (high > 32767 || low < -32768) return false;
    }
    return true;
}

// Four taps of a window in each lane by 8-bit weights: the lane's bytes in `order`, multiplied
// and added in pairs (maddubs), the pairs added (madd by 1): [B G R A] as int32 in each lane.
AVX2 inline __m256i byteTaps(__m256i v, __m256i order, __m256i weights) noexcept {
    return _mm256_madd_epi16(_mm256_maddubs_epi16(_mm256_shuffle_epi8(v, order), weights),
                             _mm256_set1_epi16(1));
}

// halvingRows for weights of 8 bits (byteWeights): the bytes multiplied as they are, by maddubs,
// two taps of a channel into 16 bits, then pairs of those into 32 (madd by 1), so that a byte
// shuffle takes four taps of one output in each lane instead of two of two. The sums are c
// times the pixels, 2^-6 of the Q14 sums: the shift and its rounding take that into account.
AVX2 std::int32_t halvingBytes(const std::uint8_t* src, const AxisFilter& f,
                               const std::int8_t (&c)[8], std::int32_t i, std::int32_t end,
                               std::int16_t* out) noexcept {
    // A lane of 4 pixels as (3, 1, 2, 0) for the window's first half, (0, 2, 1, 3) for its second
    // (its taps 4 ... 7), channel by channel.
    const __m256i first = _mm256_setr_epi8(12, 4, 8, 0, 13, 5, 9, 1, 14, 6, 10, 2, 15, 7, 11, 3,  //
                                           12, 4, 8, 0, 13, 5, 9, 1, 14, 6, 10, 2, 15, 7, 11, 3);
    const __m256i second =
        _mm256_setr_epi8(0, 8, 4, 12, 1, 9, 5, 13, 2, 10, 6, 14, 3, 11, 7, 15,  //
                         0, 8, 4, 12, 1, 9, 5, 13, 2, 10, 6, 14, 3, 11, 7, 15);
    const auto bytes = [](std::int8_t a, std::int8_t b, std::int8_t d, std::int8_t e) {
        return static_cast<std::int32_t>(
            std::uint32_t(std::uint8_t(a)) | std::uint32_t(std::uint8_t(b)) << 8 |
            std::uint32_t(std::uint8_t(d)) << 16 | std::uint32_t(std::uint8_t(e)) << 24);
    };
    const __m256i cFirst = _mm256_set1_epi32(bytes(c[3], c[1], c[2], c[0]));
    const __m256i cSecond = _mm256_set1_epi32(bytes(c[4], c[6], c[5], c[7]));
    // midTwice of 64 times the sums: (64 s + 2^7 - kMidBias 2^8) >> 7 = (s + 2 - kMidBias 4) >> 1.
    const __m256i start = _mm256_set1_epi32(2 - 4 * kMidBias);
    const std::uint8_t* p = src + 4 * std::size_t(f.first[std::size_t(i)]);
    for (; i + 4 <= end; i += 4, out += 16, p += 32) {
        // Outputs i | i + 2 from the loads at 0 and 4 pixels on, i + 1 | i + 3 at 2 and 6.
        const __m256i l0 = load256(p), l2 = load256(p + 8), l4 = load256(p + 16),
                      l6 = load256(p + 24);
        const __m256i even =
            _mm256_add_epi32(byteTaps(l0, first, cFirst), byteTaps(l4, second, cSecond));
        const __m256i odd =
            _mm256_add_epi32(byteTaps(l2, first, cFirst), byteTaps(l6, second, cSecond));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                            midPack256(_mm256_srai_epi32(_mm256_add_epi32(even, start), 1),
                                       _mm256_srai_epi32(_mm256_add_epi32(odd, start), 1)));
    }
    return i;
}

// Outputs [i, end) sharing the weights w, two at a time, each window `stride` pixels after the
// last. Answers the first output not done.
AVX2 std::int32_t sharedWeightRows(const std::uint8_t* src, const AxisFilter& f,
                                   const std::int16_t* w, std::int32_t i, std::int32_t end,
                                   std::int16_t* out) noexcept {
    const __m256i m01 = pairMask01(), m23 = pairMask23();
    for (; i + 2 <= end; i += 2, out += 8) {
        const std::uint8_t* pa = src + 4 * std::size_t(f.first[std::size_t(i)]);
        const std::uint8_t* pb = src + 4 * std::size_t(f.first[std::size_t(i) + 1]);
        __m256i acc = _mm256_setzero_si256();
        for (std::int32_t k = 0; k < f.taps; k += 4) {
            const __m256i v = _mm256_inserti128_si256(
                _mm256_castsi128_si256(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(pa + 4 * k))),
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(pb + 4 * k)), 1);
            acc = _mm256_add_epi32(
                acc, _mm256_madd_epi16(_mm256_shuffle_epi8(v, m01), pairWeights(w + k)));
            acc = _mm256_add_epi32(
                acc, _mm256_madd_epi16(_mm256_shuffle_epi8(v, m23), pairWeights(w + k + 2)));
        }
        const __m256i m = midTwice256<kMidShift>(acc);
        const __m256i p = midPack256(m, m);  // i twice | i + 1 twice
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         _mm256_castsi256_si128(_mm256_permute4x64_epi64(p, 0x08)));
    }
    return i;
}

// Whether the first n weights read the same both ways.
inline bool symmetric(const std::int16_t* w, std::int32_t n) noexcept {
    for (std::int32_t k = 0; k < n / 2; ++k)
        if (w[k] != w[n - 1 - k]) return false;
    return true;
}

// Outputs [i, end) inside the filter's uniform run.
AVX2 void acrossUniform(const std::uint8_t* src, const AxisFilter& f, std::int32_t i,
                        std::int32_t end, std::int16_t* out) noexcept {
    const std::int16_t* w = f.weights.data() + std::size_t(f.uniformBegin) * f.taps;
    std::int32_t next = i;
    if (f.uniformStride != 2)
        next = sharedWeightRows(src, f, w, i, end, out);
    else if (std::int8_t c[8]; f.taps == 8 && byteWeights(w, c))
        next = halvingBytes(src, f, c, i, end, out);
    else if (f.taps == 8)
        next = halvingRows<8>(src, f, w, i, end, out);
    else if (f.taps == 12)
        next = halvingRows<12>(src, f, w, i, end, out);
    else
        next = halvingRows<0>(src, f, w, i, end, out);
    acrossEach(src, f, next, end, out + 4 * std::size_t(next - i));
}

AVX2 void acrossAvx2(const std::uint8_t* src, const AxisFilter& f, std::int32_t begin,
                     std::int32_t count, std::int16_t* out) noexcept {
    const std::int32_t end = begin + count;
    const std::int32_t u0 = std::clamp(f.uniformBegin, begin, end);
    const std::int32_t u1 = std::clamp(f.uniformEnd, u0, end);
    acrossEach(src, f, begin, u0, out);
    acrossUniform(src, f, u0, u1, out + 4 * std::size_t(u0 - begin));
    acrossEach(src, f, u1, end, out + 4 * std::size_t(u1 - begin));
}

// round(t ia / 255) on 16-bit lanes.
AVX2 inline __m256i overHalfAvx2(__m256i ia16, __m256i d16) noexcept {
    const __m256i t = _mm256_mullo_epi16(d16, ia16);
    return _mm256_mulhi_epu16(_mm256_add_epi16(t, _mm256_set1_epi16(128)), _mm256_set1_epi16(257));
}
// Source-over of 8 pixels, as overFourSse2. Each pixel's 255 - alpha is spread over its four
// 16-bit lanes by one byte shuffle per half, in the order unpacking gives the target's bytes.
AVX2 inline __m256i overEightAvx2(__m256i s, __m256i d) noexcept {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i spreadLo =
        _mm256_setr_epi8(3, -1, 3, -1, 3, -1, 3, -1, 7, -1, 7, -1, 7, -1, 7, -1, 3, -1, 3, -1, 3,
                         -1, 3, -1, 7, -1, 7, -1, 7, -1, 7, -1);
    const __m256i spreadHi =
        _mm256_setr_epi8(11, -1, 11, -1, 11, -1, 11, -1, 15, -1, 15, -1, 15, -1, 15, -1,  //
                         11, -1, 11, -1, 11, -1, 11, -1, 15, -1, 15, -1, 15, -1, 15, -1);
    const __m256i ia = _mm256_xor_si256(s, _mm256_set1_epi8(-1));  // 255 - each byte
    const __m256i lo =
        overHalfAvx2(_mm256_shuffle_epi8(ia, spreadLo), _mm256_unpacklo_epi8(d, zero));
    const __m256i hi =
        overHalfAvx2(_mm256_shuffle_epi8(ia, spreadHi), _mm256_unpackhi_epi8(d, zero));
    return _mm256_adds_epu8(s, _mm256_packus_epi16(lo, hi));
}

// Eight finished pixels s onto the 32-bit pixels at d, as overFourAt.
AVX2 inline void overEightAt(std::uint8_t* d, __m256i sv) noexcept {
    // Every alpha bit set (testc: no bit of the mask is clear in sv).
    if (_mm256_testc_si256(sv, _mm256_set1_epi32(static_cast<std::int32_t>(0xFF000000u)))) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), sv);
        return;
    }
    if (_mm256_testz_si256(sv, sv)) return;
    const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), overEightAvx2(sv, dv));
}

// 32 values (8 pixels) of the down pass from their int32 sums (the unpacking order of
// downTwoTaps), as bytes with each colour held to its alpha, put at out.
template <Put kPut>
AVX2 inline void putDown(__m256i a0, __m256i a1, __m256i a2, __m256i a3,
                         std::uint8_t* out) noexcept {
    const __m256i alphas = _mm256_setr_epi8(3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15,
                                            3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15);
    // Unpacking and packing within lanes keep the order of each 16-value half.
    const __m256i first =
        _mm256_packs_epi32(_mm256_srai_epi32(a0, kOutShift), _mm256_srai_epi32(a1, kOutShift));
    const __m256i second =
        _mm256_packs_epi32(_mm256_srai_epi32(a2, kOutShift), _mm256_srai_epi32(a3, kOutShift));
    __m256i v = _mm256_permute4x64_epi64(_mm256_packus_epi16(first, second), 0xD8);
    v = _mm256_min_epu8(v, _mm256_shuffle_epi8(v, alphas));
    if constexpr (kPut == Put::kStore)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), v);
    else
        overEightAt(out, v);
}

// Two taps (rows a and b, the weight pair wv) of 32 values into their sums.
AVX2 inline void downTwoTaps(const std::int16_t* a, const std::int16_t* b, __m256i wv,
                             __m256i (&acc)[4]) noexcept {
    const __m256i a0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a));
    const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b));
    const __m256i a1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + 16));
    const __m256i b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + 16));
    acc[0] = _mm256_add_epi32(acc[0], _mm256_madd_epi16(_mm256_unpacklo_epi16(a0, b0), wv));
    acc[1] = _mm256_add_epi32(acc[1], _mm256_madd_epi16(_mm256_unpackhi_epi16(a0, b0), wv));
    acc[2] = _mm256_add_epi32(acc[2], _mm256_madd_epi16(_mm256_unpacklo_epi16(a1, b1), wv));
    acc[3] = _mm256_add_epi32(acc[3], _mm256_madd_epi16(_mm256_unpackhi_epi16(a1, b1), wv));
}

// Down, 8 pixels a step: any number of taps (0), or Taps with the rows and the weight pairs
// held in registers. Answers the first pixel not done.
template <std::int32_t Taps, Put kPut>
AVX2 std::int32_t downAny(const std::int16_t* const* rows, const std::int16_t* w, std::int32_t taps,
                          std::int32_t start, std::int32_t count, std::uint8_t* out) noexcept {
    constexpr std::int32_t kHeld = Taps > 0 ? Taps : 2;
    const std::int16_t* r[kHeld];
    __m256i wp[kHeld / 2];
    if constexpr (Taps > 0) {
#pragma GCC unroll 16
        for (std::int32_t k = 0; k < Taps; k += 2) {
            r[k] = rows[k];
            r[k + 1] = rows[k + 1];
            wp[k / 2] = pairWeights(w + k);
        }
    }
    const __m256i s0 = _mm256_set1_epi32(start);
    std::int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const std::size_t j = 4 * std::size_t(i);
        __m256i acc[4] = {s0, s0, s0, s0};
        if constexpr (Taps > 0) {
#pragma GCC unroll 16
            for (std::int32_t k = 0; k < Taps; k += 2)
                downTwoTaps(r[k] + j, r[k + 1] + j, wp[k / 2], acc);
        } else {
            for (std::int32_t k = 0; k < taps; k += 2)
                downTwoTaps(rows[k] + j, rows[k + 1] + j, pairWeights(w + k), acc);
        }
        putDown<kPut>(acc[0], acc[1], acc[2], acc[3], out + 4 * i);
    }
    return i;
}

// Sixteen values of rows k and 7 - k of a symmetric down added (each row value is below
// 2 kMidBias in size, so their sum stays within 16 bits), paired with those of rows k + 1 and
// 6 - k for madd: the low (unpacklo) and high (unpackhi) halves' sums of four taps.
AVX2 inline void fourFoldedTaps(const std::int16_t* a, const std::int16_t* b, const std::int16_t* c,
                                const std::int16_t* d, __m256i wv, __m256i& lo,
                                __m256i& hi) noexcept {
    const __m256i ad = _mm256_add_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(a)),
                                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d)));
    const __m256i bc = _mm256_add_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(b)),
                                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c)));
    lo = _mm256_add_epi32(lo, _mm256_madd_epi16(_mm256_unpacklo_epi16(ad, bc), wv));
    hi = _mm256_add_epi32(hi, _mm256_madd_epi16(_mm256_unpackhi_epi16(ad, bc), wv));
}

// Down over eight rows whose weights read the same both ways: rows k and 7 - k added first, then
// one madd for each two such sums.
template <Put kPut>
AVX2 std::int32_t downSymmetric8(const std::int16_t* const* rows, const std::int16_t* w,
                                 std::int32_t start, std::int32_t count,
                                 std::uint8_t* out) noexcept {
    const std::int16_t *r0 = rows[0], *r1 = rows[1], *r2 = rows[2], *r3 = rows[3];
    const std::int16_t *r4 = rows[4], *r5 = rows[5], *r6 = rows[6], *r7 = rows[7];
    const __m256i w01 = pairWeights(w), w23 = pairWeights(w + 2);
    const __m256i s0 = _mm256_set1_epi32(start);
    std::int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const std::size_t j = 4 * std::size_t(i), h = j + 16;
        __m256i a0 = s0, a1 = s0, a2 = s0, a3 = s0;
        fourFoldedTaps(r0 + j, r1 + j, r6 + j, r7 + j, w01, a0, a1);
        fourFoldedTaps(r2 + j, r3 + j, r4 + j, r5 + j, w23, a0, a1);
        fourFoldedTaps(r0 + h, r1 + h, r6 + h, r7 + h, w01, a2, a3);
        fourFoldedTaps(r2 + h, r3 + h, r4 + h, r5 + h, w23, a2, a3);
        putDown<kPut>(a0, a1, a2, a3, out + 4 * i);
    }
    return i;
}

template <Put kPut>
AVX2 void downRowsAvx2(const std::int16_t* const* rows, const std::int16_t* w, std::int32_t taps,
                       std::int32_t count, std::uint8_t* out) noexcept {
    const std::int32_t start = downStart(w, taps);
    std::int32_t i = 0;
    if (taps == 8 && symmetric(w, 8))
        i = downSymmetric8<kPut>(rows, w, start, count, out);
    else if (taps == 4)
        i = downAny<4, kPut>(rows, w, taps, start, count, out);
    else if (taps == 8)
        i = downAny<8, kPut>(rows, w, taps, start, count, out);
    else if (taps == 12)
        i = downAny<12, kPut>(rows, w, taps, start, count, out);
    else
        i = downAny<0, kPut>(rows, w, taps, start, count, out);
    for (; i + 4 <= count; i += 4)
        downFourSse2<kPut>(rows, w, taps, start, i, out);
    downTail<kPut>(rows, w, taps, start, i, count, out);
}

AVX2 void downAvx2(const std::int16_t* const* rows, const std::int16_t* w, std::int32_t taps,
                   std::int32_t count, std::uint8_t* out) noexcept {
    downRowsAvx2<Put::kStore>(rows, w, taps, count, out);
}

AVX2 void downOverAvx2(const std::int16_t* const* rows, const std::int16_t* w, std::int32_t taps,
                       std::int32_t count, std::uint8_t* dst) noexcept {
    downRowsAvx2<Put::kOver>(rows, w, taps, count, dst);
}

// A turned draw's values of 6 fractional bits (saturated when packed).
AVX2 inline __m256i midOf256(__m256i sums) noexcept {
    return _mm256_srai_epi32(_mm256_add_epi32(sums, _mm256_set1_epi32(kMidRound)), kMidShift);
}

AVX2 void affineAvx2(const Source& src, const PhaseTable& px, const PhaseTable& py,
                     const AffineSample* samples, std::int32_t count, std::uint8_t* out) noexcept {
    alignas(32) std::uint8_t gathered[2][4 * kMaxAffineTaps];
    const __m256i m01 = pairMask01(), m23 = pairMask23();
    for (std::int32_t i = 0; i < count; ++i) {
        const AffineSample& s = samples[i];
        const std::int16_t* wx = px.weights.data() + std::size_t(s.phaseX) * px.taps;
        const std::int16_t* wy = py.weights.data() + std::size_t(s.phaseY) * py.taps;
        const bool inside = s.x >= 0 && s.x <= src.width - px.taps;
        const auto rowAt = [&](std::int32_t ky, int slot) {
            const std::uint8_t* row = src.row(heldTo(s.y + ky, src.height));
            if (inside) return row + 4 * std::ptrdiff_t(s.x);
            gatherHeld(row, s.x, px.taps, src.width, gathered[slot]);
            return static_cast<const std::uint8_t*>(gathered[slot]);
        };
        __m128i acc = _mm_setzero_si128();
        for (std::int32_t ky = 0; ky < py.taps; ky += 2) {
            // Rows ky and ky + 1 across in the two lanes, then down as one pair.
            const __m256i m =
                midOf256(twoWindows(rowAt(ky, 0), rowAt(ky + 1, 1), wx, wx, px.taps, m01, m23));
            acc = _mm_add_epi32(
                acc, pairRowsSse2(_mm256_castsi256_si128(m), _mm256_extracti128_si256(m, 1), wy[ky],
                                  wy[ky + 1]));
        }
        finishPixelSse2(acc, s.coverage, out + 4 * i);
    }
}

AVX2 void overAvx2(std::uint8_t* d, const std::uint8_t* s, std::int32_t count) noexcept {
    std::int32_t i = 0;
    for (; i + 8 <= count; i += 8)
        overEightAt(d + 4 * i, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 4 * i)));
    overSse2(d + 4 * i, s + 4 * i, count - i);
}

#undef SSE2
#undef AVX2

}  // namespace

const RowForms kSse2Forms = {acrossSse2,  downSse2,      affineSse2,      overSse2,
                             boxDownSse2, boxAcrossSse2, acrossBoxedSse2, downOverSse2};
const RowForms kAvx2Forms = {acrossAvx2,  downAvx2,      affineAvx2,      overAvx2,
                             boxDownAvx2, boxAcrossAvx2, acrossBoxedAvx2, downOverAvx2};

#endif

}  // namespace talvrin::bridge::resample::detail
