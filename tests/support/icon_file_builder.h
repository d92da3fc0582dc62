// Builds icon files for the tests: a directory of entries, each a bitmap (a 40-byte header, its
// colour table, colour rows and mask rows) or any bytes a test sets, with the directory's sizes
// and offsets computed from the entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace talvrin::test {

using Bytes = std::vector<std::uint8_t>;

namespace icon_detail {
inline void put16(Bytes& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void put32(Bytes& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
}  // namespace icon_detail

// One entry: its directory fields and its data.
struct IcoEntry {
    std::uint8_t dirWidth = 0, dirHeight = 0;
    std::uint16_t dirBitCount = 0;
    Bytes data;
};

// Bytes of a bitmap row of `width` pixels at `bits` per pixel, padded to 4 bytes.
inline std::size_t rowBytes(int width, int bits) {
    return static_cast<std::size_t>((width * bits + 31) / 32 * 4);
}

// A bitmap entry of w x h pixels (256 is 0 in the directory). colorRows and maskRows are
// bottom-up and already padded; palette has 4 bytes an entry. The header's bit count is `bits`
// unless headerBitCount says otherwise.
inline IcoEntry bitmapEntry(int w, int h, int bits, const Bytes& palette, const Bytes& colorRows,
                            const Bytes& maskRows, std::uint16_t headerBitCount = 0xFFFF) {
    using icon_detail::put16;
    using icon_detail::put32;
    IcoEntry e;
    e.dirWidth = static_cast<std::uint8_t>(w == 256 ? 0 : w);
    e.dirHeight = static_cast<std::uint8_t>(h == 256 ? 0 : h);
    e.dirBitCount = static_cast<std::uint16_t>(bits);
    put32(e.data, 40);
    put32(e.data, static_cast<std::uint32_t>(w));
    put32(e.data, static_cast<std::uint32_t>(2 * h));
    put16(e.data, 1);
    put16(e.data, headerBitCount == 0xFFFF ? static_cast<unsigned>(bits) : headerBitCount);
    e.data.resize(40, 0);
    e.data.insert(e.data.end(), palette.begin(), palette.end());
    e.data.insert(e.data.end(), colorRows.begin(), colorRows.end());
    e.data.insert(e.data.end(), maskRows.begin(), maskRows.end());
    return e;
}

// An entry with zero pixels and a clear mask, for directory-only tests.
inline IcoEntry blankEntry(int w, int h, int bits) {
    const Bytes palette(bits <= 8 ? 4u << bits : 0, 0);
    return bitmapEntry(w, h, bits, palette, Bytes(rowBytes(w, bits) * h, 0),
                       Bytes(rowBytes(w, 1) * h, 0));
}

// The icon file (type 1) or cursor file (type 2) of the entries, in their order.
inline Bytes makeIco(const std::vector<IcoEntry>& entries, std::uint16_t type = 1) {
    using icon_detail::put16;
    using icon_detail::put32;
    Bytes b;
    put16(b, 0);
    put16(b, type);
    put16(b, static_cast<unsigned>(entries.size()));
    auto offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
    for (const auto& e : entries) {
        b.push_back(e.dirWidth);
        b.push_back(e.dirHeight);
        b.push_back(0);
        b.push_back(0);
        put16(b, 1);
        put16(b, e.dirBitCount);
        put32(b, static_cast<std::uint32_t>(e.data.size()));
        put32(b, offset);
        offset += static_cast<std::uint32_t>(e.data.size());
    }
    for (const auto& e : entries)
        b.insert(b.end(), e.data.begin(), e.data.end());
    return b;
}

// An icon with 32-bit entries of the given square sizes; every pixel of an entry of size n is
// opaque with blue = n (and a clear mask), so the chosen entry shows in its pixels.
inline Bytes iconOfSizes(std::initializer_list<int> sizes) {
    std::vector<IcoEntry> entries;
    for (const int n : sizes) {
        Bytes rows;
        for (int i = 0; i < n * n; ++i)
            rows.insert(rows.end(), {static_cast<std::uint8_t>(n), 0, 0, 255});
        entries.push_back(bitmapEntry(n, n, 32, {}, rows, Bytes(rowBytes(n, 1) * n, 0)));
    }
    return makeIco(entries);
}

}  // namespace talvrin::test
