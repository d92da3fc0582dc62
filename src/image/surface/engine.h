// The drawing engine of the surface: mirrored copies, lightness change, nearest-neighbour and
// bilinear resampling, per-pixel blending with opacity and grayscale, and rotation into a square.
// These are free functions over pixel views so that they are tested and benchmarked on their own;
// c32bppDIB's render pipeline (render.cpp) strings them together.
//
// Every view is a bottom-up 32-bit buffer in the surface layout (image_types.h): row 0 is the
// bottom row, rows are width * 4 bytes with no padding. Every function checks its rectangles
// against the views it is given and answers false, touching nothing, when they do not fit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/pixels.h"
#include "platform/gdi/device_context.h"

namespace talvrin::engine {

// Views are the shared PixelView and ConstPixelView of base/pixels.h.

// An owned work buffer of w x h pixels. create() answers an empty buffer when the size is not
// positive, exceeds the signed 32-bit byte range or the pixel budget (decode_budget.h), or
// cannot be allocated.
class WorkBuffer {
  public:
    WorkBuffer() noexcept = default;
    // zeroed: start fully transparent (otherwise the caller writes every byte).
    [[nodiscard]] static WorkBuffer create(std::int32_t width, std::int32_t height,
                                           bool zeroed) noexcept;

    [[nodiscard]] bool empty() const noexcept { return !bytes_; }
    [[nodiscard]] PixelView view() const noexcept { return {bytes_.get(), width_, height_}; }
    [[nodiscard]] std::int32_t width() const noexcept { return width_; }
    [[nodiscard]] std::int32_t height() const noexcept { return height_; }

  private:
    std::unique_ptr<std::uint8_t[]> bytes_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
};

// ---- Mirror copy ---------------------------------------------------------------------------

// Writes a mirrored copy of the source rectangle into out (srcWidth x srcHeight pixels).
// mirrorX only: output row r from the top takes image row srcY + r (top-down); output pixel k
// of a row takes source column src.width - srcX - 1 - k (srcX counts from the right edge).
// mirrorY (with or without mirrorX): output rows from the top take storage rows srcY, srcY + 1,
// ... (srcY counts from the bottom), reversed left to right as above when mirrorX is set, else
// copied from column srcX. False when neither axis is mirrored, out is not srcWidth x srcHeight,
// or the rows and columns named fall outside the source.
bool mirrorCopy(ConstPixelView src, std::int32_t srcX, std::int32_t srcY, std::int32_t srcWidth,
                std::int32_t srcHeight, bool mirrorX, bool mirrorY, PixelView out) noexcept;

// ---- Lightness ----------------------------------------------------------------------------

// Adjusts lightness by lightAdjustment percent (finite, -100 ... 100 as the pipeline passes it):
// d = lightAdjustment / 100 * 255 as a 32-bit float; each pixel with alpha a != 0 gets
// m = nearest(d * a) / 255 (halves to even, then truncating division) added to each colour
// byte, capped at a when d > 0 and floored at 0 otherwise. Alpha and transparent pixels are
// kept. src and out have the same size; they may be the same view (adjusted in place).
bool adjustLightness(ConstPixelView src, PixelView out, float lightAdjustment) noexcept;

// ---- Resampling ---------------------------------------------------------------------------

// One resampling job: the source rectangle (srcX, srcY from the top-left, in pixels), the full
// (unclipped) output size fullWidth x fullHeight, the first skipX output columns left out (a
// draw that starts left of its target) and the bottom skipBottom rows left out (a draw that
// reaches below its target). Output rows are produced from the bottom, so rows cut off at the
// top need no skip: the output view is simply less tall.
struct ScaleJob {
    std::int32_t srcX = 0;
    std::int32_t srcY = 0;
    std::int32_t srcWidth = 0;
    std::int32_t srcHeight = 0;
    std::int32_t fullWidth = 0;
    std::int32_t fullHeight = 0;
    std::int32_t skipX = 0;
    std::int32_t skipBottom = 0;
    bool bilinear = false;
};

// Resamples into out (out.width <= fullWidth - skipX, out.height <= fullHeight - skipBottom).
// With xRatio = srcWidth / fullWidth, yRatio = srcHeight / fullHeight (doubles) and
// base = src.height - srcHeight - srcY (the bottom storage row of the rectangle):
// and Y = y + skipBottom for output row y (counted from the bottom):
//  nearest:  output (x, y) copies storage pixel
//            (floor(srcX + (x + skipX) * xRatio), base + floor(Y * yRatio));
//  bilinear: fx = srcX + (x + skipX) * xRatio, fy = base + Y * yRatio; column xi = floor(fx)
//            weighs 1 - xf and xi + 1 weighs xf (xi alone, weight 1, when xi + 1 reaches
//            srcX + srcWidth); storage row yi = floor(fy) weighs yf and the row below weighs
//            1 - yf (row 0 alone when yi is 0); each byte is the integer part of the sum of
//            weight * byte over the pixels of non-zero weight.
// False when the job does not fit the views.
bool scaleToBuffer(ConstPixelView src, const ScaleJob& job, PixelView out) noexcept;

// ---- Blending -----------------------------------------------------------------------------

// One blend: width x height pixels of the source, its top-left pixel at (srcX, srcY) counted
// from the top-left of the source view, onto the target with its top-left at (destX, destY),
// also counted from the top. The rectangle is clipped to the source and to the target on all
// four sides (the source columns and rows matching the clipped target ones are skipped).
struct BlendJob {
    std::int32_t srcX = 0;
    std::int32_t srcY = 0;
    std::int32_t destX = 0;
    std::int32_t destY = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint8_t opacity = 255;   // opacity byte o
    std::int32_t grayScale = -1;  // grayscale formula code; -1 none
};

// Blends onto a 32-bit surface's pixels (a host surface): with source alpha a, colour c
// (or its gray value g), target byte t and ÷ truncating:
//   o = 255: a = 255 copies all four bytes; a = 0 keeps the target; else t = t*(255-a)÷255 + c;
//   o < 255: a = 0 keeps the target; else with k = 255 - a*o÷255, t = (t*k + c*o)÷255;
// the alpha byte follows the same rule with a in place of c. Gray: g = nearest(B*wB + G*wG +
// R*wR) (single precision, halves to even, low byte) in place of each colour byte. A colour
// above its pixel's alpha (a malformed source) is taken as the alpha.
// Answers true when some pixel was composed; false for invalid views and for a rectangle that
// the clipping leaves empty (it lies wholly outside the source or the target, or has no size),
// so that a draw that changes nothing never reports success.
bool blendToSurface(ConstPixelView src, const BlendJob& job, PixelView target) noexcept;

// Blends onto a device context's pixels as the desktop does through a 24-bit temporary: the
// colour bytes follow the rules above, and on a 32-bit context every pixel of the (clipped)
// rectangle is left with alpha 0, as a 24-bit row written back into 32 bits is. The rectangle is
// clipped to the context's clip box. False for invalid views, a context without pixels, or a
// rectangle the clipping leaves empty (as blendToSurface).
bool blendToContext(ConstPixelView src, const BlendJob& job, platform::DeviceContext& dc) noexcept;

// ---- Rotation -----------------------------------------------------------------------------

// Rotation of a source rectangle into a square working view.
struct RotateJob {
    std::int32_t srcX = 0;
    std::int32_t srcY = 0;  // top-left, counted from the top of the source view
    std::int32_t srcWidth = 0;
    std::int32_t srcHeight = 0;
    double xScale = 1;   // destWidth / srcWidth
    double yScale = 1;   // destHeight / srcHeight
    double degrees = 0;  // whole degrees, already reduced modulo 360
    bool bilinear = false;
};

// The side of the working square for a destination size: nearest(sqrt(w² + h²)), halves to
// even; nothing when it does not fit in 32 bits.
[[nodiscard]] bool rotationSquareSide(std::int32_t destWidth, std::int32_t destHeight,
                                      std::int32_t& side) noexcept;

// The rotation angle actually drawn: the nearest whole degree (halves to even) of the angle,
// reduced modulo 360 keeping its sign (a huge angle is reduced first). False for NaN/infinity.
[[nodiscard]] bool wholeDegrees(double angle, double& degrees) noexcept;

// Fills the square out (D x D, fully transparent beforehand) with the rotated, scaled
// rectangle: working pixel (i + ox, j + oy) samples the source at
// fx = (i - cX) * cx + (j - cY) * sx + cX, fy = (j - cY) * cy - (i - cX) * sy + cY, stepped per
// column by +cx and -sy, with cX, cY the rectangle's centre in storage rows and
// θ = -π * degrees / 180, cx = cos θ / xScale, sx = sin θ / xScale, cy = cos θ / yScale,
// sy = sin θ / yScale, ox = (D - srcWidth) ÷ 2, oy = (D - srcHeight) ÷ 2. Positions outside the
// rectangle stay transparent; inside, nearest copies (floor fx, floor fy) and bilinear uses the
// pairing of scaleToBuffer. False when the job does not fit the views.
bool rotateToSquare(ConstPixelView src, const RotateJob& job, PixelView out) noexcept;

// ---- Vector forms --------------------------------------------------------------------------

// The resampler's and the rotator's bilinear forms (AVX2) and the compositor's rows (AVX2 eight
// pixels a step, SSE2 four) have vector forms that give the same bytes as their one-pixel forms.
// The image library's kernel table (image/image_kernels.h) names the forms that run; tests hold
// them back with simd::setLevelLimit to compare.

}  // namespace talvrin::engine
