#include "platform/gdi/sample_map.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/div255.h"
#include "platform/gdi/icon.h"

namespace talvrin::platform::detail {

namespace {

// Fills the source index of every destination coordinate in [lo, hi) for the destination span
// starting at d0 with signed extent dn, against the source span (s0, sn) of an image of
// `limit` pixels.
void mapAxis(std::vector<std::int32_t>& out, std::int64_t lo, std::int64_t hi, std::int32_t d0,
             std::int32_t dn, double s0, double sn, std::int32_t limit) {
    out.resize(static_cast<std::size_t>(hi - lo));
    for (std::int64_t c = lo; c < hi; ++c) {
        const double t = (static_cast<double>(c) + 0.5 - d0) / dn;
        const double s = std::floor(s0 + t * sn);
        out[static_cast<std::size_t>(c - lo)] =
            (s >= 0.0 && s < static_cast<double>(limit)) ? static_cast<std::int32_t>(s) : -1;
    }
}

inline std::uint32_t readPixel(const std::uint8_t* p, int bytesPerPixel) noexcept {
    std::uint32_t v = 0;
    std::memcpy(&v, p, static_cast<std::size_t>(bytesPerPixel));
    return v;
}

inline void writePixel(std::uint8_t* p, std::uint32_t v, int bytesPerPixel) noexcept {
    std::memcpy(p, &v, static_cast<std::size_t>(bytesPerPixel));
}

inline int bytesOf(const Bitmap& b) noexcept {
    return b.bitsPerPixel() / 8;
}

}  // namespace

bool buildSampleMap(SampleMap& map, const Rect& clip, std::int32_t x, std::int32_t y,
                    std::int32_t width, std::int32_t height, double srcX, double srcY,
                    double srcWidth, double srcHeight, std::int32_t srcImageWidth,
                    std::int32_t srcImageHeight) {
    if (width == 0 || height == 0 || srcImageWidth < 1 || srcImageHeight < 1) return false;
    if (!std::isfinite(srcX) || !std::isfinite(srcY) || !std::isfinite(srcWidth) ||
        !std::isfinite(srcHeight) || srcWidth == 0.0 || srcHeight == 0.0)
        return false;
    const std::int64_t left = std::min<std::int64_t>(x, std::int64_t{x} + width);
    const std::int64_t right = std::max<std::int64_t>(x, std::int64_t{x} + width);
    const std::int64_t top = std::min<std::int64_t>(y, std::int64_t{y} + height);
    const std::int64_t bottom = std::max<std::int64_t>(y, std::int64_t{y} + height);
    const std::int64_t lo = std::max<std::int64_t>(left, clip.left);
    const std::int64_t hi = std::min<std::int64_t>(right, clip.right);
    const std::int64_t tlo = std::max<std::int64_t>(top, clip.top);
    const std::int64_t thi = std::min<std::int64_t>(bottom, clip.bottom);
    if (lo >= hi || tlo >= thi) return false;
    map.dest = Rect{static_cast<std::int32_t>(lo), static_cast<std::int32_t>(tlo),
                    static_cast<std::int32_t>(hi), static_cast<std::int32_t>(thi)};
    mapAxis(map.sourceColumn, lo, hi, x, width, srcX, srcWidth, srcImageWidth);
    mapAxis(map.sourceRow, tlo, thi, y, height, srcY, srcHeight, srcImageHeight);
    return true;
}

void drawIconMapped(Bitmap& target, const Icon& icon, const SampleMap& map) noexcept {
    const int tb = bytesOf(target);
    if (tb != 3 && tb != 4) return;
    const Bitmap* color = icon.colorBitmap();
    const MaskBitmap& mask = icon.mask();
    const int cb = color ? bytesOf(*color) : 0;

    // A 32-bit colour bitmap with any alpha draws by its alpha; otherwise the mask decides.
    bool useAlpha = false;
    if (color && cb == 4) {
        for (std::int32_t r = 0; r < color->height() && !useAlpha; ++r) {
            const std::uint8_t* row = color->rowFromTop(r);
            for (std::int32_t c = 0; c < color->width(); ++c) {
                if (row[c * 4 + 3] != 0) {
                    useAlpha = true;
                    break;
                }
            }
        }
    }
    const std::int32_t xorOffset = icon.height();  // two-colour icons: XOR rows follow AND rows

    for (std::int32_t row = map.dest.top; row < map.dest.bottom; ++row) {
        const std::int32_t sr = map.sourceRow[static_cast<std::size_t>(row - map.dest.top)];
        if (sr < 0) continue;
        std::uint8_t* out = target.rowFromTop(row);
        for (std::int32_t col = map.dest.left; col < map.dest.right; ++col) {
            const std::int32_t sc = map.sourceColumn[static_cast<std::size_t>(col - map.dest.left)];
            if (sc < 0) continue;
            std::uint8_t* d = out + static_cast<std::size_t>(col) * static_cast<std::size_t>(tb);
            if (useAlpha) {
                const std::uint8_t* s = color->rowFromTop(sr) + static_cast<std::size_t>(sc) * 4;
                const std::int32_t a = s[3];
                for (int k = 0; k < 3; ++k)
                    d[k] = static_cast<std::uint8_t>(div255Round(s[k] * a + d[k] * (255 - a)));
                if (tb == 4) d[3] = static_cast<std::uint8_t>(a + div255Round(d[3] * (255 - a)));
                continue;
            }
            const std::uint32_t andMask = mask.bit(sc, sr) ? 0xFFFFFFu : 0u;
            std::uint32_t xorValue;
            if (color) {
                xorValue = readPixel(color->rowFromTop(sr) + static_cast<std::size_t>(sc) * cb, 3);
            } else {
                xorValue = mask.bit(sc, sr + xorOffset) ? 0xFFFFFFu : 0u;
            }
            const std::uint32_t v = (readPixel(d, 3) & andMask) ^ xorValue;
            writePixel(d, v, 3);  // blue, green and red; the alpha byte stays
        }
    }
}

void copyBitmapMapped(Bitmap& target, const Bitmap& source, const SampleMap& map) noexcept {
    const int tb = bytesOf(target);
    const int sb = bytesOf(source);
    if ((tb != 3 && tb != 4) || (sb != 3 && sb != 4)) return;
    // The unscaled, unmirrored case: the columns take one ascending run of source pixels, so
    // each row is a plain copy or a depth conversion.
    const auto& cols = map.sourceColumn;
    bool contiguous = !cols.empty() && cols.front() >= 0;
    for (std::size_t i = 1; contiguous && i < cols.size(); ++i)
        contiguous = cols[i] == cols.front() + static_cast<std::int32_t>(i);
    for (std::int32_t row = map.dest.top; row < map.dest.bottom; ++row) {
        const std::int32_t sr = map.sourceRow[static_cast<std::size_t>(row - map.dest.top)];
        if (sr < 0) continue;
        const std::uint8_t* in = source.rowFromTop(sr);
        std::uint8_t* out = target.rowFromTop(row);
        if (contiguous) {
            const std::uint8_t* s = in + static_cast<std::size_t>(cols.front()) * sb;
            std::uint8_t* d = out + static_cast<std::size_t>(map.dest.left) * tb;
            const std::size_t n = cols.size();
            if (sb == tb) {
                std::memcpy(d, s, n * static_cast<std::size_t>(sb));
            } else if (sb == 3) {  // 24 to 32 bits: alpha 0
                for (std::size_t i = 0; i < n; ++i, s += 3, d += 4) {
                    d[0] = s[0];
                    d[1] = s[1];
                    d[2] = s[2];
                    d[3] = 0;
                }
            } else {  // 32 to 24 bits: the alpha byte is dropped
                for (std::size_t i = 0; i < n; ++i, s += 4, d += 3) {
                    d[0] = s[0];
                    d[1] = s[1];
                    d[2] = s[2];
                }
            }
            continue;
        }
        for (std::int32_t col = map.dest.left; col < map.dest.right; ++col) {
            const std::int32_t sc = map.sourceColumn[static_cast<std::size_t>(col - map.dest.left)];
            if (sc < 0) continue;
            const std::uint32_t v = readPixel(in + static_cast<std::size_t>(sc) * sb, sb);
            writePixel(out + static_cast<std::size_t>(col) * tb, v, tb);
        }
    }
}

}  // namespace talvrin::platform::detail
