// The picture loader's bitmap-file decoder: every BMP variant in use becomes a 32-bit bitmap.
//
// Accepted: core (OS/2 1.x, 12-byte) headers, OS/2 2.x headers (16 to 64 bytes) and Windows
// information headers of 40 bytes and more (52, 56, 108, 124 ...); 1, 2, 4 and 8 bits a pixel
// with a palette, 16 and 32 bits with the default or explicit bit fields (alpha included), 24
// bits, RLE8, RLE4 and the OS/2 RLE24 run-length codings; top-down and bottom-up rows.
//
// The result is bottom-up, 4 bytes a pixel (B, G, R, A), straight alpha: 255 for every pixel of
// a format without an alpha field, the alpha field's value otherwise. Run-length pixels that
// the data skips (deltas, early end of line or bitmap, data that ends early) stay (0, 0, 0, 0).
// A palette shorter than the pixels' index range reads black past its end.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>

#include "base/byte_view.h"
#include "base/decode_failure.h"
#include "platform/gdi/bitmap.h"

namespace talvrin::platform {

// What the headers of a BMP file say, as the decoder reads them.
struct BmpInfo {
    std::int32_t width = 0;
    std::int32_t height = 0;  // rows, always positive
    bool topDown = false;     // first stored row is the top row
    std::uint16_t bitsPerPixel = 0;
    std::uint32_t compression = 0;  // Windows codes; OS/2 RLE24 is reported as kBmpRle24
    std::uint32_t headerSize = 0;
    std::uint64_t dataOffset = 0;  // from the first byte of the file
};

// Compression codes as the decoder reports them.
inline constexpr std::uint32_t kBmpRgb = 0;
inline constexpr std::uint32_t kBmpRle8 = 1;
inline constexpr std::uint32_t kBmpRle4 = 2;
inline constexpr std::uint32_t kBmpBitFields = 3;
inline constexpr std::uint32_t kBmpAlphaBitFields = 6;
inline constexpr std::uint32_t kBmpRle24 =
    0x100;  // OS/2 code 4, renumbered to stay apart from JPEG

// Reads and checks the headers into info. A failure when the bytes are not a BMP file the
// decoder can decode: wrong signature (not recognised), truncated header or pixel data offset
// past the end (truncated), zero or INT_MIN size, planes not 1 or a depth that does not go with
// the compression (bad header), Huffman, embedded JPEG or PNG and unknown codes (unsupported
// variant); info is then unchanged.
[[nodiscard]] LoadFailure readBmpInfo(ByteView file, BmpInfo& info) noexcept;

// Decodes a whole BMP file. No bitmap when readBmpInfo fails, when width x height exceeds
// maxPixels, the process's decode budget (base/decode_budget.h) or the bitmap's size limit (too
// large), when uncompressed pixel data runs past the end of the bytes (truncated), or when the
// bitmap cannot be allocated (out of memory); the failure says which.
[[nodiscard]] Decoded<std::unique_ptr<Bitmap>> decodeBmp(
    ByteView file, std::uint64_t maxPixels = std::numeric_limits<std::uint64_t>::max()) noexcept;

}  // namespace talvrin::platform
