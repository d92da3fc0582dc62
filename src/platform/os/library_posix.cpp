// Library probing on POSIX: dlopen and dlsym.
#include <dlfcn.h>

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

}  // namespace talvrin::platform
