// Regions of the visible pixels in each style (and in chunks when the region layer refuses long
// lists), the checkerboard against a parity rule, and copies of a surface: identical, resized,
// mirrored at another size, onto itself, refused, with and without kept source bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "image/codecs/region_builder.h"
#include "image/surface/c32bpp_dib_internal.h"
#include "platform/gdi/region.h"
#include "render_test_support.h"

namespace talvrin {
namespace {

using testing::Pixel;

// Paints rows from the top: '#' opaque, '+' alpha 1 (still visible), '.' fully transparent.
void paint(c32bppDIB& dib, std::initializer_list<std::string> rows) {
    int y = 0;
    for (const std::string& row : rows) {
        for (int x = 0; x < static_cast<int>(row.size()); ++x)
            testing::put(dib, x, y,
                         row[x] == '#'   ? Pixel{9, 9, 9, 255}
                         : row[x] == '+' ? Pixel{1, 0, 0, 1}
                                         : Pixel{0, 0, 0, 0});
        ++y;
    }
}

std::vector<Rect> rectsOf(const platform::Region& r) {
    return {r.rects().begin(), r.rects().end()};
}

// Imposes a region-data limit for one test.
struct DataRectLimit {
    explicit DataRectLimit(std::uint32_t n) { platform::Region::setDataRectLimit(n); }
    ~DataRectLimit() { platform::Region::setDataRectLimit(std::nullopt); }
};

TEST(CreateRegion, StylesFlagsAndOffsets) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    const std::initializer_list<std::string> gap = {"#.##", "....", ".+.."};
    const std::initializer_list<std::string> column = {"..#.", "....", "..+."};
    const std::initializer_list<std::string> narrow = {".", "#", "+", "."};
    const std::initializer_list<std::string> none = {"....", "...."};
    struct Case {
        const char* what;
        std::initializer_list<std::string> rows;
        bool alpha;
        std::int32_t style, dx, dy;
        std::optional<std::vector<Rect>> want;
    };
    const Case cases[] = {
        {"box", gap, true, 0, 0, 0, {{{0, 0, 4, 3}}}},
        {"row spans", gap, true, 1, 0, 0, {{{0, 0, 4, 1}, {1, 2, 2, 3}}}},
        {"runs", gap, true, 2, 0, 0, {{{0, 0, 1, 1}, {2, 0, 4, 1}, {1, 2, 2, 3}}}},
        {"no alpha, box", gap, false, 0, 0, 0, {{{0, 0, 4, 3}}}},
        {"no alpha, spans", gap, false, 1, 0, 0, {{{0, 0, 4, 3}}}},
        {"no alpha, runs", none, false, 2, 0, 0, {{{0, 0, 4, 2}}}},
        {"style 3", gap, true, 3, 0, 0, std::nullopt},
        {"style -1", gap, false, -1, 0, 0, std::nullopt},
        {"one column", column, true, 0, 0, 0, {{{2, 0, 3, 3}}}},
        {"one pixel wide", narrow, true, 0, 0, 0, {{{0, 1, 1, 3}}}},
        {"nothing visible, box", none, true, 0, 0, 0, std::nullopt},
        {"nothing visible, runs", none, true, 2, 0, 0, std::nullopt},
        {"moved", gap, true, 2, 3, -2, {{{3, -2, 4, -1}, {5, -2, 7, -1}, {4, 0, 5, 1}}}},
        {"moved out of range", gap, true, 0, kMax, 0, std::nullopt},
    };
    for (const Case& c : cases) {
        c32bppDIB dib;
        dib.InitializeDIB(static_cast<int>(c.rows.begin()->size()),
                          static_cast<int>(c.rows.size()));
        paint(dib, c.rows);
        SurfaceInternals::setAlpha(dib, c.alpha);
        const auto region = dib.CreateRegion(c.style, c.dx, c.dy);
        ASSERT_EQ(region != nullptr, c.want.has_value()) << c.what;
        if (region) {
            EXPECT_EQ(rectsOf(*region), *c.want) << c.what;
        }
    }
    c32bppDIB empty;
    EXPECT_EQ(empty.CreateRegion(0, 0, 0), nullptr);
}

// More rectangles than one region-data call takes: the chunks give the same region as one call
// (the exact shape of the pixels), and a chunk the layer refuses gives no region at all.
TEST(CreateRegion, LongListsAreMadeInChunks) {
    c32bppDIB dib;
    dib.InitializeDIB(97, 160);
    std::mt19937 rng(17);
    int runs = 0;
    for (int y = 0; y < dib.Height(); ++y)
        for (int x = 0; x < dib.Width(); ++x) {
            const bool on = rng() % 2 != 0;
            testing::put(dib, x, y, on ? Pixel{3, 2, 1, 200} : Pixel{0, 0, 0, 0});
            runs += on && (x == 0 || testing::get(dib, x - 1, y)[3] == 0);
        }
    ASSERT_GT(runs, static_cast<int>(kRegionChunkRects) + 1000);  // at least two chunks
    std::unique_ptr<platform::Region> chunked;
    {
        DataRectLimit limit(static_cast<std::uint32_t>(kRegionChunkRects + 1));
        chunked = dib.CreateRegion(2, 0, 0);
    }
    ASSERT_NE(chunked, nullptr);
    for (int y = 0; y < dib.Height(); ++y)
        for (int x = 0; x < dib.Width(); ++x)
            ASSERT_EQ(chunked->contains(x, y), testing::get(dib, x, y)[3] != 0) << x << "," << y;
    {
        DataRectLimit tooSmall(static_cast<std::uint32_t>(kRegionChunkRects));
        EXPECT_EQ(dib.CreateRegion(2, 0, 0), nullptr);
    }
    // A short list is not split: refused at once, it gives none.
    c32bppDIB small;
    small.InitializeDIB(4, 3);
    paint(small, {"#.##", "....", ".+.."});
    DataRectLimit limit(2);
    EXPECT_EQ(small.CreateRegion(2, 0, 0), nullptr);
}

// The header written in front of a run: the platform's layout, field by field, with the
// rectangles of the run left in place behind it.
TEST(RegionRectList, HeaderInFrontOfARun) {
    RegionRectList list;
    ASSERT_TRUE(list.start(1));
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(list.append({i, 10 * i, i + 2, 10 * i + 1}));
    const ByteView data = list.regionData(3, 2, {0, 20, 1, 31});
    ASSERT_EQ(data.size(), 32u + 2 * 16);
    const std::int32_t want[] = {32, 1, 2, 32, 0, 20, 1, 31, 2, 20, 4, 21, 3, 30, 5, 31};
    for (std::size_t i = 0; i < std::size(want); ++i)
        EXPECT_EQ(*data.i32le(i * 4), want[i]) << "field " << i;
    EXPECT_TRUE(list.regionData(4, 3, {}).empty());
    EXPECT_TRUE(list.regionData(0, 1, {}).empty());
}

TEST(CreateCheckerBoard, SquaresFollowTheirParity) {
    struct Case {
        std::int32_t w, h, size;
        std::uint32_t first, second;
    };
    const Case cases[] = {
        {30, 30, 12, 0xFFFFFF, 0xC0C0C0},  // the last row and column of squares 6 pixels
        {7, 5, 2, 0x0000FF, 0xFF0000},     // red and blue: the channel order
        {5, 3, 1, 0x00FF00, 0x000000},
        {4, 4, std::numeric_limits<std::int32_t>::max(), 0x123456, 0},
    };
    for (const Case& c : cases) {
        c32bppDIB dib;
        dib.InitializeDIB(c.w, c.h);
        ASSERT_TRUE(dib.CreateCheckerBoard(c.size, c.first, c.second)) << c.w << "x" << c.h;
        EXPECT_FALSE(dib.Alpha());
        EXPECT_EQ(dib.ImageType(), imgCheckerBoard);
        EXPECT_EQ(dib.Handle()->selectedInto(), nullptr);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) {
                const std::uint32_t colour = (x / c.size + y / c.size) % 2 ? c.second : c.first;
                const Pixel want{blueOf(colour), greenOf(colour), redOf(colour), 255};
                ASSERT_EQ(testing::get(dib, x, y), want)
                    << c.w << "x" << c.h << " " << x << "," << y;
            }
    }
    c32bppDIB dib;
    dib.InitializeDIB(3, 3);
    ASSERT_NE(dib.LoadDIBinDC(true), nullptr);  // a selection made before stays
    for (const std::int32_t size : {0, -4})
        EXPECT_FALSE(dib.CreateCheckerBoard(size, 0xFFFFFF, 0)) << size;
    EXPECT_EQ(testing::get(dib, 1, 1), (Pixel{0, 0, 0, 0}));
    EXPECT_TRUE(dib.CreateCheckerBoard(1, 0xFFFFFF, 0));
    EXPECT_NE(dib.Handle()->selectedInto(), nullptr);
    c32bppDIB none;
    EXPECT_FALSE(none.CreateCheckerBoard(12, 0xFFFFFF, 0xC0C0C0));
}

// A 3 x 2 source with an opaque, a translucent and a transparent pixel, and kept bytes.
std::unique_ptr<c32bppDIB> copySource() {
    auto src = std::make_unique<c32bppDIB>();
    src->setGDIplusEnabled(false);  // the own paths; the bridge's copy is tested with the bridge
    src->setHighQualityInterpolation(false);
    src->InitializeDIB(3, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            testing::put(*src, x, y, {std::uint8_t(10 * x + 1), std::uint8_t(y + 1), 7, 255});
    testing::put(*src, 1, 0, {5, 5, 5, 128});
    testing::put(*src, 2, 1, {0, 0, 0, 0});
    SurfaceInternals::setImageType(*src, imgBmpPARGB);
    src->setGdiToken(42);
    SurfaceInternals::setSourceBytes(*src, std::vector<std::uint8_t>{4, 5});
    return src;
}

// Whole-multiple sizes on every path, into a new target or onto the source itself: target pixel
// (x, y) is the source pixel under it, mirrored where the size is negative.
TEST(CopyImageTo, SizesMirrorsAndPaths) {
    struct Case {
        std::int32_t w, h;
        bool friendly, self, keep;
    };
    const Case cases[] = {
        {0, 0, true, false, true},    {3, 2, false, false, false}, {6, 4, true, false, true},
        {6, 4, false, false, false},  {-3, 0, true, false, true},  {0, -2, false, false, true},
        {-3, -2, true, false, false}, {-6, 4, true, false, true},  {6, -2, false, false, true},
        {-6, -4, false, false, true}, {3, -4, true, false, true},  {-6, 4, true, true, true},
        {0, 0, false, true, false},   {6, 4, true, true, false},
    };
    const auto ref = copySource();
    for (const Case& c : cases) {
        auto src = copySource();
        src->setAlphaBlendFriendly(c.friendly);
        std::unique_ptr<c32bppDIB> other;
        std::unique_ptr<c32bppDIB>& target = c.self ? src : other;
        src->CopyImageTo(target, c.w, c.h, c.keep);
        ASSERT_NE(target, nullptr);
        const int tw = c.w == 0 ? 3 : std::abs(c.w), th = c.h == 0 ? 2 : std::abs(c.h);
        ASSERT_EQ(target->Width(), tw);
        ASSERT_EQ(target->Height(), th);
        EXPECT_TRUE(target->Alpha());
        EXPECT_EQ(target->ImageType(), imgBmpPARGB);
        EXPECT_EQ(target->gdiToken(), 42u);
        EXPECT_EQ(target->sourceBytes(), c.keep ? ref->sourceBytes() : std::vector<std::uint8_t>{});
        for (int y = 0; y < th; ++y)
            for (int x = 0; x < tw; ++x) {
                int sx = x * 3 / tw, sy = y * 2 / th;
                if (c.w < 0) sx = 2 - sx;
                if (c.h < 0) sy = 1 - sy;
                ASSERT_EQ(testing::get(*target, x, y), testing::get(*ref, sx, sy))
                    << c.w << "x" << c.h << (c.self ? " onto itself" : "") << " at " << x << ","
                    << y;
            }
    }
}

// Reused targets, source bytes to keep or none, and sizes no surface can have.
TEST(CopyImageTo, TargetsAndRefusals) {
    auto src = copySource();
    // A reused target of the asked size shows nothing of its earlier pixels or kept bytes.
    auto target = testing::engineSurface(6, 4);
    testing::fill(*target, {1, 1, 1, 255});
    SurfaceInternals::setSourceBytes(*target, std::vector<std::uint8_t>{9});
    std::uint8_t* const bits = target->BitsPointer();
    src->CopyImageTo(target, 6, 4, false);
    EXPECT_EQ(target->BitsPointer(), bits);
    EXPECT_EQ(testing::get(*target, 5, 3), (Pixel{0, 0, 0, 0}));
    EXPECT_TRUE(target->sourceBytes().empty());
    // The alpha flag and image type follow the source; no kept bytes to copy gives none.
    SurfaceInternals::setAlpha(*src, false);
    SurfaceInternals::setImageType(*src, imgBitmap);
    SurfaceInternals::setSourceBytes(*src, std::vector<std::uint8_t>{});
    src->CopyImageTo(target, 0, 0, true);
    EXPECT_EQ(target->Width(), 3);
    EXPECT_FALSE(target->Alpha());
    EXPECT_EQ(target->ImageType(), imgBitmap);
    EXPECT_TRUE(target->sourceBytes().empty());

    for (const auto& [w, h] :
         {std::pair{70000, 70000}, std::pair{std::numeric_limits<int>::min(), 1}}) {
        std::unique_ptr<c32bppDIB> none;
        src->CopyImageTo(none, w, h, true);
        EXPECT_EQ(none, nullptr) << w;
        src->CopyImageTo(target, w, h, true);
        EXPECT_EQ(target->Width(), 3) << w;
    }
    c32bppDIB empty;
    std::unique_ptr<c32bppDIB> none;
    empty.CopyImageTo(none, 0, 0, false);
    EXPECT_EQ(none, nullptr);
}

}  // namespace
}  // namespace talvrin
