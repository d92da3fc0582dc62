// Hints to the operating system about how large buffers will be used.
#pragma once

#include <cstddef>

namespace talvrin::platform {

// The `bytes` at `data` (a fresh, large allocation) are about to be written from start to end:
// the system may back them with large pages, so that their first touch costs one fault per
// large page instead of one per small page. Only advice: nothing changes when the system
// declines, and the contents are not affected either way.
void adviseWrittenWhole(void* data, std::size_t bytes) noexcept;

}  // namespace talvrin::platform
