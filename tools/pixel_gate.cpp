// The batch's pixel gate.
#include "tools/pixel_gate.h"

#include <algorithm>
#include <utility>

#include "platform/os/tool_io.h"
#include "tools/image_ops.h"

namespace talvrin::tool {

PixelGate::Hold::Hold(Hold&& other) noexcept
    : gate_(std::exchange(other.gate_, nullptr)), pixels_(std::exchange(other.pixels_, 0)) {}

PixelGate::Hold& PixelGate::Hold::operator=(Hold&& other) noexcept {
    if (this != &other) {
        release();
        gate_ = std::exchange(other.gate_, nullptr);
        pixels_ = std::exchange(other.pixels_, 0);
    }
    return *this;
}

void PixelGate::Hold::release() noexcept {
    if (gate_) gate_->give(pixels_);
    gate_ = nullptr;
    pixels_ = 0;
}

PixelGate::Hold PixelGate::tryAcquire(std::uint64_t pixels) {
    std::lock_guard lock(mutex_);
    if (!fits(pixels)) return {};
    held_ += pixels;
    return {this, pixels};
}

PixelGate::Hold PixelGate::acquire(std::uint64_t pixels) {
    std::unique_lock lock(mutex_);
    freed_.wait(lock, [&] { return fits(pixels); });
    held_ += pixels;
    return {this, pixels};
}

std::uint64_t PixelGate::held() const {
    std::lock_guard lock(mutex_);
    return held_;
}

void PixelGate::give(std::uint64_t pixels) noexcept {
    {
        std::lock_guard lock(mutex_);
        held_ -= std::min(held_, pixels);
    }
    freed_.notify_all();
}

PixelGate& batchGate() {
    // About ten bytes a pixel: a render of the whole budget peaks under 700 MB.
    constexpr std::uint64_t kBytesPerPixel = 10;
    static PixelGate gate(std::max<std::uint64_t>(
        pixelLimit(), platform::physicalMemoryBytes() / 2 / kBytesPerPixel));
    return gate;
}

}  // namespace talvrin::tool
