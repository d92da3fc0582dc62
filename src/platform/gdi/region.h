// Regions: areas made of non-overlapping rectangles, kept in a canonical banded form (rows of
// equal-height bands from top to bottom, each band's rectangles sorted left to right, touching
// rectangles merged, identical neighbouring bands merged), so equal areas compare equal.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "base/byte_view.h"
#include "base/geometry.h"

namespace talvrin::platform {

// What a region holds, with the platform's codes: empty, one rectangle, or several.
enum class RegionKind : int { Null = 1, Simple = 2, Complex = 3 };

// The region-data layout: a 32-byte header (size 32, type 1 = rectangles, rectangle count,
// byte size of the rectangles, bounding rectangle; little-endian 32-bit fields) followed by the
// rectangles, 16 bytes each (left, top, right, bottom as signed 32-bit values).
inline constexpr std::uint32_t kRegionHeaderSize = 32;
inline constexpr std::uint32_t kRegionRectSize = 16;
inline constexpr std::uint32_t kRegionTypeRectangles = 1;

class Region {
  public:
    Region() = default;  // empty

    // The region of one rectangle; its corners are put in order first (as the desktop does),
    // so {10, 10, 0, 0} is the rectangle {0, 0, 10, 10}.
    [[nodiscard]] static Region fromRect(const Rect& rect) noexcept;

    // The union of any rectangles (they may overlap; empty ones are ignored). Nothing when
    // memory runs out.
    [[nodiscard]] static std::optional<Region> fromRects(std::span<const Rect> rects) noexcept;

    // A region from region data: the header must say size 32 and type 1, and the bytes must hold
    // the counted rectangles; the byte-size and bounding fields are not relied on. Rectangles
    // may overlap and need no order; empty ones are ignored. Nothing for short data, a wrong
    // header, a count the data does not hold or a count above the data limit (see below).
    [[nodiscard]] static std::optional<Region> fromData(ByteView data) noexcept;

    // Replaces this region by its union with other. Answers the resulting kind, or nothing
    // (region unchanged) when memory runs out.
    std::optional<RegionKind> combineOr(const Region& other) noexcept;

    // Moves the region. False (region unchanged) when a coordinate would leave the 32-bit range.
    bool offset(std::int32_t dx, std::int32_t dy) noexcept;

    // The smallest rectangle holding the region; {0, 0, 0, 0} when empty.
    [[nodiscard]] Rect boundingBox() const noexcept;
    [[nodiscard]] bool contains(std::int32_t x, std::int32_t y) const noexcept;
    [[nodiscard]] RegionKind kind() const noexcept;
    [[nodiscard]] bool isEmpty() const noexcept { return rects_.empty(); }

    // The rectangles, in banded order (see above).
    [[nodiscard]] std::span<const Rect> rects() const noexcept { return rects_; }

    // Some systems refuse region data holding many rectangles. A host (or a test of a caller's
    // fallback) may impose such a limit: fromData then fails for data counting more rectangles.
    // Nothing (the default) means no limit.
    static void setDataRectLimit(std::optional<std::uint32_t> maxRects) noexcept;

    friend bool operator==(const Region&, const Region&) = default;

  private:
    std::vector<Rect> rects_;
};

}  // namespace talvrin::platform
