// Builds PNG files for tests from their parts: chunks with correct (or deliberately wrong)
// checksums, headers, and image data deflated by zlib or written as stored blocks.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace talvrin::test {

using Bytes = std::vector<std::uint8_t>;

inline void putBe32(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v >> 24));
    b.push_back(static_cast<std::uint8_t>(v >> 16));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
    b.push_back(static_cast<std::uint8_t>(v));
}

// zlib stream of `raw` at the given level.
inline Bytes zlibOf(const Bytes& raw, int level = 6) {
    uLongf len = compressBound(raw.size());
    Bytes out(len);
    compress2(out.data(), &len, raw.data(), raw.size(), level);
    out.resize(len);
    return out;
}

// zlib stream of `raw` as stored blocks of at most `blockSize` bytes; `badNlen` spoils the
// NLEN of the first block.
inline Bytes storedZlibOf(const Bytes& raw, std::size_t blockSize = 65535, bool badNlen = false) {
    Bytes out{0x78, 0x01};
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(blockSize, raw.size() - at);
        out.push_back(at + n == raw.size() ? 1 : 0);
        std::uint16_t nlen = static_cast<std::uint16_t>(~n);
        if (badNlen && at == 0) nlen ^= 1;
        out.push_back(static_cast<std::uint8_t>(n));
        out.push_back(static_cast<std::uint8_t>(n >> 8));
        out.push_back(static_cast<std::uint8_t>(nlen));
        out.push_back(static_cast<std::uint8_t>(nlen >> 8));
        out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                   raw.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
    } while (at < raw.size());
    const uLong adler = adler32(1, raw.data(), static_cast<uInt>(raw.size()));
    putBe32(out, static_cast<std::uint32_t>(adler));
    return out;
}

// Writes a DEFLATE bit stream after a zlib header whose bytes are deliberately not valid: the
// inflater must skip them unread.
class BitWriter {
  public:
    BitWriter() : bytes_{0xFF, 0xFF} {}
    void bits(std::uint32_t value, unsigned n) {
        for (unsigned i = 0; i < n; ++i)
            put((value >> i) & 1u);
    }
    // A Huffman code, most significant bit first.
    void code(std::uint32_t value, unsigned n) {
        for (unsigned i = n; i-- > 0;)
            put((value >> i) & 1u);
    }
    void alignByte() { bit_ = 0; }
    void byte(std::uint8_t b) {
        alignByte();
        bytes_.push_back(b);
    }
    Bytes done() const { return bytes_; }

  private:
    void put(std::uint32_t b) {
        if (bit_ == 0) bytes_.push_back(0);
        bytes_.back() |= static_cast<std::uint8_t>(b << bit_);
        bit_ = (bit_ + 1) & 7;
    }
    Bytes bytes_;
    unsigned bit_ = 0;
};

// A dynamic block whose literal/length code has 255 codes of 8 bits and two of 9 (symbols 255
// and 256), with the given distance code lengths; the code-length code gives symbols 0, 1, 8
// and 9 two bits each. The data is the given literals (bytes below 255) and the end code.
inline Bytes dynamicBlock(const std::vector<std::uint8_t>& distLens, unsigned hlitExtra = 0,
                          bool leadingRepeat = false, const std::string& literals = "A") {
    BitWriter w;
    w.bits(1, 1);
    w.bits(2, 2);
    w.bits(hlitExtra, 5);                                        // HLIT
    w.bits(static_cast<std::uint32_t>(distLens.size() - 1), 5);  // HDIST
    w.bits(14, 4);                                               // HCLEN 18
    const unsigned order[] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1};
    for (unsigned sym : order) {
        unsigned len = (sym == 0 || sym == 1 || sym == 8 || sym == 9) ? 2 : 0;
        // Code-length code {0: 1 bit, 16: 2 bits, 8 and 9: 3 bits}.
        if (leadingRepeat) len = sym == 0 ? 1 : sym == 16 ? 2 : (sym == 8 || sym == 9) ? 3 : 0;
        w.bits(len, 3);
    }
    auto lengthCode = [&](unsigned len) {
        // Canonical codes: 0 -> 00, 1 -> 01, 8 -> 10, 9 -> 11.
        const unsigned code = len == 0 ? 0 : len == 1 ? 1 : len == 8 ? 2 : 3;
        w.code(code, 2);
    };
    if (leadingRepeat) {
        // Symbol 16 (code 10) comes first.
        w.code(2, 2);
        w.bits(0, 2);
        return w.done();
    }
    for (unsigned s = 0; s < 257 + hlitExtra; ++s)
        lengthCode(s < 255 ? 8 : s < 257 ? 9 : 0);
    for (std::uint8_t l : distLens)
        lengthCode(l);
    for (char c : literals)
        w.code(static_cast<std::uint8_t>(c), 8);
    w.code(511, 9);  // end of block
    w.bits(0, 16);
    return w.done();
}

class PngBuilder {
  public:
    PngBuilder() : bytes_{0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A} {}

    PngBuilder& chunk(const std::string& type, const Bytes& data, bool badCrc = false) {
        putBe32(bytes_, static_cast<std::uint32_t>(data.size()));
        Bytes typed(type.begin(), type.end());
        typed.insert(typed.end(), data.begin(), data.end());
        bytes_.insert(bytes_.end(), typed.begin(), typed.end());
        std::uint32_t crc =
            static_cast<std::uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size())));
        if (badCrc) crc ^= 0x10;
        putBe32(bytes_, crc);
        return *this;
    }
    PngBuilder& ihdr(std::uint32_t w, std::uint32_t h, std::uint8_t depth, std::uint8_t colorType,
                     std::uint8_t interlace = 0, std::uint8_t compression = 0) {
        Bytes d;
        putBe32(d, w);
        putBe32(d, h);
        d.push_back(depth);
        d.push_back(colorType);
        d.push_back(compression);
        d.push_back(0);
        d.push_back(interlace);
        return chunk("IHDR", d);
    }
    PngBuilder& idat(const Bytes& z, bool badCrc = false) { return chunk("IDAT", z, badCrc); }
    PngBuilder& iend() { return chunk("IEND", {}); }
    [[nodiscard]] const Bytes& bytes() const { return bytes_; }

  private:
    Bytes bytes_;
};

// A whole PNG from the header values and its raw (filtered) image data.
inline Bytes simplePng(std::uint32_t w, std::uint32_t h, std::uint8_t depth, std::uint8_t colorType,
                       const Bytes& raw, std::uint8_t interlace = 0) {
    return PngBuilder().ihdr(w, h, depth, colorType, interlace).idat(zlibOf(raw)).iend().bytes();
}

}  // namespace talvrin::test
