#include "platform/gdi/gdi_kernels.h"

namespace talvrin::platform {

namespace {

constexpr GdiKernels kScalar = {detail::overRowScalar, detail::constantRowScalar};
#if defined(TALVRIN_SIMD_X86)
constexpr GdiKernels kSse2 = {detail::overRowSse2, detail::constantRowSse2};
constexpr GdiKernels kAvx2 = {detail::overRowAvx2, detail::constantRowAvx2};
// SSSE3 adds nothing to these rows.
constinit const simd::KernelTables<GdiKernels> kTables = {{&kScalar, &kSse2, &kSse2, &kAvx2}};
#else
constinit const simd::KernelTables<GdiKernels> kTables = {{&kScalar, &kScalar, &kScalar, &kScalar}};
#endif

}  // namespace

const GdiKernels& gdiKernels() noexcept {
    return kTables.active();
}

}  // namespace talvrin::platform
