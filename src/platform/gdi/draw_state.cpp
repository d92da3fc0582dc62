#include "platform/gdi/draw_state.h"

#include <algorithm>
#include <span>

#include "platform/gdi/gdi.h"
#include "platform/gdi/screen.h"

namespace talvrin::platform {

namespace {

bool isInk(const Bitmap& bitmap, std::int32_t x, std::int32_t y) noexcept {
    const std::uint8_t* p = bitmap.rowFromTop(y) + std::size_t(x) * (bitmap.bitsPerPixel() / 8);
    return !(p[0] == 0xFF && p[1] == 0xFF && p[2] == 0xFF);
}

// One pixel of the context's surface in a solid colour, when it lies inside the clip box.
void plot(DeviceContext& dc, const Rect& clip, std::int64_t x, std::int64_t y,
          ColorRef color) noexcept {
    if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom) return;
    Bitmap& surface = dc.surface();
    std::uint8_t* p = surface.rowFromTop(static_cast<std::int32_t>(y)) +
                      std::size_t(x) * (surface.bitsPerPixel() / 8);
    p[0] = blueOf(color);
    p[1] = greenOf(color);
    p[2] = redOf(color);
    if (surface.bitsPerPixel() == 32) p[3] = 0;
}

}  // namespace

bool DrawStateBitmap(DeviceContext& dc, const Bitmap& bitmap, std::int32_t x, std::int32_t y,
                     std::int32_t cx, std::int32_t cy, bool disabled) noexcept {
    if (cx < 0 || cy < 0) return false;
    const std::int32_t width = cx == 0 ? bitmap.width() : std::min(cx, bitmap.width());
    const std::int32_t height = cy == 0 ? bitmap.height() : std::min(cy, bitmap.height());
    if (!disabled) {
        // The top rows of a bottom-up buffer start height rows below its end.
        const std::span<const std::uint8_t> bits(bitmap.bits(), bitmap.byteCount());
        const DibFormat format{bitmap.width(), bitmap.height(), bitmap.bitsPerPixel()};
        return SetDIBitsToDevice(dc, x, y, width, height, 0, bitmap.height() - height, bits,
                                 format) > 0;
    }
    const Rect clip = dc.clipBox();
    const ColorRef highlight = systemColor(kColorBtnHighlight);
    const ColorRef shadow = systemColor(kColorBtnShadow);
    for (int pass = 0; pass < 2; ++pass) {
        const std::int64_t offset = pass == 0 ? 1 : 0;
        const ColorRef color = pass == 0 ? highlight : shadow;
        for (std::int32_t row = 0; row < height; ++row)
            for (std::int32_t col = 0; col < width; ++col)
                if (isInk(bitmap, col, row))
                    plot(dc, clip, std::int64_t{x} + col + offset, std::int64_t{y} + row + offset,
                         color);
    }
    return true;
}

}  // namespace talvrin::platform
