// The narrow text decoder on Windows: a code page, by default the system's (ANSI) code page that
// CreateProcessA and the other narrow calls use. Characters are delimited here (a lead byte and
// its trail byte in a double-byte code page, a UTF-8 sequence in code page 65001) and converted
// one at a time by MultiByteToWideChar and WideCharToMultiByte, so a character cut by a read is
// kept whole for the next one.
#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/os/narrow_text_decoder.h"
#include "platform/os/utf8_sequences.h"

namespace talvrin::platform {

using utf8::appendUtf8;
using utf8::asciiRun;
using utf8::kReplacement;
using utf8::utf8Sequence;

namespace {

// 7-bit ASCII: the "C" encoding. Bytes above 127 are no characters in it, which the decoder
// decides itself rather than relying on the system's table for this code page.
constexpr UINT kAsciiCodePage = 20127;

bool equalsIgnoringCase(const char* a, const char* b) noexcept {
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) !=
            std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

// The code page a locale name ends in, as the C runtime names them (".1252", ".UTF-8").
UINT codePageOfName(const char* name) noexcept {
    if (name == nullptr) return kAsciiCodePage;
    if (*name == '\0') return GetACP();
    const char* dot = std::strrchr(name, '.');
    if (dot == nullptr) return kAsciiCodePage;  // "C", "POSIX" and names without a code page
    const char* page = dot + 1;
    if (equalsIgnoringCase(page, "UTF-8") || equalsIgnoringCase(page, "UTF8")) return CP_UTF8;
    char* end = nullptr;
    const unsigned long number = std::strtoul(page, &end, 10);
    if (end == page || *end != '\0' || number == 0 || number > 65535) return kAsciiCodePage;
    const auto codePage = static_cast<UINT>(number);
    return IsValidCodePage(codePage) ? codePage : kAsciiCodePage;
}

// Appends the code points of one or two UTF-16 units.
void appendUtf16(std::string& out, const wchar_t* units, int count) {
    if (count == 2 && units[0] >= 0xD800 && units[0] <= 0xDBFF && units[1] >= 0xDC00 &&
        units[1] <= 0xDFFF) {
        appendUtf8(out, 0x10000 + ((static_cast<char32_t>(units[0]) - 0xD800) << 10) +
                            (static_cast<char32_t>(units[1]) - 0xDC00));
        return;
    }
    for (int k = 0; k < count; ++k)
        appendUtf8(out, static_cast<char32_t>(units[k]));
}

}  // namespace

// The code page and what is known about its characters.
struct NarrowTextDecoder::Encoding {
    UINT codePage = kAsciiCodePage;
    bool ascii = true;                // 7-bit ASCII
    bool utf8 = false;                // code page 65001
    bool doubleByte = false;          // characters of one or two bytes, by their lead byte
    BYTE leadBytes[MAX_LEADBYTES]{};  // pairs of lead-byte ranges, ending in 0, 0

    explicit Encoding(UINT page) noexcept : codePage(page) {
        utf8 = codePage == CP_UTF8;
        ascii = codePage == kAsciiCodePage;
        if (utf8 || ascii) return;
        CPINFO info{};
        if (GetCPInfo(codePage, &info) && info.MaxCharSize <= 2) {
            doubleByte = info.MaxCharSize == 2;
            std::memcpy(leadBytes, info.LeadByte, sizeof leadBytes);
            return;
        }
        // A code page this decoder cannot delimit (stateful or longer sequences): ASCII.
        codePage = kAsciiCodePage;
        ascii = true;
    }

    [[nodiscard]] bool isLeadByte(unsigned char b) const noexcept {
        for (int k = 0; k + 1 < MAX_LEADBYTES && leadBytes[k] != 0; k += 2)
            if (b >= leadBytes[k] && b <= leadBytes[k + 1]) return true;
        return false;
    }

    // The bytes of the character starting at p[0..n), n >= 1; 0 when p[0..n) is a valid start
    // of a character that needs more bytes.
    [[nodiscard]] std::size_t characterLength(const unsigned char* p,
                                              std::size_t n) const noexcept {
        if (utf8) {
            char32_t cp = 0;
            return utf8Sequence(p, n, cp);
        }
        if (doubleByte && isLeadByte(p[0])) return n >= 2 ? 2 : 0;
        return 1;
    }

    // Appends the UTF-8 form of one delimited character; U+FFFD when it is none.
    void decodeCharacter(const unsigned char* p, std::size_t length, std::string& out) const {
        if (ascii) {
            appendUtf8(out, length == 1 && p[0] < 0x80 ? p[0] : kReplacement);
            return;
        }
        wchar_t units[2];
        const auto* bytes = reinterpret_cast<const char*>(p);
        const int len = static_cast<int>(length);
        int count = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, len, units, 2);
        // A few code pages take no flags at all.
        if (count == 0 && GetLastError() == ERROR_INVALID_FLAGS)
            count = MultiByteToWideChar(codePage, 0, bytes, len, units, 2);
        if (count <= 0) {
            appendUtf8(out, kReplacement);
            return;
        }
        appendUtf16(out, units, count);
    }

    // Appends the code point in this code page; '?' when the code page cannot hold it.
    void encodeCharacter(char32_t cp, std::string& out) const {
        if (ascii) {
            out.push_back(cp < 0x80 ? static_cast<char>(cp) : '?');
            return;
        }
        wchar_t units[2];
        int count = 1;
        if (cp >= 0x10000) {
            units[0] = static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
            units[1] = static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            count = 2;
        } else {
            units[0] = static_cast<wchar_t>(cp);
        }
        char bytes[8];
        BOOL usedDefault = FALSE;
        int written = 0;
        if (utf8) {
            // Code page 65001 takes neither flags nor a default character.
            written = WideCharToMultiByte(codePage, 0, units, count, bytes, sizeof bytes, nullptr,
                                          nullptr);
        } else {
            // No best fit: a character the code page lacks becomes '?', not a look-alike.
            written = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, units, count, bytes,
                                          sizeof bytes, "?", &usedDefault);
            if (written == 0 && GetLastError() == ERROR_INVALID_FLAGS)
                written = WideCharToMultiByte(codePage, 0, units, count, bytes, sizeof bytes, "?",
                                              &usedDefault);
        }
        if (written <= 0 || usedDefault) {
            out.push_back('?');
            return;
        }
        out.append(bytes, static_cast<std::size_t>(written));
    }
};

NarrowTextDecoder::NarrowTextDecoder() noexcept : encoding_(new (std::nothrow) Encoding(GetACP())) {
    configure(Engine::Automatic);
}

NarrowTextDecoder::NarrowTextDecoder(const char* localeName, Engine engine) noexcept
    : encoding_(new (std::nothrow) Encoding(codePageOfName(localeName))) {
    configure(engine);
}

NarrowTextDecoder::~NarrowTextDecoder() = default;

void NarrowTextDecoder::configureEncoding(Engine engine) noexcept {
    const Encoding& e = *encoding_;
    utf8_ = e.utf8 && engine == Engine::Automatic;
    asciiIdentity_ = true;
    if (e.utf8 || e.ascii) return;
    for (int b = 1; b < 0x80 && asciiIdentity_; ++b) {
        const char c = static_cast<char>(b);
        wchar_t unit = 0;
        asciiIdentity_ = MultiByteToWideChar(e.codePage, 0, &c, 1, &unit, 1) == 1 &&
                         unit == static_cast<wchar_t>(b);
    }
}

bool NarrowTextDecoder::hasCarriedBytes() const noexcept {
    return carryLen_ != 0;
}

void NarrowTextDecoder::reset() noexcept {
    carryLen_ = 0;
}

void NarrowTextDecoder::decodeGeneric(const char* data, std::size_t size, std::string& out) {
    const Encoding& e = *encoding_;
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    std::size_t i = 0;
    if (carryLen_ != 0) {
        // Finish the kept character with the first bytes of this chunk.
        unsigned char tmp[4];
        std::memcpy(tmp, carry_, carryLen_);
        const std::size_t take = size < 4 - carryLen_ ? size : 4 - carryLen_;
        std::memcpy(tmp + carryLen_, p, take);
        const std::size_t length = e.characterLength(tmp, carryLen_ + take);
        if (length == 0) {  // still unfinished: every byte of this chunk joins the kept ones
            std::memcpy(carry_, tmp, carryLen_ + take);
            carryLen_ += take;
            return;
        }
        e.decodeCharacter(tmp, length, out);
        // A kept start that this chunk does not continue is one character of its own; the
        // chunk's bytes are then decoded afresh.
        i = length > carryLen_ ? length - carryLen_ : 0;
        carryLen_ = 0;
    }
    while (i < size) {
        if (asciiIdentity_) {
            const std::size_t run = asciiRun(p + i, size - i);
            if (run != 0) {
                out.append(data + i, run);
                i += run;
                if (i == size) break;
            }
        }
        const std::size_t length = e.characterLength(p + i, size - i);
        if (length == 0) {
            carryLen_ = size - i;  // fewer than 4 bytes
            std::memcpy(carry_, p + i, carryLen_);
            break;
        }
        e.decodeCharacter(p + i, length, out);
        i += length;
    }
}

std::string NarrowTextDecoder::toNarrow(std::string_view utf8) const {
    const Encoding* e = encoding_.get();
    return narrowForm(utf8, [e](char32_t cp, std::string& out) { e->encodeCharacter(cp, out); });
}

}  // namespace talvrin::platform
