// Facts from the header bytes of each container the library reads.
#include "tools/image_facts.h"

#include <algorithm>
#include <array>
#include <utility>

#include "image/codecs/ico_parser.h"
#include "image/surface/image_types.h"
#include "tools/input_header.h"
#include "tools/jpeg_header.h"

namespace talvrin::tool {

namespace {

std::uint32_t le16(std::span<const std::uint8_t> b, std::size_t at) {
    return at + 2 <= b.size() ? std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 : 0;
}

constexpr std::array<std::pair<std::int32_t, std::string_view>, 14> kTypeNames{{
    {imgNone, "none"},
    {imgCreated, "created"},
    {imgBitmap, "bitmap"},
    {imgWMF, "metafile"},
    {imgIcon, "icon"},
    {imgEMF, "enhanced-metafile"},
    {imgCursor, "cursor"},
    {imgBmpARGB, "bitmap-argb"},
    {imgBmpPARGB, "bitmap-pargb"},
    {imgIconARGB, "icon-argb"},
    {imgGIF, "gif"},
    {imgPNG, "png"},
    {imgPNGicon, "png-icon"},
    {imgCursorARGB, "cursor-argb"},
}};

void pngFacts(std::span<const std::uint8_t> b, ImageFacts& f) {
    // Signature (8), IHDR length and type (8), width and height (8), then depth and colour type.
    if (b.size() < 26 || !std::equal(b.begin() + 12, b.begin() + 16, "IHDR")) return;
    f.bitDepth = b[24];
    switch (b[25]) {
        case 0:
            f.colorType = "grey";
            break;
        case 2:
            f.colorType = "rgb";
            break;
        case 3:
            f.colorType = "palette";
            break;
        case 4:
            f.colorType = "grey-alpha";
            break;
        case 6:
            f.colorType = "rgba";
            break;
        default:
            break;
    }
}

void bmpFacts(std::span<const std::uint8_t> b, ImageFacts& f) {
    // The info header's size at 14; its bit count at 24 (at 24 too in the 12-byte core header).
    const std::uint32_t bits = le16(b, 28);
    const std::uint32_t headerSize = le16(b, 14);
    if (headerSize == 12 && b.size() >= 26) {
        f.bitDepth = static_cast<std::int32_t>(le16(b, 24));
    } else if (b.size() >= 30) {
        f.bitDepth = static_cast<std::int32_t>(bits);
    }
    if (f.bitDepth) f.colorType = *f.bitDepth <= 8 ? "palette" : *f.bitDepth == 32 ? "rgba" : "rgb";
}

void gifFacts(std::span<const std::uint8_t> b, ImageFacts& f) {
    if (b.size() < 13) return;
    f.bitDepth = (b[10] & 7) + 1;  // the colour resolution's table size
    f.colorType = "palette";
    f.frames = gifFrameCount(b);
}

void iconFacts(std::span<const std::uint8_t> b, ImageFacts& f) {
    cICOparser directory;
    std::int32_t length = 0;
    if (!directory.LoadStream(b, 0, 0, nullptr, 0, length)) return;
    for (std::int32_t i = 1; i <= directory.IconCount(); ++i)
        f.icons.push_back({directory.Width(i), directory.Height(i), directory.bitDepth(i)});
}

void jpegFacts(std::span<const std::uint8_t> b, ImageFacts& f) {
    const auto header = readJpegHeader(b);
    if (!header) return;
    f.orientation = header->orientation.value_or(1);
    if (header->precision) f.bitDepth = *header->precision;
    if (header->components)
        f.colorType = *header->components == 1   ? std::optional<std::string_view>("grey")
                      : *header->components == 3 ? std::optional<std::string_view>("ycbcr")
                      : *header->components == 4 ? std::optional<std::string_view>("cmyk")
                                                 : std::nullopt;
}

}  // namespace

ImageFacts readFacts(std::span<const std::uint8_t> bytes) {
    ImageFacts f;
    f.format = sniffFormat(bytes).key;
    if (f.format == "png") pngFacts(bytes, f);
    if (f.format == "bmp") bmpFacts(bytes, f);
    if (f.format == "gif") gifFacts(bytes, f);
    if (f.format == "ico" || f.format == "cur") iconFacts(bytes, f);
    if (f.format == "jpeg") jpegFacts(bytes, f);
    return f;
}

std::int32_t gifFrameCount(std::span<const std::uint8_t> b) noexcept {
    if (b.size() < 13) return 0;
    std::size_t at = 13;
    if (b[10] & 0x80) at += 3u << ((b[10] & 7) + 1);  // global colour table
    // Skips a run of data sub-blocks; false when it runs past the end.
    const auto skipSubBlocks = [&b, &at]() {
        while (at < b.size()) {
            const std::size_t n = b[at++];
            if (n == 0) return true;
            at += n;
        }
        return false;
    };
    std::int32_t frames = 0;
    while (at < b.size()) {
        const std::uint8_t block = b[at++];
        if (block == 0x3B) break;  // trailer
        if (block == 0x21) {       // extension: label, then sub-blocks
            ++at;
            if (!skipSubBlocks()) break;
        } else if (block == 0x2C) {  // image: descriptor, local table, code size, sub-blocks
            if (at + 9 > b.size()) break;
            const std::uint8_t packed = b[at + 8];
            at += 9;
            if (packed & 0x80) at += 3u << ((packed & 7) + 1);
            ++at;  // LZW minimum code size
            if (at > b.size()) break;
            ++frames;
            if (!skipSubBlocks()) break;
        } else {
            break;  // not a block: the rest is damaged
        }
    }
    return frames;
}

std::string_view imageTypeName(std::int32_t type) noexcept {
    if (type == imgCheckerBoard) return "checkerboard";
    for (const auto& [code, name] : kTypeNames)
        if (code == type) return name;
    return "unknown";
}

std::string imageTypeTable() {
    std::string table;
    std::size_t column = 0;
    for (const auto& [code, name] : kTypeNames) {
        if (code == imgNone || code == imgCreated || code == imgWMF || code == imgEMF) continue;
        const std::string item = std::to_string(code) + " " + std::string(name);
        if (column > 0 && column + item.size() + 2 > 78) {
            table += ",\n";
            column = 0;
        }
        table += (column == 0 ? "  " : ", ") + item;
        column += item.size() + 2;
    }
    return table + "\n";
}

}  // namespace talvrin::tool
