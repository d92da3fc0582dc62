// Loading: the dispatcher that tries the decoders in their fixed order, and the sources that
// feed it (files, byte ranges, resources, picture objects, handles, the clipboard, kept bytes).
#include <algorithm>
#include <limits>

#include "image/codecs/bmp_parser.h"
#include "image/codecs/gif_parser.h"
#include "image/codecs/ico_parser.h"
#include "image/codecs/png_parser.h"
#include "image/surface/c32bpp_dib.h"
#include "platform/gdi/gdi_object.h"
#include "platform/os/files.h"
#include "platform/picture/clipboard.h"
#include "platform/picture/picture.h"
#include "platform/picture/picture_loader.h"

namespace talvrin {

namespace {

// Sources of 56 bytes or fewer hold no image any decoder could take.
constexpr std::int64_t kMinimumSourceBytes = 57;

// Reads a whole open file from its first byte; nothing on an error or a file too large to hold.
std::optional<std::vector<std::uint8_t>> readWholeFile(platform::File& file,
                                                       std::uint64_t sizeHint = 0) {
    std::uint64_t size = sizeHint;
    if (size == 0) {
        const auto s = file.size();
        if (!s) return std::nullopt;
        size = *s;
    }
    if (size > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    if (!file.seek(0, platform::SeekOrigin::Begin)) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(static_cast<size_t>(size));
    } catch (...) {
        return std::nullopt;
    }
    size_t got = 0;
    while (got < bytes.size()) {
        const auto n = file.read(bytes.data() + got, bytes.size() - got);
        if (!n) return std::nullopt;
        if (*n == 0) break;
        got += *n;
    }
    bytes.resize(got);
    return bytes;
}

}  // namespace

bool c32bppDIB::LoadFromSource(platform::File* file, std::string_view FileName,
                               std::span<const std::uint8_t> bytes, std::int32_t iconCx,
                               std::int32_t iconCy, std::int32_t streamStart,
                               std::int32_t streamLength, bool SaveFormat,
                               std::int32_t iconBitDepth) {
    DestroyDIB();
    if (iconCx < 0) iconCx = 0;
    if (iconCy < 0) iconCy = 0;
    if (iconBitDepth < 0 || iconBitDepth > 32) iconBitDepth = 32;

    // PNG first: straight from the open file, or on the byte range. A decoder that answers true
    // has claimed the data; the others are not asked, whether or not it produced an image.
    std::uint32_t token = gdiToken_;
    bool claimed = false;
    if (file) {
        cPNGparser png;
        claimed = png.LoadFile(*file, platform::utf8ToUtf16(FileName), *this, token);
    } else {
        cPNGparser png;
        claimed = png.LoadStream(bytes, *this, streamStart, streamLength, token);
    }

    std::vector<std::uint8_t> fileBytes;
    bool decodedFromFile = file != nullptr;
    if (!claimed) {
        if (file) {
            // The other decoders work on bytes: the whole file is read in.
            auto whole = readWholeFile(*file);
            if (!whole) {
                DestroyDIB();
                return false;
            }
            fileBytes = std::move(*whole);
            bytes = fileBytes;
            streamStart = 0;
            streamLength = static_cast<std::int32_t>(fileBytes.size());
            decodedFromFile = false;
        }
        cGIFparser gif;
        claimed = gif.LoadStream(bytes, *this, streamStart, streamLength);
        if (!claimed) {
            cICOparser ico;
            std::int32_t length = streamLength;
            claimed = ico.LoadStream(bytes, iconCx, iconCy, this, streamStart, length, iconBitDepth,
                                     gdiToken_);
        }
        if (!claimed) {
            cBMPparser bmp;
            bmp.LoadStream(bytes, *this, streamStart, streamLength);
        }
    }
    // The imaging-library bridge would be tried here; it is not available on this platform.

    if (!Handle()) {
        DestroyDIB();
        return false;
    }
    if (SaveFormat) {
        if (!decodedFromFile) {
            // Exactly the decoded range, so that the kept bytes decode to this image again.
            const auto start = static_cast<size_t>(streamStart);
            const auto length = static_cast<size_t>(streamLength);
            if (start <= bytes.size() && length <= bytes.size() - start) {
                setSourceBytes(bytes.subspan(start, length));
            }
        } else if (auto whole = readWholeFile(*file)) {
            setSourceBytes(std::move(*whole));
        }
    }
    return true;
}

bool c32bppDIB::LoadPicture_File(std::string_view FileName, std::int32_t iconCx,
                                 std::int32_t iconCy, bool SaveFormat, std::int32_t iconBitDepth) {
    platform::File file = platform::OpenImageFile(FileName, true);
    if (!file) return false;
    const auto size = file.size();
    if (!size || *size < static_cast<std::uint64_t>(kMinimumSourceBytes)) return false;
    return LoadFromSource(&file, FileName, {}, iconCx, iconCy, 0, 0, SaveFormat, iconBitDepth);
}

bool c32bppDIB::LoadPicture_Stream(std::span<const std::uint8_t> inStream, std::int32_t iconCx,
                                   std::int32_t iconCy, std::int64_t streamStart,
                                   std::int64_t streamLength, bool SaveFormat,
                                   std::int32_t iconBitDepth) {
    if (inStream.empty()) return false;
    const auto size = static_cast<std::int64_t>(inStream.size());
    if (streamStart < 0) streamStart = 0;
    if (streamStart >= size) return false;  // beyond the array: refused, surface untouched
    const std::int64_t available = size - streamStart;
    if (streamLength <= 0 || streamLength > available) streamLength = available;
    if (streamLength < kMinimumSourceBytes) return false;
    // The decoders address ranges with 32-bit offsets and lengths.
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    if (streamStart > kMax || streamLength > kMax || streamStart + streamLength > kMax + 1)
        return false;
    return LoadFromSource(nullptr, {}, inStream, iconCx, iconCy,
                          static_cast<std::int32_t>(streamStart),
                          static_cast<std::int32_t>(streamLength), SaveFormat, iconBitDepth);
}

bool c32bppDIB::LoadPicture_Resource(const platform::ResourceId& ResIndex,
                                     const platform::ResourceId& ResSection,
                                     const platform::ResourceProvider* provider,
                                     std::int32_t iconCx, std::int32_t iconCy,
                                     std::int64_t streamStart, std::int64_t streamLength,
                                     std::int32_t iconBitDepth) {
    std::shared_ptr<const platform::ResourceProvider> own;
    if (!provider) {
        // The program's own resources, as the program installed them at start-up.
        own = platform::programResources();
        provider = own.get();
    }
    if (!provider) return false;
    if (const auto* section = std::get_if<std::string>(&ResSection)) {
        const auto bytes = provider->customResource(ResIndex, *section);
        if (!bytes) return false;
        return LoadPicture_Stream(*bytes, iconCx, iconCy, streamStart, streamLength, false,
                                  iconBitDepth);
    }
    const std::int32_t kind = std::get<std::int32_t>(ResSection);
    if (kind < 0 || kind > 2) return false;
    const auto picture =
        provider->pictureResource(ResIndex, static_cast<platform::PictureResourceKind>(kind));
    if (!picture) return false;
    return LoadPicture_StdPicture(picture.get());
}

bool c32bppDIB::LoadPicture_StdPicture(const platform::Picture* Picture) {
    DestroyDIB();
    if (!Picture) return false;
    switch (Picture->type()) {
        case platform::kPictureNone:
            break;
        case platform::kPictureIcon: {
            cICOparser ico;
            ico.ConvertstdPicTo32bpp(Picture->icon(), *this);
            break;
        }
        case platform::kPictureBitmap: {
            cBMPparser bmp;
            bmp.ConvertstdPicTo32bpp(nullptr, Picture->bitmap(), *this, 0);
            break;
        }
        default: {
            cBMPparser bmp;
            bmp.ConvertstdPicTo32bpp(Picture, nullptr, *this, 0);
            break;
        }
    }
    return Handle() != nullptr;
}

bool c32bppDIB::LoadPicture_ByHandle(const platform::GdiObjectRef& Handle) {
    DestroyDIB();
    using Kind = platform::GdiObjectRef::Kind;
    switch (Handle.kind) {
        case Kind::Bitmap: {
            cBMPparser bmp;
            bmp.ConvertstdPicTo32bpp(nullptr, Handle.bitmap, *this, 0);
            break;
        }
        case Kind::Icon: {
            cICOparser ico;
            ico.ConvertstdPicTo32bpp(Handle.icon, *this);
            break;
        }
        case Kind::Metafile:
        case Kind::EnhMetafile:  // no metafiles here; the handle stays the caller's
        case Kind::None:
            return false;
    }
    return this->Handle() != nullptr;
}

bool c32bppDIB::LoadPicture_ClipBoard() {
    const platform::Clipboard* board = platform::clipboard();
    if (!board) return false;
    using F = platform::ClipboardFormat;
    const bool offers = board->hasFormat(F::Bitmap) || board->hasFormat(F::Dib) ||
                        board->hasFormat(F::EnhMetafile) || board->hasFormat(F::Metafile);
    if (!offers) return false;
    const auto picture = board->picture();
    if (!picture) return false;
    return LoadPicture_StdPicture(picture.get());
}

bool c32bppDIB::LoadPicture_FromOrignalFormat(std::int32_t iconCx, std::int32_t iconCy,
                                              std::int32_t iconBitDepth) {
    if (sourceBytes_.empty()) return false;
    // A copy: the load destroys the kept bytes before it keeps them again.
    const std::vector<std::uint8_t> copy = sourceBytes_;
    return LoadPicture_Stream(copy, iconCx, iconCy, 0, 0, true, iconBitDepth);
}

}  // namespace talvrin
