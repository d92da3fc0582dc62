// The bridge's drawing on this platform. High-quality draws and whole-pixel translations go to
// the own resampler (resample.h): separable cubic convolution in 16-bit fixed point, with the
// edge extended and pixel centres mapped to pixel centres. Nearest-neighbour draws go to pixman,
// whose nearest affine paths are as fast as a copy and have nothing to round.
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "image/bridge/bridge_backend.h"
#include "image/bridge/resample.h"
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

bool isTranslation(const Affine& m, double opacity) noexcept {
    const auto whole = [](double v) { return std::isfinite(v) && v == std::floor(v); };
    return m.a == 1 && m.b == 0 && m.d == 0 && m.e == 1 && whole(m.c) && whole(m.f) && opacity >= 1;
}

// The nearest pixel under each destination pixel's centre, through pixman.
bool drawNearest(const ImageRows& image, const Affine& m, double opacity, const Rect& drawn,
                 platform::Bitmap& target) noexcept {
    // pixman reads the rows from the first one on with the view's (possibly negative) stride.
    Image src(pixman_image_create_bits(
        PIXMAN_a8r8g8b8, image.width, image.height,
        reinterpret_cast<std::uint32_t*>(const_cast<std::uint8_t*>(image.top)),
        static_cast<int>(image.stride)));
    Image dst(pixman_image_create_bits(
        target.bitsPerPixel() == 32 ? PIXMAN_a8r8g8b8 : PIXMAN_r8g8b8, target.width(),
        target.height(), reinterpret_cast<std::uint32_t*>(target.rowFromTop(0)), -target.stride()));
    if (!src || !dst) return false;
    // The map is taken relative to the drawn area's corner, so that its translation stays within
    // pixman's fixed point (+-32768).
    const double ox = drawn.left, oy = drawn.top;
    pixman_transform_t t;
    t.matrix[0][0] = fixed(m.a);
    t.matrix[0][1] = fixed(m.b);
    t.matrix[0][2] = fixed(m.a * ox + m.b * oy + m.c);
    t.matrix[1][0] = fixed(m.d);
    t.matrix[1][1] = fixed(m.e);
    t.matrix[1][2] = fixed(m.d * ox + m.e * oy + m.f);
    t.matrix[2][0] = 0;
    t.matrix[2][1] = 0;
    t.matrix[2][2] = pixman_fixed_1;
    if (!pixman_image_set_transform(src.get(), &t)) return false;
    pixman_image_set_repeat(src.get(), PIXMAN_REPEAT_NONE);
    pixman_image_set_filter(src.get(), PIXMAN_FILTER_NEAREST, nullptr, 0);
    Image mask;
    if (opacity < 1) {
        const pixman_color_t alpha{0, 0, 0,
                                   static_cast<std::uint16_t>(std::lround(opacity * 65535))};
        mask.reset(pixman_image_create_solid_fill(&alpha));
        if (!mask) return false;
    }
    pixman_image_composite32(PIXMAN_OP_OVER, src.get(), mask.get(), dst.get(), 0, 0, 0, 0,
                             drawn.left, drawn.top, static_cast<std::int32_t>(drawn.width()),
                             static_cast<std::int32_t>(drawn.height()));
    return true;
}

}  // namespace

bool present() noexcept {
    return true;
}

bool drawAffine(const ImageRows& image, const Affine& toSource, bool bicubic, double /*scaleX*/,
                double /*scaleY*/, double opacity, const Rect& area,
                platform::DeviceContext& dc) noexcept {
    platform::Bitmap& target = dc.surface();
    const int bpp = target.bitsPerPixel();
    if (!target.bits() || (bpp != 24 && bpp != 32) || !image.top || image.width < 1 ||
        image.height < 1)
        return false;
    const Rect drawn =
        intersect(intersect(area, dc.clipBox()), Rect{0, 0, target.width(), target.height()});
    if (drawn.isEmpty()) return false;
    if (!bicubic && !isTranslation(toSource, opacity))
        return drawNearest(image, toSource, opacity, drawn, target);
    // The kernel's widening by the scale comes from the map itself (its gradient per axis).
    const resample::Source source{image.top, image.stride, image.width, image.height};
    const resample::Target pixels{target.rowFromTop(0),
                                  -static_cast<std::ptrdiff_t>(target.stride()), target.width(),
                                  target.height(), bpp / 8};
    const resample::Map map{toSource.a, toSource.b, toSource.c, toSource.d, toSource.e, toSource.f};
    return resample::draw(source, map, resample::Kernel::kCubic, opacity, drawn, pixels);
}

}  // namespace talvrin::bridge::backend
