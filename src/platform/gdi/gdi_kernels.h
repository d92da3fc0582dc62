// The drawing layer's kernel table: the forms of its hot rows for one instruction-set level
// (base/simd.h). Call sites ask gdiKernels() for the rows to run; every table gives the same
// bytes.
#pragma once

#include "base/simd.h"
#include "platform/gdi/gdi_blend_rows.h"

namespace talvrin::platform {

struct GdiKernels {
    detail::BlendRowFn blendOver;      // AlphaBlend with per-pixel alpha
    detail::BlendRowFn blendConstant;  // AlphaBlend with the constant alpha alone
};

// The table of simd::level() (the processor's, held to the test limit).
[[nodiscard]] const GdiKernels& gdiKernels() noexcept;

}  // namespace talvrin::platform
