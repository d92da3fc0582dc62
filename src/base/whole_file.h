// Reading a whole file into memory: the one reader every loader and tool uses. It works on any
// source with `std::optional<std::size_t> read(void* out, std::size_t count)` (the platform's
// File, or a test's fake), so it knows nothing of how files are opened.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace talvrin {

enum class WholeFileStatus : std::uint8_t {
    kOk,
    kReadError,    // the source reported an error
    kTooLarge,     // the size is above the limit the caller set
    kOutOfMemory,  // the buffer could not be allocated
};

// Reads up to `size` bytes from the source's current position into `out` (replacing what it
// held). A source that ends early (a file that shrank while it was read) gives what it held,
// with kOk. Sizes above `limit` are refused before anything is allocated; the default limit is
// the largest byte range the decoders address with 32-bit offsets.
template <typename Source>
[[nodiscard]] WholeFileStatus readWholeFile(
    Source& source, std::uint64_t size, std::vector<std::uint8_t>& out,
    std::uint64_t limit = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    out.clear();
    if (size > limit || size > std::numeric_limits<std::size_t>::max())
        return WholeFileStatus::kTooLarge;
    try {
        out.resize(static_cast<std::size_t>(size));
    } catch (...) {  // bad_alloc, or length_error past the vector's limit
        out = {};
        return WholeFileStatus::kOutOfMemory;
    }
    std::size_t got = 0;
    while (got < out.size()) {
        const std::optional<std::size_t> n = source.read(out.data() + got, out.size() - got);
        if (!n) {
            out = {};
            return WholeFileStatus::kReadError;
        }
        if (*n == 0) break;
        got += *n;
    }
    out.resize(got);
    return WholeFileStatus::kOk;
}

}  // namespace talvrin
