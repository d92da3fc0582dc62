// modParsers, region half: turns the visible pixels of a surface into a platform region (the
// window shape of the image control). Pixel-only code over the platform's region objects: it
// reads a bottom-up pixel view and its alpha flag, lists rectangles in the region-data layout
// and hands them to the region layer, in chunks when the layer refuses a long list at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/byte_view.h"
#include "base/geometry.h"
#include "base/pixels.h"
#include "platform/gdi/region.h"

namespace talvrin {

// The shapes a region can follow. A pixel is visible when its alpha is not 0.
inline constexpr std::int32_t kRegionBoundingBox = 0;  // one rectangle round every visible pixel
inline constexpr std::int32_t kRegionRowSpans = 1;     // per row, first to last visible pixel
inline constexpr std::int32_t kRegionExactShape = 2;   // per row, one rectangle per visible run

// Rectangles per chunk when a long list is turned into regions piece by piece; neighbouring
// chunks share one rectangle.
inline constexpr std::size_t kRegionChunkRects = 2000;

// The rectangles of a region under construction, kept as region data: 16-byte entries (left,
// top, right, bottom, little-endian signed 32-bit), of which the first two are reserved so that
// the 32-byte region-data header can be written in front of any run of rectangles without
// moving them. Room starts at 3 x width entries and grows by 3 x width whenever the next
// rectangle would take the last entry.
class RegionRectList {
  public:
    // An empty list with room for 3 x width entries; false when width < 1 or the room cannot be
    // had.
    bool start(std::int32_t width) noexcept;
    // Lists one more rectangle; false when the list cannot grow.
    bool append(const Rect& rect) noexcept;

    // Rectangles listed so far.
    [[nodiscard]] std::size_t count() const noexcept { return count_; }
    // Rectangle n, counting from 1 (1 <= n <= count()).
    [[nodiscard]] Rect rect(std::size_t n) const noexcept;
    // Entries of room, the two reserved ones included.
    [[nodiscard]] std::size_t capacity() const noexcept { return bytes_.size() / kEntryBytes; }

    // Writes the region-data header for rectangles first ... first + count - 1 (counting from
    // 1) into the two entries in front of rectangle first, and answers that header with its
    // rectangles. The two entries are overwritten: whatever rectangles they held must have been
    // consumed. Empty when the run is not inside the list.
    [[nodiscard]] ByteView regionData(std::size_t first, std::size_t count,
                                      const Rect& bounds) noexcept;

  private:
    static constexpr std::size_t kEntryBytes = platform::kRegionRectSize;
    static constexpr std::size_t kReservedEntries = 2;

    std::vector<std::uint8_t> bytes_;
    std::size_t growth_ = 0;  // entries added at a time: 3 x width
    std::size_t count_ = 0;
};

// The region of rectangles first ... first + count - 1 of the list (counting from 1), made from
// region data whose bounding rectangle is (0, top of the first, width, bottom of the last).
// Null when the region layer refuses the data.
[[nodiscard]] std::unique_ptr<platform::Region> regionFromListedRects(RegionRectList& list,
                                                                      std::size_t first,
                                                                      std::size_t count,
                                                                      std::int32_t width) noexcept;

// The region of every listed rectangle, made in chunks: chunk k runs from rectangle
// kRegionChunkRects x k + 1 to kRegionChunkRects rectangles further, or to the last one, and is
// combined into the result. Null when any chunk cannot be made or combined (never a partial
// region).
[[nodiscard]] std::unique_ptr<platform::Region> regionFromListInChunks(RegionRectList& list,
                                                                       std::int32_t width) noexcept;

// The region of the visible pixels of a bottom-up view in one of the styles above. When alpha
// (the surface's alpha flag) is false the region is the whole view, whatever the style. Rows
// are visited from the top, pixels from the left. Null for an invalid view, a style outside
// 0 ... 2, an image without a visible pixel, or a failure on the way.
[[nodiscard]] std::unique_ptr<platform::Region> buildRegion(ConstPixelView pixels, bool alpha,
                                                            std::int32_t style) noexcept;

}  // namespace talvrin
