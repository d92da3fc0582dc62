// The narrow text decoder on POSIX: the encoding of a locale's character type, converted through
// the C library's mbrtowc and wcrtomb when it is not UTF-8.
#include <langinfo.h>
#include <locale.h>
#include <strings.h>
#include <wchar.h>

#include <climits>
#include <cstdint>
#include <new>
#include <optional>

#include "platform/os/narrow_text_decoder.h"
#include "platform/os/utf8_sequences.h"

namespace talvrin::platform {

using utf8::appendUtf8;
using utf8::asciiRun;
using utf8::kReplacement;
using utf8::utf8Sequence;

// The locale whose character type is decoded, and mbrtowc's state between chunks.
struct NarrowTextDecoder::Encoding {
    locale_t locale = static_cast<locale_t>(0);
    mbstate_t state{};

    Encoding() = default;
    Encoding(const Encoding&) = delete;
    Encoding& operator=(const Encoding&) = delete;
    ~Encoding() {
        if (locale != static_cast<locale_t>(0)) freelocale(locale);
    }
};

namespace {

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

bool codesetIsUtf8(const char* codeset) noexcept {
    return codeset != nullptr &&
           (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "UTF8") == 0);
}

}  // namespace

NarrowTextDecoder::NarrowTextDecoder() noexcept : encoding_(new (std::nothrow) Encoding) {
    // uselocale(0) may answer LC_GLOBAL_LOCALE, which duplocale accepts.
    if (encoding_) encoding_->locale = duplocale(uselocale(static_cast<locale_t>(0)));
    configure(Engine::Automatic);
}

NarrowTextDecoder::NarrowTextDecoder(const char* localeName, Engine engine) noexcept
    : encoding_(new (std::nothrow) Encoding) {
    if (encoding_) {
        locale_t& locale = encoding_->locale;
        if (localeName != nullptr)
            locale = newlocale(LC_CTYPE_MASK, localeName, static_cast<locale_t>(0));
        if (locale == static_cast<locale_t>(0))
            locale = newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(0));
    }
    configure(engine);
}

NarrowTextDecoder::~NarrowTextDecoder() = default;

void NarrowTextDecoder::configureEncoding(Engine engine) noexcept {
    const locale_t locale = encoding_->locale;
    if (locale == static_cast<locale_t>(0)) {
        // Without a locale object the decoder still decodes: as UTF-8 when the process's
        // encoding is UTF-8, otherwise with the process's own mbrtowc.
        utf8_ = codesetIsUtf8(nl_langinfo(CODESET));
    } else {
        utf8_ = codesetIsUtf8(nl_langinfo_l(CODESET, locale));
    }
    if (engine == Engine::Library) utf8_ = false;
    if (utf8_) {
        asciiIdentity_ = true;
        return;
    }
    std::optional<ScopedLocale> scope;
    if (locale != static_cast<locale_t>(0)) scope.emplace(locale);
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
    return utf8_ ? carryLen_ != 0 : mbsinit(&encoding_->state) == 0;
}

void NarrowTextDecoder::reset() noexcept {
    carryLen_ = 0;
    if (encoding_) encoding_->state = mbstate_t{};
}

void NarrowTextDecoder::decodeGeneric(const char* data, std::size_t size, std::string& out) {
    std::optional<ScopedLocale> scope;
    if (encoding_->locale != static_cast<locale_t>(0)) scope.emplace(encoding_->locale);
    mbstate_t& state = encoding_->state;
    std::size_t i = 0;
    while (i < size) {
        const bool atBoundary = mbsinit(&state) != 0;
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
        const std::size_t r = mbrtowc(&wc, data + i, size - i, &state);
        if (r == static_cast<std::size_t>(-2)) {  // unfinished: the state keeps the bytes
            break;
        }
        if (r == static_cast<std::size_t>(-1)) {
            // The kept bytes (or this byte) do not form a character. When the sequence began
            // in an earlier chunk, this byte is decoded afresh; otherwise it is skipped.
            appendUtf8(out, kReplacement);
            state = mbstate_t{};
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
    std::optional<ScopedLocale> scope;
    if (!utf8_ && encoding_->locale != static_cast<locale_t>(0)) scope.emplace(encoding_->locale);
    // wcrtomb's shift state, carried from one character to the next.
    mbstate_t st{};
    return narrowForm(utf8, [&st](char32_t cp, std::string& out) {
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
    });
}

}  // namespace talvrin::platform
