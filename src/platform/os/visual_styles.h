// The desktop's common-controls and visual-styles libraries, as far as this platform has them.
// The visual-style support asks them whether version 6 of the common controls is in use and
// whether the program's controls are drawn with visual styles. On Windows they are the system's
// comctl32 and uxtheme, every function found at run time by name; elsewhere neither library
// exists and every query answers "absent". A test installs others.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

namespace talvrin::platform {

// The version record DllGetVersion fills (DLLVERSIONINFO, 20 bytes with its size field).
struct DllVersionInfo {
    std::uint32_t cbSize = 20;
    std::uint32_t dwMajorVersion = 0;
    std::uint32_t dwMinorVersion = 0;
    std::uint32_t dwBuildNumber = 0;
    std::uint32_t dwPlatformID = 0;
};

// Class set of the extended combo box and its relatives, the one the start-up initialises
// (ICC_USEREX_CLASSES; named apart from the system headers' macros, which code may see too).
inline constexpr std::uint32_t kIccUserExClasses = 0x200;
// GetThemeAppProperties bit: visual styles apply to the program's controls (STAP_ALLOW_CONTROLS).
inline constexpr std::uint32_t kStapAllowControls = 0x2;

class VisualStyleLibraries {
  public:
    virtual ~VisualStyleLibraries() = default;
    // DllGetVersion of "comctl32.dll"; nothing when the library or the function is missing.
    [[nodiscard]] virtual std::optional<DllVersionInfo> commonControlsVersion() noexcept = 0;
    // LoadLibraryA: loads a library for the rest of the process; false when it is missing.
    virtual bool loadLibrary(std::string_view name) noexcept = 0;
    // InitCommonControlsEx with a record of recordSize bytes naming the class set.
    virtual bool initCommonControls(std::uint32_t recordSize, std::uint32_t classes) noexcept = 0;
    // The theme library's queries; false and 0 where it is missing.
    [[nodiscard]] virtual bool isAppThemed() noexcept = 0;
    [[nodiscard]] virtual bool isThemeActive() noexcept = 0;
    [[nodiscard]] virtual std::uint32_t themeAppProperties() noexcept = 0;
};

// This platform's own libraries (visual_styles_win32.cpp, visual_styles_posix.cpp).
[[nodiscard]] VisualStyleLibraries& systemVisualStyleLibraries() noexcept;

// The installed libraries; the process starts with this platform's own.
[[nodiscard]] VisualStyleLibraries& visualStyleLibraries() noexcept;
// Installs other libraries (null puts this platform's own back) and gives back the previous
// ones when they were installed through this call.
std::unique_ptr<VisualStyleLibraries> setVisualStyleLibraries(
    std::unique_ptr<VisualStyleLibraries> libraries) noexcept;

}  // namespace talvrin::platform
