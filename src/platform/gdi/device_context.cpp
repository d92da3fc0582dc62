#include "platform/gdi/device_context.h"

#include <exception>
#include <new>

#include "platform/gdi/screen.h"

namespace talvrin::platform {
namespace {

// The screen context and its raster. The raster is declared after the context so that it is
// destroyed first at exit, handing the context back to the stock bitmap.
struct ScreenState {
    std::unique_ptr<DeviceContext> dc;
    std::unique_ptr<Bitmap> raster;
};

}  // namespace

Bitmap& DeviceContext::stockBitmap() noexcept {
    // One shared 1x1 bitmap whose pixel lives in static storage: it needs no allocation and is
    // never freed. It is marked as the stock bitmap once, when it is made (contexts on other
    // threads read the mark; a write on every call would race with them).
    alignas(16) static std::uint8_t pixel[4] = {};
    static Bitmap& stock = []() -> Bitmap& {
        static Bitmap made(1, 1, 32, 4, 4, pixel);
        made.stock_ = true;
        return made;
    }();
    return stock;
}

DeviceContext::DeviceContext(Bitmap* initial, bool screen) noexcept
    : selected_(initial), screen_(screen) {}

DeviceContext::~DeviceContext() {
    if (!selected_->isStock()) selected_->selectedInto_ = nullptr;
}

std::unique_ptr<DeviceContext> DeviceContext::createCompatible(const DeviceContext*) noexcept {
    return std::unique_ptr<DeviceContext>(new (std::nothrow)
                                              DeviceContext(&stockBitmap(), /*screen=*/false));
}

DeviceContext& DeviceContext::screen() noexcept {
    static ScreenState state{std::unique_ptr<DeviceContext>(
                                 new (std::nothrow) DeviceContext(&stockBitmap(), /*screen=*/true)),
                             nullptr};
    // A context that cannot even be allocated at start-up leaves nothing sensible to do.
    if (!state.dc) std::terminate();
    DeviceContext& dc = *state.dc;
    const Bitmap* raster = state.raster.get();
    if (!raster || raster->width() != screenWidth() || raster->height() != screenHeight()) {
        auto fresh = Bitmap::create(screenWidth(), screenHeight(), 32);
        if (fresh) {
            // Dropping the old raster releases it from the context (back to the stock bitmap);
            // the new one is then attached.
            state.raster = std::move(fresh);
            if (!dc.selected_->isStock()) dc.selected_->selectedInto_ = nullptr;
            dc.selected_ = state.raster.get();
            state.raster->selectedInto_ = &dc;
        }
    }
    return dc;
}

Bitmap* DeviceContext::select(Bitmap* bitmap) noexcept {
    if (screen_ || !bitmap) return nullptr;
    if (bitmap == selected_) return bitmap;
    if (!bitmap->isStock() && bitmap->selectedInto_) return nullptr;
    Bitmap* previous = selected_;
    if (!previous->isStock()) previous->selectedInto_ = nullptr;
    selected_ = bitmap;
    if (!bitmap->isStock()) bitmap->selectedInto_ = this;
    return previous;
}

void DeviceContext::releaseSelection(Bitmap* bitmap) noexcept {
    if (selected_ == bitmap) selected_ = &stockBitmap();
}

Rect DeviceContext::clipBox() const noexcept {
    const Rect bounds{0, 0, selected_->width(), selected_->height()};
    if (!clip_) return bounds;
    return intersect(bounds, *clip_);
}

std::optional<StretchMode> DeviceContext::setStretchMode(StretchMode mode) noexcept {
    const int value = static_cast<int>(mode);
    if (value < 1 || value > 4) return std::nullopt;
    const StretchMode previous = stretchMode_;
    stretchMode_ = mode;
    return previous;
}

}  // namespace talvrin::platform
