// Copies, pixel transfer to and from caller buffers, brushes and fills.
#include "platform/gdi/gdi.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "base/checked_math.h"
#include "base/pixels.h"
#include "platform/gdi/gdi_raster.h"
#include "platform/gdi/screen.h"

namespace talvrin::platform {

using detail::AxisMap;
using detail::convertRow;
using detail::meet;
using detail::pixelAt;
using detail::Span64;
using detail::xSpan;
using detail::ySpan;

namespace {

// Stretched copy for one pair of depths: copies each destination pixel of the visible area from
// its mapped source pixel, skipping pixels whose source lies outside the source bitmap.
template <int DstBytes, int SrcBytes>
void stretchCopy(Bitmap& d, const Bitmap& s, const AxisMap& ay, Span64 vx, Span64 vy,
                 const std::vector<std::int32_t>& cols) noexcept {
    for (std::int64_t dy = vy.begin; dy < vy.end; ++dy) {
        const std::int64_t sy = ay.source(dy);
        if (sy < 0 || sy >= s.height()) continue;
        const std::uint8_t* srow = s.rowFromTop(static_cast<std::int32_t>(sy));
        std::uint8_t* drow = pixelAt(d, vx.begin, dy);
        for (std::size_t i = 0; i < cols.size(); ++i) {
            const std::int32_t sx = cols[i];
            if (sx < 0) continue;
            const std::uint8_t* sp = srow + static_cast<std::size_t>(sx) * SrcBytes;
            std::uint8_t* dp = drow + i * DstBytes;
            dp[0] = sp[0];
            dp[1] = sp[1];
            dp[2] = sp[2];
            if constexpr (DstBytes == 4) dp[3] = SrcBytes == 4 ? sp[3] : 0;
        }
    }
}

// A copy of a whole bitmap, used when a call reads and writes the same surface.
std::unique_ptr<Bitmap> cloneBitmap(const Bitmap& b) noexcept {
    auto copy = Bitmap::create(b.width(), b.height(), b.bitsPerPixel());
    if (copy) std::memcpy(copy->bits(), b.bits(), b.byteCount());
    return copy;
}

// A caller's pixel buffer described by a DibFormat, checked to hold the whole image.
struct DibView {
    const std::uint8_t* bits = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;  // absolute
    std::int32_t stride = 0;
    int bpp = 0;
    bool topDown = false;

    [[nodiscard]] const std::uint8_t* rowFromTop(std::int64_t y) const noexcept {
        const auto s = static_cast<std::size_t>(stride);
        return bits + (topDown ? static_cast<std::size_t>(y) * s
                               : bottomUpRowOffset(static_cast<std::int32_t>(y), height, s));
    }
};

// Checks a format against a buffer size; fills the view's sizes.
bool describeDib(const DibFormat& format, std::size_t available, DibView& view) noexcept {
    if (format.bitsPerPixel != 24 && format.bitsPerPixel != 32) return false;
    if (format.height == 0 || format.height == INT32_MIN) return false;
    const auto stride = dibStride(format.width, format.bitsPerPixel);
    if (!stride) return false;
    const std::int32_t rows = format.height < 0 ? -format.height : format.height;
    const auto needed = checkedMul<std::uint64_t>(static_cast<std::uint64_t>(*stride),
                                                  static_cast<std::uint64_t>(rows));
    if (!needed || *needed > available) return false;
    view.width = format.width;
    view.height = rows;
    view.stride = *stride;
    view.bpp = format.bitsPerPixel;
    view.topDown = format.height < 0;
    return true;
}

}  // namespace

bool BitBlt(DeviceContext& dest, std::int32_t x, std::int32_t y, std::int32_t width,
            std::int32_t height, const DeviceContext& src, std::int32_t srcX,
            std::int32_t srcY) noexcept {
    if (width < 1 || height < 1) return false;
    Bitmap& d = dest.surface();
    const Bitmap& s = src.surface();
    const Rect clip = dest.clipBox();
    // Source-to-destination offsets; the visible area is the destination rectangle, within the
    // clip box, whose source pixels lie inside the source bitmap.
    const std::int64_t ox = std::int64_t{srcX} - x;
    const std::int64_t oy = std::int64_t{srcY} - y;
    Span64 vx = meet({x, std::int64_t{x} + width}, xSpan(clip));
    vx = meet(vx, {-ox, s.width() - ox});
    Span64 vy = meet({y, std::int64_t{y} + height}, ySpan(clip));
    vy = meet(vy, {-oy, s.height() - oy});
    if (vx.empty() || vy.empty()) return true;

    const auto count = static_cast<std::size_t>(vx.size());
    const bool sameSurface = &d == &s;
    // Overlapping rows of one surface: copy away from the direction of travel.
    if (sameSurface && oy < 0) {
        for (std::int64_t row = vy.end - 1; row >= vy.begin; --row)
            convertRow(pixelAt(d, vx.begin, row), d.bitsPerPixel(),
                       pixelAt(s, vx.begin + ox, row + oy), s.bitsPerPixel(), count);
    } else {
        for (std::int64_t row = vy.begin; row < vy.end; ++row)
            convertRow(pixelAt(d, vx.begin, row), d.bitsPerPixel(),
                       pixelAt(s, vx.begin + ox, row + oy), s.bitsPerPixel(), count);
    }
    return true;
}

bool StretchBlt(DeviceContext& dest, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height, const DeviceContext& src, std::int32_t srcX, std::int32_t srcY,
                std::int32_t srcWidth, std::int32_t srcHeight) noexcept {
    AxisMap ax, ay;
    if (!detail::makeAxis(x, width, srcX, srcWidth, ax) ||
        !detail::makeAxis(y, height, srcY, srcHeight, ay))
        return false;
    // Same sizes, nothing mirrored: a plain copy.
    if (width > 0 && height > 0 && width == srcWidth && height == srcHeight)
        return BitBlt(dest, x, y, width, height, src, srcX, srcY);

    Bitmap& d = dest.surface();
    const Rect clip = dest.clipBox();
    const Span64 vx = meet(ax.dest(), xSpan(clip));
    const Span64 vy = meet(ay.dest(), ySpan(clip));
    if (vx.empty() || vy.empty()) return true;

    std::unique_ptr<Bitmap> copy;
    const Bitmap* s = &src.surface();
    if (s == &d) {
        copy = cloneBitmap(*s);
        if (!copy) return false;
        s = copy.get();
    }
    std::vector<std::int32_t> cols;
    try {
        cols.resize(static_cast<std::size_t>(vx.size()));
    } catch (...) {
        return false;
    }
    for (std::int64_t dx = vx.begin; dx < vx.end; ++dx) {
        const std::int64_t sx = ax.source(dx);
        cols[static_cast<std::size_t>(dx - vx.begin)] =
            sx >= 0 && sx < s->width() ? static_cast<std::int32_t>(sx) : -1;
    }
    const bool d32 = d.bitsPerPixel() == 32;
    const bool s32 = s->bitsPerPixel() == 32;
    if (d32 && s32) stretchCopy<4, 4>(d, *s, ay, vx, vy, cols);
    if (d32 && !s32) stretchCopy<4, 3>(d, *s, ay, vx, vy, cols);
    if (!d32 && s32) stretchCopy<3, 4>(d, *s, ay, vx, vy, cols);
    if (!d32 && !s32) stretchCopy<3, 3>(d, *s, ay, vx, vy, cols);
    return true;
}

std::int32_t SetDIBitsToDevice(DeviceContext& dc, std::int32_t x, std::int32_t y,
                               std::int32_t width, std::int32_t height, std::int32_t srcX,
                               std::int32_t srcY, std::span<const std::uint8_t> bits,
                               const DibFormat& format) noexcept {
    if (width < 1 || height < 1 || bits.data() == nullptr) return 0;
    DibView view;
    if (!describeDib(format, bits.size(), view)) return 0;
    view.bits = bits.data();

    // The source rows the rectangle names, counted from the buffer's own origin (bottom row of
    // a bottom-up buffer, top row of a top-down one).
    const Span64 named = meet({srcY, std::int64_t{srcY} + height}, {0, view.height});
    const auto linesInside = static_cast<std::int32_t>(named.size());
    if (linesInside == 0) return 0;

    // Destination row y + j shows the source rectangle's row j from the top. For a bottom-up
    // buffer that is buffer row (from the top) height_total - 1 - (srcY + height - 1 - j).
    const std::int64_t topOfRect =
        view.topDown ? std::int64_t{srcY} : std::int64_t{view.height} - srcY - height;
    const std::int64_t oy = topOfRect - y;  // buffer row from the top = dest row + oy
    const std::int64_t ox = std::int64_t{srcX} - x;

    Bitmap& d = dc.surface();
    const Rect clip = dc.clipBox();
    Span64 vx = meet({x, std::int64_t{x} + width}, xSpan(clip));
    vx = meet(vx, {-ox, view.width - ox});
    Span64 vy = meet({y, std::int64_t{y} + height}, ySpan(clip));
    vy = meet(vy, {-oy, view.height - oy});
    if (vx.empty() || vy.empty()) return linesInside;

    const auto count = static_cast<std::size_t>(vx.size());
    const auto srcOffset =
        static_cast<std::size_t>(vx.begin + ox) * static_cast<std::size_t>(view.bpp / 8);
    for (std::int64_t row = vy.begin; row < vy.end; ++row)
        convertRow(pixelAt(d, vx.begin, row), d.bitsPerPixel(),
                   view.rowFromTop(row + oy) + srcOffset, view.bpp, count);
    return linesInside;
}

std::int32_t GetDIBits(const Bitmap& bitmap, std::int32_t startScan, std::int32_t scanCount,
                       std::span<std::uint8_t> bits, const DibFormat& format) noexcept {
    if (startScan < 0 || scanCount < 1 || bits.data() == nullptr) return 0;
    if (format.bitsPerPixel != 32 || format.width != bitmap.width() || format.height == 0) return 0;
    if (startScan >= bitmap.height()) return 0;
    const std::int32_t rows = static_cast<std::int32_t>(
        std::min<std::int64_t>(std::int64_t{startScan} + scanCount, bitmap.height()) - startScan);
    const auto rowBytes = static_cast<std::size_t>(bitmap.width()) * 4;
    const auto needed = checkedMul<std::uint64_t>(rowBytes, static_cast<std::uint64_t>(rows));
    if (!needed || *needed > bits.size()) return 0;

    const bool topDown = format.height < 0;
    for (std::int32_t i = 0; i < rows; ++i) {
        // Scan line startScan + i lives at storage row startScan + i (bottom-up storage).
        const std::uint8_t* src = bitmap.bits() + static_cast<std::size_t>(startScan + i) *
                                                      static_cast<std::size_t>(bitmap.stride());
        const std::int32_t outRow = topDown ? rows - 1 - i : i;
        convertRow(bits.data() + static_cast<std::size_t>(outRow) * rowBytes, 32, src,
                   bitmap.bitsPerPixel(), static_cast<std::size_t>(bitmap.width()));
    }
    return rows;
}

Brush::Brush(ColorRef color) noexcept : color_(translateColor(color) & 0x00FFFFFFu) {}

std::unique_ptr<Brush> createSolidBrush(ColorRef color) noexcept {
    return std::unique_ptr<Brush>(new (std::nothrow) Brush(color));
}

bool FillRect(DeviceContext& dc, const Rect& rect, const Brush* brush) noexcept {
    if (!brush) return false;
    const Rect area = intersect(rect, dc.clipBox());
    if (area.isEmpty()) return true;
    Bitmap& d = dc.surface();
    const ColorRef c = brush->color();
    const auto count = static_cast<std::size_t>(area.width());
    if (d.bitsPerPixel() == 32) {
        // Alpha 0, as a fill of a 32-bit surface stores on the desktop.
        const std::uint32_t value = pixelFromColor(c, 0);
        for (std::int32_t row = area.top; row < area.bottom; ++row) {
            auto* p = reinterpret_cast<std::uint32_t*>(pixelAt(d, area.left, row));
            std::fill_n(p, count, value);
        }
    } else {
        const std::uint8_t b = blueOf(c), g = greenOf(c), r = redOf(c);
        for (std::int32_t row = area.top; row < area.bottom; ++row) {
            std::uint8_t* p = pixelAt(d, area.left, row);
            for (std::size_t i = 0; i < count; ++i, p += 3) {
                p[0] = b;
                p[1] = g;
                p[2] = r;
            }
        }
    }
    return true;
}

}  // namespace talvrin::platform
