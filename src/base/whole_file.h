// Reading a whole file into memory: the one reader every loader and tool uses. It works on any
// source with `std::optional<std::size_t> read(void* out, std::size_t count)` (the platform's
// File, or a test's fake), so it knows nothing of how files are opened.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "base/decode_failure.h"

namespace talvrin {

// Reads up to `size` bytes from the source's current position into `out` (replacing what it
// held). A source that ends early (a file that shrank while it was read) gives what it held,
// and no failure. Sizes above `limit` are refused (too large) before anything is allocated; the
// default limit is the largest byte range the decoders address with 32-bit offsets. A read error
// is unreadable, a buffer that cannot be had out of memory; `out` is then empty.
template <typename Source>
[[nodiscard]] LoadFailure readWholeFile(
    Source& source, std::uint64_t size, std::vector<std::uint8_t>& out,
    std::uint64_t limit = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    out.clear();
    if (size > limit || size > std::numeric_limits<std::size_t>::max())
        return {DecodeFailure::kTooLarge, "file beyond the size a decoder addresses"};
    try {
        out.resize(static_cast<std::size_t>(size));
    } catch (...) {  // bad_alloc, or length_error past the vector's limit
        out = {};
        return {DecodeFailure::kOutOfMemory, "no room for the file's bytes"};
    }
    std::size_t got = 0;
    while (got < out.size()) {
        const std::optional<std::size_t> n = source.read(out.data() + got, out.size() - got);
        if (!n) {
            out = {};
            return {DecodeFailure::kUnreadable, "read error"};
        }
        if (*n == 0) break;
        got += *n;
    }
    out.resize(got);
    return {};
}

}  // namespace talvrin
