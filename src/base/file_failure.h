// Why a file could not be read or written: the reason (the same words the decoders' "unreadable"
// stands beside) and, for a write, the system's own message as the detail ("No space left on
// device"), kept for the life of the process. Its record, FileFailureRecord, has the shape of
// every other failure record.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/failure_record.h"

namespace talvrin {

enum class FileFailure : std::uint8_t {
    kNone,              // it opened, or it was written
    kNotFound,          // no such file (or a folder on the way is missing)
    kIsDirectory,       // the path names a folder
    kPermissionDenied,  // the file or a folder on the way may not be read or written
    kUnreadable,        // anything else on reading (a socket, an I/O error, an impossible name)
    kUnwritable,        // anything else on writing (a full disk, a socket, a file size limit)
};

// The reason as the tools print it: stable text.
[[nodiscard]] constexpr std::string_view describe(FileFailure failure) noexcept {
    switch (failure) {
        case FileFailure::kNone:
            return "none";
        case FileFailure::kNotFound:
            return "not found";
        case FileFailure::kIsDirectory:
            return "is a directory";
        case FileFailure::kPermissionDenied:
            return "permission denied";
        case FileFailure::kUnreadable:
            return "unreadable";
        case FileFailure::kUnwritable:
            return "unwritable";
    }
    return "none";
}

using FileFailureRecord = FailureRecord<FileFailure>;

}  // namespace talvrin
