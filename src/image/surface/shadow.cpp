// c32bppDIB: the drop shadow. The shadow's alpha is the image's alpha summed over a
// (2d + 1)-square window and divided by its area, computed in one pass with running sums so
// that the cost per pixel does not depend on the blur depth.
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "base/checked_math.h"
#include "base/div255.h"
#include "base/geometry.h"
#include "image/surface/c32bpp_dib.h"

namespace talvrin {

namespace {

inline constexpr std::int32_t kMaxBlurDepth = 10;

}  // namespace

std::unique_ptr<c32bppDIB> c32bppDIB::CreateDropShadow(std::int32_t blurDepth,
                                                       std::uint32_t Color) const {
    try {
        if (bits_ == nullptr) return nullptr;
        const std::int32_t d = std::clamp(blurDepth, 0, kMaxBlurDepth);
        const std::int32_t m = 2 * d;
        const auto outW = checkedAdd<std::int32_t>(width_, m);
        const auto outH = checkedAdd<std::int32_t>(height_, m);
        if (!outW || !outH || !imageByteCount32(*outW, *outH)) return nullptr;
        auto shadow = std::make_unique<c32bppDIB>();
        if (!shadow->InitializeDIB(*outW, *outH)) return nullptr;

        // total / area, truncated, as (total * magic) >> 40 with magic = 2^40 / area rounded
        // up: the excess is at most total / 2^40 < 2^-23, below the 1 / area that separates
        // a quotient from the next, so the result is exact for every total up to 255 * 441.
        const std::uint64_t area = static_cast<std::uint64_t>((m + 1) * (m + 1));
        const std::uint64_t magic = (std::uint64_t{1} << 40) / area + 1;
        // The finished pixel for every alpha.
        std::array<std::uint32_t, 256> pixelOf{};
        const std::uint32_t blue = blueOf(Color), green = greenOf(Color), red = redOf(Color);
        for (std::uint32_t a = 1; a < 256; ++a) {
            const std::uint8_t px[4] = {
                static_cast<std::uint8_t>(a == 255 ? blue : premultiplyChannel(blue, a)),
                static_cast<std::uint8_t>(a == 255 ? green : premultiplyChannel(green, a)),
                static_cast<std::uint8_t>(a == 255 ? red : premultiplyChannel(red, a)),
                static_cast<std::uint8_t>(a)};
            std::memcpy(&pixelOf[a], px, 4);
        }

        // colSum[c]: alpha of source column c summed over the rows feeding the current output
        // row; kept up to date by adding the row that enters and removing the one that leaves.
        const auto w = static_cast<std::size_t>(width_);
        std::vector<std::uint32_t> colSum(w, 0);
        const std::size_t srcStride = w * 4;
        const std::size_t outStride = static_cast<std::size_t>(*outW) * 4;
        std::uint8_t* out = shadow->BitsPointer();
        for (std::int32_t i = 0; i < *outH; ++i) {  // storage rows, bottom-up
            if (i < height_) {
                const std::uint8_t* row = bits_ + static_cast<std::size_t>(i) * srcStride + 3;
                for (std::size_t c = 0; c < w; ++c)
                    colSum[c] += row[c * 4];
            }
            if (i - m - 1 >= 0 && i - m - 1 < height_) {
                const std::uint8_t* row =
                    bits_ + static_cast<std::size_t>(i - m - 1) * srcStride + 3;
                for (std::size_t c = 0; c < w; ++c)
                    colSum[c] -= row[c * 4];
            }
            std::uint8_t* dst = out + static_cast<std::size_t>(i) * outStride;
            std::uint64_t total = 0;
            for (std::int32_t p = 0; p < *outW; ++p) {
                if (p < width_) total += colSum[static_cast<std::size_t>(p)];
                if (p - m - 1 >= 0) total -= colSum[static_cast<std::size_t>(p - m - 1)];
                const auto a = static_cast<std::uint8_t>((total * magic) >> 40);
                if (a != 0) std::memcpy(dst + static_cast<std::size_t>(p) * 4, &pixelOf[a], 4);
            }
        }
        shadow->setAlpha(true);
        shadow->setImageType(imgBmpPARGB);
        shadow->setGdiToken(gdiToken_);
        return shadow;
    } catch (...) {
        return nullptr;
    }
}

bool c32bppDIB::RenderDropShadow_JIT(platform::DeviceContext* hDC, std::int32_t x, std::int32_t y,
                                     std::int32_t blurDepth, std::uint32_t Color,
                                     std::int32_t Opacity) {
    const auto shadow = CreateDropShadow(blurDepth, Color);
    if (!shadow) return false;
    return shadow->Render({.dc = hDC, .destX = x, .destY = y, .opacity = Opacity});
}

}  // namespace talvrin
