#include "platform/os/visual_styles.h"

namespace talvrin::platform {

namespace {

std::unique_ptr<VisualStyleLibraries>& installed() noexcept {
    static std::unique_ptr<VisualStyleLibraries> slot;
    return slot;
}

}  // namespace

VisualStyleLibraries& visualStyleLibraries() noexcept {
    if (auto& slot = installed()) return *slot;
    return systemVisualStyleLibraries();
}

std::unique_ptr<VisualStyleLibraries> setVisualStyleLibraries(
    std::unique_ptr<VisualStyleLibraries> libraries) noexcept {
    auto previous = std::move(installed());
    installed() = std::move(libraries);
    return previous;
}

}  // namespace talvrin::platform
