// c32bppDIB: the 32-bit premultiplied-alpha, bottom-up image surface every decoder fills and
// every renderer reads. The pixel layout and the image-type codes are in image_types.h.
//
// The class is declared once here; its member functions are implemented in one source file per
// concern (c32bpp_dib.cpp holds the surface itself). Later concerns add their own sections.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "image/surface/image_types.h"
#include "platform/system_version.h"

namespace talvrin::platform {
class Bitmap;
class DeviceContext;
}  // namespace talvrin::platform

namespace talvrin {

// The capability bits (kCap* in image_types.h) a surface takes on a system of the given version.
[[nodiscard]] std::uint32_t surfaceCapabilityFlags(const platform::SystemVersion& version) noexcept;

class c32bppDIB {
  public:
    // ---- Construction ------------------------------------------------------------------------
    // Detects the drawing facilities of the running system (capability bits) and, when the
    // imaging library is available, turns on high-quality interpolation.
    c32bppDIB();
    // The same for a system of the given version (what the running system reports is what the
    // default constructor passes).
    explicit c32bppDIB(const platform::SystemVersion& version);
    // Releases the image and the memory device context (DestroyDIB).
    ~c32bppDIB();
    c32bppDIB(const c32bppDIB&) = delete;
    c32bppDIB& operator=(const c32bppDIB&) = delete;
    c32bppDIB(c32bppDIB&&) = delete;
    c32bppDIB& operator=(c32bppDIB&&) = delete;

    // ---- The surface (c32bpp_dib.cpp) --------------------------------------------------------

    // Creates a blank, fully transparent surface. A negative Height is taken as its absolute
    // value (the surface is always bottom-up). Fails, leaving the surface empty, when Width < 1,
    // Height is 0, or Width * Height * 4 exceeds the signed 32-bit range.
    bool InitializeDIB(std::int32_t Width, std::int32_t Height);
    // Releases the image, its kept source bytes and the memory device context.
    void DestroyDIB();
    // Clears every byte of an existing image to 0 (fully transparent); no-op without an image.
    void EraseDIB();
    // bLoad true: selects the image into the surface's memory device context (once) and returns
    // that context; nullptr without an image. bLoad false: restores the previously selected
    // object, deletes the context unless ManageOwnDC is set, and returns nullptr.
    platform::DeviceContext* LoadDIBinDC(bool bLoad);

    // Keep the memory device context alive between uses.
    [[nodiscard]] bool ManageOwnDC() const noexcept { return manageOwnDC_; }
    void setManageOwnDC(bool bManage);

    // Colour at image column x, row y (row 0 at the top) as 0x00BBGGRR; AlphaValue receives the
    // pixel's alpha. Outside the image the result is -1 and AlphaValue 0. Unless asPreMultiplied
    // is set, translucent colours are un-premultiplied (colour * 255 / alpha, truncated, each
    // channel clamped to 255).
    [[nodiscard]] std::int32_t GetPixel(std::int32_t x, std::int32_t y, std::int32_t& AlphaValue,
                                        bool asPreMultiplied) const noexcept;

    // Size in pixels; 0 when there is no image.
    [[nodiscard]] std::int32_t Width() const noexcept { return width_; }
    [[nodiscard]] std::int32_t Height() const noexcept { return height_; }
    // Bytes in one row: Width * 4.
    [[nodiscard]] std::int32_t scanWidth() const noexcept { return width_ * kBytesPerPixel; }
    // First byte of the bottom-up pixel buffer; nullptr when there is no image. The address is
    // fixed until the surface is destroyed or recreated.
    [[nodiscard]] std::uint8_t* BitsPointer() const noexcept { return bits_; }
    // The bitmap object holding the pixels; nullptr when there is no image.
    [[nodiscard]] platform::Bitmap* Handle() const noexcept { return dib_.get(); }

    // The alpha flag: true when some pixels may be transparent or translucent.
    [[nodiscard]] bool Alpha() const noexcept { return alpha_; }
    // Image subsystem only: decoders and effects record what they produced.
    void setAlpha(bool value) noexcept { alpha_ = value; }

    // The image-type code (ImageTypeCode).
    [[nodiscard]] std::int32_t ImageType() const noexcept { return imageType_; }
    // Image subsystem only: decoders record what they decoded.
    void setImageType(std::int32_t value) noexcept { imageType_ = value; }

    // Render with bilinear sampling when scaling.
    [[nodiscard]] bool HighQualityInterpolation() const noexcept { return highQuality_; }
    void setHighQualityInterpolation(bool value) noexcept { highQuality_ = value; }

    // Simple draws may go to the system's alpha blend. Setting true takes effect only where that
    // blend is usable; setting false always clears it.
    [[nodiscard]] bool isAlphaBlendFriendly() const noexcept {
        return (capabilityFlags_ & kCapAlphaBlendFriendly) != 0;
    }
    void setAlphaBlendFriendly(bool Enabled) noexcept;

    // The imaging library is present and may be used. Setting true asks the library's
    // availability test unless this system must not try it.
    [[nodiscard]] bool isGDIplusEnabled() const noexcept {
        return (capabilityFlags_ & kCapGdiplusEnabled) != 0;
    }
    void setGDIplusEnabled(bool Enabled);

    // The compression library can be used.
    [[nodiscard]] bool isZlibEnabled() const noexcept;

    // Imaging-library session token handed in by the owner (0 = none).
    [[nodiscard]] std::uint32_t gdiToken() const noexcept { return gdiToken_; }
    void setGdiToken(std::uint32_t Token) noexcept { gdiToken_ = Token; }

    // The capability bit set decided at construction (kCap* in image_types.h).
    [[nodiscard]] std::uint32_t capabilityFlags() const noexcept { return capabilityFlags_; }

    // Undecoded bytes of the source the image came from, kept on request; empty otherwise.
    [[nodiscard]] const std::vector<std::uint8_t>& sourceBytes() const noexcept {
        return sourceBytes_;
    }
    // Image subsystem only: replaces the kept bytes by a copy / by the given vector.
    void setSourceBytes(std::span<const std::uint8_t> bytes);
    void setSourceBytes(std::vector<std::uint8_t>&& bytes) noexcept;

    // ---- Rendering (render pipeline) ---------------------------------------------------------

    // ---- Engine, effects, shadow -------------------------------------------------------------

    // ---- Loading -----------------------------------------------------------------------------

    // ---- Regions, checkerboard and copies ----------------------------------------------------

    // ---- Export, import and saving -----------------------------------------------------------

  private:
    // Selects the saved object back into the memory DC when the image is selected there.
    void unselectDib() noexcept;
    // Creates the memory DC compatible with the screen when there is none; false on failure.
    bool ensureMemoryDC();

    bool highQuality_ = false;
    std::unique_ptr<platform::Bitmap> dib_;
    std::uint8_t* bits_ = nullptr;
    std::int32_t height_ = 0;
    std::int32_t width_ = 0;
    std::unique_ptr<platform::DeviceContext> memDC_;
    // What the memory DC held before the image was selected in; null while it is not selected.
    platform::Bitmap* savedObject_ = nullptr;
    std::uint32_t capabilityFlags_ = 0;
    std::int32_t imageType_ = imgCreated;
    bool manageOwnDC_ = false;
    bool alpha_ = false;
    std::uint32_t gdiToken_ = 0;
    std::vector<std::uint8_t> sourceBytes_;
};

}  // namespace talvrin
