// Internal to the imaging-library bridge: the libraries behind it. One affine draw of a working
// image through pixman, and the WebP and TIFF decoders; or, in the Windows build, the system's
// imaging library, which takes the bridge's services whole. Not part of the bridge's interface.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "base/decode_failure.h"
#include "base/geometry.h"
#include "image/bridge/gdiplus.h"

namespace talvrin::platform {
class DeviceContext;
}

namespace talvrin::bridge::backend {

// Whether the build has the backend's libraries.
[[nodiscard]] bool present() noexcept;

// An image of premultiplied 32-bit pixels (B, G, R, A), rows top-down without padding.
struct TopDownImage {
    std::vector<std::uint8_t> pixels;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// The map from destination to working-image coordinates: (u, v) = (a x + b y + c, d x + e y + f)
// for the destination point (x, y); pixel centres sit at half-integers on both sides.
struct Affine {
    double a = 1, b = 0, c = 0;
    double d = 0, e = 1, f = 0;
};

// Blends the working image source-over onto the context's pixels within `area` (destination
// coordinates, already cut to the image's extent) and the context's clip box, sampling the image
// through the map with a cubic filter of the given scale (source pixels per destination pixel
// along each axis) or the nearest pixel. False when the context has no pixels or the libraries
// refuse the job.
bool drawAffine(const TopDownImage& image, const Affine& toSource, bool bicubic, double scaleX,
                double scaleY, const Rect& area, platform::DeviceContext& dc) noexcept;

// A decoded image of one of the bridge's own formats, premultiplied and top-down.
struct Decoded {
    TopDownImage image;
    DecodeFailure failure = DecodeFailure::kNone;
};
[[nodiscard]] Decoded decodeWebp(std::span<const std::uint8_t> bytes) noexcept;
[[nodiscard]] Decoded decodeTiff(std::span<const std::uint8_t> bytes) noexcept;

// ---- The system's imaging library as the backend -----------------------------------------------
// Where the backend is the system's imaging library (the Windows build), it takes each draw and
// each PNG save whole, in the library's own calls, with the bridge's arithmetic handed down; its
// sessions are the library's own start-ups. decodeWebp and decodeTiff go to it as well. The
// other backends have none: the bridge prepares their draws above them.

// One draw as the bridge has worked it out.
struct SystemDraw {
    const std::uint8_t* bits = nullptr;  // the source: bottom-up premultiplied rows of width * 4
    std::int32_t width = 0;
    std::int32_t height = 0;
    Flip flip;                              // flipOf(destWidth, destHeight)
    std::optional<ColorMatrix> attributes;  // attributesOf(greyscale, lightness, angle, opacity)
    bool attributesRequired = false;        // angle or opacity: no draw without the matrix
    float angle = 0;
    RotatedPlacement placement;  // rotatedPlacement(destX, destY, flip), for an angle
    std::int32_t destX = 0, destY = 0;
    std::int32_t srcX = 0, srcY = 0, srcWidth = 0, srcHeight = 0;
    bool highQuality = false;
};

class SystemImaging {
  public:
    virtual ~SystemImaging() = default;
    // Starts the library (version 1, every other input 0): its token, or 0.
    virtual std::uintptr_t startup() noexcept = 0;
    virtual void shutdown(std::uintptr_t token) noexcept = 0;
    // Draws onto the context's pixels, within its clip box. True when the library's draw
    // answered success.
    virtual bool draw(const SystemDraw& job, platform::DeviceContext& dc) noexcept = 0;
    // Encodes the bottom-up premultiplied surface as PNG with the library's encoder for
    // "image/png". False, with out untouched, when there is no such encoder or it fails.
    virtual bool encodePng(const std::uint8_t* bits, std::int32_t width, std::int32_t height,
                           std::vector<std::uint8_t>& out) noexcept = 0;
};

// The system's imaging library, when it is this build's backend and could be bound; else null.
[[nodiscard]] SystemImaging* systemImaging() noexcept;

}  // namespace talvrin::bridge::backend
