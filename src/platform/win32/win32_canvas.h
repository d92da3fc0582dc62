// The round trip between a window's device context and the software device context: a memory
// DIB section compatible with the target, which the desktop's drawing fills (a parent's
// background, the pixels already on the window); its pixels go into a software bitmap of the
// same size, drawn on through the software device context; and the result goes onto a window's
// context. Both bitmaps are bottom-up 32-bit. Beside it, a bitmap for the desktop's controls
// made from top-down pixels, and the software layer's rectangles as the desktop's. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "base/geometry.h"
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

// Draws the parent's client area under a child window into dc, the child's corner at dc's
// origin: the parent erases and prints its client area there. False for a window without a
// parent.
bool printParentUnder(HWND child, HDC dc);

// Draws on an area of dc through the software device context: the area's pixels as they are,
// drawn on by draw (in the area's own coordinates, whole: its rectangle from 0, 0) and put back.
// Nothing happens for an empty area.
void drawSoftwareOver(HDC dc, const RECT& area,
                      const std::function<void(DeviceContext&, const Rect& whole)>& draw);

// Premultiplied 32-bit pixels (blue, green, red, alpha) laid over an opaque background colour:
// each colour byte becomes colour + background * (255 - alpha) / 255, and the fourth byte 0, as
// the desktop's controls take a bitmap. out holds as many bytes as pixels.
void composeOverColor(std::span<const std::uint8_t> pixels, COLORREF background,
                      std::uint8_t* out) noexcept;

// A 32-bit DIB section of width x height whose top-down rows fill writes (width * height * 4
// bytes); null when it cannot be made (a section without pixels is answered unfilled).
[[nodiscard]] HBITMAP createTopDownBitmap(int width, int height,
                                          const std::function<void(std::uint8_t* bits)>& fill);

// A rectangle of the software layer as the desktop's, and back.
[[nodiscard]] inline RECT toRect(const Rect& r) noexcept {
    return {r.left, r.top, r.right, r.bottom};
}
[[nodiscard]] inline Rect fromRect(const RECT& r) noexcept {
    return {r.left, r.top, r.right, r.bottom};
}

}  // namespace talvrin::platform::win32
