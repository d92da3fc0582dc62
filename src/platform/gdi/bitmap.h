// Bitmap objects: the stand-in for DIB sections. A bitmap is one contiguous, zero-filled,
// bottom-up pixel buffer whose address stays fixed until the bitmap is destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "base/pixels.h"

namespace talvrin::platform {

class DeviceContext;

// Bytes of one row of a device-independent bitmap: width * bitsPerPixel bits rounded up to a
// multiple of 4 bytes. Nothing for a non-positive width, an unsupported depth (1, 4, 8, 16, 24
// and 32 are accepted) or a row that does not fit in 32 bits.
[[nodiscard]] std::optional<std::int32_t> dibStride(std::int32_t width, int bitsPerPixel) noexcept;

// True when a bitmap of this size and depth fits the 32-bit size limit that create() enforces
// (so a failing create() of such a size ran out of memory).
[[nodiscard]] bool bitmapSizeFits(std::int32_t width, std::int32_t height,
                                  int bitsPerPixel) noexcept;

class Bitmap {
  public:
    // A zero-filled bitmap of width x height pixels at 32 bits (B, G, R, A) or 24 bits (B, G, R,
    // rows padded to 4 bytes) a pixel. Null for width or height below 1, any other depth, a total
    // size beyond the signed 32-bit range, or a failed allocation.
    [[nodiscard]] static std::unique_ptr<Bitmap> create(std::int32_t width, std::int32_t height,
                                                        int bitsPerPixel) noexcept;

    ~Bitmap();
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    [[nodiscard]] std::int32_t width() const noexcept { return width_; }
    [[nodiscard]] std::int32_t height() const noexcept { return height_; }
    [[nodiscard]] int bitsPerPixel() const noexcept { return bitsPerPixel_; }
    // Bytes from one row to the next (width * 4 for 32 bits; padded to 4 bytes for 24 bits).
    [[nodiscard]] std::int32_t stride() const noexcept { return stride_; }
    // stride() * height(): the whole buffer.
    [[nodiscard]] std::size_t byteCount() const noexcept { return byteCount_; }

    // First byte of the buffer: the first pixel of the bottom row.
    [[nodiscard]] std::uint8_t* bits() noexcept { return bits_; }
    [[nodiscard]] const std::uint8_t* bits() const noexcept { return bits_; }

    // First byte of image row y counted from the top (0 <= y < height(); not checked).
    [[nodiscard]] std::uint8_t* rowFromTop(std::int32_t y) noexcept {
        return bits_ + bottomUpRowOffset(y, height_, static_cast<std::size_t>(stride_));
    }
    [[nodiscard]] const std::uint8_t* rowFromTop(std::int32_t y) const noexcept {
        return bits_ + bottomUpRowOffset(y, height_, static_cast<std::size_t>(stride_));
    }

    // The context this bitmap is selected into, or null. A bitmap is selected into at most one
    // context at a time (the shared stock bitmap excepted).
    [[nodiscard]] DeviceContext* selectedInto() const noexcept { return selectedInto_; }
    [[nodiscard]] bool isStock() const noexcept { return stock_; }

  private:
    friend class DeviceContext;
    Bitmap(std::int32_t width, std::int32_t height, int bitsPerPixel, std::int32_t stride,
           std::size_t byteCount, std::uint8_t* bits) noexcept;

    std::int32_t width_;
    std::int32_t height_;
    int bitsPerPixel_;
    std::int32_t stride_;
    std::size_t byteCount_;
    std::uint8_t* bits_;
    DeviceContext* selectedInto_ = nullptr;
    bool stock_ = false;
};

}  // namespace talvrin::platform
