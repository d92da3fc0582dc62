#include "platform/picture/gif_decoder.h"

#include <array>
#include <cstring>
#include <new>

#include "base/checked_math.h"
#include "base/decode_budget.h"
#include "platform/gdi/bitmap.h"

namespace talvrin::platform {

namespace {

constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kApplicationLabel = 0xFF;
constexpr std::uint8_t kControlLabel = 0xF9;
constexpr std::size_t kControlExtensionLength = 8;
constexpr std::size_t kScreenDescriptorEnd = 13;
constexpr std::size_t kImageDescriptorLength = 10;
constexpr std::uint32_t kMaxCodes = 4096;
constexpr int kMaxCodeBits = 12;

// The ways the image data fails.
constexpr LoadFailure kIndexOutOfTable{DecodeFailure::kBadData,
                                       "pixel index past the colour table"};
constexpr LoadFailure kBadCode{DecodeFailure::kBadData, "LZW code past the next free code"};
constexpr LoadFailure kBadMinCodeSize{DecodeFailure::kBadData, "LZW code size outside 2-11"};
constexpr LoadFailure kZeroSize{DecodeFailure::kBadHeader, "image width or height 0"};
constexpr LoadFailure kNoRoom{DecodeFailure::kOutOfMemory, "no room for the pixels"};
constexpr LoadFailure kBeyondSurface{DecodeFailure::kTooLarge, "beyond a 32-bit surface"};

char lowerAscii(std::uint8_t c) noexcept {
    return static_cast<char>((c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c);
}

bool hasGifSignature(ByteView bytes) noexcept {
    if (bytes.size() < 6) return false;
    char sig[6];
    for (std::size_t i = 0; i < 6; ++i)
        sig[i] = lowerAscii(bytes.data()[i]);
    return std::memcmp(sig, "gif89a", 6) == 0 || std::memcmp(sig, "gif87a", 6) == 0;
}

// Skips data sub-blocks from pos through their terminating zero length byte; false when a
// length byte lies outside the data.
bool skipSubBlocks(ByteView bytes, std::size_t& pos) noexcept {
    for (;;) {
        const auto len = bytes.u8(pos);
        if (!len) return false;
        ++pos;
        if (*len == 0) return true;
        pos += *len;
    }
}

// Skips the image's data sub-blocks; a run that leaves the data ends the block at the data's
// end (the decoder then leaves the pixels it has no codes for at index 0).
std::size_t skipImageSubBlocks(ByteView bytes, std::size_t pos) noexcept {
    for (;;) {
        const auto len = bytes.u8(pos);
        if (!len) return bytes.size();
        ++pos;
        if (*len == 0) return pos;
        if (!bytes.contains(pos, *len)) return bytes.size();
        pos += *len;
    }
}

// Concatenates the payload of the data sub-blocks at pos, stopping at the terminator or at the
// end of the data.
bool gatherSubBlocks(ByteView bytes, std::size_t pos, std::vector<std::uint8_t>& out) noexcept {
    try {
        out.clear();
        out.reserve(bytes.size() > pos ? bytes.size() - pos : 0);
        for (;;) {
            const auto len = bytes.u8(pos);
            if (!len || *len == 0) return true;
            ++pos;
            const std::size_t available =
                bytes.size() - pos < *len ? bytes.size() - pos : std::size_t{*len};
            out.insert(out.end(), bytes.data() + pos, bytes.data() + pos + available);
            if (available < *len) return true;
            pos += available;
        }
    } catch (...) {
        return false;
    }
}

// Display row of the n-th row in interlaced order.
void interlacedRowOrder(std::int32_t height, std::vector<std::int32_t>& rows) {
    rows.clear();
    rows.reserve(static_cast<std::size_t>(height));
    static constexpr std::array<std::array<std::int32_t, 2>, 4> kPasses = {
        {{0, 8}, {4, 8}, {2, 4}, {1, 2}}};
    for (const auto& pass : kPasses) {
        for (std::int32_t y = pass[0]; y < height; y += pass[1])
            rows.push_back(y);
    }
}

// The LZW core over contiguous code bytes, writing up to out.size() pixels in stream order.
// Each table entry records where its string was first written and its length: an entry made
// from the previous string plus the first pixel of the current one is exactly the output
// from the previous string's start, one pixel longer than it, so strings are copied from the
// output itself rather than walked through a prefix chain.
LoadFailure lzwDecode(std::span<const std::uint8_t> codes, std::uint8_t minCodeSize,
                      std::uint32_t tableEntries, std::span<std::uint8_t> out) noexcept {
    std::array<std::uint32_t, kMaxCodes> position;
    std::array<std::uint16_t, kMaxCodes> length;

    const std::uint32_t clearCode = 1u << minCodeSize;
    const std::uint32_t endCode = clearCode + 1;
    std::uint32_t nextCode = clearCode + 2;
    int codeBits = minCodeSize + 1;
    std::uint32_t codeMask = (1u << codeBits) - 1;
    // A literal at or beyond the colour table is an error; literals are the only source of
    // pixel values, so checking them checks every pixel.
    const std::uint32_t literalLimit = tableEntries < clearCode ? tableEntries : clearCode;

    const std::uint8_t* in = codes.data();
    const std::uint8_t* const inEnd = in + codes.size();
    std::uint64_t bitBuffer = 0;
    int bitCount = 0;

    std::uint8_t* const dst = out.data();
    const std::size_t total = out.size();
    std::size_t pos = 0;
    bool havePrevious = false;
    std::size_t prevPos = 0;
    std::size_t prevLen = 0;
    // A short copy writes 8 bytes; when decoding stops, the bytes it wrote past its string
    // (at most 8 from pos) are cleared so every pixel without a code stays 0.
    const auto clearTail = [&]() noexcept {
        std::memset(dst + pos, 0, total - pos < 8 ? total - pos : 8);
    };

    while (pos < total) {
        while (bitCount < codeBits) {
            if (in == inEnd) {
                clearTail();  // data ended early
                return {};
            }
            bitBuffer |= static_cast<std::uint64_t>(*in++) << bitCount;
            bitCount += 8;
        }
        const std::uint32_t code = static_cast<std::uint32_t>(bitBuffer) & codeMask;
        bitBuffer >>= codeBits;
        bitCount -= codeBits;

        if (code == clearCode) {
            nextCode = clearCode + 2;
            codeBits = minCodeSize + 1;
            codeMask = (1u << codeBits) - 1;
            havePrevious = false;
            continue;
        }
        if (code == endCode) {
            clearTail();
            return {};
        }

        std::size_t len;
        if (code < clearCode) {
            if (code >= literalLimit) {
                clearTail();
                return kIndexOutOfTable;
            }
            dst[pos] = static_cast<std::uint8_t>(code);
            len = 1;
        } else if (code < nextCode) {
            len = length[code];
            const std::size_t from = position[code];
            const std::size_t room = total - pos;
            if (len > room) {
                std::memcpy(dst + pos, dst + from, room);
                return {};
            }
            // The source ends at or before pos, so the ranges never overlap.
            if (len <= 8 && room >= 8) {
                std::uint64_t v;
                std::memcpy(&v, dst + from, 8);
                std::memcpy(dst + pos, &v, 8);
            } else {
                std::memcpy(dst + pos, dst + from, len);
            }
        } else if (code == nextCode && havePrevious) {
            // The string being defined: the previous string plus its own first pixel.
            len = prevLen + 1;
            const std::size_t room = total - pos;
            const std::size_t copy = prevLen < room ? prevLen : room;
            std::memcpy(dst + pos, dst + prevPos, copy);
            if (len > room) return {};
            dst[pos + prevLen] = dst[prevPos];
        } else {
            clearTail();
            return kBadCode;
        }

        if (havePrevious && nextCode < kMaxCodes) {
            position[nextCode] = static_cast<std::uint32_t>(prevPos);
            length[nextCode] = static_cast<std::uint16_t>(prevLen + 1);
            ++nextCode;
            if (nextCode == (1u << codeBits) && codeBits < kMaxCodeBits) {
                ++codeBits;
                codeMask = (1u << codeBits) - 1;
            }
        }
        havePrevious = true;
        prevPos = pos;
        prevLen = len;
        pos += len;
    }
    return {};
}

}  // namespace

LoadFailure walkGifToFirstImage(ByteView bytes, GifLayout& layout) noexcept {
    constexpr LoadFailure kBlockCut{DecodeFailure::kTruncated, "block past the data"};
    layout = GifLayout{};
    if (!hasGifSignature(bytes)) return {DecodeFailure::kNotRecognised, {}};
    const auto screenPacked = bytes.u8(10);
    if (!screenPacked || !bytes.contains(0, kScreenDescriptorEnd))
        return {DecodeFailure::kTruncated, "screen descriptor"};

    std::size_t header = kScreenDescriptorEnd;
    if (*screenPacked & 0x80) {
        layout.globalEntries = 2u << (*screenPacked & 0x07);
        header += 3 * std::size_t{layout.globalEntries};
        if (!bytes.contains(0, header)) return {DecodeFailure::kTruncated, "global colour table"};
    }
    layout.headerLength = header;

    std::size_t pos = header;
    for (;;) {
        const auto block = bytes.u8(pos);
        if (!block) return kBlockCut;
        if (*block == 0) {
            ++pos;
        } else if (*block == kExtensionIntroducer) {
            const auto label = bytes.u8(pos + 1);
            if (!label) return kBlockCut;
            if (*label == kApplicationLabel) {
                const auto size = bytes.u8(pos + 2);
                if (!size) return kBlockCut;
                pos += 3 + std::size_t{*size};
                if (!skipSubBlocks(bytes, pos)) return kBlockCut;
            } else if (*label == kControlLabel) {
                if (!bytes.contains(pos, kControlExtensionLength)) return kBlockCut;
                layout.hasControlExtension = true;
                layout.controlExtension = pos;
                layout.transparent = (bytes.data()[pos + 3] & 0x01) != 0;
                if (layout.transparent) layout.transparentIndex = bytes.data()[pos + 6];
                pos += kControlExtensionLength;
            } else {
                pos += 2;
                if (!skipSubBlocks(bytes, pos)) return kBlockCut;
            }
        } else if (*block == kImageSeparator) {
            break;
        } else {
            return {DecodeFailure::kBadData, "unexpected block before the image"};
        }
    }

    const std::size_t image = pos;
    layout.imageBlock = image;
    if (!bytes.contains(image, kImageDescriptorLength)) return kBlockCut;
    layout.width = *bytes.u16le(image + 5);
    layout.height = *bytes.u16le(image + 7);
    const std::uint8_t packed = bytes.data()[image + 9];
    layout.interlaced = (packed & 0x40) != 0;
    layout.colorTable = kScreenDescriptorEnd;
    layout.tableEntries = layout.globalEntries;
    std::size_t codeSizeAt = image + kImageDescriptorLength;
    if (packed & 0x80) {
        layout.tableEntries = 2u << (packed & 0x07);
        layout.colorTable = image + kImageDescriptorLength;
        codeSizeAt += 3 * std::size_t{layout.tableEntries};
    }
    const auto minCodeSize = bytes.u8(codeSizeAt);
    if (!minCodeSize) return kBlockCut;
    layout.minCodeSize = *minCodeSize;
    layout.imageData = codeSizeAt + 1;
    const std::size_t end = skipImageSubBlocks(bytes, layout.imageData);
    layout.imageBlockLength = end - image;
    if (layout.imageBlockLength - 1 < 3)
        return {DecodeFailure::kBadData, "image block under 4 bytes"};
    if (layout.tableEntries == 0) return {DecodeFailure::kBadHeader, "no colour table"};
    return {};
}

LoadFailure decodeGifLzw(ByteView subBlocks, std::uint8_t minCodeSize, std::int32_t width,
                         std::int32_t height, bool interlaced, std::uint32_t tableEntries,
                         std::span<std::uint8_t> out) noexcept {
    if (minCodeSize < 2 || minCodeSize > 11) return kBadMinCodeSize;
    if (width <= 0 || height <= 0) return kZeroSize;
    if (!imageByteCount32(width, height)) return kBeyondSurface;
    const std::size_t total = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (out.size() < total) return kNoRoom;
    out = out.first(total);

    std::vector<std::uint8_t> codes;
    if (!gatherSubBlocks(subBlocks, 0, codes)) return kNoRoom;
    if (!interlaced) return lzwDecode(codes, minCodeSize, tableEntries, out);

    try {
        std::vector<std::uint8_t> streamOrder(total, 0);
        const LoadFailure failure = lzwDecode(codes, minCodeSize, tableEntries, streamOrder);
        if (failure.failed()) return failure;
        std::vector<std::int32_t> rows;
        interlacedRowOrder(height, rows);
        const std::size_t stride = static_cast<std::size_t>(width);
        for (std::size_t n = 0; n < rows.size(); ++n) {
            std::memcpy(out.data() + static_cast<std::size_t>(rows[n]) * stride,
                        streamOrder.data() + n * stride, stride);
        }
        return {};
    } catch (...) {
        return kNoRoom;
    }
}

LoadFailure decodeGifImage(ByteView bytes, const GifLayout& layout, GifImage& image) noexcept {
    image = GifImage{};
    if (layout.minCodeSize < 2 || layout.minCodeSize > 11) return kBadMinCodeSize;
    if (layout.width <= 0 || layout.height <= 0) return kZeroSize;
    // Checked before the index buffer is allocated: a few bytes can declare a huge image.
    if (!imageByteCount32(layout.width, layout.height)) return kBeyondSurface;
    if (!withinDecodeBudget(static_cast<std::uint64_t>(layout.width),
                            static_cast<std::uint64_t>(layout.height)))
        return {DecodeFailure::kTooLarge, "beyond the decode budget"};
    const auto table = bytes.sub(layout.colorTable, 3 * std::uint64_t{layout.tableEntries});
    if (!table) return kIndexOutOfTable;
    try {
        image.indices.assign(
            static_cast<std::size_t>(layout.width) * static_cast<std::size_t>(layout.height), 0);
        image.palette.assign(table->data(), table->data() + table->size());
    } catch (...) {
        image = GifImage{};
        return kNoRoom;
    }
    image.width = layout.width;
    image.height = layout.height;
    image.tableEntries = layout.tableEntries;
    image.transparent = layout.transparent;
    image.transparentIndex = layout.transparentIndex;
    return decodeGifLzw(bytes.from(layout.imageData), layout.minCodeSize, layout.width,
                        layout.height, layout.interlaced, layout.tableEntries, image.indices);
}

std::vector<std::uint8_t> rebuildFirstImageGif(ByteView bytes, const GifLayout& layout) noexcept {
    const auto header = bytes.sub(0, layout.headerLength);
    const auto image = bytes.sub(layout.imageBlock, layout.imageBlockLength);
    if (!header || !image || header->size() < 13 || image->size() < 10) return {};
    try {
        std::vector<std::uint8_t> out;
        out.reserve(header->size() + image->size() + 1);
        out.insert(out.end(), header->data(), header->data() + header->size());
        const std::size_t block = out.size();
        out.insert(out.end(), image->data(), image->data() + image->size());
        out.push_back(0x3B);
        // The image at (0, 0), and the screen exactly its size.
        std::memset(out.data() + block + 1, 0, 4);
        std::memcpy(out.data() + 6, out.data() + block + 5, 4);
        return out;
    } catch (...) {
        return {};
    }
}

Decoded<std::unique_ptr<Picture>> decodeGifPicture(ByteView bytes) noexcept {
    GifLayout layout;
    if (const LoadFailure walk = walkGifToFirstImage(bytes, layout); walk.failed())
        return {nullptr, walk};
    GifImage image;
    if (const LoadFailure decode = decodeGifImage(bytes, layout, image); decode.failed())
        return {nullptr, decode};
    auto bitmap = Bitmap::create(image.width, image.height, 24);
    if (!bitmap) {
        if (bitmapSizeFits(image.width, image.height, 24))
            return {nullptr, {DecodeFailure::kOutOfMemory, "no room for the bitmap"}};
        return {nullptr, {DecodeFailure::kTooLarge, "beyond a 24-bit bitmap"}};
    }
    const std::uint8_t* palette = image.palette.data();
    const std::size_t width = static_cast<std::size_t>(image.width);
    for (std::int32_t y = 0; y < image.height; ++y) {
        const std::uint8_t* src = image.indices.data() + static_cast<std::size_t>(y) * width;
        std::uint8_t* dst = bitmap->rowFromTop(y);
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint8_t* rgb = palette + 3 * std::size_t{src[x]};
            dst[3 * x] = rgb[2];
            dst[3 * x + 1] = rgb[1];
            dst[3 * x + 2] = rgb[0];
        }
    }
    return {Picture::fromBitmap(std::move(bitmap)), {}};
}

}  // namespace talvrin::platform
