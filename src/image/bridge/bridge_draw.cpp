// The bridge's drawing through pixman: one affine, filtered, source-over composite of a working
// image onto a device context's bitmap, cut to the context's clip box.
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "image/bridge/bridge_backend.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"

namespace talvrin::bridge::backend {

namespace {

struct ImageDeleter {
    void operator()(pixman_image_t* image) const noexcept { pixman_image_unref(image); }
};
using Image = std::unique_ptr<pixman_image_t, ImageDeleter>;

pixman_fixed_t fixed(double v) noexcept {
    return pixman_double_to_fixed(std::clamp(v, -32767.0, 32767.0));
}

// A cubic filter on the image for the given scales (source pixels per destination pixel); an
// axis whose scale is 0 is not filtered at all.
bool setCubic(pixman_image_t* image, double scaleX, double scaleY) noexcept {
    const auto kernels = [](double scale, pixman_kernel_t& reconstruct, pixman_kernel_t& sample,
                            double& size) {
        if (scale == 0) {
            // One tap: the pixel under the point (a one-pixel box, sampled at its centre).
            reconstruct = PIXMAN_KERNEL_BOX;
            sample = PIXMAN_KERNEL_IMPULSE;
            size = 1;
            return;
        }
        size = std::max(std::fabs(scale), 1.0);
        reconstruct = PIXMAN_KERNEL_CUBIC;
        sample = size > 1 ? PIXMAN_KERNEL_BOX : PIXMAN_KERNEL_IMPULSE;
    };
    pixman_kernel_t rx, sx, ry, sy;
    double wx = 1, wy = 1;
    kernels(scaleX, rx, sx, wx);
    kernels(scaleY, ry, sy, wy);
    int n = 0;
    pixman_fixed_t* params = pixman_filter_create_separable_convolution(
        &n, pixman_double_to_fixed(wx), pixman_double_to_fixed(wy), rx, ry, sx, sy, 4, 4);
    if (!params) return false;
    const bool set =
        pixman_image_set_filter(image, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, n) != 0;
    std::free(params);
    return set;
}

pixman_transform_t transformOf(double a, double b, double c, double d, double e, double f) {
    pixman_transform_t t;
    t.matrix[0][0] = fixed(a);
    t.matrix[0][1] = fixed(b);
    t.matrix[0][2] = fixed(c);
    t.matrix[1][0] = fixed(d);
    t.matrix[1][1] = fixed(e);
    t.matrix[1][2] = fixed(f);
    t.matrix[2][0] = 0;
    t.matrix[2][1] = 0;
    t.matrix[2][2] = pixman_fixed_1;
    return t;
}

// Two one-dimensional passes: every source row filtered across into the drawn columns, then
// those columns filtered down onto the target.
bool drawSeparable(std::int32_t sourceRows, pixman_image_t* src, const Affine& m, double scaleX,
                   double scaleY, const Rect& drawn, pixman_image_t* dst) noexcept {
    const auto w = static_cast<std::int32_t>(drawn.width());
    const std::int32_t h = sourceRows;
    std::vector<std::uint32_t> across;
    try {
        across.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
    } catch (...) {
        return false;
    }
    Image mid(pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, across.data(), w * 4));
    if (!mid) return false;
    // Pass one: column i of the intermediate is destination column drawn.left + i; rows are the
    // source's.
    pixman_transform_t t1 = transformOf(m.a, 0, m.a * drawn.left + m.c, 0, 1, 0);
    if (!pixman_image_set_transform(src, &t1) || !setCubic(src, scaleX, 0)) return false;
    pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, mid.get(), 0, 0, 0, 0, 0, 0, w, h);
    // Pass two: down the intermediate's columns onto the target's rows.
    pixman_transform_t t2 = transformOf(1, 0, 0, 0, m.e, m.e * drawn.top + m.f);
    pixman_image_set_repeat(mid.get(), PIXMAN_REPEAT_NONE);
    if (!pixman_image_set_transform(mid.get(), &t2) || !setCubic(mid.get(), 0, scaleY))
        return false;
    pixman_image_composite32(PIXMAN_OP_OVER, mid.get(), nullptr, dst, 0, 0, 0, 0, drawn.left,
                             drawn.top, w, static_cast<std::int32_t>(drawn.height()));
    return true;
}

}  // namespace

bool present() noexcept {
    return true;
}

bool drawAffine(const TopDownImage& image, const Affine& toSource, bool bicubic, double scaleX,
                double scaleY, const Rect& area, platform::DeviceContext& dc) noexcept {
    platform::Bitmap& target = dc.surface();
    const int bpp = target.bitsPerPixel();
    if (!target.bits() || (bpp != 24 && bpp != 32) || image.width < 1 || image.height < 1)
        return false;
    const Rect drawn =
        intersect(intersect(area, dc.clipBox()), Rect{0, 0, target.width(), target.height()});
    if (drawn.isEmpty()) return false;

    // The source in the surface byte order (B, G, R, A is a8r8g8b8 read little-endian).
    Image src(pixman_image_create_bits(
        PIXMAN_a8r8g8b8, image.width, image.height,
        reinterpret_cast<std::uint32_t*>(const_cast<std::uint8_t*>(image.pixels.data())),
        image.width * 4));
    // The bottom-up target seen top-down: its top row first, a negative stride.
    Image dst(pixman_image_create_bits(
        bpp == 32 ? PIXMAN_a8r8g8b8 : PIXMAN_r8g8b8, target.width(), target.height(),
        reinterpret_cast<std::uint32_t*>(target.rowFromTop(0)), -target.stride()));
    if (!src || !dst) return false;

    // The map is taken relative to the drawn area's corner, so that its translation stays within
    // the working image's coordinates (pixman's fixed point reaches only +-32768).
    const double ox = drawn.left, oy = drawn.top;
    pixman_transform_t t =
        transformOf(toSource.a, toSource.b, toSource.a * ox + toSource.b * oy + toSource.c,
                    toSource.d, toSource.e, toSource.d * ox + toSource.e * oy + toSource.f);
    if (!pixman_image_set_transform(src.get(), &t)) return false;
    pixman_image_set_repeat(src.get(), PIXMAN_REPEAT_NONE);

    if (bicubic && toSource.b == 0 && toSource.d == 0) {
        // An axis-aligned draw is filtered in two passes, across then down, each with the cubic
        // of its own axis: a quarter of the work of the two-dimensional filter, the same result
        // up to rounding of the intermediate.
        return drawSeparable(image.height, src.get(), toSource, scaleX, scaleY, drawn, dst.get());
    }
    if (bicubic) {
        // A cubic reconstruction, and when shrinking a box of the shrink's width over it, so
        // that every source pixel counts once (the high-quality bicubic of the imaging library).
        if (!setCubic(src.get(), scaleX, scaleY)) return false;
    } else {
        pixman_image_set_filter(src.get(), PIXMAN_FILTER_NEAREST, nullptr, 0);
    }
    pixman_image_composite32(PIXMAN_OP_OVER, src.get(), nullptr, dst.get(), 0, 0, 0, 0, drawn.left,
                             drawn.top, static_cast<std::int32_t>(drawn.width()),
                             static_cast<std::int32_t>(drawn.height()));
    return true;
}

}  // namespace talvrin::bridge::backend
