#include "image/codecs/platform_wrappers.h"

#include "platform/os/library.h"
#include "platform/picture/picture_loader.h"

namespace talvrin {

platform::File OpenImageFile(std::string_view fileName, bool forReading, bool) noexcept {
    return platform::OpenImageFile(fileName, forReading);
}

platform::File OpenImageFile(std::u16string_view fileName, bool forReading, bool) noexcept {
    try {
        return platform::OpenImageFile(platform::utf16ToUtf8(fileName), forReading);
    } catch (...) {
        return platform::File();
    }
}

bool ForceDeleteFile(std::string_view fileName, bool) noexcept {
    return platform::ForceDeleteFile(fileName);
}

bool ForceDeleteFile(std::u16string_view fileName, bool) noexcept {
    try {
        return platform::ForceDeleteFile(platform::utf16ToUtf8(fileName));
    } catch (...) {
        return false;
    }
}

bool LibraryHasExport(std::string_view library, std::string_view function) noexcept {
    return platform::LibraryHasExport(library, function);
}

Decoded<std::unique_ptr<platform::Picture>> BytesToPicture(std::span<const std::uint8_t> bytes,
                                                           std::int32_t first,
                                                           std::int32_t count) noexcept {
    constexpr LoadFailure kOutside{DecodeFailure::kNotRecognised, "range outside the bytes"};
    if (first < 0 || count < 1) return {nullptr, kOutside};
    const auto range =
        ByteView(bytes).sub(static_cast<std::uint64_t>(first), static_cast<std::uint64_t>(count));
    if (!range) return {nullptr, kOutside};
    return platform::loadPicture(range->span());
}

std::unique_ptr<platform::Picture> HandleToPicture(std::unique_ptr<platform::Bitmap>&& handle,
                                                   std::int32_t pictureType) noexcept {
    if (!handle || pictureType != platform::kPictureBitmap) return nullptr;
    // The picture is made around the bitmap first, so a failure leaves the caller owning it.
    auto picture = platform::Picture::borrowBitmap(*handle);
    if (!picture || !picture->adopt(handle)) return nullptr;
    return picture;
}

std::unique_ptr<platform::Picture> HandleToPicture(std::unique_ptr<platform::Icon>&& handle,
                                                   std::int32_t pictureType) noexcept {
    if (!handle || pictureType != platform::kPictureIcon) return nullptr;
    auto picture = platform::Picture::borrowIcon(*handle);
    if (!picture || !picture->adopt(handle)) return nullptr;
    return picture;
}

}  // namespace talvrin
