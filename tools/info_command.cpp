// talvrin-image info: one line of facts (or one JSON object) per file.
#include <cstdio>
#include <string>

#include "base/decode_failure.h"
#include "image/surface/c32bpp_dib.h"
#include "tools/command.h"
#include "tools/console.h"
#include "tools/image_facts.h"
#include "tools/image_input.h"
#include "tools/info_json.h"

namespace talvrin::tool {

namespace {

std::string infoUsage() {
    return "usage: talvrin-image info [--json] FILE...\n"
           "\n"
           "Prints one tab-separated line per file ('-' reads standard input): the name,\n"
           "format=png|gif|ico|cur|bmp|jpeg|webp|tiff|other, type=N (the image-type code),\n"
           "size=WxH as stored, alpha=0|1, and where they apply frames=N (GIF),\n"
           "orientation=N (JPEG, the EXIF orientation, 1 when none) and icons=WxHxBPP,...\n"
           "(icons and cursors, every directory entry in order). Tabs, line breaks, other\n"
           "control characters and backslashes in a name are written as \\t, \\n, \\xHH, \\\\.\n"
           "A file that does not load prints its name and error=REASON instead, REASON\n"
           "being one of: not found, is a directory, permission denied, unreadable, not\n"
           "recognised, unsupported format, too short, truncated, bad header, bad data,\n"
           "checksum, unsupported variant, too large, out of memory; followed, when there\n"
           "is more to say, by what exactly in parentheses: error=bad data (bad filter),\n"
           "error=unsupported format (AVIF), error=too large (40000 x 40000 pixels; the\n"
           "pixel budget is 67108863 pixels, --max-pixels), the size as declared.\n"
           "\n"
           "  --json    one JSON object per line instead: name, format, width, height,\n"
           "            type, type_name, alpha, bit_depth, color_type, frames, icons,\n"
           "            orientation and error (reason, detail), each where it applies\n"
           "\n"
           "Image-type codes:\n" +
           imageTypeTable() +
           "\n"
           "Exit status 0 when every file loaded, 1 otherwise, 2 for a usage error.\n";
}

constexpr KnownOption kInfoOptions[] = {{"--json", false}};

// The name as the tab-separated line shows it: control characters and backslashes escaped, so
// that every line is one record of tab-separated fields.
std::string escapedName(std::string_view name) {
    std::string out;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (u < 0x20 || u == 0x7F) {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else {
            out += c;
        }
    }
    return out;
}

std::string infoLine(const InfoRecord& r) {
    std::string line = escapedName(r.name);
    if (!r.loaded) {
        return line + "\t" + failureField(r.error) + "\n";
    }
    const ImageFacts& f = r.facts;
    line += "\tformat=" + std::string(f.format) + "\ttype=" + std::to_string(r.type) +
            "\tsize=" + std::to_string(r.width) + "x" + std::to_string(r.height) +
            "\talpha=" + (r.alpha ? "1" : "0");
    if (f.frames) line += "\tframes=" + std::to_string(*f.frames);
    if (f.orientation) line += "\torientation=" + std::to_string(*f.orientation);
    if (f.format == "ico" || f.format == "cur") {
        line += "\ticons=";
        for (std::size_t i = 0; i < f.icons.size(); ++i)
            line += (i ? "," : "") + std::to_string(f.icons[i].width) + "x" +
                    std::to_string(f.icons[i].height) + "x" + std::to_string(f.icons[i].bitDepth);
    }
    return line + "\n";
}

InfoRecord inspect(const std::string& name) {
    InfoRecord r;
    r.name = name;
    Input in;
    auto problem = openInput(name, in);
    if (!problem) problem = readRest(in);
    // The facts of what was read, also of a file refused after its first bytes.
    r.read = !in.bytes.empty();
    if (r.read) r.facts = readFacts(in.bytes);
    c32bppDIB image;
    if (!problem) problem = decodeInput(in, image, IconChoice{});
    if (problem) {
        r.error = std::move(*problem);
        return r;
    }
    r.loaded = true;
    r.width = image.Width();
    r.height = image.Height();
    r.type = image.ImageType();
    r.alpha = image.Alpha();
    return r;
}

}  // namespace

int infoCommand(std::span<const std::string> args, Console& console) {
    const std::string usage = infoUsage();
    try {
        const ParsedArguments parsed = parseArguments(args, withCommonOptions(kInfoOptions));
        if (parsed.has("--help")) {
            console.out(usage);
            return 0;
        }
        const CommonSettings settings(parsed, console);
        if (parsed.positional.empty()) throw UsageError("no FILE given");
        const bool json = parsed.has("--json");
        int status = 0;
        for (const std::string& name : parsed.positional) {
            const InfoRecord r = inspect(name);
            if (!r.loaded) status = 1;
            console.out(json ? infoJson(r) + "\n" : infoLine(r));
        }
        return status;
    } catch (const UsageError& e) {
        return usageError(console, "info", e.what());
    }
}

}  // namespace talvrin::tool
