// Libraries on Windows: LoadLibraryA, GetProcAddress and FreeLibrary.
#include <windows.h>

#include <string>

#include "platform/os/library.h"

namespace talvrin::platform {

namespace {

// Names with an embedded NUL would be shortened by the C interface: they name nothing.
bool usableName(std::string_view name) noexcept {
    return !name.empty() && name.find('\0') == std::string_view::npos;
}

// A library that cannot be found fails quietly instead of showing the system's box.
HMODULE loadQuietly(const std::string& name) noexcept {
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryA(name.c_str());
    SetErrorMode(previousMode);
    return module;
}

}  // namespace

bool LibraryHasExport(std::string_view library, std::string_view function) noexcept {
    try {
        if (!usableName(library) || !usableName(function)) return false;
        HMODULE module = loadQuietly(std::string(library));
        if (module == nullptr) return false;
        const bool found = GetProcAddress(module, std::string(function).c_str()) != nullptr;
        FreeLibrary(module);
        return found;
    } catch (...) {
        return false;
    }
}

std::unique_ptr<LoadedLibrary> LoadedLibrary::open(std::string_view name) noexcept {
    try {
        if (!usableName(name)) return nullptr;
        HMODULE module = loadQuietly(std::string(name));
        if (module == nullptr) return nullptr;
        return std::unique_ptr<LoadedLibrary>(new LoadedLibrary(module));
    } catch (...) {
        return nullptr;
    }
}

LoadedLibrary::~LoadedLibrary() {
    FreeLibrary(static_cast<HMODULE>(module_));
}

void* LoadedLibrary::function(std::string_view name) const noexcept {
    try {
        if (!usableName(name)) return nullptr;
        return reinterpret_cast<void*>(
            GetProcAddress(static_cast<HMODULE>(module_), std::string(name).c_str()));
    } catch (...) {
        return nullptr;
    }
}

}  // namespace talvrin::platform
