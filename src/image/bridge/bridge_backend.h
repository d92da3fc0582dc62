// Internal to the imaging-library bridge: what draws and decodes behind it on each platform. One
// affine draw of a working image (here: the own resampler for high quality, pixman for nearest
// neighbour), and the WebP and TIFF decoders. Not part of the bridge's interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/decode_failure.h"
#include "base/geometry.h"

namespace talvrin::platform {
class DeviceContext;
}

namespace talvrin::bridge::backend {

// Whether the build has the backend's libraries.
[[nodiscard]] bool present() noexcept;

// Premultiplied 32-bit pixels (B, G, R, A) laid over memory owned elsewhere: row y starts at
// top + y * stride (a negative stride for bottom-up storage).
struct ImageRows {
    const std::uint8_t* top = nullptr;
    std::ptrdiff_t stride = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// An image of premultiplied 32-bit pixels (B, G, R, A), rows top-down without padding.
struct TopDownImage {
    std::vector<std::uint8_t> pixels;
    std::int32_t width = 0;
    std::int32_t height = 0;
    [[nodiscard]] ImageRows rows() const noexcept {
        return {pixels.data(), std::ptrdiff_t{width} * 4, width, height};
    }
};

// The map from destination to working-image coordinates: (u, v) = (a x + b y + c, d x + e y + f)
// for the destination point (x, y); pixel centres sit at half-integers on both sides.
struct Affine {
    double a = 1, b = 0, c = 0;
    double d = 0, e = 1, f = 0;
};

// Blends the working image source-over onto the context's pixels within `area` (destination
// coordinates, already cut to the image's extent) and the context's clip box, at the opacity
// (0 ... 1), sampling the image through the map with a cubic filter of the given scale (source
// pixels per destination pixel along each axis) or the nearest pixel. Samples beyond the image
// take its edge pixels. A whole-pixel translation at full opacity puts the pixels down exactly,
// blended as AlphaBlend blends. False when the context has no pixels or the work cannot be done.
bool drawAffine(const ImageRows& image, const Affine& toSource, bool bicubic, double scaleX,
                double scaleY, double opacity, const Rect& area,
                platform::DeviceContext& dc) noexcept;

// A decoded image of one of the bridge's own formats, premultiplied and top-down.
struct Decoded {
    TopDownImage image;
    DecodeFailure failure = DecodeFailure::kNone;
};
[[nodiscard]] Decoded decodeWebp(std::span<const std::uint8_t> bytes) noexcept;
[[nodiscard]] Decoded decodeTiff(std::span<const std::uint8_t> bytes) noexcept;

}  // namespace talvrin::bridge::backend
