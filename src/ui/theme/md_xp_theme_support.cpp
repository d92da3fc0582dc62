#include "ui/theme/md_xp_theme_support.h"

#include "platform/os/visual_styles.h"

namespace talvrin::mdXpThemeSupport {

namespace {

bool gInitialised = false;

// The size of the record InitCommonControlsEx takes: its own size and the class set.
constexpr std::uint32_t kInitRecordSize = 8;

bool isButton(ControlKind kind) noexcept {
    return kind == ControlKind::CommandButton || kind == ControlKind::OptionButton ||
           kind == ControlKind::CheckBox;
}

}  // namespace

void InitVisualStyles() noexcept {
    if (gInitialised) return;
    if (IsComCtl6Loaded()) {
        auto& libraries = platform::visualStyleLibraries();
        // The shell library is loaded before the controls are initialised, as the themed
        // common controls expect; either call may fail and the other still runs.
        libraries.loadLibrary("shell32.dll");
        libraries.initCommonControls(kInitRecordSize, platform::kIccUserExClasses);
    }
    gInitialised = true;
}

bool IsComCtl6Loaded() noexcept {
    const auto version = platform::visualStyleLibraries().commonControlsVersion();
    return version && version->dwMajorVersion > 5;
}

bool IsAppThemedActive() noexcept {
    auto& libraries = platform::visualStyleLibraries();
    return libraries.isAppThemed() && libraries.isThemeActive() &&
           (libraries.themeAppProperties() & platform::kStapAllowControls) != 0;
}

bool FixThemeSupport(std::span<ThemeControl* const> controls) noexcept {
    if (!IsComCtl6Loaded()) return false;
    for (ThemeControl* control : controls) {
        if (!control) continue;
        const ControlKind kind = control->kind();
        if (kind == ControlKind::Frame) {
            control->setWindowSubclass(SubclassProcedure::pvRedirectFrame);
        } else if (isButton(kind) && control->Style() == kStyleGraphical) {
            control->setWindowSubclass(SubclassProcedure::pvRedirectButton);
        }
    }
    return true;
}

}  // namespace talvrin::mdXpThemeSupport
