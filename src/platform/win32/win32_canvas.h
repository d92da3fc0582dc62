// The round trip between a window's device context and the software device context: a memory
// DIB section compatible with the target, which the desktop's drawing fills (a parent's
// background, the pixels already on the window); its pixels go into a software bitmap of the
// same size, drawn on through the software device context; and the result goes onto a window's
// context. Both bitmaps are bottom-up 32-bit. Windows only.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"

namespace talvrin::platform::win32 {

class Win32Canvas {
  public:
    Win32Canvas(HDC target, int width, int height);
    ~Win32Canvas();
    Win32Canvas(const Win32Canvas&) = delete;
    Win32Canvas& operator=(const Win32Canvas&) = delete;

    // Everything was made; nothing else may be used otherwise.
    [[nodiscard]] explicit operator bool() const noexcept;
    // The memory context with the section selected, for the desktop's drawing.
    [[nodiscard]] HDC native() const noexcept { return memory_; }
    // The section's pixels go into the software bitmap, which draw paints through a software
    // context. opaque: the alpha bytes become 0xFF first (GDI leaves them 0, which a
    // premultiplied destination would take for transparent).
    // Once only: the software context is released afterwards.
    void drawSoftware(const std::function<void(DeviceContext&)>& draw, bool opaque);
    // Puts the source rectangle of the software bitmap (client coordinates, top down) onto
    // target with its corner at x, y. The alpha bytes are ignored.
    void put(HDC target, int x, int y, const RECT& source) const;

  private:
    int width_, height_;
    BITMAPINFO info_{};
    HDC memory_ = nullptr;
    HBITMAP section_ = nullptr;
    void* pixels_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    std::unique_ptr<Bitmap> canvas_;
    std::unique_ptr<DeviceContext> soft_;
};

}  // namespace talvrin::platform::win32
