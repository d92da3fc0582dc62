#include "image/codecs/png_pixels.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "base/checked_math.h"
#include "image/codecs/codec_rows.h"
#include "image/image_kernels.h"

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

// ---- Converters -------------------------------------------------------------------------------
// Each converts the `columns` pixels of one unfiltered row (`s`, after its filter byte) into the
// target pixels from `d` on, `dstStep` bytes apart (4 bytes times the pass's column step).

// Colour types 2, 4 and 6 at 8 bits.
template <std::uint8_t kType>
void convert8Row(const std::uint8_t* s, std::uint8_t* d, std::uint32_t columns, std::size_t dstStep,
                 std::int32_t transparentValue) noexcept {
    for (std::uint32_t j = 0; j < columns; ++j, d += dstStep) {
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
            w = clear ? 0u : 0xFF000000u | rgb;
            s += 3;
        }
        storeWord(d, w);
    }
}

// Colour types 0, 2, 4 and 6 at 16 bits: the high byte of every sample.
template <std::uint8_t kType>
void convert16Row(const std::uint8_t* s, std::uint8_t* d, std::uint32_t columns,
                  std::size_t dstStep, const TransparentKey16& key) noexcept {
    for (std::uint32_t j = 0; j < columns; ++j, d += dstStep) {
        std::uint32_t w;
        if constexpr (kType == kRgba) {
            w = pixelWord(s[0], s[2], s[4], s[6]);
            s += 8;
        } else if constexpr (kType == kGrayAlpha) {
            w = pixelWord(s[0], s[0], s[0], s[2]);
            s += 4;
        } else if constexpr (kType == kRgb) {
            const bool clear = key.keyed && s[0] == key.k0 && s[2] == key.k2 && s[4] == key.k4;
            w = clear ? 0u : pixelWord(s[0], s[2], s[4], 255);
            s += 6;
        } else {
            const bool clear = key.keyed && s[0] == key.k0;
            w = clear ? 0u : pixelWord(s[0], s[0], s[0], 255);
            s += 2;
        }
        storeWord(d, w);
    }
}

// Colour types 0 and 3 at 1 to 8 bits, through a table of the 256 possible samples. False for a
// sample beyond the palette.
template <unsigned kDepth>
bool convertIndexedRow(const std::uint8_t* s, std::uint8_t* d, std::uint32_t columns,
                       std::size_t dstStep, const std::uint32_t* lut,
                       std::uint32_t validCount) noexcept {
    constexpr unsigned kMask = (1u << kDepth) - 1;
    for (std::uint32_t j = 0; j < columns; ++j, d += dstStep) {
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
    return true;
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

// ---- Row decoder ------------------------------------------------------------------------------

bool RowDecoder::start(const ConversionContext& ctx, PixelView target) noexcept {
    const ImageHeader& h = ctx.header;
    started_ = false;
    failure_ = {};
    done_ = false;
    if (!isValidFormat(h.colorType, h.bitDepth) || h.width != target.width ||
        h.height != target.height || !expectedSize(h))
        return false;
    ctx_ = ctx;
    target_ = target;
    bitsPerPixel_ = bitsPerPixel(h);
    unit_ = filterUnit(h);
    // The largest row of any pass is the whole image's row.
    const auto widest =
        static_cast<std::size_t>(rowBytes(static_cast<std::uint32_t>(h.width), bitsPerPixel_));
    // Room for one whole row at least: after the complete rows are decoded, less than a row is
    // left, and it moves to the front. Neither buffer is cleared: every byte is written before
    // it is read.
    capacity_ = std::max<std::size_t>(kWindowBytes, widest + 1);
    window_.reset(new (std::nothrow) std::uint8_t[capacity_]);
    above_.reset(new (std::nothrow) std::uint8_t[widest ? widest : 1]);
    if (!window_ || !above_) return false;
    begin_ = end_ = 0;

    key_ = {ctx.transparentValue != -1, 0, 0, 0};
    if (key_.keyed) {
        const auto& t = ctx.transparency;
        key_.k0 = t.size() > 0 ? t[0] : 0;
        key_.k2 = t.size() > 2 ? t[2] : 0;
        key_.k4 = t.size() > 4 ? t[4] : 0;
    }
    validCount_ = 0;
    if ((h.colorType == kGray || h.colorType == kPalette) && h.bitDepth <= 8) {
        const std::uint32_t entries = static_cast<std::uint32_t>(ctx.palette.size() / 3);
        validCount_ = entries < 256 ? entries : 256;
        for (std::uint32_t i = 0; i < 256; ++i) {
            if (i >= validCount_) {
                lut_[i] = 0;
                continue;
            }
            const std::uint8_t* c = ctx.palette.data() + 3 * i;
            std::uint32_t alpha = 255;
            if (key_.keyed) {
                if (h.colorType == kPalette)
                    alpha = i < ctx.transparency.size() ? ctx.transparency[i] : 255;
                else if (i == static_cast<std::uint32_t>(ctx.transparentValue))
                    alpha = 0;
            }
            lut_[i] = pixelWord(c[0], c[1], c[2], alpha);
        }
    }
    pass_ = h.interlace ? 0 : kWholeImagePass;
    started_ = true;
    enterPass();
    return true;
}

void RowDecoder::enterPass() noexcept {
    const auto width = static_cast<std::uint32_t>(ctx_.header.width);
    const auto height = static_cast<std::uint32_t>(ctx_.header.height);
    const std::size_t last = ctx_.header.interlace ? kWholeImagePass : kPasses.size();
    // An empty pass has no bytes.
    for (; pass_ < last; ++pass_) {
        columns_ = passColumns(width, kPasses[pass_]);
        rows_ = passRows(height, kPasses[pass_]);
        if (columns_ != 0 && rows_ != 0) break;
    }
    if (pass_ >= last) {
        done_ = true;
        return;
    }
    row_ = 0;
    line_ = static_cast<std::size_t>(rowBytes(columns_, bitsPerPixel_));
    prev_ = nullptr;
}

std::span<std::uint8_t> RowDecoder::space() noexcept {
    if (!started_) return {};
    if (done_ || failure_.failed()) {
        // Nothing more is decoded; what comes is taken and dropped.
        begin_ = end_ = 0;
        return {window_.get(), capacity_};
    }
    if (capacity_ - end_ < line_ + 1) {
        // Move the partial row to the front; the row above it moves aside first, since the
        // partial row may land on it.
        if (prev_ && prev_ != above_.get()) {
            std::memcpy(above_.get(), prev_, line_);
            prev_ = above_.get();
        }
        std::memmove(window_.get(), window_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    return {window_.get() + end_, capacity_ - end_};
}

void RowDecoder::commit(std::size_t n) noexcept {
    if (!started_) return;
    end_ += n;
    if (done_ || failure_.failed()) {
        begin_ = end_ = 0;
        return;
    }
    while (!done_ && !failure_.failed() && end_ - begin_ >= line_ + 1) {
        std::uint8_t* row = window_.get() + begin_;
        begin_ += line_ + 1;  // before the row, which may end its pass and change the length
        decodeRow(row);
    }
}

void RowDecoder::append(const std::uint8_t* data, std::size_t n) noexcept {
    while (n > 0) {
        const std::span<std::uint8_t> room = space();
        if (room.empty()) return;
        const std::size_t k = std::min(n, room.size());
        std::memcpy(room.data(), data, k);
        commit(k);
        data += k;
        n -= k;
    }
}

void RowDecoder::finish() noexcept {
    // The rows the data did not reach decode from zero bytes, as in a zero-filled buffer.
    while (started_ && !done_ && !failure_.failed()) {
        // The part of a row pending is zeros as well (nothing, or the zeros of the last turn):
        // the next row is all zero bytes, filter None included.
        const bool zeroRow = std::all_of(window_.get() + begin_, window_.get() + end_,
                                         [](std::uint8_t b) { return b == 0; });
        // A row at a time, so that only the front of the window is ever touched.
        const std::span<std::uint8_t> room = space();
        const std::size_t n = std::min(room.size(), line_ + 1);
        std::memset(room.data(), 0, n);
        const std::uint32_t decoded = row_;
        commit(n);
        // Such a row does not depend on the row above, so every later row of its pass comes out
        // the same: copy its pixels instead of decoding each (a few bytes of data may declare
        // millions of rows).
        if (zeroRow && !failure_.failed() && !done_ && row_ == decoded + 1) fillPassFrom(decoded);
    }
}

void RowDecoder::fillPassFrom(std::uint32_t source) noexcept {
    const Pass& pass = kPasses[pass_];
    const auto imageRow = [&](std::uint32_t r) {
        return static_cast<std::int32_t>(pass.startRow +
                                         static_cast<std::size_t>(r) * pass.rowStep);
    };
    const auto column = static_cast<std::int32_t>(pass.startColumn);
    const std::uint8_t* from = target_.pixelFromTop(column, imageRow(source));
    const std::size_t step = static_cast<std::size_t>(pass.columnStep) * 4;
    for (std::uint32_t r = row_; r < rows_; ++r) {
        std::uint8_t* to = target_.pixelFromTop(column, imageRow(r));
        if (step == 4) {
            std::memcpy(to, from, static_cast<std::size_t>(columns_) * 4);
            continue;
        }
        for (std::size_t k = 0; k < columns_; ++k)
            std::memcpy(to + k * step, from + k * step, 4);
    }
    row_ = rows_;
    ++pass_;
    enterPass();
}

void RowDecoder::decodeRow(std::uint8_t* row) noexcept {
    const ImageHeader& h = ctx_.header;
    const std::uint8_t type = row[0];
    // A filter type above 4 fails an interlaced image and is left as it is otherwise.
    if (type > 4 && h.interlace) {
        failure_.refuse(DecodeFailure::kBadData, "bad filter");
        return;
    }
    unfilterRow(type, row + 1, prev_, line_, unit_);
    prev_ = row + 1;

    const Pass& pass = kPasses[pass_];
    const std::size_t y = pass.startRow + static_cast<std::size_t>(row_) * pass.rowStep;
    std::uint8_t* d = target_.pixelFromTop(static_cast<std::int32_t>(pass.startColumn),
                                           static_cast<std::int32_t>(y));
    const std::size_t step = static_cast<std::size_t>(pass.columnStep) * 4;
    const std::uint8_t* s = row + 1;
    bool ok = true;
    if (h.bitDepth == 16) {
        switch (h.colorType) {
            case kGray:
                convert16Row<kGray>(s, d, columns_, step, key_);
                break;
            case kRgb:
                convert16Row<kRgb>(s, d, columns_, step, key_);
                break;
            case kGrayAlpha:
                convert16Row<kGrayAlpha>(s, d, columns_, step, key_);
                break;
            case kRgba:
                convert16Row<kRgba>(s, d, columns_, step, key_);
                break;
            default:
                ok = false;
                break;
        }
    } else {
        switch (h.colorType) {
            case kRgb:
                if (step == 4 && ctx_.transparentValue == -1) {
                    imageKernels().rgb8Adjacent(s, d, columns_);
                    break;
                }
                convert8Row<kRgb>(s, d, columns_, step, ctx_.transparentValue);
                break;
            case kGrayAlpha:
                convert8Row<kGrayAlpha>(s, d, columns_, step, ctx_.transparentValue);
                break;
            case kRgba:
                if (step == 4) {
                    imageKernels().rgba8Adjacent(s, d, columns_);
                    break;
                }
                convert8Row<kRgba>(s, d, columns_, step, ctx_.transparentValue);
                break;
            default:  // gray and palette at 1 to 8 bits
                switch (h.bitDepth) {
                    case 1:
                        ok = convertIndexedRow<1>(s, d, columns_, step, lut_, validCount_);
                        break;
                    case 2:
                        ok = convertIndexedRow<2>(s, d, columns_, step, lut_, validCount_);
                        break;
                    case 4:
                        ok = convertIndexedRow<4>(s, d, columns_, step, lut_, validCount_);
                        break;
                    default:
                        ok = convertIndexedRow<8>(s, d, columns_, step, lut_, validCount_);
                        break;
                }
                break;
        }
    }
    if (!ok) {
        failure_.refuse(DecodeFailure::kBadData, "palette index past the palette");
        return;
    }
    if (++row_ == rows_) {
        ++pass_;
        enterPass();
    }
}

void detail::rgba8AdjacentScalar(const std::uint8_t* s, std::uint8_t* d,
                                 std::uint32_t columns) noexcept {
    convert8Row<kRgba>(s, d, columns, 4, -1);
}

void detail::rgb8AdjacentScalar(const std::uint8_t* s, std::uint8_t* d,
                                std::uint32_t columns) noexcept {
    convert8Row<kRgb>(s, d, columns, 4, -1);
}

bool decodeImageData(std::span<std::uint8_t> data, const ConversionContext& ctx,
                     PixelView target) noexcept {
    const auto needed = expectedSize(ctx.header);
    if (!needed || data.size() < *needed) return false;
    RowDecoder rows;
    if (!rows.start(ctx, target)) return false;
    rows.append(data.data(), data.size());
    rows.finish();
    return rows.succeeded();
}

}  // namespace talvrin::png
