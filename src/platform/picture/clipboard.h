// The desktop clipboard and a drop's data as the image code reads them: which formats they offer,
// the clipboard's picture, and the file names of a clipboard copy or of a drop.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/picture/picture.h"

namespace talvrin::platform {

// Clipboard formats, with the desktop's codes.
enum class ClipboardFormat : std::uint32_t {
    Bitmap = 2,
    Metafile = 3,
    Dib = 8,
    EnhMetafile = 14,
    FileDrop = 15,  // a list of file names
};

// The raw file list of a file-drop format: the names (UTF-8 here), and whether the structure
// carries them as wide characters. On this platform names always arrive whole, so the flag is
// set; the flag exists because the desktop's narrow form loses names outside its code page.
struct FileDrop {
    bool wide = true;
    std::vector<std::string> names;
};

class Clipboard {
  public:
    virtual ~Clipboard() = default;
    // True when the clipboard offers data in the format.
    [[nodiscard]] virtual bool hasFormat(ClipboardFormat format) const = 0;
    // The clipboard's image as a picture, or null. Reading never empties the clipboard.
    [[nodiscard]] virtual std::unique_ptr<Picture> picture() const = 0;
    // The clipboard's file list (format 15), or nothing when it holds no files.
    [[nodiscard]] virtual std::optional<FileDrop> fileDrop() const { return std::nullopt; }
};

// A drop's data object as the image code reads it: the formats it offers, its raw file-drop
// structure, and the file list the host shows to the program, which the image code may refill.
class DropDataObject {
  public:
    virtual ~DropDataObject() = default;
    [[nodiscard]] virtual bool hasFormat(ClipboardFormat format) const = 0;
    // The raw file-drop structure, or nothing when it cannot be fetched.
    [[nodiscard]] virtual std::optional<FileDrop> fileDrop() const = 0;
    // The data object's own file list.
    [[nodiscard]] virtual std::vector<std::string> files() const = 0;
    virtual void clearFiles() = 0;
    virtual void addFile(std::string name) = 0;
};

// The clipboard a host installs (null: no clipboard). Gives back the previous one.
std::unique_ptr<Clipboard> setClipboard(std::unique_ptr<Clipboard> clipboard) noexcept;
[[nodiscard]] const Clipboard* clipboard() noexcept;

}  // namespace talvrin::platform
