// Regions: unions and offsets against a brute-force point test, the canonical banded form, and
// parsing of region data.
#include "platform/region.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace talvrin::platform {
namespace {

bool inAny(const std::vector<Rect>& rects, int x, int y) {
    for (const Rect& r : rects)
        if (r.contains(x, y)) return true;
    return false;
}

std::vector<Rect> randomRects(std::mt19937& rng, int count, int span) {
    std::vector<Rect> rects;
    for (int i = 0; i < count; ++i) {
        const int l = static_cast<int>(rng() % span) - 5;
        const int t = static_cast<int>(rng() % span) - 5;
        // Some empty or inverted rectangles, which add nothing.
        const int w = static_cast<int>(rng() % 12) - 1;
        const int h = static_cast<int>(rng() % 12) - 1;
        rects.push_back(Rect{l, t, l + w, t + h});
    }
    return rects;
}

// The banded form: non-empty rectangles, bands top to bottom sharing top and bottom, each band
// sorted left to right with gaps between neighbours, no two touching bands alike.
void expectBanded(const Region& region) {
    const auto rects = region.rects();
    for (std::size_t i = 0; i < rects.size(); ++i) {
        ASSERT_FALSE(rects[i].isEmpty());
        if (i == 0) continue;
        const Rect& p = rects[i - 1];
        const Rect& r = rects[i];
        if (r.top == p.top) {
            ASSERT_EQ(r.bottom, p.bottom);
            ASSERT_GT(r.left, p.right) << "touching or overlapping rectangles in one band";
        } else {
            ASSERT_GE(r.top, p.bottom) << "bands overlap";
        }
    }
}

TEST(RegionUnion, MatchesBruteForceOnRandomRectangleSets) {
    std::mt19937 rng(20261207);
    for (int round = 0; round < 300; ++round) {
        const auto rects = randomRects(rng, 1 + static_cast<int>(rng() % 25), 40);
        const auto fromList = Region::fromRects(rects);
        ASSERT_TRUE(fromList);
        Region combined;
        for (const Rect& r : rects)
            ASSERT_TRUE(combined.combineOr(Region::fromRect(r)));
        // Inverted rectangles are put in order by fromRect, so compare against that reading.
        std::vector<Rect> ordered;
        for (const Rect& r : rects)
            ordered.push_back(Rect{std::min(r.left, r.right), std::min(r.top, r.bottom),
                                   std::max(r.left, r.right), std::max(r.top, r.bottom)});

        expectBanded(*fromList);
        expectBanded(combined);
        int minX = INT32_MAX, minY = INT32_MAX, maxX = INT32_MIN, maxY = INT32_MIN;
        for (int y = -8; y < 52; ++y) {
            for (int x = -8; x < 52; ++x) {
                ASSERT_EQ(fromList->contains(x, y), inAny(rects, x, y)) << x << "," << y;
                const bool in = inAny(ordered, x, y);
                ASSERT_EQ(combined.contains(x, y), in) << x << "," << y;
                if (in) {
                    minX = std::min(minX, x);
                    minY = std::min(minY, y);
                    maxX = std::max(maxX, x);
                    maxY = std::max(maxY, y);
                }
            }
        }
        if (minX == INT32_MAX) {
            EXPECT_EQ(combined.boundingBox(), Rect{});
            EXPECT_EQ(combined.kind(), RegionKind::Null);
        } else {
            EXPECT_EQ(combined.boundingBox(), (Rect{minX, minY, maxX + 1, maxY + 1}));
        }
    }
}

TEST(RegionUnion, EqualAreasHaveEqualRectangles) {
    // Two halves side by side, and two halves stacked, give the one rectangle.
    Region a = Region::fromRect({0, 0, 5, 10});
    EXPECT_EQ(a.combineOr(Region::fromRect({5, 0, 10, 10})), RegionKind::Simple);
    Region b = Region::fromRect({0, 0, 10, 4});
    b.combineOr(Region::fromRect({0, 4, 10, 10}));
    EXPECT_EQ(a, b);
    ASSERT_EQ(a.rects().size(), 1u);
    EXPECT_EQ(a.rects()[0], (Rect{0, 0, 10, 10}));
    // An L shape is two bands.
    Region l = Region::fromRect({0, 0, 2, 6});
    EXPECT_EQ(l.combineOr(Region::fromRect({0, 4, 6, 6})), RegionKind::Complex);
    ASSERT_EQ(l.rects().size(), 2u);
    EXPECT_EQ(l.rects()[0], (Rect{0, 0, 2, 4}));
    EXPECT_EQ(l.rects()[1], (Rect{0, 4, 6, 6}));
    EXPECT_EQ(Region::fromRect({3, 3, 3, 9}).kind(), RegionKind::Null);
    EXPECT_EQ(Region::fromRect({10, 10, 0, 0}).boundingBox(), (Rect{0, 0, 10, 10}));
}

TEST(RegionOffset, MovesEveryPointAndRefusesOverflow) {
    std::mt19937 rng(99);
    const auto rects = randomRects(rng, 12, 30);
    Region region = *Region::fromRects(rects);
    Region moved = region;
    ASSERT_TRUE(moved.offset(-7, 13));
    for (int y = -10; y < 50; ++y)
        for (int x = -20; x < 40; ++x)
            ASSERT_EQ(moved.contains(x - 7, y + 13), region.contains(x, y));

    Region edge = Region::fromRect({0, 0, 10, 10});
    EXPECT_FALSE(edge.offset(INT32_MAX - 5, 0));
    EXPECT_EQ(edge.boundingBox(), (Rect{0, 0, 10, 10}));
    EXPECT_TRUE(edge.offset(INT32_MAX - 10, INT32_MIN));
    const Rect far{INT32_MAX - 10, INT32_MIN, INT32_MAX, INT32_MIN + 10};
    EXPECT_EQ(edge.boundingBox(), far);
    EXPECT_FALSE(edge.offset(0, -1));
    EXPECT_FALSE(edge.offset(1, 0));
    EXPECT_EQ(edge.boundingBox(), far);
    Region empty;
    EXPECT_TRUE(empty.offset(INT32_MAX, INT32_MAX));
}

// Region data: the 32-byte header then 16-byte rectangles, little-endian.
std::vector<std::uint8_t> regionData(const std::vector<Rect>& rects, std::uint32_t size = 32,
                                     std::uint32_t type = 1, std::int64_t count = -1) {
    std::vector<std::uint8_t> out;
    auto put = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    put(size);
    put(type);
    put(count < 0 ? static_cast<std::uint32_t>(rects.size()) : static_cast<std::uint32_t>(count));
    put(static_cast<std::uint32_t>(rects.size() * 16));
    for (int i = 0; i < 4; ++i)
        put(0);  // bounding rectangle: not relied on
    for (const Rect& r : rects) {
        put(static_cast<std::uint32_t>(r.left));
        put(static_cast<std::uint32_t>(r.top));
        put(static_cast<std::uint32_t>(r.right));
        put(static_cast<std::uint32_t>(r.bottom));
    }
    return out;
}

TEST(RegionData, ParsesRectangleLists) {
    const std::vector<Rect> rects = {{0, 0, 4, 1}, {6, 0, 9, 1}, {0, 1, 9, 3}, {-3, -2, 1, 0}};
    const auto bytes = regionData(rects);
    const auto region = Region::fromData(ByteView(bytes.data(), bytes.size()));
    ASSERT_TRUE(region);
    EXPECT_EQ(*region, *Region::fromRects(rects));
    EXPECT_TRUE(region->contains(-3, -2));
    EXPECT_FALSE(region->contains(5, 0));
    EXPECT_TRUE(region->contains(5, 2));
    // Trailing bytes beyond the counted rectangles are ignored; zero rectangles is empty.
    auto longer = bytes;
    longer.resize(longer.size() + 7, 0xAB);
    EXPECT_EQ(*Region::fromData(ByteView(longer.data(), longer.size())), *region);
    const auto none = regionData({});
    const auto empty = Region::fromData(ByteView(none.data(), none.size()));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->isEmpty());
}

TEST(RegionData, BadHeadersFailCleanly) {
    const std::vector<Rect> rects = {{0, 0, 4, 4}, {5, 5, 8, 8}};
    const auto good = regionData(rects);
    // Short: every truncation of the header or of the rectangles.
    for (std::size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(Region::fromData(ByteView(good.data(), n))) << "length " << n;
    // Wrong header size or type.
    for (std::uint32_t size : {0u, 16u, 31u, 33u, 40u}) {
        const auto bytes = regionData(rects, size);
        EXPECT_FALSE(Region::fromData(ByteView(bytes.data(), bytes.size()))) << "size " << size;
    }
    for (std::uint32_t type : {0u, 2u, 0xFFFFFFFFu}) {
        const auto bytes = regionData(rects, 32, type);
        EXPECT_FALSE(Region::fromData(ByteView(bytes.data(), bytes.size()))) << "type " << type;
    }
    // Counts the data does not hold, up to the largest.
    for (std::int64_t count : {std::int64_t{3}, std::int64_t{1} << 28, std::int64_t{0xFFFFFFFF}}) {
        const auto bytes = regionData(rects, 32, 1, count);
        EXPECT_FALSE(Region::fromData(ByteView(bytes.data(), bytes.size()))) << "count " << count;
    }
    EXPECT_FALSE(Region::fromData(ByteView()));
}

TEST(RegionData, HostLimitOnRectangleCount) {
    std::vector<Rect> rects;
    for (int i = 0; i < 5; ++i)
        rects.push_back(Rect{0, i, 3 + i, i + 1});
    const auto bytes = regionData(rects);
    const ByteView view(bytes.data(), bytes.size());
    Region::setDataRectLimit(4);
    EXPECT_FALSE(Region::fromData(view));
    const auto four = regionData({rects.begin(), rects.begin() + 4});
    EXPECT_TRUE(Region::fromData(ByteView(four.data(), four.size())));
    Region::setDataRectLimit(std::nullopt);
    ASSERT_TRUE(Region::fromData(view));
    EXPECT_EQ(Region::fromData(view)->rects().size(), 5u);
}

}  // namespace
}  // namespace talvrin::platform
