// DrawStateA for bitmaps: a bitmap drawn as it is, or embossed the way the desktop shows a
// disabled image. (An icon drawn through DrawStateA at its own size is DrawIcon, icon.h.)
#pragma once

#include <cstdint>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"

namespace talvrin::platform {

// Draws the top-left cx x cy pixels of bitmap (a size of 0 takes the bitmap's own; larger ones
// are cut to it) with their top-left corner at (x, y), clipped to the context's clip box.
//
// Plain: the pixels are copied whole. Disabled (DSS_DISABLED): every pixel whose colour (B, G,
// R) is not white is ink; ink is drawn first in the 3-D highlight colour one pixel right of and
// below its place, then in the 3-D shadow colour at its place, so a shadow pixel covers a
// highlight pixel where they meet. Pixels that are not ink leave the destination as it is.
// Drawn pixels get alpha 0 on a 32-bit surface, as every fill does.
//
// False, drawing nothing, for a negative size.
bool DrawStateBitmap(DeviceContext& dc, const Bitmap& bitmap, std::int32_t x, std::int32_t y,
                     std::int32_t cx, std::int32_t cy, bool disabled) noexcept;

}  // namespace talvrin::platform
