// The built-in DEFLATE decoder the PNG decoder falls back on when the compression library is
// absent or refuses the data. It reads a zlib stream whose two header bytes are skipped unread
// and whose Adler-32 trailer is never examined, and writes into a caller's buffer of fixed size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/byte_view.h"
#include "base/decode_failure.h"

namespace talvrin {

// How an inflate ended. The failures: the input ending before the final block did (truncated);
// block type 3, a stored length whose check fails, code lengths that are over-subscribed or
// incomplete or repeat past their end, a fixed-code symbol 286-287 or distance symbol 30-31, a
// back-reference before the start of the output, output beyond the room given (bad data, each
// with its own detail); a window that cannot be allocated (out of memory).
struct InflateResult {
    LoadFailure failure;
    std::size_t produced = 0;  // bytes written to the output (also on failure)

    [[nodiscard]] bool ok() const noexcept { return !failure.failed(); }
};

// Inflates the zlib stream `in` (the first two bytes are the header and are not examined) into
// `out`. Output shorter than `out` is accepted; bytes after `produced` are left as they were.
[[nodiscard]] InflateResult inflateZlib(ByteView in, std::span<std::uint8_t> out) noexcept;

// Where a windowed inflate hands its output, in order, in pieces of any size.
class InflateSink {
  public:
    virtual void write(const std::uint8_t* data, std::size_t size) noexcept = 0;

  protected:
    ~InflateSink() = default;
};

// The same stream inflated through a window of its own instead of one buffer of the whole
// output: the bytes go to `sink` as they are made, at most `maxOutput` of them (a stream that
// needs more fails, as it would in a buffer of that size). Output shorter than
// maxOutput is accepted. On failure the sink has received some of the output; on success all of
// it.
[[nodiscard]] InflateResult inflateZlibTo(ByteView in, std::size_t maxOutput,
                                          InflateSink& sink) noexcept;

// The same for a raw DEFLATE stream without the zlib header.
[[nodiscard]] InflateResult inflateRaw(ByteView in, std::span<std::uint8_t> out) noexcept;

}  // namespace talvrin
