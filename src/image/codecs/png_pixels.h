// The pixel half of the PNG decoder: sizes of the decompressed data, row unfiltering, the Adam7
// pass geometry, the palette preparation and the converters that write premultiplied B, G, R, A
// pixels into a bottom-up 32-bit buffer. Free functions over plain buffers, so they are tested
// and benchmarked without a surface.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "base/decode_failure.h"
#include "base/div255.h"
#include "base/pixels.h"

namespace talvrin::png {

enum ColorType : std::uint8_t {
    kGray = 0,
    kRgb = 2,
    kPalette = 3,
    kGrayAlpha = 4,
    kRgba = 6,
};

// The header fields the pixel code needs (validated by the chunk reader).
struct ImageHeader {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint8_t bitDepth = 0;
    std::uint8_t colorType = 0;
    std::uint8_t interlace = 0;
};

// True for the colour type / bit depth combinations that PNG allows.
[[nodiscard]] bool isValidFormat(std::uint8_t colorType, std::uint8_t bitDepth) noexcept;

// Bits of one pixel, and the filter unit (bytes between a byte and its left neighbour, at least
// 1). Callers pass a valid format.
[[nodiscard]] unsigned bitsPerPixel(const ImageHeader& h) noexcept;
[[nodiscard]] unsigned filterUnit(const ImageHeader& h) noexcept;

// Bytes in a row of `width` pixels (without the filter byte).
[[nodiscard]] constexpr std::uint64_t rowBytes(std::uint64_t width,
                                               unsigned bitsPerPixel) noexcept {
    return (width * bitsPerPixel + 7) / 8;
}

// One entry of the pass table: where a pass starts and how it steps.
struct Pass {
    std::uint8_t startRow;
    std::uint8_t startColumn;
    std::uint8_t rowStep;
    std::uint8_t columnStep;
};
// Entries 0-6 are the Adam7 passes; entry 7 is a non-interlaced image as one pass.
inline constexpr std::array<Pass, 8> kPasses = {{
    {0, 0, 8, 8},
    {0, 4, 8, 8},
    {4, 0, 8, 4},
    {0, 2, 4, 4},
    {2, 0, 4, 2},
    {0, 1, 2, 2},
    {1, 0, 2, 1},
    {0, 0, 1, 1},
}};
inline constexpr std::size_t kWholeImagePass = 7;

[[nodiscard]] constexpr std::uint32_t passColumns(std::uint32_t width, const Pass& p) noexcept {
    return width / p.columnStep + (width % p.columnStep > p.startColumn ? 1u : 0u);
}
[[nodiscard]] constexpr std::uint32_t passRows(std::uint32_t height, const Pass& p) noexcept {
    return height / p.rowStep + (height % p.rowStep > p.startRow ? 1u : 0u);
}

// Size of the decompressed image data, filter bytes included; nothing on overflow. For an
// interlaced image a pass of width 0 still counts one byte for each of its rows.
[[nodiscard]] std::optional<std::size_t> expectedSize(const ImageHeader& h) noexcept;

// Reverses filter `type` on one row of `len` bytes in place, with `unit` bytes between a byte and
// its left neighbour; `prev` is the unfiltered row above, or null in a block's first row (its
// bytes count as 0). A type above 4 leaves the row as it is. The plain per-byte form and the
// vector ones (SSE2; AVX2 for Up) give the same bytes; the image library's kernel table
// (image/image_kernels.h) names the one that runs.
void unfilterRow(std::uint8_t type, std::uint8_t* row, const std::uint8_t* prev, std::size_t len,
                 unsigned unit) noexcept;

// Reverses the row filters of a block of `rows` rows, each a filter byte followed by `rowLen`
// bytes, in place. A filter type above 4 leaves its row unchanged, or fails the block when
// `failOnBadFilter` is set.
[[nodiscard]] bool unfilterRows(std::uint8_t* block, std::size_t rows, std::size_t rowLen,
                                unsigned unit, bool failOnBadFilter) noexcept;

// What the converters need besides the rows.
struct ConversionContext {
    ImageHeader header;
    std::span<const std::uint8_t> palette;       // R, G, B triples
    std::span<const std::uint8_t> transparency;  // the tRNS data (palette: 256 alphas or more)
    std::int32_t transparentValue = -1;          // -1: no transparency
};

// The palette colour types 0 and 3 convert through, when the image brings none: a gray ramp for
// gray images below 16 bits, black (with white at index 1 for 1-bit palette images) otherwise.
[[nodiscard]] std::vector<std::uint8_t> preparedPalette(const ImageHeader& h, bool hasPalette);

// The tRNS bytes a 16-bit image is keyed on: the high bytes of its samples (data bytes 0, 2, 4).
struct TransparentKey16 {
    bool keyed = false;
    std::uint8_t k0 = 0, k2 = 0, k4 = 0;
};

// Decodes the decompressed image data as it arrives, in pieces of any size: each complete row is
// unfiltered against the row above it in its pass and converted straight into the target, so
// only a window of rows is ever held. The rows the data does not reach (finish) decode from zero
// bytes, exactly as from the zero-filled buffer of a whole-image decode; bytes after the last row
// are taken and dropped.
class RowDecoder {
  public:
    // Prepares the decode of an image of ctx's header into target (of the header's size). The
    // spans of ctx must outlive the decoder. False for a mismatch or when the window cannot be
    // allocated.
    [[nodiscard]] bool start(const ConversionContext& ctx, PixelView target) noexcept;

    // Room for the next bytes (never empty once started); commit(n) says that n bytes were
    // written at its start and decodes the rows they complete.
    [[nodiscard]] std::span<std::uint8_t> space() noexcept;
    void commit(std::size_t n) noexcept;
    // The same for bytes held elsewhere: copied in, then committed.
    void append(const std::uint8_t* data, std::size_t n) noexcept;
    // The data has ended: the remaining rows decode from zero bytes.
    void finish() noexcept;

    // Why a row could not be converted: a filter type above 4 in an interlaced image, or a
    // sample beyond the palette (bad data). Nothing more is decoded after it.
    [[nodiscard]] const LoadFailure& failure() const noexcept { return failure_; }
    // Every row of every pass was decoded.
    [[nodiscard]] bool succeeded() const noexcept {
        return started_ && done_ && !failure_.failed();
    }

  private:
    static constexpr std::size_t kWindowBytes = 128 * 1024;

    void enterPass() noexcept;
    void decodeRow(std::uint8_t* row) noexcept;
    // Rows row_ to the end of the pass as copies of its row `source`, then the next pass.
    void fillPassFrom(std::uint32_t source) noexcept;

    ConversionContext ctx_;
    PixelView target_{};
    unsigned bitsPerPixel_ = 0;
    unsigned unit_ = 1;
    std::unique_ptr<std::uint8_t[]> window_;
    std::unique_ptr<std::uint8_t[]> above_;  // the row above, when the window moved under it
    std::size_t capacity_ = 0;
    std::size_t begin_ = 0;  // the first byte not yet decoded
    std::size_t end_ = 0;    // one past the last byte committed
    const std::uint8_t* prev_ = nullptr;
    std::size_t pass_ = 0;
    std::uint32_t columns_ = 0;
    std::uint32_t rows_ = 0;
    std::uint32_t row_ = 0;
    std::size_t line_ = 0;
    std::uint32_t lut_[256] = {};
    std::uint32_t validCount_ = 0;
    TransparentKey16 key_;
    bool started_ = false;
    LoadFailure failure_;
    bool done_ = false;
};

// Unfilters and converts the whole decompressed image (`data`, `expectedSize(h)` bytes): one
// block, or pass by pass when interlaced. False when a pass has a filter type above 4 or a
// conversion fails.
[[nodiscard]] bool decodeImageData(std::span<std::uint8_t> data, const ConversionContext& ctx,
                                   PixelView target) noexcept;

}  // namespace talvrin::png
