// How many large jobs of a batch run at once: each job holds the pixels its surfaces will need
// while it runs, and waits while the others hold too many for it. A job larger than the whole
// gate runs once it is alone, so every job runs in the end.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace talvrin::tool {

class PixelGate {
  public:
    explicit PixelGate(std::uint64_t capacity) noexcept : capacity_(capacity) {}

    // Pixels held until the hold goes (or is released).
    class Hold {
      public:
        Hold() noexcept = default;
        ~Hold() { release(); }
        Hold(Hold&& other) noexcept;
        Hold& operator=(Hold&& other) noexcept;
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        void release() noexcept;
        // True while the hold holds (an acquired hold of 0 pixels included).
        [[nodiscard]] bool active() const noexcept { return gate_ != nullptr; }
        [[nodiscard]] std::uint64_t pixels() const noexcept { return pixels_; }

      private:
        friend class PixelGate;
        Hold(PixelGate* gate, std::uint64_t pixels) noexcept : gate_(gate), pixels_(pixels) {}
        PixelGate* gate_ = nullptr;
        std::uint64_t pixels_ = 0;
    };

    // Holds the pixels when they fit beside what is held (or nothing is held); an empty hold
    // otherwise.
    [[nodiscard]] Hold tryAcquire(std::uint64_t pixels);
    // Waits until the pixels fit beside what is held (or nothing is held), then holds them.
    [[nodiscard]] Hold acquire(std::uint64_t pixels);

    [[nodiscard]] std::uint64_t capacity() const noexcept { return capacity_; }
    [[nodiscard]] std::uint64_t held() const;

  private:
    [[nodiscard]] bool fits(std::uint64_t pixels) const noexcept {
        return held_ == 0 || (pixels <= capacity_ && held_ <= capacity_ - pixels);
    }
    void give(std::uint64_t pixels) noexcept;

    const std::uint64_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable freed_;
    std::uint64_t held_ = 0;
};

// The gate of this process's batches: as many pixels as half the machine's memory holds at the
// bytes a job takes per pixel of its surfaces (its image, the working copies, the encoder's
// buffers), and never less than one pixel budget.
[[nodiscard]] PixelGate& batchGate();

}  // namespace talvrin::tool
