// Conversion between UTF-8 and the narrow (multi-byte) encoding that a narrow platform call
// takes, for text that crosses one: a child's output and its command line. On POSIX that is the
// encoding of a locale's character type; on Windows it is a code page, by default the system's
// (ANSI) code page that CreateProcessA and the narrow calls use.
//
// Decoding is incremental: text arrives in chunks cut at arbitrary byte positions, so the bytes of
// a character that a chunk does not finish are kept and completed by the next chunk; every chunk
// decodes to exactly its own characters plus the one it completes. Invalid bytes become U+FFFD.
// UTF-8 is decoded by a built-in decoder; other encodings through the platform's conversion
// (mbrtowc with a state carried between chunks on POSIX, MultiByteToWideChar one character at a
// time on Windows). Both copy runs of ASCII bytes straight through.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace talvrin::platform {

class NarrowTextDecoder {
  public:
    // How characters are decoded: Automatic uses the built-in decoder for UTF-8 and the
    // platform's conversion otherwise; Library always uses the platform's conversion (the
    // reference the built-in decoder is checked against).
    enum class Engine { Automatic, Library };

    // POSIX: the character encoding of the calling thread's current locale (LC_CTYPE).
    // Windows: the system code page (GetACP).
    NarrowTextDecoder() noexcept;
    // POSIX: the character encoding of the named locale (for example "C.UTF-8"); a locale that
    // is not installed falls back to the portable "C" locale.
    // Windows: the code page that the name ends in, as the C runtime names locales: ".UTF-8"
    // (or ".utf8") is UTF-8, ".1252" code page 1252; "C" and "POSIX" are 7-bit ASCII, ""
    // is the system code page, and a name without a code page that is installed falls back to
    // ASCII like "C".
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
    // configure()'s platform half, once the conversion state exists: whether the built-in UTF-8
    // decoder is used and whether ASCII bytes stand for themselves.
    void configureEncoding(Engine engine) noexcept;
    void decodeUtf8(const unsigned char* data, std::size_t size, std::string& out);
    void decodeGeneric(const char* data, std::size_t size, std::string& out);

    // Appends one character in this encoding, '?' when the encoding cannot hold it: the
    // platform's half of toNarrow, which carries whatever state the conversion keeps.
    using CharacterWriter = std::function<void(char32_t, std::string&)>;
    // toNarrow's walk through the text: runs of ASCII that the encoding holds as they are, and in
    // the built-in UTF-8 every character, are copied; every other character (U+FFFD for invalid
    // UTF-8) goes to write.
    [[nodiscard]] std::string narrowForm(std::string_view utf8, const CharacterWriter& write) const;

    // The platform's side of the conversion (a locale and mbrtowc's state on POSIX, a code page
    // on Windows). Without memory for it, only the built-in UTF-8 decoder is left.
    struct Encoding;
    std::unique_ptr<Encoding> encoding_;
    bool utf8_ = false;            // the built-in UTF-8 decoder is in use
    bool asciiIdentity_ = false;   // bytes 0..127 at a character boundary are themselves
    unsigned char carry_[4] = {};  // the kept bytes of an unfinished character (not POSIX's
                                   // mbrtowc, which keeps them in its state)
    std::size_t carryLen_ = 0;
};

}  // namespace talvrin::platform
