// Reading images for the tool and writing what it makes: files or the standard streams ("-"),
// failures that say why, output formats by name or by extension, and outputs that appear whole
// or not at all.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvrin {
class c32bppDIB;
}

namespace talvrin::tool {

// Where an input comes from and what was learnt on the way.
struct LoadedImage {
    std::unique_ptr<c32bppDIB> image;  // null when the load failed
    std::string error;                 // "not found", "bad data", ... when it failed
    std::vector<std::uint8_t> head;    // the file's first bytes (all of them from a stream)
};

// Icon preferences for the load (the icon decoder's, see c32bpp_dib.h).
struct IconChoice {
    std::int32_t width = 0, height = 0, depth = 32;
};

// Loads a file, or standard input for "-". keepSource keeps the decoded bytes with the image.
// A file that cannot be read says why: not found, is a directory, permission denied, or
// unreadable for the rest.
[[nodiscard]] LoadedImage loadImage(const std::string& name, const IconChoice& icon,
                                    bool keepSource);

// The whole file (or standard input) as bytes, or the reason it cannot be read.
[[nodiscard]] std::optional<std::string> readInput(const std::string& name,
                                                   std::vector<std::uint8_t>& bytes);

enum class OutputFormat { kPng, kBmp, kRgba, kPrgba };

// "png", "bmp", "rgba", "prgba" (any case); nothing for other names.
[[nodiscard]] std::optional<OutputFormat> formatNamed(std::string_view name) noexcept;
// The format an output file's extension names (.png, .PNG, .Bmp, ...); nothing without one.
[[nodiscard]] std::optional<OutputFormat> formatOfPath(std::string_view path) noexcept;
// The extension written for a format (".png").
[[nodiscard]] std::string_view extensionOf(OutputFormat format) noexcept;

// Encodes the image in the format (PNG at the zlib level 0 ... 9) and writes it to the path,
// or to standard output for "-". The error text on failure ("cannot write 'x': No space left on
// device"); a failed write leaves no file, and an existing one as it was.
[[nodiscard]] std::optional<std::string> writeImage(const c32bppDIB& image, OutputFormat format,
                                                    std::int32_t pngLevel, const std::string& path);

}  // namespace talvrin::tool
