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
#include "image/control/headless_host.h"
#include "image/control/property_bag.h"
#include "image/control/vitrel.h"

namespace {

using namespace talvrin;

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

    HeadlessHost host(24, 16);
    Vitrel control(host);
    control.ReadProperties(bag);
    if (!settingsInRange(control)) __builtin_trap();
    PropertyBag stored;
    control.WriteProperties(stored);

    HeadlessHost secondHost(24, 16);
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
