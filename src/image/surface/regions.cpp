// c32bppDIB: the services the image control uses around its image: a region that follows the
// visible pixels (built by the region builder of the codecs), a checkerboard that shows
// transparency, and a copy of the image into another surface, resized or mirrored. The
// imaging-library bridge is absent on this platform, so copies of another size are made by the
// engine or by Render.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "base/checked_math.h"
#include "image/codecs/region_builder.h"
#include "image/surface/c32bpp_dib.h"
#include "image/surface/engine.h"
#include "platform/gdi/device_context.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/region.h"

namespace talvrin {

std::unique_ptr<platform::Region> c32bppDIB::CreateRegion(std::int32_t Style, std::int32_t xOffset,
                                                          std::int32_t yOffset) const {
    if (bits_ == nullptr || Style < kRegionBoundingBox || Style > kRegionExactShape) return nullptr;
    auto region = buildRegion(ConstPixelView(bits_, width_, height_), alpha_, Style);
    // A region that cannot be moved where the caller wants it is no answer at all.
    if (region && (xOffset != 0 || yOffset != 0) && !region->offset(xOffset, yOffset))
        return nullptr;
    return region;
}

}  // namespace talvrin
