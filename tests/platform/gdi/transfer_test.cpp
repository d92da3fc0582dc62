// Pixel transfer: BitBlt, StretchBlt, SetDIBitsToDevice, GetDIBits and solid fills.
#include <gtest/gtest.h>

#include <vector>

#include "platform/gdi/gdi.h"
#include "support/drawing_test_support.h"

namespace talvrin::platform {
namespace {

using namespace testing;

std::uint32_t tag(int x, int y) {
    return 0x80000000u | static_cast<std::uint32_t>(y << 12 | x);
}

// A caller buffer of w x h tagged pixels; tag(x, r) sits at storage row r.
std::vector<std::uint8_t> taggedBuffer(int w, int h) {
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(w * h * 4));
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) {
            const std::uint32_t v = tag(x, r);
            std::memcpy(&bits[static_cast<std::size_t>((r * w + x) * 4)], &v, 4);
        }
    return bits;
}

TEST(DibTransfer, BottomUpAndTopDownRoundTrips) {
    const int w = 7, h = 5;
    const auto bits = taggedBuffer(w, h);
    for (const bool topDown : {false, true}) {
        Target t(w, h);
        const DibFormat fmt{w, topDown ? -h : h, 32};
        EXPECT_EQ(SetDIBitsToDevice(*t.dc, 0, 0, w, h, 0, 0, bits, fmt), h);
        for (int y = 0; y < h; ++y)  // image row y shows storage row y (top-down) or h-1-y
            ASSERT_EQ(pixel32(*t.bitmap, 3, y), tag(3, topDown ? y : h - 1 - y));
        std::vector<std::uint8_t> back(bits.size());
        EXPECT_EQ(GetDIBits(*t.bitmap, 0, h, back, fmt), h);
        EXPECT_EQ(back, bits);
    }
}

TEST(DibTransfer, SourceRectangleCountsFromTheBuffersOrigin) {
    const auto bits = taggedBuffer(6, 6);
    for (const bool topDown : {false, true}) {
        Target t(4, 4);
        // srcY = 1, two rows: storage rows 1 and 2, the higher one on top when bottom-up.
        EXPECT_EQ(
            SetDIBitsToDevice(*t.dc, 1, 1, 3, 2, 2, 1, bits, DibFormat{6, topDown ? -6 : 6, 32}),
            2);
        EXPECT_EQ(pixel32(*t.bitmap, 1, 1), tag(2, topDown ? 1 : 2));
        EXPECT_EQ(pixel32(*t.bitmap, 3, 2), tag(4, topDown ? 2 : 1));
        EXPECT_EQ(pixel32(*t.bitmap, 0, 1), 0u);
    }
    Target t(2, 4);  // GetDIBits: scan lines 1 and 2 from the bottom are image rows 2 and 1
    for (int y = 0; y < 4; ++y)
        setPixel32(*t.bitmap, 0, y, tag(0, y));
    std::vector<std::uint8_t> out(16);
    ASSERT_EQ(GetDIBits(*t.bitmap, 1, 2, out, DibFormat{2, 2, 32}), 2);
    EXPECT_EQ(out[1], 0x20);  // tag(0, 2) low bytes 00 20
    ASSERT_EQ(GetDIBits(*t.bitmap, 1, 2, out, DibFormat{2, -2, 32}), 2);
    EXPECT_EQ(out[1], 0x10);
}

TEST(DibTransfer, TwentyFourBitPixelsArePaddedAndReadWithAlphaZero) {
    std::vector<std::uint8_t> bits(12 * 2, 0xCC);  // 3 pixels a row: 9 bytes padded to 12
    for (int i = 0; i < 3; ++i)
        bits[12 + 3 * i] = static_cast<std::uint8_t>(i);  // top row blue
    Target t(3, 2), t24(3, 2, 24);
    EXPECT_EQ(SetDIBitsToDevice(*t.dc, 0, 0, 3, 2, 0, 0, bits, DibFormat{3, 2, 24}), 2);
    EXPECT_EQ(pixel32(*t.bitmap, 2, 0), 0x00CCCC02u);
    ASSERT_TRUE(BitBlt(*t24.dc, 0, 0, 3, 2, *t.dc, 0, 0));
    std::vector<std::uint8_t> out(24, 0xEE);
    EXPECT_EQ(GetDIBits(*t24.bitmap, 0, 2, out, DibFormat{3, -2, 32}), 2);
    EXPECT_EQ((std::vector<int>{out[8], out[9], out[10], out[11]}),
              (std::vector<int>{2, 0xCC, 0xCC, 0}));
}

TEST(DibTransfer, ClipsAndRefusesShortOrInvalidBuffers) {
    const std::vector<std::uint8_t> bits(64, 0x11);
    Target t(5, 5);
    t.dc->setClipRect(Rect{1, 0, 5, 3});
    EXPECT_EQ(SetDIBitsToDevice(*t.dc, -2, -1, 4, 4, 0, 0, bits, DibFormat{4, 4, 32}), 4);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_EQ(pixel32(*t.bitmap, x, y), x == 1 && y <= 2 ? 0x11111111u : 0u);
    const std::span<const std::uint8_t> shortBits(bits.data(), 63);
    EXPECT_EQ(SetDIBitsToDevice(*t.dc, 0, 0, 4, 4, 0, 0, shortBits, DibFormat{4, 4, 32}), 0);
    for (DibFormat bad : {DibFormat{INT32_MAX, 4, 32}, {4, INT32_MIN, 32}, {4, 4, 16}, {4, 0, 32}})
        EXPECT_EQ(SetDIBitsToDevice(*t.dc, 0, 0, 4, 4, 0, 0, bits, bad), 0);
    EXPECT_EQ(SetDIBitsToDevice(*t.dc, 0, 0, 4, 4, 0, 10, bits, DibFormat{4, 4, 32}),
              0);  // no rows named
    std::vector<std::uint8_t> out(100);
    EXPECT_EQ(
        GetDIBits(*t.bitmap, 0, 5, std::span<std::uint8_t>(out.data(), 99), DibFormat{5, 5, 32}),
        0);
    EXPECT_EQ(GetDIBits(*t.bitmap, 0, 5, out, DibFormat{4, 5, 32}), 0);
    EXPECT_EQ(GetDIBits(*t.bitmap, -1, 5, out, DibFormat{5, 5, 32}), 0);
    EXPECT_EQ(GetDIBits(*t.bitmap, 3, INT32_MAX, out, DibFormat{5, 5, 32}), 2);  // clamped
}

// BitBlt against a per-pixel copy from a snapshot of the source, including overlapping copies
// on one surface, which must read as if the source were copied first.
TEST(BitBltCopies, MatchesSnapshotCopyIncludingOverlapAndClipping) {
    std::mt19937 rng(11);
    auto pick = [&](int lo, int hi) { return lo + static_cast<int>(rng() % (hi - lo + 1)); };
    for (int round = 0; round < 500; ++round) {
        Target d(pick(1, 16), pick(1, 16)), own(pick(1, 16), pick(1, 16));
        Target& s = round % 3 == 0 ? d : own;
        fillRandom(*d.bitmap, rng);
        fillRandom(*own.bitmap, rng);
        d.dc->setClipRect(Rect{pick(-2, 3), pick(-2, 3), pick(4, 19), pick(4, 19)});
        const int x = pick(-8, 16), y = pick(-8, 16), sx = pick(-8, 16), sy = pick(-8, 16),
                  w = pick(1, 20), h = pick(1, 20);
        auto snapshot = clone(*s.bitmap), expected = clone(*d.bitmap);
        const Rect box = d.dc->clipBox(), from{0, 0, snapshot->width(), snapshot->height()};
        for (int py = box.top; py < box.bottom; ++py)
            for (int px = box.left; px < box.right; ++px)
                if (px >= x && py >= y && px < x + w && py < y + h &&
                    from.contains(px - x + sx, py - y + sy))
                    setPixel32(*expected, px, py, pixel32(*snapshot, px - x + sx, py - y + sy));
        ASSERT_TRUE(BitBlt(*d.dc, x, y, w, h, *s.dc, sx, sy));
        ASSERT_TRUE(sameBytes(*d.bitmap, *expected)) << "round " << round;
    }
}

TEST(StretchBltCopies, ScalesAndMirrorsByCentreSampling) {
    Target s(4, 2), d(8, 4), e(3, 2), m(4, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            setPixel32(*s.bitmap, x, y, tag(x, y));
    ASSERT_TRUE(StretchBlt(*d.dc, 0, 0, 8, 4, *s.dc, 0, 0, 4, 2));  // column i takes i / 2
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(pixel32(*d.bitmap, x, y), tag(x / 2, y / 2));
    ASSERT_TRUE(StretchBlt(*e.dc, 0, 0, 3, 2, *s.dc, 0, 0, 4, 2));  // 4 -> 3 takes 0, 2, 3
    EXPECT_EQ(pixel32(*e.bitmap, 1, 0), tag(2, 0));
    EXPECT_EQ(pixel32(*e.bitmap, 2, 1), tag(3, 1));
    ASSERT_TRUE(StretchBlt(*m.dc, 4, 0, -4, 2, *s.dc, 0, 0, 4, 2));  // covers [0, 4), mirrored
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(pixel32(*m.bitmap, x, 1), tag(3 - x, 1));
    EXPECT_FALSE(StretchBlt(*m.dc, 0, 0, 0, 2, *s.dc, 0, 0, 4, 2));
}

TEST(SolidFills, ClippedFillsStoreAlphaZero) {
    Target t(6, 4), t24(5, 2, 24);
    std::memset(t.bitmap->bits(), 0xFF, t.bitmap->byteCount());
    t.dc->setClipRect(Rect{0, 1, 6, 4});
    auto brush = createSolidBrush(rgb(0x10, 0x20, 0x30));
    ASSERT_TRUE(FillRect(*t.dc, Rect{-3, -3, 2, 3}, brush.get()));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            ASSERT_EQ(pixel32(*t.bitmap, x, y),
                      x < 2 && y >= 1 && y < 3 ? 0x00102030u : 0xFFFFFFFFu);
    EXPECT_FALSE(FillRect(*t.dc, Rect{0, 0, 1, 1}, nullptr));
    ASSERT_TRUE(FillRect(*t24.dc, Rect{1, 0, 4, 1}, brush.get()));
    const std::uint8_t* row = t24.bitmap->rowFromTop(0);
    EXPECT_EQ((std::vector<int>{row[2], row[3], row[4], row[5], row[12]}),
              (std::vector<int>{0, 0x30, 0x20, 0x10, 0}));
}

}  // namespace
}  // namespace talvrin::platform
