#include "ui/theme/button_pictures.h"

#include <limits>

#include "platform/gdi/draw_state.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/icon.h"
#include "platform/gdi/screen.h"
#include "ui/theme/button_look.h"

namespace talvrin::mdXpThemeSupport {

namespace {

constexpr ColorRef kWhite = 0xFFFFFF;

bool hasHandle(const platform::Picture* picture) noexcept {
    return picture && (picture->bitmap() || picture->icon());
}

// A memory context with a fresh bitmap selected. The bitmap is declared first, so the context
// (and with it the selection) goes before it.
struct MemoryCanvas {
    std::unique_ptr<platform::Bitmap> bitmap;
    std::unique_ptr<platform::DeviceContext> dc;

    MemoryCanvas(std::int32_t width, std::int32_t height) noexcept
        : bitmap(platform::Bitmap::create(width, height, 32)),
          dc(platform::DeviceContext::createCompatible(&platform::DeviceContext::screen())) {
        if (bitmap && dc) dc->select(bitmap.get());
    }
    [[nodiscard]] bool ok() const noexcept { return bitmap && dc; }
};

}  // namespace

void pvDrawRect(platform::DeviceContext& dc, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height, ColorRef color) noexcept {
    const auto brush = platform::createSolidBrush(color);
    const Rect rect{x, y, static_cast<std::int32_t>(std::int64_t{x} + width),
                    static_cast<std::int32_t>(std::int64_t{y} + height)};
    platform::FillRect(dc, rect, brush.get());
}

void pvDrawTransparentPicture(const platform::Picture* picture, platform::DeviceContext& dc,
                              std::int32_t x, std::int32_t y, std::int32_t width,
                              std::int32_t height, ColorRef transparentColor, std::int32_t srcX,
                              std::int32_t srcY, std::int32_t srcWidth,
                              std::int32_t srcHeight) noexcept {
    if (!hasHandle(picture)) return;
    if (srcWidth == 0) srcWidth = width;
    if (srcHeight == 0) srcHeight = height;
    if (srcX < 0 || srcY < 0 || srcWidth < 1 || srcHeight < 1) return;
    // The memory bitmap holds the whole source rectangle, origin included, so that a source
    // rectangle away from the corner is still inside it.
    const std::int64_t memoryWidth = std::int64_t{srcX} + srcWidth;
    const std::int64_t memoryHeight = std::int64_t{srcY} + srcHeight;
    constexpr std::int64_t kLargest = std::numeric_limits<std::int32_t>::max();
    if (memoryWidth > kLargest || memoryHeight > kLargest) return;
    MemoryCanvas memory(static_cast<std::int32_t>(memoryWidth),
                        static_cast<std::int32_t>(memoryHeight));
    if (!memory.ok()) return;
    if (picture->type() == platform::kPictureIcon && picture->icon()) {
        pvDrawRect(*memory.dc, 0, 0, memory.bitmap->width(), memory.bitmap->height(),
                   transparentColor);
        platform::DrawIcon(*memory.dc, 0, 0, *picture->icon());
    } else if (picture->type() == platform::kPictureBitmap && picture->bitmap()) {
        platform::DrawStateBitmap(*memory.dc, *picture->bitmap(), 0, 0, memory.bitmap->width(),
                                  memory.bitmap->height(), false);
    }
    platform::TransparentBlt(dc, x, y, width, height, *memory.dc, srcX, srcY, srcWidth, srcHeight,
                             platform::translateColor(transparentColor));
}

void pvDrawDisabledPicture(const platform::Picture* picture, platform::DeviceContext& dc,
                           std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                           ColorRef maskColor) noexcept {
    if (!hasHandle(picture)) return;
    MemoryCanvas memory(width, height);
    if (!memory.ok()) return;
    pvDrawRect(*memory.dc, 0, 0, width, height, kWhite);
    pvDrawTransparentPicture(picture, *memory.dc, 0, 0, width, height, maskColor);
    memory.dc.reset();
    platform::DrawStateBitmap(dc, *memory.bitmap, x, y, width, height, true);
}

void drawButtonPicture(const platform::Picture& picture, platform::DeviceContext& dc,
                       const Rect& area, bool Enabled, bool UseMaskColor,
                       ColorRef MaskColor) noexcept {
    const std::int32_t width = platform::himetricToPixelsX(picture.Width());
    const std::int32_t height = platform::himetricToPixelsX(picture.Height());
    const Point at = centrePicture(area, width, height);
    const ColorRef mask = platform::translateColor(MaskColor);
    if (!Enabled) {
        pvDrawDisabledPicture(&picture, dc, at.x, at.y, width, height, mask);
    } else if (UseMaskColor) {
        pvDrawTransparentPicture(&picture, dc, at.x, at.y, width, height, mask);
    } else {
        // A destination flipped upwards over a source measured upwards draws it upright.
        picture.render(dc, at.x, at.y + height, width, -height, 0, 0, picture.Width(),
                       picture.Height());
    }
}

ButtonPictures ButtonPictureSet::handles() const noexcept {
    return {hasHandle(Picture.get()), hasHandle(DownPicture.get()),
            hasHandle(DisabledPicture.get())};
}

const platform::Picture* ButtonPictureSet::in(PictureSlot slot) const noexcept {
    switch (slot) {
        case PictureSlot::Picture:
            return Picture.get();
        case PictureSlot::DownPicture:
            return DownPicture.get();
        case PictureSlot::DisabledPicture:
            return DisabledPicture.get();
        case PictureSlot::None:
            break;
    }
    return nullptr;
}

}  // namespace talvrin::mdXpThemeSupport
