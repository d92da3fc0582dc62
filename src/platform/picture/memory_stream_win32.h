// In-memory COM streams for the system's picture loader and imaging library, which read and
// write encoded images through streams (Windows only). A stream lives in a moveable global
// block that it frees when it is released.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

struct IStream;

namespace talvrin::platform {

struct StreamRelease {
    void operator()(IStream* stream) const noexcept;
};
using StreamPtr = std::unique_ptr<IStream, StreamRelease>;

// A stream holding a copy of the bytes, positioned at its start (an empty span gives an empty
// stream); null when memory or the stream cannot be had.
[[nodiscard]] StreamPtr streamOverBytes(std::span<const std::uint8_t> bytes) noexcept;
// An empty stream that grows as it is written; null on failure.
[[nodiscard]] StreamPtr growableStream() noexcept;
// Copies everything the stream holds into out (replacing its contents). False when the stream's
// memory cannot be reached or copied.
bool streamBytes(IStream& stream, std::vector<std::uint8_t>& out) noexcept;

}  // namespace talvrin::platform
