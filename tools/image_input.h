// Reading images for the tool: a file, standard input ("-"), a FIFO or a device, each read as a
// stream from its first bytes, which tell the format and the size the image declares before the
// rest is read; no more bytes than that size can need, and none kept once the image is decoded.
// Failures say why, in the tool's one wording (failure.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/os/tool_io.h"
#include "tools/failure.h"
#include "tools/input_header.h"
#include "tools/pixel_gate.h"

namespace talvrin {
class c32bppDIB;
}

namespace talvrin::tool {

// An input read as far as its header, then (readRest) to its end.
struct Input {
    platform::InputStream stream;
    std::vector<std::uint8_t> bytes;  // what has been read so far
    bool ended = false;               // the stream's end was reached
    Format format;
    Declared declared;
};

// Opens the input and reads its first bytes: enough to tell its format and, for the formats
// that have one, the size the image declares. The failure when it cannot be read, is no format
// or one the library does not read ("unsupported format (AVIF)"), or declares more pixels than
// the budget allows; `in.bytes` keeps what was read (for the facts of a refused file).
[[nodiscard]] std::optional<Failure> openInput(const std::string& name, Input& in);
// Reads the rest, no more than the format can need for the size it declares (byteLimitFor):
// an input that goes on past that is refused as too large.
[[nodiscard]] std::optional<Failure> readRest(Input& in);

// Icon preferences for the load (the icon decoder's, see c32bpp_dib.h).
struct IconChoice {
    std::int32_t width = 0, height = 0, depth = 32;
};

// A size in pixels, width first.
using PixelSize = std::pair<std::int64_t, std::int64_t>;

// Decodes the bytes read into the image; the failure in the tool's words (a format the library
// recognises but cannot decode in this run is "unsupported format (WebP)"). With `drawnAt`, a
// JPEG is loaded for a drawing of that size, upright as `orientation` turns it
// (c32bppDIB::LoadPicture_StreamForSize: at most half its size on both axes, it comes out at
// exactly that size in its stored orientation, otherwise at its own).
[[nodiscard]] std::optional<Failure> decodeInput(const Input& in, c32bppDIB& image,
                                                 const IconChoice& icon,
                                                 std::optional<PixelSize> drawnAt = std::nullopt,
                                                 std::int32_t orientation = 1);

struct LoadOptions {
    IconChoice icon;
    // For icons and cursors: the entry to ask for, chosen from the file's bytes; `icon` without.
    std::function<IconChoice(std::span<const std::uint8_t> bytes)> iconFor;
    // The pixels the job's surfaces will take for an image of width x height, held in the
    // batch's gate (batchGate) while the job runs; without it the gate is not asked.
    std::function<std::uint64_t(std::uint64_t width, std::uint64_t height)> jobPixels;
    // Turn a JPEG upright as its EXIF orientation says: LoadedImage::orientation is the stored
    // one (else 1).
    bool autoOrient = true;
    // For a JPEG: the size the caller will draw the image at, given its upright size; nothing
    // for its own size. A JPEG drawn at most half its size on both axes is decoded at the JPEG
    // library's reduced scale and resampled to that size at once, so that the full-size image
    // is never made.
    std::function<std::optional<PixelSize>(std::int64_t width, std::int64_t height)> drawSize;
};

struct LoadedImage {
    std::unique_ptr<c32bppDIB> image;  // null when the load failed
    Failure failure;                   // why, when it failed
    // A JPEG's EXIF orientation (1 ... 8) when the image is to be turned upright, else 1.
    std::int32_t orientation = 1;
    // The image's size at full scale once turned upright as `orientation` says: the size a
    // drawing is fitted from, also when the image was loaded smaller for it (drawSize).
    PixelSize fullSize;
    // What the file holds that the image does not show ("holds 3 frames; only the first is
    // read"), for one warning line; empty when nothing.
    std::string warning;
    PixelGate::Hold hold;  // the job's pixels in the batch's gate
};

// Opens, reads and decodes an input; its bytes are gone when this returns.
[[nodiscard]] LoadedImage loadImage(const std::string& name, const LoadOptions& options);

}  // namespace talvrin::tool
