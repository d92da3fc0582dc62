// Option values with their documented ranges: each parser answers the value or throws a
// UsageError naming the option, the value given and what was expected, range included.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace talvrin::tool {

// A whole number from min to max: "--opacity: 150 is out of range 0..100".
[[nodiscard]] std::int64_t wholeIn(std::string_view option, std::string_view text, std::int64_t min,
                                   std::int64_t max);

// One of the listed whole numbers: "--depth: 7 is not one of 1, 4, 8, 16, 24, 32".
[[nodiscard]] std::int32_t wholeOneOf(std::string_view option, std::string_view text,
                                      std::initializer_list<std::int32_t> allowed);

// A decimal number (22.5, -0.5, 1e1) from min to max.
[[nodiscard]] double decimalIn(std::string_view option, std::string_view text, double min,
                               double max);

// A colour as rrggbb or #rrggbb (hex digits in either case), as the 0x00BBGGRR value the image
// library takes.
[[nodiscard]] std::uint32_t colourOf(std::string_view option, std::string_view text);

// WxH with both sides from min to max.
[[nodiscard]] std::pair<std::int32_t, std::int32_t> sizeIn(std::string_view option,
                                                           std::string_view text, std::int32_t min,
                                                           std::int32_t max);

// The value of --max-pixels: a whole number of pixels from 1, or "unlimited" (0: no budget).
[[nodiscard]] std::uint64_t pixelBudgetOf(std::string_view option, std::string_view text);

}  // namespace talvrin::tool
