#include "app/regini/regini_program.h"

#include <string>

#include "app/regini/permission_script.h"
#include "platform/os/tool_io.h"

namespace talvrin::regini {

namespace {

constexpr std::size_t kReadBlock = 64 * 1024;

const char* problemWords(FileFailure problem) {
    switch (problem) {
        case FileFailure::kNotFound:
            return "not found";
        case FileFailure::kIsDirectory:
            return "a folder";
        case FileFailure::kPermissionDenied:
            return "permission denied";
        default:
            return "not a readable file";
    }
}

void usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: regini SCRIPT...\n"
                 "Sets the access list of each registry key a script names to exactly the\n"
                 "entries its line lists, for example\n"
                 "  \\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\BFE [1 17]\n"
                 "(1: Administrators full access, 17: the system account full access; codes 1 to\n"
                 "23). Prints a line for each key it could not set and each line it could not\n"
                 "read, and then exits with status 1.\n");
}

// Reads one script and sets its keys; false when anything was reported.
bool runScript(const std::string& path, const KeyAccessSetter& setKeyAccess, std::FILE* messages) {
    FileFailureRecord problem;
    platform::InputStream file = platform::InputStream::open(path, problem);
    if (!file.isOpen()) {
        std::fprintf(messages, "regini: %s: cannot read the file (%s)\n", path.c_str(),
                     problemWords(problem.reason));
        return false;
    }
    bool clean = true;
    ScriptLines lines([&](std::size_t number, std::optional<std::string_view> line) {
        if (!line) {
            std::fprintf(messages, "regini: %s line %zu: longer than %zu bytes; skipped\n",
                         path.c_str(), number, kMaxLineBytes);
            clean = false;
            return;
        }
        const ParsedLine parsed = parseLine(*line);
        if (const auto* problem = std::get_if<std::string>(&parsed)) {
            std::fprintf(messages, "regini: %s line %zu: %s; skipped\n", path.c_str(), number,
                         problem->c_str());
            clean = false;
        } else if (const auto* key = std::get_if<KeyLine>(&parsed)) {
            if (const auto failure = setKeyAccess(key->subkey, key->access)) {
                std::fprintf(messages,
                             "regini: \\Registry\\Machine\\%s: could not set its access list: "
                             "%s\n",
                             key->subkey.c_str(), failure->c_str());
                clean = false;
            }
        }
    });
    std::string block(kReadBlock, '\0');
    for (;;) {
        const std::optional<std::size_t> got = file.read(block.data(), block.size());
        if (!got) {
            std::fprintf(messages, "regini: %s: a read failed; the rest is not read\n",
                         path.c_str());
            return false;
        }
        if (*got == 0) break;
        lines.feed(std::string_view(block.data(), *got));
    }
    lines.finish();
    return clean;
}

}  // namespace

int runRegini(const std::vector<std::string>& args, const KeyAccessSetter& setKeyAccess,
              std::FILE* messages) {
    for (const std::string& arg : args) {
        if (arg == "-?" || arg == "/?" || arg == "-h" || arg == "--help") {
            usage(stdout);
            return 0;
        }
        if (!arg.empty() && arg.front() == '-') {
            std::fprintf(messages, "regini: unknown option '%s'\n", arg.c_str());
            usage(messages);
            return 2;
        }
    }
    if (args.empty()) {
        usage(messages);
        return 2;
    }
    bool clean = true;
    for (const std::string& path : args)
        clean = runScript(path, setKeyAccess, messages) && clean;
    return clean ? 0 : 1;
}

}  // namespace talvrin::regini
