// The dependency rule as a test: every #include under src/ and tools/ must point down the layer
// table (base <- platform <- image <- control <- app, the window-free core, <- the Qt and the
// Win32 shell, each with its faces; tools above the control, beside app; the command runner and
// the registry permission tool beside the platform; Qt only in the Qt shell and the Qt platform
// services; the desktop's own headers only in Windows sources, a *_win32 file or a win32/
// folder). Inside the platform, os <- gdi <- picture; inside the image library only the loading
// code knows the decoders and only the surface's drawing, loading and saving code knows the
// imaging bridge, and only the image library writes the surface's internal state. A violation
// fails with the file, the line and the rule it breaks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
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

enum class Layer {
    Base,
    Platform,
    Qt,
    Image,
    Control,
    Theme,
    AppQt,
    AppWin32,
    Runner,
    Regini,
    App,
    Tools,
    Resources
};

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
        case Layer::AppQt:
            return "app/qt";
        case Layer::AppWin32:
            return "app/win32";
        case Layer::Runner:
            return "app/runner";
        case Layer::Regini:
            return "app/regini";
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
// prefixes come first so that platform/qt is not taken for platform, nor app/runner, app/regini,
// app/qt or app/win32 for app.
std::optional<Layer> layerOf(const std::string& path) {
    static const std::vector<std::pair<std::string, Layer>> kPrefixes = {
        {"platform/qt/", Layer::Qt},
        {"image/control/", Layer::Control},
        {"base/", Layer::Base},
        {"platform/", Layer::Platform},
        {"image/", Layer::Image},
        {"ui/theme/", Layer::Theme},
        {"app/qt/", Layer::AppQt},
        {"app/win32/", Layer::AppWin32},
        {"app/runner/", Layer::Runner},
        {"app/regini/", Layer::Regini},
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
        {L::Qt, {L::Base, L::Platform, L::Qt}},
        {L::AppQt,
         {L::Base, L::Platform, L::Qt, L::Image, L::Control, L::Theme, L::Runner, L::App,
          L::Resources, L::AppQt}},
        {L::AppWin32,
         {L::Base, L::Platform, L::Image, L::Control, L::Theme, L::Runner, L::App, L::Resources,
          L::AppWin32}},
        {L::Runner, {L::Base, L::Platform, L::Runner}},
        {L::Regini, {L::Base, L::Platform, L::Regini}},
        {L::App,
         {L::Base, L::Platform, L::Image, L::Control, L::Theme, L::Runner, L::App, L::Resources}},
        {L::Tools, {L::Base, L::Platform, L::Image, L::Control, L::Resources, L::Tools}},
    };
    return kAllowed;
}

bool mayIncludeQt(Layer layer) {
    return layer == Layer::Qt || layer == Layer::AppQt;
}

// The desktop's window and system headers: only a Windows source includes them.
bool isSystemHeader(const std::string& target) {
    static const std::set<std::string> kHeaders = {
        "windows.h", "windowsx.h", "commctrl.h", "uxtheme.h", "shellapi.h", "winuser.h",
    };
    std::string lower = target;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return kHeaders.count(lower) != 0;
}
bool isWindowsSource(const std::string& source) {
    return source.find("_win32.") != std::string::npos ||
           source.find("win32/") != std::string::npos;
}

// Inside the platform layer the folders stack too: os, then gdi (drawing), then picture (picture
// objects and the loader, which draw). A folder may include its own and those below it.
int platformRank(const std::string& path) {
    if (path.rfind("platform/os/", 0) == 0) return 0;
    if (path.rfind("platform/gdi/", 0) == 0) return 1;
    if (path.rfind("platform/picture/", 0) == 0) return 2;
    return -1;
}

// The imaging bridge: inside the image library only the bridge itself and the surface code that
// draws, loads, saves or probes through it include it.
bool isBridgeHeader(const std::string& target) {
    return target.rfind("image/bridge/", 0) == 0;
}
bool mayIncludeBridge(const std::string& source) {
    static const std::set<std::string> kUsers = {
        "image/surface/c32bpp_dib.cpp",       "image/surface/render.cpp",
        "image/surface/regions.cpp",          "image/surface/loading.cpp",
        "image/surface/loading_for_size.cpp", "image/surface/export.cpp",
    };
    return source.rfind("image/bridge/", 0) == 0 || kUsers.count(source) != 0;
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
    return source == "image/surface/loading.cpp" || source == "image/surface/loading_for_size.cpp";
}

// What decoders and effects record on a surface (alpha flag, image type, kept bytes) is written
// only inside the image library.
bool isSurfaceInternalHeader(const std::string& target) {
    return target == "image/surface/c32bpp_dib_internal.h";
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
            return "includes Qt header <" + target +
                   ">; Qt belongs to src/app/qt and src/platform/qt";
        if (isSystemHeader(target) && !isWindowsSource(source))
            return "includes <" + target +
                   ">; the desktop's headers belong to *_win32 files and win32/ folders";
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
    if (from == Layer::Image && isBridgeHeader(target) && !mayIncludeBridge(source))
        return "only the surface's drawing, loading and saving code knows the bridge (\"" + target +
               "\")";
    if (isSurfaceInternalHeader(target) && from != Layer::Image)
        return "only the image library writes the surface's internal state (\"" + target + "\")";
    const int fromRank = platformRank(source), toRank = platformRank(target);
    if (fromRank >= 0 && toRank > fromRank)
        return "inside the platform, os <- gdi <- picture: \"" + source + "\" may not include \"" +
               target + "\"";
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
        {"app/qt/md_startup.cpp", Layer::AppQt, " \"platform/qt/qt_clipboard.h\"", false},
        {"platform/qt/qt_clipboard.cpp", Layer::Qt, " \"image/control/vitrel.h\"", true},
        {"app/qt/vitrel_widget.h", Layer::AppQt, " \"image/control/vitrel.h\"", false},
        {"app/qt/vitrel_widget.h", Layer::AppQt, " <QWidget>", false},
        {"ui/theme/button_look.h", Layer::Theme, " \"app/qt/graphical_button.h\"", true},
        {"app/win32/win32_imaging_sessions.cpp", Layer::AppWin32, " \"image/bridge/gdiplus.h\"",
         false},
        {"app/win32/win32_imaging_sessions.cpp", Layer::AppWin32, " \"app/qt/vitrel_widget.h\"",
         true},
        {"app/win32/win32_imaging_sessions.h", Layer::AppWin32, " <QWidget>", true},
        {"image/control/vitrel.h", Layer::Control, " \"app/qt/vitrel_widget.h\"", true},
        {"app/runner/dos_outputs.cpp", Layer::Runner, " \"app/repair_sequence.h\"", true},
        {"app/runner/dos_outputs.cpp", Layer::Runner, " <QObject>", true},
        // The runner's process and narrow-text backends are platform code, which never knows
        // the runner.
        {"app/runner/dos_outputs.cpp", Layer::Runner, " \"platform/os/child_process.h\"", false},
        {"platform/os/child_process_posix.cpp", Layer::Platform, " \"app/runner/command_words.h\"",
         true},
        {"platform/os/child_process_win32.cpp", Layer::Platform, " <windows.h>", false},
        {"app/repair_console.cpp", Layer::App, " \"app/runner/dos_outputs.h\"", false},
        {"app/regini/regini_program.cpp", Layer::Regini, " \"platform/os/registry_access.h\"",
         false},
        {"app/regini/regini_program.cpp", Layer::Regini, " \"app/runner/dos_outputs.h\"", true},
        {"app/regini/regini_program.cpp", Layer::Regini, " \"image/surface/c32bpp_dib.h\"", true},
        {"app/regini/permission_script.cpp", Layer::Regini, " <windows.h>", true},
        {"platform/gdi/gdi_object.h", Layer::Platform, " \"platform/picture/picture.h\"", true},
        {"platform/os/files.cpp", Layer::Platform, " \"platform/gdi/bitmap.h\"", true},
        {"platform/picture/picture.h", Layer::Platform, " \"platform/gdi/icon.h\"", false},
        {"image/surface/effects.cpp", Layer::Image, " \"image/bridge/gdiplus.h\"", true},
        {"image/codecs/png_parser.cpp", Layer::Image, " \"image/bridge/gdiplus.h\"", true},
        {"image/surface/render.cpp", Layer::Image, " \"image/bridge/gdiplus.h\"", false},
        {"tools/talvrin_image.cpp", Layer::Tools, " \"image/bridge/gdiplus.h\"", false},
        {"image/control/vitrel_layout.cpp", Layer::Control,
         " \"image/surface/c32bpp_dib_internal.h\"", true},
        {"tools/render_command.cpp", Layer::Tools, " \"image/surface/c32bpp_dib_internal.h\"",
         true},
        {"image/codecs/png_parser.cpp", Layer::Image, " \"image/surface/c32bpp_dib_internal.h\"",
         false},
        {"app/qt/md_startup.cpp", Layer::AppQt, " <QApplication>", false},
        {"app/frm_main_logic.cpp", Layer::App, " <QWidget>", true},
        {"app/qt/md_startup.cpp", Layer::AppQt, " \"app/no_such_header.h\"", true},
        {"app/win32/vitrel_window.h", Layer::AppWin32, " \"image/control/vitrel.h\"", false},
        {"app/frm_main_logic.h", Layer::App, " \"app/win32/vitrel_window.h\"", true},
        {"app/frm_main_logic.h", Layer::App, " \"app/qt/vitrel_widget.h\"", true},
        {"app/win32/frm_main_win32.cpp", Layer::AppWin32, " \"app/qt/frm_main.h\"", true},
        {"app/win32/vitrel_window.h", Layer::AppWin32, " \"app/qt/vitrel_widget.h\"", true},
        {"image/control/vitrel.h", Layer::Control, " \"app/win32/vitrel_window.h\"", true},
        {"app/win32/frm_main_win32.h", Layer::AppWin32, " \"app/win32/vitrel_window.h\"", false},
        {"app/qt/frm_main.h", Layer::AppQt, " \"app/frm_main_logic.h\"", false},
        {"app/win32/frm_main_win32.h", Layer::AppWin32, " <windows.h>", false},
        {"platform/os/files_win32.cpp", Layer::Platform, " <windows.h>", false},
        {"platform/os/files.cpp", Layer::Platform, " <windows.h>", true},
        {"image/surface/render.cpp", Layer::Image, " <Windows.h>", true},
        {"app/frm_main_logic.cpp", Layer::App, " <shellapi.h>", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(check(c.source, c.from, c.line, root).has_value(), c.violates)
            << c.source << " #include" << c.line;
}

}  // namespace
