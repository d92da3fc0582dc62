// Engine: rotation (with scaling) of a source rectangle into a square working buffer.
#include <cmath>
#include <cstring>
#include <limits>

#include "image/image_kernels.h"
#include "image/surface/engine.h"
#include "image/surface/surface_rows.h"

namespace talvrin::engine {

bool rotationSquareSide(std::int32_t destWidth, std::int32_t destHeight,
                        std::int32_t& side) noexcept {
    const double w = destWidth, h = destHeight;
    const double d = std::nearbyint(std::sqrt(w * w + h * h));  // halves to even
    if (!(d >= 0) || d > std::numeric_limits<std::int32_t>::max()) return false;
    side = static_cast<std::int32_t>(d);
    return true;
}

bool wholeDegrees(double angle, double& degrees) noexcept {
    if (!std::isfinite(angle)) return false;
    // Reducing first is exact and keeps the parity of a halfway value, so rounding afterwards
    // gives what rounding the whole angle would.
    double a = std::nearbyint(std::fmod(angle, 360.0));
    a = std::fmod(a, 360.0);
    degrees = a == 0.0 ? 0.0 : a;  // no negative zero
    return true;
}

namespace {

// One working row, one pixel at a time (the reference form). fx and fy start at the row's
// first column and step by +cx and -sy.
template <bool Bilinear>
void rotateRow(ConstPixelView src, const detail::RotateGeometry& g, double fx, double fy,
               std::int32_t side, std::uint8_t* dst) noexcept {
    for (std::int32_t col = 0; col < side; ++col, fx += g.cx, fy -= g.sy) {
        if (!(fx >= g.x0 && fx < g.x1 && fy >= g.y0 && fy < g.y1)) continue;
        // Both are at least 0 here, so truncation is floor.
        const auto xi = static_cast<std::int32_t>(fx);
        const auto yi = static_cast<std::int32_t>(fy);
        std::uint8_t* p = dst + static_cast<std::size_t>(col) * 4;
        if constexpr (!Bilinear) {
            std::memcpy(p, src.row(yi) + static_cast<std::size_t>(xi) * 4, 4);
        } else {
            detail::bilinearPixel(src, detail::columnWeights(fx, xi, g.columnEnd),
                                  detail::rowWeights(fy, yi), p);
        }
    }
}

}  // namespace

void detail::rotateBilinearScalar(ConstPixelView src, const RotateGeometry& g, double fx, double fy,
                                  std::int32_t side, std::uint8_t* dst) noexcept {
    rotateRow<true>(src, g, fx, fy, side, dst);
}

bool rotateToSquare(ConstPixelView src, const RotateJob& job, PixelView out) noexcept {
    if (!src.valid() || !out.valid() || out.width != out.height) return false;
    if (job.srcX < 0 || job.srcY < 0 || job.srcWidth < 1 || job.srcHeight < 1) return false;
    if (std::int64_t{job.srcX} + job.srcWidth > src.width ||
        std::int64_t{job.srcY} + job.srcHeight > src.height)
        return false;
    if (!std::isfinite(job.xScale) || !std::isfinite(job.yScale) || job.xScale <= 0 ||
        job.yScale <= 0 || !std::isfinite(job.degrees))
        return false;

    const std::int32_t side = out.width;
    const std::int32_t x0 = job.srcX;
    const std::int32_t x1 = job.srcX + job.srcWidth;                // one past the last column
    const std::int32_t y0 = src.height - job.srcHeight - job.srcY;  // bottom storage row
    const std::int32_t y1 = y0 + job.srcHeight;                     // one past the top storage row
    const std::int32_t cX = job.srcX + job.srcWidth / 2;
    const std::int32_t cY = y0 + job.srcHeight / 2;
    const std::int32_t ox = static_cast<std::int32_t>((std::int64_t{side} - job.srcWidth) / 2);
    const std::int32_t oy = static_cast<std::int32_t>((std::int64_t{side} - job.srcHeight) / 2);

    const double theta = -(4.0 * std::atan(1.0)) * job.degrees / 180.0;
    double cosT = std::cos(theta), sinT = std::sin(theta);
    // At quarter turns the sine and cosine are exactly 0 and ±1; the library's values carry a
    // residue near 1e-16 that, accumulated along a row, would tip exact pixel positions
    // below a whole number and shift rows of a right-angle rotation by one pixel.
    if (std::fmod(job.degrees, 90.0) == 0.0) {
        cosT = std::nearbyint(cosT);
        sinT = std::nearbyint(sinT);
    }
    const double cx = cosT / job.xScale, sx = sinT / job.xScale;
    const double cy = cosT / job.yScale, sy = sinT / job.yScale;

    const detail::RotateGeometry g{static_cast<double>(x0),
                                   static_cast<double>(x1),
                                   static_cast<double>(y0),
                                   static_cast<double>(y1),
                                   x1,
                                   cx,
                                   sy};
    const double iStart = static_cast<double>(std::int64_t{-ox} - cX);
    const auto rotateBilinear = imageKernels().rotateBilinear;
    for (std::int32_t row = 0; row < side; ++row) {
        const double dj = static_cast<double>(std::int64_t{row} - oy - cY);  // j - cY
        const double fx = iStart * cx + dj * sx + cX;
        const double fy = dj * cy - iStart * sy + cY;
        std::uint8_t* dst = out.row(row);
        if (job.bilinear) {
            rotateBilinear(src, g, fx, fy, side, dst);
        } else {
            rotateRow<false>(src, g, fx, fy, side, dst);
        }
    }
    return true;
}

}  // namespace talvrin::engine
