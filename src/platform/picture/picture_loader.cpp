#include "platform/picture/picture_loader.h"

#include <cstring>

#include "platform/picture/bmp_decoder.h"
#include "platform/picture/gif_decoder.h"
#include "platform/picture/jpeg_decoder.h"

namespace talvrin::platform {

namespace {

IconPictureDecoder& iconSlot() noexcept {
    static IconPictureDecoder slot = nullptr;
    return slot;
}

bool startsWith(ByteView bytes, const char* text, std::size_t length) noexcept {
    return bytes.size() >= length && std::memcmp(bytes.data(), text, length) == 0;
}

}  // namespace

PictureFormat sniffPictureFormat(ByteView bytes) noexcept {
    if (startsWith(bytes, "BM", 2)) return PictureFormat::kBmp;
    if (looksLikeJpeg(bytes)) return PictureFormat::kJpeg;
    if (startsWith(bytes, "GIF87a", 6) || startsWith(bytes, "GIF89a", 6))
        return PictureFormat::kGif;
    const auto w0 = bytes.u16le(0);
    const auto w1 = bytes.u16le(2);
    if (w0 == 0 && (w1 == 1 || w1 == 2) && bytes.size() >= 6) return PictureFormat::kIcon;
    // Placeable metafile key, or a plain metafile header (type 1 or 2, header of 9 words).
    if (bytes.u32le(0) == 0x9AC6CDD7u) return PictureFormat::kMetafile;
    if ((w0 == 1 || w0 == 2) && w1 == 9) return PictureFormat::kMetafile;
    // Enhanced metafile: header record type 1 with " EMF" at byte 40.
    if (bytes.u32le(0) == 1u && bytes.u32le(40) == 0x464D4520u) return PictureFormat::kEnhMetafile;
    return PictureFormat::kUnknown;
}

IconPictureDecoder setIconPictureDecoder(IconPictureDecoder decoder) noexcept {
    const IconPictureDecoder previous = iconSlot();
    iconSlot() = decoder;
    return previous;
}

IconPictureDecoder iconPictureDecoder() noexcept {
    return iconSlot();
}

namespace {

// A decoded bitmap as a picture.
Decoded<std::unique_ptr<Picture>> asPicture(Decoded<std::unique_ptr<Bitmap>> decoded) noexcept {
    return {Picture::fromBitmap(std::move(decoded.image)), decoded.failure};
}

}  // namespace

Decoded<std::unique_ptr<Picture>> DefaultPictureLoader::load(
    std::span<const std::uint8_t> data) noexcept {
    const ByteView bytes(data);
    switch (sniffPictureFormat(bytes)) {
        case PictureFormat::kBmp:
            return asPicture(decodeBmp(bytes, maxPixels_));
        case PictureFormat::kJpeg:
            return asPicture(decodeJpeg(bytes, maxPixels_));
        case PictureFormat::kGif:
            return decodeGifPicture(bytes);
        case PictureFormat::kIcon:
            if (IconPictureDecoder decode = iconSlot()) return decode(bytes);
            return {nullptr, {DecodeFailure::kUnsupported, "no icon decoder installed"}};
        case PictureFormat::kMetafile:
        case PictureFormat::kEnhMetafile:
            return {nullptr, {DecodeFailure::kUnsupported, "metafiles are not decoded here"}};
        case PictureFormat::kUnknown:
            break;
    }
    return {nullptr, {DecodeFailure::kNotRecognised, {}}};
}

std::optional<DeclaredSize> jpegDeclaredSize(ByteView bytes) noexcept {
    if (!looksLikeJpeg(bytes)) return std::nullopt;
    std::size_t pos = 2;
    while (pos + 1 < bytes.size()) {
        if (bytes.data()[pos] != 0xFF) {  // stray bytes before a marker are skipped, as decoders do
            ++pos;
            continue;
        }
        const std::uint8_t marker = bytes.data()[pos + 1];
        if (marker == 0xFF) {  // fill byte
            ++pos;
            continue;
        }
        pos += 2;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
        if (marker == 0xD9 || marker == 0xDA) return std::nullopt;           // end, or a scan first
        const auto length = bytes.u16be(pos);
        if (!length || *length < 2) return std::nullopt;
        // Start-of-frame markers: C0 ... CF except DHT (C4), JPG (C8) and DAC (CC).
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
            const auto height = bytes.u16be(pos + 3);
            const auto width = bytes.u16be(pos + 5);
            // A height of 0 is left to a later marker, which no decoder here reads.
            if (!height || !width || *height == 0 || *width == 0) return std::nullopt;
            return DeclaredSize{*width, *height};
        }
        pos += *length;
    }
    return std::nullopt;
}

std::unique_ptr<PictureLoader> makeDefaultPictureLoader() noexcept {
    if (auto system = makeSystemPictureLoader()) return system;
    try {
        return std::make_unique<DefaultPictureLoader>();
    } catch (...) {
        return nullptr;
    }
}

}  // namespace talvrin::platform
