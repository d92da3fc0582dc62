// The desktop clipboard as the image code reads it: which formats it offers, and its picture.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/picture/picture.h"

namespace talvrin::platform {

// Clipboard formats, with the desktop's codes.
enum class ClipboardFormat : std::uint32_t {
    Bitmap = 2,
    Metafile = 3,
    Dib = 8,
    EnhMetafile = 14,
};

class Clipboard {
  public:
    virtual ~Clipboard() = default;
    // True when the clipboard offers data in the format.
    [[nodiscard]] virtual bool hasFormat(ClipboardFormat format) const = 0;
    // The clipboard's image as a picture, or null. Reading never empties the clipboard.
    [[nodiscard]] virtual std::unique_ptr<Picture> picture() const = 0;
};

// The clipboard a host installs (null: no clipboard). Gives back the previous one.
std::unique_ptr<Clipboard> setClipboard(std::unique_ptr<Clipboard> clipboard) noexcept;
[[nodiscard]] const Clipboard* clipboard() noexcept;

}  // namespace talvrin::platform
