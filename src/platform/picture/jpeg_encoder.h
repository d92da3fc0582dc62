// The JPEG encoder, over libjpeg-turbo: baseline JFIF files of 8-bit colour, with optimised
// Huffman tables. Chroma is kept at full resolution from quality 90 up and halved both ways
// (4:2:0) below it, as the common tools do.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace talvrin::platform {

// True when this build encodes JPEG (the Windows build has no JPEG library and answers false).
[[nodiscard]] bool jpegEncoderAvailable() noexcept;

// Fills `rgb` (width * 3 bytes: red, green, blue) with the image's row y, counted from the top.
using JpegRowSource = std::function<void(std::int32_t y, std::uint8_t* rgb)>;

// Encodes width x height pixels (each 1 ... 65500) at quality 1 ... 100 into `out` (replacing
// what it held), asking `rows` for each row once, top row first. Nothing on success; else why
// not ("beyond JPEG's 65535 pixels a side", "no JPEG encoder in this build", ...), `out` empty.
[[nodiscard]] std::optional<std::string_view> encodeJpeg(std::int32_t width, std::int32_t height,
                                                         int quality, const JpegRowSource& rows,
                                                         std::vector<std::uint8_t>& out) noexcept;

}  // namespace talvrin::platform
