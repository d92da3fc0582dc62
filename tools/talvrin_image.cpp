// talvrin-image: the image library from the command line.
//
//   talvrin-image info FILE...
//   talvrin-image convert IN OUT [--icon WxH] [--depth N]
//
// Uses only the library's public interface: a surface loads the file through its loading
// dispatch, and the pixels are read back in the layouts the library offers.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/decode_budget.h"
#include "image/bridge/gdiplus.h"
#include "image/codecs/ico_parser.h"
#include "image/codecs/png_writer.h"
#include "image/surface/c32bpp_dib.h"
#include "platform/os/files.h"
#include "tools/render_command.h"

namespace talvrin {
namespace {

constexpr const char* kUsage =
    "usage: talvrin-image <command> [arguments]\n"
    "\n"
    "commands:\n"
    "  info FILE...                            one line of facts per image file\n"
    "  convert IN OUT [--icon WxH] [--depth N] load IN, write OUT by its extension\n"
    "  render IN OUT.png --size WxH [options]  paint IN through the image control\n"
    "\n"
    "Every command takes --max-pixels N|unlimited: the decode budget, the most pixels an image\n"
    "may declare, or render's control and drawing may take, before they are refused as too\n"
    "large (default 67108863; unlimited leaves only the surface's own 32-bit size limit), and\n"
    "--no-bridge: draw, load and save with the own engine, decoders and encoder only (no\n"
    "bicubic scaling, no WebP or TIFF).\n"
    "\n"
    "Run 'talvrin-image <command> --help' for a command's details; 'talvrin-image --version'\n"
    "prints the version.\n";

constexpr const char* kInfoUsage =
    "usage: talvrin-image info FILE...\n"
    "\n"
    "Prints one tab-separated line per file: the file name, "
    "format=png|gif|ico|cur|bmp|jpeg|webp|tiff|other,\n"
    "type=N (the image-type code), size=WxH, alpha=0|1 and, for icons and cursors,\n"
    "icons=WxHxBPP,... (every directory entry in order). A file that does not load prints its\n"
    "name and error=REASON instead, REASON being one of: not recognised, too short, truncated,\n"
    "bad header, bad data, checksum, unsupported variant, too large, out of memory, unreadable,\n"
    "followed, when the decoder says more, by what exactly was wrong in parentheses\n"
    "(error=bad data (bad filter)).\n"
    "Exit status 0 when every file loaded, 1 otherwise.\n";

constexpr const char* kConvertUsage =
    "usage: talvrin-image convert IN OUT [--icon WxH] [--depth N]\n"
    "\n"
    "Loads IN (for icons and cursors, the entry closest to --icon WxH at --depth N bits;\n"
    "defaults 0x0 and 32) and writes OUT by its extension:\n"
    "  .png    PNG in the smallest fitting form (palette, grey, truecolour, with alpha)\n"
    "  .bmp    bitmap with a 54-byte header: 32-bit premultiplied when the image has alpha,\n"
    "          else 24-bit\n"
    "  .rgba   raw 8-bit straight RGBA, top row first, no header\n"
    "  .prgba  raw 8-bit premultiplied RGBA as stored, top row first\n"
    "Exit status 0 on success, 1 when loading or writing failed, 2 for a usage error.\n";

// The container format by its leading bytes, for the info line.
std::string_view sniffFormat(const std::vector<std::uint8_t>& b) {
    auto starts = [&b](std::initializer_list<std::uint8_t> sig) {
        if (b.size() < sig.size()) return false;
        return std::equal(sig.begin(), sig.end(), b.begin());
    };
    if (starts({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})) return "png";
    if (starts({'G', 'I', 'F', '8'})) return "gif";
    if (starts({0, 0, 1, 0})) return "ico";
    if (starts({0, 0, 2, 0})) return "cur";
    if (starts({'B', 'M'})) return "bmp";
    if (starts({0xFF, 0xD8, 0xFF})) return "jpeg";
    switch (bridge::sniffBridgeFormat(b)) {
        case bridge::BridgeFormat::kWebp:
            return "webp";
        case bridge::BridgeFormat::kTiff:
            return "tiff";
        case bridge::BridgeFormat::kNone:
            break;
    }
    return "other";
}

std::string_view extensionOf(const std::string& path) {
    const auto dot = path.find_last_of('.');
    const auto slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return std::string_view(path).substr(dot);
}

// Top row first, four bytes a pixel R, G, B, A, premultiplied as stored or un-premultiplied:
// the surface's own row export, a band of rows at a time, each band written as it is made, so
// that no second copy of the image is held.
bool writeRgba(const c32bppDIB& dib, bool premultiplied, const std::string& path) {
    // Bands of about 256 KiB stay in the processor's cache between the export and the write.
    const std::int32_t kBandRows = std::max(1, (256 * 1024) / std::max(1, dib.scanWidth()));
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    bool ok = true;
    std::vector<std::uint8_t> band;
    for (std::int32_t y = 0; ok && y < dib.Height(); y += kBandRows) {
        const std::int32_t rows = std::min(kBandRows, dib.Height() - y);
        ok = dib.GetDIBbits(band, false, false, true, false, false, 0, y, 0, rows, premultiplied) &&
             std::fwrite(band.data(), 1, band.size(), out) == band.size();
    }
    return std::fclose(out) == 0 && ok;
}

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// Every directory entry of an icon or cursor file, in directory order: WxHxBPP,...
std::string iconList(const std::vector<std::uint8_t>& bytes) {
    cICOparser directory;
    std::int32_t length = 0;
    if (!directory.LoadStream(bytes, 0, 0, nullptr, 0, length)) return {};
    std::string list;
    for (std::int32_t i = 1; i <= directory.IconCount(); ++i) {
        if (!list.empty()) list += ',';
        list += std::to_string(directory.Width(i)) + "x" + std::to_string(directory.Height(i)) +
                "x" + std::to_string(directory.bitDepth(i));
    }
    return list;
}

int info(int argc, char** argv) {
    if (argc == 0) {
        std::fputs(kInfoUsage, stderr);
        return 2;
    }
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kInfoUsage, stdout);
            return 0;
        }
    }
    int status = 0;
    for (int i = 0; i < argc; ++i) {
        const std::string name = argv[i];
        // The file is read once, by the load; its kept bytes tell the container format.
        c32bppDIB dib;
        if (!dib.LoadPicture_File(name, 0, 0, true)) {
            std::printf("%s\terror=%s\n", name.c_str(), explain(dib.lastLoadFailure()).c_str());
            status = 1;
            continue;
        }
        // The kept bytes are the file's, except for an image the imaging bridge decoded (kept
        // as PNG): the file's first bytes tell its container.
        const std::vector<std::uint8_t>& bytes = dib.sourceBytes();
        std::string_view format = sniffFormat(bytes);
        if (format == "png" || format == "other") {
            std::vector<std::uint8_t> head(16);
            platform::File file = platform::OpenImageFile(name, true);
            const auto got = file ? file.read(head.data(), head.size()) : std::nullopt;
            head.resize(got.value_or(0));
            if (!head.empty() && sniffFormat(head) != "other") format = sniffFormat(head);
        }
        std::printf("%s\tformat=%.*s\ttype=%d\tsize=%dx%d\talpha=%d", name.c_str(),
                    static_cast<int>(format.size()), format.data(), dib.ImageType(), dib.Width(),
                    dib.Height(), dib.Alpha() ? 1 : 0);
        if (format == "ico" || format == "cur") std::printf("\ticons=%s", iconList(bytes).c_str());
        std::printf("\n");
    }
    return status;
}

// The value of --max-pixels: a whole number of pixels, or "unlimited" (0, no budget).
std::optional<std::uint64_t> parseBudget(std::string_view s) {
    if (s == "unlimited") return 0;
    if (s.empty() || s.size() > 19) return std::nullopt;
    std::uint64_t v = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (v == 0) return std::nullopt;  // "no budget" is spelt out
    return v;
}

std::optional<std::pair<int, int>> parseSize(std::string_view s) {
    const auto x = s.find_first_of("xX");
    if (x == std::string_view::npos) return std::nullopt;
    try {
        size_t used = 0;
        const std::string a(s.substr(0, x)), b(s.substr(x + 1));
        const int w = std::stoi(a, &used);
        if (used != a.size()) return std::nullopt;
        const int h = std::stoi(b, &used);
        if (used != b.size()) return std::nullopt;
        return std::make_pair(w, h);
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<int> parseInt(std::string_view s) {
    try {
        size_t used = 0;
        const std::string t(s);
        const int v = std::stoi(t, &used);
        if (used != t.size()) return std::nullopt;
        return v;
    } catch (...) {
        return std::nullopt;
    }
}

int convert(int argc, char** argv) {
    std::vector<std::string> files;
    int iconCx = 0, iconCy = 0, depth = 32;
    for (int i = 0; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kConvertUsage, stdout);
            return 0;
        }
        if (a == "--icon" || a == "--depth") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "talvrin-image convert: %s needs a value\n", argv[i]);
                std::fputs(kConvertUsage, stderr);
                return 2;
            }
            const std::string_view v = argv[++i];
            if (a == "--icon") {
                const auto size = parseSize(v);
                if (!size) {
                    std::fprintf(stderr, "talvrin-image convert: --icon wants WxH, not '%s'\n",
                                 argv[i]);
                    return 2;
                }
                iconCx = size->first;
                iconCy = size->second;
            } else {
                const auto d = parseInt(v);
                if (!d) {
                    std::fprintf(stderr,
                                 "talvrin-image convert: --depth wants a number, not '%s'\n",
                                 argv[i]);
                    return 2;
                }
                depth = *d;
            }
            continue;
        }
        if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "talvrin-image convert: unknown option '%s'\n", argv[i]);
            std::fputs(kConvertUsage, stderr);
            return 2;
        }
        files.emplace_back(a);
    }
    if (files.size() != 2) {
        std::fputs(kConvertUsage, stderr);
        return 2;
    }
    const std::string& in = files[0];
    const std::string& out = files[1];
    const std::string_view ext = extensionOf(out);
    if (ext != ".png" && ext != ".bmp" && ext != ".rgba" && ext != ".prgba") {
        std::fprintf(stderr,
                     "talvrin-image convert: cannot tell the output format of '%s' "
                     "(use .png, .bmp, .rgba or .prgba)\n",
                     out.c_str());
        return 2;
    }
    c32bppDIB dib;
    if (!dib.LoadPicture_File(in, iconCx, iconCy, false, depth)) {
        const std::string_view reason = describe(dib.lastLoadFailure().reason);
        std::fprintf(stderr, "talvrin-image convert: cannot load '%s': error=%.*s\n", in.c_str(),
                     static_cast<int>(reason.size()), reason.data());
        return 1;
    }
    if (ext == ".rgba" || ext == ".prgba") {
        if (!writeRgba(dib, ext == ".prgba", out)) {
            std::fprintf(stderr, "talvrin-image convert: cannot write '%s'\n", out.c_str());
            return 1;
        }
        return 0;
    }
    std::vector<std::uint8_t> bytes;
    // PNG through the own encoder, not the surface's save (which tries the desktop's imaging
    // library first on Windows): the smallest fitting form and the exact pixels, everywhere.
    const bool encoded =
        ext == ".png" ? cPNGwriter().WritePNG(dib, bytes) : dib.SaveToStream(bytes);
    if (!encoded) {
        std::fprintf(stderr, "talvrin-image convert: cannot encode '%s' as %.*s\n", in.c_str(),
                     static_cast<int>(ext.size()), ext.data());
        return 1;
    }
    if (!writeFile(out, bytes)) {
        std::fprintf(stderr, "talvrin-image convert: cannot write '%s'\n", out.c_str());
        return 1;
    }
    return 0;
}

}  // namespace
}  // namespace talvrin

int main(int argc, char** argv) {
    using namespace talvrin;
    // --max-pixels and --no-bridge apply to every command: taken out of the arguments here.
    std::vector<char*> args(argv, argv + argc);
    std::optional<bridge::ScopedBackendAbsent> noBridge;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (std::strcmp(args[i], "--no-bridge") == 0) {
            noBridge.emplace(true);
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
            --i;
            continue;
        }
        if (std::strcmp(args[i], "--max-pixels") != 0) continue;
        const std::optional<std::uint64_t> budget =
            i + 1 < args.size() ? parseBudget(args[i + 1]) : std::nullopt;
        if (!budget) {
            std::fprintf(stderr,
                         "talvrin-image: --max-pixels wants a number of pixels or 'unlimited'\n");
            return 2;
        }
        setDecodeBudget(*budget);
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                   args.begin() + static_cast<std::ptrdiff_t>(i + 2));
        --i;
    }
    argc = static_cast<int>(args.size());
    argv = args.data();
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string_view command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("talvrin-image %s\n", TALVRIN_VERSION);
        return 0;
    }
    // Icon and cursor bytes that reach the platform's picture loader go to the icon decoder.
    installIconPictureRoute();
    if (command == "info") return info(argc - 2, argv + 2);
    if (command == "convert") return convert(argc - 2, argv + 2);
    if (command == "render") return render(argc - 2, argv + 2);
    std::fprintf(stderr, "talvrin-image: unknown command '%s'\n", argv[1]);
    std::fputs(kUsage, stderr);
    return 2;
}
