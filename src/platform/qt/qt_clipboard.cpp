#include "platform/qt/qt_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QUrl>
#include <cstring>

#include "platform/gdi/bitmap.h"

namespace talvrin::platform::qt {

namespace {

QImage clipboardImage() {
    const QClipboard* board = QGuiApplication::clipboard();
    if (!board) return {};
    const QMimeData* data = board->mimeData();
    if (!data || !data->hasImage()) return {};
    return board->image();
}

}  // namespace

bool QtClipboard::hasFormat(ClipboardFormat format) const {
    const QClipboard* board = QGuiApplication::clipboard();
    const QMimeData* data = board ? board->mimeData() : nullptr;
    if (!data) return false;
    if (format == ClipboardFormat::FileDrop) return !fileDrop().value_or(FileDrop{}).names.empty();
    if (format != ClipboardFormat::Bitmap && format != ClipboardFormat::Dib) return false;
    return data->hasImage();
}

std::optional<FileDrop> fileDropOf(const QMimeData* data) {
    if (!data || !data->hasUrls()) return std::nullopt;
    FileDrop drop;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) drop.names.push_back(url.toLocalFile().toStdString());
    if (drop.names.empty()) return std::nullopt;
    return drop;
}

std::optional<FileDrop> QtClipboard::fileDrop() const {
    const QClipboard* board = QGuiApplication::clipboard();
    return fileDropOf(board ? board->mimeData() : nullptr);
}

std::unique_ptr<Picture> QtClipboard::picture() const {
    // Straight (not premultiplied) alpha in B, G, R, A byte order, as a 32-bit bitmap holds it;
    // the image code decides for itself whether the alpha means anything.
    const QImage image = clipboardImage().convertToFormat(QImage::Format_ARGB32);
    if (image.isNull()) return nullptr;
    auto bitmap = Bitmap::create(image.width(), image.height(), 32);
    if (!bitmap) return nullptr;
    const auto rowBytes = static_cast<std::size_t>(image.width()) * 4;
    for (int y = 0; y < image.height(); ++y) {
        // Bitmap rows are bottom-up; QImage rows top-down.
        std::uint8_t* out = bitmap->rowFromTop(y);
        const uchar* in = image.constScanLine(y);
        for (std::size_t x = 0; x < rowBytes; x += 4) {
            const QRgb px = *reinterpret_cast<const QRgb*>(in + x);
            out[x + 0] = static_cast<std::uint8_t>(qBlue(px));
            out[x + 1] = static_cast<std::uint8_t>(qGreen(px));
            out[x + 2] = static_cast<std::uint8_t>(qRed(px));
            out[x + 3] = static_cast<std::uint8_t>(qAlpha(px));
        }
    }
    return Picture::fromBitmap(std::move(bitmap));
}

void installQtClipboard() {
    setClipboard(std::make_unique<QtClipboard>());
}

}  // namespace talvrin::platform::qt
