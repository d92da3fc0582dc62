// Why the tool could not do something to a file, and the one way every command words it: a
// reason from one vocabulary (the decoders' reasons, and "not found", "unsupported format" ...)
// and, where there is more to say, what exactly: "too large (40000 x 40000 pixels; the pixel
// budget is 67108863 pixels, --max-pixels)", "unsupported format (AVIF)".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/decode_failure.h"

namespace talvrin::tool {

struct Failure {
    std::string reason;  // "truncated", "too large", "unsupported format", ...
    std::string detail;  // what exactly, or empty

    // The decoder's record in the tool's words.
    [[nodiscard]] static Failure of(const LoadFailure& failure);
    // "reason (detail)", or the reason alone.
    [[nodiscard]] std::string text() const;
};

// "too large": the size (when known) and the pixel budget in force, naming --max-pixels. `what`
// is "W x H pixels" or another count of pixels; empty when nothing is known of the size.
[[nodiscard]] Failure tooLarge(std::string_view what);
// "W x H pixels".
[[nodiscard]] std::string pixelsText(std::int64_t width, std::int64_t height);

// The error line of a job: "cannot <action> '<name>': error=<failure>".
[[nodiscard]] std::string failureLine(std::string_view action, std::string_view name,
                                      const Failure& failure);

}  // namespace talvrin::tool
