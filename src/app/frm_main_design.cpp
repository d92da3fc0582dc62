#include "app/frm_main_design.h"

#include <algorithm>
#include <cmath>

namespace talvrin::frm_main_design {

const ControlDesign& control(std::string_view name) noexcept {
    for (const ControlDesign& c : kControls)
        if (c.name == name) return c;
    return kControls.front();
}

std::vector<std::string_view> tabOrder() {
    std::vector<const ControlDesign*> stops;
    for (const ControlDesign& c : kControls) {
        const bool focusable = c.kind == ControlKind::PushButton ||
                               c.kind == ControlKind::ListBox || c.kind == ControlKind::TextBox;
        if (focusable && c.tabIndex >= 0) stops.push_back(&c);
    }
    std::sort(stops.begin(), stops.end(), [](const ControlDesign* a, const ControlDesign* b) {
        return a->tabIndex < b->tabIndex;
    });
    std::vector<std::string_view> names;
    for (const ControlDesign* c : stops)
        names.push_back(c->name);
    return names;
}

std::int32_t scaleToDpi(std::int32_t pixels, std::int32_t dpi) noexcept {
    if (dpi < 1) dpi = kDesignDpi;
    // MulDiv rounds half away from zero.
    const std::int64_t product = std::int64_t{pixels} * dpi;
    const std::int64_t half = kDesignDpi / 2;
    return static_cast<std::int32_t>(product >= 0 ? (product + half) / kDesignDpi
                                                  : -((-product + half) / kDesignDpi));
}

std::int32_t fontPixelHeight(std::int32_t dpi) noexcept {
    if (dpi < 1) dpi = kDesignDpi;
    return static_cast<std::int32_t>(std::lround(kFontPoints * dpi / 72.0));
}

}  // namespace talvrin::frm_main_design
