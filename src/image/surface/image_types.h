// The image-type codes and the surface capability bits. The pixel layout every surface uses
// (kBytesPerPixel, the channel offsets, bottom-up addressing, the pixel views) is defined once in
// base/pixels.h, which this header brings in.
#pragma once

#include <cstdint>

#include "base/pixels.h"

namespace talvrin {

// Colours crossing public interfaces are 0x00BBGGRR (red in the low byte); base/geometry.h has
// the helpers that build and take them apart.

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
