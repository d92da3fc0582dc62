#include "platform/os/visual_styles.h"

namespace talvrin::platform {

namespace {

// Neither the common-controls library nor the theme library exists here: every query answers
// as a desktop without them would (a missing function fails).
class AbsentLibraries final : public VisualStyleLibraries {
  public:
    std::optional<DllVersionInfo> commonControlsVersion() noexcept override { return {}; }
    bool loadLibrary(std::string_view) noexcept override { return false; }
    bool initCommonControls(std::uint32_t, std::uint32_t) noexcept override { return false; }
    bool isAppThemed() noexcept override { return false; }
    bool isThemeActive() noexcept override { return false; }
    std::uint32_t themeAppProperties() noexcept override { return 0; }
};

}  // namespace

VisualStyleLibraries& systemVisualStyleLibraries() noexcept {
    static AbsentLibraries libraries;
    return libraries;
}

}  // namespace talvrin::platform
