// The system's common controls (comctl32) and theme library (uxtheme), every function found at
// run time by name: a system that lacks one answers as if the call failed.
#include <windows.h>

#include <string>

#include "platform/os/visual_styles.h"
#include "platform/win32/system_functions.h"

namespace talvrin::platform {

namespace {

using win32::systemFunction;

constexpr const char* kCommonControls = "comctl32.dll";
constexpr const char* kThemeLibrary = "uxtheme.dll";

class SystemLibraries final : public VisualStyleLibraries {
  public:
    std::optional<DllVersionInfo> commonControlsVersion() noexcept override {
        using GetVersion = HRESULT(WINAPI*)(DllVersionInfo*);
        const auto get = systemFunction<GetVersion>(kCommonControls, "DllGetVersion");
        if (!get) return std::nullopt;
        DllVersionInfo info;  // cbSize 20, as the function checks
        if (FAILED(get(&info))) return std::nullopt;
        return info;
    }
    bool loadLibrary(std::string_view name) noexcept override {
        try {
            return win32::systemLibrary(std::string(name).c_str()) != nullptr;
        } catch (...) {
            return false;
        }
    }
    bool initCommonControls(std::uint32_t recordSize, std::uint32_t classes) noexcept override {
        // The record: its own size, then the class set (INITCOMMONCONTROLSEX).
        struct {
            DWORD dwSize;
            DWORD dwICC;
        } record{recordSize, classes};
        using Init = BOOL(WINAPI*)(const void*);
        const auto init = systemFunction<Init>(kCommonControls, "InitCommonControlsEx");
        return init && init(&record) != FALSE;
    }
    bool isAppThemed() noexcept override { return callBool("IsAppThemed"); }
    bool isThemeActive() noexcept override { return callBool("IsThemeActive"); }
    std::uint32_t themeAppProperties() noexcept override {
        const auto get = systemFunction<DWORD(WINAPI*)()>(kThemeLibrary, "GetThemeAppProperties");
        return get ? get() : 0;
    }

  private:
    static bool callBool(const char* name) noexcept {
        const auto call = systemFunction<BOOL(WINAPI*)()>(kThemeLibrary, name);
        return call && call() != FALSE;
    }
};

}  // namespace

VisualStyleLibraries& systemVisualStyleLibraries() noexcept {
    static SystemLibraries libraries;
    return libraries;
}

}  // namespace talvrin::platform
