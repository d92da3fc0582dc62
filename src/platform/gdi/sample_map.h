// Internal to the platform layer: which source pixel each destination pixel of a stretched,
// possibly mirrored draw takes. Icons and pictures draw through it.
#pragma once

#include <cstdint>
#include <vector>

#include "base/geometry.h"
#include "platform/gdi/device_context.h"

namespace talvrin::platform {

class Icon;

namespace detail {

// The destination pixels of one draw, clipped, with the source column and row (counted from
// the top) each takes; -1 marks a destination pixel whose source lies outside the source image.
struct SampleMap {
    Rect dest;
    std::vector<std::int32_t> sourceColumn;  // one per column of dest
    std::vector<std::int32_t> sourceRow;     // one per row of dest
};

// Destination span [d0, d0 + dn) (dn < 0 extends towards lower coordinates and mirrors) against
// the source span [s0, s0 + sn) in source pixel units (sn < 0 mirrors). Each destination pixel
// takes the source pixel under its centre. clip is the destination clip box, srcWidth and
// srcHeight the source image size. False when a size is zero or nothing is left after clipping.
bool buildSampleMap(SampleMap& map, const Rect& clip, std::int32_t x, std::int32_t y,
                    std::int32_t width, std::int32_t height, double srcX, double srcY,
                    double srcWidth, double srcHeight, std::int32_t srcImageWidth,
                    std::int32_t srcImageHeight);

// Draws an icon through a map (see DrawIcon for how icon pixels combine with the destination).
void drawIconMapped(Bitmap& target, const Icon& icon, const SampleMap& map) noexcept;

// Copies bitmap pixels through a map (whole pixels; a 24-bit source gives alpha 0, a 24-bit
// target drops the alpha).
void copyBitmapMapped(Bitmap& target, const Bitmap& source, const SampleMap& map) noexcept;

}  // namespace detail
}  // namespace talvrin::platform
