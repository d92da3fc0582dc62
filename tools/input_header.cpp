// Signatures and declared sizes of the formats an input may be in.
#include "tools/input_header.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "image/bridge/gdiplus.h"
#include "tools/jpeg_header.h"

namespace talvrin::tool {

namespace {

using Bytes = std::span<const std::uint8_t>;

bool startsWith(Bytes b, std::string_view sig, std::size_t at = 0) noexcept {
    return b.size() >= at + sig.size() && std::memcmp(b.data() + at, sig.data(), sig.size()) == 0;
}

std::uint32_t le16(Bytes b, std::size_t at) noexcept {
    return at + 2 <= b.size() ? std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 : 0;
}
std::uint32_t le24(Bytes b, std::size_t at) noexcept {
    return at + 3 <= b.size() ? le16(b, at) | std::uint32_t{b[at + 2]} << 16 : 0;
}
std::uint32_t le32(Bytes b, std::size_t at) noexcept {
    return at + 4 <= b.size() ? le16(b, at) | le16(b, at + 2) << 16 : 0;
}
std::uint32_t be32(Bytes b, std::size_t at) noexcept {
    if (at + 4 > b.size()) return 0;
    return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 |
           std::uint32_t{b[at + 2]} << 8 | b[at + 3];
}

constexpr Format kPng{"png", "PNG", true}, kGif{"gif", "GIF", true}, kIco{"ico", "ICO", true},
    kCur{"cur", "CUR", true}, kBmp{"bmp", "BMP", true}, kJpeg{"jpeg", "JPEG", true},
    kWebp{"webp", "WebP", true}, kTiff{"tiff", "TIFF", true}, kAvif{"avif", "AVIF", false},
    kHeic{"heic", "HEIC", false}, kJpeg2000{"jp2", "JPEG 2000", false},
    kJpegXl{"jxl", "JPEG XL", false}, kSvg{"svg", "SVG", false}, kXpm{"xpm", "XPM", false},
    kPnm{"pnm", "PNM", false}, kTga{"tga", "TGA", false}, kPsd{"psd", "PSD", false},
    kWmf{"wmf", "WMF", false}, kEmf{"emf", "EMF", false};

// An ISO media file ("ftyp" box) of the AVIF or HEIF family, by its major and compatible brands.
std::optional<Format> isoMedia(Bytes b) noexcept {
    if (!startsWith(b, "ftyp", 4)) return std::nullopt;
    const std::size_t box = std::min<std::size_t>(be32(b, 0), b.size());
    bool heif = false;
    for (std::size_t at = 8; at + 4 <= box; at += at == 8 ? 8 : 4) {
        const std::string_view brand(reinterpret_cast<const char*>(b.data() + at), 4);
        if (brand == "avif" || brand == "avis") return kAvif;
        for (const char* h : {"heic", "heix", "hevc", "hevx", "heim", "heis", "mif1", "msf1"})
            if (brand == h) heif = true;
    }
    if (heif) return kHeic;
    return std::nullopt;
}

// Markup whose first element is an svg one (after an XML declaration, comments, a doctype).
bool isSvg(Bytes b) noexcept {
    std::size_t at = startsWith(b, "\xEF\xBB\xBF") ? 3 : 0;
    while (at < b.size() && (b[at] == ' ' || b[at] == '\t' || b[at] == '\r' || b[at] == '\n'))
        ++at;
    if (at >= b.size() || b[at] != '<') return false;
    const std::string_view text(reinterpret_cast<const char*>(b.data()),
                                std::min<std::size_t>(b.size(), 4096));
    return text.find("<svg", at) != std::string_view::npos;
}

// A TGA header (no signature of its own): a known image type whose colour-map fields agree with
// it, a pixel depth TGA has, a size, and the reserved descriptor bits clear.
bool isTga(Bytes b) noexcept {
    if (b.size() < 18) return false;
    const std::uint8_t mapType = b[1], type = b[2], mapDepth = b[7], depth = b[16];
    const bool mapped = type == 1 || type == 9;
    const bool known = mapped || type == 2 || type == 3 || type == 10 || type == 11;
    if (!known || mapType > 1 || (mapType == 1) != mapped) return false;
    if (mapped ? (mapDepth != 15 && mapDepth != 16 && mapDepth != 24 && mapDepth != 32)
               : (le16(b, 3) != 0 || le16(b, 5) != 0 || mapDepth != 0))
        return false;
    if (depth != 8 && depth != 15 && depth != 16 && depth != 24 && depth != 32) return false;
    return le16(b, 12) > 0 && le16(b, 14) > 0 && (b[17] & 0xC0) == 0;
}

bool isPnm(Bytes b) noexcept {
    return b.size() >= 3 && b[0] == 'P' && b[1] >= '1' && b[1] <= '7' &&
           (b[2] == ' ' || b[2] == '\t' || b[2] == '\r' || b[2] == '\n');
}

// The pixels a size holds (0 for none).
std::uint64_t pixelsOf(const Declared& d) noexcept {
    return d.size ? std::uint64_t{d.size->first} * d.size->second : 0;
}

void pngDeclared(Bytes b, Declared& d) {
    if (b.size() < 24) {
        d.needMore = true;
        return;
    }
    if (!startsWith(b, "IHDR", 12)) return;
    d.size = {{be32(b, 16), be32(b, 20)}};
    d.sizeIsTheImage = true;
}

void bmpDeclared(Bytes b, Declared& d) {
    const std::uint32_t header = le32(b, 14);
    if (b.size() < (header == 12 ? 22u : 26u)) {
        d.needMore = true;
        return;
    }
    if (header == 12) {
        d.size = {{le16(b, 18), le16(b, 20)}};
    } else {
        // A negative height stores the rows top-down; negative widths are no image at all.
        const auto w = static_cast<std::int32_t>(le32(b, 18));
        const auto h = static_cast<std::int32_t>(le32(b, 22));
        if (w < 0 || h == std::numeric_limits<std::int32_t>::min()) return;
        d.size = {{static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h < 0 ? -h : h)}};
    }
    d.sizeIsTheImage = true;
}

void gifDeclared(Bytes b, Declared& d) {
    if (b.size() < 10) {
        d.needMore = true;
        return;
    }
    // The logical screen: each image lies on it (a bound of the bytes, not the decoded size).
    d.size = {{le16(b, 6), le16(b, 8)}};
}

void iconDeclared(Bytes b, Declared& d) {
    const std::uint32_t count = le16(b, 4);
    const std::size_t directory = 6 + std::size_t{16} * count;
    if (b.size() < directory) {
        d.needMore = b.size() < 6 || count > 0;
        return;
    }
    std::uint64_t end = directory, width = 0, height = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t e = 6 + std::size_t{16} * i;
        width = std::max<std::uint64_t>(width, b[e] == 0 ? 256 : b[e]);
        height = std::max<std::uint64_t>(height, b[e + 1] == 0 ? 256 : b[e + 1]);
        end = std::max(end, std::uint64_t{le32(b, e + 12)} + le32(b, e + 8));
    }
    if (count > 0)
        d.size = {{static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)}};
    d.fileBytes = end;
}

void jpegDeclared(Bytes b, Declared& d) {
    const auto header = readJpegHeader(b);
    if (!header) return;
    if (header->width && header->height) {
        d.size = {{*header->width, *header->height}};
        // A height of 0 is left to a later marker: no size the decoder takes.
        d.sizeIsTheImage = *header->height != 0;
        if (!d.sizeIsTheImage) d.size.reset();
    }
    d.needMore = header->cut && !header->width;
}

void webpDeclared(Bytes b, Declared& d) {
    if (b.size() < 30) {
        d.needMore = true;
        return;
    }
    d.fileBytes = std::uint64_t{le32(b, 4)} + 8;
    if (startsWith(b, "VP8X", 12)) {
        d.size = {{le24(b, 24) + 1, le24(b, 27) + 1}};
    } else if (startsWith(b, "VP8L", 12) && b[20] == 0x2F) {
        const std::uint32_t bits = le32(b, 21);
        d.size = {{(bits & 0x3FFF) + 1, ((bits >> 14) & 0x3FFF) + 1}};
    } else if (startsWith(b, "VP8 ", 12) && b[23] == 0x9D && b[24] == 0x01 && b[25] == 0x2A) {
        d.size = {{le16(b, 26) & 0x3FFF, le16(b, 28) & 0x3FFF}};
    }
    d.sizeIsTheImage = d.size.has_value();
}

}  // namespace

Format sniffFormat(std::span<const std::uint8_t> b) noexcept {
    if (startsWith(b, "\x89PNG\r\n\x1A\n")) return kPng;
    // The GIF decoder takes the signature in either case, so the format does too.
    if (b.size() >= 4 && (b[0] | 0x20) == 'g' && (b[1] | 0x20) == 'i' && (b[2] | 0x20) == 'f' &&
        b[3] == '8')
        return kGif;
    // A directory of at least one entry (an uncompressed TGA starts 00 00 02 00 too, and then
    // holds 0 where the entry count would be).
    if (startsWith(b, std::string_view("\0\0\1\0", 4)) && le16(b, 4) > 0) return kIco;
    if (startsWith(b, std::string_view("\0\0\2\0", 4)) && le16(b, 4) > 0) return kCur;
    if (startsWith(b, "BM")) return kBmp;
    if (startsWith(b, "\xFF\xD8\xFF")) return kJpeg;
    switch (bridge::sniffBridgeFormat(b)) {
        case bridge::BridgeFormat::kWebp:
            return kWebp;
        case bridge::BridgeFormat::kTiff:
            return kTiff;
        case bridge::BridgeFormat::kNone:
            break;
    }
    if (const auto iso = isoMedia(b)) return *iso;
    if (startsWith(b, std::string_view("\0\0\0\x0CjP  \r\n\x87\n", 12)) ||
        startsWith(b, "\xFF\x4F\xFF\x51"))
        return kJpeg2000;
    if (startsWith(b, "\xFF\x0A") ||
        startsWith(b, std::string_view("\0\0\0\x0CJXL \r\n\x87\n", 12)))
        return kJpegXl;
    if (startsWith(b, "8BPS")) return kPsd;
    if (startsWith(b, "/* XPM */")) return kXpm;
    // A placeable metafile's key, or a plain metafile's header (type 1 or 2, 9 words long).
    if (le32(b, 0) == 0x9AC6CDD7u || ((le16(b, 0) == 1 || le16(b, 0) == 2) && le16(b, 2) == 9))
        return kWmf;
    if (le32(b, 0) == 1 && startsWith(b, " EMF", 40)) return kEmf;
    if (isPnm(b)) return kPnm;
    if (isSvg(b)) return kSvg;
    if (isTga(b)) return kTga;
    return {};
}

Declared readDeclared(const Format& format, std::span<const std::uint8_t> bytes) noexcept {
    Declared d;
    if (format.key == "png") pngDeclared(bytes, d);
    if (format.key == "bmp") bmpDeclared(bytes, d);
    if (format.key == "gif") gifDeclared(bytes, d);
    if (format.key == "ico" || format.key == "cur") iconDeclared(bytes, d);
    if (format.key == "jpeg") jpegDeclared(bytes, d);
    if (format.key == "webp") webpDeclared(bytes, d);
    return d;
}

std::uint64_t byteLimitFor(const Format& format, const Declared& declared,
                           std::uint64_t pixelLimit) noexcept {
    constexpr std::uint64_t kMaxInput = std::numeric_limits<std::int32_t>::max();
    // Bytes a pixel at most: 16-bit RGBA PNG data is 8, uncompressed or stored, and no sound
    // coder of the others comes near 16 (a GIF's frames share the screen: 64 covers dozens of
    // worst-case ones); 64 MiB beside it for metadata, comments and colour profiles.
    const std::uint64_t perPixel = format.key == "gif" ? 64 : 16;
    constexpr std::uint64_t kSlack = 64u << 20;
    const std::uint64_t pixels = declared.size ? pixelsOf(declared) : pixelLimit;
    if (pixels > (kMaxInput - kSlack) / perPixel) return kMaxInput;
    return pixels * perPixel + kSlack;
}

}  // namespace talvrin::tool
