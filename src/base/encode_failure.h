// Why an image did not become a file's bytes: the one failure vocabulary every encoder reports
// (the PNG encoder, the bitmap file, the JPEG encoder, the raw pixel export), and its record,
// SaveFailure, of the same shape as the decoders' LoadFailure. An encoder object keeps the record
// of its last encoding behind lastSaveFailure(); a function gives it back beside its result.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/failure_record.h"

namespace talvrin {

enum class EncodeFailure : std::uint8_t {
    kNone,              // encoded, or nothing was tried
    kNoImage,           // the surface holds no image
    kTooLarge,          // a size the format or the byte arrays cannot hold
    kNotPremultiplied,  // a translucent pixel whose colour exceeds its alpha
    kOutOfMemory,       // a working buffer or the output could not be allocated
    kCompression,       // the compression library refused the data
    kUnavailable,       // this build has no encoder (or no compression library) for the format
};

// The reason as the tools print it: stable text.
[[nodiscard]] constexpr std::string_view describe(EncodeFailure failure) noexcept {
    switch (failure) {
        case EncodeFailure::kNone:
            return "none";
        case EncodeFailure::kNoImage:
            return "no image";
        case EncodeFailure::kTooLarge:
            return "too large";
        case EncodeFailure::kNotPremultiplied:
            return "not premultiplied";
        case EncodeFailure::kOutOfMemory:
            return "out of memory";
        case EncodeFailure::kCompression:
            return "compression failed";
        case EncodeFailure::kUnavailable:
            return "unavailable";
    }
    return "none";
}

// A failure as an encoder records it; reason kNone is a success.
using SaveFailure = FailureRecord<EncodeFailure>;

}  // namespace talvrin
