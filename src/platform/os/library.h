// Shared libraries by name: probing one without keeping it loaded, and binding to one for as
// long as an object holds it.
#pragma once

#include <memory>
#include <string_view>

namespace talvrin::platform {

// True when the library loads and exports the function. The library is released again before
// returning, so nothing stays loaded on this call's account.
[[nodiscard]] bool LibraryHasExport(std::string_view library, std::string_view function) noexcept;

// A library loaded by name and kept loaded until the object is destroyed, for code that binds to
// a system library's functions at run time instead of linking it.
class LoadedLibrary {
  public:
    // The library, or null when it cannot be loaded (a missing library fails quietly).
    [[nodiscard]] static std::unique_ptr<LoadedLibrary> open(std::string_view name) noexcept;
    ~LoadedLibrary();
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    // The address of the exported function, or null when the library has none of that name.
    [[nodiscard]] void* function(std::string_view name) const noexcept;

  private:
    explicit LoadedLibrary(void* module) noexcept : module_(module) {}
    void* module_;
};

}  // namespace talvrin::platform
