#include "platform/gdi/icon.h"

#include "base/checked_math.h"
#include "base/pixels.h"
#include "platform/gdi/sample_map.h"

namespace talvrin::platform {

MaskBitmap::MaskBitmap(std::int32_t width, std::int32_t height, std::int32_t stride,
                       std::size_t bytes)
    : width_(width), height_(height), stride_(stride), bytes_(bytes, 0) {}

std::unique_ptr<MaskBitmap> MaskBitmap::create(std::int32_t width, std::int32_t height) noexcept {
    if (width < 1 || height < 1) return nullptr;
    const auto padded = checkedAdd<std::int32_t>(width, 31);
    if (!padded) return nullptr;
    const std::int32_t stride = *padded / 32 * 4;
    const auto bytes = checkedMul<std::int32_t>(stride, height);
    if (!bytes) return nullptr;
    try {
        return std::unique_ptr<MaskBitmap>(
            new MaskBitmap(width, height, stride, static_cast<std::size_t>(*bytes)));
    } catch (...) {
        return nullptr;
    }
}

bool MaskBitmap::bit(std::int32_t x, std::int32_t y) const noexcept {
    if (x < 0 || x >= width_ || y < 0 || y >= height_) return false;
    const std::size_t at = bottomUpRowOffset(y, height_, static_cast<std::size_t>(stride_)) +
                           static_cast<std::size_t>(x / 8);
    return (bytes_[at] >> (7 - x % 8)) & 1;
}

void MaskBitmap::setBit(std::int32_t x, std::int32_t y, bool value) noexcept {
    if (x < 0 || x >= width_ || y < 0 || y >= height_) return;
    const std::size_t at = bottomUpRowOffset(y, height_, static_cast<std::size_t>(stride_)) +
                           static_cast<std::size_t>(x / 8);
    const auto m = static_cast<std::uint8_t>(0x80u >> (x % 8));
    if (value) {
        bytes_[at] |= m;
    } else {
        bytes_[at] &= static_cast<std::uint8_t>(~m);
    }
}

Icon::Icon(bool isIcon, std::unique_ptr<Bitmap> color, std::unique_ptr<MaskBitmap> mask,
           Point hotspot) noexcept
    : isIcon_(isIcon), color_(std::move(color)), mask_(std::move(mask)), hotspot_(hotspot) {}

std::unique_ptr<Icon> Icon::create(bool isIcon, std::unique_ptr<Bitmap> color,
                                   std::unique_ptr<MaskBitmap> mask, Point hotspot) noexcept {
    if (!mask) return nullptr;
    if (color) {
        if (color->width() != mask->width() || color->height() != mask->height()) return nullptr;
        if (color->bitsPerPixel() != 24 && color->bitsPerPixel() != 32) return nullptr;
    } else if (mask->height() < 2 || mask->height() % 2 != 0) {
        return nullptr;
    }
    try {
        return std::unique_ptr<Icon>(new Icon(isIcon, std::move(color), std::move(mask), hotspot));
    } catch (...) {
        return nullptr;
    }
}

bool DrawIcon(DeviceContext& dc, std::int32_t x, std::int32_t y, const Icon& icon) noexcept {
    try {
        Bitmap& target = dc.surface();
        if (target.bitsPerPixel() != 32 && target.bitsPerPixel() != 24) return false;
        detail::SampleMap map;
        if (detail::buildSampleMap(map, dc.clipBox(), x, y, icon.width(), icon.height(), 0.0, 0.0,
                                   icon.width(), icon.height(), icon.width(), icon.height()))
            detail::drawIconMapped(target, icon, map);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace talvrin::platform
