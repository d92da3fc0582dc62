#include "platform/gdi/bitmap.h"

#include <cstdlib>
#include <new>

#include "base/checked_math.h"
#include "base/pixels.h"
#include "platform/gdi/device_context.h"
#include "platform/os/memory.h"

namespace talvrin::platform {

std::optional<std::int32_t> dibStride(std::int32_t width, int bitsPerPixel) noexcept {
    if (width < 1) return std::nullopt;
    switch (bitsPerPixel) {
        case 1:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32:
            break;
        default:
            return std::nullopt;
    }
    return checkedCast<std::int32_t>(dwordAlignedRowBytes(
        static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(bitsPerPixel)));
}

bool bitmapSizeFits(std::int32_t width, std::int32_t height, int bitsPerPixel) noexcept {
    if (width < 1 || height < 1) return false;
    const auto stride = dibStride(width, bitsPerPixel);
    return stride && checkedMul<std::int32_t>(*stride, height).has_value();
}

std::unique_ptr<Bitmap> Bitmap::create(std::int32_t width, std::int32_t height,
                                       int bitsPerPixel) noexcept {
    if (width < 1 || height < 1) return nullptr;
    if (bitsPerPixel != 24 && bitsPerPixel != 32) return nullptr;
    const auto stride = dibStride(width, bitsPerPixel);
    if (!stride) return nullptr;
    const auto total = checkedMul<std::int32_t>(*stride, height);
    if (!total) return nullptr;
    // calloc gives zero-filled memory (fresh pages for large buffers, so no extra pass).
    auto* bits = static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(*total), 1));
    if (!bits) return nullptr;
    // Images are written whole soon after they are made (decoded, drawn, scaled into).
    adviseWrittenWhole(bits, static_cast<std::size_t>(*total));
    auto* bitmap = new (std::nothrow)
        Bitmap(width, height, bitsPerPixel, *stride, static_cast<std::size_t>(*total), bits);
    if (!bitmap) {
        std::free(bits);
        return nullptr;
    }
    return std::unique_ptr<Bitmap>(bitmap);
}

Bitmap::Bitmap(std::int32_t width, std::int32_t height, int bitsPerPixel, std::int32_t stride,
               std::size_t byteCount, std::uint8_t* bits) noexcept
    : width_(width),
      height_(height),
      bitsPerPixel_(bitsPerPixel),
      stride_(stride),
      byteCount_(byteCount),
      bits_(bits) {}

Bitmap::~Bitmap() {
    // A bitmap destroyed while selected leaves its context drawing on the stock bitmap rather
    // than on freed memory.
    if (selectedInto_) selectedInto_->releaseSelection(this);
    if (!stock_) std::free(bits_);
}

}  // namespace talvrin::platform
