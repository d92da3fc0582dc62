// The dependency rule as a test: every #include under src/ and tools/ must point down the layer
// table (base <- platform <- image <- control <- app and tools; Qt only in the application shell
// and the Qt host services), and inside the image library only the loading code knows the
// decoders. A violation fails with the file, the line and the rule it breaks.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

enum class Layer { Base, Platform, Qt, Image, Control, Theme, App, Tools, Resources };

const char* nameOf(Layer layer) {
    switch (layer) {
        case Layer::Base:
            return "base";
        case Layer::Platform:
            return "platform";
        case Layer::Qt:
            return "platform/qt";
        case Layer::Image:
            return "image";
        case Layer::Control:
            return "image/control";
        case Layer::Theme:
            return "ui/theme";
        case Layer::App:
            return "app";
        case Layer::Tools:
            return "tools";
        case Layer::Resources:
            return "resources";
    }
    return "?";
}

// The layer a path belongs to, by its leading folders (relative to src/ for sources and
// quoted includes, or "tools/..." and "resources/..." from the repository root). Longer
// prefixes come first so that platform/qt is not taken for platform.
std::optional<Layer> layerOf(const std::string& path) {
    static const std::vector<std::pair<std::string, Layer>> kPrefixes = {
        {"platform/qt/", Layer::Qt},
        {"image/control/", Layer::Control},
        {"base/", Layer::Base},
        {"platform/", Layer::Platform},
        {"image/", Layer::Image},
        {"ui/theme/", Layer::Theme},
        {"app/", Layer::App},
        {"tools/", Layer::Tools},
        {"resources/", Layer::Resources},
    };
    for (const auto& [prefix, layer] : kPrefixes)
        if (path.rfind(prefix, 0) == 0) return layer;
    return std::nullopt;
}

// What each layer may include.
const std::map<Layer, std::set<Layer>>& allowed() {
    using L = Layer;
    static const std::map<L, std::set<L>> kAllowed = {
        {L::Base, {L::Base}},
        {L::Platform, {L::Base, L::Platform}},
        {L::Image, {L::Base, L::Platform, L::Image}},
        {L::Control, {L::Base, L::Platform, L::Image, L::Control}},
        {L::Theme, {L::Base, L::Platform, L::Theme}},
        {L::Qt, {L::Base, L::Platform, L::Image, L::Control, L::Qt}},
        {L::App,
         {L::Base, L::Platform, L::Image, L::Control, L::Theme, L::Qt, L::App, L::Resources}},
        {L::Tools, {L::Base, L::Platform, L::Image, L::Control, L::Resources, L::Tools}},
    };
    return kAllowed;
}

bool mayIncludeQt(Layer layer) {
    return layer == Layer::App || layer == Layer::Qt;
}

// Decoders of the image library: inside the surface only its loading code includes them.
bool isDecoderHeader(const std::string& target) {
    static const std::set<std::string> kDecoders = {
        "image/codecs/png_parser.h", "image/codecs/png_pixels.h", "image/codecs/inflater.h",
        "image/codecs/gif_parser.h", "image/codecs/ico_parser.h", "image/codecs/bmp_parser.h",
    };
    return kDecoders.count(target) != 0;
}
bool isLoadingCode(const std::string& source) {
    return source == "image/surface/loading.cpp";
}

struct Violation {
    std::string where;  // file:line
    std::string what;
};

// Checks one #include of `source` (a path relative to src/, or tools/...) against the rules.
std::optional<std::string> check(const std::string& source, Layer from, const std::string& line,
                                 const fs::path& root) {
    const auto open = line.find_first_of("\"<");
    if (open == std::string::npos) return std::nullopt;
    const char close = line[open] == '"' ? '"' : '>';
    const auto end = line.find(close, open + 1);
    if (end == std::string::npos) return "malformed #include";
    const std::string target = line.substr(open + 1, end - open - 1);
    if (close == '>') {
        if (target.rfind('Q', 0) == 0 && !mayIncludeQt(from))
            return "includes Qt header <" + target + ">; Qt belongs to src/app and src/platform/qt";
        return std::nullopt;
    }
    const bool exists = fs::exists(root / "src" / target) || fs::exists(root / target);
    if (!exists) return "includes \"" + target + "\", which is neither under src/ nor the root";
    const auto to = layerOf(target);
    if (!to) return "includes \"" + target + "\", which belongs to no layer";
    if (!allowed().at(from).count(*to))
        return std::string(nameOf(from)) + " may not include " + nameOf(*to) + " (\"" + target +
               "\")";
    if (source.rfind("image/surface/", 0) == 0 && isDecoderHeader(target) && !isLoadingCode(source))
        return "only the surface's loading code knows the decoders (\"" + target + "\")";
    return std::nullopt;
}

std::vector<Violation> scan(const fs::path& root, std::size_t& filesSeen) {
    std::vector<Violation> out;
    filesSeen = 0;
    for (const std::string top : {"src", "tools"}) {
        const fs::path dir = root / top;
        if (!fs::is_directory(dir)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(dir)) {
            const auto ext = entry.path().extension();
            if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
            // Shown as it lies in the repository; classified relative to src/ (or as tools/...).
            const std::string shown = fs::relative(entry.path(), root).generic_string();
            const std::string source =
                top == "src" ? fs::relative(entry.path(), root / "src").generic_string() : shown;
            const auto from = layerOf(source);
            ++filesSeen;
            if (!from || !allowed().count(*from)) {
                out.push_back({shown, "file lies in no layer of the table"});
                continue;
            }
            std::ifstream in(entry.path());
            std::string line;
            for (int number = 1; std::getline(in, line); ++number) {
                const auto first = line.find_first_not_of(" \t");
                if (first == std::string::npos || line.compare(first, 1, "#") != 0) continue;
                const auto word = line.find_first_not_of(" \t", first + 1);
                if (word == std::string::npos || line.compare(word, 7, "include") != 0) continue;
                if (auto what = check(source, *from, line.substr(word + 7), root))
                    out.push_back({shown + ":" + std::to_string(number), *what});
            }
        }
    }
    return out;
}

TEST(IncludeRules, EveryIncludePointsDownTheLayerTable) {
    const fs::path root = TALVRIN_SOURCE_DIR;
    std::size_t files = 0;
    const auto violations = scan(root, files);
    EXPECT_GT(files, 50u) << "the scan found almost no sources under " << root;
    std::ostringstream report;
    for (const auto& v : violations)
        report << v.where << ": " << v.what << '\n';
    EXPECT_TRUE(violations.empty()) << report.str();
}

// The rules themselves, on hand-made lines, so that a rule that stopped firing is noticed.
TEST(IncludeRules, EachRuleFires) {
    const fs::path root = TALVRIN_SOURCE_DIR;
    struct Case {
        const char* source;
        Layer from;
        const char* line;
        bool violates;
    };
    const Case cases[] = {
        {"platform/gdi/gdi.cpp", Layer::Platform, " \"image/surface/c32bpp_dib.h\"", true},
        {"image/surface/render.cpp", Layer::Image, " \"resources/builtin_resources.h\"", true},
        {"image/surface/render.cpp", Layer::Image, " <QImage>", true},
        {"image/surface/render.cpp", Layer::Image, " \"image/codecs/png_parser.h\"", true},
        {"image/surface/loading.cpp", Layer::Image, " \"image/codecs/png_parser.h\"", false},
        {"image/codecs/gif_parser.cpp", Layer::Image, " \"image/surface/c32bpp_dib.h\"", false},
        {"base/geometry.h", Layer::Base, " \"platform/gdi/bitmap.h\"", true},
        {"tools/talvrin_image.cpp", Layer::Tools, " \"platform/qt/qt_clipboard.h\"", true},
        {"app/md_startup.cpp", Layer::App, " \"platform/qt/qt_clipboard.h\"", false},
        {"app/md_startup.cpp", Layer::App, " <QApplication>", false},
        {"app/md_startup.cpp", Layer::App, " \"app/no_such_header.h\"", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(check(c.source, c.from, c.line, root).has_value(), c.violates)
            << c.source << " #include" << c.line;
}

}  // namespace
