#include "platform/gdi/region.h"

#include <algorithm>

#include "base/checked_math.h"

namespace talvrin::platform {
namespace {

// Builds the banded form of the union of rects (empty rectangles already removed). A sweep
// from top to bottom over the distinct top and bottom edges: each band between two edges
// holds the merged x-intervals of the rectangles that cover it, and a band equal to the one
// just above it (and touching it) extends that band instead of starting a new one.
std::vector<Rect> band(std::vector<Rect> rects) {
    std::vector<Rect> out;
    if (rects.empty()) return out;
    std::vector<std::int32_t> edges;
    edges.reserve(rects.size() * 2);
    for (const Rect& r : rects) {
        edges.push_back(r.top);
        edges.push_back(r.bottom);
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    std::sort(rects.begin(), rects.end(),
              [](const Rect& a, const Rect& b) { return a.top < b.top; });

    std::vector<Rect> active;                               // rectangles covering the band
    std::vector<std::pair<std::int32_t, std::int32_t>> xs;  // their x-intervals, merged
    std::size_t next = 0;                                   // first rectangle not yet active
    std::size_t prevStart = 0, prevCount = 0;               // the band emitted last
    for (std::size_t e = 0; e + 1 < edges.size(); ++e) {
        const std::int32_t y0 = edges[e], y1 = edges[e + 1];
        std::erase_if(active, [y0](const Rect& r) { return r.bottom <= y0; });
        while (next < rects.size() && rects[next].top <= y0)
            active.push_back(rects[next++]);
        if (active.empty()) continue;

        xs.clear();
        for (const Rect& r : active)
            xs.emplace_back(r.left, r.right);
        std::sort(xs.begin(), xs.end());
        std::size_t merged = 0;
        for (std::size_t i = 1; i < xs.size(); ++i) {
            if (xs[i].first <= xs[merged].second)
                xs[merged].second = std::max(xs[merged].second, xs[i].second);
            else
                xs[++merged] = xs[i];
        }
        xs.resize(merged + 1);

        // Coalesce with the previous band when it ends here and has the same intervals.
        bool same = prevCount == xs.size() && prevCount > 0 && out[prevStart].bottom == y0;
        for (std::size_t i = 0; same && i < xs.size(); ++i)
            same =
                out[prevStart + i].left == xs[i].first && out[prevStart + i].right == xs[i].second;
        if (same) {
            for (std::size_t i = 0; i < prevCount; ++i)
                out[prevStart + i].bottom = y1;
            continue;
        }
        prevStart = out.size();
        prevCount = xs.size();
        for (const auto& [l, r] : xs)
            out.push_back(Rect{l, y0, r, y1});
    }
    return out;
}

std::optional<std::uint32_t>& dataRectLimit() noexcept {
    static std::optional<std::uint32_t> limit;
    return limit;
}

}  // namespace

void Region::setDataRectLimit(std::optional<std::uint32_t> maxRects) noexcept {
    dataRectLimit() = maxRects;
}

Region Region::fromRect(const Rect& rect) noexcept {
    Region region;
    const Rect r{std::min(rect.left, rect.right), std::min(rect.top, rect.bottom),
                 std::max(rect.left, rect.right), std::max(rect.top, rect.bottom)};
    if (r.isEmpty()) return region;
    try {
        region.rects_.push_back(r);
    } catch (...) {
        // Out of memory: an empty region.
    }
    return region;
}

std::optional<Region> Region::fromRects(std::span<const Rect> rects) noexcept {
    try {
        std::vector<Rect> kept;
        kept.reserve(rects.size());
        for (const Rect& r : rects)
            if (!r.isEmpty()) kept.push_back(r);
        Region region;
        region.rects_ = band(std::move(kept));
        return region;
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<Region> Region::fromData(ByteView data) noexcept {
    const auto size = data.u32le(0);
    const auto type = data.u32le(4);
    const auto count = data.u32le(8);
    if (!size || !type || !count || data.size() < kRegionHeaderSize) return std::nullopt;
    if (*size != kRegionHeaderSize || *type != kRegionTypeRectangles) return std::nullopt;
    if (dataRectLimit() && *count > *dataRectLimit()) return std::nullopt;
    const std::uint64_t needed =
        std::uint64_t{kRegionHeaderSize} + std::uint64_t{*count} * kRegionRectSize;
    if (!data.contains(0, needed)) return std::nullopt;
    try {
        std::vector<Rect> rects;
        rects.reserve(*count);
        for (std::uint32_t i = 0; i < *count; ++i) {
            const std::uint64_t at = kRegionHeaderSize + std::uint64_t{i} * kRegionRectSize;
            const Rect r{*data.i32le(at), *data.i32le(at + 4), *data.i32le(at + 8),
                         *data.i32le(at + 12)};
            if (!r.isEmpty()) rects.push_back(r);
        }
        Region region;
        region.rects_ = band(std::move(rects));
        return region;
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<RegionKind> Region::combineOr(const Region& other) noexcept {
    if (other.rects_.empty()) return kind();
    try {
        std::vector<Rect> all;
        all.reserve(rects_.size() + other.rects_.size());
        all.insert(all.end(), rects_.begin(), rects_.end());
        all.insert(all.end(), other.rects_.begin(), other.rects_.end());
        rects_ = band(std::move(all));
        return kind();
    } catch (...) {
        return std::nullopt;
    }
}

bool Region::offset(std::int32_t dx, std::int32_t dy) noexcept {
    if (rects_.empty()) return true;
    const Rect box = boundingBox();
    if (!checkedAdd(box.left, dx) || !checkedAdd(box.right, dx) || !checkedAdd(box.top, dy) ||
        !checkedAdd(box.bottom, dy))
        return false;
    for (Rect& r : rects_) {
        r.left += dx;
        r.right += dx;
        r.top += dy;
        r.bottom += dy;
    }
    return true;
}

Rect Region::boundingBox() const noexcept {
    if (rects_.empty()) return Rect{};
    Rect box = rects_.front();
    box.bottom = rects_.back().bottom;
    for (const Rect& r : rects_) {
        box.left = std::min(box.left, r.left);
        box.right = std::max(box.right, r.right);
    }
    return box;
}

bool Region::contains(std::int32_t x, std::int32_t y) const noexcept {
    // Bands run top to bottom, so the first rectangle whose bottom is below y starts the only
    // band that can hold the point.
    auto it = std::upper_bound(rects_.begin(), rects_.end(), y,
                               [](std::int32_t v, const Rect& r) { return v < r.bottom; });
    for (; it != rects_.end() && it->top <= y; ++it)
        if (x >= it->left && x < it->right) return true;
    return false;
}

RegionKind Region::kind() const noexcept {
    if (rects_.empty()) return RegionKind::Null;
    return rects_.size() == 1 ? RegionKind::Simple : RegionKind::Complex;
}

}  // namespace talvrin::platform
