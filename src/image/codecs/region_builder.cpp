// modParsers, region half: the rectangle list in the region-data layout, the two ways of turning
// it into a region (at once, or in chunks for a region layer that refuses long lists), and the
// scan of the visible pixels in each style.
#include "image/codecs/region_builder.h"

#include <algorithm>

#include "base/checked_math.h"

namespace talvrin {

namespace {

void putLE32(std::uint8_t* at, std::uint32_t v) noexcept {
    at[0] = static_cast<std::uint8_t>(v);
    at[1] = static_cast<std::uint8_t>(v >> 8);
    at[2] = static_cast<std::uint8_t>(v >> 16);
    at[3] = static_cast<std::uint8_t>(v >> 24);
}

std::int32_t getLE32(const std::uint8_t* at) noexcept {
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
        (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24));
}

void putRect(std::uint8_t* at, const Rect& r) noexcept {
    putLE32(at, static_cast<std::uint32_t>(r.left));
    putLE32(at + 4, static_cast<std::uint32_t>(r.top));
    putLE32(at + 8, static_cast<std::uint32_t>(r.right));
    putLE32(at + 12, static_cast<std::uint32_t>(r.bottom));
}

[[nodiscard]] bool visible(const std::uint8_t* row, std::int32_t x) noexcept {
    return row[static_cast<std::size_t>(x) * kBytesPerPixel + kAlphaOffset] != 0;
}

// The first visible pixel of a row from the left, or -1 when there is none.
[[nodiscard]] std::int32_t firstVisible(const std::uint8_t* row, std::int32_t width) noexcept {
    for (std::int32_t x = 0; x < width; ++x)
        if (visible(row, x)) return x;
    return -1;
}

// The last visible pixel of a row, searched from the right down to (and including) `first`, a
// visible pixel.
[[nodiscard]] std::int32_t lastVisible(const std::uint8_t* row, std::int32_t width,
                                       std::int32_t first) noexcept {
    std::int32_t x = width - 1;
    while (x > first && !visible(row, x))
        --x;
    return x;
}

[[nodiscard]] std::unique_ptr<platform::Region> rectRegion(const Rect& r) {
    return std::make_unique<platform::Region>(platform::Region::fromRect(r));
}

// Style 0: one rectangle round every visible pixel; a single visible column is a box one pixel
// wide.
[[nodiscard]] std::unique_ptr<platform::Region> boundingBoxRegion(ConstPixelView pixels) {
    std::int32_t left = pixels.width, right = -1, top = -1, bottom = -1;
    for (std::int32_t y = 0; y < pixels.height; ++y) {
        const std::uint8_t* row = pixels.rowFromTop(y);
        const std::int32_t first = firstVisible(row, pixels.width);
        if (first < 0) continue;
        left = std::min(left, first);
        right = std::max(right, lastVisible(row, pixels.width, first));
        if (top < 0) top = y;
        bottom = y;
    }
    if (top < 0) return nullptr;
    return rectRegion({left, top, right + 1, bottom + 1});
}

// Styles 1 and 2: the rectangles of one row, appended to the list; false when it cannot grow.
[[nodiscard]] bool listRow(RegionRectList& list, const std::uint8_t* row, std::int32_t width,
                           std::int32_t y, std::int32_t style) noexcept {
    if (style == kRegionRowSpans) {
        const std::int32_t first = firstVisible(row, width);
        if (first < 0) return true;
        return list.append({first, y, lastVisible(row, width, first) + 1, y + 1});
    }
    std::int32_t runStart = -1;
    for (std::int32_t x = 0; x < width; ++x) {
        if (visible(row, x)) {
            if (runStart < 0) runStart = x;
        } else if (runStart >= 0) {
            if (!list.append({runStart, y, x, y + 1})) return false;
            runStart = -1;
        }
    }
    return runStart < 0 || list.append({runStart, y, width, y + 1});
}

}  // namespace

bool RegionRectList::start(std::int32_t width) noexcept {
    bytes_.clear();
    count_ = 0;
    growth_ = 0;
    if (width < 1) return false;
    const auto entries = checkedMul<std::size_t>(3, static_cast<std::size_t>(width));
    const auto bytes = entries ? checkedMul<std::size_t>(*entries, kEntryBytes) : std::nullopt;
    if (!bytes) return false;
    try {
        bytes_.assign(*bytes, 0);
    } catch (...) {
        return false;
    }
    growth_ = *entries;
    return true;
}

bool RegionRectList::append(const Rect& rect) noexcept {
    if (growth_ == 0) return false;
    const std::size_t entry = kReservedEntries + count_;
    if (entry + 1 >= capacity()) {
        const auto entries = checkedAdd(capacity(), growth_);
        const auto bytes = entries ? checkedMul(*entries, kEntryBytes) : std::nullopt;
        if (!bytes) return false;
        try {
            bytes_.resize(*bytes, 0);
        } catch (...) {
            return false;
        }
    }
    putRect(bytes_.data() + entry * kEntryBytes, rect);
    ++count_;
    return true;
}

Rect RegionRectList::rect(std::size_t n) const noexcept {
    const std::uint8_t* at = bytes_.data() + (kReservedEntries + n - 1) * kEntryBytes;
    return {getLE32(at), getLE32(at + 4), getLE32(at + 8), getLE32(at + 12)};
}

ByteView RegionRectList::regionData(std::size_t first, std::size_t count,
                                    const Rect& bounds) noexcept {
    if (first < 1 || count < 1 || first > count_ || count > count_ - first + 1) return {};
    // The rectangle data's byte size is a 32-bit field.
    const auto count32 = checkedCast<std::uint32_t>(count);
    const auto dataBytes =
        count32 ? checkedMul<std::uint32_t>(*count32, platform::kRegionRectSize) : std::nullopt;
    if (!dataBytes) return {};
    // Rectangle n lies at entry n + 1, so its header takes entries n - 1 and n.
    std::uint8_t* header = bytes_.data() + (first - 1) * kEntryBytes;
    putLE32(header, platform::kRegionHeaderSize);
    putLE32(header + 4, platform::kRegionTypeRectangles);
    putLE32(header + 8, *count32);
    putLE32(header + 12, *dataBytes);
    putRect(header + 16, bounds);
    return ByteView(header, platform::kRegionHeaderSize + std::size_t{*dataBytes});
}

std::unique_ptr<platform::Region> regionFromListedRects(RegionRectList& list, std::size_t first,
                                                        std::size_t count,
                                                        std::int32_t width) noexcept {
    try {
        if (first < 1 || count < 1 || first > list.count() || count > list.count() - first + 1)
            return nullptr;
        const Rect bounds{0, list.rect(first).top, width, list.rect(first + count - 1).bottom};
        const ByteView data = list.regionData(first, count, bounds);
        if (data.empty()) return nullptr;
        auto region = platform::Region::fromData(data);
        if (!region) return nullptr;
        return std::make_unique<platform::Region>(std::move(*region));
    } catch (...) {
        return nullptr;
    }
}

std::unique_ptr<platform::Region> regionFromListInChunks(RegionRectList& list,
                                                         std::int32_t width) noexcept {
    try {
        const std::size_t n = list.count();
        if (n == 0) return nullptr;
        auto result = std::make_unique<platform::Region>();
        // Each chunk's header goes in front of its first rectangle, over two rectangles of the
        // chunk before, which has been consumed by then; the chunks therefore overlap by one.
        for (std::size_t first = 1;;) {
            const std::size_t last = std::min(first + kRegionChunkRects, n);
            const auto chunk = regionFromListedRects(list, first, last - first + 1, width);
            if (!chunk || !result->combineOr(*chunk)) return nullptr;
            if (last == n) break;
            first = last;
        }
        return result;
    } catch (...) {
        return nullptr;
    }
}

std::unique_ptr<platform::Region> buildRegion(ConstPixelView pixels, bool alpha,
                                              std::int32_t style) noexcept {
    try {
        if (style < kRegionBoundingBox || style > kRegionExactShape || !pixels.valid())
            return nullptr;
        // Without transparency every pixel counts: the whole image.
        if (!alpha) return rectRegion({0, 0, pixels.width, pixels.height});
        if (style == kRegionBoundingBox) return boundingBoxRegion(pixels);

        RegionRectList list;
        if (!list.start(pixels.width)) return nullptr;
        for (std::int32_t y = 0; y < pixels.height; ++y)
            if (!listRow(list, pixels.rowFromTop(y), pixels.width, y, style)) return nullptr;
        if (list.count() == 0) return nullptr;
        auto region = regionFromListedRects(list, 1, list.count(), pixels.width);
        // Some region layers refuse long lists; those are made piece by piece.
        if (!region && list.count() > kRegionChunkRects)
            region = regionFromListInChunks(list, pixels.width);
        return region;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace talvrin
