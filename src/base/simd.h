// The vector helpers every pixel kernel shares: which instruction sets may run, the one switch
// that holds the vector code back (for tests and benchmarks that compare forms), the tables that
// choose a kernel's form by them, and the divide-by-255 forms of base/div255.h in 16-bit vector
// lanes.
//
// Vector kernels exist on x86-64 only (TALVRIN_SIMD_X86). SSE2 code is compiled in everywhere
// there, since every x86-64 processor has it; SSSE3 and AVX2 code is compiled for its
// instruction set (a target attribute, or a source file of its own built with -mavx2) and must
// only be reached where the processor offers it. Elsewhere only the one-pixel forms exist.
//
// Each layer keeps its kernels in one table per level (KernelTables), filled when the program is
// loaded, and its call sites ask that table for the form to run: level() is read there and
// nowhere else, once a row or once a call, so a change of the limit takes effect at the next ask.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#if defined(__GNUC__) && defined(__x86_64__)
#define TALVRIN_SIMD_X86 1
#include <immintrin.h>
#endif

namespace talvrin::simd {

// Instruction-set levels, each including those before it (every AVX2 processor has SSSE3).
enum class Level : std::uint8_t { kScalar, kSse2, kSsse3, kAvx2 };

namespace detail {

inline Level detectProcessorLevel() noexcept {
#if defined(TALVRIN_SIMD_X86)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return Level::kAvx2;
    if (__builtin_cpu_supports("ssse3")) return Level::kSsse3;
    return Level::kSse2;
#else
    return Level::kScalar;
#endif
}

inline constinit std::atomic<Level> levelLimit{Level::kAvx2};

}  // namespace detail

// The highest level this processor offers (asked once).
[[nodiscard]] inline Level processorLevel() noexcept {
    static const Level level = detail::detectProcessorLevel();
    return level;
}

// The level vector code may use now: the processor's, held to the limit.
[[nodiscard]] inline Level level() noexcept {
    const Level limit = detail::levelLimit.load(std::memory_order_relaxed);
    const Level offered = processorLevel();
    return limit < offered ? limit : offered;
}

// The switch: holds every vector kernel to at most `limit` (kScalar: the one-pixel forms alone)
// until it is set again, and answers the limit it replaces. kAvx2 lifts it. Tests compare the
// forms with it; set it only while no other thread draws or decodes.
inline Level setLevelLimit(Level limit) noexcept {
    return detail::levelLimit.exchange(limit, std::memory_order_relaxed);
}

// setLevelLimit for one scope; the previous limit comes back at its end.
class ScopedLevelLimit {
  public:
    explicit ScopedLevelLimit(Level limit) noexcept : previous_(setLevelLimit(limit)) {}
    ~ScopedLevelLimit() { setLevelLimit(previous_); }
    ScopedLevelLimit(const ScopedLevelLimit&) = delete;
    ScopedLevelLimit& operator=(const ScopedLevelLimit&) = delete;

  private:
    Level previous_;
};

// One layer's kernels, one table for each level (a level without forms of its own names the
// table of the level below it, as SSSE3 does where only SSE2 forms exist). The tables are
// constants: `byLevel` holds their addresses, filled before any code runs.
template <class Table>
struct KernelTables {
    const Table* byLevel[4];  // kScalar, kSse2, kSsse3, kAvx2

    // The table of `wanted`, or null where this processor cannot run it (tests run each form
    // through this, or through the limit).
    [[nodiscard]] const Table* of(Level wanted) const noexcept {
        if (wanted > processorLevel()) return nullptr;
        return byLevel[static_cast<std::size_t>(wanted)];
    }
    // The table in force: that of level().
    [[nodiscard]] const Table& active() const noexcept {
        return *byLevel[static_cast<std::size_t>(level())];
    }
};

#if defined(TALVRIN_SIMD_X86)

// ---- 16-bit lanes: bytes widened to words, one channel a lane, four lanes a pixel ----
// The __m256i forms need AVX2: call them only from code built for it. They work in each 128-bit
// half as the __m128i forms do.

// div255FloorShift in every lane: ⌊x ÷ 255⌋ as mulhi(x, 0x8081) >> 7, exact for every 16-bit x
// (the scalar form is exact up to 66298).
inline __m128i div255Floor16(__m128i x) noexcept {
    return _mm_srli_epi16(_mm_mulhi_epu16(x, _mm_set1_epi16(static_cast<short>(0x8081))), 7);
}
__attribute__((target("avx2"))) inline __m256i div255Floor16(__m256i x) noexcept {
    return _mm256_srli_epi16(_mm256_mulhi_epu16(x, _mm256_set1_epi16(static_cast<short>(0x8081))),
                             7);
}

// div255Round in every lane: x ÷ 255 to the nearest as mulhi(x + 128, 257), exact for
// 0 <= x <= 65407, where x + 128 still fits the lane: so for every product of two bytes and
// every s * a + d * (255 - a).
inline __m128i div255Round16(__m128i x) noexcept {
    return _mm_mulhi_epu16(_mm_add_epi16(x, _mm_set1_epi16(0x80)), _mm_set1_epi16(0x0101));
}
__attribute__((target("avx2"))) inline __m256i div255Round16(__m256i x) noexcept {
    return _mm256_mulhi_epu16(_mm256_add_epi16(x, _mm256_set1_epi16(0x80)),
                              _mm256_set1_epi16(0x0101));
}

// Each pixel's fourth lane (its alpha, in B, G, R, A order as in R, G, B, A) copied to all four
// of its lanes.
inline __m128i alphaLanes16(__m128i px) noexcept {
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(px, 0xFF), 0xFF);
}
__attribute__((target("avx2"))) inline __m256i alphaLanes16(__m256i px) noexcept {
    return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(px, 0xFF), 0xFF);
}

// premultiplyChannel on two pixels: each colour lane becomes ⌊colour × alpha ÷ 255⌋, the alpha
// lane stays (alpha × 255 ÷ 255). Alpha 0 gives zeros and alpha 255 keeps the colours, by the
// same arithmetic, so no pixel needs a branch.
inline __m128i premultiply16(__m128i px) noexcept {
    const __m128i colourLanes = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
    const __m128i alphaLane = _mm_set_epi16(255, 0, 0, 0, 255, 0, 0, 0);
    const __m128i factor = _mm_or_si128(_mm_and_si128(alphaLanes16(px), colourLanes), alphaLane);
    return div255Floor16(_mm_mullo_epi16(px, factor));
}

#endif  // TALVRIN_SIMD_X86

}  // namespace talvrin::simd
