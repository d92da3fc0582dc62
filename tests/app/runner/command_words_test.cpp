#include "app/runner/command_words.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace talvrin {
namespace {

using Words = std::vector<std::string>;

Words split(std::string_view line) {
    auto words = splitCommandWords(line);
    EXPECT_TRUE(words.has_value()) << "line: " << line;
    return words.value_or(Words{});
}

TEST(CommandWordsBlanks, SeparateWordsAndCollapse) {
    EXPECT_EQ(split("net stop winmgmt"), (Words{"net", "stop", "winmgmt"}));
    EXPECT_EQ(split("  a \t b\n\nc  "), (Words{"a", "b", "c"}));
    EXPECT_EQ(split("sc config  winmgmt"), (Words{"sc", "config", "winmgmt"}));
}

TEST(CommandWordsBlanks, LineOfBlanksHasNoWords) {
    EXPECT_TRUE(split("").empty());
    EXPECT_TRUE(split(" \t\n ").empty());
}

TEST(CommandWordsQuotes, GroupBlanksAndAreRemoved) {
    EXPECT_EQ(split("\"C:\\Program Files\\x.exe\" /s"), (Words{"C:\\Program Files\\x.exe", "/s"}));
    EXPECT_EQ(split("say 'two  spaces' \"tab\there\""), (Words{"say", "two  spaces", "tab\there"}));
}

TEST(CommandWordsQuotes, TouchingPiecesFormOneWord) {
    EXPECT_EQ(split("a\"b c\"d'e f'g"), (Words{"ab cde fg"}));
    EXPECT_EQ(split("/p:\"x y\""), (Words{"/p:x y"}));
}

TEST(CommandWordsQuotes, OtherQuoteIsLiteralInside) {
    EXPECT_EQ(split("\"it's\" 'say \"hi\"'"), (Words{"it's", "say \"hi\""}));
}

TEST(CommandWordsQuotes, EmptyQuotesMakeAnEmptyWord) {
    EXPECT_EQ(split("prog \"\" '' x"), (Words{"prog", "", "", "x"}));
    EXPECT_EQ(split("\"\""), (Words{""}));
}

TEST(CommandWordsLiterals, BackslashesStayAsTheyAre) {
    // A backslash escapes nothing, so the quote after it still closes the group.
    EXPECT_EQ(split("regini \"C:\\dir\\\" next"), (Words{"regini", "C:\\dir\\", "next"}));
    EXPECT_EQ(split("a\\ b"), (Words{"a\\", "b"}));
    EXPECT_EQ(split("'\\n\\t'"), (Words{"\\n\\t"}));
}

TEST(CommandWordsLiterals, NothingIsExpanded) {
    EXPECT_EQ(split("echo $HOME ~ *.txt a|b >out ; `x` $(y) %PATH%"),
              (Words{"echo", "$HOME", "~", "*.txt", "a|b", ">out", ";", "`x`", "$(y)", "%PATH%"}));
}

TEST(CommandWordsLiterals, BytesAboveAsciiPassThrough) {
    EXPECT_EQ(split("printf \"\xc3\xa9t\xc3\xa9\" \xff"),
              (Words{"printf", "\xc3\xa9t\xc3\xa9", "\xff"}));
}

TEST(CommandWordsFailures, OpenQuoteIsRejected) {
    EXPECT_FALSE(splitCommandWords("echo \"unterminated").has_value());
    EXPECT_FALSE(splitCommandWords("echo 'x").has_value());
    EXPECT_FALSE(splitCommandWords("\"").has_value());
}

TEST(CommandWordsFailures, NulCharacterIsRejected) {
    using namespace std::string_literals;
    EXPECT_FALSE(splitCommandWords("echo a\0b"s).has_value());
    EXPECT_FALSE(splitCommandWords("echo '\0'"s).has_value());
}

}  // namespace
}  // namespace talvrin
