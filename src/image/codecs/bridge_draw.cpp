// The bridge's drawing through pixman: one affine, filtered, source-over composite of a working
// image onto a device context's bitmap, cut to the context's clip box.
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "image/codecs/bridge_backend.h"
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

}  // namespace

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
    pixman_transform_t t;
    t.matrix[0][0] = fixed(toSource.a);
    t.matrix[0][1] = fixed(toSource.b);
    t.matrix[0][2] = fixed(toSource.a * ox + toSource.b * oy + toSource.c);
    t.matrix[1][0] = fixed(toSource.d);
    t.matrix[1][1] = fixed(toSource.e);
    t.matrix[1][2] = fixed(toSource.d * ox + toSource.e * oy + toSource.f);
    t.matrix[2][0] = 0;
    t.matrix[2][1] = 0;
    t.matrix[2][2] = pixman_fixed_1;
    if (!pixman_image_set_transform(src.get(), &t)) return false;
    pixman_image_set_repeat(src.get(), PIXMAN_REPEAT_NONE);

    if (bicubic) {
        // A cubic reconstruction, and when shrinking a box of the shrink's width over it, so
        // that every source pixel counts once (the high-quality bicubic of the imaging library).
        const double sx = std::max(std::fabs(scaleX), 1.0), sy = std::max(std::fabs(scaleY), 1.0);
        int n = 0;
        pixman_fixed_t* params = pixman_filter_create_separable_convolution(
            &n, pixman_double_to_fixed(sx), pixman_double_to_fixed(sy), PIXMAN_KERNEL_CUBIC,
            PIXMAN_KERNEL_CUBIC, sx > 1 ? PIXMAN_KERNEL_BOX : PIXMAN_KERNEL_IMPULSE,
            sy > 1 ? PIXMAN_KERNEL_BOX : PIXMAN_KERNEL_IMPULSE, 4, 4);
        if (!params) return false;
        const bool set =
            pixman_image_set_filter(src.get(), PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, n) != 0;
        std::free(params);
        if (!set) return false;
    } else {
        pixman_image_set_filter(src.get(), PIXMAN_FILTER_NEAREST, nullptr, 0);
    }
    pixman_image_composite32(PIXMAN_OP_OVER, src.get(), nullptr, dst.get(), 0, 0, 0, 0, drawn.left,
                             drawn.top, static_cast<std::int32_t>(drawn.width()),
                             static_cast<std::int32_t>(drawn.height()));
    return true;
}

}  // namespace talvrin::bridge::backend
