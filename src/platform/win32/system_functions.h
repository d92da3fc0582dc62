// The desktop's functions that are found at run time, by library and function name, so that the
// program starts on a system that lacks some of them: each lookup answers null for a missing
// library or function, and the caller then skips the call or falls back. Windows only.
#pragma once

#include <windows.h>
// (windows.h first: the headers below need its types.)
#include <commctrl.h>
#include <uxtheme.h>

namespace talvrin::platform::win32 {

// A library of the process by name: the one already loaded, else loaded now (LoadLibraryA) and
// kept for the rest of the process, so that functions found in it stay callable. Null when it
// cannot be loaded; a missing library fails quietly, without the system's error box.
[[nodiscard]] HMODULE systemLibrary(const char* name) noexcept;

// A function of a library by name, as the given function-pointer type; null where missing.
template <typename Function>
[[nodiscard]] Function systemFunction(const char* library, const char* name) noexcept {
    const HMODULE module = systemLibrary(library);
    if (!module) return nullptr;
    // Through the generic function-pointer type, the conversion the language allows.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The theme library's drawing functions (uxtheme) and the common controls' subclassing
// functions (comctl32), each null where the system lacks it.
struct ThemeFunctions {
    HTHEME(WINAPI* OpenThemeData)(HWND, LPCWSTR) = nullptr;
    HRESULT(WINAPI* CloseThemeData)(HTHEME) = nullptr;
    HRESULT(WINAPI* DrawThemeBackground)(HTHEME, HDC, int, int, const RECT*, const RECT*) = nullptr;
    HRESULT(WINAPI* DrawThemeParentBackground)(HWND, HDC, const RECT*) = nullptr;
    HRESULT(WINAPI* GetThemeBackgroundRegion)(HTHEME, HDC, int, int, const RECT*, HRGN*) = nullptr;
    HRESULT(WINAPI* GetThemeBackgroundContentRect)
    (HTHEME, HDC, int, int, const RECT*, RECT*) = nullptr;
    HRESULT(WINAPI* DrawThemeText)
    (HTHEME, HDC, int, int, LPCWSTR, int, DWORD, DWORD, const RECT*) = nullptr;
};
struct SubclassFunctions {
    BOOL(WINAPI* SetWindowSubclass)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR) = nullptr;
    LRESULT(WINAPI* DefSubclassProc)(HWND, UINT, WPARAM, LPARAM) = nullptr;
    BOOL(WINAPI* GetWindowSubclass)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR*) = nullptr;
};

// Looked up once, at the first call (after the common controls of the program's manifest are
// in use, so the subclassing functions are those of that version).
[[nodiscard]] const ThemeFunctions& themeFunctions() noexcept;
[[nodiscard]] const SubclassFunctions& subclassFunctions() noexcept;

// SetWindowSubclass(window, procedure, id, reference); false where the common controls lack it or
// refuse.
bool setWindowSubclass(HWND window, SUBCLASSPROC procedure, UINT_PTR id,
                       DWORD_PTR reference) noexcept;

// The default processing of a subclassed window's message: DefSubclassProc, or the default window
// procedure where the common controls lack it.
LRESULT defaultSubclassProcessing(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// SetProcessDEPPolicy(flags); false when the system lacks the function or refuses.
bool setProcessDepPolicy(DWORD flags) noexcept;

}  // namespace talvrin::platform::win32
