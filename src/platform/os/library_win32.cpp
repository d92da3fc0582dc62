// Library probing on Windows: LoadLibraryA, GetProcAddress and FreeLibrary.
#include <windows.h>

#include <string>

#include "platform/os/library.h"

namespace talvrin::platform {

bool LibraryHasExport(std::string_view library, std::string_view function) noexcept {
    try {
        // Names with an embedded NUL would be shortened by the C interface: refuse them.
        if (library.empty() || function.empty() || library.find('\0') != std::string_view::npos ||
            function.find('\0') != std::string_view::npos)
            return false;
        const std::string lib(library);
        const std::string fn(function);
        // A library that cannot be found fails quietly instead of showing the system's box.
        const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        HMODULE module = LoadLibraryA(lib.c_str());
        SetErrorMode(previousMode);
        if (module == nullptr) return false;
        const bool found = GetProcAddress(module, fn.c_str()) != nullptr;
        FreeLibrary(module);
        return found;
    } catch (...) {
        return false;
    }
}

}  // namespace talvrin::platform
