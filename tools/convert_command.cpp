// talvrin-image convert: load, turn upright, resize, and write in another form; one file or
// many at once.
#include <algorithm>
#include <string>

#include "image/surface/c32bpp_dib.h"
#include "platform/os/tool_io.h"
#include "tools/batch.h"
#include "tools/command.h"
#include "tools/console.h"
#include "tools/image_input.h"
#include "tools/image_io.h"
#include "tools/image_ops.h"
#include "tools/size_request.h"
#include "tools/values.h"

namespace talvrin::tool {

namespace {

constexpr const char* kConvertUsage =
    "usage: talvrin-image convert IN OUT [options]\n"
    "       talvrin-image convert IN... --out-dir DIR --format F [options]\n"
    "\n"
    "Loads IN ('-' reads standard input) and writes OUT ('-' writes standard output,\n"
    "with --format) in the format its extension names, in any case:\n"
    "  .png    PNG in the smallest fitting form (palette, grey, truecolour, alpha)\n"
    "  .bmp    bitmap with a 54-byte header: 32-bit premultiplied when the image\n"
    "          has alpha, else 24-bit\n"
    "  .rgba   raw 8-bit straight RGBA, top row first, no header\n"
    "  .prgba  raw 8-bit premultiplied RGBA as stored, top row first\n"
    "  .jpg    JPEG (also .jpeg), translucent pixels flattened onto white\n"
    "Every form keeps 8 bits a channel (a 16-bit PNG is read at 8 bits), and images\n"
    "are held premultiplied: a straight-alpha pixel that is partly transparent may\n"
    "come back one level off. The output appears whole or not at all; one that is\n"
    "no regular file (a FIFO, a device) is written as it is. With --out-dir every\n"
    "IN is written to DIR under its own name with the format's extension, on every\n"
    "processor; an output that is one of the inputs, or that two inputs share, is\n"
    "not written.\n"
    "\n"
    "  --format F         png, bmp, rgba, prgba or jpeg, whatever OUT's extension\n"
    "  --out-dir DIR      write each IN into the folder DIR (made when missing)\n"
    "  --resize SIZE      WxH fits inside W x H keeping the aspect ratio; W or xH\n"
    "                     sets one side; N% scales (high-quality resampling; a\n"
    "                     JPEG halved or more is decoded at 1/2, 1/4 or 1/8 first)\n"
    "  --no-auto-orient   keep a JPEG as stored instead of turning it upright as its\n"
    "                     EXIF orientation says\n"
    "  --level N          PNG compression level, 0 (fastest) to 9 (smallest;\n"
    "                     default 6)\n"
    "  --quality N        JPEG quality, 1 to 100 (default 90)\n"
    "  --icon WxH         for icons and cursors, the entry closest to W x H (each 0\n"
    "                     to 256; default 0x0, no preference)\n"
    "  --depth N          for icons and cursors, the entry's bits a pixel: 1, 4, 8,\n"
    "                     16, 24 or 32 (default 32)\n"
    "  --jobs N           files converted at once with --out-dir, 1 to 256 (default:\n"
    "                     one per processor)\n"
    "\n"
    "A truncated JPEG or a GIF of several frames gives a warning line (-q: none).\n"
    "Exit status 0 on success, 1 when any file failed to load or write (one line\n"
    "each on standard error), 2 for a usage error.\n";

constexpr KnownOption kConvertOptions[] = {
    {"--format", true},          {"--out-dir", true}, {"--resize", true},
    {"--no-auto-orient", false}, {"--level", true},   {"--icon", true},
    {"--depth", true},           {"--jobs", true},    {"--quality", true},
};

struct ConvertSettings {
    IconChoice icon;
    std::optional<SizeRequest> resize;
    bool autoOrient = true;
    EncodeSettings encode;
};

std::optional<std::string> convertOne(const std::string& in, const std::string& out,
                                      OutputFormat format, const ConvertSettings& s,
                                      Console& console) {
    LoadOptions load;
    load.icon = s.icon;
    // The image, a turned copy or the resized one beside it.
    load.jobPixels = [&s](std::uint64_t w, std::uint64_t h) {
        std::uint64_t extra = w * h;
        if (s.resize) {
            const auto [rw, rh] =
                s.resize->fit(static_cast<std::int64_t>(std::max<std::uint64_t>(w, 1)),
                              static_cast<std::int64_t>(std::max<std::uint64_t>(h, 1)));
            extra = static_cast<std::uint64_t>(std::max<std::int64_t>(rw, 0)) *
                    static_cast<std::uint64_t>(std::max<std::int64_t>(rh, 0));
        }
        return w * h + std::min(extra, pixelLimit());
    };
    load.autoOrient = s.autoOrient;
    // A JPEG resized to half its size or less is decoded reduced, straight to that size.
    if (s.resize)
        load.drawSize = [&s](std::int64_t w, std::int64_t h) -> std::optional<PixelSize> {
            const PixelSize size = s.resize->fit(w, h);
            if (sizeFailure(size.first, size.second)) return std::nullopt;
            return size;
        };
    LoadedImage loaded = loadImage(in, load);
    if (!loaded.image) return failureLine("load", in, loaded.failure);
    if (!loaded.warning.empty())
        console.warning("talvrin-image convert: warning: '" + in + "': " + loaded.warning);
    if (!applyOrientation(loaded.image, loaded.orientation))
        return failureLine("turn", in, outOfMemory(), " upright");
    std::unique_ptr<c32bppDIB> image = std::move(loaded.image);
    if (s.resize) {
        const auto [w, h] = s.resize->fit(loaded.fullSize.first, loaded.fullSize.second);
        if (auto problem = sizeFailure(w, h)) return failureLine("resize", in, *problem);
        // A JPEG loaded for this size already has it.
        if (image->Width() != w || image->Height() != h) {
            image = resized(*image, static_cast<std::int32_t>(w), static_cast<std::int32_t>(h));
            if (!image) return failureLine("resize", in, outOfMemory());
        }
    }
    return writeImage(*image, format, s.encode, out);
}

}  // namespace

int convertCommand(std::span<const std::string> args, Console& console) {
    try {
        const ParsedArguments parsed = parseArguments(args, withCommonOptions(kConvertOptions));
        if (parsed.has("--help")) {
            console.out(kConvertUsage);
            return 0;
        }
        const CommonSettings common(parsed, console);
        ConvertSettings s;
        if (const auto v = parsed.value("--icon")) {
            const auto [w, h] = sizeIn("--icon", *v, 0, 256);
            s.icon.width = w;
            s.icon.height = h;
        }
        if (const auto v = parsed.value("--depth"))
            s.icon.depth = wholeOneOf("--depth", *v, {1, 4, 8, 16, 24, 32});
        if (const auto v = parsed.value("--resize")) s.resize = SizeRequest::parse("--resize", *v);
        if (const auto v = parsed.value("--level"))
            s.encode.pngLevel = static_cast<std::int32_t>(wholeIn("--level", *v, 0, 9));
        if (const auto v = parsed.value("--quality"))
            s.encode.jpegQuality = static_cast<std::int32_t>(wholeIn("--quality", *v, 1, 100));
        unsigned jobs = defaultThreads();
        if (const auto v = parsed.value("--jobs"))
            jobs = static_cast<unsigned>(wholeIn("--jobs", *v, 1, 256));
        s.autoOrient = !parsed.has("--no-auto-orient");
        const OutputPlan plan = planOutputs(parsed, true, OutputFormat::kPng);
        return runBatch(plan.inputs, plan.batch ? jobs : 1, console, "talvrin-image convert",
                        [&](std::size_t i) -> std::optional<std::string> {
                            if (plan.refused[i]) return plan.refused[i];
                            return convertOne(plan.inputs[i], plan.outputs[i], plan.format, s,
                                              console);
                        });
    } catch (const UsageError& e) {
        return usageError(console, "convert", e.what());
    } catch (const PlanError& e) {
        return planError(console, "convert", e.what());
    }
}

}  // namespace talvrin::tool
