// Engine: work buffers.
#include <new>

#include "base/checked_math.h"
#include "base/decode_budget.h"
#include "image/surface/engine.h"

namespace talvrin::engine {

WorkBuffer WorkBuffer::create(std::int32_t width, std::int32_t height, bool zeroed) noexcept {
    WorkBuffer b;
    const auto bytes = imageByteCount32(width, height);
    if (!bytes ||
        !withinDecodeBudget(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height)))
        return b;
    const auto n = static_cast<std::size_t>(*bytes);
    b.bytes_.reset(zeroed ? new (std::nothrow) std::uint8_t[n]()
                          : new (std::nothrow) std::uint8_t[n]);
    if (!b.bytes_) return b;
    b.width_ = width;
    b.height_ = height;
    return b;
}

}  // namespace talvrin::engine
