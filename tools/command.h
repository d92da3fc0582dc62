// What every command shares: the options every command takes (the pixel budget and the
// imaging bridge's switch), usage errors printed with the command's usage, and the entry points.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/decode_budget.h"
#include "image/bridge/gdiplus.h"
#include "tools/arguments.h"

namespace talvrin::tool {

class Console;

// --max-pixels N|unlimited, --no-bridge and --quiet (-q), which every command takes.
inline constexpr KnownOption kCommonOptions[] = {
    {"--max-pixels", true},
    {"--no-bridge", false},
    {"--quiet", false},
    {"--help", false},
};

// The command's options followed by the common ones.
[[nodiscard]] std::vector<KnownOption> withCommonOptions(std::span<const KnownOption> own);

// The common options in force for a command's run, undone when it ends.
class CommonSettings {
  public:
    // Throws UsageError for a bad --max-pixels. --quiet silences the console's warnings and
    // progress.
    CommonSettings(const ParsedArguments& args, Console& console);

  private:
    std::optional<ScopedDecodeBudget> budget_;
    std::optional<bridge::ScopedBackendAbsent> noBridge_;
};

// Prints "talvrin-image COMMAND: MESSAGE" and where the usage is on standard error; answers 2.
int usageError(Console& console, std::string_view command, std::string_view message);
// Prints "talvrin-image COMMAND: MESSAGE" for a plan that cannot be carried out (a folder that
// cannot be made); answers 1.
int planError(Console& console, std::string_view command, std::string_view message);

// The commands, given the arguments after the command's name.
int infoCommand(std::span<const std::string> args, Console& console);
int convertCommand(std::span<const std::string> args, Console& console);
int renderCommand(std::span<const std::string> args, Console& console);

// The whole tool: args are the arguments after the program's name. Answers the exit status.
int runTool(std::span<const std::string> args, Console& console);

}  // namespace talvrin::tool
