// Internal to the drawing layer: the rows of AlphaBlend. Each row blends n 32-bit source pixels
// onto n 32-bit destination pixels with the constant alpha sca, in one of two ways:
//   over      per-pixel alpha: s' = div255Round(s * sca) (s itself at sca 255), then
//             d = min(255, s' + div255Round(d * (255 - alpha of s')))
//   constant  no per-pixel alpha: d = div255Round(s * sca + d * (255 - sca))
// The one-pixel rows (gdi_blend.cpp) define the result; the vector rows (gdi_blend_sse2.cpp four
// pixels a step, gdi_blend_avx2.cpp eight) are one template over the vector width
// (gdi_blend_vector.h) and give the same bytes. The drawing layer's kernel table
// (gdi_kernels.h) names them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/simd.h"  // TALVRIN_SIMD_X86

namespace talvrin::platform::detail {

using BlendRowFn = void (*)(std::uint8_t* d, const std::uint8_t* s, std::size_t n,
                            std::uint32_t sca) noexcept;

void overRowScalar(std::uint8_t* d, const std::uint8_t* s, std::size_t n,
                   std::uint32_t sca) noexcept;
void constantRowScalar(std::uint8_t* d, const std::uint8_t* s, std::size_t n,
                       std::uint32_t sca) noexcept;

#if defined(TALVRIN_SIMD_X86)

void overRowSse2(std::uint8_t* d, const std::uint8_t* s, std::size_t n, std::uint32_t sca) noexcept;
void constantRowSse2(std::uint8_t* d, const std::uint8_t* s, std::size_t n,
                     std::uint32_t sca) noexcept;
// Built for AVX2: reached only through the AVX2 table.
void overRowAvx2(std::uint8_t* d, const std::uint8_t* s, std::size_t n, std::uint32_t sca) noexcept;
void constantRowAvx2(std::uint8_t* d, const std::uint8_t* s, std::size_t n,
                     std::uint32_t sca) noexcept;

#endif  // TALVRIN_SIMD_X86

}  // namespace talvrin::platform::detail
