// Vitrel's settings: the setters' rules and change reports, and persistence in the stored bag.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include "fake_host.h"
#include "image/codecs/gifico_test_util.h"
#include "image/surface/c32bpp_dib_internal.h"
#include "image/surface/image_types.h"

namespace talvrin {
namespace {

using testing::HostedControl;
using testutil::Bytes;

// A w x h PNG whose pixel (x, y) is (x * 7, y * 11, 90) and opaque, except a translucent centre.
Bytes pngImage(int w, int h, bool translucentCentre = false) {
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool centre = translucentCentre && x == w / 2 && y == h / 2;
            rgba.insert(rgba.end(), {std::uint8_t(x * 7), std::uint8_t(y * 11), 90,
                                     std::uint8_t(centre ? 128 : 255)});
        }
    return testutil::makePngRgba(w, h, rgba);
}

// The same picture as a bitmap file (an image of a bitmap type, stored as PNG).
Bytes bitmapImage(int w, int h) {
    c32bppDIB dib;
    EXPECT_TRUE(dib.LoadPicture_Stream(pngImage(w, h)));
    SurfaceInternals::setAlpha(dib, false);
    Bytes file;
    EXPECT_TRUE(dib.SaveToStream(file));
    return file;
}

bool load(Vitrel& c, const Bytes& bytes) {
    std::int32_t w = 0, h = 0, d = 0;
    return c.LoadImage_FromArray(bytes, w, h, d);
}

Bytes pixelsOf(const c32bppDIB& dib) {
    return {dib.BitsPointer(), dib.BitsPointer() + dib.scanWidth() * dib.Height()};
}

TEST(VitrelSetters, RulesOfTheValuesAndWhatIsReported) {
    HostedControl t;
    Vitrel& c = t.control;
    // Opacity: 0 stays 0, the rest |value| mod 100 with 0 meaning 100; always reported.
    for (const auto& [in, want] : std::vector<std::pair<int, int>>{
             {100, 100}, {101, 1}, {0, 0}, {150, 50}, {-40, 40}, {200, 100}, {200, 100}}) {
        t.host.changes.clear();
        c.setOpacity(in);
        EXPECT_EQ(c.Opacity(), want) << in;
        EXPECT_EQ(t.host.changes, std::vector<std::string>{"Opacity"}) << in;
    }
    // Rotation: reduced modulo 360 keeping its sign; reported and redrawn only while rotating.
    t.host.changes.clear();
    const int repaints = t.host.repaints;
    c.setRotation(725);
    EXPECT_EQ(c.Rotation(), 5);
    EXPECT_TRUE(t.host.changes.empty());
    EXPECT_EQ(t.host.repaints, repaints);
    c.setRotateEnabled(true);
    c.setRotation(-390);
    EXPECT_EQ(c.Rotation(), -30);
    EXPECT_EQ(t.host.changes, (std::vector<std::string>{"RotateEnabled", "Rotation"}));

    // Values out of range are ignored: nothing changes, nothing is reported.
    t.host.changes.clear();
    c.setMirror(4);
    c.setMirror(-1);
    c.setGrayScale(9);
    c.setGrayScale(-1);
    c.setHitTest(4);
    c.setMaskUsed(6);
    c.setShadowDepth(11);
    c.setShadowOpacity(101);
    c.setIntensityOffset(100.5f);
    c.setIntensityOffset(std::numeric_limits<float>::quiet_NaN());
    EXPECT_TRUE(t.host.changes.empty());
    EXPECT_EQ(c.Mirror(), 0);
    EXPECT_EQ(c.grayScale(), 0);
    EXPECT_EQ(c.HitTest(), 0);
    EXPECT_EQ(c.ShadowDepth(), 2);
    EXPECT_EQ(c.ShadowOpacity(), 50);
    EXPECT_EQ(c.IntensityOffset(), 0.0f);

    // Each setter's change name.
    t.host.changes.clear();
    c.setAutoRedraw(true);
    c.setAutoSize(false);
    c.setScaleMethod(2);
    c.setStretchQuality(false);
    c.setMirror(1);
    c.setGrayScale(3);
    c.setIntensityOffset(-20);
    c.setInversedImage(true);
    c.setHitTest(2);
    c.setKeepOriginalFormat(true);
    c.setMaskColor(0xFF);
    c.setEnabled(false);
    c.setShadowEnabled(true);
    c.setShadowColor(0x123456);
    c.setShadowOffsetX(5);
    c.setShadowOffsetY(6);
    c.setShadowDepth(4);
    c.setShadowOpacity(70);
    c.setMousePointer(2);
    c.setMouseIcon(StoredPicture{{0, 0, 2, 0}});
    c.setOLEDropMode(1);
    EXPECT_EQ(
        t.host.changes,
        (std::vector<std::string>{
            "AutoRedraw",    "AutoSize",    "Stretch",       "StretchQuality", "Mirror",
            "GrayScale",     "Intensity",   "InversedImage", "HitTest",        "KeepOriginalFormat",
            "MaskColor",     "Enabled",     "ShadowEnabled", "ShadowColor",    "ShadowOffsetX",
            "ShadowOffsetY", "ShadowDepth", "ShadowOpacity", "MousePointer",   "MouseIcon",
            "OLEDropMode"}));
    EXPECT_EQ(c.grayScale(), 3);
    EXPECT_EQ(t.host.mousePointer(), 2);
    EXPECT_FALSE(t.host.enabled());
    // The same value again changes and reports nothing (mask colour and opacity excepted).
    t.host.changes.clear();
    c.setScaleMethod(2);
    c.setShadowDepth(4);
    c.setInversedImage(true);
    EXPECT_TRUE(t.host.changes.empty());
}

TEST(VitrelPersistence, TheLogosBagRestoresWithQualityAndAutoSize) {
    std::ifstream in(std::string(TALVRIN_SOURCE_DIR) + "/resources/logo.properties.json");
    std::stringstream text;
    text << in.rdbuf();
    const PropertyBag bag = PropertyBag::fromText(text.str());
    ASSERT_TRUE(bag.contains("image"));
    HostedControl t(128, 128);
    t.control.ReadProperties(bag);
    const Vitrel& c = t.control;
    EXPECT_EQ(c.flags(), Vitrel::kFlagStretchQuality | Vitrel::kFlagAutoSize);
    EXPECT_EQ(c.surface().Width(), 128);
    EXPECT_EQ(c.surface().ImageType(), imgPNG);
    EXPECT_TRUE(c.surface().HighQualityInterpolation());
    EXPECT_EQ(c.layout().scaledWidth, 128);
    EXPECT_EQ(t.host.width(), 128);
    EXPECT_EQ(c.ScaleMethod(), 0);
    EXPECT_EQ(c.Opacity(), 100);
    EXPECT_EQ(c.Mirror(), 0);
    EXPECT_EQ(c.grayScale(), 0);
    EXPECT_FALSE(c.ShadowEnabled());
    EXPECT_EQ(c.ShadowColor(), 0x404040u);
    EXPECT_EQ(c.MaskColor(), 0x8000000Fu);
    // Stored again, the bag keeps the host's own keys and writes only what differs.
    PropertyBag again = bag;
    t.control.WriteProperties(again);
    std::vector<std::string> keys;
    for (const auto& [k, v] : again.entries())
        keys.push_back(k);
    EXPECT_EQ(keys, (std::vector<std::string>{"image", "props", "_extentx", "_extenty"}));
    EXPECT_EQ(again.readInt32("props", 1), 5);
}

TEST(VitrelPersistence, EverySettingRoundTrips) {
    HostedControl a(150, 100, false);
    Vitrel& c = a.control;
    ASSERT_TRUE(load(c, pngImage(40, 30)));
    c.setScaleMethod(4);
    c.setOpacity(60);
    c.setMirror(2);
    c.setRotateEnabled(true);
    c.setRotation(45);
    c.setGrayScale(5);
    c.setHitTest(3);
    c.setStretchQuality(false);
    c.setAutoRedraw(true);
    c.setKeepOriginalFormat(true);
    c.setShadowEnabled(true);
    c.setShadowColor(0x102030);
    c.setShadowDepth(7);
    c.setShadowOffsetX(-3);
    c.setShadowOffsetY(9);
    c.setShadowOpacity(80);
    c.setIntensityOffset(33.5f);
    c.setMaskColor(0x00FF00);
    c.setMousePointer(11);
    c.setOLEDropMode(1);
    c.setMouseIcon(StoredPicture{{0, 0, 2, 0, 1, 0}});
    c.setEnabled(false);
    PropertyBag bag;
    c.WriteProperties(bag);

    HostedControl b(150, 100, false);
    b.control.ReadProperties(PropertyBag::fromText(bag.toText()));
    const Vitrel& r = b.control;
    EXPECT_EQ(r.ScaleMethod(), 4);
    EXPECT_EQ(r.Opacity(), 60);
    EXPECT_EQ(r.Mirror(), 2);
    EXPECT_EQ(r.Rotation(), 45);
    EXPECT_EQ(r.grayScale(), 5);
    EXPECT_EQ(r.HitTest(), 3);
    EXPECT_EQ(r.flags(), c.flags());
    EXPECT_EQ(r.ShadowColor(), 0x102030u);
    EXPECT_EQ(r.ShadowDepth(), 7);
    EXPECT_EQ(r.ShadowOffsetX(), -3);
    EXPECT_EQ(r.ShadowOffsetY(), 9);
    EXPECT_EQ(r.ShadowOpacity(), 80);
    EXPECT_FLOAT_EQ(r.IntensityOffset(), 33.5f);
    EXPECT_EQ(r.MaskColor(), 0x00FF00u);
    EXPECT_EQ(b.host.mousePointer(), 11);
    EXPECT_EQ(b.host.oleDropMode(), 1);
    EXPECT_EQ(b.host.mouseIcon(), c.MouseIcon());
    EXPECT_FALSE(b.host.enabled());
    EXPECT_EQ(pixelsOf(r.surface()), pixelsOf(c.surface())) << "the mirrored image again";
}

TEST(VitrelPersistence, ImagesAreStoredAsLoadedAndComeBackWithTheirEffects) {
    // A bitmap-type image with mirror, mask and inversion: stored as the plain PNG of the image as
    // loaded; the live image keeps its effects; restoring applies them again.
    HostedControl a(64, 64, false);
    Vitrel& c = a.control;
    ASSERT_TRUE(load(c, bitmapImage(20, 10)));
    ASSERT_EQ(c.surface().ImageType(), imgBitmap);
    const Bytes plain = pixelsOf(c.surface());
    c.setMirror(1);
    c.setMaskUsed(2);  // the top-left pixel's colour
    c.setInversedImage(true);
    const Bytes live = pixelsOf(c.surface());
    PropertyBag bag;
    c.WriteProperties(bag);
    EXPECT_EQ(pixelsOf(c.surface()), live) << "storing leaves the live image as it was";
    c32bppDIB stored;
    ASSERT_TRUE(stored.LoadPicture_Stream(bag.readBytes("Image")));
    EXPECT_EQ(stored.ImageType(), imgPNG);
    EXPECT_EQ(pixelsOf(stored), plain);
    HostedControl b(64, 64, false);
    b.control.ReadProperties(bag);
    EXPECT_EQ(pixelsOf(b.control.surface()), live);
    EXPECT_TRUE(b.control.maskInUse());

    // GIF and icon bytes are kept as they were (design time keeps what it loads).
    testutil::GifRecipe g;
    g.width = g.height = 8;
    g.globalTable = testutil::rampTable(4);
    g.minCodeSize = 2;
    g.pixels.assign(64, 1);
    g.beforeImage = {0x21, 0xFE, 30};
    g.beforeImage.resize(33, 'x');
    g.beforeImage.push_back(0);
    const Bytes gif = testutil::makeGif(g);
    HostedControl d(32, 32, false);
    ASSERT_TRUE(load(d.control, gif));
    PropertyBag gifBag;
    d.control.WriteProperties(gifBag);
    EXPECT_EQ(gifBag.readBytes("Image"), gif);

    // An image without kept bytes (a running control, a picture object) is stored as PNG.
    HostedControl e(32, 32, true);
    c32bppDIB source;
    ASSERT_TRUE(source.LoadPicture_Stream(pngImage(8, 8)));
    auto picture = platform::Picture::borrowBitmap(*source.Handle());
    ASSERT_TRUE(e.control.LoadImage_FromStdPicture(picture.get()));
    PropertyBag picBag;
    e.control.WriteProperties(picBag);
    c32bppDIB back;
    ASSERT_TRUE(back.LoadPicture_Stream(picBag.readBytes("Image")));
    EXPECT_EQ(back.Width(), 8);
}

TEST(VitrelPersistence, AnEmptyImageResetsAndBadValuesRestoreTheirDefaults) {
    PropertyBag bag;
    bag.writeBytes("Image", {});
    bag.writeInt32("Props", 0x1FF, 1);
    bag.writeInt32("Scaler", 4, 0);
    bag.writeInt32("ScaleCx", 30, 0);
    bag.writeInt32("Angle", 30, 0);
    bag.writeInt32("Opacity", 50, 100);
    bag.writeInt32("Mirror", 1, 0);
    HostedControl t(50, 50, true);
    t.control.ReadProperties(bag);
    EXPECT_EQ(t.control.flags(), Vitrel::kFlagStretchQuality | Vitrel::kFlagKeepOriginalFormat);
    EXPECT_EQ(t.control.ScaleMethod(), 0);
    EXPECT_EQ(t.control.Rotation(), 0);
    EXPECT_EQ(t.control.Opacity(), 100);
    EXPECT_EQ(t.control.Mirror(), 0);
    EXPECT_EQ(t.control.surface().BitsPointer(), nullptr);

    // Values a setter would refuse restore their defaults.
    PropertyBag bad;
    bad.writeBytes("Image", pngImage(4, 4));
    bad.writeInt32("Mirror", 9, 0);
    bad.writeInt32("GrayScale", 12, -1);
    bad.writeInt32("HitTest", -2, 0);
    bad.writeInt32("ShadowDepth", 40, 2);
    bad.writeInt32("ShadowOpacity", 400, 50);
    bad.writeInt32("MaskSource", 9, 0);
    bad.writeInt32("Opacity", -140, 100);
    bad.writeInt32("Scaler", 4, 0);
    bad.writeInt32("ScaleCx", -5, 0);
    bad.writeFloat("Intensity", 1000, 0);
    HostedControl u(50, 50, true);
    u.control.ReadProperties(bad);
    EXPECT_EQ(u.control.Mirror(), 0);
    EXPECT_EQ(u.control.grayScale(), 0);
    EXPECT_EQ(u.control.HitTest(), 0);
    EXPECT_EQ(u.control.ShadowDepth(), 2);
    EXPECT_EQ(u.control.ShadowOpacity(), 50);
    EXPECT_EQ(u.control.MaskUsed(), 0);
    EXPECT_EQ(u.control.Opacity(), 40);
    EXPECT_EQ(u.control.customWidth(), 0u);
    EXPECT_EQ(u.control.IntensityOffset(), 0.0f);
    // Custom size 0 x 0 must not freeze the layout: the next resize still runs.
    u.control.setScaleMethod(0);
    EXPECT_EQ(u.control.layout().scaledWidth, 50);

    // A damaged bag restores as far as it can and never crashes.
    PropertyBag full;
    full.writeBytes("Image", pngImage(6, 6));
    full.writeInt32("Opacity", 70, 100);
    const std::string text = full.toText();
    for (std::size_t cut = 0; cut < text.size(); cut += 7) {
        HostedControl v(20, 20, true);
        v.control.ReadProperties(PropertyBag::fromText(text.substr(0, cut)));
    }
    HostedControl w(20, 20, true);
    w.control.ReadProperties(PropertyBag::fromText(text.substr(0, text.size() - 3)));
    EXPECT_EQ(w.control.surface().Width(), 6) << "the whole image line survives a cut end";
}

}  // namespace
}  // namespace talvrin
