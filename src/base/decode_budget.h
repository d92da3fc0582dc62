// The decode budget: the most pixels of any one image or surface the program makes. A few bytes
// can declare an image of billions of pixels, and a stored property or a command-line size can
// ask for a drawing of as many: every decoder and the picture loader check the declared size
// against this budget before they allocate anything, and refuse what exceeds it as "too large";
// every surface and working buffer of the image library (the control's cache and shadow, the
// rotation square, scaled copies) is refused beyond it too, and the image tool checks its canvas.
//
// The default is 67,108,863 pixels, which a 32-bit surface holds in 256 MiB (the PNG decoder's
// own limit). A host may set another budget for the whole process (talvrin-image's
// --max-pixels); 0 means no budget beyond the surface's own 32-bit size limit.
#pragma once

#include <atomic>
#include <cstdint>

namespace talvrin {

inline constexpr std::uint64_t kDefaultDecodeBudget = 67'108'863;

namespace detail {
inline std::atomic<std::uint64_t> gDecodeBudget{kDefaultDecodeBudget};
}  // namespace detail

// Sets the budget in pixels (0: none) and gives back the previous one.
inline std::uint64_t setDecodeBudget(std::uint64_t pixels) noexcept {
    return detail::gDecodeBudget.exchange(pixels, std::memory_order_relaxed);
}

// The budget in pixels; 0 when there is none.
[[nodiscard]] inline std::uint64_t decodeBudget() noexcept {
    return detail::gDecodeBudget.load(std::memory_order_relaxed);
}

// True when an image of width x height pixels (each at least 0) fits the budget.
[[nodiscard]] inline bool withinDecodeBudget(std::uint64_t width, std::uint64_t height) noexcept {
    const std::uint64_t budget = decodeBudget();
    if (budget == 0) return true;
    // width * height <= budget, without forming a product that could wrap.
    return width == 0 || height <= budget / width;
}

// Sets a budget for the life of a scope (tests, a tool's option) and restores the previous one.
class ScopedDecodeBudget {
  public:
    explicit ScopedDecodeBudget(std::uint64_t pixels) noexcept
        : previous_(setDecodeBudget(pixels)) {}
    ~ScopedDecodeBudget() { setDecodeBudget(previous_); }
    ScopedDecodeBudget(const ScopedDecodeBudget&) = delete;
    ScopedDecodeBudget& operator=(const ScopedDecodeBudget&) = delete;

  private:
    std::uint64_t previous_;
};

}  // namespace talvrin
