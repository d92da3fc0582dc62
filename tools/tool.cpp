// talvrin-image's entry: the options every command shares and the choice of command.
#include <string>

#include "tools/command.h"
#include "tools/console.h"
#include "tools/values.h"

namespace talvrin::tool {

namespace {

constexpr const char* kUsage =
    "usage: talvrin-image <command> [arguments]\n"
    "\n"
    "commands:\n"
    "  info [--json] FILE...      facts about each image file, as text or JSON\n"
    "  convert IN OUT [options]   load IN, write OUT in the format its extension or\n"
    "                             --format names; IN... --out-dir DIR --format F\n"
    "                             converts many files at once\n"
    "  render IN OUT [options]    paint IN through the image control; IN...\n"
    "                             --out-dir DIR renders many files at once\n"
    "\n"
    "A file name '-' is standard input or output. Options may come anywhere among the\n"
    "file names, as --option VALUE or --option=VALUE; '--' ends the options.\n"
    "\n"
    "Every command takes:\n"
    "  --max-pixels N|unlimited   the pixel budget: the most pixels an image may\n"
    "                declare, or a resized or rendered image may have, before it is\n"
    "                refused as too large (default 67108863; unlimited leaves only\n"
    "                the surface's own 32-bit size limit)\n"
    "  --no-bridge   draw, load and save with the own engine, decoders and encoder\n"
    "                only (no bicubic scaling, no WebP or TIFF)\n"
    "  -q, --quiet   no warnings and no progress line (errors are still shown)\n"
    "\n"
    "Run 'talvrin-image <command> --help' for a command's details; 'talvrin-image\n"
    "--version' (-V) prints the version.\n";

}  // namespace

std::vector<KnownOption> withCommonOptions(std::span<const KnownOption> own) {
    std::vector<KnownOption> all(own.begin(), own.end());
    all.insert(all.end(), std::begin(kCommonOptions), std::end(kCommonOptions));
    return all;
}

CommonSettings::CommonSettings(const ParsedArguments& args, Console& console) {
    if (const auto v = args.value("--max-pixels"))
        budget_.emplace(pixelBudgetOf("--max-pixels", *v));
    if (args.has("--no-bridge")) noBridge_.emplace(true);
    console.setQuiet(args.has("--quiet"));
}

int usageError(Console& console, std::string_view command, std::string_view message) {
    console.error("talvrin-image " + std::string(command) + ": " + std::string(message));
    console.error("Run 'talvrin-image " + std::string(command) + " --help' for its usage.");
    return 2;
}

int planError(Console& console, std::string_view command, std::string_view message) {
    console.error("talvrin-image " + std::string(command) + ": " + std::string(message));
    return 1;
}

int runTool(std::span<const std::string> args, Console& console) {
    // Options before the command go to the command with the rest.
    std::size_t at = 0;
    std::vector<std::string> leading;
    while (at < args.size() && args[at].size() > 1 && args[at][0] == '-' && args[at] != "--") {
        const std::string& a = args[at];
        if (a == "--help" || a == "-h") {
            console.out(kUsage);
            return 0;
        }
        if (a == "--version" || a == "-V") {
            console.out("talvrin-image " TALVRIN_VERSION "\n");
            return 0;
        }
        leading.push_back(a);
        // The common option with a separate value takes the next argument along.
        if (a == "--max-pixels" && at + 1 < args.size()) leading.push_back(args[++at]);
        ++at;
    }
    if (at < args.size() && args[at] == "--") ++at;
    if (at >= args.size()) {
        console.error(leading.empty() ? "talvrin-image: no command given"
                                      : "talvrin-image: no command given after the options");
        console.error(std::string_view(kUsage).substr(0, std::string_view(kUsage).size() - 1));
        return 2;
    }
    const std::string& command = args[at];
    if (command == "help") {
        console.out(kUsage);
        return 0;
    }
    std::vector<std::string> rest = leading;
    rest.insert(rest.end(), args.begin() + static_cast<std::ptrdiff_t>(at) + 1, args.end());
    if (command == "info") return infoCommand(rest, console);
    if (command == "convert") return convertCommand(rest, console);
    if (command == "render") return renderCommand(rest, console);
    console.error("talvrin-image: unknown command '" + command + "'");
    console.error(std::string_view(kUsage).substr(0, std::string_view(kUsage).size() - 1));
    return 2;
}

}  // namespace talvrin::tool
