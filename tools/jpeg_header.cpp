// The JPEG header reader: a walk over marker segments, and the first TIFF directory of an EXIF
// block. Each read goes through `at`, which answers nothing past the end.
#include "tools/jpeg_header.h"

#include <cstring>

namespace talvrin::tool {

namespace {

// Big- or little-endian reads that fail, rather than read, past the end.
struct Reader {
    std::span<const std::uint8_t> bytes;
    bool bigEndian = true;

    [[nodiscard]] std::optional<std::uint32_t> u16(std::size_t at) const noexcept {
        if (at > bytes.size() || bytes.size() - at < 2) return std::nullopt;
        const std::uint32_t a = bytes[at], b = bytes[at + 1];
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    }
    [[nodiscard]] std::optional<std::uint32_t> u32(std::size_t at) const noexcept {
        const auto hi = u16(bigEndian ? at : at + 2), lo = u16(bigEndian ? at + 2 : at);
        if (!hi || !lo) return std::nullopt;
        return *hi << 16 | *lo;
    }
};

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kShort = 3, kLong = 4;

bool isFrameHeader(std::uint8_t marker) noexcept {
    // SOF0 ... SOF15 less DHT (C4), JPG (C8) and DAC (CC).
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

}  // namespace

std::optional<std::uint8_t> exifOrientation(std::span<const std::uint8_t> tiff) noexcept {
    Reader r{tiff};
    if (tiff.size() < 8) return std::nullopt;
    if (tiff[0] == 'I' && tiff[1] == 'I') {
        r.bigEndian = false;
    } else if (!(tiff[0] == 'M' && tiff[1] == 'M')) {
        return std::nullopt;
    }
    if (r.u16(2) != 42u) return std::nullopt;
    const auto ifd = r.u32(4);
    const auto count = ifd ? r.u16(*ifd) : std::nullopt;
    if (!count) return std::nullopt;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const std::size_t entry = std::size_t{*ifd} + 2 + std::size_t{12} * i;
        const auto tag = r.u16(entry), type = r.u16(entry + 2), n = r.u32(entry + 4);
        if (!tag || !type || !n) return std::nullopt;  // the directory runs past the data
        if (*tag != kOrientationTag) continue;
        if (*n != 1 || (*type != kShort && *type != kLong)) return std::nullopt;
        const auto value = *type == kShort ? r.u16(entry + 8) : r.u32(entry + 8);
        if (!value || *value < 1 || *value > 8) return std::nullopt;
        return static_cast<std::uint8_t>(*value);
    }
    return std::nullopt;
}

std::optional<JpegHeader> readJpegHeader(std::span<const std::uint8_t> bytes) noexcept {
    if (bytes.size() < 3 || bytes[0] != 0xFF || bytes[1] != 0xD8 || bytes[2] != 0xFF)
        return std::nullopt;
    JpegHeader header;
    const Reader r{bytes};
    std::size_t at = 2;
    // Every step moves on by at least one byte, so the walk ends.
    for (;;) {
        if (at + 1 >= bytes.size()) {
            header.cut = true;  // the bytes end between segments, before the first scan
            return header;
        }
        if (bytes[at] != 0xFF) break;  // not a marker: the headers are over or damaged
        const std::uint8_t marker = bytes[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        at += 2;
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
        if (marker == 0xD9 || marker == 0xDA) break;  // end of image, start of scan
        const auto length = r.u16(at);
        if (!length || *length < 2 || bytes.size() - at < *length) {
            header.cut = !length || *length >= 2;  // a segment that goes on past the bytes
            return header;
        }
        const auto body = bytes.subspan(at + 2, *length - 2);
        if (marker == 0xE1 && !header.orientation && body.size() >= 6 &&
            std::memcmp(body.data(), "Exif\0\0", 6) == 0)
            header.orientation = exifOrientation(body.subspan(6));
        if (isFrameHeader(marker) && !header.precision && body.size() >= 6) {
            header.precision = body[0];
            header.height = static_cast<std::uint16_t>(body[1] << 8 | body[2]);
            header.width = static_cast<std::uint16_t>(body[3] << 8 | body[4]);
            header.components = body[5];
        }
        at += *length;
    }
    return header;
}

}  // namespace talvrin::tool
