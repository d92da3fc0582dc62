// Access to the compression library (zlib, linked directly). The library can be made to count
// as absent, so that the paths that work without it (the built-in inflater, loads without
// checksum tests) run in tests. Every call answers failure while the library counts as absent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/byte_view.h"

namespace talvrin::compression {

// True when the compression library may be used: linked in and not switched off.
[[nodiscard]] bool isAvailable() noexcept;

// Makes the library count as absent (true) or present again (false). Process-wide.
void setForcedAbsent(bool absent) noexcept;

// Switches the library off for the lifetime of the object and restores the previous state.
class ScopedAbsent {
  public:
    explicit ScopedAbsent(bool absent = true) noexcept : previous_(!isAvailable()) {
        setForcedAbsent(absent);
    }
    ~ScopedAbsent() { setForcedAbsent(previous_); }
    ScopedAbsent(const ScopedAbsent&) = delete;
    ScopedAbsent& operator=(const ScopedAbsent&) = delete;

  private:
    bool previous_;
};

// CRC-32 of the bytes. 0 means "no checksum": the library is absent (a real CRC of 0 is
// treated the same way by the chunk rule below).
[[nodiscard]] std::uint32_t crc32(ByteView bytes) noexcept;

// The CRC-32 of bytes that follow those `crc` was taken over (start from 0), for data that
// arrives in pieces. 0 when the library is absent.
[[nodiscard]] std::uint32_t crc32Update(std::uint32_t crc, ByteView bytes) noexcept;

// The chunk-checksum rule: `typeAndData` (a chunk's type and data) is intact when its CRC-32
// is not 0 and equals the 4 bytes stored after the data, read big-endian.
[[nodiscard]] bool chunkChecksumMatches(ByteView typeAndData,
                                        std::uint32_t storedBigEndian) noexcept;

// Inflates a zlib stream into `out`. True exactly when the library reports success; `produced`
// receives the bytes written. False without the library.
[[nodiscard]] bool uncompress(ByteView in, std::span<std::uint8_t> out,
                              std::size_t* produced = nullptr) noexcept;

// A zlib stream inflated piece by piece into output buffers of the caller's choosing, with the
// same outcome as one uncompress() call over all the input into one buffer of the total size:
// a stream that ends is a success, and every error, including a stream that needs more room
// than the caller gives in all, is a failure.
class StreamInflater {
  public:
    enum class Step : std::uint8_t {
        kNeedInput,   // all of `in` was taken; the stream goes on
        kOutputFull,  // `out` is full; more output may follow
        kEnd,         // the stream ended (its checksum matched)
        kFailed,      // the data is not a valid zlib stream, or the library is absent
    };

    StreamInflater() noexcept;
    ~StreamInflater();
    StreamInflater(const StreamInflater&) = delete;
    StreamInflater& operator=(const StreamInflater&) = delete;

    // Inflates from `in` into `out` until one of the steps above; `consumed` and `produced`
    // receive the bytes taken and written. An empty `out` is allowed (the stream may still end
    // without writing: its checksum needs no room). After kEnd or kFailed every call answers
    // the same.
    Step run(ByteView in, std::span<std::uint8_t> out, std::size_t& consumed,
             std::size_t& produced) noexcept;

  private:
    struct State;
    State* state_ = nullptr;
    bool started_ = false;
    bool ended_ = false;
    bool failed_ = false;
};

// Deflates `in` at level 9 into a zlib stream, replacing the contents of `out`. True exactly
// when the library reports success; `out` is left empty otherwise. False without the library.
[[nodiscard]] bool compress2(ByteView in, std::vector<std::uint8_t>& out) noexcept;

// Deflates `in` at `level` (0 stored ... 9 smallest; 9 by default) into a zlib stream written to
// the caller's buffer `out`, which the caller sizes. True exactly when the library reports
// success; `produced` receives the bytes written (0 on failure). False without the library, for
// a level outside 0 ... 9, and when the stream does not fit `out`.
[[nodiscard]] bool compress2(ByteView in, std::span<std::uint8_t> out,
                             std::size_t* produced = nullptr, int level = 9) noexcept;

}  // namespace talvrin::compression
