// The tool's input and output.
#include "tools/image_io.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "base/decode_failure.h"
#include "image/codecs/png_writer.h"
#include "image/surface/c32bpp_dib.h"
#include "platform/os/files.h"
#include "platform/os/tool_io.h"

namespace talvrin::tool {

namespace {

// The decoders address their input with 32-bit offsets.
constexpr std::uint64_t kMaxInput = std::numeric_limits<std::int32_t>::max();
// How many of an input's first bytes a LoadedImage keeps for the header readers.
constexpr std::size_t kHeadBytes = 256 * 1024;

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string problemText(platform::ReadProblem problem) {
    switch (problem) {
        case platform::ReadProblem::kNotFound:
            return "not found";
        case platform::ReadProblem::kIsDirectory:
            return "is a directory";
        case platform::ReadProblem::kPermissionDenied:
            return "permission denied";
        case platform::ReadProblem::kNone:
        case platform::ReadProblem::kOther:
            break;
    }
    return std::string(describe(DecodeFailure::kUnreadable));
}

// The rows of the image top row first, four bytes a pixel R, G, B, A, premultiplied as stored
// or not: the surface's own row export, a band of rows at a time, each band written as it is
// made, so that no second copy of the image is held.
template <typename Sink>
bool exportRgba(const c32bppDIB& image, bool premultiplied, Sink&& sink) {
    // Bands of about 256 KiB stay in the processor's cache between the export and the write.
    const std::int32_t kBandRows = std::max(1, (256 * 1024) / std::max(1, image.scanWidth()));
    std::vector<std::uint8_t> band;
    for (std::int32_t y = 0; y < image.Height(); y += kBandRows) {
        const std::int32_t rows = std::min(kBandRows, image.Height() - y);
        if (!image.GetDIBbits(band, false, false, true, false, false, 0, y, 0, rows, premultiplied))
            return false;
        if (!sink(band)) return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> readInput(const std::string& name, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    if (name == "-") {
        if (!platform::readStandardInput(bytes, kMaxInput))
            return std::string(describe(DecodeFailure::kUnreadable));
        return std::nullopt;
    }
    platform::File file = platform::OpenImageFile(name, true);
    const auto size = file ? file.size() : std::nullopt;
    if (!size) return problemText(platform::whyUnreadable(name));
    if (*size > kMaxInput) return std::string(describe(DecodeFailure::kTooLarge));
    try {
        bytes.resize(static_cast<std::size_t>(*size));
    } catch (const std::bad_alloc&) {
        return std::string(describe(DecodeFailure::kOutOfMemory));
    }
    const auto got = file.read(bytes.data(), bytes.size());
    if (!got) return std::string(describe(DecodeFailure::kUnreadable));
    bytes.resize(*got);  // a file that shrank while it was read
    return std::nullopt;
}

LoadedImage loadImage(const std::string& name, const IconChoice& icon, bool keepSource) {
    LoadedImage loaded;
    std::vector<std::uint8_t> bytes;
    if (auto problem = readInput(name, bytes)) {
        loaded.error = std::move(*problem);
        return loaded;
    }
    auto image = std::make_unique<c32bppDIB>();
    if (!image->LoadPicture_Stream(bytes, icon.width, icon.height, 0, 0, keepSource, icon.depth)) {
        loaded.error = std::string(explain(image->lastLoadFailure()));
        return loaded;
    }
    loaded.image = std::move(image);
    bytes.resize(std::min(bytes.size(), kHeadBytes));
    loaded.head = std::move(bytes);
    return loaded;
}

std::optional<OutputFormat> formatNamed(std::string_view name) noexcept {
    try {
        const std::string n = lower(name);
        if (n == "png") return OutputFormat::kPng;
        if (n == "bmp") return OutputFormat::kBmp;
        if (n == "rgba") return OutputFormat::kRgba;
        if (n == "prgba") return OutputFormat::kPrgba;
    } catch (...) {
    }
    return std::nullopt;
}

std::optional<OutputFormat> formatOfPath(std::string_view path) noexcept {
    const auto dot = path.find_last_of('.');
    const auto slash = path.find_last_of("/\\");
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return std::nullopt;
    return formatNamed(path.substr(dot + 1));
}

std::string_view extensionOf(OutputFormat format) noexcept {
    switch (format) {
        case OutputFormat::kPng:
            return ".png";
        case OutputFormat::kBmp:
            return ".bmp";
        case OutputFormat::kRgba:
            return ".rgba";
        case OutputFormat::kPrgba:
            return ".prgba";
    }
    return ".png";
}

std::optional<std::string> writeImage(const c32bppDIB& image, OutputFormat format,
                                      std::int32_t pngLevel, const std::string& path) {
    const std::string where = path == "-" ? std::string("standard output") : "'" + path + "'";
    std::vector<std::uint8_t> bytes;
    if (format == OutputFormat::kPng || format == OutputFormat::kBmp) {
        // PNG through the own encoder, not the surface's save (which tries the desktop's
        // imaging library first on Windows): the smallest fitting form and the exact pixels.
        const bool encoded = format == OutputFormat::kPng
                                 ? cPNGwriter(pngLevel).WritePNG(image, bytes)
                                 : image.SaveToStream(bytes);
        if (!encoded)
            return "cannot encode the image as " + std::string(extensionOf(format).substr(1));
    }
    const bool premultiplied = format == OutputFormat::kPrgba;
    const bool raw = format == OutputFormat::kRgba || format == OutputFormat::kPrgba;
    if (path == "-") {
        std::optional<std::string> error;
        const auto send = [&error](std::span<const std::uint8_t> b) {
            error = platform::writeStandardOutput(b);
            return !error;
        };
        if (raw ? !exportRgba(image, premultiplied, send) : !send(bytes))
            return "cannot write " + where + ": " + error.value_or("cannot export the pixels");
        return std::nullopt;
    }
    platform::ReplacingFile file = platform::ReplacingFile::create(path);
    const auto send = [&file](std::span<const std::uint8_t> b) { return file.write(b); };
    if (!file.isOpen() || !(raw ? exportRgba(image, premultiplied, send) : send(bytes)) ||
        !file.commit())
        return "cannot write " + where + ": " +
               (file.error().empty() ? std::string("cannot export the pixels") : file.error());
    return std::nullopt;
}

}  // namespace talvrin::tool
