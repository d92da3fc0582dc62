#include "image/codecs/png_pixels.h"

#include <cstring>

#include "base/checked_math.h"

namespace talvrin::png {

namespace {

// One premultiplied pixel as the 32-bit little-endian word B, G, R, A.
[[gnu::always_inline]] inline std::uint32_t pixelWord(std::uint32_t r, std::uint32_t g,
                                                      std::uint32_t b, std::uint32_t a) noexcept {
    if (a == 0) return 0;
    if (a != 255) {
        r = premultiplyChannel(r, a);
        g = premultiplyChannel(g, a);
        b = premultiplyChannel(b, a);
    }
    return b | (g << 8) | (r << 16) | (a << 24);
}

[[gnu::always_inline]] inline void storeWord(std::uint8_t* dst, std::uint32_t w) noexcept {
    dst[0] = static_cast<std::uint8_t>(w);
    dst[1] = static_cast<std::uint8_t>(w >> 8);
    dst[2] = static_cast<std::uint8_t>(w >> 16);
    dst[3] = static_cast<std::uint8_t>(w >> 24);
}

[[gnu::always_inline]] inline std::uint8_t paeth(std::uint8_t a, std::uint8_t b,
                                                 std::uint8_t c) noexcept {
    const int p = a + b - c;
    const int pa = p > a ? p - a : a - p;
    const int pb = p > b ? p - b : b - p;
    const int pc = p > c ? p - c : c - p;
    if (pa <= pb && pa <= pc) return a;
    if (pb <= pc) return b;
    return c;
}

// One row of unfiltering. `prev` is null in the block's first row (its bytes count as 0).
template <unsigned kUnit>
void unfilterRow(std::uint8_t type, std::uint8_t* row, const std::uint8_t* prev, std::size_t len,
                 unsigned runtimeUnit) noexcept {
    const std::size_t u = kUnit ? kUnit : runtimeUnit;
    const std::size_t head = u < len ? u : len;
    switch (type) {
        case 1:
            for (std::size_t i = u; i < len; ++i)
                row[i] = static_cast<std::uint8_t>(row[i] + row[i - u]);
            break;
        case 2:
            if (!prev) break;
            for (std::size_t i = 0; i < len; ++i)
                row[i] = static_cast<std::uint8_t>(row[i] + prev[i]);
            break;
        case 3:
            if (!prev) {
                for (std::size_t i = u; i < len; ++i)
                    row[i] = static_cast<std::uint8_t>(row[i] + (row[i - u] >> 1));
                break;
            }
            for (std::size_t i = 0; i < head; ++i)
                row[i] = static_cast<std::uint8_t>(row[i] + (prev[i] >> 1));
            for (std::size_t i = u; i < len; ++i)
                row[i] = static_cast<std::uint8_t>(row[i] + ((row[i - u] + prev[i]) >> 1));
            break;
        case 4:
            if (!prev) {
                // b = c = 0: the predictor is a.
                for (std::size_t i = u; i < len; ++i)
                    row[i] = static_cast<std::uint8_t>(row[i] + row[i - u]);
                break;
            }
            // a = c = 0 in the first unit: the predictor is b.
            for (std::size_t i = 0; i < head; ++i)
                row[i] = static_cast<std::uint8_t>(row[i] + prev[i]);
            for (std::size_t i = u; i < len; ++i)
                row[i] =
                    static_cast<std::uint8_t>(row[i] + paeth(row[i - u], prev[i], prev[i - u]));
            break;
        default:
            break;
    }
}

template <unsigned kUnit>
bool unfilterBlock(std::uint8_t* block, std::size_t rows, std::size_t rowLen, unsigned unit,
                   bool failOnBadFilter) noexcept {
    const std::size_t stride = rowLen + 1;
    const std::uint8_t* prev = nullptr;
    for (std::size_t r = 0; r < rows; ++r) {
        std::uint8_t* line = block + r * stride;
        const std::uint8_t type = line[0];
        if (type > 4 && failOnBadFilter) return false;
        unfilterRow<kUnit>(type, line + 1, prev, rowLen, unit);
        prev = line + 1;
    }
    return true;
}

// ---- Converters -------------------------------------------------------------------------------

struct BlockGeometry {
    const std::uint8_t* block;
    std::uint32_t rows;
    std::size_t stride;
    const Pass* pass;
    std::uint32_t columns;
    PixelView target;

    [[nodiscard]] const std::uint8_t* source(std::uint32_t k) const noexcept {
        return block + k * stride + 1;
    }
    [[nodiscard]] std::uint8_t* destination(std::uint32_t k) const noexcept {
        const std::size_t y = pass->startRow + static_cast<std::size_t>(k) * pass->rowStep;
        return target.pixelFromTop(static_cast<std::int32_t>(pass->startColumn),
                                   static_cast<std::int32_t>(y));
    }
};

// Colour types 2, 4 and 6 at 8 bits.
template <std::uint8_t kType>
void convert8(const BlockGeometry& g, std::int32_t transparentValue) noexcept {
    const std::size_t dstStep = static_cast<std::size_t>(g.pass->columnStep) * 4;
    for (std::uint32_t k = 0; k < g.rows; ++k) {
        const std::uint8_t* s = g.source(k);
        std::uint8_t* d = g.destination(k);
        for (std::uint32_t j = 0; j < g.columns; ++j, d += dstStep) {
            std::uint32_t w;
            if constexpr (kType == kRgba) {
                w = pixelWord(s[0], s[1], s[2], s[3]);
                s += 4;
            } else if constexpr (kType == kGrayAlpha) {
                w = pixelWord(s[0], s[0], s[0], s[1]);
                s += 2;
            } else {
                const std::uint32_t rgb =
                    (std::uint32_t{s[0]} << 16) | (std::uint32_t{s[1]} << 8) | s[2];
                const bool clear =
                    transparentValue != -1 && rgb == static_cast<std::uint32_t>(transparentValue);
                w = clear ? 0u
                          : (0xFF000000u | (std::uint32_t{s[2]}) | (std::uint32_t{s[1]} << 8) |
                             (std::uint32_t{s[0]} << 16));
                s += 3;
            }
            storeWord(d, w);
        }
    }
}

// Colour types 0, 2, 4 and 6 at 16 bits: the high byte of every sample.
template <std::uint8_t kType>
void convert16(const BlockGeometry& g, const ConversionContext& ctx) noexcept {
    const std::size_t dstStep = static_cast<std::size_t>(g.pass->columnStep) * 4;
    const bool keyed = ctx.transparentValue != -1;
    // The tRNS data bytes that hold the high bytes of its samples (the reader guarantees them).
    const std::uint8_t k0 = keyed && ctx.transparency.size() > 0 ? ctx.transparency[0] : 0;
    const std::uint8_t k2 = keyed && ctx.transparency.size() > 2 ? ctx.transparency[2] : 0;
    const std::uint8_t k4 = keyed && ctx.transparency.size() > 4 ? ctx.transparency[4] : 0;
    for (std::uint32_t k = 0; k < g.rows; ++k) {
        const std::uint8_t* s = g.source(k);
        std::uint8_t* d = g.destination(k);
        for (std::uint32_t j = 0; j < g.columns; ++j, d += dstStep) {
            std::uint32_t w;
            if constexpr (kType == kRgba) {
                w = pixelWord(s[0], s[2], s[4], s[6]);
                s += 8;
            } else if constexpr (kType == kGrayAlpha) {
                w = pixelWord(s[0], s[0], s[0], s[2]);
                s += 4;
            } else if constexpr (kType == kRgb) {
                const bool clear = keyed && s[0] == k0 && s[2] == k2 && s[4] == k4;
                w = clear ? 0u : pixelWord(s[0], s[2], s[4], 255);
                s += 6;
            } else {
                const bool clear = keyed && s[0] == k0;
                w = clear ? 0u : pixelWord(s[0], s[0], s[0], 255);
                s += 2;
            }
            storeWord(d, w);
        }
    }
}

// Colour types 0 and 3 at 1 to 8 bits, through a table of the 256 possible samples.
template <unsigned kDepth>
bool convertIndexed(const BlockGeometry& g, const std::uint32_t* lut,
                    std::uint32_t validCount) noexcept {
    const std::size_t dstStep = static_cast<std::size_t>(g.pass->columnStep) * 4;
    constexpr unsigned kMask = (1u << kDepth) - 1;
    for (std::uint32_t k = 0; k < g.rows; ++k) {
        const std::uint8_t* s = g.source(k);
        std::uint8_t* d = g.destination(k);
        for (std::uint32_t j = 0; j < g.columns; ++j, d += dstStep) {
            std::uint32_t sample;
            if constexpr (kDepth == 8) {
                sample = s[j];
            } else {
                const std::size_t bit = static_cast<std::size_t>(j) * kDepth;
                sample = (s[bit >> 3] >> (8 - kDepth - (bit & 7))) & kMask;
            }
            if (sample >= validCount) return false;
            storeWord(d, lut[sample]);
        }
    }
    return true;
}

bool convertIndexedBlock(const BlockGeometry& g, const ConversionContext& ctx) noexcept {
    const ImageHeader& h = ctx.header;
    std::uint32_t lut[256];
    const std::uint32_t paletteEntries = static_cast<std::uint32_t>(ctx.palette.size() / 3);
    const std::uint32_t validCount = paletteEntries < 256 ? paletteEntries : 256;
    const bool keyed = ctx.transparentValue != -1;
    for (std::uint32_t i = 0; i < 256; ++i) {
        if (i >= validCount) {
            lut[i] = 0;
            continue;
        }
        const std::uint8_t* c = ctx.palette.data() + 3 * i;
        std::uint32_t alpha = 255;
        if (keyed) {
            if (h.colorType == kPalette)
                alpha = i < ctx.transparency.size() ? ctx.transparency[i] : 255;
            else if (i == static_cast<std::uint32_t>(ctx.transparentValue))
                alpha = 0;
        }
        lut[i] = pixelWord(c[0], c[1], c[2], alpha);
    }
    switch (h.bitDepth) {
        case 1:
            return convertIndexed<1>(g, lut, validCount);
        case 2:
            return convertIndexed<2>(g, lut, validCount);
        case 4:
            return convertIndexed<4>(g, lut, validCount);
        case 8:
            return convertIndexed<8>(g, lut, validCount);
        default:
            return false;
    }
}

}  // namespace

bool isValidFormat(std::uint8_t colorType, std::uint8_t bitDepth) noexcept {
    switch (colorType) {
        case kGray:
            return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8 ||
                   bitDepth == 16;
        case kPalette:
            return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
        case kRgb:
        case kGrayAlpha:
        case kRgba:
            return bitDepth == 8 || bitDepth == 16;
        default:
            return false;
    }
}

unsigned bitsPerPixel(const ImageHeader& h) noexcept {
    switch (h.colorType) {
        case kRgb:
            return 3u * h.bitDepth;
        case kGrayAlpha:
            return 2u * h.bitDepth;
        case kRgba:
            return 4u * h.bitDepth;
        default:
            return h.bitDepth;
    }
}

unsigned filterUnit(const ImageHeader& h) noexcept {
    const unsigned bytes = bitsPerPixel(h) / 8;
    return bytes ? bytes : 1;
}

std::optional<std::size_t> expectedSize(const ImageHeader& h) noexcept {
    if (h.width < 1 || h.height < 1) return std::nullopt;
    const unsigned bpp = bitsPerPixel(h);
    const auto w = static_cast<std::uint32_t>(h.width);
    const auto ht = static_cast<std::uint32_t>(h.height);
    std::uint64_t total = 0;
    const std::size_t first = h.interlace ? 0 : kWholeImagePass;
    const std::size_t last = h.interlace ? kWholeImagePass : kPasses.size();
    for (std::size_t p = first; p < last; ++p) {
        const std::uint64_t rows = passRows(ht, kPasses[p]);
        const std::uint64_t line = rowBytes(passColumns(w, kPasses[p]), bpp) + 1;
        const auto bytes = checkedMul<std::uint64_t>(rows, line);
        if (!bytes) return std::nullopt;
        const auto sum = checkedAdd<std::uint64_t>(total, *bytes);
        if (!sum) return std::nullopt;
        total = *sum;
    }
    return checkedCast<std::size_t>(total);
}

bool unfilterRows(std::uint8_t* block, std::size_t rows, std::size_t rowLen, unsigned unit,
                  bool failOnBadFilter) noexcept {
    switch (unit) {
        case 1:
            return unfilterBlock<1>(block, rows, rowLen, unit, failOnBadFilter);
        case 3:
            return unfilterBlock<3>(block, rows, rowLen, unit, failOnBadFilter);
        case 4:
            return unfilterBlock<4>(block, rows, rowLen, unit, failOnBadFilter);
        default:
            return unfilterBlock<0>(block, rows, rowLen, unit ? unit : 1, failOnBadFilter);
    }
}

std::vector<std::uint8_t> preparedPalette(const ImageHeader& h, bool hasPalette) {
    std::vector<std::uint8_t> pal(256 * 3, 0);
    if (h.colorType == kGray && h.bitDepth <= 8) {
        const unsigned top = (1u << h.bitDepth) - 1;
        const unsigned step = 255 / top;
        for (unsigned i = 1; i <= top; ++i)
            pal[3 * i] = pal[3 * i + 1] = pal[3 * i + 2] = static_cast<std::uint8_t>(i * step);
    } else if (h.colorType == kPalette && !hasPalette && h.bitDepth == 1) {
        pal[3] = pal[4] = pal[5] = 255;
    }
    return pal;
}

bool convertBlock(const std::uint8_t* block, std::uint32_t rows, std::size_t stride,
                  const Pass& pass, const ConversionContext& ctx, PixelView target) noexcept {
    const ImageHeader& h = ctx.header;
    const BlockGeometry g{
        block, rows, stride, &pass, passColumns(static_cast<std::uint32_t>(target.width), pass),
        target};
    if (h.bitDepth == 16) {
        switch (h.colorType) {
            case kGray:
                convert16<kGray>(g, ctx);
                return true;
            case kRgb:
                convert16<kRgb>(g, ctx);
                return true;
            case kGrayAlpha:
                convert16<kGrayAlpha>(g, ctx);
                return true;
            case kRgba:
                convert16<kRgba>(g, ctx);
                return true;
            default:
                return false;
        }
    }
    switch (h.colorType) {
        case kGray:
        case kPalette:
            return convertIndexedBlock(g, ctx);
        case kRgb:
            if (h.bitDepth != 8) return false;
            convert8<kRgb>(g, ctx.transparentValue);
            return true;
        case kGrayAlpha:
            if (h.bitDepth != 8) return false;
            convert8<kGrayAlpha>(g, ctx.transparentValue);
            return true;
        case kRgba:
            if (h.bitDepth != 8) return false;
            convert8<kRgba>(g, ctx.transparentValue);
            return true;
        default:
            return false;
    }
}

bool decodeImageData(std::span<std::uint8_t> data, const ConversionContext& ctx,
                     PixelView target) noexcept {
    const ImageHeader& h = ctx.header;
    if (!isValidFormat(h.colorType, h.bitDepth) || h.width != target.width ||
        h.height != target.height)
        return false;
    const auto needed = expectedSize(h);
    if (!needed || data.size() < *needed) return false;
    const unsigned bpp = bitsPerPixel(h);
    const unsigned unit = filterUnit(h);
    const auto width = static_cast<std::uint32_t>(h.width);
    const auto height = static_cast<std::uint32_t>(h.height);
    if (!h.interlace) {
        const std::size_t line = static_cast<std::size_t>(rowBytes(width, bpp));
        // A filter type above 4 leaves its row as it is in a non-interlaced image.
        if (!unfilterRows(data.data(), height, line, unit, false)) return false;
        return convertBlock(data.data(), height, line + 1, kPasses[kWholeImagePass], ctx, target);
    }
    std::size_t offset = 0;
    for (std::size_t p = 0; p < kWholeImagePass; ++p) {
        const Pass& pass = kPasses[p];
        const std::uint32_t columns = passColumns(width, pass);
        const std::uint32_t rows = passRows(height, pass);
        if (columns == 0 || rows == 0) continue;  // an empty pass has no bytes
        const std::size_t line = static_cast<std::size_t>(rowBytes(columns, bpp));
        const std::size_t bytes = static_cast<std::size_t>(rows) * (line + 1);
        if (bytes > data.size() - offset) return false;
        std::uint8_t* block = data.data() + offset;
        if (!unfilterRows(block, rows, line, unit, true)) return false;
        if (!convertBlock(block, rows, line + 1, pass, ctx, target)) return false;
        offset += bytes;
    }
    return true;
}

}  // namespace talvrin::png
