// Device contexts: software raster targets. A context draws onto the bitmap selected into it
// (a memory context) or onto the process's screen raster (the screen context), and carries a
// clip box and a stretch mode. Single-threaded, like the user interface that uses it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "base/geometry.h"
#include "platform/gdi/bitmap.h"

namespace talvrin::platform {

// How stretched copies sample their source. The values are the platform's own codes.
// This layer samples the nearest source pixel in every mode; the mode is kept so that callers
// can set it and restore it as they do on the desktop.
enum class StretchMode : int {
    BlackOnWhite = 1,
    WhiteOnBlack = 2,
    ColorOnColor = 3,  // the normal mode ("delete scans")
    HalfTone = 4,
};

class DeviceContext {
  public:
    // A memory context compatible with the screen (32 bits a pixel). It starts with the shared
    // 1x1 stock bitmap selected, so select() never gives back null on a memory context.
    // The reference context is accepted for symmetry with the desktop call and not otherwise
    // used: every context here is compatible with the screen. Null only when allocation fails.
    [[nodiscard]] static std::unique_ptr<DeviceContext> createCompatible(
        const DeviceContext* reference = nullptr) noexcept;

    // The process's screen context: a 32-bit raster of screenWidth() x screenHeight() pixels
    // (screen.h). It lives for the whole process; nothing can be selected into it.
    [[nodiscard]] static DeviceContext& screen() noexcept;

    ~DeviceContext();
    DeviceContext(const DeviceContext&) = delete;
    DeviceContext& operator=(const DeviceContext&) = delete;

    // Selects a bitmap into a memory context and gives back the previously selected one (the
    // stock bitmap when nothing else was selected). Selecting the stock bitmap back releases
    // the selection. Fails with null, changing nothing, on the screen context, for a null
    // bitmap, and for a bitmap already selected into another context. Selecting the bitmap
    // that is already selected gives it back unchanged.
    Bitmap* select(Bitmap* bitmap) noexcept;

    // The bitmap drawing goes to: the selected bitmap, or the screen raster.
    [[nodiscard]] Bitmap& surface() const noexcept { return *selected_; }
    [[nodiscard]] bool isScreen() const noexcept { return screen_; }
    // The bitmap the context draws on is the stock bitmap (no selection made).
    [[nodiscard]] bool hasStockSelected() const noexcept { return selected_->isStock(); }

    // The clip box: the surface's bounds, narrowed to the clip rectangle when one is set.
    // Empty when they do not meet. Every drawing call writes only inside it.
    [[nodiscard]] Rect clipBox() const noexcept;
    // Sets (or, with nothing, removes) the clip rectangle in device coordinates.
    void setClipRect(std::optional<Rect> clip) noexcept { clip_ = clip; }
    [[nodiscard]] std::optional<Rect> clipRect() const noexcept { return clip_; }

    [[nodiscard]] StretchMode stretchMode() const noexcept { return stretchMode_; }
    // Sets the stretch mode and gives back the previous one; a value outside 1 ... 4 is refused
    // (nothing changes) and gives back nothing.
    std::optional<StretchMode> setStretchMode(StretchMode mode) noexcept;

  private:
    friend class Bitmap;
    DeviceContext(Bitmap* initial, bool screen) noexcept;
    static Bitmap& stockBitmap() noexcept;
    void releaseSelection(Bitmap* bitmap) noexcept;  // a selected bitmap is being destroyed

    Bitmap* selected_;
    bool screen_;
    std::optional<Rect> clip_;
    StretchMode stretchMode_ = StretchMode::BlackOnWhite;
};

}  // namespace talvrin::platform
