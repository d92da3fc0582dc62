// Libraries on POSIX: dlopen, dlsym and dlclose.
#include <dlfcn.h>

#include <string>

#include "platform/os/library.h"

namespace talvrin::platform {

namespace {

// Names with an embedded NUL would be shortened by the C interface: they name nothing.
bool usableName(std::string_view name) noexcept {
    return !name.empty() && name.find('\0') == std::string_view::npos;
}

}  // namespace

bool LibraryHasExport(std::string_view library, std::string_view function) noexcept {
    try {
        if (!usableName(library) || !usableName(function)) return false;
        const std::string lib(library);
        const std::string fn(function);
        void* module = ::dlopen(lib.c_str(), RTLD_LAZY | RTLD_LOCAL);
        if (module == nullptr) return false;
        ::dlerror();  // clear any stale error before the lookup
        void* address = ::dlsym(module, fn.c_str());
        ::dlclose(module);
        return address != nullptr;
    } catch (...) {
        return false;
    }
}

std::unique_ptr<LoadedLibrary> LoadedLibrary::open(std::string_view name) noexcept {
    try {
        if (!usableName(name)) return nullptr;
        void* module = ::dlopen(std::string(name).c_str(), RTLD_LAZY | RTLD_LOCAL);
        if (module == nullptr) return nullptr;
        return std::unique_ptr<LoadedLibrary>(new LoadedLibrary(module));
    } catch (...) {
        return nullptr;
    }
}

LoadedLibrary::~LoadedLibrary() {
    ::dlclose(module_);
}

void* LoadedLibrary::function(std::string_view name) const noexcept {
    try {
        if (!usableName(name)) return nullptr;
        return ::dlsym(module_, std::string(name).c_str());
    } catch (...) {
        return nullptr;
    }
}

}  // namespace talvrin::platform
