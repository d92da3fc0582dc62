// Helpers shared by the render, engine, effects and shadow tests: pixels addressed from the
// top-left, seeded random images, and device contexts with a bitmap of their own.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <random>

#include "image/surface/c32bpp_dib.h"
#include "image/surface/engine.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"

namespace talvrin::testing {

using Pixel = std::array<std::uint8_t, 4>;  // B, G, R, A

inline std::uint8_t* pixelPtr(const c32bppDIB& dib, int x, int y) {
    return dib.BitsPointer() +
           pixelOffset(x, y, dib.Height(), static_cast<std::size_t>(dib.scanWidth()));
}
inline void put(const c32bppDIB& dib, int x, int y, Pixel p) {
    std::copy(p.begin(), p.end(), pixelPtr(dib, x, y));
}
inline Pixel get(const c32bppDIB& dib, int x, int y) {
    const std::uint8_t* q = pixelPtr(dib, x, y);
    return {q[0], q[1], q[2], q[3]};
}
inline Pixel get(const ConstPixelView& v, int x, int y) {
    const std::uint8_t* q = v.row(v.height - 1 - y) + static_cast<std::size_t>(x) * 4;
    return {q[0], q[1], q[2], q[3]};
}

// A surface with every pixel the same.
inline void fill(const c32bppDIB& dib, Pixel p) {
    for (int y = 0; y < dib.Height(); ++y)
        for (int x = 0; x < dib.Width(); ++x)
            put(dib, x, y, p);
}

// Well-formed premultiplied random pixels (colour <= alpha), with some fully transparent and
// fully opaque ones; opaque = true gives alpha 255 everywhere.
inline void fillRandom(const c32bppDIB& dib, std::uint32_t seed, bool opaque = false) {
    std::mt19937 rng(seed);
    for (int y = 0; y < dib.Height(); ++y) {
        for (int x = 0; x < dib.Width(); ++x) {
            const std::uint32_t pick = rng() % 8;
            const std::uint8_t a = opaque || pick == 0 ? 255 : pick == 1 ? 0 : rng() % 256;
            Pixel p{0, 0, 0, a};
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<std::uint8_t>(a ? rng() % (a + 1u) : 0);
            put(dib, x, y, p);
        }
    }
}

// A surface that asks the engine for every draw (the AlphaBlend path switched off).
inline std::unique_ptr<c32bppDIB> engineSurface(int w, int h) {
    auto dib = std::make_unique<c32bppDIB>();
    dib->InitializeDIB(w, h);
    dib->setAlphaBlendFriendly(false);
    dib->setGDIplusEnabled(false);
    dib->setHighQualityInterpolation(false);
    return dib;
}

// A memory device context drawing on a bitmap of its own (24 or 32 bits).
struct TestDC {
    std::unique_ptr<platform::Bitmap> bitmap;
    std::unique_ptr<platform::DeviceContext> dc;

    TestDC(int w, int h, int bpp = 32)
        : bitmap(platform::Bitmap::create(w, h, bpp)),
          dc(platform::DeviceContext::createCompatible()) {
        dc->select(bitmap.get());
    }
    // Bytes of the pixel at (x, y) from the top-left (3 or 4 of them).
    std::uint8_t* at(int x, int y) const {
        return bitmap->rowFromTop(y) + static_cast<std::size_t>(x) * (bitmap->bitsPerPixel() / 8);
    }
    void fill(Pixel p) const {
        for (int y = 0; y < bitmap->height(); ++y)
            for (int x = 0; x < bitmap->width(); ++x)
                std::copy_n(p.begin(), bitmap->bitsPerPixel() / 8, at(x, y));
    }
};

}  // namespace talvrin::testing
