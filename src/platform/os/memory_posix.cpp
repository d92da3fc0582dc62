#include "platform/os/memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace talvrin::platform {

void adviseWrittenWhole(void* data, std::size_t bytes) noexcept {
#if defined(MADV_HUGEPAGE)
    // Below a few large pages there is little to gain.
    constexpr std::size_t kWorthIt = std::size_t{4} << 20;
    if (!data || bytes < kWorthIt) return;
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pageSize <= 0) return;
    const auto page = static_cast<std::uintptr_t>(pageSize);
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + page - 1) & ~(page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(page - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);  // advice only
#else
    (void)data;
    (void)bytes;
#endif
}

}  // namespace talvrin::platform
