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

#include "image/control/vitrel.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"
#include "tools/batch.h"
#include "tools/command.h"
#include "tools/console.h"
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
    "The control, and the drawing the options ask for, may not exceed the pixel\n"
    "budget (--max-pixels).\n"
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
    "  --format F, --out-dir DIR, --level N, --jobs N   as for convert\n"
    "Colours are rrggbb or #rrggbb. Exit status 0 on success, 1 when any file failed\n"
    "to load or write (one line each on standard error), 2 for a usage error.\n";

// A window of a fixed size in a running program; it keeps what the control hands it.
class HeadlessHost final : public VitrelHost {
  public:
    HeadlessHost(std::int32_t w, std::int32_t h) : w_(w), h_(h) {}
    bool userMode() const override { return true; }
    std::int32_t width() const override { return w_; }
    std::int32_t height() const override { return h_; }
    std::int32_t twipsPerPixelX() const override { return 15; }
    std::int32_t twipsPerPixelY() const override { return 15; }
    void requestRepaint() override {}
    void requestResize(std::int32_t, std::int32_t) override {}  // the size is the caller's
    void propertyChanged(std::string_view) override {}
    std::optional<std::int32_t> containerScaleMode() const override { return 3; }
    std::optional<float> pixelsToContainer(float pixels, bool, std::int32_t) const override {
        return pixels;
    }
    bool enabled() const override { return true; }
    void setEnabled(bool) override {}
    std::int16_t mousePointer() const override { return 0; }
    bool setMousePointer(std::int16_t) override { return false; }
    std::optional<StoredPicture> mouseIcon() const override { return std::nullopt; }
    bool setMouseIcon(std::optional<StoredPicture>) override { return false; }
    std::int16_t oleDropMode() const override { return 0; }
    bool setOleDropMode(std::int16_t) override { return false; }
    std::string tag() const override { return {}; }
    void setTag(std::string) override {}

  private:
    std::int32_t w_, h_;
};

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
    std::int32_t level = 9;
};

constexpr KnownOption kRenderOptions[] = {
    {"--size", true},        {"--canvas", false},    {"--scale", true},
    {"--angle", true},       {"--opacity", true},    {"--grayscale", true},
    {"--intensity", true},   {"--mirror", true},     {"--invert", false},
    {"--mask", true},        {"--shadow", true},     {"--nearest", false},
    {"--autoredraw", false}, {"--background", true}, {"--no-auto-orient", false},
    {"--format", true},      {"--out-dir", true},    {"--level", true},
    {"--jobs", true},
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
    if (const auto v = a.value("--level")) o.level = whole("--level", *v, 0, 9);
    o.invert = a.has("--invert");
    o.nearest = a.has("--nearest");
    o.autoRedraw = a.has("--autoredraw");
    o.autoOrient = !a.has("--no-auto-orient");
    return o;
}

// One paint of the control onto a 32-bit bitmap filled with the colour (alpha ignored after).
std::unique_ptr<platform::Bitmap> paintOnto(Vitrel& control, std::int32_t w, std::int32_t h,
                                            std::uint32_t background) {
    auto bitmap = platform::Bitmap::create(w, h, 32);
    auto dc = platform::DeviceContext::createCompatible();
    if (!bitmap || !dc) return nullptr;
    const std::uint32_t pixel = pixelFromColor(background, 255);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x)
            std::memcpy(bitmap->rowFromTop(y) + std::size_t(x) * 4, &pixel, 4);
    dc->select(bitmap.get());
    control.Paint(*dc);
    return bitmap;
}

// Renders one file; the error line on failure.
std::optional<std::string> renderOne(const std::string& in, const std::string& out,
                                     OutputFormat format, const Options& o) {
    // The tool decodes the file first: its size decides the control's, and a JPEG stored on its
    // side reaches the control upright (as a bitmap file, which keeps every pixel).
    LoadedImage loaded = loadImage(in, IconChoice{}, true);
    if (!loaded.image) return "cannot load '" + in + "': error=" + loaded.error;
    std::vector<std::uint8_t> bytes;
    const std::int32_t orientation = o.autoOrient ? storedOrientation(loaded.head) : 1;
    if (orientation != 1) {
        if (!applyOrientation(loaded.image, orientation) || !loaded.image->SaveToStream(bytes))
            return "cannot turn '" + in + "' upright: error=out of memory";
    } else {
        bytes = loaded.image->sourceBytes();
    }
    const std::int64_t imageW = loaded.image->Width(), imageH = loaded.image->Height();
    loaded.image.reset();

    std::int64_t width = imageW, height = imageH;
    if (o.canvas) {
        std::tie(width, height) = *o.size->box();
    } else if (o.size) {
        std::tie(width, height) = o.size->fit(imageW, imageH);
    }
    if (auto problem = sizeProblem(width, height))
        return "cannot render '" + in + "': error=" + *problem;
    const auto w = static_cast<std::int32_t>(width), h = static_cast<std::int32_t>(height);

    HeadlessHost host(w, h);
    Vitrel control(host);
    // The image and the custom size come in as a stored bag does; the rest through the
    // control's properties.
    PropertyBag bag;
    bag.writeBytes("Image", std::move(bytes));
    bag.writeInt32("Scaler", o.method, 0);
    bag.writeInt32("ScaleCx", o.customW, 0);
    bag.writeInt32("ScaleCy", o.customH, 0);
    bag.writeInt32("Props", Vitrel::kFlagStretchQuality, 1);
    control.ReadProperties(bag);
    if (!control.surface().BitsPointer())
        return "cannot load '" + in + "': error=" + explain(control.surface().lastLoadFailure());
    if (o.nearest) control.setStretchQuality(false);
    if (o.autoRedraw) control.setAutoRedraw(true);
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
    if (o.shadow) {
        control.setShadowDepth(o.shadow->depth);
        control.setShadowColor(o.shadow->colour);
        control.setShadowOpacity(o.shadow->opacity);
        control.setShadowOffsetX(o.shadow->dx);
        control.setShadowOffsetY(o.shadow->dy);
        control.setShadowEnabled(true);
    }
    control.Resize();
    // A custom size, a rotation square or a shadow beyond the budget: the control draws nothing.
    if (!control.drawingFitsBudget())
        return "cannot render '" + in + "': the drawing: error=too large (the pixel budget is " +
               std::to_string(pixelLimit()) + " pixels, --max-pixels)";

    // A transparent background: the paint over black and over white tell each pixel's alpha
    // (white - black = 255 - alpha) and its premultiplied colour (the one over black).
    c32bppDIB result;
    const auto first = paintOnto(control, w, h, o.background.value_or(0));
    const auto second = o.background ? nullptr : paintOnto(control, w, h, 0xFFFFFF);
    if (!first || (!o.background && !second) || !result.InitializeDIB(w, h))
        return "cannot render '" + in + "': error=out of memory";
    for (std::int32_t y = 0; y < h; ++y) {
        const std::uint8_t* b = first->rowFromTop(y);
        const std::uint8_t* white = second ? second->rowFromTop(y) : nullptr;
        std::uint8_t* d = result.BitsPointer() + pixelOffset(0, y, h, result.scanWidth());
        for (std::int32_t x = 0; x < w; ++x, b += 4, d += 4) {
            std::uint8_t alpha = 255;
            if (white) {
                const int diff = int(white[4 * x + 1]) - int(b[1]);
                alpha = static_cast<std::uint8_t>(255 - std::clamp(diff, 0, 255));
            }
            for (int c = 0; c < 3; ++c)
                d[c] = std::min(b[c], alpha);
            d[3] = alpha;
        }
    }
    // Over a background every pixel is opaque: filling what is left transparent with the
    // background (nothing) settles the alpha flag from the pixels, and the PNG is the opaque
    // form. Over nothing the fresh surface's flag stands: the drawing is translucent.
    if (o.background) result.MakeTransparent(*o.background, true);
    return writeImage(result, format, o.level, out);
}

}  // namespace

int renderCommand(std::span<const std::string> args, Console& console) {
    try {
        const ParsedArguments parsed = parseArguments(args, withCommonOptions(kRenderOptions));
        if (parsed.has("--help")) {
            console.out(kRenderUsage);
            return 0;
        }
        const CommonSettings common(parsed);
        const Options o = parseOptions(parsed);
        unsigned jobs = defaultThreads();
        if (const auto v = parsed.value("--jobs"))
            jobs = static_cast<unsigned>(wholeIn("--jobs", *v, 1, 256));
        const OutputPlan plan = planOutputs(parsed, false, OutputFormat::kPng);
        return runBatch(plan.inputs, plan.batch ? jobs : 1, console, "talvrin-image render",
                        [&](std::size_t i) -> std::optional<std::string> {
                            if (plan.sameOutputAs[i] >= 0)
                                return "'" + plan.inputs[i] + "': not written, '" +
                                       plan.inputs[static_cast<std::size_t>(plan.sameOutputAs[i])] +
                                       "' is written to '" + plan.outputs[i] + "'";
                            return renderOne(plan.inputs[i], plan.outputs[i], plan.format, o);
                        });
    } catch (const UsageError& e) {
        return usageError(console, "render", e.what());
    }
}

}  // namespace talvrin::tool
