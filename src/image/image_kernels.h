// The image library's kernel table: the forms of the codecs' and the surface's hot rows for one
// instruction-set level (base/simd.h). Call sites ask imageKernels() for the rows to run, once a
// row or once a call; every table gives the same bytes as the scalar one. The resampler of the
// imaging bridge keeps a table of its own (bridge/resample.h), as the drawing layer does
// (platform/gdi/gdi_kernels.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/pixels.h"
#include "base/simd.h"
#include "image/codecs/pixel_helpers.h"

namespace talvrin {

namespace engine::detail {
struct BilinearScaleForms;
struct RotateGeometry;
}  // namespace engine::detail

struct ImageKernels {
    // ---- codecs ----
    // PNG row unfiltering (png::unfilterRow states the rule).
    void (*unfilterRow)(std::uint8_t type, std::uint8_t* row, const std::uint8_t* prev,
                        std::size_t len, unsigned unit) noexcept;
    // PNG RGBA and RGB (no colour key) rows at 8 bits into adjacent premultiplied pixels.
    void (*rgba8Adjacent)(const std::uint8_t* s, std::uint8_t* d, std::uint32_t columns) noexcept;
    void (*rgb8Adjacent)(const std::uint8_t* s, std::uint8_t* d, std::uint32_t columns) noexcept;
    // The alpha classification, premultiplying and making opaque of 32-bit pixels.
    detail::AlphaVerdict (*classifyAlpha)(std::span<const std::uint8_t> pixels,
                                          std::size_t pixelCount) noexcept;
    void (*premultiply)(std::uint8_t* pixels, std::size_t pixelCount) noexcept;
    void (*makeOpaque)(std::uint8_t* pixels, std::size_t pixelCount) noexcept;

    // ---- surface ----
    // The compositor's rows onto a 32-bit surface, a 32-bit and a 24-bit context.
    void (*blendHost)(std::uint8_t* t, const std::uint8_t* s, std::int32_t n,
                      std::uint32_t o) noexcept;
    void (*blendContext32)(std::uint8_t* t, const std::uint8_t* s, std::int32_t n,
                           std::uint32_t o) noexcept;
    void (*blendContext24)(std::uint8_t* t, const std::uint8_t* s, std::int32_t n,
                           std::uint32_t o) noexcept;
    // The bilinear scaler's faster rows, or null where only the one-pixel row exists.
    const engine::detail::BilinearScaleForms* bilinearScale;
    // One bilinear working row of the rotator.
    void (*rotateBilinear)(ConstPixelView src, const engine::detail::RotateGeometry& g, double fx,
                           double fy, std::int32_t side, std::uint8_t* dst) noexcept;
    // 32-bit rows out (c32bppDIB::GetDIBbits).
    void (*exportRow32)(const std::uint8_t* p, std::uint8_t* o, std::int32_t n, bool bgr,
                        bool premultiplied) noexcept;
};

// The table of simd::level() (the processor's, held to the test limit).
[[nodiscard]] const ImageKernels& imageKernels() noexcept;
// The table of one level, or null where this processor cannot run it.
[[nodiscard]] const ImageKernels* imageKernelsFor(simd::Level level) noexcept;

}  // namespace talvrin
