// The command line as the tool reads it: options anywhere among the file names, "--name value"
// and "--name=value" alike, "--" ending the options, "-" a file name (the standard stream), and
// every unknown option, missing value and stray value named in a usage error.
#pragma once

#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace talvrin::tool {

// A usage error: the command prints the message and its usage, and exits with status 2.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct KnownOption {
    std::string_view name;  // "--size"
    bool takesValue = false;
};

class ParsedArguments {
  public:
    std::vector<std::string> positional;  // file names, in order

    // Whether the option was given (a flag, or an option with a value).
    [[nodiscard]] bool has(std::string_view name) const;
    // The option's value, the last one when it was given more than once.
    [[nodiscard]] std::optional<std::string> value(std::string_view name) const;

    // Every option given, in order, with its value (empty for a flag).
    std::vector<std::pair<std::string, std::string>> options;
};

// Parses args against the options a command knows ("-h" stands for "--help", "-q" for
// "--quiet"). Throws
// UsageError for an unknown option, an option without its value, and a value given to a flag.
[[nodiscard]] ParsedArguments parseArguments(std::span<const std::string> args,
                                             std::span<const KnownOption> known);

}  // namespace talvrin::tool
