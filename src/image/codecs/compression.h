// Access to the compression library (zlib, linked directly). The library can be made to count
// as absent, so that the paths that work without it run in tests.
#pragma once

namespace talvrin::compression {

// True when the compression library may be used: linked in and not switched off.
[[nodiscard]] bool isAvailable() noexcept;

// Makes the library count as absent (true) or present again (false). Process-wide.
void setForcedAbsent(bool absent) noexcept;

}  // namespace talvrin::compression
