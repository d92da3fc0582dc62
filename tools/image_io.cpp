// The tool's output: the encoders and the writing.
#include "tools/image_io.h"

#include <algorithm>
#include <cctype>

#include "base/pixels.h"
#include "image/codecs/png_writer.h"
#include "image/surface/c32bpp_dib.h"
#include "platform/os/tool_io.h"
#include "platform/picture/jpeg_encoder.h"
#include "tools/failure.h"

namespace talvrin::tool {

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The rows of the image top row first, four bytes a pixel R, G, B, A, premultiplied as stored
// or not: the surface's own row export, a band of rows at a time, each band written as it is
// made, so that no second copy of the image is held. False when a band cannot be exported (for
// want of memory: `failure` says so) or the sink refuses it.
template <typename Sink>
bool exportRgba(const c32bppDIB& image, bool premultiplied, Sink&& sink, SaveFailure& failure) {
    // Bands of about 256 KiB stay in the processor's cache between the export and the write.
    const std::int32_t kBandRows = std::max(1, (256 * 1024) / std::max(1, image.scanWidth()));
    std::vector<std::uint8_t> band;
    for (std::int32_t y = 0; y < image.Height(); y += kBandRows) {
        const std::int32_t rows = std::min(kBandRows, image.Height() - y);
        if (!image.GetDIBbits(band, false, false, true, false, false, 0, y, 0, rows, premultiplied))
            return failure.refuse(EncodeFailure::kOutOfMemory, "");
        if (!sink(band)) return false;
    }
    return true;
}

// The image as JPEG: each row flattened onto white, premultiplied colour c at alpha a giving
// c + 255 - a (exact: c <= a).
SaveFailure encodeJpeg(const c32bppDIB& image, int quality, std::vector<std::uint8_t>& out) {
    const std::int32_t w = image.Width(), h = image.Height();
    const bool alpha = image.Alpha();
    const auto row = [&](std::int32_t y, std::uint8_t* rgb) {
        const std::uint8_t* p = image.BitsPointer() + pixelOffset(0, y, h, image.scanWidth());
        for (std::int32_t x = 0; x < w; ++x, p += 4, rgb += 3) {
            const unsigned over = alpha ? 255u - p[3] : 0u;
            rgb[0] = static_cast<std::uint8_t>(std::min(255u, p[2] + over));
            rgb[1] = static_cast<std::uint8_t>(std::min(255u, p[1] + over));
            rgb[2] = static_cast<std::uint8_t>(std::min(255u, p[0] + over));
        }
    };
    return platform::encodeJpeg(w, h, quality, row, out);
}

// The encoded file of the image; nothing to encode for the raw formats, which are exported
// while they are written.
SaveFailure encode(const c32bppDIB& image, OutputFormat format, const EncodeSettings& settings,
                   std::vector<std::uint8_t>& bytes) {
    SaveFailure failure;
    if (format == OutputFormat::kJpeg) return encodeJpeg(image, settings.jpegQuality, bytes);
    if (format == OutputFormat::kBmp) image.SaveToStream(bytes, failure);
    if (format == OutputFormat::kPng) {
        // PNG through the own encoder, not the surface's save (which tries the desktop's
        // imaging library first on Windows): the smallest fitting form and the exact pixels.
        cPNGwriter writer(settings.pngLevel);
        writer.WritePNG(image, bytes);
        failure = writer.lastSaveFailure();
    }
    return failure;
}

}  // namespace

std::optional<OutputFormat> formatNamed(std::string_view name) noexcept {
    try {
        const std::string n = lower(name);
        if (n == "png") return OutputFormat::kPng;
        if (n == "bmp") return OutputFormat::kBmp;
        if (n == "rgba") return OutputFormat::kRgba;
        if (n == "prgba") return OutputFormat::kPrgba;
        if (n == "jpeg" || n == "jpg") return OutputFormat::kJpeg;
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
        case OutputFormat::kJpeg:
            return ".jpg";
    }
    return ".png";
}

std::optional<std::string> writeImage(const c32bppDIB& image, OutputFormat format,
                                      const EncodeSettings& settings, const std::string& path) {
    const std::string as = " as " + std::string(extensionOf(format).substr(1));
    std::vector<std::uint8_t> bytes;
    const SaveFailure encoded = encode(image, format, settings, bytes);
    if (encoded.failed()) return failureLine("encode", path, Failure::of(encoded), as);
    const bool premultiplied = format == OutputFormat::kPrgba;
    const bool raw = format == OutputFormat::kRgba || format == OutputFormat::kPrgba;
    SaveFailure exported;
    FileFailureRecord written;
    if (path == "-") {
        const auto send = [&written](std::span<const std::uint8_t> b) {
            written = platform::writeStandardOutput(b);
            return !written.failed();
        };
        if (raw) {
            exportRgba(image, premultiplied, send, exported);
        } else {
            send(bytes);
        }
    } else {
        platform::ReplacingFile file = platform::ReplacingFile::create(path);
        const auto send = [&file](std::span<const std::uint8_t> b) { return file.write(b); };
        // A file left uncommitted is removed as it goes.
        if (file.isOpen() && (raw ? exportRgba(image, premultiplied, send, exported) : send(bytes)))
            file.commit();
        written = file.failure();
    }
    if (exported.failed()) return failureLine("encode", path, Failure::of(exported), as);
    if (written.failed()) return failureLine("write", path, Failure::of(written));
    return std::nullopt;
}

}  // namespace talvrin::tool
