// Row unfiltering: the plain per-byte form, and the rows that run the form the kernel table
// holds, asked once a block or a row. Every form gives the same bytes (png_pixels_test checks
// each against a reference for every unit, width, alignment and pair of filters); the vector
// forms are in png_unfilter_sse2.cpp and png_unfilter_avx2.cpp.
#include "image/codecs/codec_rows.h"
#include "image/codecs/png_pixels.h"
#include "image/image_kernels.h"

namespace talvrin::png {

namespace {

// The plain form. `prev` is null in a block's first row (its bytes count as 0).
template <unsigned kUnit>
void scalarRow(std::uint8_t type, std::uint8_t* row, const std::uint8_t* prev, std::size_t len,
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
                row[i] = static_cast<std::uint8_t>(row[i] +
                                                   detail::paeth(row[i - u], prev[i], prev[i - u]));
            break;
        default:
            break;
    }
}

}  // namespace

void detail::unfilterRowScalar(std::uint8_t type, std::uint8_t* row, const std::uint8_t* prev,
                               std::size_t len, unsigned unit) noexcept {
    switch (unit) {
        case 1:
            return scalarRow<1>(type, row, prev, len, unit);
        case 2:
            return scalarRow<2>(type, row, prev, len, unit);
        case 3:
            return scalarRow<3>(type, row, prev, len, unit);
        case 4:
            return scalarRow<4>(type, row, prev, len, unit);
        case 6:
            return scalarRow<6>(type, row, prev, len, unit);
        case 8:
            return scalarRow<8>(type, row, prev, len, unit);
        default:
            return scalarRow<0>(type, row, prev, len, unit ? unit : 1);
    }
}

void unfilterRow(std::uint8_t type, std::uint8_t* row, const std::uint8_t* prev, std::size_t len,
                 unsigned unit) noexcept {
    imageKernels().unfilterRow(type, row, prev, len, unit);
}

bool unfilterRows(std::uint8_t* block, std::size_t rows, std::size_t rowLen, unsigned unit,
                  bool failOnBadFilter) noexcept {
    const std::size_t stride = rowLen + 1;
    const auto unfilter = imageKernels().unfilterRow;
    const std::uint8_t* prev = nullptr;
    for (std::size_t r = 0; r < rows; ++r) {
        std::uint8_t* line = block + r * stride;
        const std::uint8_t type = line[0];
        if (type > 4 && failOnBadFilter) return false;
        unfilter(type, line + 1, prev, rowLen, unit);
        prev = line + 1;
    }
    return true;
}

}  // namespace talvrin::png
