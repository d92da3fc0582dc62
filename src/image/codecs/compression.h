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

// The chunk-checksum rule: `typeAndData` (a chunk's type and data) is intact when its CRC-32
// is not 0 and equals the 4 bytes stored after the data, read big-endian.
[[nodiscard]] bool chunkChecksumMatches(ByteView typeAndData,
                                        std::uint32_t storedBigEndian) noexcept;

// Inflates a zlib stream into `out`. True exactly when the library reports success; `produced`
// receives the bytes written. False without the library.
[[nodiscard]] bool uncompress(ByteView in, std::span<std::uint8_t> out,
                              std::size_t* produced = nullptr) noexcept;

// Deflates `in` at level 9 into a zlib stream, replacing the contents of `out`. True exactly
// when the library reports success; `out` is left empty otherwise. False without the library.
[[nodiscard]] bool compress2(ByteView in, std::vector<std::uint8_t>& out) noexcept;

// Deflates `in` at level 9 into a zlib stream written to the caller's buffer `out`, which the
// caller sizes. True exactly when the library reports success; `produced` receives the bytes
// written (0 on failure). False without the library, and when the stream does not fit `out`.
[[nodiscard]] bool compress2(ByteView in, std::span<std::uint8_t> out,
                             std::size_t* produced = nullptr) noexcept;

}  // namespace talvrin::compression
