// The drawing calls the image side makes, as free functions over device contexts. Every call
// clips to the destination's clip box and to the bitmaps involved: no rectangle argument, however
// large, negative or out of range, makes it read or write outside a buffer. Calls answer false (or
// 0) for sizes below 1 and for invalid arguments, and never throw.
//
// Pixel formats. A context draws on a 32-bit (B, G, R, A) or 24-bit (B, G, R) bitmap. A 24-bit
// pixel read as 32 bits has alpha 0; a 32-bit pixel written to 24 bits loses its alpha.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "base/geometry.h"
#include "platform/gdi/device_context.h"

namespace talvrin::platform {

// Copies width x height pixels from (srcX, srcY) in src to (x, y) in dest (a plain source
// copy). Parts of the source rectangle outside the source surface are not copied (the
// destination keeps its pixels there). Source and destination may be the same context with
// overlapping rectangles. False for width or height below 1.
bool BitBlt(DeviceContext& dest, std::int32_t x, std::int32_t y, std::int32_t width,
            std::int32_t height, const DeviceContext& src, std::int32_t srcX,
            std::int32_t srcY) noexcept;

// Stretched source copy with nearest-neighbour sampling (see AlphaBlend for the mapping). A
// negative size makes its rectangle cover [position + size, position) on that axis; a negative
// size on one side only mirrors along that axis. Destination pixels whose source pixel lies
// outside the source surface keep their value. False for a zero size.
bool StretchBlt(DeviceContext& dest, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height, const DeviceContext& src, std::int32_t srcX, std::int32_t srcY,
                std::int32_t srcWidth, std::int32_t srcHeight) noexcept;

// Describes a caller's pixel buffer: width, height (positive: rows bottom-up; negative: rows
// top-down) and bits a pixel (24 or 32). Rows are padded to a multiple of 4 bytes.
struct DibFormat {
    std::int32_t width = 0;
    std::int32_t height = 0;
    int bitsPerPixel = 32;
};

// Writes the rectangle (srcX, srcY, width, height) of a caller's buffer into dc with its top-left
// corner at (x, y). As on the desktop, srcY counts from the bottom row of a bottom-up buffer and
// from the top row of a top-down one. The buffer must hold the whole image the format describes
// (stride x |height| bytes), else the call fails. Answers the number of source rows of the
// rectangle that lie inside the buffer (0 on failure); rows outside the clip box are skipped.
std::int32_t SetDIBitsToDevice(DeviceContext& dc, std::int32_t x, std::int32_t y,
                               std::int32_t width, std::int32_t height, std::int32_t srcX,
                               std::int32_t srcY, std::span<const std::uint8_t> bits,
                               const DibFormat& format) noexcept;

// Reads scanCount rows of bitmap, starting at scan line startScan (counted from the bottom row),
// into a caller's buffer as 32-bit pixels. format.width must equal the bitmap's width and
// format.bitsPerPixel must be 32; format.height gives the order in the buffer: positive stores the
// rows bottom-up (buffer row 0 = scan line startScan), negative top-down (buffer row 0 = the
// highest scan line copied). The rows are clamped to the bitmap; the buffer must hold them all.
// Answers the number of rows copied (0 on failure).
std::int32_t GetDIBits(const Bitmap& bitmap, std::int32_t startScan, std::int32_t scanCount,
                       std::span<std::uint8_t> bits, const DibFormat& format) noexcept;

// A solid brush. Its colour is resolved when it is made: system colours (high bit set) are
// translated through the system colour table at that moment.
class Brush {
  public:
    // Takes a 0x00BBGGRR colour or a system colour value (translated here).
    explicit Brush(ColorRef color) noexcept;
    // The resolved 0x00BBGGRR colour.
    [[nodiscard]] ColorRef color() const noexcept { return color_; }

  private:
    ColorRef color_;
};

[[nodiscard]] std::unique_ptr<Brush> createSolidBrush(ColorRef color) noexcept;

// Fills rect (right and bottom edges excluded) with the brush's colour, clipped. As on the
// desktop, a fill of a 32-bit surface stores alpha 0. An empty rectangle draws nothing and
// answers true; false only for a null brush.
bool FillRect(DeviceContext& dc, const Rect& rect, const Brush* brush) noexcept;

// Blend parameters: the constant opacity applied to the whole source, and whether the source's
// own (premultiplied) alpha bytes take part.
struct BlendFunction {
    std::uint8_t sourceConstantAlpha = 255;
    bool perPixelAlpha = false;
};

// Blends the source rectangle (srcX, srcY, srcWidth, srcHeight) of src over the destination
// rectangle (x, y, width, height) of dest, stretching when the sizes differ.
//
// Rule (this layer's definition, exact for every input). With SCA = sourceConstantAlpha and
// div255Round(v) = v / 255 rounded to nearest (base/div255.h; no v lies half-way):
//   per-pixel alpha:  S' = div255Round(S * SCA) for each of B, G, R, A of the source pixel;
//                     D  = min(255, S' + div255Round(D * (255 - S'.A))) for each of B, G, R, A.
//                     (With SCA = 255, S' = S.) The min only matters for a malformed source
//                     whose colour exceeds its alpha.
//   constant only:    D  = div255Round(S * SCA + D * (255 - SCA)) for each of B, G, R, A
//                     (the source alpha byte takes part as a colour byte).
// A 24-bit destination blends B, G, R the same way. Per-pixel alpha needs a 32-bit source.
//
// Stretching samples the nearest source pixel: destination column i (0-based inside the
// destination rectangle) takes source column srcX + floor((2i + 1) * srcWidth / (2 * width)),
// that is the source pixel under the destination pixel's centre; rows likewise, from the top.
// Clipping to the destination's clip box does not change which source pixel a destination pixel
// takes.
//
// False, drawing nothing, when any size is below 1, when the source rectangle is not wholly
// inside the source surface, or when per-pixel alpha is asked of a 24-bit source. A constant
// alpha of 0 draws nothing and answers true. The stretch mode does not change the result.
bool AlphaBlend(DeviceContext& dest, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height, const DeviceContext& src, std::int32_t srcX, std::int32_t srcY,
                std::int32_t srcWidth, std::int32_t srcHeight, BlendFunction blend) noexcept;

// Copies the source rectangle to the destination rectangle (stretching as AlphaBlend does),
// leaving the destination unchanged wherever the source pixel's colour (B, G, R; alpha ignored)
// equals transparentColor (0x00BBGGRR; the high byte is ignored). Copied pixels are written
// whole. False when any size is below 1 or the source rectangle is not wholly inside the source
// surface.
bool TransparentBlt(DeviceContext& dest, std::int32_t x, std::int32_t y, std::int32_t width,
                    std::int32_t height, const DeviceContext& src, std::int32_t srcX,
                    std::int32_t srcY, std::int32_t srcWidth, std::int32_t srcHeight,
                    ColorRef transparentColor) noexcept;

}  // namespace talvrin::platform
