// The built-in DEFLATE decoder the PNG decoder falls back on when the compression library is
// absent or refuses the data. It reads a zlib stream whose two header bytes are skipped unread
// and whose Adler-32 trailer is never examined, and writes into a caller's buffer of fixed size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/byte_view.h"

namespace talvrin {

// Why an inflate ended. Everything except kOk is a failure.
enum class InflateStatus : std::uint8_t {
    kOk,
    kTruncated,        // the input ended before the final block did
    kBadBlockType,     // block type 3
    kBadStoredLength,  // NLEN is not the one's complement of LEN
    kBadCodeLengths,   // a code that is over-subscribed or incomplete, or bad repeat codes
    kBadSymbol,        // a fixed-code symbol 286-287 or a distance symbol 30-31
    kBadDistance,      // a back-reference before the start of the output
    kOutputFull,       // the data needs more room than the output buffer has
    kOutOfMemory,      // the window of a windowed inflate could not be allocated
};

struct InflateResult {
    InflateStatus status = InflateStatus::kOk;
    std::size_t produced = 0;  // bytes written to the output (also on failure)

    [[nodiscard]] bool ok() const noexcept { return status == InflateStatus::kOk; }
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
// needs more fails with kOutputFull, as it would in a buffer of that size). Output shorter than
// maxOutput is accepted. On failure the sink has received some of the output; on success all of
// it.
[[nodiscard]] InflateResult inflateZlibTo(ByteView in, std::size_t maxOutput,
                                          InflateSink& sink) noexcept;

// The same for a raw DEFLATE stream without the zlib header.
[[nodiscard]] InflateResult inflateRaw(ByteView in, std::span<std::uint8_t> out) noexcept;

}  // namespace talvrin
