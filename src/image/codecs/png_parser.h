// cPNGparser: turns PNG data, held in the caller's bytes or in an open file, into a surface.
// One object serves one load. The imaging-library bridge has no decoder on this platform, so
// the parser's own decoder handles every PNG: the chunk walk (png_parser.cpp), decompression
// through the compression library with the built-in inflater as fallback, and the pixel work of
// png_pixels.h.
//
// The decode runs row by row while the chunks are walked: each IDAT chunk's data is inflated
// into a window of rows that are unfiltered and converted straight into the surface, and a file
// is read a piece at a time. The result is the one the whole-buffer order gives (gather every
// IDAT, uncompress it whole, else inflate it with the built-in inflater from the start, then
// decode): a walk that fails after the image began gives no image; when the library's stream
// fails, the built-in inflater runs over the IDAT data from its start (gathered again, from the
// bytes or the file) into a fresh image; and a header, palette or transparency chunk after the
// image data began (which the whole-buffer order would have applied to all of it) restarts the
// decode from the first IDAT once the walk is done. The rows go into a bitmap of the decoder's
// own, which the surface takes only once the image is whole: a load whose data does not
// decompress leaves the caller's surface as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "base/byte_view.h"
#include "base/decode_failure.h"
#include "image/codecs/compression.h"
#include "image/codecs/png_pixels.h"
#include "platform/gdi/bitmap.h"

namespace talvrin {

class c32bppDIB;
namespace platform {
class File;
}

class cPNGparser {
  public:
    // Decodes `streamLength` bytes of `Stream` from `streamOffset` (a view, no copy) into
    // dibClass. True when the data carries a PNG signature, whether or not it decoded: the
    // surface then holds the image, or nothing (see lastLoadFailure). False for a range that lies
    // outside Stream. GlobalToken is the surface's imaging-library token, handed on to the bridge.
    bool LoadStream(std::span<const std::uint8_t> Stream, c32bppDIB& dibClass,
                    std::int32_t streamOffset, std::int32_t streamLength,
                    std::uint32_t& GlobalToken) noexcept;

    // The same for an open file, read from its start. True for a file of at least 57 bytes with
    // a PNG signature.
    bool LoadFile(platform::File& FileHandle, std::u16string_view FileName, c32bppDIB& dibClass,
                  std::uint32_t& GlobalToken) noexcept;
    // The same for a file the caller has already read whole (fileBytes is the file's content),
    // so that a load reads its file once.
    bool LoadFile(ByteView fileBytes, std::u16string_view FileName, c32bppDIB& dibClass,
                  std::uint32_t& GlobalToken) noexcept;

    // Why the last load left no image: not recognised when the data carried no PNG signature;
    // for PNG data, truncated (a chunk past the data, no IEND), bad header (an invalid IHDR, a
    // chunk length of 2^31 or more, a PLTE length not a multiple of 3, IDAT before IHDR),
    // checksum (a CRC mismatch in IHDR, PLTE or IDAT), bad data (no IDAT data, data neither the
    // library nor the built-in inflater could inflate, a filter type above 4 in an interlaced
    // image, a bad palette index), too large, out of memory or unreadable; each with its detail.
    [[nodiscard]] const LoadFailure& lastLoadFailure() const noexcept { return failure_; }

    // True when the first 8 bytes are the PNG signature 89 50 4E 47 0D 0A 1A 0A.
    [[nodiscard]] static bool hasSignature(ByteView data) noexcept;

  private:
    class ChunkReader;
    class RowSink;
    struct ChunkSpan {  // where an IDAT chunk's data lies
        std::uint64_t at;
        std::uint32_t length;
    };

    // Walks the chunks of a PNG (signature included) and builds the image.
    void decode(ChunkReader& source, c32bppDIB& dib) noexcept;
    bool checksumOk(ByteView typeAndData, std::uint32_t stored) const noexcept;
    bool readHeader(ByteView typeAndData, ByteView body, std::uint32_t stored) noexcept;
    bool readPalette(ByteView typeAndData, ByteView body, std::uint32_t stored);
    void readTransparency(ByteView typeAndData, ByteView body, std::uint32_t stored);
    bool readImageData(ChunkReader& source, std::uint64_t at, std::uint32_t length);

    // The image's bitmap and the row decoder for one attempt; false when either cannot be made.
    bool startImage() noexcept;
    // Feeds the library's stream; drains it at the end of the data.
    void feedLibrary(ByteView piece) noexcept;
    void drainLibrary() noexcept;
    // The attempts after the walk: the library's stream over every IDAT from the first, then
    // the built-in inflater.
    bool replayWithLibrary(ChunkReader& source, c32bppDIB& dib) noexcept;
    bool inflateBuiltIn(ChunkReader& source, c32bppDIB& dib) noexcept;
    // The rows are complete: the surface takes the image, or is left without one when a row
    // could not be converted.
    void finishImage(c32bppDIB& dib) noexcept;

    png::ImageHeader header_;
    bool headerValid_ = false;
    bool libraryUsable_ = false;
    std::size_t expectedSize_ = 0;
    std::vector<std::uint8_t> palette_;
    std::vector<std::uint8_t> transparency_;
    std::vector<std::uint8_t> preparedPalette_;  // the palette used when the image brings none
    std::int32_t transparentValue_ = -1;
    std::uint64_t imageDataBytes_ = 0;
    std::vector<ChunkSpan> imageData_;
    std::uint32_t stateVersion_ = 0;  // counts changes of header, palette and transparency

    // The attempt in progress.
    enum class Stream : std::uint8_t { kIdle, kRunning, kEnded, kFailed, kAbandoned };
    Stream stream_ = Stream::kIdle;
    std::uint32_t streamVersion_ = 0;  // the state version the attempt started from
    std::unique_ptr<compression::StreamInflater> library_;
    png::RowDecoder rows_;
    std::size_t produced_ = 0;
    std::unique_ptr<platform::Bitmap> image_;  // the rows of the attempt, the surface's once whole

    LoadFailure failure_;
};

}  // namespace talvrin
