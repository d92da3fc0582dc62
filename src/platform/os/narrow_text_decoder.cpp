// The narrow text decoder's portable part: the built-in UTF-8 decoder, the dispatch between it and
// the platform's conversion (narrow_text_decoder_posix.cpp, narrow_text_decoder_win32.cpp), and
// the walk through the text that toNarrow converts.
#include "platform/os/narrow_text_decoder.h"

#include <cstring>

#include "platform/os/utf8_sequences.h"

namespace talvrin::platform {

using utf8::appendUtf8;
using utf8::asciiRun;
using utf8::kReplacement;
using utf8::utf8Sequence;

void NarrowTextDecoder::configure(Engine engine) noexcept {
    if (!encoding_) {
        // Without memory for the conversion state only the built-in decoder is left.
        utf8_ = true;
        asciiIdentity_ = true;
        return;
    }
    configureEncoding(engine);
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

std::string NarrowTextDecoder::narrowForm(std::string_view utf8,
                                          const CharacterWriter& write) const {
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    std::string out;
    out.reserve(n);
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
        } else {
            write(cp, out);
        }
    }
    return out;
}

}  // namespace talvrin::platform
