// Splits a command line into the words of a program's argument vector, the way a POSIX shell
// splits them but with nothing expanded: blanks (space, tab, newline) separate words; single and
// double quotes group the text between them, including blanks, and are removed; quoted and
// unquoted pieces that touch form one word; backslashes are ordinary characters, so Windows-style
// paths pass through as written. No variables, globs, tildes or redirections are recognised.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvrin {

// The words of the line, or nothing when the line cannot become an argument vector: a quote is
// left open, or the line holds a NUL character. A line of blanks gives an empty list.
[[nodiscard]] std::optional<std::vector<std::string>> splitCommandWords(std::string_view line);

}  // namespace talvrin
