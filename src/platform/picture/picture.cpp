#include "platform/picture/picture.h"

#include <cstdlib>

#include "base/rounding.h"
#include "platform/gdi/sample_map.h"
#include "platform/gdi/screen.h"
#include "platform/picture/picture_loader.h"

namespace talvrin::platform {

namespace {

constexpr std::int64_t kHimetricPerInch = 2540;
constexpr std::int64_t kTwipsPerInch = 1440;

// num / den rounded to nearest, halves away from zero (den > 0).
std::int32_t roundNearest(std::int64_t num, std::int64_t den) noexcept {
    const std::int64_t q = (std::llabs(num) * 2 + den) / (den * 2);
    return static_cast<std::int32_t>(num < 0 ? -q : q);
}

// num / den rounded to nearest, halves to even (den > 0).
std::int32_t roundHalfEven(std::int64_t num, std::int64_t den) noexcept {
    return static_cast<std::int32_t>(divideRoundHalfEven(num, den));
}

std::unique_ptr<PictureLoader>& loaderSlot() noexcept {
    // The real loader is the default, so every user of pictures has it without a set-up call.
    static std::unique_ptr<PictureLoader> slot = makeDefaultPictureLoader();
    return slot;
}

}  // namespace

std::int32_t pixelsToHimetricX(std::int32_t pixels) noexcept {
    return roundNearest(std::int64_t{pixels} * kHimetricPerInch, dotsPerInchX());
}
std::int32_t pixelsToHimetricY(std::int32_t pixels) noexcept {
    return roundNearest(std::int64_t{pixels} * kHimetricPerInch, dotsPerInchY());
}
std::int32_t himetricToPixelsX(std::int32_t himetric) noexcept {
    return roundHalfEven(std::int64_t{himetric} * kTwipsPerInch,
                         kHimetricPerInch * twipsPerPixelX());
}
std::int32_t himetricToPixelsY(std::int32_t himetric) noexcept {
    return roundHalfEven(std::int64_t{himetric} * kTwipsPerInch,
                         kHimetricPerInch * twipsPerPixelY());
}

Picture::Picture(std::int32_t type, std::int32_t pixelWidth, std::int32_t pixelHeight) noexcept
    : type_(type),
      pixelWidth_(pixelWidth),
      pixelHeight_(pixelHeight),
      himetricWidth_(pixelsToHimetricX(pixelWidth)),
      himetricHeight_(pixelsToHimetricY(pixelHeight)) {}

Picture::~Picture() = default;

std::unique_ptr<Picture> Picture::fromBitmap(std::unique_ptr<Bitmap> bitmap) noexcept {
    if (!bitmap) return nullptr;
    auto p = borrowBitmap(*bitmap);
    if (p) p->adopt(bitmap);
    return p;
}

std::unique_ptr<Picture> Picture::fromIcon(std::unique_ptr<Icon> icon) noexcept {
    if (!icon) return nullptr;
    auto p = borrowIcon(*icon);
    if (p) p->adopt(icon);
    return p;
}

std::unique_ptr<Picture> Picture::borrowBitmap(const Bitmap& bitmap) noexcept {
    try {
        std::unique_ptr<Picture> p(new Picture(kPictureBitmap, bitmap.width(), bitmap.height()));
        p->bitmap_ = &bitmap;
        return p;
    } catch (...) {
        return nullptr;
    }
}

std::unique_ptr<Picture> Picture::borrowIcon(const Icon& icon) noexcept {
    try {
        std::unique_ptr<Picture> p(new Picture(kPictureIcon, icon.width(), icon.height()));
        p->icon_ = &icon;
        return p;
    } catch (...) {
        return nullptr;
    }
}

bool Picture::adopt(std::unique_ptr<Bitmap>& bitmap) noexcept {
    if (!bitmap || bitmap.get() != bitmap_ || ownedBitmap_) return false;
    ownedBitmap_ = std::move(bitmap);
    return true;
}

bool Picture::adopt(std::unique_ptr<Icon>& icon) noexcept {
    if (!icon || icon.get() != icon_ || ownedIcon_) return false;
    ownedIcon_ = std::move(icon);
    return true;
}

bool Picture::sampleMap(detail::SampleMap& map, const Rect& clip, std::int32_t x, std::int32_t y,
                        std::int32_t width, std::int32_t height, std::int32_t srcX,
                        std::int32_t srcY, std::int32_t srcWidth, std::int32_t srcHeight) const {
    // Source coordinates run upwards from the bottom-left corner in hundredths of a
    // millimetre; in pixel units they run downwards from the top-left corner.
    const double sx = static_cast<double>(pixelWidth_) / himetricWidth_;
    const double sy = static_cast<double>(pixelHeight_) / himetricHeight_;
    const double x0 = srcX * sx;
    const double xn = srcWidth * sx;
    const double y0 = (static_cast<double>(himetricHeight_) - srcY) * sy;
    const double yn = -static_cast<double>(srcHeight) * sy;
    return detail::buildSampleMap(map, clip, x, y, width, height, x0, y0, xn, yn, pixelWidth_,
                                  pixelHeight_);
}

bool Picture::drawsUprightAsCopy(std::int32_t width, std::int32_t height) const noexcept {
    try {
        if (!bitmap_ || bitmap_->bitsPerPixel() != 32) return false;
        if (width != pixelWidth_ || height != pixelHeight_ || width < 1 || height < 1) return false;
        if (himetricWidth_ <= 0 || himetricHeight_ <= 0) return false;
        detail::SampleMap map;
        if (!sampleMap(map, Rect{0, 0, width, height}, 0, 0, width, height, 0, himetricHeight_,
                       himetricWidth_, -himetricHeight_))
            return false;
        if (map.dest.left != 0 || map.dest.top != 0 || map.dest.right != width ||
            map.dest.bottom != height)
            return false;
        for (std::int32_t i = 0; i < width; ++i)
            if (map.sourceColumn[static_cast<std::size_t>(i)] != i) return false;
        for (std::int32_t j = 0; j < height; ++j)
            if (map.sourceRow[static_cast<std::size_t>(j)] != j) return false;
        return true;
    } catch (...) {
        return false;
    }
}

bool Picture::render(DeviceContext& dc, std::int32_t x, std::int32_t y, std::int32_t width,
                     std::int32_t height, std::int32_t srcX, std::int32_t srcY,
                     std::int32_t srcWidth, std::int32_t srcHeight) const noexcept {
    try {
        if (!bitmap_ && !icon_) return false;
        if (width == 0 || height == 0 || srcWidth == 0 || srcHeight == 0) return false;
        if (himetricWidth_ <= 0 || himetricHeight_ <= 0) return false;
        Bitmap& target = dc.surface();
        if (target.bitsPerPixel() != 32 && target.bitsPerPixel() != 24) return false;

        detail::SampleMap map;
        if (!sampleMap(map, dc.clipBox(), x, y, width, height, srcX, srcY, srcWidth, srcHeight))
            return true;  // nothing of it lies inside the clip box
        if (bitmap_) {
            detail::copyBitmapMapped(target, *bitmap_, map);
        } else {
            detail::drawIconMapped(target, *icon_, map);
        }
        return true;
    } catch (...) {
        return false;
    }
}

std::unique_ptr<PictureLoader> setPictureLoader(std::unique_ptr<PictureLoader> loader) noexcept {
    auto previous = std::move(loaderSlot());
    loaderSlot() = std::move(loader);
    return previous;
}

PictureLoader* pictureLoader() noexcept {
    return loaderSlot().get();
}

Decoded<std::unique_ptr<Picture>> loadPicture(std::span<const std::uint8_t> bytes) noexcept {
    PictureLoader* loader = pictureLoader();
    if (!loader) return {nullptr, {DecodeFailure::kNotRecognised, "no picture loader"}};
    if (bytes.empty()) return {nullptr, {DecodeFailure::kNotRecognised, {}}};
    try {
        return loader->load(bytes);
    } catch (...) {
        return {nullptr, {DecodeFailure::kOutOfMemory, "the picture loader threw"}};
    }
}

}  // namespace talvrin::platform
