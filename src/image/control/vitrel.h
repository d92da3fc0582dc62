// Vitrel: the image control. It shows one image held in a c32bppDIB with scaling, rotation,
// mirroring, translucency, grayscale, lightness change, colour inversion, a transparent mask
// colour and a drop shadow; keeps its settings and its image in the host's stored property bag;
// lays itself out and paints on the host's requests; and loads images from every source the
// surface reads.
//
// The control is plain C++ over its host (VitrelHost): the window shell hosts it on a widget,
// tests on a fake. Its member functions are implemented in one source file per concern:
// vitrel_properties.cpp (settings and persistence), vitrel_layout.cpp (sizing, the cache, the
// shadow, the hit-test region and painting), vitrel_loading.cpp (the loading interface),
// vitrel_mouse.cpp (coordination with the other image controls, hit testing, the mouse, key and
// drop events, visibility) and vitrel_fade.cpp (fading).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/geometry.h"
#include "image/control/cross_comm.h"
#include "image/control/property_bag.h"
#include "image/control/vitrel_events.h"
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

// The host's answer to a hit-test query, with the desktop's codes.
enum class HitResult : std::int16_t { Outside = 0, Transparent = 1, Close = 2, Hit = 3 };

class Vitrel final : public ICrossComm {
  public:
    // The type name under which the container lists image controls.
    static constexpr const char* kTypeName = "Vitrel";
    // The enter/exit polling period; the marker in the extender's Tag while polling runs.
    static constexpr std::uint32_t kPollMs = 100;
    static constexpr const char* kTimerMarker = "Timer";
    // The shortest delay between two fade steps.
    static constexpr std::int32_t kMinFadeDelayMs = 10;

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
    // Stops both timers and leaves the coordination object, so no tick reaches a destroyed
    // control.
    ~Vitrel() override;
    Vitrel(const Vitrel&) = delete;
    Vitrel& operator=(const Vitrel&) = delete;

    // ---- Host events --------------------------------------------------------------------------
    // A new control with default settings.
    void InitProperties();
    // Restores settings and image from the stored bag, in the bag's read order.
    void ReadProperties(const PropertyBag& bag);
    // The same with an image already decoded in place of the bag's "Image" bytes, so that a
    // host holding the decoded image hands it over instead of having it decoded again. A null
    // or empty image counts as an image that did not load.
    void ReadProperties(const PropertyBag& bag, std::unique_ptr<c32bppDIB> image);
    // Stores settings and image into the bag, in the write order (other keys are kept).
    void WriteProperties(PropertyBag& bag);
    // The window changed size (also run after restoring and by relayout).
    void Resize();
    // Paints onto the control's context, within its clip box.
    void Paint(platform::DeviceContext& dc);
    // The window became visible (an enabled control registers; an unlaid control is laid out)
    // / hidden (a fade stops without its event, polling stops, an enabled control unregisters).
    void Show();
    void Hide();

    // ---- Input from the host (vitrel_mouse.cpp) -----------------------------------------------
    // The host asks whether a point of the control's rectangle (control pixels) is the
    // control's: result becomes Hit when it is and otherwise stays as the host proposed it. In a
    // running program this also produces MouseEnter and MouseExit.
    void HitTestQuery(float X, float Y, HitResult& result);
    // The host's mouse events, X and Y in control pixels; raised with X and Y in the
    // container's unit (an event whose coordinates cannot be converted is not raised).
    void onMouseDown(std::int16_t Button, std::int16_t Shift, float X, float Y);
    void onMouseMove(std::int16_t Button, std::int16_t Shift, float X, float Y);
    void onMouseUp(std::int16_t Button, std::int16_t Shift, float X, float Y);
    void onClick();
    void onDblClick();
    void onKeyDown(std::int16_t KeyCode, std::int16_t Shift);
    void onKeyUp(std::int16_t KeyCode, std::int16_t Shift);
    void onKeyPress(std::int16_t KeyAscii);
    void onOLEDragDrop(platform::DropDataObject& data, std::int32_t& Effect, std::int16_t Button,
                       std::int16_t Shift, float X, float Y);
    void onOLEDragOver(platform::DropDataObject& data, std::int32_t& Effect, std::int16_t Button,
                       std::int16_t Shift, float X, float Y, std::int16_t State);

    // Who receives the control's events (null: nobody). Not owned.
    void setEventSink(VitrelEvents* sink) noexcept { events_ = sink; }

    // ---- Coordination (vitrel_mouse.cpp) ------------------------------------------------------
    // ICrossComm.
    [[nodiscard]] std::shared_ptr<cCrossComm> CrossTalkClass() const override { return crossComm_; }
    void ReleaseMouseCapture() override;
    // True when the control is enabled and is the coordination object's captured control.
    [[nodiscard]] bool isMouseOver() const;
    // The shared session token is set (not 0), and the surface's imaging-library switch.
    [[nodiscard]] bool GDIplusInitialized() const;
    [[nodiscard]] bool GDIplusEnabled() const;
    // The control's identity: never 0, and its negation is no other control's identity. The
    // polling timer is identified by it, the fade timer by its negation.
    [[nodiscard]] std::int32_t identity() const noexcept { return identity_; }

    // ---- Fading (vitrel_fade.cpp) -------------------------------------------------------------
    // Fades Opacity to FinalOpacity (held to 0 ... 100) by |FadeStepPercent| a step, a step every
    // FadeDelayInterval ms (at least 10), the first step at once; FadeTerminated at the end.
    // Replaces a running fade (without its event); a step of 0 or the current opacity as target
    // does nothing.
    void FadeInOut(std::int32_t FinalOpacity, std::int32_t FadeStepPercent,
                   std::int32_t FadeDelayInterval);

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
    // The drawing of the current layout fits the pixel budget (decode_budget.h): the drawn size
    // (the rotation square while rotating), widened by the shadow's margin while the shadow is
    // on, and with a cache the control's size widened the same way. When it does not, stored or
    // user sizes ask for more than the budget allows: Paint draws nothing and no cache or
    // shadow surface is made.
    [[nodiscard]] bool drawingFitsBudget() const;
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
    // Low 4 bits: buttons gone down over the control; bits 4 ... 7: the button of the last
    // release.
    [[nodiscard]] std::uint16_t buttonsWord() const noexcept { return buttons_; }
    // The control's top-left corner in the container's client area, noted when the mouse enters.
    [[nodiscard]] Point containerOrigin() const noexcept { return containerOrigin_; }
    // Percent a fade step (0: no fade runs), and the fade's target and delay.
    [[nodiscard]] std::int32_t fadeStep() const noexcept { return fadeStep_; }
    [[nodiscard]] std::int32_t fadeTarget() const noexcept { return fadeTarget_; }
    [[nodiscard]] std::int32_t fadeDelay() const noexcept { return fadeDelay_; }
    [[nodiscard]] WindowHandle timerWindow() const noexcept { return timerWindow_; }

  private:
    // ---- Settings helpers ----
    void setDefaults();
    // ReadProperties, with the image decoded from the bag or, when `decoded` is given, taken.
    void readProperties(const PropertyBag& bag, std::unique_ptr<c32bppDIB>* decoded);
    // Makes the decoded image the control's surface (with the surface's token, interpolation and
    // kept source); false, the surface empty, for no image.
    bool adoptSurface(std::unique_ptr<c32bppDIB> image);
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
    // The point (control pixels) lies in the hit region, or without one in the hit rectangle.
    [[nodiscard]] bool inHitArea(std::int32_t x, std::int32_t y) const;

    // ---- Coordination helpers ----
    // The next identity of a counter: 1, 2, 3 ... (all positive, so no negation is another's).
    static std::int32_t newIdentity() noexcept;
    // Adopts the coordination object of the container's first image control, or makes one;
    // hands its session token to the surfaces; registers; in a running program notes the
    // container as the timer window.
    void attachCrossComm();
    void shareGdiToken();
    // The marker says the polling timer runs; clearing it leaves any other Tag alone.
    [[nodiscard]] bool polling() const;
    void clearMarker();
    // The polling timer stops (when armed) and the marker is cleared.
    void stopPolling();
    void pollTick();
    // Pixels to the container's unit, horizontally or vertically.
    [[nodiscard]] std::optional<float> toContainer(float pixels, bool horizontal) const;

    // ---- Fade helpers ----
    void fadeTick();
    // Stops a running fade without its event.
    void stopFade();

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

    // Coordination, mouse and fade state.
    const std::int32_t identity_;
    std::shared_ptr<cCrossComm> crossComm_;
    WindowHandle timerWindow_ = 0;
    std::function<void()> pollCallback_;
    std::function<void()> fadeCallback_;
    std::uint16_t buttons_ = 0;
    Point containerOrigin_{};
    std::int32_t fadeStep_ = 0;
    std::int32_t fadeTarget_ = 0;
    std::int32_t fadeDelay_ = kMinFadeDelayMs;
    VitrelEvents* events_ = nullptr;
};

}  // namespace talvrin
