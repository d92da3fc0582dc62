// The facts of the running system that the surface's capability detection reads.
#pragma once

#include <cstdint>

namespace talvrin::platform {

struct SystemVersion {
    std::uint32_t platformId = 0;  // 1: the old consumer family, 2: the current family
    std::uint32_t majorVersion = 0;
    std::uint32_t minorVersion = 0;
    std::uint16_t servicePackMajor = 0;
};

// Windows reports the running system (RtlGetVersion, or GetVersionExA where that is missing);
// POSIX reports itself as a current-family system with a usable, alpha-friendly blending
// primitive and without the old consumer-family restrictions. Both give every current system
// the same capabilities, so the two builds draw alike.
[[nodiscard]] SystemVersion querySystemVersion() noexcept;

}  // namespace talvrin::platform
