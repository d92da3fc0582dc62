// Probing shared libraries by name without keeping them loaded.
#pragma once

#include <string_view>

namespace talvrin::platform {

// True when the library loads and exports the function. The library is released again before
// returning, so nothing stays loaded on this call's account.
[[nodiscard]] bool LibraryHasExport(std::string_view library, std::string_view function) noexcept;

}  // namespace talvrin::platform
