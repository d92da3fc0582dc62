// Engine: work buffers and the switch between the vector and the one-pixel forms.
#include <new>

#include "base/checked_math.h"
#include "base/decode_budget.h"
#include "image/surface/engine.h"
#include "image/surface/engine_sample.h"

namespace talvrin::engine {

namespace {
bool vectorEnabled = true;
}  // namespace

void setVectorCodeEnabled(bool enabled) noexcept {
    vectorEnabled = enabled;
}

bool detail::vectorCodeEnabled() noexcept {
    return vectorEnabled;
}

bool detail::vectorPathActive() noexcept {
#if defined(TALVRIN_ENGINE_AVX2)
    static const bool supported = __builtin_cpu_supports("avx2") != 0;
    return vectorEnabled && supported;
#else
    return false;
#endif
}

VectorCode vectorCodeActive() noexcept {
    if (!vectorEnabled) return VectorCode::kNone;
    if (detail::vectorPathActive()) return VectorCode::kWide;
#if defined(__SSE2__)
    return VectorCode::kNarrow;  // the compositor's four-pixel rows need nothing more
#else
    return VectorCode::kNone;
#endif
}

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
