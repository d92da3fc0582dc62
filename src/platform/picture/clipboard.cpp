#include "platform/picture/clipboard.h"

namespace talvrin::platform {

namespace {
std::unique_ptr<Clipboard> gClipboard;
}

std::unique_ptr<Clipboard> setClipboard(std::unique_ptr<Clipboard> clipboard) noexcept {
    std::swap(gClipboard, clipboard);
    return clipboard;
}

const Clipboard* clipboard() noexcept {
    return gClipboard.get();
}

}  // namespace talvrin::platform
