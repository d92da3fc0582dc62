// cICOparser: reads an icon or cursor directory, picks the entry that best fits a requested
// size and colour depth, and fills a surface with it (PNG entries through cPNGparser, bitmap
// entries with their colour rows and their AND mask or alpha channel). Without a surface it only
// reads the directory, whose entries the properties then describe. It also converts a live
// icon object to a surface.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "base/byte_view.h"
#include "base/decode_failure.h"
#include "platform/gdi/icon.h"
#include "platform/picture/picture.h"

namespace talvrin {

class c32bppDIB;

class cICOparser {
  public:
    // Directory types.
    static constexpr std::uint16_t kTypeIcon = 1;
    static constexpr std::uint16_t kTypeCursor = 2;

    // One directory entry as the class keeps it.
    struct Entry {
        std::uint8_t width = 0;   // 0 means 256
        std::uint8_t height = 0;  // 0 means 256
        std::uint8_t colorCount = 0;
        std::uint8_t reserved = 0;
        std::uint16_t planes = 0;    // 1 for every entry after loading; 255 marks a PNG entry
        std::uint16_t bitCount = 0;  // the image's own bit count; 0 marks an unusable entry
        std::uint32_t bytesInRes = 0;
        std::uint32_t imageOffset = 0;  // from the first byte of the icon data
        std::uint32_t headerSize = 0;   // a bitmap entry's header size, read on load
    };

    // Reads the directory held in streamLength bytes of inStream from streamOffset (entry
    // offsets count from streamOffset) and, when cHost is given, loads the entry that best fits
    // desiredIconWidth x desiredIconHeight (below 1: 32) at desiredIconBitDepth. A streamLength
    // of 0 is first set to the bytes from streamOffset to the end of inStream.
    // False, leaving cHost untouched, when the range lies outside inStream, the data is not an
    // icon or cursor directory, or any entry is unusable (its data, header, colour rows or mask
    // outside the entry or the stream, or a PNG entry without a valid signature and header).
    // Without cHost: true for an accepted directory. With cHost: a PNG entry answers what
    // cPNGparser answers (ImageType imgPNGicon when it gave an image); a bitmap entry answers
    // true, and the surface is empty when its depth cannot be converted or the surface cannot
    // be made. gdiToken is handed to the PNG decoder.
    bool LoadStream(std::span<const std::uint8_t> inStream, std::int32_t desiredIconWidth,
                    std::int32_t desiredIconHeight, c32bppDIB* cHost, std::int32_t streamOffset,
                    std::int32_t& streamLength, std::int32_t desiredIconBitDepth = 32,
                    std::uint32_t gdiToken = 0) noexcept;

    // Converts an icon or cursor object to the surface: a colour bitmap with any non-zero alpha
    // byte as a 32-bit image, anything else through its drawing and its AND mask. False for a
    // null handle or when the surface cannot be made.
    bool ConvertstdPicTo32bpp(const platform::Icon* Handle, c32bppDIB& cHost) noexcept;

    // Read-only properties; Index is the 1-based entry number, and an Index outside the
    // directory answers 0 (false).
    [[nodiscard]] std::int32_t Width(std::int32_t Index) const noexcept;
    [[nodiscard]] std::int32_t Height(std::int32_t Index) const noexcept;
    [[nodiscard]] bool IsIconPNG(std::int32_t Index) const noexcept;
    [[nodiscard]] std::int32_t bitDepth(std::int32_t Index) const noexcept;
    [[nodiscard]] std::int32_t IconCount() const noexcept {
        return static_cast<std::int32_t>(entries_.size());
    }
    // Palette colours of an entry of 8 bits or fewer, else 0.
    [[nodiscard]] std::int64_t ColorCount(std::int32_t Index) const noexcept;
    // Where the entry's colour rows start, from the first byte of the icon data.
    [[nodiscard]] std::int64_t ColorByteOffset(std::int32_t Index) const noexcept;
    // Why the last LoadStream rejected the data or left the surface empty; no failure when it
    // produced an image (or only read the directory). Not recognised: streamOffset or
    // streamLength outside the array; under 6 bytes, reserved not 0, type not 1 or 2, or a count
    // below 1. Truncated: shorter than the directory plus the sum of its entries' sizes; an
    // entry's data outside the stream, or under 16 bytes. Bad header: a bitmap header size below
    // 16 or beyond its entry; the mask before the header, or colour rows running into it; a PNG
    // entry without signature and IHDR, or under 33 bytes; a bit count of 0 that cannot be
    // derived. Unsupported variant: the chosen entry's depth has no conversion. Too large: more
    // pixels than the decode budget. Out of memory. A chosen PNG entry that did not decode gives
    // the PNG decoder's failure.
    [[nodiscard]] const LoadFailure& lastLoadFailure() const noexcept { return failure_; }
    // The 1-based entry a directory was rejected for (0 when no entry was at fault).
    [[nodiscard]] std::int32_t failedEntry() const noexcept { return failedEntry_; }

    // The directory's type (1 icon, 2 cursor; 0 before a directory was read).
    [[nodiscard]] std::uint16_t directoryType() const noexcept { return type_; }

    // The best entry for the desired size and depth (1-based), or 0; the scoring the loader
    // uses, exposed so that its rules can be checked on a directory alone.
    [[nodiscard]] std::int32_t SelectBestEntry(std::int32_t desiredWidth,
                                               std::int32_t desiredHeight,
                                               std::int32_t desiredBitDepth) const noexcept;

  private:
    // 0-based entry, or null when Index lies outside the directory.
    [[nodiscard]] const Entry* entryAt(std::int32_t Index) const noexcept;
    bool readDirectory(ByteView data) noexcept;
    [[nodiscard]] LoadFailure checkBitmapEntry(Entry& entry) const noexcept;
    bool CheckPngEntry(Entry& entry) const noexcept;
    [[nodiscard]] bool pngHeaderValid(const Entry& entry) const noexcept;
    bool loadBitmapEntry(const Entry& entry, c32bppDIB& cHost) noexcept;
    void ApplyMaskAndAlpha(const Entry& entry, c32bppDIB& cHost) const noexcept;

    std::uint16_t reserved_ = 0;
    std::uint16_t type_ = 0;
    std::vector<Entry> entries_;
    ByteView data_;  // the data being parsed, during one operation only
    LoadFailure failure_;
    std::int32_t failedEntry_ = 0;
};

// The picture loader's icon route: the icon or cursor held in bytes, its entry chosen for
// 32 x 32 at 32 bits, as an icon picture (type 3) whose 32-bit colour bitmap holds the decoded
// pixels with straight alpha (255 where opaque) and whose mask has a set bit for every fully
// transparent pixel. No picture when the bytes hold no loadable icon, with the icon decoder's
// failure. The platform layer does not depend on this library, so the loader takes this
// function as an injected decoder.
[[nodiscard]] Decoded<std::unique_ptr<platform::Picture>> IconBytesToPicture(
    ByteView bytes) noexcept;

// Installs IconBytesToPicture as the platform picture loader's icon decoder, so that icon and
// cursor bytes reaching the loader (picture resources, pictures made from bytes) become icon
// pictures. Every program that loads pictures calls it once at start-up; nothing installs it
// behind the program's back.
void installIconPictureRoute() noexcept;

}  // namespace talvrin
