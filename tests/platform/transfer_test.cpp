// Pixel transfer: BitBlt and StretchBlt between contexts, SetDIBitsToDevice from caller buffers,
// GetDIBits into caller buffers, and solid fills, with clipping and odd arguments.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "drawing_test_support.h"
#include "platform/device_context.h"
#include "platform/gdi.h"

namespace talvrin::platform {
namespace {

using testing::fillRandom;
using testing::pixel32;
using testing::setPixel32;

struct Target {
    std::unique_ptr<Bitmap> bitmap;
    std::unique_ptr<DeviceContext> dc;
};

Target makeTarget(int w, int h, int bpp = 32) {
    Target t{Bitmap::create(w, h, bpp), DeviceContext::createCompatible()};
    t.dc->select(t.bitmap.get());
    return t;
}

// A distinct value for every pixel position.
std::uint32_t tag(int x, int y) {
    return 0x80000000u | static_cast<std::uint32_t>(y << 12 | x);
}

TEST(DibTransfer, BottomUpAndTopDownRoundTrips) {
    const int w = 7, h = 5;
    // A caller buffer holding tag(x, y) for image row y (from the top), both orders.
    std::vector<std::uint8_t> bottomUp(w * h * 4), topDown(w * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint32_t v = tag(x, y);
            std::memcpy(&bottomUp[((h - 1 - y) * w + x) * 4], &v, 4);
            std::memcpy(&topDown[(y * w + x) * 4], &v, 4);
        }
    for (const bool td : {false, true}) {
        Target t = makeTarget(w, h);
        const DibFormat fmt{w, td ? -h : h, 32};
        EXPECT_EQ(SetDIBitsToDevice(*t.dc, 0, 0, w, h, 0, 0, td ? topDown : bottomUp, fmt), h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(pixel32(*t.bitmap, x, y), tag(x, y));

        std::vector<std::uint8_t> back(w * h * 4, 0xEE);
        EXPECT_EQ(GetDIBits(*t.bitmap, 0, h, back, DibFormat{w, h, 32}), h);
        EXPECT_EQ(back, bottomUp);
        EXPECT_EQ(GetDIBits(*t.bitmap, 0, h, back, DibFormat{w, -h, 32}), h);
        EXPECT_EQ(back, topDown);
    }
}

TEST(DibTransfer, SourceRectangleCountsFromTheBuffersOrigin) {
    const int w = 6, h = 6;
    std::vector<std::uint8_t> bits(w * h * 4);
    auto at = [&](int x, int storageRow) { return &bits[(storageRow * w + x) * 4]; };
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) {
            const std::uint32_t v = tag(x, r);  // tagged by storage row
            std::memcpy(at(x, r), &v, 4);
        }
    // Bottom-up: srcY = 1 from the bottom, 2 rows: storage rows 1 and 2, storage row 2 on top.
    Target t = makeTarget(4, 4);
    EXPECT_EQ(SetDIBitsToDevice(*t.dc, 1, 1, 3, 2, 2, 1, bits, DibFormat{w, h, 32}), 2);
    EXPECT_EQ(pixel32(*t.bitmap, 1, 1), tag(2, 2));
    EXPECT_EQ(pixel32(*t.bitmap, 3, 2), tag(4, 1));
    EXPECT_EQ(pixel32(*t.bitmap, 0, 1), 0u);
    // Top-down: srcY = 1 from the top: storage rows 1 and 2, storage row 1 on top.
    Target u = makeTarget(4, 4);
    EXPECT_EQ(SetDIBitsToDevice(*u.dc, 1, 1, 3, 2, 2, 1, bits, DibFormat{w, -h, 32}), 2);
    EXPECT_EQ(pixel32(*u.bitmap, 1, 1), tag(2, 1));
    EXPECT_EQ(pixel32(*u.bitmap, 3, 2), tag(4, 2));
}

TEST(DibTransfer, TwentyFourBitRowsArePaddedAndGetAlphaZero) {
    const int w = 3, h = 2;  // 9 bytes a row padded to 12
    std::vector<std::uint8_t> bits(12 * h, 0xCC);
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) {
            bits[r * 12 + x * 3 + 0] = static_cast<std::uint8_t>(10 * r + x);
            bits[r * 12 + x * 3 + 1] = 0x55;
            bits[r * 12 + x * 3 + 2] = 0x66;
        }
    Target t = makeTarget(w, h);
    std::memset(t.bitmap->bits(), 0xFF, t.bitmap->byteCount());
    EXPECT_EQ(SetDIBitsToDevice(*t.dc, 0, 0, w, h, 0, 0, bits, DibFormat{w, h, 24}), h);
    EXPECT_EQ(pixel32(*t.bitmap, 2, 0), 0x0066550Cu);  // top row = storage row 1
    EXPECT_EQ(pixel32(*t.bitmap, 0, 1), 0x00665500u);
    // A 24-bit bitmap read back as 32 bits also has alpha 0.
    Target t24 = makeTarget(w, h, 24);
    BitBlt(*t24.dc, 0, 0, w, h, *t.dc, 0, 0);
    std::vector<std::uint8_t> back(w * h * 4, 0xEE);
    EXPECT_EQ(GetDIBits(*t24.bitmap, 0, h, back, DibFormat{w, -h, 32}), h);
    EXPECT_EQ(back[0], 10);  // top row first: storage row 1
    EXPECT_EQ(back[3], 0);
    EXPECT_EQ(back[2 * 4 + 0], 12);
    EXPECT_EQ(back[3 * 4 + 0], 0);  // second row: storage row 0
    EXPECT_EQ(back[3 * 4 + 3], 0);
}

TEST(DibTransfer, ClipsAndRefusesShortBuffers) {
    const int w = 4, h = 4;
    std::vector<std::uint8_t> bits(w * h * 4, 0x11);
    Target t = makeTarget(5, 5);
    t.dc->setClipRect(Rect{1, 0, 5, 3});
    // Partly off the left and top edges, and outside the clip: only the visible part is written.
    EXPECT_EQ(SetDIBitsToDevice(*t.dc, -2, -1, w, h, 0, 0, bits, DibFormat{w, h, 32}), h);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_EQ(pixel32(*t.bitmap, x, y), (x == 1 && y <= 2) ? 0x11111111u : 0u)
                << x << "," << y;
    // The buffer must hold the image the format describes.
    EXPECT_EQ(SetDIBitsToDevice(*t.dc, 0, 0, w, h, 0, 0,
                                std::span<const std::uint8_t>(bits.data(), bits.size() - 1),
                                DibFormat{w, h, 32}),
              0);
    EXPECT_EQ(SetDIBitsToDevice(*t.dc, 0, 0, w, h, 0, 0, bits, DibFormat{INT32_MAX, h, 32}), 0);
    EXPECT_EQ(SetDIBitsToDevice(*t.dc, 0, 0, w, h, 0, 0, bits, DibFormat{w, INT32_MIN, 32}), 0);
    EXPECT_EQ(SetDIBitsToDevice(*t.dc, 0, 0, w, h, 0, 0, bits, DibFormat{w, h, 16}), 0);
    EXPECT_EQ(SetDIBitsToDevice(*t.dc, 0, 0, 0, h, 0, 0, bits, DibFormat{w, h, 32}), 0);
    // A source rectangle wholly outside the buffer names no lines.
    EXPECT_EQ(SetDIBitsToDevice(*t.dc, 0, 0, w, h, 0, 10, bits, DibFormat{w, h, 32}), 0);
    EXPECT_EQ(SetDIBitsToDevice(*t.dc, 0, 0, w, h, INT32_MIN, INT32_MAX, bits, DibFormat{w, h, 32}),
              0);
    EXPECT_EQ(SetDIBitsToDevice(*t.dc, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MAX, 0, 0, bits,
                                DibFormat{w, h, 32}),
              h);

    std::vector<std::uint8_t> out(w * h * 4);
    Target g = makeTarget(w, h);
    EXPECT_EQ(GetDIBits(*g.bitmap, 0, h, std::span<std::uint8_t>(out.data(), out.size() - 1),
                        DibFormat{w, h, 32}),
              0);
    EXPECT_EQ(GetDIBits(*g.bitmap, 0, h, out, DibFormat{w + 1, h, 32}), 0);
    EXPECT_EQ(GetDIBits(*g.bitmap, 0, h, out, DibFormat{w, h, 24}), 0);
    EXPECT_EQ(GetDIBits(*g.bitmap, -1, h, out, DibFormat{w, h, 32}), 0);
    EXPECT_EQ(GetDIBits(*g.bitmap, h, 1, out, DibFormat{w, h, 32}), 0);
    // Scan lines past the top are clamped: 2 of the 100 asked for exist.
    EXPECT_EQ(GetDIBits(*g.bitmap, 2, 100, out, DibFormat{w, h, 32}), 2);
    EXPECT_EQ(GetDIBits(*g.bitmap, 2, INT32_MAX, out, DibFormat{w, h, 32}), 2);
}

TEST(DibTransfer, GetDibitsStartScanCountsFromTheBottom) {
    Target t = makeTarget(2, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 2; ++x)
            setPixel32(*t.bitmap, x, y, tag(x, y));
    std::vector<std::uint8_t> out(2 * 2 * 4);
    // Scan lines 1 and 2 from the bottom are image rows 2 and 1.
    ASSERT_EQ(GetDIBits(*t.bitmap, 1, 2, out, DibFormat{2, 2, 32}), 2);
    std::uint32_t first;
    std::memcpy(&first, out.data(), 4);
    EXPECT_EQ(first, tag(0, 2));
    ASSERT_EQ(GetDIBits(*t.bitmap, 1, 2, out, DibFormat{2, -2, 32}), 2);
    std::memcpy(&first, out.data(), 4);
    EXPECT_EQ(first, tag(0, 1));
}

// BitBlt: the reference is a per-pixel copy from a snapshot of the source, so overlapping copies
// on one surface must behave as if the source were read first.
TEST(BitBltCopies, MatchesSnapshotCopyIncludingOverlapAndClipping) {
    std::mt19937 rng(11);
    for (int round = 0; round < 500; ++round) {
        const bool sameSurface = round % 3 == 0;
        Target d = makeTarget(1 + static_cast<int>(rng() % 16), 1 + static_cast<int>(rng() % 16));
        Target sOwn =
            makeTarget(1 + static_cast<int>(rng() % 16), 1 + static_cast<int>(rng() % 16));
        Target& s = sameSurface ? d : sOwn;
        fillRandom(*d.bitmap, rng);
        fillRandom(*sOwn.bitmap, rng);
        const Rect clip{static_cast<int>(rng() % 6) - 2, static_cast<int>(rng() % 6) - 2,
                        4 + static_cast<int>(rng() % 16), 4 + static_cast<int>(rng() % 16)};
        d.dc->setClipRect(clip);
        auto pick = [&](int n) { return static_cast<int>(rng() % (2 * n + 1)) - n / 2; };
        const int x = pick(16), y = pick(16), sx = pick(16), sy = pick(16);
        const int w = 1 + static_cast<int>(rng() % 20), h = 1 + static_cast<int>(rng() % 20);

        auto snapshot = Bitmap::create(s.bitmap->width(), s.bitmap->height(), 32);
        std::memcpy(snapshot->bits(), s.bitmap->bits(), s.bitmap->byteCount());
        auto expected = Bitmap::create(d.bitmap->width(), d.bitmap->height(), 32);
        std::memcpy(expected->bits(), d.bitmap->bits(), d.bitmap->byteCount());
        const Rect box = d.dc->clipBox();
        for (int py = 0; py < expected->height(); ++py)
            for (int px = 0; px < expected->width(); ++px) {
                const int qx = px - x + sx, qy = py - y + sy;
                if (!box.contains(px, py) || px < x || py < y || px >= x + w || py >= y + h)
                    continue;
                if (qx < 0 || qy < 0 || qx >= snapshot->width() || qy >= snapshot->height())
                    continue;
                setPixel32(*expected, px, py, pixel32(*snapshot, qx, qy));
            }
        ASSERT_TRUE(BitBlt(*d.dc, x, y, w, h, *s.dc, sx, sy));
        ASSERT_EQ(std::memcmp(d.bitmap->bits(), expected->bits(), expected->byteCount()), 0)
            << "round " << round;
    }
}

TEST(BitBltCopies, ThroughTwentyFourBitsLosesOnlyAlpha) {
    std::mt19937 rng(12);
    Target a = makeTarget(9, 7);
    fillRandom(*a.bitmap, rng);
    Target mid = makeTarget(9, 7, 24);
    Target back = makeTarget(9, 7);
    ASSERT_TRUE(BitBlt(*mid.dc, 0, 0, 9, 7, *a.dc, 0, 0));
    ASSERT_TRUE(BitBlt(*back.dc, 0, 0, 9, 7, *mid.dc, 0, 0));
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x)
            ASSERT_EQ(pixel32(*back.bitmap, x, y), pixel32(*a.bitmap, x, y) & 0x00FFFFFFu);
    EXPECT_FALSE(BitBlt(*back.dc, 0, 0, 0, 7, *mid.dc, 0, 0));
    EXPECT_FALSE(BitBlt(*back.dc, 0, 0, 9, -1, *mid.dc, 0, 0));
    EXPECT_TRUE(
        BitBlt(*back.dc, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, *mid.dc, INT32_MAX, 0));
}

TEST(StretchBltCopies, ScalesAndMirrorsByCentreSampling) {
    Target s = makeTarget(4, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            setPixel32(*s.bitmap, x, y, tag(x, y));
    // Doubling: destination column i takes source column floor((2i + 1) * 4 / 16) = i / 2.
    Target d = makeTarget(8, 4);
    ASSERT_TRUE(StretchBlt(*d.dc, 0, 0, 8, 4, *s.dc, 0, 0, 4, 2));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(pixel32(*d.bitmap, x, y), tag(x / 2, y / 2));
    // Shrinking 4 -> 3 columns samples columns 0, 2, 3.
    Target e = makeTarget(3, 2);
    ASSERT_TRUE(StretchBlt(*e.dc, 0, 0, 3, 2, *s.dc, 0, 0, 4, 2));
    EXPECT_EQ(pixel32(*e.bitmap, 0, 0), tag(0, 0));
    EXPECT_EQ(pixel32(*e.bitmap, 1, 0), tag(2, 0));
    EXPECT_EQ(pixel32(*e.bitmap, 2, 1), tag(3, 1));
    // A negative destination width mirrors: the rectangle covers [x - 4, x).
    Target m = makeTarget(4, 2);
    ASSERT_TRUE(StretchBlt(*m.dc, 4, 0, -4, 2, *s.dc, 0, 0, 4, 2));
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(pixel32(*m.bitmap, x, 1), tag(3 - x, 1));
    EXPECT_FALSE(StretchBlt(*m.dc, 0, 0, 0, 2, *s.dc, 0, 0, 4, 2));
    EXPECT_TRUE(StretchBlt(*m.dc, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MIN, *s.dc, INT32_MAX,
                           INT32_MIN, INT32_MIN, INT32_MAX));
}

TEST(SolidFills, ClippedFillsStoreAlphaZero) {
    Target t = makeTarget(6, 4);
    std::memset(t.bitmap->bits(), 0xFF, t.bitmap->byteCount());
    t.dc->setClipRect(Rect{0, 1, 6, 4});
    auto brush = createSolidBrush(rgb(0x10, 0x20, 0x30));
    ASSERT_TRUE(FillRect(*t.dc, Rect{-3, -3, 2, 3}, brush.get()));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            ASSERT_EQ(pixel32(*t.bitmap, x, y),
                      (x < 2 && y >= 1 && y < 3) ? 0x00102030u : 0xFFFFFFFFu);
    EXPECT_TRUE(FillRect(*t.dc, Rect{5, 5, 1, 1}, brush.get()));  // empty: nothing drawn
    EXPECT_TRUE(FillRect(*t.dc, Rect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, brush.get()));
    EXPECT_EQ(pixel32(*t.bitmap, 5, 0), 0xFFFFFFFFu);
    EXPECT_EQ(pixel32(*t.bitmap, 5, 3), 0x00102030u);
    EXPECT_FALSE(FillRect(*t.dc, Rect{0, 0, 1, 1}, nullptr));

    Target t24 = makeTarget(5, 2, 24);
    ASSERT_TRUE(FillRect(*t24.dc, Rect{1, 0, 4, 1}, brush.get()));
    const std::uint8_t* row = t24.bitmap->rowFromTop(0);
    EXPECT_EQ(row[3], 0x30);
    EXPECT_EQ(row[4], 0x20);
    EXPECT_EQ(row[5], 0x10);
    EXPECT_EQ(row[12], 0);
    EXPECT_EQ(row[0], 0);
}

}  // namespace
}  // namespace talvrin::platform
