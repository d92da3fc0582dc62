// Drawing a graphical button's picture onto a device context: plain, with one colour
// transparent, or embossed as disabled. Colours are 0x00BBGGRR or system colour values
// (TranslateOleColor is platform::translateColor); picture sizes go from hundredths of a
// millimetre to pixels through HimetricToPixelsX (platform::himetricToPixelsX).
#pragma once

#include <cstdint>
#include <memory>

#include "base/geometry.h"
#include "platform/gdi/device_context.h"
#include "platform/picture/picture.h"
#include "ui/theme/button_look.h"

namespace talvrin::mdXpThemeSupport {

// The pictures a graphical button holds for its normal, down and disabled looks (null: none).
struct ButtonPictureSet {
    std::shared_ptr<const platform::Picture> Picture, DownPicture, DisabledPicture;

    // Which of them exist with a non-zero handle (a bitmap or an icon), for chooseButtonLook.
    [[nodiscard]] ButtonPictures handles() const noexcept;
    // The picture in a slot; null for PictureSlot::None.
    [[nodiscard]] const platform::Picture* in(PictureSlot slot) const noexcept;
};

// Fills (x, y, width, height) with a solid colour.
void pvDrawRect(platform::DeviceContext& dc, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height, ColorRef color) noexcept;

// Draws the source rectangle (srcX, srcY, srcWidth, srcHeight) of a bitmap or icon picture onto
// (x, y, width, height) of dc, stretching, with every pixel of the transparent colour left out.
// A source width or height of 0 takes the destination's. The picture is first drawn into a
// memory bitmap at its top-left corner: an icon over the transparent colour (so the icon's own
// transparent pixels are left out too), a bitmap as it is. Any other picture draws nothing;
// nothing happens without a picture, without a handle or for a size below 1.
void pvDrawTransparentPicture(const platform::Picture* picture, platform::DeviceContext& dc,
                              std::int32_t x, std::int32_t y, std::int32_t width,
                              std::int32_t height, ColorRef transparentColor, std::int32_t srcX = 0,
                              std::int32_t srcY = 0, std::int32_t srcWidth = 0,
                              std::int32_t srcHeight = 0) noexcept;

// Draws the picture embossed as disabled onto (x, y, width, height): it is drawn over white
// with the mask colour transparent, and what is not white is embossed (DrawStateBitmap).
void pvDrawDisabledPicture(const platform::Picture* picture, platform::DeviceContext& dc,
                           std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                           ColorRef maskColor) noexcept;

// A button's picture in its area: centred at its size in pixels (centrePicture), embossed when
// the button is disabled, else with the mask colour transparent when UseMaskColor is set, else
// rendered upright as it is.
void drawButtonPicture(const platform::Picture& picture, platform::DeviceContext& dc,
                       const Rect& area, bool Enabled, bool UseMaskColor,
                       ColorRef MaskColor) noexcept;

}  // namespace talvrin::mdXpThemeSupport
