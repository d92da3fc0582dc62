// Builders for the GIF and icon tests: an LZW encoder and GIF writer, a minimal PNG writer
// (zlib-compressed, 8-bit RGBA) and little-endian byte appenders.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace talvrin::testutil {

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void put32(Bytes& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
inline void put32be(Bytes& b, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8)
        b.push_back(static_cast<std::uint8_t>(v >> s));
}
inline void append(Bytes& b, const Bytes& more) {
    b.insert(b.end(), more.begin(), more.end());
}

inline Bytes readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
inline void writeFile(const std::filesystem::path& p, const Bytes& b) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// LZW-encodes indices the way GIF writers do. With clearWhenFull false the table is left full
// and the encoder goes on at 12 bits without adding entries (a deferred clear).
inline Bytes lzwEncode(const std::vector<std::uint8_t>& pixels, int minCodeSize,
                       bool clearWhenFull = true) {
    Bytes out;
    std::uint32_t acc = 0;
    int bits = 0;
    const std::uint32_t clear = 1u << minCodeSize;
    int width = minCodeSize + 1;
    std::uint32_t next = clear + 2;
    const auto emit = [&](std::uint32_t code) {
        acc |= code << bits;
        bits += width;
        while (bits >= 8) {
            out.push_back(static_cast<std::uint8_t>(acc));
            acc >>= 8;
            bits -= 8;
        }
    };
    std::map<std::pair<std::uint32_t, std::uint8_t>, std::uint32_t> table;
    emit(clear);
    if (!pixels.empty()) {
        std::uint32_t cur = pixels[0];
        for (std::size_t i = 1; i < pixels.size(); ++i) {
            const auto key = std::make_pair(cur, pixels[i]);
            const auto it = table.find(key);
            if (it != table.end()) {
                cur = it->second;
                continue;
            }
            emit(cur);
            if (next < 4096) {
                table[key] = next++;
                // The decoder widens after it adds the entry one step later, so the encoder
                // widens when the next code would need the extra bit.
                if (next > (1u << width) && width < 12) ++width;
            } else if (clearWhenFull) {
                emit(clear);
                table.clear();
                next = clear + 2;
                width = minCodeSize + 1;
            }
            cur = pixels[i];
        }
        emit(cur);
        // The decoder adds its entry for the last code too, and may widen before the end code.
        if (next < 4096 && ++next > (1u << width) && width < 12) ++width;
    }
    emit(clear + 1);
    if (bits > 0) out.push_back(static_cast<std::uint8_t>(acc));
    return out;
}

// Splits data into sub-blocks of at most 255 bytes followed by the terminator.
inline Bytes subBlocks(const Bytes& data, std::size_t chunk = 255) {
    Bytes out;
    for (std::size_t i = 0; i < data.size(); i += chunk) {
        const std::size_t n = std::min(chunk, data.size() - i);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
                   data.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    out.push_back(0);
    return out;
}

struct GifRecipe {
    std::string signature = "GIF89a";
    int screenWidth = 0;  // 0: the image's size
    int screenHeight = 0;
    std::vector<std::uint8_t> globalTable;  // RGB triples; empty: none
    std::vector<std::uint8_t> localTable;
    bool controlExtension = false;
    bool transparent = false;
    std::uint8_t transparentIndex = 0;
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    int minCodeSize = 8;
    Bytes lzw;  // encoded data; empty: encode `pixels` (in stream order)
    std::vector<std::uint8_t> pixels;
    Bytes beforeImage;  // extra bytes between the header and the image
    Bytes afterImage;   // appended after the image block, before the trailer
};

// The size code of a table of n RGB entries (n a power of two from 2 to 256).
inline std::uint8_t tableCode(std::size_t entries) {
    std::uint8_t code = 0;
    while ((2u << code) < entries)
        ++code;
    return code;
}

inline Bytes makeGif(const GifRecipe& s) {
    Bytes b(s.signature.begin(), s.signature.end());
    put16(b, static_cast<unsigned>(s.screenWidth ? s.screenWidth : s.width));
    put16(b, static_cast<unsigned>(s.screenHeight ? s.screenHeight : s.height));
    const std::size_t globalEntries = s.globalTable.size() / 3;
    b.push_back(globalEntries ? static_cast<std::uint8_t>(0x80 | tableCode(globalEntries)) : 0);
    b.push_back(0);
    b.push_back(0);
    append(b, s.globalTable);
    append(b, s.beforeImage);
    if (s.controlExtension) {
        append(b, {0x21, 0xF9, 4, static_cast<std::uint8_t>(s.transparent ? 1 : 0), 0, 0,
                   s.transparentIndex, 0});
    }
    b.push_back(0x2C);
    put16(b, static_cast<unsigned>(s.left));
    put16(b, static_cast<unsigned>(s.top));
    put16(b, static_cast<unsigned>(s.width));
    put16(b, static_cast<unsigned>(s.height));
    const std::size_t localEntries = s.localTable.size() / 3;
    std::uint8_t packed = s.interlaced ? 0x40 : 0;
    if (localEntries) packed |= static_cast<std::uint8_t>(0x80 | tableCode(localEntries));
    b.push_back(packed);
    append(b, s.localTable);
    b.push_back(static_cast<std::uint8_t>(s.minCodeSize));
    append(b, subBlocks(s.lzw.empty() ? lzwEncode(s.pixels, s.minCodeSize) : s.lzw));
    append(b, s.afterImage);
    b.push_back(0x3B);
    return b;
}

// A table of n entries where entry i is (i, 2i, 255 - i) modulo 256.
inline std::vector<std::uint8_t> rampTable(std::size_t n) {
    std::vector<std::uint8_t> t;
    for (std::size_t i = 0; i < n; ++i) {
        t.push_back(static_cast<std::uint8_t>(i));
        t.push_back(static_cast<std::uint8_t>(2 * i));
        t.push_back(static_cast<std::uint8_t>(255 - i));
    }
    return t;
}

// A PNG of 8-bit RGBA pixels (top row first), filter 0, zlib-compressed.
inline Bytes makePngRgba(int width, int height, const std::vector<std::uint8_t>& rgba) {
    Bytes raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        const auto row = rgba.begin() + static_cast<std::ptrdiff_t>(y) * width * 4;
        raw.insert(raw.end(), row, row + width * 4);
    }
    uLongf zlen = compressBound(static_cast<uLong>(raw.size()));
    Bytes z(zlen);
    compress2(z.data(), &zlen, raw.data(), static_cast<uLong>(raw.size()), 9);
    z.resize(zlen);
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    const auto chunk = [&png](const char* type, const Bytes& data) {
        put32be(png, static_cast<std::uint32_t>(data.size()));
        Bytes td(type, type + 4);
        append(td, data);
        append(png, td);
        put32be(png, static_cast<std::uint32_t>(crc32(0, td.data(), static_cast<uInt>(td.size()))));
    };
    Bytes ihdr;
    put32be(ihdr, static_cast<std::uint32_t>(width));
    put32be(ihdr, static_cast<std::uint32_t>(height));
    append(ihdr, {8, 6, 0, 0, 0});
    chunk("IHDR", ihdr);
    chunk("IDAT", z);
    chunk("IEND", {});
    return png;
}

}  // namespace talvrin::testutil
