// The tool's failure wording.
#include "tools/failure.h"

#include "tools/image_ops.h"

namespace talvrin::tool {

std::string Failure::text() const {
    return detail.empty() ? reason : reason + " (" + detail + ")";
}

Failure tooLarge(std::string_view what) {
    std::string detail(what);
    if (!detail.empty()) detail += "; ";
    detail += "the pixel budget is " + std::to_string(pixelLimit()) + " pixels, --max-pixels";
    return {std::string(describe(DecodeFailure::kTooLarge)), std::move(detail)};
}

Failure outOfMemory() {
    return {std::string(describe(DecodeFailure::kOutOfMemory)), ""};
}

std::string pixelsText(std::int64_t width, std::int64_t height) {
    return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

std::string failureLine(std::string_view action, std::string_view name, const Failure& failure,
                        std::string_view after) {
    return "cannot " + std::string(action) + " '" + std::string(name) + "'" + std::string(after) +
           ": " + failureField(failure);
}

std::string failureField(const Failure& failure) {
    return "error=" + failure.text();
}

}  // namespace talvrin::tool
