// The system's picture loader on Windows: OleLoadPicture over an in-memory stream, for JPEG and
// GIF. The picture it makes is read back through its bitmap (GetObject, GetDIBits) into a
// 32-bit bitmap of this layer, opaque, and released; the rest of the program sees the same
// picture objects as on every platform.
#include <ocidl.h>
#include <olectl.h>
#include <windows.h>

#include "base/decode_budget.h"
#include "platform/picture/gif_decoder.h"
#include "platform/picture/memory_stream_win32.h"
#include "platform/picture/picture_loader.h"

namespace talvrin::platform {

namespace {

struct PictureRelease {
    void operator()(IPicture* picture) const noexcept { picture->Release(); }
};

// The bitmap of a loaded bitmap picture as 32-bit pixels, alpha 255.
Decoded<std::unique_ptr<Bitmap>> bitmapOf(IPicture& picture, std::uint64_t maxPixels) noexcept {
    SHORT type = PICTYPE_UNINITIALIZED;
    OLE_HANDLE handle = 0;
    if (FAILED(picture.get_Type(&type)) || type != PICTYPE_BITMAP ||
        FAILED(picture.get_Handle(&handle)) || handle == 0)
        return {nullptr, {DecodeFailure::kUnsupported, "the system's picture is no bitmap"}};
    const auto source = reinterpret_cast<HBITMAP>(static_cast<std::uintptr_t>(handle));
    BITMAP info{};
    if (GetObjectW(source, sizeof info, &info) != sizeof info || info.bmWidth < 1 ||
        info.bmHeight == 0)
        return {nullptr, {DecodeFailure::kBadData, "the system's bitmap has no size"}};
    const std::int32_t width = info.bmWidth;
    const std::int32_t height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
    const auto w = static_cast<std::uint64_t>(width), h = static_cast<std::uint64_t>(height);
    if (!withinDecodeBudget(w, h) || (w != 0 && h > maxPixels / w))
        return {nullptr, {DecodeFailure::kTooLarge, "beyond the pixel limit"}};
    auto bitmap = Bitmap::create(width, height, 32);
    if (!bitmap) {
        if (bitmapSizeFits(width, height, 32))
            return {nullptr, {DecodeFailure::kOutOfMemory, "no room for the bitmap"}};
        return {nullptr, {DecodeFailure::kTooLarge, "beyond a 32-bit bitmap"}};
    }
    // Bottom-up rows of width * 4 bytes: exactly this layer's bitmap layout.
    BITMAPINFO request{};
    request.bmiHeader.biSize = sizeof request.bmiHeader;
    request.bmiHeader.biWidth = width;
    request.bmiHeader.biHeight = height;
    request.bmiHeader.biPlanes = 1;
    request.bmiHeader.biBitCount = 32;
    request.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, source, 0, static_cast<UINT>(height), bitmap->bits(),
                               &request, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != height)
        return {nullptr, {DecodeFailure::kBadData, "the system's bitmap could not be read"}};
    std::uint8_t* bits = bitmap->bits();
    for (std::size_t i = 3; i < bitmap->byteCount(); i += 4)
        bits[i] = 255;
    return {std::move(bitmap), {}};
}

Decoded<std::unique_ptr<Picture>> oleLoad(std::span<const std::uint8_t> bytes,
                                          std::uint64_t maxPixels) noexcept {
    const StreamPtr stream = streamOverBytes(bytes);
    if (!stream) return {nullptr, {DecodeFailure::kOutOfMemory, "no room for the stream"}};
    IPicture* loaded = nullptr;
    // Size 0: the whole stream; not in run mode.
    const HRESULT result =
        OleLoadPicture(stream.get(), 0, FALSE, IID_IPicture, reinterpret_cast<void**>(&loaded));
    const std::unique_ptr<IPicture, PictureRelease> picture(loaded);
    if (FAILED(result) || !picture) {
        if (result == E_OUTOFMEMORY)
            return {nullptr,
                    {DecodeFailure::kOutOfMemory, "the system's loader ran out of memory"}};
        return {nullptr, {DecodeFailure::kBadData, "the system's loader refused the data"}};
    }
    auto [bitmap, failure] = bitmapOf(*picture, maxPixels);
    return {Picture::fromBitmap(std::move(bitmap)), failure};
}

bool fits(std::uint64_t width, std::uint64_t height, std::uint64_t maxPixels) noexcept {
    return withinDecodeBudget(width, height) && (width == 0 || height <= maxPixels / width);
}

class SystemPictureLoader final : public PictureLoader {
  public:
    explicit SystemPictureLoader(std::uint64_t maxPixels) noexcept
        : maxPixels_(maxPixels), portable_(maxPixels) {}

    Decoded<std::unique_ptr<Picture>> load(std::span<const std::uint8_t> data) noexcept override {
        constexpr LoadFailure kTooLarge{DecodeFailure::kTooLarge, "beyond the pixel limit"};
        const ByteView bytes(data);
        switch (sniffPictureFormat(bytes)) {
            case PictureFormat::kJpeg: {
                // The declared size is checked before the system allocates anything for it.
                const auto size = jpegDeclaredSize(bytes);
                if (!size) return {nullptr, {DecodeFailure::kBadHeader, "no frame size"}};
                if (!fits(size->width, size->height, maxPixels_)) return {nullptr, kTooLarge};
                return oleLoad(data, maxPixels_);
            }
            case PictureFormat::kGif: {
                GifLayout layout;
                if (const LoadFailure walk = walkGifToFirstImage(bytes, layout); walk.failed())
                    return {nullptr, walk};
                if (layout.width < 1 || layout.height < 1)
                    return {nullptr, {DecodeFailure::kBadData, "image width or height 0"}};
                if (!fits(static_cast<std::uint64_t>(layout.width),
                          static_cast<std::uint64_t>(layout.height), maxPixels_))
                    return {nullptr, kTooLarge};
                const std::vector<std::uint8_t> first = rebuildFirstImageGif(bytes, layout);
                if (first.empty())
                    return {nullptr, {DecodeFailure::kOutOfMemory, "no room for the first image"}};
                return oleLoad(first, maxPixels_);
            }
            default:
                return portable_.load(data);
        }
    }

  private:
    std::uint64_t maxPixels_;
    DefaultPictureLoader portable_;
};

}  // namespace

std::unique_ptr<PictureLoader> makeSystemPictureLoader(std::uint64_t maxPixels) noexcept {
    try {
        return std::make_unique<SystemPictureLoader>(maxPixels);
    } catch (...) {
        return nullptr;
    }
}

}  // namespace talvrin::platform
