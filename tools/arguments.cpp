// The tool's argument parser.
#include "tools/arguments.h"

#include <algorithm>

namespace talvrin::tool {

bool ParsedArguments::has(std::string_view name) const {
    return std::any_of(options.begin(), options.end(),
                       [name](const auto& o) { return o.first == name; });
}

std::optional<std::string> ParsedArguments::value(std::string_view name) const {
    for (auto it = options.rbegin(); it != options.rend(); ++it)
        if (it->first == name) return it->second;
    return std::nullopt;
}

ParsedArguments parseArguments(std::span<const std::string> args,
                               std::span<const KnownOption> known) {
    ParsedArguments parsed;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        // "-" is the standard stream; anything after "--" is a file name whatever it looks like.
        if (optionsEnded || a.size() < 2 || a[0] != '-') {
            parsed.positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = a == "-h"   ? std::string("--help")
                           : a == "-q" ? std::string("--quiet")
                                       : a;
        std::optional<std::string> attached;
        if (const auto eq = name.find('='); eq != std::string::npos && name.rfind("--", 0) == 0) {
            attached = name.substr(eq + 1);
            name.resize(eq);
        }
        const auto option = std::find_if(known.begin(), known.end(),
                                         [&name](const KnownOption& s) { return s.name == name; });
        if (option == known.end()) throw UsageError("unknown option '" + a + "'");
        if (!option->takesValue) {
            if (attached) throw UsageError(name + " takes no value (given '" + *attached + "')");
            parsed.options.emplace_back(name, std::string());
            continue;
        }
        if (!attached) {
            // The next argument is the value, even when it starts with '-' (--intensity -50).
            if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
            attached = args[++i];
        }
        parsed.options.emplace_back(name, *attached);
    }
    return parsed;
}

}  // namespace talvrin::tool
