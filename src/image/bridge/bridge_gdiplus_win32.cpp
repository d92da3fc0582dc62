// The bridge's backend in the Windows build: the desktop's imaging library, gdiplus.dll, bound
// at run time by name through its flat interface. It is the only code of the image library that
// calls the system, and it calls nothing but that library (the library comes through the
// platform's loader, the memory streams through the platform's picture layer).
//
// The device contexts of this program are its own pixel buffers, so a draw gets its graphics
// from a bitmap made over the destination's pixels (top row first through a negative stride)
// instead of from a window-system context, and keeps to the context's clip box.
#include <objbase.h>
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <type_traits>

#include "base/checked_math.h"
#include "base/decode_budget.h"
#include "image/bridge/bridge_backend.h"
#include "platform/gdi/device_context.h"
#include "platform/os/library.h"
#include "platform/picture/memory_stream_win32.h"

namespace talvrin::bridge::backend {

namespace {

// ---- The library's flat interface, as it documents it -----------------------------------------

using GpStatus = int;
constexpr GpStatus kOk = 0;
constexpr GpStatus kOutOfMemory = 3;
constexpr GpStatus kUnknownImageFormat = 13;

struct GpImage;
struct GpGraphics;
struct GpImageAttributes;

struct StartupInput {
    UINT32 version = 1;
    void* debugEventCallback = nullptr;
    BOOL suppressBackgroundThread = FALSE;
    BOOL suppressExternalCodecs = FALSE;
};

struct RectF {
    float x, y, width, height;
};

struct RectI {
    INT x, y, width, height;
};

struct BitmapData {
    UINT width;
    UINT height;
    INT stride;
    INT pixelFormat;
    void* scan0;
    UINT_PTR reserved;
};

struct ImageCodecInfo {
    CLSID clsid;
    GUID formatId;
    const WCHAR* codecName;
    const WCHAR* dllName;
    const WCHAR* formatDescription;
    const WCHAR* filenameExtension;
    const WCHAR* mimeType;
    DWORD flags;
    DWORD version;
    DWORD sigCount;
    DWORD sigSize;
    const BYTE* sigPattern;
    const BYTE* sigMask;
};

constexpr INT kPixelFormat24bppRGB = 0x21808;
constexpr INT kPixelFormat32bppPARGB = 0xE200B;
constexpr int kUnitPixel = 2;
constexpr int kInterpolationNearestNeighbor = 5;
constexpr int kInterpolationHighQualityBicubic = 7;
constexpr int kPixelOffsetModeHalf = 4;
constexpr int kCombineModeReplace = 0;
constexpr int kColorAdjustTypeBitmap = 1;
constexpr int kColorMatrixFlagsDefault = 0;
constexpr int kWrapModeTileFlipXY = 3;
constexpr int kMatrixOrderPrepend = 0;
constexpr int kMatrixOrderAppend = 1;
constexpr UINT kImageLockModeRead = 1;

struct Api {
    GpStatus(WINAPI* startup)(ULONG_PTR*, const StartupInput*, void*);
    void(WINAPI* shutdown)(ULONG_PTR);
    GpStatus(WINAPI* createBitmapFromScan0)(INT, INT, INT, INT, BYTE*, GpImage**);
    GpStatus(WINAPI* getImageGraphicsContext)(GpImage*, GpGraphics**);
    GpStatus(WINAPI* setClipRectI)(GpGraphics*, INT, INT, INT, INT, int);
    GpStatus(WINAPI* setInterpolationMode)(GpGraphics*, int);
    GpStatus(WINAPI* setPixelOffsetMode)(GpGraphics*, int);
    GpStatus(WINAPI* imageRotateFlip)(GpImage*, int);
    GpStatus(WINAPI* createImageAttributes)(GpImageAttributes**);
    GpStatus(WINAPI* setImageAttributesColorMatrix)(GpImageAttributes*, int, BOOL, const float*,
                                                    const float*, int);
    GpStatus(WINAPI* setImageAttributesWrapMode)(GpImageAttributes*, int, DWORD, BOOL);
    GpStatus(WINAPI* disposeImageAttributes)(GpImageAttributes*);
    GpStatus(WINAPI* rotateWorldTransform)(GpGraphics*, float, int);
    GpStatus(WINAPI* translateWorldTransform)(GpGraphics*, float, float, int);
    GpStatus(WINAPI* drawImageRectRectI)(GpGraphics*, GpImage*, INT, INT, INT, INT, INT, INT, INT,
                                         INT, int, const GpImageAttributes*, void*, void*);
    GpStatus(WINAPI* deleteGraphics)(GpGraphics*);
    GpStatus(WINAPI* disposeImage)(GpImage*);
    GpStatus(WINAPI* loadImageFromStream)(IStream*, GpImage**);
    GpStatus(WINAPI* getImageBounds)(GpImage*, RectF*, int*);
    GpStatus(WINAPI* bitmapLockBits)(GpImage*, const RectI*, UINT, INT, BitmapData*);
    GpStatus(WINAPI* bitmapUnlockBits)(GpImage*, BitmapData*);
    GpStatus(WINAPI* getImageEncodersSize)(UINT*, UINT*);
    GpStatus(WINAPI* getImageEncoders)(UINT, UINT, ImageCodecInfo*);
    GpStatus(WINAPI* saveImageToStream)(GpImage*, IStream*, const CLSID*, const void*);
};

// Binds every function by name; false when the library lacks one of them.
bool bind(const platform::LoadedLibrary& library, Api& api) noexcept {
    bool complete = true;
    const auto take = [&](auto& slot, const char* name) {
        void* address = library.function(name);
        complete = complete && address != nullptr;
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(address);
    };
    take(api.startup, "GdiplusStartup");
    take(api.shutdown, "GdiplusShutdown");
    take(api.createBitmapFromScan0, "GdipCreateBitmapFromScan0");
    take(api.getImageGraphicsContext, "GdipGetImageGraphicsContext");
    take(api.setClipRectI, "GdipSetClipRectI");
    take(api.setInterpolationMode, "GdipSetInterpolationMode");
    take(api.setPixelOffsetMode, "GdipSetPixelOffsetMode");
    take(api.imageRotateFlip, "GdipImageRotateFlip");
    take(api.createImageAttributes, "GdipCreateImageAttributes");
    take(api.setImageAttributesColorMatrix, "GdipSetImageAttributesColorMatrix");
    take(api.setImageAttributesWrapMode, "GdipSetImageAttributesWrapMode");
    take(api.disposeImageAttributes, "GdipDisposeImageAttributes");
    take(api.rotateWorldTransform, "GdipRotateWorldTransform");
    take(api.translateWorldTransform, "GdipTranslateWorldTransform");
    take(api.drawImageRectRectI, "GdipDrawImageRectRectI");
    take(api.deleteGraphics, "GdipDeleteGraphics");
    take(api.disposeImage, "GdipDisposeImage");
    take(api.loadImageFromStream, "GdipLoadImageFromStream");
    take(api.getImageBounds, "GdipGetImageBounds");
    take(api.bitmapLockBits, "GdipBitmapLockBits");
    take(api.bitmapUnlockBits, "GdipBitmapUnlockBits");
    take(api.getImageEncodersSize, "GdipGetImageEncodersSize");
    take(api.getImageEncoders, "GdipGetImageEncoders");
    take(api.saveImageToStream, "GdipSaveImageToStream");
    return complete;
}

// ---- Owners of the library's objects --------------------------------------------------------

class Image {
  public:
    Image(const Api& api, GpImage* image) noexcept : api_(api), image_(image) {}
    ~Image() {
        if (image_) api_.disposeImage(image_);
    }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    [[nodiscard]] GpImage* get() const noexcept { return image_; }

  private:
    const Api& api_;
    GpImage* image_;
};

class Graphics {
  public:
    Graphics(const Api& api, GpGraphics* graphics) noexcept : api_(api), graphics_(graphics) {}
    ~Graphics() {
        if (graphics_) api_.deleteGraphics(graphics_);
    }
    Graphics(const Graphics&) = delete;
    Graphics& operator=(const Graphics&) = delete;
    [[nodiscard]] GpGraphics* get() const noexcept { return graphics_; }

  private:
    const Api& api_;
    GpGraphics* graphics_;
};

class Attributes {
  public:
    explicit Attributes(const Api& api) noexcept : api_(api) {}
    ~Attributes() { reset(); }
    Attributes(const Attributes&) = delete;
    Attributes& operator=(const Attributes&) = delete;
    [[nodiscard]] GpImageAttributes* get() const noexcept { return attributes_; }
    GpImageAttributes** out() noexcept { return &attributes_; }
    void reset() noexcept {
        if (attributes_) api_.disposeImageAttributes(attributes_);
        attributes_ = nullptr;
    }

  private:
    const Api& api_;
    GpImageAttributes* attributes_ = nullptr;
};

// A bitmap of the library over a surface's bottom-up premultiplied pixels, without a copy.
// Positive stride: the library sees the rows bottom-up, the picture upside down.
GpImage* wrapSurface(const Api& api, const std::uint8_t* bits, std::int32_t width,
                     std::int32_t height) noexcept {
    GpImage* bitmap = nullptr;
    if (api.createBitmapFromScan0(width, height, width * 4, kPixelFormat32bppPARGB,
                                  const_cast<BYTE*>(bits), &bitmap) != kOk)
        return nullptr;
    return bitmap;
}

// ---- The backend ------------------------------------------------------------------------------

class GdiPlus final : public SystemImaging {
  public:
    static std::unique_ptr<GdiPlus> bindLibrary() noexcept {
        try {
            auto library = platform::LoadedLibrary::open("gdiplus.dll");
            if (!library) return nullptr;
            std::unique_ptr<GdiPlus> backend(new GdiPlus(std::move(library)));
            if (!bind(*backend->library_, backend->api_)) return nullptr;
            return backend;
        } catch (...) {
            return nullptr;
        }
    }

    std::uintptr_t startup() noexcept override {
        ULONG_PTR token = 0;
        const StartupInput input;
        if (api_.startup(&token, &input, nullptr) != kOk) return 0;
        return token;
    }

    void shutdown(std::uintptr_t token) noexcept override {
        if (token != 0) api_.shutdown(token);
    }

    bool draw(const SystemDraw& job, platform::DeviceContext& dc) noexcept override;
    bool encodePng(const std::uint8_t* bits, std::int32_t width, std::int32_t height,
                   std::vector<std::uint8_t>& out) noexcept override;
    Decoded decode(std::span<const std::uint8_t> bytes) noexcept;

  private:
    explicit GdiPlus(std::unique_ptr<platform::LoadedLibrary> library) noexcept
        : library_(std::move(library)) {}
    bool findEncoder(const wchar_t* mimeType, CLSID& clsid) const noexcept;

    std::unique_ptr<platform::LoadedLibrary> library_;
    Api api_{};
};

bool GdiPlus::draw(const SystemDraw& job, platform::DeviceContext& dc) noexcept {
    platform::Bitmap& target = dc.surface();
    const INT format = target.bitsPerPixel() == 32   ? kPixelFormat32bppPARGB
                       : target.bitsPerPixel() == 24 ? kPixelFormat24bppRGB
                                                     : 0;
    if (format == 0 || !job.bits) return false;
    const Rect clip = intersect(dc.clipBox(), Rect{0, 0, target.width(), target.height()});
    if (clip.isEmpty()) return false;

    // The destination, top row first, and its graphics kept to the clip box (set before any
    // world transform, so in the destination's own pixels).
    GpImage* destBitmap = nullptr;
    if (api_.createBitmapFromScan0(target.width(), target.height(), -target.stride(), format,
                                   target.rowFromTop(0), &destBitmap) != kOk)
        return false;
    const Image destination(api_, destBitmap);
    GpGraphics* graphicsHandle = nullptr;
    if (api_.getImageGraphicsContext(destination.get(), &graphicsHandle) != kOk) return false;
    const Graphics graphics(api_, graphicsHandle);
    if (api_.setClipRectI(graphics.get(), clip.left, clip.top, clip.width(), clip.height(),
                          kCombineModeReplace) != kOk)
        return false;

    const Image source(api_, wrapSurface(api_, job.bits, job.width, job.height));
    if (!source.get()) return false;
    api_.setInterpolationMode(graphics.get(), job.highQuality ? kInterpolationHighQualityBicubic
                                                              : kInterpolationNearestNeighbor);
    // Pixel centres at half-integers on both sides, as the bridge's arithmetic counts them: a
    // same-size draw then copies its pixels instead of sampling between them.
    api_.setPixelOffsetMode(graphics.get(), kPixelOffsetModeHalf);
    if (api_.imageRotateFlip(source.get(), job.flip.code) != kOk) return false;

    // The attributes carry the wrap mode (filter taps past the edge read the edge's own pixels
    // instead of transparency) and the bridge's colour matrix when it made one.
    Attributes attributes(api_);
    if (api_.createImageAttributes(attributes.out()) == kOk) {
        api_.setImageAttributesWrapMode(attributes.get(), kWrapModeTileFlipXY, 0, FALSE);
        if (job.attributes) {
            const float* m = &(*job.attributes)[0][0];
            if (api_.setImageAttributesColorMatrix(attributes.get(), kColorAdjustTypeBitmap, TRUE,
                                                   m, m, kColorMatrixFlagsDefault) != kOk) {
                if (job.attributesRequired) return false;
                attributes.reset();
            }
        }
    } else if (job.attributesRequired) {
        return false;
    }

    const auto W = static_cast<INT>(job.flip.width), H = static_cast<INT>(job.flip.height);
    GpStatus status;
    if (job.angle != 0) {
        // Centred on the origin with negative extents, which the extra half turn turns back:
        // the image turns about the destination's centre.
        if (api_.rotateWorldTransform(graphics.get(), job.angle + 180.0f, kMatrixOrderPrepend) ==
            kOk)
            api_.translateWorldTransform(graphics.get(), static_cast<float>(job.placement.centreX),
                                         static_cast<float>(job.placement.centreY),
                                         kMatrixOrderAppend);
        status = api_.drawImageRectRectI(
            graphics.get(), source.get(), static_cast<INT>(job.placement.originX),
            static_cast<INT>(job.placement.originY), -W, -H, job.srcX, job.srcY, job.srcWidth,
            job.srcHeight, kUnitPixel, attributes.get(), nullptr, nullptr);
    } else {
        status = api_.drawImageRectRectI(graphics.get(), source.get(), job.destX, job.destY, W, H,
                                         job.srcX, job.srcY, job.srcWidth, job.srcHeight,
                                         kUnitPixel, attributes.get(), nullptr, nullptr);
    }
    return status == kOk;
}

bool GdiPlus::findEncoder(const wchar_t* mimeType, CLSID& clsid) const noexcept {
    try {
        UINT count = 0, size = 0;
        if (api_.getImageEncodersSize(&count, &size) != kOk || count == 0 || size == 0)
            return false;
        if (size < std::uint64_t{count} * sizeof(ImageCodecInfo)) return false;
        // The records come first, followed by the strings they point at.
        std::vector<std::uint64_t> storage((size + 7) / 8);
        auto* codecs = reinterpret_cast<ImageCodecInfo*>(storage.data());
        if (api_.getImageEncoders(count, size, codecs) != kOk) return false;
        for (UINT i = 0; i < count; ++i) {
            if (codecs[i].mimeType && _wcsicmp(codecs[i].mimeType, mimeType) == 0) {
                clsid = codecs[i].clsid;
                return true;
            }
        }
        return false;
    } catch (...) {
        return false;
    }
}

bool GdiPlus::encodePng(const std::uint8_t* bits, std::int32_t width, std::int32_t height,
                        std::vector<std::uint8_t>& out) noexcept {
    const Image bitmap(api_, wrapSurface(api_, bits, width, height));
    if (!bitmap.get()) return false;
    CLSID png;
    if (!findEncoder(L"image/png", png)) return false;
    // Upright before it is written: the surface's rows are stored bottom-up.
    if (api_.imageRotateFlip(bitmap.get(), kRotateNoneFlipY) != kOk) return false;
    const platform::StreamPtr stream = platform::growableStream();
    if (!stream) return false;
    if (api_.saveImageToStream(bitmap.get(), stream.get(), &png, nullptr) != kOk) return false;
    std::vector<std::uint8_t> bytes;
    if (!platform::streamBytes(*stream, bytes)) return false;
    out = std::move(bytes);
    return true;
}

Decoded GdiPlus::decode(std::span<const std::uint8_t> bytes) noexcept {
    Decoded result;
    const auto fail = [&](DecodeFailure why) {
        result.image = {};
        result.failure = why;
        return std::move(result);
    };
    const platform::StreamPtr stream = platform::streamOverBytes(bytes);
    if (!stream) return fail(DecodeFailure::kOutOfMemory);
    GpImage* loaded = nullptr;
    const GpStatus status = api_.loadImageFromStream(stream.get(), &loaded);
    const Image image(api_, loaded);
    if (status != kOk || !image.get()) {
        return fail(status == kOutOfMemory          ? DecodeFailure::kOutOfMemory
                    : status == kUnknownImageFormat ? DecodeFailure::kUnsupported
                                                    : DecodeFailure::kBadData);
    }
    RectF bounds{};
    int unit = 0;
    if (api_.getImageBounds(image.get(), &bounds, &unit) != kOk)
        return fail(DecodeFailure::kBadData);
    const double w = std::nearbyint(bounds.width), h = std::nearbyint(bounds.height);
    if (!(w >= 1 && h >= 1)) return fail(DecodeFailure::kBadHeader);
    if (w > INT32_MAX || h > INT32_MAX ||
        !withinDecodeBudget(static_cast<std::uint64_t>(w), static_cast<std::uint64_t>(h)))
        return fail(DecodeFailure::kTooLarge);
    const auto width = static_cast<std::int32_t>(w), height = static_cast<std::int32_t>(h);
    const auto size = imageByteCount32(width, height);
    if (!size) return fail(DecodeFailure::kTooLarge);
    try {
        result.image.pixels.assign(static_cast<std::size_t>(*size), 0);
    } catch (...) {
        return fail(DecodeFailure::kOutOfMemory);
    }
    result.image.width = width;
    result.image.height = height;
    // The library converts to premultiplied 32-bit pixels straight into the buffer, top row
    // first.
    const RectI rect{0, 0, width, height};
    BitmapData data{};
    data.width = static_cast<UINT>(width);
    data.height = static_cast<UINT>(height);
    data.stride = width * 4;
    data.pixelFormat = kPixelFormat32bppPARGB;
    data.scan0 = result.image.pixels.data();
    constexpr UINT kImageLockModeUserInputBuf = 4;
    if (api_.bitmapLockBits(image.get(), &rect, kImageLockModeRead | kImageLockModeUserInputBuf,
                            kPixelFormat32bppPARGB, &data) != kOk)
        return fail(DecodeFailure::kBadData);
    api_.bitmapUnlockBits(image.get(), &data);
    result.failure = DecodeFailure::kNone;
    return result;
}

// The library, bound once for the life of the process.
GdiPlus* library() noexcept {
    static const std::unique_ptr<GdiPlus> bound = GdiPlus::bindLibrary();
    return bound.get();
}

}  // namespace

SystemImaging* systemImaging() noexcept {
    return library();
}

bool present() noexcept {
    return library() != nullptr;
}

bool drawAffine(const TopDownImage&, const Affine&, bool, double, double, const Rect&,
                platform::DeviceContext&) noexcept {
    return false;  // the system's library draws whole jobs (SystemImaging::draw)
}

Decoded decodeWebp(std::span<const std::uint8_t> bytes) noexcept {
    if (GdiPlus* gdiplus = library()) return gdiplus->decode(bytes);
    return {{}, DecodeFailure::kUnsupported};
}

Decoded decodeTiff(std::span<const std::uint8_t> bytes) noexcept {
    if (GdiPlus* gdiplus = library()) return gdiplus->decode(bytes);
    return {{}, DecodeFailure::kUnsupported};
}

}  // namespace talvrin::bridge::backend
