// The desktop clipboard for the image code, read through Qt: an image on the clipboard is
// offered as a bitmap and a device-independent bitmap, and handed over as a 32-bit bitmap
// picture; copied local files are offered as a file list.
#pragma once

#include "platform/picture/clipboard.h"

class QMimeData;

namespace talvrin::platform::qt {

// The local files of a clipboard's or a drop's data, as a file list (UTF-8 paths, which arrive
// whole, so the structure counts as wide); nothing without local files.
[[nodiscard]] std::optional<FileDrop> fileDropOf(const QMimeData* data);

class QtClipboard final : public Clipboard {
  public:
    [[nodiscard]] bool hasFormat(ClipboardFormat format) const override;
    [[nodiscard]] std::unique_ptr<Picture> picture() const override;
    [[nodiscard]] std::optional<FileDrop> fileDrop() const override;
};

// Installs the Qt clipboard as the image code's clipboard (needs a running QGuiApplication).
void installQtClipboard();

}  // namespace talvrin::platform::qt
