// talvrin-image render: the image control in a headless host. The image is loaded into a control
// of the given size in a running program, the options set the control's public properties of
// the same meaning, and one full paint onto a background is written as a PNG.
#include "tools/render_command.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/checked_math.h"
#include "base/decode_budget.h"
#include "base/whole_file.h"
#include "image/codecs/png_writer.h"
#include "image/control/vitrel.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"
#include "platform/os/files.h"

namespace talvrin {
namespace {

constexpr const char* kRenderUsage =
    "usage: talvrin-image render IN OUT.png --size WxH [options]\n"
    "\n"
    "Loads IN into an image control of W x H pixels, sets its properties from the options and\n"
    "writes one full paint of it onto the background as a PNG. The control's size, and the\n"
    "drawing the options ask for, may not exceed the pixel budget (--max-pixels):\n"
    "  --scale fit|stretch|fit-no-enlarge|actual|custom:WxH   scale method (default fit)\n"
    "  --angle DEG            rotate by DEG degrees (turns rotation on)\n"
    "  --opacity PCT          opacity percent\n"
    "  --grayscale N          grayscale formula, 0 (none) to 8\n"
    "  --intensity L          lightness change, -100 to 100\n"
    "  --mirror 0-3           1 mirrors left to right, 2 top to bottom, 3 both\n"
    "  --invert               invert the colours\n"
    "  --mask color:RRGGBB|top-left|top-right|bottom-left|bottom-right   transparent colour\n"
    "  --shadow DEPTH,RRGGBB,OPACITY,DX,DY   drop shadow\n"
    "  --nearest              nearest-neighbour scaling instead of high quality\n"
    "  --autoredraw           paint from the control's cached drawing\n"
    "  --background RRGGBB|transparent   what the control is painted over (default ffffff)\n"
    "Exit status 0 on success, 1 when loading or writing failed, 2 for a usage error.\n";

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

std::optional<std::int64_t> number(std::string_view s) {
    if (s.empty() || s.size() > 18) return std::nullopt;
    bool negative = s.front() == '-';
    if (negative) s.remove_prefix(1);
    if (s.empty()) return std::nullopt;
    std::int64_t v = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return negative ? -v : v;
}

// A whole number in the 32-bit range.
std::optional<std::int32_t> int32Of(std::string_view s) {
    const auto v = number(s);
    return v ? checkedCast<std::int32_t>(*v) : std::nullopt;
}

std::optional<double> decimal(const std::string& s) {
    try {
        std::size_t used = 0;
        const double v = std::stod(s, &used);
        if (used != s.size() || !std::isfinite(v)) return std::nullopt;
        return v;
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<std::pair<std::int32_t, std::int32_t>> sizeOf(std::string_view s) {
    const auto x = s.find_first_of("xX");
    if (x == std::string_view::npos) return std::nullopt;
    const auto w = int32Of(s.substr(0, x)), h = int32Of(s.substr(x + 1));
    if (!w || !h || *w < 0 || *h < 0) return std::nullopt;
    return std::make_pair(*w, *h);
}

// RRGGBB as the 0x00BBGGRR colour the control takes.
std::optional<std::uint32_t> colour(std::string_view s) {
    if (s.size() != 6) return std::nullopt;
    std::uint32_t v = 0;
    for (const char c : s) {
        const int d = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
        if (d < 0) return std::nullopt;
        v = v << 4 | static_cast<std::uint32_t>(d);
    }
    return ((v & 0xFF) << 16) | (v & 0xFF00) | (v >> 16);
}

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

struct Options {
    std::int32_t width = 0, height = 0;
    std::int32_t method = 0, customW = 0, customH = 0;
    std::optional<std::int32_t> angle, opacity, grayscale, mirror, maskStyle;
    std::optional<float> intensity;
    std::optional<std::uint32_t> maskColour;
    bool invert = false, nearest = false, autoRedraw = false;
    struct Shadow {
        std::int32_t depth, opacity, dx, dy;
        std::uint32_t colour;
    };
    std::optional<Shadow> shadow;
    std::optional<std::uint32_t> background = 0xFFFFFF;  // nothing: transparent
};

// Parses the options; a message on standard error and nothing for a usage error.
std::optional<Options> parse(const std::vector<std::string>& args) {
    Options o;
    bool haveSize = false;
    const auto fail = [](const std::string& what) {
        std::fprintf(stderr, "talvrin-image render: %s\n", what.c_str());
        std::fputs(kRenderUsage, stderr);
        return std::nullopt;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool flag = a == "--invert" || a == "--nearest" || a == "--autoredraw";
        if (!flag && i + 1 >= args.size()) return fail(a + " needs a value");
        const std::string v = flag ? std::string() : args[++i];
        if (a == "--size") {
            const auto s = sizeOf(v);
            if (!s || s->first < 1 || s->second < 1)
                return fail("--size wants WxH, not '" + v + "'");
            o.width = s->first;
            o.height = s->second;
            haveSize = true;
        } else if (a == "--scale") {
            static const std::pair<const char*, int> kMethods[] = {
                {"fit", 0}, {"stretch", 1}, {"fit-no-enlarge", 2}, {"actual", 3}};
            bool known = false;
            for (const auto& [name, m] : kMethods)
                if (v == name) o.method = m, known = true;
            if (!known && v.rfind("custom:", 0) == 0) {
                const auto s = sizeOf(std::string_view(v).substr(7));
                if (!s) return fail("--scale custom wants custom:WxH");
                o.method = 4;
                o.customW = s->first;
                o.customH = s->second;
                known = true;
            }
            if (!known) return fail("unknown scale method '" + v + "'");
        } else if (a == "--angle" || a == "--opacity" || a == "--grayscale" || a == "--mirror") {
            const auto n = number(v);
            if (!n || *n < -1000000 || *n > 1000000) return fail(a + " wants a whole number");
            const auto value = static_cast<std::int32_t>(*n);
            (a == "--angle"       ? o.angle
             : a == "--opacity"   ? o.opacity
             : a == "--grayscale" ? o.grayscale
                                  : o.mirror) = value;
        } else if (a == "--intensity") {
            const auto d = decimal(v);
            if (!d) return fail("--intensity wants a number");
            o.intensity = static_cast<float>(*d);
        } else if (a == "--mask") {
            static const std::pair<const char*, int> kCorners[] = {
                {"top-left", 2}, {"top-right", 3}, {"bottom-left", 4}, {"bottom-right", 5}};
            for (const auto& [name, style] : kCorners)
                if (v == name) o.maskStyle = style;
            if (!o.maskStyle && v.rfind("color:", 0) == 0) {
                o.maskColour = colour(std::string_view(v).substr(6));
                if (o.maskColour) o.maskStyle = 1;
            }
            if (!o.maskStyle) return fail("--mask wants color:RRGGBB or a corner");
        } else if (a == "--shadow") {
            const auto p = splitCommas(v);
            const auto c = p.size() == 5 ? colour(p[1]) : std::nullopt;
            const auto d = p.size() == 5 ? int32Of(p[0]) : std::nullopt;
            const auto op = p.size() == 5 ? int32Of(p[2]) : std::nullopt;
            const auto dx = p.size() == 5 ? int32Of(p[3]) : std::nullopt;
            const auto dy = p.size() == 5 ? int32Of(p[4]) : std::nullopt;
            if (!c || !d || !op || !dx || !dy)
                return fail("--shadow wants DEPTH,RRGGBB,OPACITY,DX,DY");
            o.shadow = Options::Shadow{*d, *op, *dx, *dy, *c};
        } else if (a == "--background") {
            if (v == "transparent") {
                o.background.reset();
            } else if (const auto c = colour(v)) {
                o.background = *c;
            } else {
                return fail("--background wants RRGGBB or transparent");
            }
        } else if (a == "--invert") {
            o.invert = true;
        } else if (a == "--nearest") {
            o.nearest = true;
        } else if (a == "--autoredraw") {
            o.autoRedraw = true;
        } else {
            return fail("unknown option '" + a + "'");
        }
    }
    if (!haveSize) return fail("--size WxH is required");
    return o;
}

// The most pixels a surface may have now: the budget, or without one the 32-bit byte limit.
std::uint64_t pixelLimit() {
    constexpr std::uint64_t kSurfaceLimit = std::numeric_limits<std::int32_t>::max() / 4;
    const std::uint64_t budget = decodeBudget();
    return budget == 0 ? kSurfaceLimit : std::min(budget, kSurfaceLimit);
}

int tooLarge(const std::string& what) {
    std::fprintf(stderr,
                 "talvrin-image render: %s: error=too large (the pixel budget is %llu pixels, "
                 "--max-pixels)\n",
                 what.c_str(), static_cast<unsigned long long>(pixelLimit()));
    return 1;
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

}  // namespace

int render(int argc, char** argv) {
    std::vector<std::string> args(argv, argv + argc);
    for (const auto& a : args)
        if (a == "--help" || a == "-h") {
            std::fputs(kRenderUsage, stdout);
            return 0;
        }
    if (args.size() < 2 || args[0].rfind("--", 0) == 0 || args[1].rfind("--", 0) == 0) {
        std::fputs(kRenderUsage, stderr);
        return 2;
    }
    const std::string in = args[0], out = args[1];
    if (out.size() < 4 || out.compare(out.size() - 4, 4, ".png") != 0) {
        std::fprintf(stderr, "talvrin-image render: OUT must be a .png file\n");
        return 2;
    }
    const auto options = parse({args.begin() + 2, args.end()});
    if (!options) return 2;
    const Options& o = *options;
    // The canvas: three bitmaps of its size and the control's cache.
    if (!withinDecodeBudget(static_cast<std::uint64_t>(o.width),
                            static_cast<std::uint64_t>(o.height)) ||
        !imageByteCount32(o.width, o.height))
        return tooLarge("--size " + std::to_string(o.width) + "x" + std::to_string(o.height));

    platform::File file = platform::OpenImageFile(in, true);
    std::vector<std::uint8_t> bytes;
    const auto fileSize = file ? file.size() : std::nullopt;
    if (!fileSize || readWholeFile(file, *fileSize, bytes).failed()) {
        std::fprintf(stderr, "talvrin-image render: cannot load '%s': error=unreadable\n",
                     in.c_str());
        return 1;
    }
    HeadlessHost host(o.width, o.height);
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
    if (!control.surface().BitsPointer()) {
        std::fprintf(stderr, "talvrin-image render: cannot load '%s': error=%s\n", in.c_str(),
                     std::string(describe(control.surface().lastLoadFailure().reason)).c_str());
        return 1;
    }
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
    if (!control.drawingFitsBudget()) return tooLarge("the drawing");

    // A transparent background: the paint over black and over white tell each pixel's alpha
    // (white - black = 255 - alpha) and its premultiplied colour (the one over black).
    c32bppDIB result;
    const auto first = paintOnto(control, o.width, o.height, o.background.value_or(0));
    const auto second = o.background ? nullptr : paintOnto(control, o.width, o.height, 0xFFFFFF);
    if (!first || (!o.background && !second) || !result.InitializeDIB(o.width, o.height)) {
        std::fprintf(stderr, "talvrin-image render: out of memory\n");
        return 1;
    }
    for (std::int32_t y = 0; y < o.height; ++y) {
        const std::uint8_t* b = first->rowFromTop(y);
        const std::uint8_t* w = second ? second->rowFromTop(y) : nullptr;
        std::uint8_t* d = result.BitsPointer() + pixelOffset(0, y, o.height, result.scanWidth());
        for (std::int32_t x = 0; x < o.width; ++x, b += 4, d += 4) {
            std::uint8_t alpha = 255;
            if (w) {
                const int diff = int(w[4 * x + 1]) - int(b[1]);
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
    std::vector<std::uint8_t> png;
    // The own encoder, as convert writes PNG: the smallest fitting form on every platform.
    if (!cPNGwriter().WritePNG(result, png)) {
        std::fprintf(stderr, "talvrin-image render: cannot encode the drawing\n");
        return 1;
    }
    std::ofstream f(out, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    if (!f) {
        std::fprintf(stderr, "talvrin-image render: cannot write '%s'\n", out.c_str());
        return 1;
    }
    return 0;
}

}  // namespace talvrin
