// Loading: the dispatcher that tries the decoders in their fixed order, and the sources that
// feed it (files, byte ranges, resources, picture objects, handles, the clipboard, kept bytes).
#include <algorithm>
#include <limits>

#include "base/decode_failure.h"
#include "base/whole_file.h"
#include "image/bridge/gdiplus.h"
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

}  // namespace

bool c32bppDIB::LoadFromSource(const LoadRequest& request) {
    DestroyDIB();
    const std::int32_t iconCx = std::max(request.iconCx, 0);
    const std::int32_t iconCy = std::max(request.iconCy, 0);
    const std::int32_t iconBitDepth =
        request.iconBitDepth < 0 || request.iconBitDepth > 32 ? 32 : request.iconBitDepth;
    const std::span<const std::uint8_t> bytes = request.bytes;
    const std::int32_t start = request.streamStart;
    const std::int32_t length = request.streamLength;

    // The first decoder that recognised the data names the failure, unless a later one claims
    // it. The details of decoders that did not recognise the data are not kept: they describe
    // data that is none of theirs.
    LoadFailure failure{DecodeFailure::kNotRecognised, {}};
    const auto note = [&failure](const LoadFailure& f) {
        if (failure.reason == DecodeFailure::kNotRecognised &&
            f.reason != DecodeFailure::kNotRecognised)
            failure = f;
    };

    // PNG first: in file mode over the file's bytes, or on the byte range. A decoder that
    // answers true has claimed the data; the others are not asked, whether or not it produced
    // an image.
    std::uint32_t token = gdiToken_;
    bool claimed = false;
    {
        cPNGparser png;
        claimed = request.isFile ? png.LoadFile(ByteView(bytes), request.fileName, *this, token)
                                 : png.LoadStream(bytes, *this, start, length, token);
        if (claimed) failure = png.lastLoadFailure();
    }
    if (!claimed) {
        cGIFparser gif;
        claimed = gif.LoadStream(bytes, *this, start, length);
        claimed ? void(failure = gif.lastLoadFailure()) : note(gif.lastLoadFailure());
    }
    if (!claimed) {
        cICOparser ico;
        std::int32_t icoLength = length;
        claimed =
            ico.LoadStream(bytes, iconCx, iconCy, this, start, icoLength, iconBitDepth, gdiToken_);
        claimed ? void(failure = ico.lastLoadFailure()) : note(ico.lastLoadFailure());
    }
    if (!claimed) {
        cBMPparser bmp;
        if (!bmp.LoadStream(bytes, *this, start, length)) note(bmp.lastLoadFailure());
    }
    // Last, the imaging-library bridge, for the formats only it reads (WebP, TIFF).
    if (!Handle() && isGDIplusEnabled()) {
        cGDIPlus bridge;
        const auto range =
            bytes.subspan(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
        if (bridge.LoadWithGDIPlus({}, range, *this, gdiToken_)) {
            failure = {};
            // The kept bytes are the PNG of what was decoded, as the bridge would save it.
            if (request.keepSource) {
                std::vector<std::uint8_t> png;
                if (SaveToStream_PNG(png)) {
                    lastLoadFailure_ = {};
                    setSourceBytes(std::move(png));
                    return true;
                }
            }
        } else {
            note(bridge.lastLoadFailure());
        }
    }

    if (!Handle()) {
        DestroyDIB();
        lastLoadFailure_ =
            failure.failed() ? failure : LoadFailure{DecodeFailure::kBadData, "no image"};
        return false;
    }
    lastLoadFailure_ = {};
    if (request.keepSource) {
        if (request.fileBytes) {
            // The file read for this load becomes the kept source: no second read, no copy.
            setSourceBytes(std::move(*request.fileBytes));
        } else {
            // Exactly the decoded range, so that the kept bytes decode to this image again.
            const auto first = static_cast<std::size_t>(start);
            const auto count = static_cast<std::size_t>(length);
            if (first <= bytes.size() && count <= bytes.size() - first)
                setSourceBytes(bytes.subspan(first, count));
        }
    }
    return true;
}

bool c32bppDIB::LoadPicture_File(std::string_view FileName, std::int32_t iconCx,
                                 std::int32_t iconCy, bool SaveFormat, std::int32_t iconBitDepth) {
    platform::File file = platform::OpenImageFile(FileName, true);
    if (!file) return lastLoadFailure_.refuse(DecodeFailure::kUnreadable, "cannot open the file");
    const auto size = file.size();
    if (!size) return lastLoadFailure_.refuse(DecodeFailure::kUnreadable, "no file size");
    if (*size < static_cast<std::uint64_t>(kMinimumSourceBytes))
        return lastLoadFailure_.refuse(DecodeFailure::kTooShort, {});
    // A PNG file whose bytes are not kept is decoded as it is read, without holding the file:
    // the PNG decoder claims every file of this size with its signature, so no other decoder
    // would be asked.
    // (A file beyond the 32-bit range the decoders address skips this and is refused below.)
    if (!SaveFormat &&
        *size <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
        std::uint8_t head[8];
        const auto got = file.read(head, sizeof head);
        if (!got) {
            DestroyDIB();
            return lastLoadFailure_.refuse(DecodeFailure::kUnreadable, "read error");
        }
        if (*got == sizeof head && cPNGparser::hasSignature(ByteView(head, sizeof head))) {
            DestroyDIB();
            cPNGparser png;
            std::uint32_t token = gdiToken_;
            const std::u16string name = platform::utf8ToUtf16(FileName);
            if (png.LoadFile(file, name, *this, token)) {
                if (!Handle()) {
                    DestroyDIB();
                    lastLoadFailure_ = png.lastLoadFailure().failed()
                                           ? png.lastLoadFailure()
                                           : LoadFailure{DecodeFailure::kBadData, "no image"};
                    return false;
                }
                lastLoadFailure_ = {};
                return true;
            }
        }
        if (!file.seek(0, platform::SeekOrigin::Begin))
            return lastLoadFailure_.refuse(DecodeFailure::kUnreadable, "seek error");
    }
    // The file is read once: every decoder and the kept source work on these bytes.
    std::vector<std::uint8_t> bytes;
    if (const LoadFailure read = readWholeFile(file, *size, bytes); read.failed()) {
        DestroyDIB();
        lastLoadFailure_ = read;
        return false;
    }
    if (bytes.size() < static_cast<std::size_t>(kMinimumSourceBytes)) {
        DestroyDIB();
        return lastLoadFailure_.refuse(DecodeFailure::kTooShort, "the file shrank while read");
    }
    LoadRequest request;
    request.bytes = bytes;
    request.streamLength = static_cast<std::int32_t>(bytes.size());
    request.isFile = true;
    const std::u16string name = platform::utf8ToUtf16(FileName);
    request.fileName = name;
    request.fileBytes = &bytes;
    request.iconCx = iconCx;
    request.iconCy = iconCy;
    request.iconBitDepth = iconBitDepth;
    request.keepSource = SaveFormat;
    return LoadFromSource(request);
}

bool c32bppDIB::LoadPicture_Stream(std::span<const std::uint8_t> inStream, std::int32_t iconCx,
                                   std::int32_t iconCy, std::int64_t streamStart,
                                   std::int64_t streamLength, bool SaveFormat,
                                   std::int32_t iconBitDepth) {
    if (inStream.empty()) return lastLoadFailure_.refuse(DecodeFailure::kNotRecognised, {});
    // Only 0 means "to the end": a negative length is refused, the surface untouched.
    if (streamLength < 0)
        return lastLoadFailure_.refuse(DecodeFailure::kNotRecognised, "negative length");
    const auto size = static_cast<std::int64_t>(inStream.size());
    if (streamStart < 0) streamStart = 0;
    // Beyond the array: refused, surface untouched.
    if (streamStart >= size)
        return lastLoadFailure_.refuse(DecodeFailure::kNotRecognised, "start past the data");
    const std::int64_t available = size - streamStart;
    if (streamLength == 0 || streamLength > available) streamLength = available;
    if (streamLength < kMinimumSourceBytes)
        return lastLoadFailure_.refuse(DecodeFailure::kTooShort, {});
    // The decoders address ranges with 32-bit offsets and lengths.
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    if (streamStart > kMax || streamLength > kMax || streamStart + streamLength > kMax + 1)
        return lastLoadFailure_.refuse(DecodeFailure::kTooLarge,
                                       "range beyond a decoder's 32-bit offsets");
    LoadRequest request;
    request.bytes = inStream;
    request.streamStart = static_cast<std::int32_t>(streamStart);
    request.streamLength = static_cast<std::int32_t>(streamLength);
    request.iconCx = iconCx;
    request.iconCy = iconCy;
    request.iconBitDepth = iconBitDepth;
    request.keepSource = SaveFormat;
    return LoadFromSource(request);
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
    if (!provider) return lastLoadFailure_.refuse(DecodeFailure::kUnreadable, "no resources");
    if (const auto* section = std::get_if<std::string>(&ResSection)) {
        const auto bytes = provider->customResource(ResIndex, *section);
        if (!bytes) return lastLoadFailure_.refuse(DecodeFailure::kUnreadable, "no such resource");
        return LoadPicture_Stream(*bytes, iconCx, iconCy, streamStart, streamLength, false,
                                  iconBitDepth);
    }
    const std::int32_t kind = std::get<std::int32_t>(ResSection);
    if (kind < 0 || kind > 2)
        return lastLoadFailure_.refuse(DecodeFailure::kUnreadable, "no such resource kind");
    const auto picture =
        provider->pictureResource(ResIndex, static_cast<platform::PictureResourceKind>(kind));
    if (!picture) return lastLoadFailure_.refuse(DecodeFailure::kUnreadable, "no such resource");
    return LoadPicture_StdPicture(picture.get());
}

bool c32bppDIB::LoadPicture_StdPicture(const platform::Picture* Picture) {
    DestroyDIB();
    if (!Picture || Picture->type() == platform::kPictureNone)
        return lastLoadFailure_.refuse(DecodeFailure::kNotRecognised, "no picture");
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
    return convertedPicture();
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
            return lastLoadFailure_.refuse(DecodeFailure::kUnsupported, "metafile");
        case Kind::None:
            return lastLoadFailure_.refuse(DecodeFailure::kNotRecognised, "no handle");
    }
    return convertedPicture();
}

bool c32bppDIB::LoadPicture_ClipBoard() {
    const platform::Clipboard* board = platform::clipboard();
    if (!board) return lastLoadFailure_.refuse(DecodeFailure::kUnreadable, "no clipboard");
    using F = platform::ClipboardFormat;
    const bool offers = board->hasFormat(F::Bitmap) || board->hasFormat(F::Dib) ||
                        board->hasFormat(F::EnhMetafile) || board->hasFormat(F::Metafile);
    if (!offers)
        return lastLoadFailure_.refuse(DecodeFailure::kNotRecognised,
                                       "no picture on the clipboard");
    const auto picture = board->picture();
    if (!picture)
        return lastLoadFailure_.refuse(DecodeFailure::kUnsupported, "clipboard picture format");
    return LoadPicture_StdPicture(picture.get());
}

bool c32bppDIB::LoadPicture_FromOrignalFormat(std::int32_t iconCx, std::int32_t iconCy,
                                              std::int32_t iconBitDepth) {
    if (sourceBytes_.empty())
        return lastLoadFailure_.refuse(DecodeFailure::kNotRecognised, "no kept source bytes");
    // A copy: the load destroys the kept bytes before it keeps them again.
    const std::vector<std::uint8_t> copy = sourceBytes_;
    return LoadPicture_Stream(copy, iconCx, iconCy, 0, 0, true, iconBitDepth);
}

namespace {

// The colour-count code of a bit depth: the colours a palette depth can show, 0xFFFF00 for the
// depths between 9 and 23 bits, 0xFF000000 (negative) for 24 bits and -1 for 32.
std::int32_t colourCountCode(std::int32_t depth) noexcept {
    if (depth < 1) return 0;
    if (depth <= 8) return std::int32_t{1} << depth;
    if (depth < 24) return 0xFFFF00;
    if (depth == 24) return static_cast<std::int32_t>(0xFF000000u);
    return -1;
}

}  // namespace

std::int32_t c32bppDIB::SourceIconSizes(std::vector<std::array<std::int32_t, 4>>& sizeArray) const {
    if (!dib_) return 0;
    switch (imageType_) {
        case imgIcon:
        case imgCursor:
        case imgIconARGB:
        case imgPNGicon:
        case imgCursorARGB:
            break;
        default:
            return 0;
    }
    try {
        if (sourceBytes_.empty()) {
            sizeArray = {{width_, height_, 32, -1}};
            return 1;
        }
        cICOparser directory;
        std::int32_t length = 0;
        if (!directory.LoadStream(sourceBytes_, 32, 32, nullptr, 0, length, 32)) return 0;
        std::vector<std::array<std::int32_t, 4>> rows;
        for (std::int32_t i = 1; i <= directory.IconCount(); ++i) {
            const std::int32_t depth = directory.bitDepth(i);
            rows.push_back(
                {directory.Width(i), directory.Height(i), depth, colourCountCode(depth)});
        }
        sizeArray = std::move(rows);
        return directory.IconCount();
    } catch (...) {
        return 0;
    }
}

}  // namespace talvrin
