// AlphaBlend's eight-pixel rows: the row templates of gdi_blend_vector.h at the AVX2 width. This
// file alone is built for AVX2 (-mavx2), and only the AVX2 table of gdi_kernels.cpp names its
// rows. It calls no inline function that other files also emit (only intrinsics,
// the templates and the SSE2 rows defined elsewhere), so no AVX2 copy of a shared function can
// reach the rest of the program.
#include "platform/gdi/gdi_blend_vector.h"

#if defined(TALVRIN_SIMD_X86)
#if !defined(__AVX2__)
#error "gdi_blend_avx2.cpp must be built with -mavx2"
#endif

namespace talvrin::platform::detail {

void overRowAvx2(std::uint8_t* d, const std::uint8_t* s, std::size_t n,
                 std::uint32_t sca) noexcept {
    overRowVector<Avx2Lanes, overRowSse2>(d, s, n, sca);
}

void constantRowAvx2(std::uint8_t* d, const std::uint8_t* s, std::size_t n,
                     std::uint32_t sca) noexcept {
    constantRowVector<Avx2Lanes, constantRowSse2>(d, s, n, sca);
}

}  // namespace talvrin::platform::detail

#endif  // TALVRIN_SIMD_X86
