// Facts about an image file beyond its decoded pixels, read from the file's own header bytes:
// its container format, the bit depth and colour type where the format stores them, the frame
// count of a GIF, the directory of an icon or cursor, and a JPEG's orientation.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace talvrin::tool {

struct IconEntry {
    std::int32_t width = 0, height = 0, bitDepth = 0;
};

struct ImageFacts {
    std::string_view format = "other";          // input_header.h's key: png gif ... avif ... other
    std::optional<std::int32_t> bitDepth;       // bits a sample (PNG, JPEG) or a pixel (BMP, GIF)
    std::optional<std::string_view> colorType;  // grey, grey-alpha, rgb, rgba, palette, cmyk
    std::optional<std::int32_t> frames;         // GIF: the images in the file
    std::vector<IconEntry> icons;               // ICO, CUR: every directory entry in order
    std::optional<std::int32_t> orientation;    // JPEG: the EXIF orientation (1 when none)
};

// The facts of a file's bytes. Hostile bytes give fewer facts, never a read outside them.
[[nodiscard]] ImageFacts readFacts(std::span<const std::uint8_t> bytes);

// The images in a GIF: image descriptors counted along the block structure up to the trailer
// or the end of the data.
[[nodiscard]] std::int32_t gifFrameCount(std::span<const std::uint8_t> bytes) noexcept;

// The name of an image-type code ("png", "bitmap", "icon-argb", ...); "unknown" for others.
[[nodiscard]] std::string_view imageTypeName(std::int32_t type) noexcept;

// Every image-type code with its name, for the usage text.
[[nodiscard]] std::string imageTypeTable();

}  // namespace talvrin::tool
