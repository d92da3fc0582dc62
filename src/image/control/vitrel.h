// Vitrel: the image control. It shows one image held in a c32bppDIB with scaling, rotation,
// mirroring, translucency, grayscale, lightness change, colour inversion, a transparent mask
// colour and a drop shadow; keeps its settings and its image in the host's stored property bag;
// lays itself out and paints on the host's requests; and loads images from every source the
// surface reads.
//
// The control is plain C++ over its host (VitrelHost): the window shell hosts it on a widget,
// tests on a fake. Its member functions are implemented in one source file per concern:
// vitrel_properties.cpp (settings and persistence), vitrel_layout.cpp (sizing, the cache, the
// shadow, the hit-test region and painting) and vitrel_loading.cpp (the loading interface).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/geometry.h"
#include "image/control/property_bag.h"
#include "image/control/vitrel_host.h"
#include "image/surface/c32bpp_dib.h"
#include "platform/gdi/region.h"
#include "platform/picture/resources.h"

namespace talvrin {

namespace platform {
class DeviceContext;
class Picture;
struct GdiObjectRef;
}  // namespace platform

class Vitrel {
  public:
    // Flag bits of the control's settings word.
    static constexpr std::int32_t kFlagStretchQuality = 0x001;
    static constexpr std::int32_t kFlagAutoSize = 0x004;
    static constexpr std::int32_t kFlagAutoRedraw = 0x008;
    static constexpr std::int32_t kFlagKeepOriginalFormat = 0x010;
    static constexpr std::int32_t kFlagCacheActive = 0x020;  // never stored
    static constexpr std::int32_t kFlagInversedImage = 0x040;
    static constexpr std::int32_t kFlagShadowEnabled = 0x080;
    static constexpr std::int32_t kFlagRotateEnabled = 0x100;

    // The design-time checkerboard shown by an empty control.
    static constexpr std::int32_t kCheckerSize = 12;
    static constexpr std::uint32_t kCheckerFirst = 0xFFFFFF;
    static constexpr std::uint32_t kCheckerSecond = 0xC0C0C0;
    // The container-position unit, used when the container's scale mode cannot be read.
    static constexpr std::int32_t kContainerPositionUnit = 9;

    explicit Vitrel(VitrelHost& host);
    ~Vitrel();
    Vitrel(const Vitrel&) = delete;
    Vitrel& operator=(const Vitrel&) = delete;

    // ---- Host events --------------------------------------------------------------------------
    // A new control with default settings.
    void InitProperties();
    // Restores settings and image from the stored bag, in the bag's read order.
    void ReadProperties(const PropertyBag& bag);
    // Stores settings and image into the bag, in the write order (other keys are kept).
    void WriteProperties(PropertyBag& bag);
    // The window changed size (also run after restoring and by relayout).
    void Resize();
    // Paints onto the control's context, within its clip box.
    void Paint(platform::DeviceContext& dc);
    // The window became visible / hidden.
    void Show();
    void Hide();

    // ---- Settings (vitrel_properties.cpp) ----------------------------------------------------
    [[nodiscard]] bool AutoRedraw() const noexcept { return (flags_ & kFlagAutoRedraw) != 0; }
    void setAutoRedraw(bool Enable);
    [[nodiscard]] bool AutoSize() const noexcept { return (flags_ & kFlagAutoSize) != 0; }
    void setAutoSize(bool Value);
    [[nodiscard]] std::int32_t ScaleMethod() const noexcept { return scaleMethod_; }
    void setScaleMethod(std::int32_t Method);
    [[nodiscard]] bool StretchQuality() const noexcept {
        return (flags_ & kFlagStretchQuality) != 0;
    }
    void setStretchQuality(bool highQuality);
    [[nodiscard]] std::int32_t Opacity() const noexcept { return opacity_; }
    void setOpacity(std::int32_t Opaqueness);
    [[nodiscard]] std::int32_t Mirror() const noexcept { return mirror_; }
    void setMirror(std::int32_t MirrorType);
    [[nodiscard]] std::int32_t Rotation() const noexcept { return angle_; }
    void setRotation(std::int32_t newAngle);
    [[nodiscard]] bool RotateEnabled() const noexcept { return (flags_ & kFlagRotateEnabled) != 0; }
    void setRotateEnabled(bool canRotate);
    // Public grayscale value: 0 none, 1 ... 8 the formulas 0 ... 7.
    [[nodiscard]] std::int32_t grayScale() const noexcept { return grayFormula_ + 1; }
    void setGrayScale(std::int32_t style);
    [[nodiscard]] float IntensityOffset() const noexcept { return lightness_; }
    void setIntensityOffset(float Adjustment);
    [[nodiscard]] bool InversedImage() const noexcept { return (flags_ & kFlagInversedImage) != 0; }
    void setInversedImage(bool Inverse);
    [[nodiscard]] std::int32_t HitTest() const noexcept { return hitTest_; }
    void setHitTest(std::int32_t Style);
    [[nodiscard]] bool KeepOriginalFormat() const noexcept {
        return (flags_ & kFlagKeepOriginalFormat) != 0;
    }
    void setKeepOriginalFormat(bool Keep);
    [[nodiscard]] std::uint32_t MaskColor() const noexcept { return maskColor_; }
    void setMaskColor(std::uint32_t Color);
    // The mask source: 0 none, 1 the mask colour, 2 ... 5 a corner pixel (top-left, top-right,
    // bottom-left, bottom-right).
    [[nodiscard]] std::int32_t MaskUsed() const noexcept { return maskSource_; }
    void setMaskUsed(std::int32_t Style);
    [[nodiscard]] bool Enabled() const;
    void setEnabled(bool Enable);
    [[nodiscard]] bool ShadowEnabled() const noexcept { return (flags_ & kFlagShadowEnabled) != 0; }
    void setShadowEnabled(bool Enable);
    [[nodiscard]] std::uint32_t ShadowColor() const noexcept { return shadowColor_; }
    void setShadowColor(std::uint32_t Color);
    [[nodiscard]] std::int32_t ShadowOffsetX() const noexcept { return shadowX_; }
    void setShadowOffsetX(std::int32_t Offset);
    [[nodiscard]] std::int32_t ShadowOffsetY() const noexcept { return shadowY_; }
    void setShadowOffsetY(std::int32_t Offset);
    [[nodiscard]] std::int32_t ShadowDepth() const noexcept { return shadowDepth_; }
    void setShadowDepth(std::int32_t Depth);
    [[nodiscard]] std::int32_t ShadowOpacity() const noexcept { return shadowOpacity_; }
    void setShadowOpacity(std::int32_t Opaqueness);
    [[nodiscard]] std::int16_t MousePointer() const;
    void setMousePointer(std::int16_t Pointer);
    [[nodiscard]] std::optional<StoredPicture> MouseIcon() const;
    void setMouseIcon(std::optional<StoredPicture> Icon);
    [[nodiscard]] std::int16_t OLEDropMode() const;
    void setOLEDropMode(std::int16_t Mode);

    // ---- Layout and painting (vitrel_layout.cpp) ---------------------------------------------
    // The size at which the image would be drawn into desiredWidth x desiredHeight (below 1: the
    // control's size) by ScaleMethod (below 0: the control's own; above 4: 4), rotated or not.
    // Leaves Width and Height alone when the control holds no image.
    void GetImageScales(std::int32_t& Width, std::int32_t& Height, std::int32_t ScaleMethod = -1,
                        std::int32_t desiredWidth = 0, std::int32_t desiredHeight = 0,
                        bool asRotatedImage = false) const;
    // Reads the container's scale mode again and asks for a repaint.
    void Refresh();
    // Sets the shadow offsets (no check, no change report); repaints when the shadow shows.
    void OffsetShadow(std::int32_t x, std::int32_t y);
    // SetOffsets true: moves the image (and the hit-test area) to (x, y), sets each non-zero
    // shadow offset, repaints. False: hands back the current offsets.
    void OffsetImage(bool SetOffsets, std::int32_t& x, std::int32_t& y, std::int32_t& ShadowX,
                     std::int32_t& ShadowY);

    // ---- Loading interface (vitrel_loading.cpp) ----------------------------------------------
    // Icon sizes below 1 become the control's inner size, a depth below 1 becomes 32; the
    // caller's variables receive these. True when the control holds the new image.
    bool LoadImage_FromArray(std::span<const std::uint8_t> inStream, std::int32_t& desiredIconWidth,
                             std::int32_t& desiredIconHeight, std::int32_t& desiredIconBitDepth);
    bool LoadImage_FromFile(std::string_view FileName, std::int32_t& desiredIconWidth,
                            std::int32_t& desiredIconHeight, std::int32_t& desiredIconBitDepth);
    bool LoadImage_FromStdPicture(const platform::Picture* stdPic);
    bool LoadImage_FromClipboard();
    bool LoadImage_FromHandle(const platform::GdiObjectRef& Handle);
    bool LoadImage_FromResource(const platform::ResourceProvider* provider,
                                const platform::ResourceId& ResSection,
                                const platform::ResourceId& ResID, std::int32_t& desiredIconWidth,
                                std::int32_t& desiredIconHeight, std::int32_t& desiredIconBitDepth);
    bool LoadImage_FromOrignalBytes(std::int32_t& desiredIconWidth, std::int32_t& desiredIconHeight,
                                    std::int32_t& desiredIconBitDepth);
    // The image as a file (asFileFormat: the kept source bytes, else PNG, else a bitmap file) or
    // as 32-bit rows (scanWidth receives the bytes a row). False for no image, an empty created
    // surface or the design-time checkerboard.
    bool GetImageBytes(std::vector<std::uint8_t>& imgBytes, std::int32_t& scanWidth, bool asArray2D,
                       bool asBGRformat, bool asBottomUp, bool asPreMultiplied, bool asFileFormat);
    // Replaces the image's pixels with 32-bit rows of its own size.
    bool SetImageBytes(std::span<const std::uint8_t> imgBytes, bool isBGRformat, bool isBottomUp);
    void ClearImage();
    // The format the control would hand out or store its image in: 0 for none or the
    // checkerboard, the surface's own type when keeping the original format, else PNG (10), or
    // a bitmap (7 with alpha, 1 without) when no encoder can run.
    [[nodiscard]] std::int32_t ImageType() const;

    // ---- State for hosts and tests -----------------------------------------------------------
    struct Layout {
        std::int32_t scaledWidth = 0;
        std::int32_t scaledHeight = 0;
        std::int32_t offsetX = 0;  // centring offset
        std::int32_t offsetY = 0;
        std::int32_t square = 0;  // rotation square
        bool actualSize = false;
    };
    [[nodiscard]] const Layout& layout() const noexcept { return layout_; }
    [[nodiscard]] std::int32_t flags() const noexcept { return flags_; }
    [[nodiscard]] std::int32_t containerScaleMode() const noexcept { return containerUnit_; }
    [[nodiscard]] const c32bppDIB& surface() const noexcept { return *surface_; }
    [[nodiscard]] const c32bppDIB* cache() const noexcept { return cache_.get(); }
    [[nodiscard]] const c32bppDIB* shadow() const noexcept { return shadow_.get(); }
    [[nodiscard]] bool maskInUse() const noexcept { return maskInUse_; }
    [[nodiscard]] std::uint32_t mask() const noexcept { return mask_; }
    [[nodiscard]] std::uint32_t customWidth() const noexcept { return customWidth_; }
    [[nodiscard]] const platform::Region* hitRegion() const noexcept { return hitRegion_.get(); }
    [[nodiscard]] const Rect& hitRect() const noexcept { return hitRect_; }

  private:
    // ---- Settings helpers ----
    void setDefaults();
    void readContainerScaleMode();
    // The redraw words: rebuild (cache, region when the cache did not, shadow), then repaint;
    // relayout (resize, and a repaint when the size did not change).
    void rebuild();
    void relayout();
    // Undoes the mask in use: its colour, fully opaque, back into every transparent pixel.
    void undoMask();
    // The colour the mask stands for on the surface now (translated, inverted when inverting).
    [[nodiscard]] std::uint32_t maskOnSurface(std::uint32_t color) const;
    [[nodiscard]] std::uint32_t cornerPixel(std::int32_t source) const;
    // The image bytes to store under "Image".
    std::vector<std::uint8_t> imageBytesToStore();
    // After a successful load: mirror, mask and inversion applied to the new image, then
    // relayout.
    void settleNewImage();
    bool keepsSource() const;
    void keepAsBitmapFile();

    // ---- Layout helpers ----
    // Rebuilds the cached drawing while it is active; true when it did and built the region
    // (rebuildRegion). The shadow is rebuilt after it either way.
    bool rebuildCache(bool recreate, bool rebuildRegion);
    // Draws the image into the cache surface (made or sized first when asked); false when there
    // is nothing to draw yet or no cache can be made.
    bool drawIntoCache(bool recreate);
    void rebuildShadow();
    void buildHitRegion();
    void dropCache();

    VitrelHost& host_;
    std::unique_ptr<c32bppDIB> surface_;
    std::unique_ptr<c32bppDIB> cache_;
    std::unique_ptr<c32bppDIB> shadow_;
    std::unique_ptr<platform::Region> hitRegion_;
    Rect hitRect_{};

    std::int32_t flags_ = kFlagStretchQuality | kFlagAutoSize;
    std::int32_t angle_ = 0;
    std::int32_t hitTest_ = 0;
    std::int32_t grayFormula_ = -1;
    std::int32_t containerUnit_ = kContainerPositionUnit;
    std::int32_t scaleMethod_ = 0;
    std::int32_t mirror_ = 0;
    std::int32_t opacity_ = 100;
    float lightness_ = 0;
    std::uint32_t maskColor_ = 0x8000000F;
    bool maskInUse_ = false;
    std::uint32_t mask_ = 0x8000000F;
    std::int32_t maskSource_ = 0;
    std::int32_t customWidth_ = 0;
    std::int32_t customHeight_ = 0;
    std::int32_t imageOffsetX_ = 0;
    std::int32_t imageOffsetY_ = 0;
    std::uint32_t shadowColor_ = 0x404040;
    std::int32_t shadowX_ = 2;
    std::int32_t shadowY_ = 2;
    std::int32_t shadowDepth_ = 2;
    std::int32_t shadowOpacity_ = 50;

    Layout layout_;
    // The shadow was made from the cache, which holds the image as drawn (rotated or not), so it
    // is painted as the cache is: unrotated, at its own size.
    bool shadowFromCache_ = false;
    // A resize requested by the control itself is in progress: Resize and Paint wait for it.
    bool resizing_ = false;
};

}  // namespace talvrin
