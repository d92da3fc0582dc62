// Conversion between UTF-8 and the narrow (multi-byte) encoding of a locale's character type,
// for text that crosses a narrow platform call: a child's output and its command line.
//
// Decoding is incremental: text arrives in chunks cut at arbitrary byte positions, so the bytes of
// a character that a chunk does not finish are kept and completed by the next chunk; every chunk
// decodes to exactly its own characters plus the one it completes. Invalid bytes become U+FFFD.
// UTF-8 locales are decoded by a built-in decoder; other encodings through mbrtowc with a state
// carried between chunks. Both copy runs of ASCII bytes straight through.
#pragma once

#include <locale.h>
#include <wchar.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace talvrin {

class NarrowTextDecoder {
  public:
    // How characters are decoded: Automatic uses the built-in decoder for UTF-8 and the C
    // library's mbrtowc otherwise; Library always uses mbrtowc (the reference the built-in
    // decoder is checked against).
    enum class Engine { Automatic, Library };

    // Uses the character encoding of the calling thread's current locale (LC_CTYPE).
    NarrowTextDecoder() noexcept;
    // Uses the character encoding of the named locale (for example "C.UTF-8"); a locale that is
    // not installed falls back to the portable "C" locale.
    explicit NarrowTextDecoder(const char* localeName, Engine engine = Engine::Automatic) noexcept;
    ~NarrowTextDecoder();
    NarrowTextDecoder(const NarrowTextDecoder&) = delete;
    NarrowTextDecoder& operator=(const NarrowTextDecoder&) = delete;

    // True when the built-in UTF-8 decoder is in use: the encoding is UTF-8 and the engine is
    // Automatic.
    [[nodiscard]] bool usesBuiltInUtf8() const noexcept { return utf8_; }

    // Appends the UTF-8 form of the characters in data to out. Bytes that start a character the
    // data does not finish are kept for the next call.
    void decode(const char* data, std::size_t size, std::string& out);
    void decode(std::string_view data, std::string& out) { decode(data.data(), data.size(), out); }

    // Ends the stream: bytes kept from an unfinished character are appended as one U+FFFD.
    void finish(std::string& out);

    // True while bytes of an unfinished character are kept.
    [[nodiscard]] bool hasCarriedBytes() const noexcept;

    // Forgets any kept bytes.
    void reset() noexcept;

    // Converts UTF-8 text to this encoding. Invalid UTF-8 becomes U+FFFD first; a character the
    // encoding cannot hold becomes '?'.
    [[nodiscard]] std::string toNarrow(std::string_view utf8) const;

  private:
    void configure(Engine engine) noexcept;
    void decodeUtf8(const unsigned char* data, std::size_t size, std::string& out);
    void decodeGeneric(const char* data, std::size_t size, std::string& out);

    locale_t locale_ = static_cast<locale_t>(0);
    bool utf8_ = false;            // the built-in UTF-8 decoder is in use
    bool asciiIdentity_ = false;   // bytes 0..127 at a character boundary are themselves
    unsigned char carry_[4] = {};  // UTF-8: the kept bytes of an unfinished character
    std::size_t carryLen_ = 0;
    mbstate_t state_{};  // other encodings: mbrtowc's state between chunks
};

}  // namespace talvrin
