// Builds BMP files for the tests: any header size, depth, compression, palette, bit masks and
// raw pixel bytes, with the file header's offset computed unless a test overrides it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace talvrin::test {

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

struct BmpSpec {
    std::uint32_t headerSize = 40;
    std::int32_t width = 1;
    std::int32_t height = 1;  // negative: top-down
    std::uint16_t planes = 1;
    std::uint16_t bitsPerPixel = 24;
    std::uint32_t compression = 0;
    std::uint32_t colorsUsed = 0;
    std::vector<std::uint32_t> palette;  // 0x00RRGGBB entries
    std::vector<std::uint32_t> masks;    // red, green, blue [, alpha]
    bool masksAfterHeader = false;       // the 40-byte header's separate mask block
    Bytes pixels;                        // stored rows exactly as they go into the file
    std::optional<std::uint32_t> dataOffset;
};

inline Bytes buildBmp(const BmpSpec& s) {
    Bytes b(14 + s.headerSize, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 14, s.headerSize);
    if (s.headerSize == 12) {
        put16(b, 18, static_cast<std::uint32_t>(s.width));
        put16(b, 20, static_cast<std::uint32_t>(s.height));
        put16(b, 22, s.planes);
        put16(b, 24, s.bitsPerPixel);
    } else if (s.headerSize >= 16) {
        put32(b, 18, static_cast<std::uint32_t>(s.width));
        put32(b, 22, static_cast<std::uint32_t>(s.height));
        put16(b, 26, s.planes);
        put16(b, 28, s.bitsPerPixel);
        if (s.headerSize >= 20) put32(b, 30, s.compression);
        if (s.headerSize >= 36) put32(b, 46, s.colorsUsed);
        if (!s.masksAfterHeader)
            for (std::size_t i = 0; i < s.masks.size() && 40 + 4 * i + 4 <= s.headerSize; ++i)
                put32(b, 54 + 4 * i, s.masks[i]);
    }
    if (s.masksAfterHeader) {
        for (std::uint32_t m : s.masks)
            for (int i = 0; i < 4; ++i)
                b.push_back(static_cast<std::uint8_t>(m >> (8 * i)));
    }
    for (std::uint32_t c : s.palette) {
        b.push_back(static_cast<std::uint8_t>(c));
        b.push_back(static_cast<std::uint8_t>(c >> 8));
        b.push_back(static_cast<std::uint8_t>(c >> 16));
        if (s.headerSize != 12) b.push_back(0);
    }
    put32(b, 10, s.dataOffset.value_or(static_cast<std::uint32_t>(b.size())));
    b.insert(b.end(), s.pixels.begin(), s.pixels.end());
    put32(b, 2, static_cast<std::uint32_t>(b.size()));
    return b;
}

}  // namespace talvrin::test
