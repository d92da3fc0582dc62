// The registry permission script that regini.exe reads: one key a line, named from the registry's
// root as the kernel names it, followed by the numbers of the access entries the key gets, in
// brackets:
//
//   \Registry\Machine\SYSTEM\CurrentControlSet\Services\SharedAccess [1 17]
//
// A line whose first character other than a blank is ';' is a comment; blank lines say nothing.
// Only keys of the machine (\Registry\Machine\...) are read, and only the bracketed access list
// (not the format's value lines or indented relative keys).
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/os/registry_access.h"

namespace talvrin::regini {

// The longest line read; a longer one is reported and skipped.
inline constexpr std::size_t kMaxLineBytes = 32 * 1024;

// The access entry an access code stands for, or nothing for a code the format does not define.
// Codes 1 to 23:
//    1 Administrators full   2 Administrators read   3 Administrators read and write
//    4 Administrators read, write and delete          5 creator full   6 creator read and write
//    7 Everyone full   8 Everyone read   9 Everyone read and write
//   10 Everyone read, write and delete                11 Power Users full
//   12 Power Users read and write   13 Power Users read, write and delete
//   14 System Operators full   15 System Operators read and write
//   16 System Operators read, write and delete        17 the system account full
//   18 the system account read and write   19 the system account read
//   20 Administrators read, write and execute         21 interactive users full
//   22 interactive users read and write   23 interactive users read, write and delete
[[nodiscard]] std::optional<platform::KeyAccess> accessOfCode(unsigned long code);

// A line that names a key and its access list.
struct KeyLine {
    std::string subkey;  // below \Registry\Machine: "SYSTEM\CurrentControlSet\..."
    std::vector<platform::KeyAccess> access;  // in the order of their codes, each code once
};

// A line with nothing to do: blank, or a comment.
struct NoKey {};

// What one line says: a key, nothing, or why it cannot be read.
using ParsedLine = std::variant<KeyLine, NoKey, std::string>;

// Reads one line (without its line ending; UTF-8).
[[nodiscard]] ParsedLine parseLine(std::string_view line);

// Cuts a script into lines as its bytes arrive, whatever the chunks: each line goes to the sink
// with its number (from 1), without its line ending ("\n" or "\r\n"); a line longer than
// kMaxLineBytes goes as nothing, and its bytes are never kept beyond that. A UTF-8 byte order
// mark at the start is skipped.
class ScriptLines {
  public:
    using Sink = std::function<void(std::size_t number, std::optional<std::string_view> line)>;
    explicit ScriptLines(Sink sink) : sink_(std::move(sink)) {}

    void feed(std::string_view bytes);
    // The last line, when the script does not end with a line ending.
    void finish();

  private:
    void append(std::string_view bytes);
    void endLine();

    Sink sink_;
    std::string head_;  // the script's first bytes while they may still be a byte order mark
    std::string line_;
    std::size_t number_ = 0;
    bool markPending_ = true;
    bool tooLong_ = false;
};

}  // namespace talvrin::regini
