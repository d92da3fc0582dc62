// cPNGparser: turns PNG data, held in the caller's bytes or in an open file, into a surface.
// One object serves one load. The imaging-library bridge has no decoder on this platform, so
// the parser's own decoder handles every PNG: the chunk walk (png_parser.cpp), decompression
// through the compression library with the built-in inflater as fallback, and the pixel work of
// png_pixels.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "base/byte_view.h"
#include "base/decode_failure.h"
#include "image/codecs/png_pixels.h"

namespace talvrin {

class c32bppDIB;
namespace platform {
class File;
}

class cPNGparser {
  public:
    // Why the last load produced no image although the data was PNG.
    enum class Failure : std::uint8_t {
        kNone,
        kTruncated,         // a chunk does not fit in the data, or the data ends without IEND
        kBadChunkLength,    // a chunk length of 2^31 or more
        kBadHeader,         // IHDR invalid, or too short
        kBadPalette,        // PLTE length not a multiple of 3
        kChecksum,          // CRC mismatch in IHDR, PLTE or IDAT
        kDataBeforeHeader,  // IDAT before a valid IHDR
        kNoImageData,       // no IDAT data
        kOutOfMemory,       // a buffer or the surface could not be allocated
        kDecompress,        // neither the library nor the built-in inflater could inflate
        kConversion,        // a filter type above 4 in an interlaced image, or a bad palette index
        kTooLarge,          // more pixels than the decode budget or a 32-bit surface allows
    };

    // Decodes `streamLength` bytes of `Stream` from `streamOffset` (a view, no copy) into
    // dibClass. True when the data carries a PNG signature, whether or not it decoded: the
    // surface then holds the image, or nothing (see lastFailure). False for a range that lies
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

    // The finer reason of the last load, and the shared reason it belongs to (not recognised
    // when the data carried no PNG signature).
    [[nodiscard]] Failure lastFailure() const noexcept { return failure_; }
    [[nodiscard]] DecodeFailure decodeFailure() const noexcept;

    // True when the first 8 bytes are the PNG signature 89 50 4E 47 0D 0A 1A 0A.
    [[nodiscard]] static bool hasSignature(ByteView data) noexcept;

  private:
    // Walks the chunks of a PNG held in `data` (signature included) and builds the image.
    void decode(ByteView data, c32bppDIB& dib) noexcept;
    bool rejectWith(Failure f) noexcept {
        failure_ = f;
        return false;
    }
    bool checksumOk(ByteView typeAndData, std::uint32_t stored) const noexcept;
    bool readHeader(ByteView typeAndData, ByteView body, std::uint32_t stored) noexcept;
    bool readPalette(ByteView typeAndData, ByteView body, std::uint32_t stored);
    void readTransparency(ByteView typeAndData, ByteView body, std::uint32_t stored);
    bool appendImageData(ByteView body, std::size_t inputLength) noexcept;
    bool buildImage(c32bppDIB& dib) noexcept;

    png::ImageHeader header_;
    bool headerValid_ = false;
    bool libraryUsable_ = false;
    std::size_t expectedSize_ = 0;
    std::vector<std::uint8_t> palette_;
    std::vector<std::uint8_t> transparency_;
    std::int32_t transparentValue_ = -1;
    std::vector<std::uint8_t> gathered_;  // its size is the capacity; gatheredLength_ is used
    std::size_t gatheredLength_ = 0;
    Failure failure_ = Failure::kNone;
    bool recognised_ = false;  // the data carried a PNG signature
};

}  // namespace talvrin
