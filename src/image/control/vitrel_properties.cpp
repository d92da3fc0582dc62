// Vitrel: the settings, their rules and change reports, and persistence in the stored bag.
#include <cmath>
#include <cstdlib>

#include "image/control/vitrel.h"
#include "image/surface/image_types.h"
#include "platform/gdi/screen.h"

namespace talvrin {

namespace {

// The opacity rule: 0 stays 0; anything else becomes its absolute value modulo 100, 0 then 100.
std::int32_t opacityOf(std::int32_t value) noexcept {
    if (value == 0) return 0;
    const std::int64_t m = std::llabs(std::int64_t{value}) % 100;
    return m == 0 ? 100 : static_cast<std::int32_t>(m);
}

// An angle reduced modulo 360, keeping its sign.
std::int32_t angleOf(std::int32_t value) noexcept {
    return value % 360;
}

// The flag bits that mean something (the cache bit is never kept from outside).
constexpr std::int32_t kKnownFlags = Vitrel::kFlagStretchQuality | Vitrel::kFlagAutoSize |
                                     Vitrel::kFlagAutoRedraw | Vitrel::kFlagKeepOriginalFormat |
                                     Vitrel::kFlagInversedImage | Vitrel::kFlagShadowEnabled |
                                     Vitrel::kFlagRotateEnabled;

constexpr std::int32_t kDefaultFlags = Vitrel::kFlagStretchQuality | Vitrel::kFlagAutoSize;
constexpr std::int32_t kStoredFlagsDefault = 1;  // the "Props" default when reading and writing
constexpr std::uint32_t kDefaultMaskColor = 0x8000000F;

bool inRange(std::int32_t v, std::int32_t lo, std::int32_t hi) noexcept {
    return v >= lo && v <= hi;
}

}  // namespace

Vitrel::Vitrel(VitrelHost& host)
    : host_(host), surface_(std::make_unique<c32bppDIB>()), identity_(newIdentity()) {
    surface_->setHighQualityInterpolation(true);
}

Vitrel::~Vitrel() {
    dropCache();
    shadow_.reset();
    hitRegion_.reset();
    // A tick still pending would reach a destroyed control: both timers stop here.
    if (timerWindow_ != 0) {
        host_.killTimer(timerWindow_, identity_);
        host_.killTimer(timerWindow_, -std::intptr_t{identity_});
    }
    if (crossComm_) crossComm_->RemoveRef(identity_);
}

void Vitrel::setDefaults() {
    flags_ = kDefaultFlags;
    angle_ = 0;
    hitTest_ = 0;
    grayFormula_ = -1;
    scaleMethod_ = 0;
    mirror_ = 0;
    opacity_ = 100;
    lightness_ = 0;
    maskColor_ = kDefaultMaskColor;
    maskInUse_ = false;
    mask_ = kDefaultMaskColor;
    maskSource_ = 0;
    customWidth_ = customHeight_ = 0;
    imageOffsetX_ = imageOffsetY_ = 0;
    shadowColor_ = 0x404040;
    shadowX_ = shadowY_ = 2;
    shadowDepth_ = 2;
    shadowOpacity_ = 50;
}

void Vitrel::readContainerScaleMode() {
    containerUnit_ = host_.containerScaleMode().value_or(kContainerPositionUnit);
}

void Vitrel::InitProperties() {
    attachCrossComm();
    setDefaults();
    surface_->setHighQualityInterpolation(true);
    readContainerScaleMode();
}

// ---- Redraw words ------------------------------------------------------------------------------

void Vitrel::rebuild() {
    if (!rebuildCache(false, true)) buildHitRegion();
    host_.requestRepaint();
}

void Vitrel::relayout() {
    const std::int32_t w = host_.width(), h = host_.height();
    Resize();
    if (host_.width() == w && host_.height() == h) host_.requestRepaint();
}

// ---- Settings ----------------------------------------------------------------------------------

void Vitrel::setAutoRedraw(bool Enable) {
    if (Enable == AutoRedraw()) return;
    flags_ ^= kFlagAutoRedraw;
    if (host_.userMode()) {
        flags_ ^= kFlagCacheActive;
        if (!Enable) dropCache();
    }
    host_.propertyChanged("AutoRedraw");
}

void Vitrel::setAutoSize(bool Value) {
    if (Value == AutoSize()) return;
    flags_ ^= kFlagAutoSize;
    relayout();
    host_.propertyChanged("AutoSize");
}

void Vitrel::setScaleMethod(std::int32_t Method) {
    if (Method == scaleMethod_) return;
    scaleMethod_ = Method;
    relayout();
    host_.propertyChanged("Stretch");
}

void Vitrel::setStretchQuality(bool highQuality) {
    if (highQuality == StretchQuality()) return;
    flags_ ^= kFlagStretchQuality;
    surface_->setHighQualityInterpolation(highQuality);
    host_.requestRepaint();
    host_.propertyChanged("StretchQuality");
}

void Vitrel::setOpacity(std::int32_t Opaqueness) {
    // Always stored and repainted, even when unchanged.
    opacity_ = opacityOf(Opaqueness);
    host_.requestRepaint();
    host_.propertyChanged("Opacity");
}

void Vitrel::setMirror(std::int32_t MirrorType) {
    if (!inRange(MirrorType, 0, 3)) return;
    const std::int32_t flip = mirror_ ^ MirrorType;
    if (flip != 0) surface_->MirrorImage((flip & 1) != 0, (flip & 2) != 0);
    mirror_ = MirrorType;
    rebuild();
    host_.propertyChanged("Mirror");
}

void Vitrel::setRotation(std::int32_t newAngle) {
    const std::int32_t angle = angleOf(newAngle);
    if (angle == angle_) return;
    angle_ = angle;
    if (!RotateEnabled()) return;
    rebuild();
    host_.propertyChanged("Rotation");
}

void Vitrel::setRotateEnabled(bool canRotate) {
    if (canRotate == RotateEnabled()) return;
    flags_ ^= kFlagRotateEnabled;
    relayout();
    host_.propertyChanged("RotateEnabled");
}

void Vitrel::setGrayScale(std::int32_t style) {
    if (!inRange(style, 0, 8) || style - 1 == grayFormula_) return;
    grayFormula_ = style - 1;
    host_.requestRepaint();
    host_.propertyChanged("GrayScale");
}

void Vitrel::setIntensityOffset(float Adjustment) {
    // NaN fails both comparisons and is ignored like any other value out of range.
    if (!(Adjustment >= -100.0f && Adjustment <= 100.0f) || Adjustment == lightness_) return;
    lightness_ = Adjustment;
    host_.requestRepaint();
    host_.propertyChanged("Intensity");
}

void Vitrel::setInversedImage(bool Inverse) {
    if (Inverse == InversedImage()) return;
    flags_ ^= kFlagInversedImage;
    surface_->MakeImageInverse();
    rebuild();
    host_.propertyChanged("InversedImage");
}

void Vitrel::setHitTest(std::int32_t Style) {
    if (!inRange(Style, 0, 3) || Style == hitTest_) return;
    hitTest_ = Style;
    buildHitRegion();
    host_.propertyChanged("HitTest");
}

void Vitrel::setKeepOriginalFormat(bool Keep) {
    if (Keep == KeepOriginalFormat()) return;
    flags_ ^= kFlagKeepOriginalFormat;
    host_.propertyChanged("KeepOriginalFormat");
}

std::uint32_t Vitrel::maskOnSurface(std::uint32_t color) const {
    const std::uint32_t rgb = platform::translateColor(color) & 0xFFFFFFu;
    return InversedImage() ? rgb ^ 0xFFFFFFu : rgb;
}

void Vitrel::setMaskColor(std::uint32_t Color) {
    maskColor_ = Color;
    if (maskInUse_ && maskSource_ == 1) {
        undoMask();
        surface_->MakeTransparent(maskOnSurface(Color), false);
        mask_ = Color;
        rebuild();
    }
    host_.propertyChanged("MaskColor");
}

std::uint32_t Vitrel::cornerPixel(std::int32_t source) const {
    const std::int32_t right = surface_->Width() - 1, bottom = surface_->Height() - 1;
    const std::int32_t x = (source == 3 || source == 5) ? right : 0;
    const std::int32_t y = (source == 4 || source == 5) ? bottom : 0;
    std::int32_t alpha = 0;
    return static_cast<std::uint32_t>(surface_->GetPixel(x, y, alpha, false)) & 0xFFFFFFu;
}

void Vitrel::undoMask() {
    if (!maskInUse_ || !surface_->BitsPointer()) return;
    std::vector<std::uint8_t> pixels;
    if (!surface_->GetDIBbits(pixels, false, true, true, false, true)) return;
    const std::uint32_t c = maskOnSurface(mask_);
    for (std::size_t i = 0; i + 4 <= pixels.size(); i += 4) {
        if (pixels[i + kAlphaOffset] != 0) continue;
        pixels[i + kBlueOffset] = blueOf(c);
        pixels[i + kGreenOffset] = greenOf(c);
        pixels[i + kRedOffset] = redOf(c);
        pixels[i + kAlphaOffset] = 255;
    }
    surface_->SetDIBbits(pixels, true, true, false, true);
}

void Vitrel::setMaskUsed(std::int32_t Style) {
    if (!inRange(Style, 0, 5)) return;
    if (surface_->ImageType() == imgCheckerBoard) return;
    if (surface_->Alpha() && !maskInUse_) return;
    undoMask();
    maskInUse_ = Style != 0;
    if (Style == 1) {
        mask_ = maskColor_;
        surface_->MakeTransparent(maskOnSurface(mask_), false);
    } else if (Style >= 2) {
        // The mask is kept in the image's un-inverted colours.
        const std::uint32_t pixel = cornerPixel(Style);
        mask_ = InversedImage() ? pixel ^ 0xFFFFFFu : pixel;
        surface_->MakeTransparent(pixel, false);
    }
    rebuild();
    maskSource_ = Style;
    host_.propertyChanged("MaskUsed");
}

void Vitrel::setShadowEnabled(bool Enable) {
    if (Enable == ShadowEnabled()) return;
    flags_ ^= kFlagShadowEnabled;
    rebuildShadow();
    host_.requestRepaint();
    host_.propertyChanged("ShadowEnabled");
}

void Vitrel::setShadowColor(std::uint32_t Color) {
    if (Color == shadowColor_) return;
    shadowColor_ = Color;
    rebuildShadow();
    host_.requestRepaint();
    host_.propertyChanged("ShadowColor");
}

void Vitrel::setShadowOffsetX(std::int32_t Offset) {
    if (Offset == shadowX_) return;
    shadowX_ = Offset;
    if (ShadowEnabled()) host_.requestRepaint();
    host_.propertyChanged("ShadowOffsetX");
}

void Vitrel::setShadowOffsetY(std::int32_t Offset) {
    if (Offset == shadowY_) return;
    shadowY_ = Offset;
    if (ShadowEnabled()) host_.requestRepaint();
    host_.propertyChanged("ShadowOffsetY");
}

void Vitrel::setShadowDepth(std::int32_t Depth) {
    if (!inRange(Depth, 0, 10) || Depth == shadowDepth_) return;
    shadowDepth_ = Depth;
    rebuildShadow();
    host_.requestRepaint();
    host_.propertyChanged("ShadowDepth");
}

void Vitrel::setShadowOpacity(std::int32_t Opaqueness) {
    if (!inRange(Opaqueness, 0, 100) || Opaqueness == shadowOpacity_) return;
    shadowOpacity_ = Opaqueness;
    if (ShadowEnabled()) host_.requestRepaint();
    host_.propertyChanged("ShadowOpacity");
}

std::int16_t Vitrel::MousePointer() const {
    return host_.mousePointer();
}
void Vitrel::setMousePointer(std::int16_t Pointer) {
    host_.setMousePointer(Pointer);  // a refusal is the host's business
    host_.propertyChanged("MousePointer");
}
std::optional<StoredPicture> Vitrel::MouseIcon() const {
    return host_.mouseIcon();
}
void Vitrel::setMouseIcon(std::optional<StoredPicture> Icon) {
    host_.setMouseIcon(std::move(Icon));
    host_.propertyChanged("MouseIcon");
}
std::int16_t Vitrel::OLEDropMode() const {
    return host_.oleDropMode();
}
void Vitrel::setOLEDropMode(std::int16_t Mode) {
    host_.setOleDropMode(Mode);
    host_.propertyChanged("OLEDropMode");
}

// ---- Persistence
// ---------------------------------------------------------------------------------

std::vector<std::uint8_t> Vitrel::imageBytesToStore() {
    std::vector<std::uint8_t> bytes;
    const std::int32_t type = surface_->ImageType();
    if (!surface_->BitsPointer() || type == imgCheckerBoard || type == imgNone) return bytes;
    const bool bitmapType = type == imgBitmap || type == imgBmpARGB || type == imgBmpPARGB;
    // An image without kept source bytes would otherwise store nothing and vanish on restore:
    // it is stored as PNG, as bitmap types are.
    if (!bitmapType && surface_->GetOrginalFormat(bytes)) return bytes;
    bytes.clear();
    if (!surface_->isZlibEnabled() && !surface_->isGDIplusEnabled()) return bytes;
    // The image as it was loaded: mirror, mask and inversion undone for the encoding ...
    if (mirror_ != 0) surface_->MirrorImage((mirror_ & 1) != 0, (mirror_ & 2) != 0);
    const bool masked = maskInUse_;
    if (masked) undoMask();
    if (InversedImage()) surface_->MakeImageInverse();
    if (!surface_->SaveToStream_PNG(bytes)) bytes.clear();
    // ... and applied again at once, so the live image keeps matching its settings.
    if (InversedImage()) surface_->MakeImageInverse();
    if (masked) surface_->MakeTransparent(maskOnSurface(mask_), false);
    if (mirror_ != 0) surface_->MirrorImage((mirror_ & 1) != 0, (mirror_ & 2) != 0);
    return bytes;
}

void Vitrel::WriteProperties(PropertyBag& bag) {
    bag.writeBytes("Image", imageBytesToStore());
    bag.writeInt32("Scaler", scaleMethod_, 0);
    bag.writeInt32("Opacity", opacity_, 100);
    bag.writeInt32("Mirror", mirror_, 0);
    bag.writeInt32("Angle", angle_, 0);
    bag.writeBool("Enabled", host_.enabled(), true);
    bag.writeInt16("MPointer", host_.mousePointer(), 0);
    bag.writeInt16("OLEdrop", host_.oleDropMode(), 0);
    bag.writePicture("MIcon", host_.mouseIcon());
    bag.writeInt32("GrayScale", grayFormula_, -1);
    bag.writeInt32("HitTest", hitTest_, 0);
    bag.writeInt32("Props", flags_ & ~kFlagCacheActive, kStoredFlagsDefault);
    bag.writeBool("MaskUsed", maskInUse_, false);
    bag.writeInt32("MaskColor", static_cast<std::int32_t>(maskColor_),
                   static_cast<std::int32_t>(kDefaultMaskColor));
    bag.writeInt32("MaskSource", maskSource_, 0);
    if (maskInUse_) {
        bag.writeInt32("Mask", static_cast<std::int32_t>(mask_),
                       static_cast<std::int32_t>(kDefaultMaskColor));
    } else {
        bag.remove("Mask");
    }
    bag.writeInt32("ShadowColor", static_cast<std::int32_t>(shadowColor_), 0x404040);
    bag.writeInt32("ShadowDepth", shadowDepth_, 2);
    bag.writeInt32("ShadowX", shadowX_, 2);
    bag.writeInt32("ShadowY", shadowY_, 2);
    bag.writeInt32("ShadowOpacity", shadowOpacity_, 50);
    bag.writeFloat("Intensity", lightness_, 0);
    if (scaleMethod_ == 4) {
        bag.writeInt32("ScaleCx", customWidth_, 0);
        bag.writeInt32("ScaleCy", customHeight_, 0);
    } else {
        bag.remove("ScaleCx");
        bag.remove("ScaleCy");
    }
}

void Vitrel::ReadProperties(const PropertyBag& bag) {
    readProperties(bag, nullptr);
}

void Vitrel::ReadProperties(const PropertyBag& bag, std::unique_ptr<c32bppDIB> image) {
    readProperties(bag, &image);
}

bool Vitrel::adoptSurface(std::unique_ptr<c32bppDIB> image) {
    if (!image || !image->BitsPointer()) {
        surface_->DestroyDIB();
        return false;
    }
    image->setGdiToken(surface_->gdiToken());
    image->setHighQualityInterpolation(surface_->HighQualityInterpolation());
    if (keepsSource() && image->sourceBytes().empty()) image->keepBitmapFileAsSource();
    surface_ = std::move(image);
    return true;
}

void Vitrel::readProperties(const PropertyBag& bag, std::unique_ptr<c32bppDIB>* decoded) {
    attachCrossComm();
    setDefaults();
    // Every value goes through the rule its setter applies: what a setter would ignore
    // restores the default.
    const std::vector<std::uint8_t> image =
        decoded ? std::vector<std::uint8_t>() : bag.readBytes("Image");
    scaleMethod_ = bag.readInt32("Scaler", 0);
    opacity_ = opacityOf(bag.readInt32("Opacity", 100));
    const std::int32_t mirror = bag.readInt32("Mirror", 0);
    mirror_ = inRange(mirror, 0, 3) ? mirror : 0;
    angle_ = angleOf(bag.readInt32("Angle", 0));
    const std::int32_t gray = bag.readInt32("GrayScale", -1);
    grayFormula_ = inRange(gray, -1, 7) ? gray : -1;
    const std::int32_t hit = bag.readInt32("HitTest", 0);
    hitTest_ = inRange(hit, 0, 3) ? hit : 0;
    flags_ = bag.readInt32("Props", kStoredFlagsDefault) & kKnownFlags;
    maskInUse_ = bag.readBool("MaskUsed", false);
    maskColor_ = static_cast<std::uint32_t>(
        bag.readInt32("MaskColor", static_cast<std::int32_t>(kDefaultMaskColor)));
    const std::int32_t source = bag.readInt32("MaskSource", 0);
    maskSource_ = inRange(source, 0, 5) ? source : 0;
    if (maskInUse_)
        mask_ = static_cast<std::uint32_t>(
            bag.readInt32("Mask", static_cast<std::int32_t>(kDefaultMaskColor)));
    if (maskInUse_ && maskSource_ == 0) maskInUse_ = false;  // a mask without a source
    host_.setEnabled(bag.readBool("Enabled", true));
    host_.setMouseIcon(bag.readPicture("MIcon"));
    host_.setMousePointer(bag.readInt16("MPointer", 0));
    host_.setOleDropMode(bag.readInt16("OLEdrop", 0));
    if (scaleMethod_ == 4) {
        customWidth_ = std::max(bag.readInt32("ScaleCx", 0), 0);
        customHeight_ = std::max(bag.readInt32("ScaleCy", 0), 0);
    }
    shadowColor_ = static_cast<std::uint32_t>(bag.readInt32("ShadowColor", 0x404040));
    const std::int32_t depth = bag.readInt32("ShadowDepth", 2);
    shadowDepth_ = inRange(depth, 0, 10) ? depth : 2;
    shadowX_ = bag.readInt32("ShadowX", 2);
    shadowY_ = bag.readInt32("ShadowY", 2);
    const std::int32_t shadowOpacity = bag.readInt32("ShadowOpacity", 50);
    shadowOpacity_ = inRange(shadowOpacity, 0, 100) ? shadowOpacity : 50;
    const float light = bag.readFloat("Intensity", 0);
    lightness_ = light >= -100.0f && light <= 100.0f ? light : 0.0f;

    readContainerScaleMode();
    surface_->setHighQualityInterpolation(StretchQuality());
    const bool loaded = decoded ? adoptSurface(std::move(*decoded))
                                : surface_->LoadPicture_Stream(image, host_.width(), host_.height(),
                                                               0, 0, keepsSource(), 32);
    if (!loaded) {
        if (scaleMethod_ == 4) scaleMethod_ = 0;
        flags_ &= kFlagStretchQuality | kFlagKeepOriginalFormat;
        angle_ = 0;
        opacity_ = 100;
        mirror_ = 0;
        customWidth_ = customHeight_ = 0;
    } else {
        if (mirror_ != 0) surface_->MirrorImage((mirror_ & 1) != 0, (mirror_ & 2) != 0);
        // The mask is kept in the image's own colours, and the image is not inverted yet.
        if (maskInUse_)
            surface_->MakeTransparent(platform::translateColor(mask_) & 0xFFFFFFu, false);
        if (InversedImage()) surface_->MakeImageInverse();
        if (AutoRedraw() && host_.userMode()) {
            flags_ |= kFlagCacheActive;
            if (!rebuildCache(true, true)) buildHitRegion();
        }
        if (ShadowEnabled()) rebuildShadow();
    }
    Resize();
}

}  // namespace talvrin
