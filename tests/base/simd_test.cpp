// The vector divide-by-255 forms against exact integer arithmetic over every 16-bit lane value,
// at each vector width the processor runs, and the switch that holds the vector code back.
#include "base/simd.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace talvrin::simd {
namespace {

// A layer's kernel tables as the layers fill theirs: one "table" per level, SSSE3 naming that of
// SSE2.
constexpr const char* kNames[] = {"scalar", "sse2", "avx2"};
constexpr KernelTables<const char*> kTables = {{&kNames[0], &kNames[1], &kNames[1], &kNames[2]}};

const char* levelName(Level l) {
    return l == Level::kScalar ? "scalar" : l == Level::kAvx2 ? "avx2" : "sse2";
}

TEST(SimdLevel, ATableIsOfferedOnlyWhereTheProcessorRunsItsLevel) {
    for (const Level wanted : {Level::kScalar, Level::kSse2, Level::kSsse3, Level::kAvx2}) {
        const char* const* table = kTables.of(wanted);
        if (wanted > processorLevel()) {
            EXPECT_EQ(table, nullptr);
        } else {
            ASSERT_NE(table, nullptr);
            EXPECT_STREQ(*table, levelName(wanted));
        }
    }
}

TEST(SimdLevel, TheLimitHoldsEveryKernelBackAndComesBackAtTheEndOfItsScope) {
    const Level offered = processorLevel();
    ASSERT_EQ(level(), offered) << "no limit is set outside a test's scope";
    for (const Level limit : {Level::kScalar, Level::kSse2, Level::kSsse3, Level::kAvx2}) {
        {
            const ScopedLevelLimit held(limit);
            EXPECT_EQ(level(), limit < offered ? limit : offered);
            // A layer's tables follow the limit: the one in force is that of level().
            EXPECT_STREQ(kTables.active(), levelName(level()));
            {
                const ScopedLevelLimit nested(Level::kScalar);
                EXPECT_EQ(level(), Level::kScalar);
            }
            EXPECT_EQ(level(), limit < offered ? limit : offered);
        }
        EXPECT_EQ(level(), offered);
    }
#if defined(TALVRIN_SIMD_X86)
    EXPECT_GE(offered, Level::kSse2) << "every x86-64 processor has SSE2";
#else
    EXPECT_EQ(offered, Level::kScalar);
#endif
}

#if defined(TALVRIN_SIMD_X86)

// Every 16-bit value through a lane form, eight lanes (or sixteen) at a time: out[x] is the
// form's result for x.
using LaneResults = std::array<std::uint16_t, 65536>;
using LaneForm = void (*)(LaneResults&);

template <__m128i (*F)(__m128i)>
void allLanes128(LaneResults& out) {
    for (std::uint32_t x = 0; x < 65536; x += 8) {
        alignas(16) std::uint16_t in[8];
        for (std::uint32_t k = 0; k < 8; ++k)
            in[k] = static_cast<std::uint16_t>(x + k);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(&out[x]),
                         F(_mm_load_si128(reinterpret_cast<const __m128i*>(in))));
    }
}

template <__m256i (*F)(__m256i)>
__attribute__((target("avx2"))) void allLanes256(LaneResults& out) {
    for (std::uint32_t x = 0; x < 65536; x += 16) {
        alignas(32) std::uint16_t in[16];
        for (std::uint32_t k = 0; k < 16; ++k)
            in[k] = static_cast<std::uint16_t>(x + k);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(&out[x]),
                            F(_mm256_load_si256(reinterpret_cast<const __m256i*>(in))));
    }
}

// Nearest integer to x / 255, written differently from every form under test.
std::uint32_t nearest255(std::uint32_t x) {
    return static_cast<std::uint32_t>((2ull * x + 255) / 510);
}

TEST(SimdDiv255, EachLaneFormIsExactOverItsWholeRangeAndWrongJustPastIt) {
    struct Form {
        const char* name;
        LaneForm run;
        bool needsAvx2;
        std::uint32_t (*exact)(std::uint32_t);
        std::uint32_t last;  // the largest x the form is documented exact for
    };
    auto floor = [](std::uint32_t x) { return x / 255; };
    const Form forms[] = {
        {"div255Floor16 (128)", allLanes128<div255Floor16>, false, floor, 65535},
        {"div255Floor16 (256)", allLanes256<div255Floor16>, true, floor, 65535},
        {"div255Round16 (128)", allLanes128<div255Round16>, false, nearest255, 65407},
        {"div255Round16 (256)", allLanes256<div255Round16>, true, nearest255, 65407},
    };
    static LaneResults out;
    for (const Form& form : forms) {
        if (form.needsAvx2 && processorLevel() < Level::kAvx2) continue;
        form.run(out);
        for (std::uint32_t x = 0; x <= form.last; ++x) {
            ASSERT_EQ(out[x], form.exact(x)) << form.name << " at " << x;
        }
        if (form.last < 65535) {
            EXPECT_NE(out[form.last + 1], form.exact(form.last + 1))
                << form.name << ": the documented bound is the real one";
        }
    }
}

TEST(SimdDiv255, PremultiplyTruncatesEveryColourAndKeepsEveryAlpha) {
    for (std::uint32_t a = 0; a < 256; ++a) {
        for (std::uint32_t c = 0; c < 256; c += 2) {
            // Two pixels: colours c, c + 1 and 255 - c in the colour lanes, alpha a.
            const auto lane = [](std::uint32_t v) { return static_cast<short>(v); };
            const __m128i px = _mm_setr_epi16(lane(c), lane(c + 1), lane(255 - c), lane(a),
                                              lane(c + 1), lane(c), lane(255 - c), lane(a));
            alignas(16) std::uint16_t out[8];
            _mm_store_si128(reinterpret_cast<__m128i*>(out), premultiply16(px));
            const std::uint32_t want[8] = {
                c * a / 255,       (c + 1) * a / 255, (255 - c) * a / 255, a,
                (c + 1) * a / 255, c * a / 255,       (255 - c) * a / 255, a};
            for (int k = 0; k < 8; ++k)
                ASSERT_EQ(out[k], want[k]) << "colour " << c << " alpha " << a << " lane " << k;
        }
    }
}

#endif  // TALVRIN_SIMD_X86

}  // namespace
}  // namespace talvrin::simd
