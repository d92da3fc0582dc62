// A handle to a drawing object as the image code is handed one: a bitmap, an icon or cursor, or
// a metafile (which this platform does not draw). The caller keeps owning what it refers to.
#pragma once

#include <cstdint>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/icon.h"

namespace talvrin::platform {

struct GdiObjectRef {
    enum class Kind : std::uint8_t { None, Bitmap, Icon, Metafile, EnhMetafile };
    Kind kind = Kind::None;
    const Bitmap* bitmap = nullptr;
    const Icon* icon = nullptr;

    static GdiObjectRef of(const Bitmap* b) noexcept {
        return b ? GdiObjectRef{Kind::Bitmap, b, nullptr} : GdiObjectRef{};
    }
    static GdiObjectRef of(const Icon* i) noexcept {
        return i ? GdiObjectRef{Kind::Icon, nullptr, i} : GdiObjectRef{};
    }
    [[nodiscard]] bool empty() const noexcept { return kind == Kind::None; }
};

}  // namespace talvrin::platform
