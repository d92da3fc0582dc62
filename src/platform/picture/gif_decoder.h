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

// Walks bytes from the signature to the first image. Without a failure the first image
// descriptor was found, its block lies in the data, and every field is filled. Otherwise the
// fields read so far are kept and nothing else is promised; the failures: fewer than 6 bytes, or
// not "GIF87a" / "GIF89a" in any letter case (not recognised); a descriptor, table, extension or
// sub-block that runs past the data (truncated); a byte other than 0, 0x21 or 0x2C before the
// first image, or an image block (descriptor through terminator) under 4 bytes (bad data);
// neither a global nor a local colour table (bad header).
[[nodiscard]] LoadFailure walkGifToFirstImage(ByteView bytes, GifLayout& layout) noexcept;

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
// code or the last pixel leaves the remaining pixels at index 0 (no failure). The failures: a
// minimum code size outside 2-11, a code above the next free code (or the free code with no
// previous), a pixel index at or beyond the colour table's entries (bad data); width or height
// 0 (bad header); width * height * 4 beyond the signed 32-bit range (too large); out smaller
// than the image, or no memory (out of memory).
[[nodiscard]] LoadFailure decodeGifLzw(ByteView subBlocks, std::uint8_t minCodeSize,
                                       std::int32_t width, std::int32_t height, bool interlaced,
                                       std::uint32_t tableEntries,
                                       std::span<std::uint8_t> out) noexcept;

// Decodes the image of a walked layout (a walk without failure) into image; the failures of
// decodeGifLzw, and too large also beyond the decode budget.
[[nodiscard]] LoadFailure decodeGifImage(ByteView bytes, const GifLayout& layout,
                                         GifImage& image) noexcept;

// The first image of a walked layout (a walk without failure) as a GIF of its own: the signature,
// the screen descriptor with the image's size, the global table, the image block placed at (0, 0)
// and the trailer. The graphic control extension is left out, so a loader shows the image
// opaque in its table's colours, as decodeGifPicture does. Empty when memory runs out.
[[nodiscard]] std::vector<std::uint8_t> rebuildFirstImageGif(ByteView bytes,
                                                             const GifLayout& layout) noexcept;

// The picture loader's GIF route: the first image at its own size as a 24-bit bitmap picture
// in its table's colours. No picture when the bytes are not a GIF with a decodable first image,
// with the walk's or the decode's failure.
[[nodiscard]] Decoded<std::unique_ptr<Picture>> decodeGifPicture(ByteView bytes) noexcept;

}  // namespace talvrin::platform
