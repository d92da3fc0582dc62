// Engine: the two steps that rewrite a source rectangle before it is scaled or blended, the
// mirrored copy and the lightness change.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "image/surface/engine.h"

namespace talvrin::engine {

namespace {

// Copies count pixels from src to dst in reverse order (dst[k] = src[-k]).
void reverseRow(std::uint8_t* dst, const std::uint8_t* srcLast, std::int32_t count) noexcept {
    for (std::int32_t k = 0; k < count; ++k) {
        std::memcpy(dst + static_cast<std::size_t>(k) * 4,
                    srcLast - static_cast<std::ptrdiff_t>(k) * 4, 4);
    }
}

}  // namespace

bool mirrorCopy(ConstPixelView src, std::int32_t srcX, std::int32_t srcY, std::int32_t srcWidth,
                std::int32_t srcHeight, bool mirrorX, bool mirrorY, PixelView out) noexcept {
    if (!mirrorX && !mirrorY) return false;
    if (!src.valid() || !out.valid() || out.width != srcWidth || out.height != srcHeight)
        return false;
    if (srcX < 0 || srcY < 0 || srcWidth < 1 || srcHeight < 1) return false;
    // Columns and rows read: all within the source (64-bit sums cannot overflow).
    if (std::int64_t{srcX} + srcWidth > src.width || std::int64_t{srcY} + srcHeight > src.height)
        return false;

    for (std::int32_t r = 0; r < srcHeight; ++r) {  // r: output row from the top
        std::uint8_t* dst = out.rowFromTop(r);
        // mirrorY: storage row srcY + r; otherwise image row srcY + r from the top.
        const std::uint8_t* row = mirrorY ? src.row(srcY + r) : src.rowFromTop(srcY + r);
        if (mirrorX) {
            reverseRow(dst, row + static_cast<std::size_t>(src.width - srcX - 1) * 4, srcWidth);
        } else {
            std::memcpy(dst, row + static_cast<std::size_t>(srcX) * 4,
                        static_cast<std::size_t>(srcWidth) * 4);
        }
    }
    return true;
}

bool adjustLightness(ConstPixelView src, PixelView out, float lightAdjustment) noexcept {
    if (!src.valid() || !out.valid() || src.width != out.width || src.height != out.height)
        return false;
    if (!std::isfinite(lightAdjustment)) return false;
    const float d = static_cast<float>(static_cast<double>(lightAdjustment) / 100.0 * 255.0);
    // m depends on the alpha byte alone: one table for the whole buffer.
    std::array<std::int32_t, 256> m{};
    for (int a = 1; a < 256; ++a) {
        const float product = d * static_cast<float>(a);
        m[static_cast<std::size_t>(a)] = static_cast<std::int32_t>(std::nearbyint(product)) / 255;
    }
    const bool brighten = d > 0.0f;
    const std::size_t count =
        static_cast<std::size_t>(src.width) * static_cast<std::size_t>(src.height);
    const std::uint8_t* s = src.bits;
    std::uint8_t* o = out.bits;
    for (std::size_t i = 0; i < count; ++i, s += 4, o += 4) {
        const std::int32_t a = s[3];
        if (a == 0) continue;  // transparent pixels are not written
        const std::int32_t add = m[static_cast<std::size_t>(a)];
        for (int c = 0; c < 3; ++c) {
            const std::int32_t v = s[c] + add;
            o[c] = static_cast<std::uint8_t>(brighten ? std::min(v, a) : std::max(v, 0));
        }
        o[3] = static_cast<std::uint8_t>(a);
    }
    return true;
}

}  // namespace talvrin::engine
