// GIF decoding for the picture loader and the GIF parser: the walk from the signature to the
// first image, the LZW decoder (minimum code sizes 2-11, a 4096-entry table that stops growing
// when full, interlaced row order), and the first image kept as colour-table indices with the
// table it uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "base/byte_view.h"
#include "base/decode_failure.h"
#include "platform/picture/picture.h"

namespace talvrin::platform {

// Where the walk to the first image stopped.
enum class GifWalkStatus : std::uint8_t {
    kOk,               // the first image descriptor was found and its block lies in the data
    kNotGif,           // fewer than 6 bytes, or not "GIF87a" / "GIF89a" (any letter case)
    kUnexpectedBlock,  // a byte other than 0, 0x21 or 0x2C before the first image
    kShortImageBlock,  // the image block (descriptor through terminator) is under 4 bytes
    kNoColorTable,     // neither a global nor a local colour table
    kTruncated,        // a descriptor, table, extension or sub-block runs past the data
};

// The layout of a GIF up to and including its first image block; offsets are from the first
// byte of the data walked.
struct GifLayout {
    std::size_t headerLength = 0;  // signature, screen descriptor and global table
    std::uint32_t globalEntries = 0;
    bool hasControlExtension = false;
    std::size_t controlExtension = 0;  // the 0x21 of the last graphic control extension
    bool transparent = false;
    std::uint8_t transparentIndex = 0;
    std::size_t imageBlock = 0;        // the 0x2C separator
    std::size_t imageBlockLength = 0;  // separator through the terminating zero length byte
    std::int32_t width = 0;            // from the image descriptor
    std::int32_t height = 0;
    bool interlaced = false;
    std::size_t colorTable = 0;      // the table the image uses (local, else global)
    std::uint32_t tableEntries = 0;  // its entries (0 without any table)
    std::uint8_t minCodeSize = 0;
    std::size_t imageData = 0;  // the first sub-block length byte of the LZW data
};

// Walks bytes from the signature to the first image. On kOk every field is filled; on another
// status the fields read so far are kept and nothing else is promised.
[[nodiscard]] GifWalkStatus walkGifToFirstImage(ByteView bytes, GifLayout& layout) noexcept;

// Why the first image could not be decoded.
enum class GifDecodeStatus : std::uint8_t {
    kOk,               // every pixel decoded, or the data ended early (the rest stays index 0)
    kZeroSize,         // image width or height 0
    kTooLarge,         // width * height * 4 exceeds the signed 32-bit range, or the decode budget
    kBadMinCodeSize,   // minimum code size outside 2-11
    kBadCode,          // a code above the next free code (or the free code with no previous)
    kIndexOutOfTable,  // a pixel index at or beyond the colour table's entries
    kOutOfMemory,
};

// One image as colour-table indices.
struct GifImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> indices;  // width * height, top row first, rows de-interlaced
    std::vector<std::uint8_t> palette;  // tableEntries red, green, blue triples
    std::uint32_t tableEntries = 0;
    bool transparent = false;
    std::uint8_t transparentIndex = 0;
};

// LZW-decodes width * height pixels from the data sub-blocks at `subBlocks` (the first byte is
// a sub-block length) into `out`, which must hold width * height zero bytes and is written in
// display row order. Codes past the last pixel are ignored; data that ends before the end
// code or the last pixel leaves the remaining pixels at index 0.
[[nodiscard]] GifDecodeStatus decodeGifLzw(ByteView subBlocks, std::uint8_t minCodeSize,
                                           std::int32_t width, std::int32_t height, bool interlaced,
                                           std::uint32_t tableEntries,
                                           std::span<std::uint8_t> out) noexcept;

// Decodes the image of a walked layout (walk status kOk) into image.
[[nodiscard]] GifDecodeStatus decodeGifImage(ByteView bytes, const GifLayout& layout,
                                             GifImage& image) noexcept;

// The shared failure reasons of a walk and of a decode.
[[nodiscard]] DecodeFailure failureOf(GifWalkStatus status) noexcept;
[[nodiscard]] DecodeFailure failureOf(GifDecodeStatus status) noexcept;

// The first image of a walked layout (walk status kOk) as a GIF of its own: the signature, the
// screen descriptor with the image's size, the global table, the image block placed at (0, 0)
// and the trailer. The graphic control extension is left out, so a loader shows the image
// opaque in its table's colours, as decodeGifPicture does. Empty when memory runs out.
[[nodiscard]] std::vector<std::uint8_t> rebuildFirstImageGif(ByteView bytes,
                                                             const GifLayout& layout) noexcept;

// The picture loader's GIF route: the first image at its own size as a 24-bit bitmap picture
// in its table's colours. Null when the bytes are not a GIF with a decodable first image;
// *failure, when given, says why (kNone on success).
[[nodiscard]] std::unique_ptr<Picture> decodeGifPicture(ByteView bytes,
                                                        DecodeFailure* failure = nullptr) noexcept;

}  // namespace talvrin::platform
