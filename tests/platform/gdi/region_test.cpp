// Regions: unions and offsets against a brute-force point test, the banded form, region data.
#include "platform/gdi/region.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace talvrin::platform {
namespace {

TEST(RegionUnion, MatchesBruteForceOnRandomRectangleSets) {
    std::mt19937 rng(20261207);
    for (int round = 0; round < 300; ++round) {
        std::vector<Rect> rects;  // includes empty and inverted ones
        for (int i = 0, n = 1 + static_cast<int>(rng() % 25); i < n; ++i) {
            const int l = static_cast<int>(rng() % 40) - 5, t = static_cast<int>(rng() % 40) - 5;
            rects.push_back(Rect{l, t, l + static_cast<int>(rng() % 12) - 1,
                                 t + static_cast<int>(rng() % 12) - 1});
        }
        const auto listed = Region::fromRects(rects);  // inverted rectangles count as empty
        ASSERT_TRUE(listed);
        Region combined;  // fromRect puts inverted corners in order
        std::vector<Rect> ordered;
        for (const Rect& r : rects) {
            ASSERT_TRUE(combined.combineOr(Region::fromRect(r)));
            ordered.push_back({std::min(r.left, r.right), std::min(r.top, r.bottom),
                               std::max(r.left, r.right), std::max(r.top, r.bottom)});
        }
        // Banded form: bands top to bottom, sorted, separated rectangles within a band.
        for (std::size_t i = 1; i < combined.rects().size(); ++i) {
            const Rect &p = combined.rects()[i - 1], &r = combined.rects()[i];
            ASSERT_TRUE(r.top == p.top ? r.bottom == p.bottom && r.left > p.right
                                       : r.top >= p.bottom);
        }
        Rect box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
        for (int y = -8; y < 52; ++y)
            for (int x = -8; x < 52; ++x) {
                bool inListed = false, inOrdered = false;
                for (std::size_t i = 0; i < rects.size(); ++i) {
                    inListed |= rects[i].contains(x, y);
                    inOrdered |= ordered[i].contains(x, y);
                }
                ASSERT_EQ(listed->contains(x, y), inListed) << x << "," << y;
                ASSERT_EQ(combined.contains(x, y), inOrdered) << x << "," << y;
                if (inOrdered)
                    box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
                           std::max(box.bottom, y + 1)};
            }
        EXPECT_EQ(combined.boundingBox(), box.isEmpty() ? Rect{} : box);
        EXPECT_EQ(combined.kind() == RegionKind::Null, box.isEmpty());
    }
}

TEST(RegionUnion, EqualAreasHaveEqualRectangles) {
    Region a = Region::fromRect({0, 0, 5, 10});
    EXPECT_EQ(a.combineOr(Region::fromRect({5, 0, 10, 10})), RegionKind::Simple);
    Region b = Region::fromRect({0, 0, 10, 4});
    b.combineOr(Region::fromRect({0, 4, 10, 10}));
    EXPECT_EQ(a, b);
    Region l = Region::fromRect({0, 0, 2, 6});
    EXPECT_EQ(l.combineOr(Region::fromRect({0, 4, 6, 6})), RegionKind::Complex);
    EXPECT_EQ(std::vector<Rect>(l.rects().begin(), l.rects().end()),
              (std::vector<Rect>{{0, 0, 2, 4}, {0, 4, 6, 6}}));
}

TEST(RegionOffset, MovesTheAreaAndRefusesOverflow) {
    Region r = *Region::fromRects(std::vector<Rect>{{0, 0, 4, 2}, {6, 1, 9, 5}});
    Region moved = r;
    ASSERT_TRUE(moved.offset(-7, 13));
    for (int y = -5; y < 25; ++y)
        for (int x = -10; x < 12; ++x)
            ASSERT_EQ(moved.contains(x - 7, y + 13), r.contains(x, y));
    Region edge = Region::fromRect({0, 0, 10, 10});
    EXPECT_FALSE(edge.offset(INT32_MAX - 5, 0));
    EXPECT_TRUE(edge.offset(INT32_MAX - 10, INT32_MIN));
    EXPECT_FALSE(edge.offset(0, -1));
    EXPECT_EQ(edge.boundingBox(), (Rect{INT32_MAX - 10, INT32_MIN, INT32_MAX, INT32_MIN + 10}));
}

// Region data: the 32-byte header then 16-byte rectangles, little-endian.
std::vector<std::uint8_t> regionData(const std::vector<Rect>& rects, std::uint32_t size = 32,
                                     std::uint32_t type = 1, std::int64_t count = -1) {
    std::vector<std::uint8_t> out;
    auto put = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    for (std::uint32_t v :
         {size, type, static_cast<std::uint32_t>(count < 0 ? rects.size() : count),
          static_cast<std::uint32_t>(rects.size() * 16), 0u, 0u, 0u, 0u})
        put(v);
    for (const Rect& r : rects)
        for (std::int32_t v : {r.left, r.top, r.right, r.bottom})
            put(static_cast<std::uint32_t>(v));
    return out;
}

std::optional<Region> parse(const std::vector<std::uint8_t>& bytes, std::size_t n = SIZE_MAX) {
    return Region::fromData(ByteView(bytes.data(), std::min(n, bytes.size())));
}

TEST(RegionData, ParsesRectangleListsAndHonoursTheHostLimit) {
    const std::vector<Rect> rects = {{0, 0, 4, 1}, {6, 0, 9, 1}, {0, 1, 9, 3}, {-3, -2, 1, 0}};
    auto bytes = regionData(rects);
    ASSERT_TRUE(parse(bytes));
    EXPECT_EQ(*parse(bytes), *Region::fromRects(rects));
    bytes.resize(bytes.size() + 7, 0xAB);  // trailing bytes are ignored
    EXPECT_EQ(*parse(bytes), *Region::fromRects(rects));
    EXPECT_TRUE(parse(regionData({}))->isEmpty());
    Region::setDataRectLimit(3);
    EXPECT_FALSE(parse(bytes));
    EXPECT_TRUE(parse(regionData({rects.begin(), rects.begin() + 3})));
    Region::setDataRectLimit(std::nullopt);
}

TEST(RegionData, BadHeadersFailCleanly) {
    const std::vector<Rect> rects = {{0, 0, 4, 4}, {5, 5, 8, 8}};
    const auto good = regionData(rects);
    for (std::size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(parse(good, n)) << "length " << n;
    for (std::uint32_t size : {0u, 31u, 33u, 40u})
        EXPECT_FALSE(parse(regionData(rects, size)));
    for (std::uint32_t type : {0u, 2u, 0xFFFFFFFFu})
        EXPECT_FALSE(parse(regionData(rects, 32, type)));
    for (std::int64_t count : {3LL, 1LL << 28, 0xFFFFFFFFLL})
        EXPECT_FALSE(parse(regionData(rects, 32, 1, count))) << "count " << count;
}

}  // namespace
}  // namespace talvrin::platform
