#include "app/runner/command_words.h"

#include <new>

namespace talvrin {

namespace {

constexpr bool isBlank(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n';
}

}  // namespace

std::optional<std::vector<std::string>> splitCommandWords(std::string_view line) {
    try {
        std::vector<std::string> words;
        std::string word;
        bool inWord = false;  // true once the current word has begun, even if it is still empty
        char quote = 0;       // the open quote character, or 0 outside quotes
        for (char c : line) {
            if (c == '\0') return std::nullopt;
            if (quote != 0) {
                if (c == quote) {
                    quote = 0;
                } else {
                    word.push_back(c);
                }
            } else if (c == '\'' || c == '"') {
                quote = c;
                inWord = true;  // "" makes an empty word
            } else if (isBlank(c)) {
                if (inWord) {
                    words.push_back(std::move(word));
                    word.clear();
                    inWord = false;
                }
            } else {
                word.push_back(c);
                inWord = true;
            }
        }
        if (quote != 0) return std::nullopt;
        if (inWord) words.push_back(std::move(word));
        return words;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace talvrin
