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

bool c32bppDIB::CreateCheckerBoard(std::int32_t CheckerSize, std::uint32_t FirstColor,
                                   std::uint32_t SecondColor) {
    try {
        // A size below 1 would never step across the image.
        if (dib_ == nullptr || CheckerSize < 1) return false;
        const bool wasSelected = savedObject_ != nullptr;
        platform::DeviceContext* dc = LoadDIBinDC(true);
        if (dc == nullptr) return false;
        const auto first = platform::createSolidBrush(FirstColor);
        const auto second = platform::createSolidBrush(SecondColor);
        bool filled = first != nullptr && second != nullptr;
        // Edges in 64 bits: a square may reach far beyond the image.
        const std::int64_t step = CheckerSize;
        bool rowStartsFirst = true;
        for (std::int64_t top = 0; filled && top < height_; top += step) {
            const auto bottom =
                static_cast<std::int32_t>(std::min(top + step, std::int64_t{height_}));
            bool useFirst = rowStartsFirst;
            for (std::int64_t left = 0; filled && left < width_; left += step) {
                const Rect square{
                    static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
                    static_cast<std::int32_t>(std::min(left + step, std::int64_t{width_})), bottom};
                filled = platform::FillRect(*dc, square, useFirst ? first.get() : second.get());
                useFirst = !useFirst;
            }
            rowStartsFirst = !rowStartsFirst;
        }
        if (!wasSelected) LoadDIBinDC(false);
        if (!filled) return false;
        // Fills leave alpha 0 in a 32-bit surface; the squares are opaque.
        const std::size_t count = dib_->byteCount();
        for (std::size_t i = kAlphaOffset; i < count; i += kBytesPerPixel)
            bits_[i] = 255;
        alpha_ = false;
        imageType_ = imgCheckerBoard;
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace talvrin
