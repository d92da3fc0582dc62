// The JPEG encoder, over libjpeg-turbo: baseline JFIF files of 8-bit colour, with optimised
// Huffman tables. Chroma is kept at full resolution from quality 90 up and halved both ways
// (4:2:0) below it, as the common tools do.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "base/encode_failure.h"

namespace talvrin::platform {

// True when this build encodes JPEG (the Windows build has no JPEG library and answers false).
[[nodiscard]] bool jpegEncoderAvailable() noexcept;

// Fills `rgb` (width * 3 bytes: red, green, blue) with the image's row y, counted from the top.
using JpegRowSource = std::function<void(std::int32_t y, std::uint8_t* rgb)>;

// Encodes width x height pixels (each 1 ... 65500) at quality 1 ... 100 into `out` (replacing
// what it held), asking `rows` for each row once, top row first. Reason kNone on success; else
// why not (too large: "beyond JPEG's 65500 pixels a side"; unavailable: "no JPEG encoder in
// this build"; ...), `out` empty.
[[nodiscard]] SaveFailure encodeJpeg(std::int32_t width, std::int32_t height, int quality,
                                     const JpegRowSource& rows,
                                     std::vector<std::uint8_t>& out) noexcept;

}  // namespace talvrin::platform
