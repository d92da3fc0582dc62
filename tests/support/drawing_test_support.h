// Helpers shared by the drawing-layer tests: seeded pixel fills, pixel access, contexts.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"

namespace talvrin::platform::testing {

// The pixel at column x, image row y (from the top) of a 32-bit bitmap, as 0xAARRGGBB.
inline std::uint32_t pixel32(const Bitmap& b, int x, int y) {
    std::uint32_t v;
    std::memcpy(&v, b.rowFromTop(y) + 4 * x, 4);
    return v;
}
inline void setPixel32(Bitmap& b, int x, int y, std::uint32_t v) {
    std::memcpy(b.rowFromTop(y) + 4 * x, &v, 4);
}

inline void fillRandom(Bitmap& b, std::mt19937& rng) {
    for (std::size_t i = 0; i < b.byteCount(); ++i)
        b.bits()[i] = static_cast<std::uint8_t>(rng());
}

// Premultiplied pixels, a mix of transparent, opaque and translucent ones; with malformed set,
// some colours exceed their alpha.
inline void fillPremultiplied(Bitmap& b, std::mt19937& rng, bool malformed = false) {
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x) {
            const unsigned kind = rng() % 8;
            const std::uint32_t a = kind == 0 ? 0 : kind == 1 ? 255 : rng() % 256;
            std::uint32_t v = a << 24;
            for (int c = 0; c < 3; ++c)
                v |= (malformed && rng() % 16 == 0 ? rng() % 256 : rng() % (a + 1)) << (8 * c);
            setPixel32(b, x, y, v);
        }
}

// A bitmap selected into its own memory context.
struct Target {
    std::unique_ptr<Bitmap> bitmap;
    std::unique_ptr<DeviceContext> dc;
    Target(int w, int h, int bpp = 32)
        : bitmap(Bitmap::create(w, h, bpp)), dc(DeviceContext::createCompatible()) {
        dc->select(bitmap.get());
    }
};

inline bool sameBytes(const Bitmap& a, const Bitmap& b) {
    return a.byteCount() == b.byteCount() && std::memcmp(a.bits(), b.bits(), a.byteCount()) == 0;
}

inline std::unique_ptr<Bitmap> clone(const Bitmap& b) {
    auto c = Bitmap::create(b.width(), b.height(), b.bitsPerPixel());
    std::memcpy(c->bits(), b.bits(), b.byteCount());
    return c;
}

}  // namespace talvrin::platform::testing
