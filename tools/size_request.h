// Output sizes as the tool's users write them: "WxH" (fit inside the box, keeping the aspect
// ratio), "W" (that width), "xH" (that height), "N%" (a scale); and the size they give an
// image of a known size.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace talvrin::tool {

struct SizeRequest {
    enum class Kind { kBox, kWidth, kHeight, kPercent };
    Kind kind = Kind::kPercent;
    std::int64_t width = 0, height = 0;  // the box's sides, or the one side given
    double percent = 100;                // for kPercent

    // Parses the text; throws UsageError naming the option for anything else. Sides are 1 to
    // 2^31 - 1, a percentage above 0 and at most 100000.
    [[nodiscard]] static SizeRequest parse(std::string_view option, std::string_view text);

    // The size for an image of w x h (both at least 1): the largest that fits the box with the
    // image's aspect ratio, the other side rounded to the nearest pixel (halves up) and never
    // below 1. May exceed every limit: the caller checks the result against the pixel budget.
    [[nodiscard]] std::pair<std::int64_t, std::int64_t> fit(std::int64_t w, std::int64_t h) const;

    // The box itself (kBox), or nothing for the one-sided and relative forms.
    [[nodiscard]] std::optional<std::pair<std::int64_t, std::int64_t>> box() const;
};

}  // namespace talvrin::tool
