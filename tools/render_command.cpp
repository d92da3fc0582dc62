// talvrin-image render: the image control in a headless host. The image is loaded into a control
// of the asked size in a running program, the options set the control's public properties of
// the same meaning, and one full paint onto a background is written as an image file.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "image/bridge/gdiplus.h"
#include "image/codecs/ico_parser.h"
#include "image/control/headless_host.h"
#include "image/control/image_scales.h"
#include "image/control/vitrel.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"
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

constexpr const char* kRenderUsage =
    "usage: talvrin-image render IN OUT [options]\n"
    "       talvrin-image render IN... --out-dir DIR [options]\n"
    "\n"
    "Loads IN ('-' reads standard input) into an image control, sets its properties\n"
    "from the options and writes one full paint of it onto the background, as PNG\n"
    "or in the format OUT's extension or --format names (as convert writes them).\n"
    "The surfaces the render holds together (the image, the output, the cache of\n"
    "--autoredraw, a rotation's square, the shadow, and without the bridge a\n"
    "transparent render's second paint) may not exceed the pixel budget\n"
    "(--max-pixels).\n"
    "  --size SIZE            the output's size: WxH fits inside W x H keeping the\n"
    "                         aspect ratio, W or xH sets one side, N% scales\n"
    "                         (default 100%)\n"
    "  --canvas               the output is the whole W x H box of --size WxH, the\n"
    "                         image fitted inside it (bars of background around)\n"
    "  --scale fit|stretch|fit-no-enlarge|actual|custom:WxH   scale method (fit)\n"
    "  --angle DEG            rotate by DEG degrees, -360 to 360 (turns rotation on;\n"
    "                         the control turns by whole degrees: DEG is rounded)\n"
    "  --opacity PCT          opacity percent, 0 to 100\n"
    "  --grayscale N          grayscale formula, 0 (none) to 8\n"
    "  --intensity L          lightness change, -100 to 100\n"
    "  --mirror N             0 none, 1 left to right, 2 top to bottom, 3 both\n"
    "  --invert               invert the colours\n"
    "  --mask MASK            transparent colour: color:RRGGBB, or the colour of a\n"
    "                         corner: top-left, top-right, bottom-left, bottom-right\n"
    "  --shadow DEPTH,RRGGBB,OPACITY,DX,DY   drop shadow: depth 0 to 10, opacity\n"
    "                         0 to 100, offsets -10000 to 10000\n"
    "  --nearest              nearest-neighbour scaling instead of high quality\n"
    "  --autoredraw           paint from the control's cached drawing\n"
    "  --background RRGGBB|transparent   what the control is painted over (ffffff)\n"
    "  --no-auto-orient       keep a JPEG as stored instead of turning it upright\n"
    "  --format F, --out-dir DIR, --level N, --quality N, --jobs N   as for convert\n"
    "Colours are rrggbb or #rrggbb. Exit status 0 on success, 1 when any file failed\n"
    "to load or write (one line each on standard error), 2 for a usage error.\n";

struct Options {
    std::optional<SizeRequest> size;
    bool canvas = false;
    std::int32_t method = 0, customW = 0, customH = 0;
    std::optional<std::int32_t> angle, opacity, grayscale, mirror, maskStyle;
    std::optional<float> intensity;
    std::optional<std::uint32_t> maskColour;
    bool invert = false, nearest = false, autoRedraw = false, autoOrient = true;
    struct Shadow {
        std::int32_t depth, opacity, dx, dy;
        std::uint32_t colour;
    };
    std::optional<Shadow> shadow;
    std::optional<std::uint32_t> background = 0xFFFFFF;  // nothing: transparent
    EncodeSettings encode;
};

constexpr KnownOption kRenderOptions[] = {
    {"--size", true},        {"--canvas", false},    {"--scale", true},
    {"--angle", true},       {"--opacity", true},    {"--grayscale", true},
    {"--intensity", true},   {"--mirror", true},     {"--invert", false},
    {"--mask", true},        {"--shadow", true},     {"--nearest", false},
    {"--autoredraw", false}, {"--background", true}, {"--no-auto-orient", false},
    {"--format", true},      {"--out-dir", true},    {"--level", true},
    {"--jobs", true},        {"--quality", true},
};

std::vector<std::string> splitCommas(const std::string& s) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto comma = s.find(',', start);
        parts.push_back(s.substr(start, comma - start));
        if (comma == std::string::npos) return parts;
        start = comma + 1;
    }
}

// The options' values, each checked against its range; throws UsageError.
Options parseOptions(const ParsedArguments& a) {
    Options o;
    const auto whole = [](const char* name, const std::string& v, std::int64_t min,
                          std::int64_t max) {
        return static_cast<std::int32_t>(wholeIn(name, v, min, max));
    };
    if (const auto v = a.value("--size")) o.size = SizeRequest::parse("--size", *v);
    o.canvas = a.has("--canvas");
    if (o.canvas && !(o.size && o.size->box()))
        throw UsageError("--canvas needs the box of --size WxH");
    if (const auto v = a.value("--scale")) {
        static const std::pair<const char*, int> kMethods[] = {
            {"fit", 0}, {"stretch", 1}, {"fit-no-enlarge", 2}, {"actual", 3}};
        bool known = false;
        for (const auto& [name, m] : kMethods)
            if (*v == name) o.method = m, known = true;
        if (!known && v->rfind("custom:", 0) == 0) {
            const auto [w, h] = sizeIn("--scale custom", std::string_view(*v).substr(7), 1,
                                       std::numeric_limits<std::int32_t>::max());
            o.method = 4;
            o.customW = w;
            o.customH = h;
            known = true;
        }
        if (!known)
            throw UsageError(
                "--scale wants fit, stretch, fit-no-enlarge, actual or custom:WxH, "
                "not '" +
                *v + "'");
    }
    if (const auto v = a.value("--angle"))
        o.angle = static_cast<std::int32_t>(std::lround(decimalIn("--angle", *v, -360, 360)));
    if (const auto v = a.value("--opacity")) o.opacity = whole("--opacity", *v, 0, 100);
    if (const auto v = a.value("--grayscale")) o.grayscale = whole("--grayscale", *v, 0, 8);
    if (const auto v = a.value("--intensity"))
        o.intensity = static_cast<float>(decimalIn("--intensity", *v, -100, 100));
    if (const auto v = a.value("--mirror")) o.mirror = whole("--mirror", *v, 0, 3);
    if (const auto v = a.value("--mask")) {
        static const std::pair<const char*, int> kCorners[] = {
            {"top-left", 2}, {"top-right", 3}, {"bottom-left", 4}, {"bottom-right", 5}};
        for (const auto& [name, style] : kCorners)
            if (*v == name) o.maskStyle = style;
        if (!o.maskStyle) {
            if (v->rfind("color:", 0) != 0)
                throw UsageError(
                    "--mask wants color:RRGGBB or a corner (top-left, top-right, "
                    "bottom-left, bottom-right), not '" +
                    *v + "'");
            o.maskColour = colourOf("--mask color:", std::string_view(*v).substr(6));
            o.maskStyle = 1;
        }
    }
    if (const auto v = a.value("--shadow")) {
        const auto p = splitCommas(*v);
        if (p.size() != 5)
            throw UsageError("--shadow wants DEPTH,RRGGBB,OPACITY,DX,DY, not '" + *v + "'");
        o.shadow = Options::Shadow{
            whole("--shadow depth", p[0], 0, 10), whole("--shadow opacity", p[2], 0, 100),
            whole("--shadow DX", p[3], -10000, 10000), whole("--shadow DY", p[4], -10000, 10000),
            colourOf("--shadow colour", p[1])};
    }
    if (const auto v = a.value("--background")) {
        if (*v == "transparent") {
            o.background.reset();
        } else {
            o.background = colourOf("--background", *v);
        }
    }
    if (const auto v = a.value("--level")) o.encode.pngLevel = whole("--level", *v, 0, 9);
    if (const auto v = a.value("--quality")) o.encode.jpegQuality = whole("--quality", *v, 1, 100);
    o.invert = a.has("--invert");
    o.nearest = a.has("--nearest");
    o.autoRedraw = a.has("--autoredraw");
    o.autoOrient = !a.has("--no-auto-orient");
    return o;
}

// Products of pixel counts, held at the largest value rather than wrapping.
std::uint64_t times(std::uint64_t a, std::uint64_t b) noexcept {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    return a != 0 && b > kMax / a ? kMax : a * b;
}
std::uint64_t plus(std::uint64_t a, std::uint64_t b) noexcept {
    return a > std::numeric_limits<std::uint64_t>::max() - b
               ? std::numeric_limits<std::uint64_t>::max()
               : a + b;
}
std::uint64_t side(std::int64_t v) noexcept {
    return static_cast<std::uint64_t>(std::max<std::int64_t>(v, 0));
}

// The output's size for an image of w x h: the box of --canvas, the fit of --size, or its own.
std::pair<std::int64_t, std::int64_t> targetSize(const Options& o, std::int64_t w, std::int64_t h) {
    if (o.canvas) return *o.size->box();
    if (o.size) return o.size->fit(w, h);
    return {w, h};
}

// The size the control will draw an upright image of w x h at, for a load made for that size
// (a JPEG decoded reduced): the control's own sizing of an unrotated image, so that it then
// draws the loaded image as it is. Nothing where the control draws the image at its own size,
// or where a smaller image would draw differently: turned (the square follows the image's
// own diagonal), by a mask colour (matched on the stored pixels) or by nearest neighbours.
std::optional<PixelSize> drawnSize(const Options& o, std::int64_t w, std::int64_t h) {
    constexpr std::int64_t kSide = std::numeric_limits<std::int32_t>::max();
    if (o.angle || o.maskStyle || o.nearest || o.method == 3) return std::nullopt;
    if (w < 1 || h < 1 || w > kSide || h > kSide) return std::nullopt;
    if (o.method == 4) return PixelSize{o.customW, o.customH};
    const auto [bw, bh] = targetSize(o, w, h);
    return unrotatedImageScales(o.method, static_cast<std::int32_t>(w),
                                static_cast<std::int32_t>(h), double(bw), double(bh));
}

// Over nothing, without the imaging bridge's draws: the own engine's draws onto a device context
// leave alpha 0 behind them, as the desktop's do, so the alpha is told from two paints.
bool paintsTwice(const Vitrel& control, const Options& o) {
    return !o.background && !(bridge::backendAvailable() && control.surface().isGDIplusEnabled());
}

// The pixels of every surface one render holds at its peak: the image, the painted output (two
// when it paints twice), the cache of --autoredraw (the control's size), a rotation's working
// square, and the shadow (made from the cache, or from a scaled copy of the image).
std::uint64_t renderPixels(const Vitrel& control, const Options& o, std::int64_t w,
                           std::int64_t h) {
    const Vitrel::Layout& l = control.layout();
    const std::uint64_t cw = side(w), ch = side(h);
    std::uint64_t sum = plus(
        times(side(control.surface().Width()), side(control.surface().Height())), times(cw, ch));
    if (paintsTwice(control, o)) sum = plus(sum, times(cw, ch));
    if (o.autoRedraw) sum = plus(sum, times(cw, ch));
    if (o.angle) sum = plus(sum, times(side(l.square), side(l.square)));
    if (o.shadow) {
        const std::uint64_t margin = 2 * side(o.shadow->depth);
        const std::uint64_t sw = side(l.scaledWidth), sh = side(l.scaledHeight);
        sum = plus(sum, o.autoRedraw
                            ? times(plus(cw, margin), plus(ch, margin))
                            : plus(times(sw, sh), times(plus(sw, margin), plus(sh, margin))));
    }
    return sum;
}

// One paint of the control onto a 32-bit bitmap filled with the pixel (0: transparent).
std::unique_ptr<platform::Bitmap> paintOnto(Vitrel& control, std::int32_t w, std::int32_t h,
                                            std::uint32_t pixel) {
    auto bitmap = platform::Bitmap::create(w, h, 32);
    auto dc = platform::DeviceContext::createCompatible();
    if (!bitmap || !dc) return nullptr;
    if (pixel != 0)
        for (std::int32_t y = 0; y < h; ++y)
            for (std::int32_t x = 0; x < w; ++x)
                std::memcpy(bitmap->rowFromTop(y) + std::size_t(x) * 4, &pixel, 4);
    dc->select(bitmap.get());
    control.Paint(*dc);
    return bitmap;
}

// The control painted as the options ask, as a bitmap of premultiplied pixels with their alpha.
// Over a background: one paint, every pixel opaque (alpha is set, not read: see paintsTwice).
// Over nothing: one paint onto transparent pixels when the imaging bridge draws (its draws, and
// the system's alpha blend, compose the alpha); without it two, over black and over white,
// which tell each pixel's alpha (white - black = 255 - alpha) and its colour (the one over
// black).
std::unique_ptr<platform::Bitmap> paintControl(Vitrel& control, std::int32_t w, std::int32_t h,
                                               const Options& o) {
    const bool twoPaints = paintsTwice(control, o);
    auto painted = paintOnto(control, w, h,
                             o.background ? pixelFromColor(*o.background, 255)
                             : twoPaints  ? pixelFromColor(0, 255)
                                          : 0);
    std::unique_ptr<platform::Bitmap> white;
    if (twoPaints) {
        white = paintOnto(control, w, h, 0xFFFFFFFFu);
        if (!white) return nullptr;
    }
    if (!painted) return nullptr;
    for (std::int32_t y = 0; y < h; ++y) {
        std::uint8_t* p = painted->rowFromTop(y);
        const std::uint8_t* over = white ? white->rowFromTop(y) : nullptr;
        for (std::int32_t x = 0; x < w; ++x, p += 4) {
            std::uint8_t alpha = o.background ? 255 : p[3];
            if (over) {
                const int diff = int(over[4 * x + 1]) - int(p[1]);
                alpha = static_cast<std::uint8_t>(255 - std::clamp(diff, 0, 255));
            }
            // A resampling kernel may overshoot: no colour above its alpha.
            for (int c = 0; c < 3; ++c)
                p[c] = std::min(p[c], alpha);
            p[3] = alpha;
        }
    }
    return painted;
}

// Renders one file; the error line on failure.
std::optional<std::string> renderOne(const std::string& in, const std::string& out,
                                     OutputFormat format, const Options& o, Console& console) {
    // The file is read and decoded once, by the tool: its size decides the control's, a JPEG
    // stored on its side reaches the control upright, and the control takes the decoded image.
    // For icons and cursors the drawing is sized by the entry nearest 32 x 32, and the entry
    // nearest that size is decoded, as the control would choose it from the stored bytes.
    std::optional<std::pair<std::int64_t, std::int64_t>> iconSized;
    LoadOptions load;
    load.iconFor = [&](std::span<const std::uint8_t> bytes) -> IconChoice {
        cICOparser directory;
        std::int32_t length = 0;
        if (!directory.LoadStream(bytes, 0, 0, nullptr, 0, length)) return {};
        const std::int32_t best = directory.SelectBestEntry(32, 32, 32);
        if (best < 1) return {};
        iconSized = targetSize(o, directory.Width(best), directory.Height(best));
        const auto clamp = [](std::int64_t v) {
            return static_cast<std::int32_t>(
                std::clamp<std::int64_t>(v, 0, std::numeric_limits<std::int32_t>::max()));
        };
        return {clamp(iconSized->first), clamp(iconSized->second), 32};
    };
    load.jobPixels = [&o](std::uint64_t w, std::uint64_t h) {
        const auto [tw, th] =
            targetSize(o, static_cast<std::int64_t>(std::max<std::uint64_t>(w, 1)),
                       static_cast<std::int64_t>(std::max<std::uint64_t>(h, 1)));
        const std::uint64_t copies = 1 + (o.autoRedraw ? 1 : 0) + (o.shadow ? 2 : 0) +
                                     (o.angle ? 2 : 0) +
                                     (!o.background && !bridge::backendAvailable() ? 1 : 0);
        return std::min(plus(times(w, h), times(times(side(tw), side(th)), copies)), pixelLimit());
    };
    load.autoOrient = o.autoOrient;
    load.drawSize = [&o](std::int64_t w, std::int64_t h) { return drawnSize(o, w, h); };
    LoadedImage loaded = loadImage(in, load);
    if (!loaded.image) return failureLine("load", in, loaded.failure);
    if (!loaded.warning.empty())
        console.warning("talvrin-image render: warning: '" + in + "': " + loaded.warning);
    if (!applyOrientation(loaded.image, loaded.orientation))
        return failureLine("turn", in, outOfMemory(), " upright");

    const auto [width, height] =
        iconSized ? *iconSized : targetSize(o, loaded.fullSize.first, loaded.fullSize.second);
    if (auto problem = sizeFailure(width, height)) return failureLine("render", in, *problem);
    const auto w = static_cast<std::int32_t>(width), h = static_cast<std::int32_t>(height);

    std::unique_ptr<platform::Bitmap> painted;
    {
        HeadlessHost host(w, h);
        Vitrel control(host);
        // The custom size comes in as a stored bag does, with the image already decoded; the
        // rest through the control's properties, the cache and the shadow last, once the
        // drawing is known to fit, so that each is made once.
        PropertyBag bag;
        bag.writeInt32("Scaler", o.method, 0);
        bag.writeInt32("ScaleCx", o.customW, 0);
        bag.writeInt32("ScaleCy", o.customH, 0);
        bag.writeInt32("Props", Vitrel::kFlagStretchQuality, 1);
        control.ReadProperties(bag, std::move(loaded.image));
        if (!control.surface().BitsPointer())
            return failureLine("load", in, Failure::of(control.surface().lastLoadFailure()));
        if (o.nearest) control.setStretchQuality(false);
        if (o.angle) {
            control.setRotateEnabled(true);
            control.setRotation(*o.angle);
        }
        if (o.opacity) control.setOpacity(*o.opacity);
        if (o.grayscale) control.setGrayScale(*o.grayscale);
        if (o.intensity) control.setIntensityOffset(*o.intensity);
        if (o.mirror) control.setMirror(*o.mirror);
        if (o.invert) control.setInversedImage(true);
        if (o.maskStyle) {
            if (o.maskColour) control.setMaskColor(*o.maskColour);
            control.setMaskUsed(*o.maskStyle);
        }
        control.Resize();
        // The budget bounds all the surfaces the render holds together, not each alone.
        if (const std::uint64_t pixels = renderPixels(control, o, w, h); pixels > pixelLimit())
            return failureLine("render", in,
                               tooLarge(std::to_string(pixels) + " pixels of surfaces in all"),
                               ": the drawing");
        if (o.autoRedraw) control.setAutoRedraw(true);
        if (o.shadow) {
            control.setShadowDepth(o.shadow->depth);
            control.setShadowColor(o.shadow->colour);
            control.setShadowOpacity(o.shadow->opacity);
            control.setShadowOffsetX(o.shadow->dx);
            control.setShadowOffsetY(o.shadow->dy);
            control.setShadowEnabled(true);
        }
        // A custom size, a rotation square or a shadow beyond the budget: the control draws
        // nothing.
        if (!control.drawingFitsBudget())
            return failureLine("render", in, tooLarge(""), ": the drawing");
        painted = paintControl(control, w, h, o);
    }
    // The control and its surfaces are gone; the painted bitmap becomes the result as it is.
    c32bppDIB result;
    if (!painted || !result.AdoptBitmap(painted)) return failureLine("render", in, outOfMemory());
    // Over a background every pixel is opaque: filling what is left transparent with the
    // background (nothing) settles the alpha flag from the pixels, and the PNG is the opaque
    // form. Over nothing the fresh surface's flag stands: the drawing is translucent.
    if (o.background) result.MakeTransparent(*o.background, true);
    return writeImage(result, format, o.encode, out);
}

}  // namespace

int renderCommand(std::span<const std::string> args, Console& console) {
    try {
        const ParsedArguments parsed = parseArguments(args, withCommonOptions(kRenderOptions));
        if (parsed.has("--help")) {
            console.out(kRenderUsage);
            return 0;
        }
        const CommonSettings common(parsed, console);
        const Options o = parseOptions(parsed);
        unsigned jobs = defaultThreads();
        if (const auto v = parsed.value("--jobs"))
            jobs = static_cast<unsigned>(wholeIn("--jobs", *v, 1, 256));
        const OutputPlan plan = planOutputs(parsed, false, OutputFormat::kPng);
        return runBatch(plan.inputs, plan.batch ? jobs : 1, console, "talvrin-image render",
                        [&](std::size_t i) -> std::optional<std::string> {
                            if (plan.refused[i]) return plan.refused[i];
                            return renderOne(plan.inputs[i], plan.outputs[i], plan.format, o,
                                             console);
                        });
    } catch (const UsageError& e) {
        return usageError(console, "render", e.what());
    } catch (const PlanError& e) {
        return planError(console, "render", e.what());
    }
}

}  // namespace talvrin::tool
