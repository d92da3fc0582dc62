// The UTF-8 pieces shared by the narrow text decoder's portable part and its platform parts:
// writing a code point, delimiting one encoded character, and finding runs of ASCII bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace talvrin::platform::utf8 {

inline constexpr char32_t kReplacement = 0xFFFD;

// Appends cp as UTF-8; a surrogate or a value above U+10FFFF becomes U+FFFD.
inline void appendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
    char buf[4];
    std::size_t n;
    if (cp < 0x80) {
        buf[0] = static_cast<char>(cp);
        n = 1;
    } else if (cp < 0x800) {
        buf[0] = static_cast<char>(0xC0 | (cp >> 6));
        buf[1] = static_cast<char>(0x80 | (cp & 0x3F));
        n = 2;
    } else if (cp < 0x10000) {
        buf[0] = static_cast<char>(0xE0 | (cp >> 12));
        buf[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        buf[2] = static_cast<char>(0x80 | (cp & 0x3F));
        n = 3;
    } else {
        buf[0] = static_cast<char>(0xF0 | (cp >> 18));
        buf[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        buf[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        buf[3] = static_cast<char>(0x80 | (cp & 0x3F));
        n = 4;
    }
    out.append(buf, n);
}

// Decodes one UTF-8 character from p[0..n), n >= 1. Returns the bytes it takes and sets cp; an
// ill-formed sequence takes its longest valid prefix (at least one byte) and gives U+FFFD. Returns
// 0 when p[0..n) is a valid start of a character that needs more bytes.
inline std::size_t utf8Sequence(const unsigned char* p, std::size_t n, char32_t& cp) noexcept {
    const unsigned char b0 = p[0];
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t need;
    char32_t v;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        v = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        v = b0 & 0x0F;
        if (b0 == 0xE0) lo = 0xA0;  // overlong
        if (b0 == 0xED) hi = 0x9F;  // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        v = b0 & 0x07;
        if (b0 == 0xF0) lo = 0x90;  // overlong
        if (b0 == 0xF4) hi = 0x8F;  // above U+10FFFF
    } else {
        cp = kReplacement;
        return 1;
    }
    for (std::size_t i = 1; i <= need; ++i) {
        if (i >= n) return 0;
        const unsigned char b = p[i];
        if (b < lo || b > hi) {
            cp = kReplacement;
            return i;
        }
        v = (v << 6) | (b & 0x3F);
        lo = 0x80;
        hi = 0xBF;
    }
    cp = v;
    return need + 1;
}

// Length of the run of ASCII bytes at the start of p[0..n).
inline std::size_t asciiRun(const unsigned char* p, std::size_t n) noexcept {
    std::size_t i = 0;
    while (i + 8 <= n) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        if (w & 0x8080808080808080ULL) break;
        i += 8;
    }
    while (i < n && p[i] < 0x80)
        ++i;
    return i;
}

}  // namespace talvrin::platform::utf8
