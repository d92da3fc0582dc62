// Writing what the tool makes: output formats by name or by extension, files or standard output
// ("-"), failures that say why, and outputs that appear whole or not at all.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace talvrin {
class c32bppDIB;
}

namespace talvrin::tool {

enum class OutputFormat { kPng, kBmp, kRgba, kPrgba, kJpeg };

// "png", "bmp", "rgba", "prgba", "jpeg" or "jpg" (any case); nothing for other names.
[[nodiscard]] std::optional<OutputFormat> formatNamed(std::string_view name) noexcept;
// The format an output file's extension names (.png, .PNG, .Bmp, .jpeg, .JPG ...); nothing
// without one.
[[nodiscard]] std::optional<OutputFormat> formatOfPath(std::string_view path) noexcept;
// The extension written for a format (".png").
[[nodiscard]] std::string_view extensionOf(OutputFormat format) noexcept;

// How the encoders are asked to work.
struct EncodeSettings {
    std::int32_t pngLevel = 6;      // zlib level 0 (stored) ... 9 (smallest)
    std::int32_t jpegQuality = 90;  // 1 ... 100
};
// The defaults' text for the usage: "--level N ... (default 6)".
inline constexpr EncodeSettings kDefaultEncodeSettings{};

// Encodes the image in the format and writes it to the path, or to standard output for "-".
// JPEG has no alpha: translucent pixels are flattened onto white. The error line on failure
// ("cannot write 'x': error=unwritable (No space left on device)", "cannot encode 'x' as jpg:
// error=too large (beyond JPEG's 65500 pixels a side)"); a failed write leaves no file, and an
// existing one as it was.
[[nodiscard]] std::optional<std::string> writeImage(const c32bppDIB& image, OutputFormat format,
                                                    const EncodeSettings& settings,
                                                    const std::string& path);

}  // namespace talvrin::tool
