// libFuzzer target for the stored property bag's restore path: the input is a bag's text form,
// read back whole, damaged or over its limits, and the values it holds are then restored into an
// image control, stored again and restored once more. The bag must hold no more keys than its
// limit, in lower case, never the header's name, and its own text must read back to the same
// bag; the control must take every value only within the range its setter allows, and what it
// stores must restore to the same settings. Nothing is painted here: restoring builds the cached
// drawing and the shadow, as the program does.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/decode_budget.h"
#include "image/control/property_bag.h"
#include "image/control/vitrel.h"
#include "image/control/vitrel_host.h"

namespace {

using namespace talvrin;

// A window of a fixed size in a running program, as the command-line render's host.
class FuzzHost final : public VitrelHost {
  public:
    bool userMode() const override { return true; }
    std::int32_t width() const override { return 24; }
    std::int32_t height() const override { return 16; }
    std::int32_t twipsPerPixelX() const override { return 15; }
    std::int32_t twipsPerPixelY() const override { return 15; }
    void requestRepaint() override {}
    void requestResize(std::int32_t, std::int32_t) override {}
    void propertyChanged(std::string_view) override {}
    std::optional<std::int32_t> containerScaleMode() const override { return 3; }
    std::optional<float> pixelsToContainer(float pixels, bool, std::int32_t) const override {
        return pixels;
    }
    bool enabled() const override { return enabled_; }
    void setEnabled(bool value) override { enabled_ = value; }
    std::int16_t mousePointer() const override { return pointer_; }
    bool setMousePointer(std::int16_t value) override {
        pointer_ = value;
        return true;
    }
    std::optional<StoredPicture> mouseIcon() const override { return icon_; }
    bool setMouseIcon(std::optional<StoredPicture> icon) override {
        icon_ = std::move(icon);
        return true;
    }
    std::int16_t oleDropMode() const override { return drop_; }
    bool setOleDropMode(std::int16_t value) override {
        drop_ = value;
        return true;
    }
    std::string tag() const override { return {}; }
    void setTag(std::string) override {}

  private:
    bool enabled_ = true;
    std::int16_t pointer_ = 0, drop_ = 0;
    std::optional<StoredPicture> icon_;
};

bool inRange(std::int32_t v, std::int32_t lo, std::int32_t hi) {
    return v >= lo && v <= hi;
}

// Every setting as its setter allows it.
bool settingsInRange(const Vitrel& c) {
    return inRange(c.Opacity(), 0, 100) && inRange(c.Mirror(), 0, 3) &&
           inRange(c.grayScale(), 0, 8) && inRange(c.HitTest(), 0, 3) &&
           inRange(c.MaskUsed(), 0, 5) && inRange(c.ShadowDepth(), 0, 10) &&
           inRange(c.ShadowOpacity(), 0, 100) && inRange(c.Rotation(), -359, 359) &&
           c.IntensityOffset() >= -100.0f && c.IntensityOffset() <= 100.0f &&
           (c.flags() & ~0x1FD) == 0;
}

// The stored settings, the image's bytes left out (a second encoding may differ).
PropertyBag withoutImage(PropertyBag bag) {
    bag.remove("Image");
    return bag;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    // The decoders have targets of their own; a small budget keeps each restore quick.
    talvrin::setDecodeBudget(std::uint64_t{1} << 18);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    PropertyBag::TextRead how{};
    const PropertyBag bag = PropertyBag::fromText(text, &how);
    if (bag.entries().size() > PropertyBag::kMaxKeys) __builtin_trap();
    for (const auto& [key, value] : bag.entries()) {
        for (const char c : key)
            if (c >= 'A' && c <= 'Z') __builtin_trap();
        if (key == "talvrin-properties" || !bag.contains(key)) __builtin_trap();
    }
    PropertyBag::TextRead again{};
    if (PropertyBag::fromText(bag.toText(), &again) != bag || again != PropertyBag::TextRead::Whole)
        __builtin_trap();

    FuzzHost host;
    Vitrel control(host);
    control.ReadProperties(bag);
    if (!settingsInRange(control)) __builtin_trap();
    PropertyBag stored;
    control.WriteProperties(stored);

    FuzzHost secondHost;
    Vitrel second(secondHost);
    second.ReadProperties(stored);
    if (!settingsInRange(second)) __builtin_trap();
    PropertyBag storedAgain;
    second.WriteProperties(storedAgain);
    // An image that loaded but is not stored (a kept-source type whose source was not kept)
    // restores as no image, which resets the settings that depend on it: only when both
    // restores agree on having an image must the settings match.
    const bool imageFirst = control.ImageType() > 0, imageSecond = second.ImageType() > 0;
    if (imageFirst == imageSecond && withoutImage(stored) != withoutImage(storedAgain))
        __builtin_trap();
    return 0;
}
