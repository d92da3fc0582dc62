// The pixel layout of every surface, the image-type codes and the surface capability bits.
// This is the one place that defines them; every other file refers to these names.
#pragma once

#include <cstddef>
#include <cstdint>

namespace talvrin {

// ---- Pixel layout ---------------------------------------------------------------------------
// 4 bytes a pixel in memory order blue, green, red, alpha (a little-endian 0xAARRGGBB), colours
// premultiplied by alpha (every colour byte <= its alpha byte; alpha 0 means all four bytes 0),
// rows stored bottom-up (the first row in memory is the bottom row of the image), no padding.

inline constexpr std::int32_t kBytesPerPixel = 4;
inline constexpr std::int32_t kBitsPerPixel = 32;

// Byte offsets of the channels inside one pixel.
inline constexpr std::size_t kBlueOffset = 0;
inline constexpr std::size_t kGreenOffset = 1;
inline constexpr std::size_t kRedOffset = 2;
inline constexpr std::size_t kAlphaOffset = 3;

// Bytes in one row of a surface of the given width (callers pass a validated width >= 0).
[[nodiscard]] constexpr std::size_t scanWidthFor(std::int32_t width) noexcept {
    return static_cast<std::size_t>(width) * kBytesPerPixel;
}

// Byte offset of the pixel at image column x, image row y (row 0 at the top) in a bottom-up
// buffer of the given height and scan width. Callers pass a position inside the image.
[[nodiscard]] constexpr std::size_t pixelOffset(std::int32_t x, std::int32_t y, std::int32_t height,
                                                std::size_t scanWidth) noexcept {
    return static_cast<std::size_t>(height - y - 1) * scanWidth +
           static_cast<std::size_t>(x) * kBytesPerPixel;
}

// Colours crossing public interfaces are 0x00BBGGRR (red in the low byte); platform/geometry.h
// has the helpers that build and take them apart.

// ---- Image-type codes -----------------------------------------------------------------------
// What a surface holds and where it came from. Decoders set the code of what they decoded.
enum ImageTypeCode : std::int32_t {
    imgNone = -1,          // no image (after DestroyDIB)
    imgCreated = 0,        // created or erased by the program
    imgBitmap = 1,         // bitmap or JPEG picture without alpha
    imgWMF = 2,            // metafile
    imgIcon = 3,           // icon without alpha channel
    imgEMF = 4,            // enhanced metafile
    imgCursor = 5,         // cursor without alpha channel
    imgBmpARGB = 6,        // 32-bit bitmap with straight alpha, premultiplied on load
    imgBmpPARGB = 7,       // 32-bit bitmap already premultiplied; also drop-shadow surfaces
    imgIconARGB = 8,       // 32-bit icon with alpha channel
    imgGIF = 9,            // GIF
    imgPNG = 10,           // PNG; also every image decoded by the imaging-library bridge
    imgPNGicon = 11,       // icon or cursor whose image is stored as PNG
    imgCursorARGB = 12,    // 32-bit cursor with alpha channel
    imgCheckerBoard = 64,  // checkerboard made by CreateCheckerBoard
};

// ---- Surface capability bits ----------------------------------------------------------------
// Bit set kept by every surface, decided once when the surface is constructed.
inline constexpr std::uint32_t kCapAlphaBlendFriendly = 1;  // simple draws may use AlphaBlend
inline constexpr std::uint32_t kCapGdiplusEnabled = 2;      // the imaging library may be used
inline constexpr std::uint32_t kCapAlphaBlendUsable = 8;    // AlphaBlend works (needed by bit 0)
inline constexpr std::uint32_t kCapConsumerFamily = 16;     // old consumer family: no half-tone
inline constexpr std::uint32_t kCapNoGdiplus = 32;          // the imaging library must not be tried

}  // namespace talvrin
