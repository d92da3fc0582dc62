// c32bppDIB: the 32-bit premultiplied-alpha, bottom-up image surface every decoder fills and
// every renderer reads. The pixel layout and the image-type codes are in image_types.h.
//
// The class is declared once here; its member functions are implemented in one source file per
// concern (c32bpp_dib.cpp holds the surface itself, render.cpp the drawing, loading.cpp the
// loading, and so on). What decoders and effects record about the pixels they produce (alpha
// flag, image type, kept source bytes) is written only inside the image library, through
// c32bpp_dib_internal.h.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/decode_failure.h"
#include "base/encode_failure.h"
#include "image/surface/image_types.h"
#include "platform/os/system_version.h"
#include "platform/picture/resources.h"

namespace talvrin::platform {
class Bitmap;
class DropDataObject;
class DeviceContext;
class File;
class Picture;
class Region;
struct GdiObjectRef;
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
    // Height is 0, Width * Height * 4 exceeds the signed 32-bit range, or Width * Height exceeds
    // the pixel budget (decode_budget.h), so no size taken from stored or user values allocates
    // more than the budget allows.
    bool InitializeDIB(std::int32_t Width, std::int32_t Height);
    // Makes a 32-bit bitmap of rows of exactly width * 4 bytes the surface's pixels, as they
    // are (no copy), like InitializeDIB otherwise: the previous image is released and the
    // surface counts as freshly created. False, leaving `bitmap` with the caller and the
    // surface as it was, for any other bitmap or one selected into a device context.
    bool AdoptBitmap(std::unique_ptr<platform::Bitmap>& bitmap);
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

    // The image-type code (ImageTypeCode).
    [[nodiscard]] std::int32_t ImageType() const noexcept { return imageType_; }

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
    // Keeps the image written as a bitmap file (SaveToStream) as its source bytes, for images
    // that came with none of their own (pictures, handles, the clipboard). False, the kept bytes
    // unchanged, without an image or when the file cannot be made.
    bool keepBitmapFileAsSource();

    // ---- Rendering (render pipeline) ---------------------------------------------------------

    // What a draw into a host surface does to the host's alpha flag afterwards.
    enum class HostAlpha : std::uint8_t {
        kKeep,         // left as it is
        kTranslucent,  // true: the host may hold transparent pixels
        kFromImage,    // this surface's own flag
    };

    // One draw, argument by argument, with Render's defaults. Designated initialisers name what
    // a call draws: surface.Render({.dc = &dc, .destX = 4, .destY = 4, .opacity = 50}).
    struct DrawRequest {
        platform::DeviceContext* dc = nullptr;  // the target, unless host is given
        c32bppDIB* host = nullptr;              // draw into this surface's pixels instead
        std::int32_t destX = 0;                 // top-left corner, or centre with centerOnDestXY
        std::int32_t destY = 0;
        std::int32_t destWidth = 0;  // 0: the image's; negative mirrors along that axis
        std::int32_t destHeight = 0;
        std::int32_t srcX = 0;  // negative counts as 0
        std::int32_t srcY = 0;
        std::int32_t srcWidth = 0;  // 0: the image's; negative mirrors along that axis
        std::int32_t srcHeight = 0;
        std::int32_t opacity = 100;   // percent, |opacity| mod 100 with 0 meaning 100; <= 0 none
        bool setHalfTone = true;      // half-tone stretching on the system's blend path
        std::int32_t grayScale = -1;  // grayscale formula, -1 none
        float lightAdjustment = 0;    // percent, -100 ... 100; anything else is none
        float angle = 0;              // degrees; rotates unless a whole multiple of 360
        bool centerOnDestXY = false;
        HostAlpha hostAlpha = HostAlpha::kKeep;  // the host's alpha flag after the draw
    };

    // Draws the image onto request.dc, or into request.host's pixels when one is given, as the
    // request's fields say. True when something was drawn; false for bad or empty arguments, a
    // non-finite angle or lightAdjustment, a working surface over the decode budget, or a
    // failure on the way; opacity 0 or less draws nothing and answers whether there is an
    // image (render.cpp).
    bool Render(const DrawRequest& request);

    // The same draw with positional arguments in the system's order (Blend is accepted and not
    // used): Render(destinationDC, destX, destY, ...) draws Render({.dc = destinationDC, ...}).
    bool Render(platform::DeviceContext* destinationDC, std::int32_t destX = 0,
                std::int32_t destY = 0, std::int32_t destWidth = 0, std::int32_t destHeight = 0,
                std::int32_t SrcX = 0, std::int32_t SrcY = 0, std::int32_t srcWidth = 0,
                std::int32_t srcHeight = 0, std::int32_t Opacity = 100, std::int32_t Blend = 0,
                bool SetHalfTone = true, c32bppDIB* destHostDIB = nullptr,
                std::int32_t grayScale = -1, float LightAdjustment = 0, float Angle = 0,
                bool CenterOnDestXY = false);

    // ---- Engine, effects, shadow -------------------------------------------------------------

    // Each colour byte of every non-transparent pixel becomes alpha - colour; false without an
    // image (effects.cpp).
    bool MakeImageInverse();
    // Revert false: every opaque pixel of the colour TransparentColor (0x00BBGGRR) becomes fully
    // transparent. Revert true: every fully transparent pixel becomes that opaque colour and the
    // alpha flag is decided again. False without an image.
    bool MakeTransparent(std::uint32_t TransparentColor, bool Revert);
    // Mirrors the image in place along the chosen axes; false without an image or with neither.
    bool MirrorImage(bool MirrorAxisX, bool MirrorAxisY);

    // A new surface 2d pixels wider and taller (d = blurDepth limited to 0 ... 10) whose alpha
    // is the image's alpha box-blurred over (2d + 1)² pixels and whose colour is Color
    // (0x00BBGGRR) premultiplied by it; null without an image or on failure (shadow.cpp).
    [[nodiscard]] std::unique_ptr<c32bppDIB> CreateDropShadow(std::int32_t blurDepth,
                                                              std::uint32_t Color) const;
    // Makes a shadow and draws it at once onto hDC at (x, y), at its own size, with the given
    // opacity percent; the answer is that draw's.
    bool RenderDropShadow_JIT(platform::DeviceContext* hDC, std::int32_t x, std::int32_t y,
                              std::int32_t blurDepth, std::uint32_t Color, std::int32_t Opacity);

    // ---- Loading (loading.cpp) ---------------------------------------------------------------
    // Every loader answers true when the surface holds an image afterwards. Icon preferences
    // (iconCx x iconCy, 0 = no preference, at iconBitDepth bits) reach only the icon decoder;
    // negative sizes count as 0 and a depth outside 0..32 as 32. Sources shorter than 57 bytes
    // are refused before any decoder runs. With SaveFormat the decoded bytes are kept
    // (sourceBytes).

    // Loads an image file (UTF-8 path). A PNG is decoded from the open file; other formats are
    // read whole and offered to the GIF, icon and bitmap decoders in turn.
    bool LoadPicture_File(std::string_view FileName, std::int32_t iconCx = 0,
                          std::int32_t iconCy = 0, bool SaveFormat = false,
                          std::int32_t iconBitDepth = 32);
    // Loads streamLength bytes of inStream from streamStart (a length of 0: to the end). A start
    // below 0 counts as 0; a negative length, a start beyond the array, or fewer than 57 bytes
    // answers false with the surface untouched.
    bool LoadPicture_Stream(std::span<const std::uint8_t> inStream, std::int32_t iconCx = 0,
                            std::int32_t iconCy = 0, std::int64_t streamStart = 0,
                            std::int64_t streamLength = 0, bool SaveFormat = false,
                            std::int32_t iconBitDepth = 32);
    // Loads the bytes for a drawing of width x height pixels, upright once the EXIF orientation
    // `orientation` (1 ... 8) is applied: 5 to 8 swap the axes. A JPEG the own decoder reads,
    // with the imaging bridge enabled, that the drawing reduces by 2 or more on both axes is
    // decoded by the JPEG library at 1/2, 1/4 or 1/8 scale (the smallest still at least the
    // drawing's size, platform::jpegReductionFor) and resampled at once, by the bridge's
    // high-quality resampler with the stored image's pixel centres mapped exactly, to the
    // drawing's size in the stored orientation (height x width for 5 to 8); it is an opaque
    // imgBitmap, as every JPEG is. Everything else loads as LoadPicture_Stream loads the whole
    // array, at its own size, and the caller resizes it as it would have. Never keeps the bytes
    // (loading_for_size.cpp).
    bool LoadPicture_StreamForSize(std::span<const std::uint8_t> inStream, std::int32_t width,
                                   std::int32_t height, std::int32_t orientation = 1);
    // Loads a resource of the program's own (provider null) or of the given provider. A section
    // given by name is a custom byte resource, loaded as a stream (never kept); a numeric
    // section is a picture-resource kind (0 bitmap, 1 icon, 2 cursor).
    bool LoadPicture_Resource(const platform::ResourceId& ResIndex,
                              const platform::ResourceId& ResSection,
                              const platform::ResourceProvider* provider = nullptr,
                              std::int32_t iconCx = 0, std::int32_t iconCy = 0,
                              std::int64_t streamStart = 0, std::int64_t streamLength = 0,
                              std::int32_t iconBitDepth = 32);
    // Converts a picture object: icons through the icon decoder, everything else through the
    // bitmap decoder. An empty or missing picture gives false.
    bool LoadPicture_StdPicture(const platform::Picture* Picture);
    // Converts the bitmap or icon a handle refers to (the caller keeps owning it). Metafiles are
    // not drawn on this platform: false.
    bool LoadPicture_ByHandle(const platform::GdiObjectRef& Handle);
    // Loads the clipboard's picture when it offers a bitmap, device-independent bitmap or
    // metafile; the clipboard is left as it is.
    bool LoadPicture_ClipBoard();
    // Decodes the kept source bytes again, for example at another icon size. Without kept bytes
    // the answer is false and the current image stays.
    bool LoadPicture_FromOrignalFormat(std::int32_t iconCx = 0, std::int32_t iconCy = 0,
                                       std::int32_t iconBitDepth = 32);

    // Why the last load left no image (no failure after one that produced an image): the failure
    // of the decoder that claimed the data, or of the first one that recognised it, or "not
    // recognised" (without detail) when none did. Beside the loaders' boolean answers, which it
    // does not change.
    [[nodiscard]] const LoadFailure& lastLoadFailure() const noexcept { return lastLoadFailure_; }

    // ---- Regions, checkerboard and copies (regions.cpp) --------------------------------------

    // The area of the image's visible pixels (alpha not 0) as a region the caller owns, moved by
    // (xOffset, yOffset). Style 0: one rectangle round all of them; 1: per row, from the first
    // to the last visible pixel; 2: per row, one rectangle per run (the exact shape). Without
    // the alpha flag the whole image, whatever the style. Null without an image, for a style
    // outside 0 ... 2, when no pixel is visible, or when the moved region would leave the
    // 32-bit range.
    [[nodiscard]] std::unique_ptr<platform::Region> CreateRegion(std::int32_t Style,
                                                                 std::int32_t xOffset,
                                                                 std::int32_t yOffset) const;
    // Fills the image with CheckerSize-pixel squares from the top-left corner, FirstColor first
    // (0x00BBGGRR or a system colour), alternating along each row, each row starting with the
    // other colour than the row above; every pixel ends opaque, the alpha flag false and the
    // image type imgCheckerBoard. False without an image or for a CheckerSize below 1.
    bool CreateCheckerBoard(std::int32_t CheckerSize, std::uint32_t FirstColor,
                            std::uint32_t SecondColor);
    // Copies the image into cDIBclass at |newWidth| x |newHeight| (0: the image's own size), a
    // negative size mirroring along that axis. An empty cDIBclass receives a new surface with
    // this one's imaging-library settings and interpolation; an existing one gets this
    // surface's token and is re-created only when its size differs; either way it takes this
    // surface's alpha flag and image type. The same size is a byte copy; otherwise the image is
    // mirrored (at its own size, then resampled when the target's differs), resampled, or drawn
    // into the target. With CopyOriginalFormat the target keeps a copy of this surface's source
    // bytes, else none. Nothing happens without an image or for a size no surface can have;
    // a target that cannot be created stops the copy (an empty cDIBclass stays empty). A copy
    // onto this surface itself goes through a temporary.
    void CopyImageTo(std::unique_ptr<c32bppDIB>& cDIBclass, std::int32_t newWidth = 0,
                     std::int32_t newHeight = 0, bool CopyOriginalFormat = false);

    // ---- Export, import and saving (export.cpp) ----------------------------------------------
    // Layout flags of the pixel arrays: BGR or RGB byte order, 4 bytes a pixel (the fourth is
    // alpha) or 3, 3-byte rows padded to a multiple of 4 bytes or not (4-byte rows never are),
    // the bottom image row first or the top one. A two-dimensional array [row bytes, rows] holds
    // the same bytes, row after row, as the one-dimensional one: as2dArray changes nothing here.

    // Exports the rectangle (x, y, Width, Height) of the image, cut to the image (Width or Height
    // 0: to the image's edge), into outStream: rows of the chosen layout, premultiplied as stored
    // or un-premultiplied (colour * 255 / alpha truncated and held to 255; alpha 0 gives zeros).
    // False, outStream untouched, without an image, for x or y negative or beyond the image, for
    // a rectangle that the cut leaves empty, or for an export above 2^31 - 1 bytes.
    bool GetDIBbits(std::vector<std::uint8_t>& outStream, bool as2dArray, bool asBGRformat,
                    bool as32bpp, bool asWordAligned, bool asBottomUp, std::int32_t x = 0,
                    std::int32_t y = 0, std::int32_t Width = 0, std::int32_t Height = 0,
                    bool asPreMultiplied = true) const;

    // Imports pixels into the rectangle (dstX, dstY, dstWidth, dstHeight) of the image, cut to
    // the image (0: to the image's edge). inStream is read as flat bytes: rows of the clipped
    // width's row bytes in the given layout; input row k goes to image row dstY + k (from the
    // top), or to dstY + dstHeight - 1 - k when isBottomUp. The array must hold at least the
    // image's Height (not dstHeight) rows of that length. 3-byte input keeps the surface's alpha
    // bytes. Afterwards the alpha of the whole surface is classified again: straight alpha is
    // premultiplied and Alpha is set; ImageType stays. False without an image, for a negative or
    // out-of-image dstX or dstY, an empty rectangle, or a short or empty array.
    bool SetDIBbits(std::span<const std::uint8_t> inStream, bool isBGRformat, bool is32bpp,
                    bool isWordAligned, bool isBottomUp, std::int32_t dstX = 0,
                    std::int32_t dstY = 0, std::int32_t dstWidth = 0, std::int32_t dstHeight = 0);

    // The image as a bitmap file with a 54-byte header: 32-bit premultiplied pixels when Alpha
    // is true, else 24-bit rows padded to 4 bytes; bottom-up. False without an image or for a
    // file above 2^31 - 1 bytes.
    bool SaveToStream(std::vector<std::uint8_t>& outStream) const;
    // The same, saying why it failed (no image, too large, out of memory).
    bool SaveToStream(std::vector<std::uint8_t>& outStream, SaveFailure& failure) const;

    // The image as a PNG file in the smallest fitting form (cPNGwriter; the imaging-library
    // bridge, tried first where it exists, is absent here). False without an image.
    bool SaveToStream_PNG(std::vector<std::uint8_t>& outStream) const;
    // The same, saying why it failed (cPNGwriter::lastSaveFailure's reasons).
    bool SaveToStream_PNG(std::vector<std::uint8_t>& outStream, SaveFailure& failure) const;

    // A copy of the kept source bytes; true when any were kept.
    bool GetOrginalFormat(std::vector<std::uint8_t>& outStream) const;

    // The sizes of the images of a kept icon or cursor, one row (width, height, bit depth,
    // colour-count code) an image in directory order; the answer is the count. An icon-type
    // image without kept bytes gives its own row (Width, Height, 32, -1); any other image type,
    // or kept bytes that do not parse, give 0 (loading.cpp, beside the other kept-byte work).
    std::int32_t SourceIconSizes(std::vector<std::array<std::int32_t, 4>>& sizeArray) const;

    // Reads a drop's file names: when the drop offers files, the names of its raw drop
    // structure replace its own file list (so names outside the narrow code page survive).
    // True when the file-drop data could be fetched.
    static bool GetDroppedFileNames(platform::DropDataObject& OLEDragDrop_DataObject);
    // The file names on the clipboard (UTF-8); the answer is their count, 0 without files.
    static std::int32_t GetPastedFileNames(std::vector<std::string>& ListOfFiles);

  private:
    // The image library's own writers of the state below (c32bpp_dib_internal.h).
    friend struct SurfaceInternals;

    // What a decoder or an effect produced: the alpha flag, the image type, the kept source
    // bytes (replaced by a copy / by the given vector).
    void setAlpha(bool value) noexcept { alpha_ = value; }
    void setImageType(std::int32_t value) noexcept { imageType_ = value; }
    void setSourceBytes(std::span<const std::uint8_t> bytes);
    void setSourceBytes(std::vector<std::uint8_t>&& bytes) noexcept;

    // One load through the dispatcher: the bytes (a whole file's, or a range of a caller's
    // array) and what the icon decoder and the keeping of the source want.
    struct LoadRequest {
        std::span<const std::uint8_t> bytes;  // the whole array (or the whole file)
        std::int32_t streamStart = 0;
        std::int32_t streamLength = 0;
        bool isFile = false;           // the bytes are a whole file, read once by the caller
        std::u16string_view fileName;  // its name, for the decoders that take one
        std::vector<std::uint8_t>* fileBytes = nullptr;  // may be moved into the kept source
        std::int32_t iconCx = 0;
        std::int32_t iconCy = 0;
        std::int32_t iconBitDepth = 32;
        bool keepSource = false;
    };
    // The one dispatcher behind the byte-source loaders: PNG, then GIF, icon and bitmap.
    bool LoadFromSource(const LoadRequest& request);
    // The end of a picture or handle conversion: true with an image, else false with the
    // conversion's reason (a surface that could not be made).
    bool convertedPicture() noexcept {
        if (dib_) {
            lastLoadFailure_ = {};
            return true;
        }
        return lastLoadFailure_.refuse(DecodeFailure::kOutOfMemory, "no room for the surface");
    }

    // ---- Render (render.cpp) ----
    // One draw's arguments after normalisation: sizes resolved, the source rectangle clipped
    // to the image, the opacity as a percent and a byte, and the path decided once.
    struct DrawArgs {
        platform::DeviceContext* dc = nullptr;
        c32bppDIB* host = nullptr;
        std::int32_t destX = 0, destY = 0, destWidth = 0, destHeight = 0;
        std::int32_t srcX = 0, srcY = 0, srcWidth = 0, srcHeight = 0;
        std::int32_t percent = 100;
        std::uint8_t opacity = 255;
        std::int32_t grayScale = -1;
        float lightAdjustment = 0;
        bool setHalfTone = true;
        bool rotate = false;
        double degrees = 0;
        bool mirrored = false;
        bool scaled = false;
        bool useAlphaBlend = false;
    };
    // Render's draw, before the host's alpha flag is settled.
    bool drawRequested(const DrawRequest& request);
    // Resolves the arguments and chooses the path; false for bad or empty arguments.
    bool normaliseDraw(DrawArgs& d, std::int32_t Opacity, float Angle, bool CenterOnDestXY) const;
    // A plain draw through the drawing layer's AlphaBlend.
    bool renderWithAlphaBlend(const DrawArgs& d);
    // A draw through the imaging-library bridge, rotated by degrees (0: not rotated).
    bool renderWithBridge(const DrawArgs& d, double degrees) const;
    // Everything else: mirror copy, scaling, lightness and the per-pixel blend.
    bool renderWithEngine(DrawArgs& d) const;

    // ---- Engine steps of Render (render.cpp) ----
    // Writes the mirrored source rectangle into the work view (srcWidth x srcHeight), then
    // resets SrcX, SrcY, makes the destination sizes positive and applies a pending lightness.
    bool MirrorCopy(std::int32_t& SrcX, std::int32_t& SrcY, std::int32_t srcWidth,
                    std::int32_t srcHeight, std::int32_t& destWidth, std::int32_t& destHeight,
                    const PixelView& buffer, float& LightAdjustment) const;
    // Composes source pixels (the given work view, or the surface's own pixels) onto the
    // target DC or host surface, clipped on every side.
    bool BlendToTarget(platform::DeviceContext* targetDC, const PixelView* buffer,
                       std::int32_t SrcX, std::int32_t SrcY, std::int32_t destX, std::int32_t destY,
                       std::int32_t destWidth, std::int32_t destHeight, std::uint8_t opacity,
                       c32bppDIB* host, std::int32_t grayScale, float LightAdjustment) const;
    // Rotates (and scales) the source rectangle into a working square and renders that.
    bool RenderRotated(platform::DeviceContext* targetDC, double degrees, std::int32_t destX,
                       std::int32_t destY, std::int32_t destWidth, std::int32_t destHeight,
                       std::int32_t SrcX, std::int32_t SrcY, std::int32_t srcWidth,
                       std::int32_t srcHeight, std::int32_t opacityPercent, c32bppDIB* host,
                       std::int32_t grayScale, float LightAdjustment) const;

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
    LoadFailure lastLoadFailure_;
};

}  // namespace talvrin
