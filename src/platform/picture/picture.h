// Picture objects: a bitmap or an icon with its size in hundredths of a millimetre and a render
// operation, and the process-wide picture loader that turns encoded bytes into pictures.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "base/decode_failure.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"
#include "platform/gdi/icon.h"

namespace talvrin::platform {

namespace detail {
struct SampleMap;
}

// Picture types, with the platform's codes.
inline constexpr std::int32_t kPictureNone = 0;
inline constexpr std::int32_t kPictureBitmap = 1;
inline constexpr std::int32_t kPictureMetafile = 2;
inline constexpr std::int32_t kPictureIcon = 3;
inline constexpr std::int32_t kPictureEnhMetafile = 4;

// Pixels to hundredths of a millimetre at the screen's resolution (rounded to nearest), and
// back through the screen's twips per pixel (1440 twips and 2540 hundredths an inch), rounded
// to nearest with halves to even.
[[nodiscard]] std::int32_t pixelsToHimetricX(std::int32_t pixels) noexcept;
[[nodiscard]] std::int32_t pixelsToHimetricY(std::int32_t pixels) noexcept;
[[nodiscard]] std::int32_t himetricToPixelsX(std::int32_t himetric) noexcept;
[[nodiscard]] std::int32_t himetricToPixelsY(std::int32_t himetric) noexcept;

class Picture {
  public:
    // A picture that owns the bitmap (type 1) or icon (type 3) and destroys it with itself.
    // Null for a null handle.
    [[nodiscard]] static std::unique_ptr<Picture> fromBitmap(
        std::unique_ptr<Bitmap> bitmap) noexcept;
    [[nodiscard]] static std::unique_ptr<Picture> fromIcon(std::unique_ptr<Icon> icon) noexcept;
    // A picture over a bitmap or icon the caller keeps owning and keeps alive longer than the
    // picture.
    [[nodiscard]] static std::unique_ptr<Picture> borrowBitmap(const Bitmap& bitmap) noexcept;
    [[nodiscard]] static std::unique_ptr<Picture> borrowIcon(const Icon& icon) noexcept;

    ~Picture();
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    [[nodiscard]] std::int32_t type() const noexcept { return type_; }
    // The bitmap (type 1) or icon (type 3) the picture shows; null for the other kind.
    [[nodiscard]] const Bitmap* bitmap() const noexcept { return bitmap_; }
    [[nodiscard]] const Icon* icon() const noexcept { return icon_; }
    // True when the picture destroys its bitmap or icon.
    [[nodiscard]] bool ownsHandle() const noexcept { return ownedBitmap_ || ownedIcon_; }
    // Makes a picture that borrows this very bitmap or icon its owner; false, taking nothing,
    // for any other handle. Cannot fail otherwise, so ownership never goes astray.
    bool adopt(std::unique_ptr<Bitmap>& bitmap) noexcept;
    bool adopt(std::unique_ptr<Icon>& icon) noexcept;
    // Hands an owned bitmap or icon back to the caller; the picture keeps showing it only while
    // the caller keeps it alive. Null when the picture does not own one of that kind.
    [[nodiscard]] std::unique_ptr<Bitmap> releaseBitmap() noexcept {
        return std::move(ownedBitmap_);
    }
    [[nodiscard]] std::unique_ptr<Icon> releaseIcon() noexcept { return std::move(ownedIcon_); }

    // Size in pixels and in hundredths of a millimetre.
    [[nodiscard]] std::int32_t pixelWidth() const noexcept { return pixelWidth_; }
    [[nodiscard]] std::int32_t pixelHeight() const noexcept { return pixelHeight_; }
    [[nodiscard]] std::int32_t Width() const noexcept { return himetricWidth_; }
    [[nodiscard]] std::int32_t Height() const noexcept { return himetricHeight_; }

    // Draws the source rectangle (srcX, srcY, srcWidth, srcHeight), in hundredths of a
    // millimetre measured from the picture's bottom-left corner upwards, onto the destination
    // rectangle (x, y, width, height) of dc, stretching and clipping to the clip box. So a
    // source rectangle (0, Height(), Width(), -Height()) draws the picture upright, and a
    // negative destination height flips it. Bitmaps are copied whole; icons draw as DrawIcon
    // does. False for a zero size or when dc has nothing to draw on.
    bool render(DeviceContext& dc, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height, std::int32_t srcX, std::int32_t srcY, std::int32_t srcWidth,
                std::int32_t srcHeight) const noexcept;

    // True when render(dc, 0, 0, width, height, 0, Height(), Width(), -Height()) onto a 32-bit
    // target of width x height pixels copies this 32-bit bitmap pixel for pixel (every pixel of
    // the target takes the source pixel at the same place): a caller may then take the bitmap
    // itself instead of drawing it.
    [[nodiscard]] bool drawsUprightAsCopy(std::int32_t width, std::int32_t height) const noexcept;

  private:
    Picture(std::int32_t type, std::int32_t pixelWidth, std::int32_t pixelHeight) noexcept;
    bool sampleMap(detail::SampleMap& map, const Rect& clip, std::int32_t x, std::int32_t y,
                   std::int32_t width, std::int32_t height, std::int32_t srcX, std::int32_t srcY,
                   std::int32_t srcWidth, std::int32_t srcHeight) const;

    std::int32_t type_;
    std::unique_ptr<Bitmap> ownedBitmap_;
    std::unique_ptr<Icon> ownedIcon_;
    const Bitmap* bitmap_ = nullptr;
    const Icon* icon_ = nullptr;
    std::int32_t pixelWidth_;
    std::int32_t pixelHeight_;
    std::int32_t himetricWidth_;
    std::int32_t himetricHeight_;
};

// Turns encoded image bytes into a picture. The process starts with the real one
// (DefaultPictureLoader, picture_loader.h) installed; setPictureLoader replaces or removes it.
class PictureLoader {
  public:
    virtual ~PictureLoader() = default;
    // The picture the bytes hold, or none when they hold none this loader can decode, with the
    // failure saying why. Must not throw.
    [[nodiscard]] virtual Decoded<std::unique_ptr<Picture>> load(
        std::span<const std::uint8_t> bytes) noexcept = 0;
};

// Installs the process-wide picture loader (null removes it) and gives back the previous one.
std::unique_ptr<PictureLoader> setPictureLoader(std::unique_ptr<PictureLoader> loader) noexcept;
// The installed loader, or null.
[[nodiscard]] PictureLoader* pictureLoader() noexcept;
// The picture the bytes hold through the installed loader; none without a loader or bytes
// (failure: not recognised) or a picture (failure: the loader's reason).
[[nodiscard]] Decoded<std::unique_ptr<Picture>> loadPicture(
    std::span<const std::uint8_t> bytes) noexcept;

}  // namespace talvrin::platform
