// Vitrel: the loading interface. Each loader hands the work to the surface's loader of the same
// kind and, when that succeeds, settles the new image: mirror, mask and inversion as the
// settings say, then a new layout.
#include "image/control/vitrel.h"
#include "image/surface/image_types.h"
#include "platform/gdi/screen.h"

namespace talvrin {

bool Vitrel::keepsSource() const {
    // At design time the control keeps what it loads, so that the host can store it.
    return KeepOriginalFormat() || !host_.userMode();
}

void Vitrel::settleNewImage() {
    if (mirror_ != 0) surface_->MirrorImage((mirror_ & 1) != 0, (mirror_ & 2) != 0);
    if (maskInUse_) {
        if (surface_->Alpha()) {
            // An image with its own transparency drops the mask.
            maskInUse_ = false;
            maskSource_ = 0;
            host_.propertyChanged("MaskUsed");
        } else {
            if (maskSource_ >= 2) mask_ = cornerPixel(maskSource_);
            surface_->MakeTransparent(platform::translateColor(mask_) & 0xFFFFFFu, false);
        }
    }
    if (InversedImage()) surface_->MakeImageInverse();
    relayout();
}

// Picture, clipboard and handle loads have no source bytes of their own: when the control keeps
// sources, the image written as a bitmap file becomes them.
void Vitrel::keepAsBitmapFile() {
    if (keepsSource()) surface_->keepBitmapFileAsSource();
}

namespace {

void defaultIconRequest(std::int32_t& width, std::int32_t& height, std::int32_t& depth,
                        std::int32_t innerWidth, std::int32_t innerHeight) {
    if (width < 1) width = innerWidth;
    if (height < 1) height = innerHeight;
    if (depth < 1) depth = 32;
}

}  // namespace

bool Vitrel::LoadImage_FromArray(std::span<const std::uint8_t> inStream,
                                 std::int32_t& desiredIconWidth, std::int32_t& desiredIconHeight,
                                 std::int32_t& desiredIconBitDepth) {
    defaultIconRequest(desiredIconWidth, desiredIconHeight, desiredIconBitDepth, host_.width(),
                       host_.height());
    if (!surface_->LoadPicture_Stream(inStream, desiredIconWidth, desiredIconHeight, 0, 0,
                                      keepsSource(), desiredIconBitDepth))
        return false;
    settleNewImage();
    return true;
}

bool Vitrel::LoadImage_FromFile(std::string_view FileName, std::int32_t& desiredIconWidth,
                                std::int32_t& desiredIconHeight,
                                std::int32_t& desiredIconBitDepth) {
    defaultIconRequest(desiredIconWidth, desiredIconHeight, desiredIconBitDepth, host_.width(),
                       host_.height());
    if (!surface_->LoadPicture_File(FileName, desiredIconWidth, desiredIconHeight, keepsSource(),
                                    desiredIconBitDepth))
        return false;
    settleNewImage();
    return true;
}

bool Vitrel::LoadImage_FromStdPicture(const platform::Picture* stdPic) {
    if (!surface_->LoadPicture_StdPicture(stdPic)) return false;
    keepAsBitmapFile();
    settleNewImage();
    return true;
}

bool Vitrel::LoadImage_FromClipboard() {
    if (!surface_->LoadPicture_ClipBoard()) return false;
    keepAsBitmapFile();
    settleNewImage();
    return true;
}

bool Vitrel::LoadImage_FromHandle(const platform::GdiObjectRef& Handle) {
    if (!surface_->LoadPicture_ByHandle(Handle)) return false;
    keepAsBitmapFile();
    settleNewImage();
    return true;
}

bool Vitrel::LoadImage_FromResource(const platform::ResourceProvider* provider,
                                    const platform::ResourceId& ResSection,
                                    const platform::ResourceId& ResID,
                                    std::int32_t& desiredIconWidth, std::int32_t& desiredIconHeight,
                                    std::int32_t& desiredIconBitDepth) {
    defaultIconRequest(desiredIconWidth, desiredIconHeight, desiredIconBitDepth, host_.width(),
                       host_.height());
    if (!surface_->LoadPicture_Resource(ResID, ResSection, provider, desiredIconWidth,
                                        desiredIconHeight, 0, 0, desiredIconBitDepth))
        return false;
    settleNewImage();
    return true;
}

bool Vitrel::LoadImage_FromOrignalBytes(std::int32_t& desiredIconWidth,
                                        std::int32_t& desiredIconHeight,
                                        std::int32_t& desiredIconBitDepth) {
    defaultIconRequest(desiredIconWidth, desiredIconHeight, desiredIconBitDepth, host_.width(),
                       host_.height());
    if (!surface_->LoadPicture_FromOrignalFormat(desiredIconWidth, desiredIconHeight,
                                                 desiredIconBitDepth))
        return false;
    settleNewImage();
    return true;
}

bool Vitrel::GetImageBytes(std::vector<std::uint8_t>& imgBytes, std::int32_t& scanWidth,
                           bool asArray2D, bool asBGRformat, bool asBottomUp, bool asPreMultiplied,
                           bool asFileFormat) {
    const std::int32_t type = surface_->ImageType();
    if (type == imgCreated || type == imgNone || type == imgCheckerBoard) return false;
    if (asFileFormat) {
        if (surface_->GetOrginalFormat(imgBytes)) return true;
        if (surface_->isZlibEnabled() || surface_->isGDIplusEnabled())
            return surface_->SaveToStream_PNG(imgBytes);
        return surface_->SaveToStream(imgBytes);
    }
    scanWidth = surface_->scanWidth();
    return surface_->GetDIBbits(imgBytes, asArray2D, asBGRformat, true, true, asBottomUp, 0, 0, 0,
                                0, asPreMultiplied);
}

bool Vitrel::SetImageBytes(std::span<const std::uint8_t> imgBytes, bool isBGRformat,
                           bool isBottomUp) {
    if (surface_->ImageType() == imgNone) return false;
    if (!surface_->SetDIBbits(imgBytes, isBGRformat, true, true, isBottomUp)) return false;
    if (!rebuildCache(false, true)) buildHitRegion();
    host_.requestRepaint();
    return true;
}

void Vitrel::ClearImage() {
    if ((flags_ & kFlagCacheActive) != 0) dropCache();
    surface_->DestroyDIB();
    shadow_.reset();
    if (host_.userMode()) {
        layout_ = {};
        buildHitRegion();
        host_.requestRepaint();
        return;
    }
    // Design time: the checkerboard at the current scaled size.
    const std::int32_t w = layout_.scaledWidth > 0 ? layout_.scaledWidth : host_.width();
    const std::int32_t h = layout_.scaledHeight > 0 ? layout_.scaledHeight : host_.height();
    if (surface_->InitializeDIB(w, h))
        surface_->CreateCheckerBoard(kCheckerSize, kCheckerFirst, kCheckerSecond);
    relayout();
}

std::int32_t Vitrel::ImageType() const {
    const std::int32_t type = surface_->ImageType();
    if (type == imgCheckerBoard || type == imgCreated || type == imgNone) return 0;
    if (KeepOriginalFormat()) return type;
    if (surface_->isGDIplusEnabled() || surface_->isZlibEnabled()) return imgPNG;
    return surface_->Alpha() ? imgBmpPARGB : imgBitmap;
}

}  // namespace talvrin
