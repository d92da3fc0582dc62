#include "platform/win32/win32_canvas.h"

#include <cstdint>
#include <cstring>

namespace talvrin::platform::win32 {

Win32Canvas::Win32Canvas(HDC target, int width, int height) : width_(width), height_(height) {
    info_.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info_.bmiHeader.biWidth = width;
    info_.bmiHeader.biHeight = height;  // bottom-up, as the software bitmaps are
    info_.bmiHeader.biPlanes = 1;
    info_.bmiHeader.biBitCount = 32;
    info_.bmiHeader.biCompression = BI_RGB;
    memory_ = CreateCompatibleDC(target);
    section_ = CreateDIBSection(target, &info_, DIB_RGB_COLORS, &pixels_, nullptr, 0);
    canvas_ = Bitmap::create(width, height, 32);
    soft_ = DeviceContext::createCompatible();
    if (*this) previous_ = SelectObject(memory_, section_);
}

Win32Canvas::~Win32Canvas() {
    if (previous_) SelectObject(memory_, previous_);
    if (section_) DeleteObject(section_);
    if (memory_) DeleteDC(memory_);
}

Win32Canvas::operator bool() const noexcept {
    return memory_ && section_ && pixels_ && canvas_ && soft_;
}

void Win32Canvas::drawSoftware(const std::function<void(DeviceContext&)>& draw, bool opaque) {
    GdiFlush();
    std::memcpy(canvas_->bits(), pixels_, canvas_->byteCount());
    if (opaque) {
        std::uint8_t* bytes = canvas_->bits();
        for (std::size_t i = 3; i < canvas_->byteCount(); i += 4)
            bytes[i] = 0xFF;
    }
    soft_->select(canvas_.get());
    draw(*soft_);
    soft_.reset();
}

void Win32Canvas::put(HDC target, int x, int y, const RECT& source) const {
    // A bottom-up source counts its rows from the bottom.
    SetDIBitsToDevice(target, x, y, static_cast<DWORD>(source.right - source.left),
                      static_cast<DWORD>(source.bottom - source.top), source.left,
                      height_ - source.bottom, 0, static_cast<UINT>(height_), canvas_->bits(),
                      &info_, DIB_RGB_COLORS);
}

bool printParentUnder(HWND child, HDC dc) {
    const HWND parent = GetParent(child);
    if (!parent) return false;
    POINT origin{0, 0};
    MapWindowPoints(child, parent, &origin, 1);
    POINT oldOrigin;
    SetViewportOrgEx(dc, -origin.x, -origin.y, &oldOrigin);
    SendMessageA(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    SendMessageA(parent, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    SetViewportOrgEx(dc, oldOrigin.x, oldOrigin.y, nullptr);
    return true;
}

void drawSoftwareOver(HDC dc, const RECT& area,
                      const std::function<void(DeviceContext&, const Rect& whole)>& draw) {
    const int w = area.right - area.left, h = area.bottom - area.top;
    if (w < 1 || h < 1) return;
    Win32Canvas canvas(dc, w, h);
    if (!canvas) return;
    BitBlt(canvas.native(), 0, 0, w, h, dc, area.left, area.top, SRCCOPY);
    canvas.drawSoftware([&](DeviceContext& soft) { draw(soft, Rect{0, 0, w, h}); }, false);
    canvas.put(dc, area.left, area.top, RECT{0, 0, w, h});
}

void composeOverColor(std::span<const std::uint8_t> pixels, COLORREF background,
                      std::uint8_t* out) noexcept {
    const std::uint8_t backBgr[3] = {GetBValue(background), GetGValue(background),
                                     GetRValue(background)};
    for (std::size_t i = 0; i + 3 < pixels.size(); i += 4) {
        const int alpha = pixels[i + 3];
        for (int c = 0; c < 3; ++c)
            out[i + c] =
                static_cast<std::uint8_t>(pixels[i + c] + backBgr[c] * (255 - alpha) / 255);
        out[i + 3] = 0;
    }
}

HBITMAP createTopDownBitmap(int width, int height,
                            const std::function<void(std::uint8_t* bits)>& fill) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) fill(static_cast<std::uint8_t*>(bits));
    return bitmap;
}

}  // namespace talvrin::platform::win32
