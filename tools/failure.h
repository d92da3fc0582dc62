// Why the tool could not do something to a file, and the one way every command words it: a
// reason from one vocabulary (the decoders', encoders' and files' records, and "unsupported
// format" ...) and, where there is more to say, what exactly: "too large (40000 x 40000 pixels;
// the pixel budget is 67108863 pixels, --max-pixels)", "unsupported format (AVIF)",
// "unwritable (No space left on device)".
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

    // A decoder's, an encoder's or a file's record in the tool's words.
    template <typename Reason>
    [[nodiscard]] static Failure of(const FailureRecord<Reason>& failure) {
        return {std::string(describe(failure.reason)), std::string(failure.detail)};
    }
    // "reason (detail)", or the reason alone.
    [[nodiscard]] std::string text() const;
};

// "too large": the size (when known) and the pixel budget in force, naming --max-pixels. `what`
// is "W x H pixels" or another count of pixels; empty when nothing is known of the size.
[[nodiscard]] Failure tooLarge(std::string_view what);
// "out of memory".
[[nodiscard]] Failure outOfMemory();
// "W x H pixels".
[[nodiscard]] std::string pixelsText(std::int64_t width, std::int64_t height);

// The error line of a job: "cannot <action> '<name>'<after>: error=<failure>", where `after`
// says which part or how (" upright", ": the drawing", " as png"). The one way a failure is
// printed, but for info's records, which carry failureField alone.
[[nodiscard]] std::string failureLine(std::string_view action, std::string_view name,
                                      const Failure& failure, std::string_view after = {});
// "error=<failure>": the field of a line (failureLine's end, info's tab-separated records).
[[nodiscard]] std::string failureField(const Failure& failure);

}  // namespace talvrin::tool
