#include "platform/picture/bmp_decoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <optional>
#include <vector>

#include "base/checked_math.h"
#include "base/decode_budget.h"
#include "base/pixels.h"

namespace talvrin::platform {

namespace {

constexpr std::uint64_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kOpaque = 0xFF000000u;

// Everything the pixel decoding needs beyond BmpInfo.
struct BmpLayout {
    BmpInfo info;
    std::array<std::uint32_t, 256> palette{};  // B, G, R, A little-endian; black past its end
    std::array<std::uint32_t, 4> masks{};      // red, green, blue, alpha
};

bool isWindowsHeader(std::uint32_t size) noexcept {
    // 40, 52 and 56 are the Windows information headers; 64 is the full OS/2 2.x header, and
    // anything else between 16 and 64 a truncated one. Larger sizes follow the Windows layout.
    return size == 40 || size == 52 || size == 56 || size > 64;
}

// Reads and checks the headers: no failure when the file is one the decoder reads, else why not.
LoadFailure readLayout(ByteView file, BmpLayout& out) noexcept {
    BmpInfo& info = out.info;
    if (file.u16le(0).value_or(0) != 0x4D42) return {DecodeFailure::kNotRecognised, {}};
    const auto offBits = file.u32le(10);
    const auto headerSize = file.u32le(14);
    if (!offBits || !headerSize) return {DecodeFailure::kTruncated, "file header"};
    info.headerSize = *headerSize;
    if (info.headerSize < kCoreHeaderSize ||
        (info.headerSize > kCoreHeaderSize && info.headerSize < 16))
        return {DecodeFailure::kBadHeader, "header size"};
    if (!file.contains(kFileHeaderSize, info.headerSize))
        return {DecodeFailure::kTruncated, "information header"};

    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint16_t planes = 0;
    std::uint32_t compression = kBmpRgb;
    std::uint32_t colorsUsed = 0;
    std::uint64_t entrySize = 4;
    std::uint64_t paletteStart = kFileHeaderSize + info.headerSize;
    if (info.headerSize == kCoreHeaderSize) {
        width = *file.u16le(18);
        height = *file.u16le(20);
        planes = *file.u16le(22);
        info.bitsPerPixel = *file.u16le(24);
        entrySize = 3;
    } else {
        width = *file.i32le(18);
        height = *file.i32le(22);
        planes = *file.u16le(26);
        info.bitsPerPixel = *file.u16le(28);
        if (info.headerSize >= 20) compression = *file.u32le(30);
        if (info.headerSize >= 36) colorsUsed = *file.u32le(46);
        if (isWindowsHeader(info.headerSize)) {
            if (compression == kBmpBitFields || compression == kBmpAlphaBitFields) {
                const int maskCount = compression == kBmpAlphaBitFields ? 4 : 3;
                if (info.headerSize == kInfoHeaderSize) {
                    // The masks follow the 40-byte header, ahead of any palette.
                    for (int i = 0; i < maskCount; ++i) {
                        const auto m = file.u32le(paletteStart + 4u * i);
                        if (!m) return {DecodeFailure::kTruncated, "bit field masks"};
                        out.masks[i] = *m;
                    }
                    paletteStart += 4u * maskCount;
                } else {
                    for (int i = 0; i < 3; ++i)
                        out.masks[i] = *file.u32le(54 + 4u * i);
                    if (info.headerSize >= 56) out.masks[3] = *file.u32le(66);
                }
            }
        } else {
            // OS/2 2.x codes: 3 is Huffman 1D (not decoded), 4 is RLE24.
            if (compression == 3) return {DecodeFailure::kUnsupported, "Huffman 1D coding"};
            if (compression == 4) compression = kBmpRle24;
        }
    }
    info.compression = compression;

    if (width < 1 || height == 0 || height == INT32_MIN)
        return {DecodeFailure::kBadHeader, "width or height"};
    info.topDown = height < 0;
    info.width = static_cast<std::int32_t>(width);
    info.height = static_cast<std::int32_t>(height < 0 ? -height : height);
    if (planes != 1) return {DecodeFailure::kBadHeader, "planes not 1"};

    const std::uint16_t bpp = info.bitsPerPixel;
    constexpr LoadFailure kBadDepth{DecodeFailure::kBadHeader, "depth and compression"};
    switch (compression) {
        case kBmpRgb:
            if (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
                return kBadDepth;
            break;
        case kBmpRle8:
            if (bpp != 8) return kBadDepth;
            break;
        case kBmpRle4:
            if (bpp != 4) return kBadDepth;
            break;
        case kBmpRle24:
            if (bpp != 24) return kBadDepth;
            break;
        case kBmpBitFields:
        case kBmpAlphaBitFields:
            if (bpp != 16 && bpp != 32) return kBadDepth;
            break;
        default:
            return {DecodeFailure::kUnsupported, "compression: embedded JPEG or PNG, or unknown"};
    }
    if (compression == kBmpRgb && bpp == 16) {
        out.masks = {0x7C00u, 0x03E0u, 0x001Fu, 0};
    } else if (compression == kBmpRgb && bpp == 32) {
        out.masks = {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0};
    }

    // Palette: the header's colour count (all 2^bpp when it gives none), at most what lies
    // between the headers and the pixel data; the entries past it stay black.
    out.palette.fill(kOpaque);
    std::uint64_t paletteCount = 0;
    if (bpp <= 8) {
        const std::uint64_t full = std::uint64_t{1} << bpp;
        paletteCount = (colorsUsed == 0 || colorsUsed > full) ? full : colorsUsed;
        const std::uint64_t end = (*offBits > paletteStart) ? *offBits : file.size();
        const std::uint64_t limit = std::min<std::uint64_t>(end, file.size());
        const std::uint64_t room = limit > paletteStart ? (limit - paletteStart) / entrySize : 0;
        paletteCount = std::min(paletteCount, room);
        for (std::uint64_t i = 0; i < paletteCount; ++i) {
            const std::uint8_t* p = file.data() + paletteStart + i * entrySize;
            out.palette[i] =
                kOpaque | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
        }
    }

    // A zero offset (seen in old writers) means the pixels follow the palette directly.
    info.dataOffset = *offBits != 0 ? *offBits : paletteStart + paletteCount * entrySize;
    if (info.dataOffset > file.size()) return {DecodeFailure::kTruncated, "pixel data offset"};
    return {};
}

// One bit-field channel: its value is (pixel & mask) >> shift, scaled from 0 ... max to 0 ... 255
// with rounding. Narrow fields go through a table.
class Channel {
  public:
    explicit Channel(std::uint32_t mask) : mask_(mask) {
        if (mask == 0) return;
        shift_ = std::countr_zero(mask);
        max_ = mask >> shift_;
        if (max_ < 65536) {
            table_.resize(max_ + 1);
            for (std::uint32_t v = 0; v <= max_; ++v)
                table_[v] = scale(v);
        }
    }
    [[nodiscard]] bool present() const noexcept { return mask_ != 0; }
    [[nodiscard]] std::uint32_t operator()(std::uint32_t pixel) const noexcept {
        const std::uint32_t v = (pixel & mask_) >> shift_;
        return table_.empty() ? scale(v) : table_[v];
    }

  private:
    [[nodiscard]] std::uint8_t scale(std::uint32_t v) const noexcept {
        return static_cast<std::uint8_t>((std::uint64_t{v} * 255 + max_ / 2) / max_);
    }
    std::uint32_t mask_;
    int shift_ = 0;
    std::uint32_t max_ = 1;
    std::vector<std::uint8_t> table_;
};

// Converts one stored row of width pixels into 32-bit output.
void convertRow(const BmpLayout& layout, const std::uint8_t* src, std::uint32_t* dst,
                std::int32_t width, const Channel* channels) noexcept {
    const auto& pal = layout.palette;
    switch (layout.info.bitsPerPixel) {
        case 1:
            for (std::int32_t x = 0; x < width; ++x)
                dst[x] = pal[(src[x >> 3] >> (7 - (x & 7))) & 1];
            break;
        case 2:
            for (std::int32_t x = 0; x < width; ++x)
                dst[x] = pal[(src[x >> 2] >> (6 - 2 * (x & 3))) & 3];
            break;
        case 4:
            for (std::int32_t x = 0; x < width; ++x)
                dst[x] = pal[(src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
            break;
        case 8:
            for (std::int32_t x = 0; x < width; ++x)
                dst[x] = pal[src[x]];
            break;
        case 24:
            for (std::int32_t x = 0; x < width; ++x, src += 3)
                dst[x] =
                    kOpaque | (std::uint32_t{src[2]} << 16) | (std::uint32_t{src[1]} << 8) | src[0];
            break;
        case 16:
        case 32: {
            const bool wide = layout.info.bitsPerPixel == 32;
            const auto& m = layout.masks;
            if (wide && m[0] == 0x00FF0000u && m[1] == 0x0000FF00u && m[2] == 0x000000FFu &&
                (m[3] == 0 || m[3] == 0xFF000000u)) {
                // The common layout: bytes already in B, G, R, A order.
                std::memcpy(dst, src, static_cast<std::size_t>(width) * 4);
                if (m[3] == 0)
                    for (std::int32_t x = 0; x < width; ++x)
                        dst[x] |= kOpaque;
                break;
            }
            for (std::int32_t x = 0; x < width; ++x) {
                const std::uint32_t px =
                    wide ? (std::uint32_t{src[4 * x]} | (std::uint32_t{src[4 * x + 1]} << 8) |
                            (std::uint32_t{src[4 * x + 2]} << 16) |
                            (std::uint32_t{src[4 * x + 3]} << 24))
                         : (std::uint32_t{src[2 * x]} | (std::uint32_t{src[2 * x + 1]} << 8));
                const std::uint32_t a = channels[3].present() ? channels[3](px) : 255u;
                dst[x] =
                    (a << 24) | (channels[0](px) << 16) | (channels[1](px) << 8) | channels[2](px);
            }
            break;
        }
        default:
            break;
    }
}

// Destination row for stored row r (counted in file order).
std::uint32_t* outputRow(Bitmap& bitmap, const BmpInfo& info, std::int64_t r) noexcept {
    std::uint8_t* row = info.topDown
                            ? bitmap.rowFromTop(static_cast<std::int32_t>(r))
                            : bitmap.bits() + static_cast<std::size_t>(r) *
                                                  static_cast<std::size_t>(bitmap.stride());
    return reinterpret_cast<std::uint32_t*>(row);
}

// Bytes of uncompressed pixel data: every row padded to 4 bytes except that the last one may
// lack its padding. Nothing when the size does not fit in 64 bits.
std::optional<std::uint64_t> uncompressedBytes(const BmpInfo& info) noexcept {
    const std::uint64_t rowBits = std::uint64_t(info.width) * info.bitsPerPixel;
    const std::uint64_t stride = dwordAlignedRowBytes(info.width, info.bitsPerPixel);
    const auto body = checkedMul<std::uint64_t>(stride, std::uint64_t(info.height) - 1);
    if (!body) return std::nullopt;
    return checkedAdd<std::uint64_t>(*body, (rowBits + 7) / 8);
}

bool decodeUncompressed(ByteView file, const BmpLayout& layout, Bitmap& bitmap) {
    const BmpInfo& info = layout.info;
    const std::uint64_t stride = dwordAlignedRowBytes(info.width, info.bitsPerPixel);
    const auto need = uncompressedBytes(info);
    if (!need || !file.contains(info.dataOffset, *need)) return false;

    std::vector<Channel> channels;
    if (info.bitsPerPixel == 16 || info.bitsPerPixel == 32) {
        channels.reserve(4);
        for (std::uint32_t m : layout.masks)
            channels.emplace_back(m);
    }
    const std::uint8_t* src = file.data() + info.dataOffset;
    for (std::int64_t r = 0; r < info.height; ++r, src += stride)
        convertRow(layout, src, outputRow(bitmap, info, r), info.width, channels.data());
    return true;
}

// RLE8, RLE4 and RLE24. Writes are clipped to the image; the data ending early keeps what was
// decoded so far.
void decodeRunLength(ByteView file, const BmpLayout& layout, Bitmap& bitmap) noexcept {
    const BmpInfo& info = layout.info;
    const std::uint8_t* p = file.data() + info.dataOffset;
    const std::uint8_t* const end = file.data() + file.size();
    const std::int64_t width = info.width;
    const std::int64_t height = info.height;
    const std::uint32_t kind = info.compression;
    const auto& pal = layout.palette;
    std::int64_t x = 0;
    std::int64_t y = 0;
    std::uint32_t* row = outputRow(bitmap, info, 0);

    auto put = [&](std::uint32_t value) {
        if (x < width) row[x] = value;
        ++x;
    };
    while (y < height && end - p >= 2) {
        const std::uint8_t count = p[0];
        const std::uint8_t code = p[1];
        p += 2;
        if (count > 0) {
            // Encoded run. Pixels past the row's end are dropped.
            const std::int64_t n =
                std::min<std::int64_t>(count, std::max<std::int64_t>(width - x, 0));
            if (kind == kBmpRle8) {
                const std::uint32_t v = pal[code];
                for (std::int64_t i = 0; i < n; ++i)
                    row[x + i] = v;
            } else if (kind == kBmpRle4) {
                const std::uint32_t v[2] = {pal[code >> 4], pal[code & 15]};
                for (std::int64_t i = 0; i < n; ++i)
                    row[x + i] = v[i & 1];
            } else {
                // RLE24 runs are the count and then blue, green and red: `code` is the blue.
                if (end - p < 2) break;
                const std::uint32_t v =
                    kOpaque | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[0]} << 8) | code;
                p += 2;
                for (std::int64_t i = 0; i < n; ++i)
                    row[x + i] = v;
            }
            x += count;
            continue;
        }
        if (code == 0) {  // end of line
            x = 0;
            if (++y < height) row = outputRow(bitmap, info, y);
        } else if (code == 1) {  // end of bitmap
            break;
        } else if (code == 2) {  // delta: move right and up (in stored row order)
            if (end - p < 2) break;
            x += p[0];
            y += p[1];
            p += 2;
            if (y < height) row = outputRow(bitmap, info, y);
        } else {
            // Absolute run of `code` pixels, padded to an even number of bytes.
            const std::uint64_t n = code;
            const std::uint64_t bytes = kind == kBmpRle8   ? n
                                        : kind == kBmpRle4 ? (n + 1) / 2
                                                           : n * 3;
            const std::uint64_t padded = (bytes + 1) & ~std::uint64_t{1};
            const std::uint64_t avail = static_cast<std::uint64_t>(end - p);
            const std::uint64_t usable = std::min(bytes, avail);
            if (kind == kBmpRle8) {
                for (std::uint64_t i = 0; i < usable; ++i)
                    put(pal[p[i]]);
            } else if (kind == kBmpRle4) {
                for (std::uint64_t i = 0; i < n && i / 2 < usable; ++i)
                    put(pal[(i & 1) ? (p[i / 2] & 15) : (p[i / 2] >> 4)]);
            } else {
                for (std::uint64_t i = 0; i + 3 <= usable; i += 3)
                    put(kOpaque | (std::uint32_t{p[i + 2]} << 16) | (std::uint32_t{p[i + 1]} << 8) |
                        p[i]);
            }
            if (padded > avail) break;
            p += padded;
        }
    }
}

}  // namespace

LoadFailure readBmpInfo(ByteView file, BmpInfo& info) noexcept {
    BmpLayout layout;
    const LoadFailure failure = readLayout(file, layout);
    if (!failure.failed()) info = layout.info;
    return failure;
}

Decoded<std::unique_ptr<Bitmap>> decodeBmp(ByteView file, std::uint64_t maxPixels) noexcept {
    try {
        auto layout = std::make_unique<BmpLayout>();
        if (const LoadFailure failure = readLayout(file, *layout); failure.failed())
            return {nullptr, failure};
        const BmpInfo& info = layout->info;
        const auto pixels = checkedMul<std::uint64_t>(static_cast<std::uint64_t>(info.width),
                                                      static_cast<std::uint64_t>(info.height));
        if (!pixels || *pixels > maxPixels ||
            !withinDecodeBudget(static_cast<std::uint64_t>(info.width),
                                static_cast<std::uint64_t>(info.height)))
            return {nullptr, {DecodeFailure::kTooLarge, "beyond the pixel limit"}};
        const bool runLength = info.compression == kBmpRle8 || info.compression == kBmpRle4 ||
                               info.compression == kBmpRle24;
        // Uncompressed pixel data must be there before a large buffer is allocated for it.
        constexpr LoadFailure kPixelsCut{DecodeFailure::kTruncated, "pixel data"};
        if (!runLength) {
            const auto need = uncompressedBytes(info);
            if (!need || !file.contains(info.dataOffset, *need)) return {nullptr, kPixelsCut};
        }
        auto bitmap = Bitmap::create(info.width, info.height, 32);
        if (!bitmap) {
            // Beyond the bitmap's 32-bit size, or no memory for it.
            if (bitmapSizeFits(info.width, info.height, 32))
                return {nullptr, {DecodeFailure::kOutOfMemory, "no room for the bitmap"}};
            return {nullptr, {DecodeFailure::kTooLarge, "beyond a 32-bit bitmap"}};
        }
        if (runLength) {
            decodeRunLength(file, *layout, *bitmap);
        } else if (!decodeUncompressed(file, *layout, *bitmap)) {
            return {nullptr, kPixelsCut};
        }
        return {std::move(bitmap), {}};
    } catch (...) {
        return {nullptr, {DecodeFailure::kOutOfMemory, "no room to decode"}};
    }
}

}  // namespace talvrin::platform
