// What an input's first bytes say before the rest is read: its format (also formats the library
// does not read, so that a refusal can name them), the size of the image it declares, and so how
// many bytes are worth reading at all. Hostile bytes give fewer answers, never a read outside
// them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

namespace talvrin::tool {

struct Format {
    std::string_view key = "other";  // png gif ico cur bmp jpeg webp tiff, avif heic ...; other
    std::string_view name = "";      // for people: "PNG", "AVIF", "JPEG 2000"
    bool libraryReads = false;       // the image library decodes it (the bridge's where present)

    [[nodiscard]] bool known() const noexcept { return key != "other"; }
};

// The format by its signature. The formats the library reads: PNG, GIF (either case), ICO, CUR,
// BMP, JPEG, WebP, TIFF; and those it does not, named in refusals: AVIF, HEIC, JPEG 2000,
// JPEG XL, SVG, XPM, PNM, TGA, PSD, WMF, EMF.
[[nodiscard]] Format sniffFormat(std::span<const std::uint8_t> head) noexcept;

// What the header declares, from as many of the file's first bytes as are given.
struct Declared {
    // The image's size as the header states it, when the bytes hold it: the decoder refuses the
    // same size by the same budget (PNG, BMP, JPEG, WebP), or it bounds the bytes only (GIF's
    // screen, the largest icon of a directory).
    std::optional<std::pair<std::uint32_t, std::uint32_t>> size;
    bool sizeIsTheImage = false;             // size is what the decoder allocates
    std::optional<std::uint64_t> fileBytes;  // the whole file's length by its own structure
    bool needMore = false;                   // the header goes on past the bytes given
};
[[nodiscard]] Declared readDeclared(const Format& format,
                                    std::span<const std::uint8_t> bytes) noexcept;

// The most bytes an input of the format can need: a generous multiple of the pixels it declares
// (or, without a size, of the pixel budget), never more than the decoders address. (A format
// that states its own length is read to that length, when it is within this.)
[[nodiscard]] std::uint64_t byteLimitFor(const Format& format, const Declared& declared,
                                         std::uint64_t pixelLimit) noexcept;

// The bytes read before a format that is none of the known ones is given up on.
inline constexpr std::size_t kSniffBytes = 64 * 1024;
// The most bytes read to find the end of a header that goes on (a JPEG's APP segments).
inline constexpr std::size_t kHeaderBytes = 16 * 1024 * 1024;

}  // namespace talvrin::tool
