// Icon objects: a colour bitmap (absent for two-colour icons) plus a 1-bit transparency mask,
// the queries the image code makes of an icon handle, and drawing an icon onto a context.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/geometry.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"

namespace talvrin::platform {

// A 1-bit bitmap: rows bottom-up, each padded to a multiple of 4 bytes, pixels from the most
// significant bit of each byte onwards. Zero-filled when created.
class MaskBitmap {
  public:
    // Null for width or height below 1, a size beyond the signed 32-bit range, or a failed
    // allocation.
    [[nodiscard]] static std::unique_ptr<MaskBitmap> create(std::int32_t width,
                                                            std::int32_t height) noexcept;

    [[nodiscard]] std::int32_t width() const noexcept { return width_; }
    [[nodiscard]] std::int32_t height() const noexcept { return height_; }
    [[nodiscard]] std::int32_t stride() const noexcept { return stride_; }
    [[nodiscard]] std::size_t byteCount() const noexcept { return bytes_.size(); }
    // First byte of the bottom row.
    [[nodiscard]] std::uint8_t* bits() noexcept { return bytes_.data(); }
    [[nodiscard]] const std::uint8_t* bits() const noexcept { return bytes_.data(); }

    // The bit at column x of image row y counted from the top; false outside the bitmap.
    [[nodiscard]] bool bit(std::int32_t x, std::int32_t y) const noexcept;
    // Sets or clears that bit; nothing happens outside the bitmap.
    void setBit(std::int32_t x, std::int32_t y, bool value) noexcept;

  private:
    MaskBitmap(std::int32_t width, std::int32_t height, std::int32_t stride, std::size_t bytes);
    std::int32_t width_;
    std::int32_t height_;
    std::int32_t stride_;
    std::vector<std::uint8_t> bytes_;
};

class Icon {
  public:
    // An icon (isIcon true) or cursor owning its bitmaps. With a colour bitmap, the mask has the
    // same size: a set bit marks a transparent pixel. Without one the icon is two-colour and the
    // mask is twice as high: its top half is the AND mask, its bottom half the XOR image.
    // Null when the sizes do not fit those rules or the mask is missing.
    [[nodiscard]] static std::unique_ptr<Icon> create(bool isIcon, std::unique_ptr<Bitmap> color,
                                                      std::unique_ptr<MaskBitmap> mask,
                                                      Point hotspot = {}) noexcept;

    // The answers an icon-information query gives.
    [[nodiscard]] bool isIcon() const noexcept { return isIcon_; }
    [[nodiscard]] Point hotspot() const noexcept { return hotspot_; }
    [[nodiscard]] const Bitmap* colorBitmap() const noexcept { return color_.get(); }
    [[nodiscard]] const MaskBitmap& mask() const noexcept { return *mask_; }

    // The drawn size: the colour bitmap's size, or the mask's width and half its height.
    [[nodiscard]] std::int32_t width() const noexcept { return mask_->width(); }
    [[nodiscard]] std::int32_t height() const noexcept {
        return color_ ? color_->height() : mask_->height() / 2;
    }

  private:
    Icon(bool isIcon, std::unique_ptr<Bitmap> color, std::unique_ptr<MaskBitmap> mask,
         Point hotspot) noexcept;
    bool isIcon_;
    std::unique_ptr<Bitmap> color_;
    std::unique_ptr<MaskBitmap> mask_;
    Point hotspot_;
};

// Draws the icon with its top-left corner at (x, y), clipped to the context's clip box, the way
// the desktop draws icons: a 32-bit colour bitmap with any non-zero alpha byte is blended by its
// (straight) alpha; otherwise each pixel becomes (destination AND mask) XOR colour, a set mask bit
// standing for white. The AND/XOR form changes the blue, green and red bytes only.
// False when the context has no bitmap to draw on.
bool DrawIcon(DeviceContext& dc, std::int32_t x, std::int32_t y, const Icon& icon) noexcept;

}  // namespace talvrin::platform
