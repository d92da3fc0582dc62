// Internal helpers of the drawing calls: clipping arithmetic, the nearest-neighbour axis
// mapping shared by the stretched calls, and row conversion between 24- and 32-bit pixels.
// Not part of the layer's interface.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/geometry.h"
#include "platform/gdi/bitmap.h"

namespace talvrin::platform::detail {

// A half-open range of 64-bit coordinates; empty when end <= begin.
struct Span64 {
    std::int64_t begin = 0;
    std::int64_t end = 0;
    [[nodiscard]] bool empty() const noexcept { return end <= begin; }
    [[nodiscard]] std::int64_t size() const noexcept { return end > begin ? end - begin : 0; }
};

[[nodiscard]] inline Span64 meet(Span64 a, Span64 b) noexcept {
    return {std::max(a.begin, b.begin), std::min(a.end, b.end)};
}

// One axis of a stretched copy: destination [destStart, destStart + destLen) takes source
// [srcStart, srcStart + srcLen) (both lengths positive), reversed when mirror is set.
// Destination pixel i takes the source pixel under its centre: floor((2i + 1) * srcLen /
// (2 * destLen)) from the start (or from the far end when mirrored).
struct AxisMap {
    std::int64_t destStart = 0;
    std::int64_t destLen = 0;
    std::int64_t srcStart = 0;
    std::int64_t srcLen = 0;
    bool mirror = false;

    // The source coordinate for destination coordinate d (inside the destination range).
    [[nodiscard]] std::int64_t source(std::int64_t d) const noexcept {
        const std::int64_t i = d - destStart;
        // (2i + 1) * srcLen < 2^33 * 2^32: fits in 64 bits for 32-bit inputs.
        const std::int64_t m = ((2 * i + 1) * srcLen) / (2 * destLen);
        return mirror ? srcStart + srcLen - 1 - m : srcStart + m;
    }
    [[nodiscard]] Span64 dest() const noexcept { return {destStart, destStart + destLen}; }
};

// Builds the map for one axis from the caller's position and (possibly negative) sizes: a
// negative size covers [pos + size, pos). False for a zero size.
[[nodiscard]] inline bool makeAxis(std::int32_t destPos, std::int32_t destSize, std::int32_t srcPos,
                                   std::int32_t srcSize, AxisMap& out) noexcept {
    if (destSize == 0 || srcSize == 0) return false;
    const std::int64_t dl = destSize < 0 ? -std::int64_t{destSize} : destSize;
    const std::int64_t sl = srcSize < 0 ? -std::int64_t{srcSize} : srcSize;
    out.destStart = destSize < 0 ? std::int64_t{destPos} - dl : destPos;
    out.destLen = dl;
    out.srcStart = srcSize < 0 ? std::int64_t{srcPos} - sl : srcPos;
    out.srcLen = sl;
    out.mirror = (destSize < 0) != (srcSize < 0);
    return true;
}

[[nodiscard]] inline Span64 xSpan(const Rect& r) noexcept {
    return {r.left, r.right};
}
[[nodiscard]] inline Span64 ySpan(const Rect& r) noexcept {
    return {r.top, r.bottom};
}

// Pixel address of column x in image row y (from the top); both must be inside the bitmap.
[[nodiscard]] inline std::uint8_t* pixelAt(Bitmap& b, std::int64_t x, std::int64_t y) noexcept {
    return b.rowFromTop(static_cast<std::int32_t>(y)) +
           static_cast<std::size_t>(x) * static_cast<std::size_t>(b.bitsPerPixel() / 8);
}
[[nodiscard]] inline const std::uint8_t* pixelAt(const Bitmap& b, std::int64_t x,
                                                 std::int64_t y) noexcept {
    return b.rowFromTop(static_cast<std::int32_t>(y)) +
           static_cast<std::size_t>(x) * static_cast<std::size_t>(b.bitsPerPixel() / 8);
}

// Converts count pixels between depths (24 or 32 bits). Same depths may overlap (memmove); a
// 24-bit pixel read as 32 bits gets alpha 0.
inline void convertRow(std::uint8_t* dst, int dstBpp, const std::uint8_t* src, int srcBpp,
                       std::size_t count) noexcept {
    if (dstBpp == srcBpp) {
        std::memmove(dst, src, count * static_cast<std::size_t>(dstBpp / 8));
    } else if (dstBpp == 32) {
        for (std::size_t i = 0; i < count; ++i) {
            dst[4 * i] = src[3 * i];
            dst[4 * i + 1] = src[3 * i + 1];
            dst[4 * i + 2] = src[3 * i + 2];
            dst[4 * i + 3] = 0;
        }
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            dst[3 * i] = src[4 * i];
            dst[3 * i + 1] = src[4 * i + 1];
            dst[3 * i + 2] = src[4 * i + 2];
        }
    }
}

}  // namespace talvrin::platform::detail
