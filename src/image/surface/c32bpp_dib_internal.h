// The surface's state that only the image library writes: the alpha flag, the image type and the
// kept source bytes record what a decoder, an effect or the imaging bridge produced, so code
// above the library (the control, the tools) reads them and never sets them. The include-rule
// test keeps this header inside src/image; the library's own tests and benchmarks use it to
// build surfaces as a decoder would.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "image/surface/c32bpp_dib.h"

namespace talvrin {

struct SurfaceInternals {
    static void setAlpha(c32bppDIB& dib, bool value) noexcept { dib.setAlpha(value); }
    static void setImageType(c32bppDIB& dib, std::int32_t value) noexcept {
        dib.setImageType(value);
    }
    static void setSourceBytes(c32bppDIB& dib, std::span<const std::uint8_t> bytes) {
        dib.setSourceBytes(bytes);
    }
    static void setSourceBytes(c32bppDIB& dib, std::vector<std::uint8_t>&& bytes) noexcept {
        dib.setSourceBytes(std::move(bytes));
    }
};

}  // namespace talvrin
