// What the Qt events say in the vocabulary of the image control's events: the mouse buttons,
// the shift keys, the desktop's virtual-key codes and the drop effects; the cursor shapes of the
// mouse-pointer values; and a drag's data as the image code reads it.
#pragma once

#include <QDropEvent>
#include <QMimeData>
#include <Qt>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/picture/clipboard.h"
#include "platform/qt/qt_clipboard.h"

namespace talvrin::platform::qt {

// The cursor shapes of the mouse-pointer values Qt has a counterpart for (the arrow for others).
[[nodiscard]] Qt::CursorShape cursorShapeOf(std::int16_t pointer);

// Buttons and shift keys as the control's events count them: 1 left, 2 right, 4 middle; 1 shift,
// 2 control, 4 alt.
[[nodiscard]] std::int16_t buttonsOf(Qt::MouseButtons buttons);
[[nodiscard]] std::int16_t shiftOf(Qt::KeyboardModifiers modifiers);

// The desktop's virtual-key code of a Qt key (0 for a key without one).
[[nodiscard]] std::int16_t keyCodeOf(int key);

// The drop effects as the control's events count them (1 copy, 2 move).
[[nodiscard]] std::int32_t effectsOf(Qt::DropActions actions);
// The handler's effect as the drag's answer: a move or a copy the drag allows, else refused.
void answerDrop(QDropEvent* event, std::int32_t effect);

// A drop's data as the image code reads it.
class QtDropData final : public DropDataObject {
  public:
    explicit QtDropData(const QMimeData* data) : data_(data) {
        if (const auto drop = fileDropOf(data)) files_ = drop->names;
    }
    bool hasFormat(ClipboardFormat format) const override {
        if (!data_) return false;
        if (format == ClipboardFormat::FileDrop) return fileDropOf(data_).has_value();
        return (format == ClipboardFormat::Bitmap || format == ClipboardFormat::Dib) &&
               data_->hasImage();
    }
    std::optional<FileDrop> fileDrop() const override { return fileDropOf(data_); }
    std::vector<std::string> files() const override { return files_; }
    void clearFiles() override { files_.clear(); }
    void addFile(std::string name) override { files_.push_back(std::move(name)); }

  private:
    const QMimeData* data_;
    std::vector<std::string> files_;
};

}  // namespace talvrin::platform::qt
