#include "app/narrow_text_decoder.h"

#include <langinfo.h>
#include <strings.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>

namespace talvrin {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// Switches the calling thread to a locale for the life of the object.
class ScopedLocale {
  public:
    explicit ScopedLocale(locale_t loc) noexcept : previous_(uselocale(loc)) {}
    ~ScopedLocale() {
        if (previous_ != static_cast<locale_t>(0)) uselocale(previous_);
    }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

  private:
    locale_t previous_;
};

void appendUtf8(std::string& out, char32_t cp) {
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
std::size_t utf8Sequence(const unsigned char* p, std::size_t n, char32_t& cp) noexcept {
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
std::size_t asciiRun(const unsigned char* p, std::size_t n) noexcept {
    std::size_t i = 0;
    while (i + 8 <= n) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        if (w & kHighBits) break;
        i += 8;
    }
    while (i < n && p[i] < 0x80)
        ++i;
    return i;
}

bool codesetIsUtf8(const char* codeset) noexcept {
    return codeset != nullptr &&
           (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "UTF8") == 0);
}

}  // namespace

NarrowTextDecoder::NarrowTextDecoder() noexcept {
    // uselocale(0) may answer LC_GLOBAL_LOCALE, which duplocale accepts.
    locale_ = duplocale(uselocale(static_cast<locale_t>(0)));
    configure(Engine::Automatic);
}

NarrowTextDecoder::NarrowTextDecoder(const char* localeName, Engine engine) noexcept {
    if (localeName != nullptr)
        locale_ = newlocale(LC_CTYPE_MASK, localeName, static_cast<locale_t>(0));
    if (locale_ == static_cast<locale_t>(0))
        locale_ = newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(0));
    configure(engine);
}

NarrowTextDecoder::~NarrowTextDecoder() {
    if (locale_ != static_cast<locale_t>(0)) freelocale(locale_);
}

void NarrowTextDecoder::configure(Engine engine) noexcept {
    if (locale_ == static_cast<locale_t>(0)) {
        // Without a locale object the decoder still decodes: as UTF-8 when the process's
        // encoding is UTF-8, otherwise with the process's own mbrtowc.
        utf8_ = codesetIsUtf8(nl_langinfo(CODESET));
    } else {
        utf8_ = codesetIsUtf8(nl_langinfo_l(CODESET, locale_));
    }
    if (engine == Engine::Library) utf8_ = false;
    if (utf8_) {
        asciiIdentity_ = true;
        return;
    }
    std::optional<ScopedLocale> scope;
    if (locale_ != static_cast<locale_t>(0)) scope.emplace(locale_);
    asciiIdentity_ = true;
    for (int b = 0; b < 0x80 && asciiIdentity_; ++b) {
        const char c = static_cast<char>(b);
        mbstate_t st{};
        wchar_t wc = 0;
        const std::size_t r = mbrtowc(&wc, &c, 1, &st);
        asciiIdentity_ = (r == 1 || (r == 0 && b == 0)) && wc == static_cast<wchar_t>(b);
    }
}

bool NarrowTextDecoder::hasCarriedBytes() const noexcept {
    return utf8_ ? carryLen_ != 0 : mbsinit(&state_) == 0;
}

void NarrowTextDecoder::reset() noexcept {
    carryLen_ = 0;
    state_ = mbstate_t{};
}

void NarrowTextDecoder::finish(std::string& out) {
    const bool carried = hasCarriedBytes();
    reset();
    if (carried) appendUtf8(out, kReplacement);
}

void NarrowTextDecoder::decode(const char* data, std::size_t size, std::string& out) {
    if (data == nullptr || size == 0) return;
    if (utf8_) {
        decodeUtf8(reinterpret_cast<const unsigned char*>(data), size, out);
    } else {
        decodeGeneric(data, size, out);
    }
}

void NarrowTextDecoder::decodeUtf8(const unsigned char* data, std::size_t size, std::string& out) {
    std::size_t i = 0;
    char32_t cp = 0;
    if (carryLen_ != 0) {
        // Finish the kept character with the first bytes of this chunk.
        unsigned char tmp[4];
        std::memcpy(tmp, carry_, carryLen_);
        const std::size_t take = size < 4 - carryLen_ ? size : 4 - carryLen_;
        std::memcpy(tmp + carryLen_, data, take);
        const std::size_t r = utf8Sequence(tmp, carryLen_ + take, cp);
        if (r == 0) {  // still unfinished: every byte of this chunk joins the kept ones
            std::memcpy(carry_, tmp, carryLen_ + take);
            carryLen_ += take;
            return;
        }
        appendUtf8(out, cp);
        i = r - carryLen_;  // the kept bytes are a valid prefix, so r >= carryLen_
        carryLen_ = 0;
    }
    while (i < size) {
        const std::size_t run = asciiRun(data + i, size - i);
        if (run != 0) {
            out.append(reinterpret_cast<const char*>(data + i), run);
            i += run;
            if (i == size) break;
        }
        const std::size_t r = utf8Sequence(data + i, size - i, cp);
        if (r == 0) {
            carryLen_ = size - i;  // fewer than 4 bytes
            std::memcpy(carry_, data + i, carryLen_);
            break;
        }
        appendUtf8(out, cp);
        i += r;
    }
}

void NarrowTextDecoder::decodeGeneric(const char* data, std::size_t size, std::string& out) {
    std::optional<ScopedLocale> scope;
    if (locale_ != static_cast<locale_t>(0)) scope.emplace(locale_);
    std::size_t i = 0;
    while (i < size) {
        const bool atBoundary = mbsinit(&state_) != 0;
        if (atBoundary && asciiIdentity_) {
            const std::size_t run =
                asciiRun(reinterpret_cast<const unsigned char*>(data + i), size - i);
            if (run != 0) {
                out.append(data + i, run);
                i += run;
                continue;
            }
        }
        wchar_t wc = 0;
        const std::size_t r = mbrtowc(&wc, data + i, size - i, &state_);
        if (r == static_cast<std::size_t>(-2)) {  // unfinished: the state keeps the bytes
            break;
        }
        if (r == static_cast<std::size_t>(-1)) {
            // The kept bytes (or this byte) do not form a character. When the sequence began
            // in an earlier chunk, this byte is decoded afresh; otherwise it is skipped.
            appendUtf8(out, kReplacement);
            state_ = mbstate_t{};
            if (atBoundary) ++i;
            continue;
        }
        const std::size_t used = r == 0 ? 1 : r;
        const bool valid = wc >= 0 && static_cast<std::uintmax_t>(wc) <= 0x10FFFF;
        appendUtf8(out, valid ? static_cast<char32_t>(wc) : kReplacement);
        i += used;
    }
}

std::string NarrowTextDecoder::toNarrow(std::string_view utf8) const {
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    std::string out;
    out.reserve(n);
    std::optional<ScopedLocale> scope;
    if (!utf8_ && locale_ != static_cast<locale_t>(0)) scope.emplace(locale_);
    mbstate_t st{};
    std::size_t i = 0;
    while (i < n) {
        const std::size_t run = asciiRun(p + i, n - i);
        if (run != 0 && (utf8_ || asciiIdentity_)) {
            out.append(utf8.data() + i, run);
            i += run;
            continue;
        }
        char32_t cp = 0;
        std::size_t r = utf8Sequence(p + i, n - i, cp);
        if (r == 0) {  // a character cut off by the end of the text
            r = n - i;
            cp = kReplacement;
        }
        i += r;
        if (utf8_) {
            appendUtf8(out, cp);
            continue;
        }
        char buf[MB_LEN_MAX];
        const std::size_t w = cp <= static_cast<char32_t>(WCHAR_MAX)
                                  ? wcrtomb(buf, static_cast<wchar_t>(cp), &st)
                                  : static_cast<std::size_t>(-1);
        if (w == static_cast<std::size_t>(-1)) {
            out.push_back('?');
            st = mbstate_t{};
        } else {
            out.append(buf, w);
        }
    }
    return out;
}

}  // namespace talvrin
