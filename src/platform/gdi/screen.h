// Screen facts the image side reads: resolution, the size of the screen raster, and the system
// colours. A host may set each of them; until it does, the desktop defaults hold (96 dots per
// inch, 15 twips per pixel, 1024 x 768 pixels, the classic system colour scheme).
// Single-threaded, like the user interface that reads them.
#pragma once

#include <cstdint>

#include "base/geometry.h"

namespace talvrin::platform {

inline constexpr std::int32_t kDefaultDotsPerInch = 96;
inline constexpr std::int32_t kDefaultTwipsPerPixel = 15;
inline constexpr std::int32_t kDefaultScreenWidth = 1024;
inline constexpr std::int32_t kDefaultScreenHeight = 768;

// System colour indices with a defined default (the low byte of a system colour value).
inline constexpr int kSystemColorCount = 31;
inline constexpr int kColorWindow = 5;
inline constexpr int kColorWindowText = 8;
inline constexpr int kColorHighlight = 13;
inline constexpr int kColorBtnFace = 15;
inline constexpr int kColorBtnShadow = 16;
inline constexpr int kColorBtnText = 18;
inline constexpr int kColorBtnHighlight = 20;

[[nodiscard]] std::int32_t dotsPerInchX() noexcept;
[[nodiscard]] std::int32_t dotsPerInchY() noexcept;
// Values below 1 are refused (false, nothing changes).
bool setDotsPerInch(std::int32_t x, std::int32_t y) noexcept;

[[nodiscard]] std::int32_t twipsPerPixelX() noexcept;
[[nodiscard]] std::int32_t twipsPerPixelY() noexcept;
// Values below 1 are refused (false, nothing changes).
bool setTwipsPerPixel(std::int32_t x, std::int32_t y) noexcept;

// Size of the screen raster behind DeviceContext::screen(). Setting a new size replaces the
// raster (its pixels start at 0) the next time the screen context is asked for. Sizes below 1
// or above 16384 are refused.
[[nodiscard]] std::int32_t screenWidth() noexcept;
[[nodiscard]] std::int32_t screenHeight() noexcept;
bool setScreenSize(std::int32_t width, std::int32_t height) noexcept;

// The current colour of a system colour index (0x00BBGGRR); 0 for an index without one.
[[nodiscard]] ColorRef systemColor(int index) noexcept;
// Overrides one system colour (the high byte of rgb is ignored). False for an index outside
// 0 ... kSystemColorCount - 1.
bool setSystemColor(int index, ColorRef rgb) noexcept;
// Puts every system colour back to its default.
void resetSystemColors() noexcept;

// A colour value ready to draw with: a value with the high bit set names a system colour by its
// low byte and becomes that colour (0 for an index without one); any other value is returned
// as it is.
[[nodiscard]] ColorRef translateColor(std::uint32_t color) noexcept;

}  // namespace talvrin::platform
