#include "platform/os/memory.h"

namespace talvrin::platform {

// Windows backs ordinary allocations with small pages only (large pages need a privilege and
// an allocation of their own), so there is nothing to advise.
void adviseWrittenWhole(void* /*data*/, std::size_t /*bytes*/) noexcept {}

}  // namespace talvrin::platform
