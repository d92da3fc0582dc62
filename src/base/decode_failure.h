// Why data did not become an image: the one failure vocabulary every decoder reports, the
// platform's picture decoders included, and the one record of it (LoadFailure): the shared
// reason plus a short constant detail saying what exactly was wrong. A decoder object keeps the
// record of its last load behind one accessor, lastLoadFailure(); a decoding function gives it
// back with its result. The reason is what code, the surface and the conformance manifests
// decide on; the detail is for people ("bad data (bad filter)").
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/failure_record.h"

namespace talvrin {

enum class DecodeFailure : std::uint8_t {
    kNone,           // decoded, or nothing was tried
    kNotRecognised,  // no decoder took the data: unknown signature or container
    kTooShort,       // fewer bytes than the smallest image any decoder takes (57)
    kTruncated,      // the data ends before the image, or a block runs past the data
    kBadHeader,      // a header or directory whose fields are invalid or contradict each other
    kBadData,        // compressed or pixel data that is invalid (bad codes, filters, indices)
    kChecksum,       // a stored checksum does not match the data
    kUnsupported,    // a valid variant this decoder does not read (depth, compression, metafile)
    kTooLarge,       // the declared size exceeds the decode budget or the surface's limit
    kOutOfMemory,    // a buffer or the surface could not be allocated
    kUnreadable,     // the file could not be opened or read
};

// The reason as the tools print it ("truncated", "bad header", ...): stable text, also used by
// the conformance manifests.
[[nodiscard]] constexpr std::string_view describe(DecodeFailure failure) noexcept {
    switch (failure) {
        case DecodeFailure::kNone:
            return "none";
        case DecodeFailure::kNotRecognised:
            return "not recognised";
        case DecodeFailure::kTooShort:
            return "too short";
        case DecodeFailure::kTruncated:
            return "truncated";
        case DecodeFailure::kBadHeader:
            return "bad header";
        case DecodeFailure::kBadData:
            return "bad data";
        case DecodeFailure::kChecksum:
            return "checksum";
        case DecodeFailure::kUnsupported:
            return "unsupported variant";
        case DecodeFailure::kTooLarge:
            return "too large";
        case DecodeFailure::kOutOfMemory:
            return "out of memory";
        case DecodeFailure::kUnreadable:
            return "unreadable";
    }
    return "none";
}

// The reason named by its text; nothing for text that names none.
[[nodiscard]] constexpr std::optional<DecodeFailure> decodeFailureNamed(
    std::string_view text) noexcept {
    for (auto f = static_cast<std::uint8_t>(DecodeFailure::kNone);
         f <= static_cast<std::uint8_t>(DecodeFailure::kUnreadable); ++f) {
        if (describe(static_cast<DecodeFailure>(f)) == text) return static_cast<DecodeFailure>(f);
    }
    return std::nullopt;
}

// A failure as a decoder records it; reason kNone is a success.
using LoadFailure = FailureRecord<DecodeFailure>;

// A decoding function's result: its product (empty or null when it failed) and the failure.
template <typename T>
struct Decoded {
    T image{};
    LoadFailure failure;
};

}  // namespace talvrin
