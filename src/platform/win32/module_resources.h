// The program's own resources as the executable carries them (compiled in by the resource
// compiler), read in place. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>

namespace talvrin::platform::win32 {

// The bytes of the resource of the given type and numeric identifier in the program's own
// executable; empty when there is none. The bytes live as long as the process.
[[nodiscard]] std::span<const std::uint8_t> programResource(LPCSTR type, int id) noexcept;

}  // namespace talvrin::platform::win32
