// What a JPEG file's header segments say before its first scan: the EXIF orientation (from the
// APP1 "Exif" block's first directory) and the frame's sample precision and component count.
// A small reader of our own: every offset and length is checked against the bytes, so hostile
// data gives no answer rather than a read outside them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace talvrin::tool {

struct JpegHeader {
    // The EXIF orientation 1 ... 8, or nothing when no valid one is stored:
    //   1 as stored      2 mirrored left to right   3 turned 180     4 mirrored top to bottom
    //   5 transposed     6 turned 90 clockwise      7 transversed    8 turned 90 anticlockwise
    std::optional<std::uint8_t> orientation;
    std::optional<std::uint8_t> precision;       // bits a sample (8, 12) from the frame header
    std::optional<std::uint8_t> components;      // 1 grey, 3 colour, 4 CMYK
    std::optional<std::uint16_t> width, height;  // the frame's size as declared (height 0 is
                                                 // left to a later marker)
    // The segments run on past the bytes given: more of the file holds the rest of the header.
    bool cut = false;
};

// Reads the segments from the start of image marker to the first scan, the whole chain of them
// however long (one reader for every command). Nothing at all for data that does not start as a
// JPEG.
[[nodiscard]] std::optional<JpegHeader> readJpegHeader(
    std::span<const std::uint8_t> bytes) noexcept;

// The orientation stored in a TIFF structure (the body of an EXIF block after "Exif\0\0").
[[nodiscard]] std::optional<std::uint8_t> exifOrientation(
    std::span<const std::uint8_t> tiff) noexcept;

}  // namespace talvrin::tool
