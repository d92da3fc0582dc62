// Helpers shared by the drawing-layer tests: seeded pixel fills and direct pixel access.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>

#include "platform/bitmap.h"

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

// Fills every byte of the bitmap's rows with random values.
inline void fillRandom(Bitmap& b, std::mt19937& rng) {
    for (std::size_t i = 0; i < b.byteCount(); ++i)
        b.bits()[i] = static_cast<std::uint8_t>(rng());
}

// Fills a 32-bit bitmap with premultiplied pixels: a mix of transparent, opaque and translucent
// ones, plus a few malformed ones (colour above alpha) when malformed is set.
inline void fillPremultiplied(Bitmap& b, std::mt19937& rng, bool malformed = false) {
    for (int y = 0; y < b.height(); ++y) {
        for (int x = 0; x < b.width(); ++x) {
            const unsigned kind = rng() % 8;
            std::uint32_t a = kind == 0 ? 0 : kind == 1 ? 255 : rng() % 256;
            std::uint32_t c[3];
            for (auto& v : c)
                v = a == 0 ? 0 : static_cast<std::uint32_t>(rng() % (a + 1));
            if (malformed && rng() % 16 == 0)
                for (auto& v : c)
                    v = rng() % 256;
            setPixel32(b, x, y, (a << 24) | (c[2] << 16) | (c[1] << 8) | c[0]);
        }
    }
}

}  // namespace talvrin::platform::testing
