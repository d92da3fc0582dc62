#include "image/codecs/compression.h"

#include <atomic>

namespace talvrin::compression {

namespace {
std::atomic<bool> gForcedAbsent{false};
}

bool isAvailable() noexcept { return !gForcedAbsent.load(std::memory_order_relaxed); }

void setForcedAbsent(bool absent) noexcept { gForcedAbsent.store(absent, std::memory_order_relaxed); }

}  // namespace talvrin::compression
