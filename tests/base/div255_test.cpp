// Every divide-by-255 form against exact integer arithmetic over the whole range it claims, and
// the row helpers against the arithmetic they promise.
#include "base/div255.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "base/pixels.h"

namespace talvrin {
namespace {

// Nearest integer to x / 255, written differently from every form under test.
std::uint32_t nearest255(std::uint32_t x) {
    return static_cast<std::uint32_t>((2ull * x + 255) / 510);
}

TEST(Div255, EachFormIsExactOverItsWholeRange) {
    struct Form {
        const char* name;
        std::uint32_t (*f)(std::uint32_t);
        std::uint32_t (*exact)(std::uint32_t);
        std::uint32_t last;  // the largest x the form is documented exact for
    };
    const Form forms[] = {
        {"div255Floor", div255Floor, [](std::uint32_t x) { return x / 255; }, 1u << 24},
        {"div255FloorShift", div255FloorShift, [](std::uint32_t x) { return x / 255; }, 66298},
        {"div255Round", div255Round, nearest255, 65662},
    };
    for (const auto& form : forms)
        for (std::uint32_t x = 0; x <= form.last; ++x)
            ASSERT_EQ(form.f(x), form.exact(x)) << form.name << " at " << x;
    // Just past its range the shifted forms go wrong: the documented bound is the real one.
    EXPECT_NE(div255FloorShift(66299), 66299u / 255);
    EXPECT_NE(div255Round(65663), nearest255(65663));
}

TEST(Div255, PremultiplicationTruncatesForEveryColourAndAlpha) {
    for (std::uint32_t c = 0; c < 256; ++c)
        for (std::uint32_t a = 0; a < 256; ++a)
            ASSERT_EQ(premultiplyChannel(c, a), c * a / 255) << c << " " << a;
}

TEST(PixelRows, AlignedRowSizesAndBottomUpAddressing) {
    struct Case {
        std::uint32_t width, bits;
        std::uint64_t bytes;
    };
    const Case cases[] = {{1, 24, 4}, {5, 24, 16}, {3, 32, 12}, {33, 1, 8},
                          {0, 32, 0}, {7, 4, 4},   {9, 4, 8},   {0xFFFFFFFFu, 32, 0x3FFFFFFFCull}};
    for (const auto& c : cases)
        EXPECT_EQ(dwordAlignedRowBytes(c.width, c.bits), c.bytes) << c.width << "x" << c.bits;

    // A 3 x 2 view: image row 0 (the top) is storage row 1.
    std::uint8_t bytes[3 * 2 * 4] = {};
    const PixelView view{bytes, 3, 2};
    EXPECT_EQ(view.rowFromTop(0), bytes + 12);
    EXPECT_EQ(view.rowFromTop(1), bytes);
    EXPECT_EQ(view.pixelFromTop(2, 0), bytes + 12 + 8);
    EXPECT_EQ(view.row(1), bytes + 12);
    const ConstPixelView read = view;
    EXPECT_EQ(read.pixelFromTop(1, 1), bytes + 4);
    EXPECT_EQ(bottomUpRowOffset(0, 5, 8), 32u);
}

}  // namespace
}  // namespace talvrin
