#include "platform/win32/system_functions.h"

namespace talvrin::platform::win32 {

HMODULE systemLibrary(const char* name) noexcept {
    if (!name) return nullptr;
    if (const HMODULE loaded = GetModuleHandleA(name)) return loaded;
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const HMODULE module = LoadLibraryA(name);
    SetErrorMode(previousMode);
    return module;
}

const ThemeFunctions& themeFunctions() noexcept {
    static const ThemeFunctions functions = [] {
        ThemeFunctions f;
        constexpr const char* kTheme = "uxtheme.dll";
        f.OpenThemeData = systemFunction<decltype(f.OpenThemeData)>(kTheme, "OpenThemeData");
        f.CloseThemeData = systemFunction<decltype(f.CloseThemeData)>(kTheme, "CloseThemeData");
        f.DrawThemeBackground =
            systemFunction<decltype(f.DrawThemeBackground)>(kTheme, "DrawThemeBackground");
        f.DrawThemeParentBackground = systemFunction<decltype(f.DrawThemeParentBackground)>(
            kTheme, "DrawThemeParentBackground");
        f.GetThemeBackgroundRegion = systemFunction<decltype(f.GetThemeBackgroundRegion)>(
            kTheme, "GetThemeBackgroundRegion");
        f.GetThemeBackgroundContentRect = systemFunction<decltype(f.GetThemeBackgroundContentRect)>(
            kTheme, "GetThemeBackgroundContentRect");
        f.DrawThemeText = systemFunction<decltype(f.DrawThemeText)>(kTheme, "DrawThemeText");
        return f;
    }();
    return functions;
}

const SubclassFunctions& subclassFunctions() noexcept {
    static const SubclassFunctions functions = [] {
        SubclassFunctions f;
        constexpr const char* kControls = "comctl32.dll";
        f.SetWindowSubclass =
            systemFunction<decltype(f.SetWindowSubclass)>(kControls, "SetWindowSubclass");
        f.DefSubclassProc =
            systemFunction<decltype(f.DefSubclassProc)>(kControls, "DefSubclassProc");
        f.GetWindowSubclass =
            systemFunction<decltype(f.GetWindowSubclass)>(kControls, "GetWindowSubclass");
        return f;
    }();
    return functions;
}

bool setWindowSubclass(HWND window, SUBCLASSPROC procedure, UINT_PTR id,
                       DWORD_PTR reference) noexcept {
    const auto set = subclassFunctions().SetWindowSubclass;
    return set && set(window, procedure, id, reference) != FALSE;
}

LRESULT defaultSubclassProcessing(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto def = subclassFunctions().DefSubclassProc;
    return def ? def(window, message, wParam, lParam)
               : DefWindowProcA(window, message, wParam, lParam);
}

bool setProcessDepPolicy(DWORD flags) noexcept {
    const auto set = systemFunction<BOOL(WINAPI*)(DWORD)>("kernel32.dll", "SetProcessDEPPolicy");
    return set && set(flags) != FALSE;
}

}  // namespace talvrin::platform::win32
