// AlphaBlend's four-pixel rows: the row templates of gdi_blend_vector.h at the SSE2 width, which
// every x86-64 processor runs.
#include "platform/gdi/gdi_blend_vector.h"

#if defined(TALVRIN_SIMD_X86)

namespace talvrin::platform::detail {

void overRowSse2(std::uint8_t* d, const std::uint8_t* s, std::size_t n,
                 std::uint32_t sca) noexcept {
    overRowVector<Sse2Lanes, overRowScalar>(d, s, n, sca);
}

void constantRowSse2(std::uint8_t* d, const std::uint8_t* s, std::size_t n,
                     std::uint32_t sca) noexcept {
    constantRowVector<Sse2Lanes, constantRowScalar>(d, s, n, sca);
}

}  // namespace talvrin::platform::detail

#endif  // TALVRIN_SIMD_X86
