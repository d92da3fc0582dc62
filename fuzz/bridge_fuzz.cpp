// libFuzzer target for the imaging-library bridge's own formats: WebP and TIFF bytes through
// LoadWithGDIPlus, and a loaded image drawn back through the bridge scaled and rotated. A surface
// exists only when the load answered true, and its pixels are premultiplied.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_budget.h"
#include "image/bridge/gdiplus.h"
#include "image/surface/c32bpp_dib.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    talvrin::fuzzing::useFuzzDecodeBudget();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace talvrin;
    const std::span<const std::uint8_t> bytes(data, size);
    c32bppDIB dib;
    cGDIPlus bridge;
    const bool loaded = bridge.LoadWithGDIPlus({}, bytes, dib, 0);
    if (loaded != (dib.BitsPointer() != nullptr)) __builtin_trap();
    if (!loaded) return 0;
    const std::uint8_t* p = dib.BitsPointer();
    const std::size_t n = static_cast<std::size_t>(dib.Width()) * dib.Height();
    for (std::size_t i = 0; i < n; ++i, p += 4)
        if (p[0] > p[3] || p[1] > p[3] || p[2] > p[3]) __builtin_trap();
    // Drawn back small, through the two filter paths and a rotation.
    auto bitmap = platform::Bitmap::create(16, 16, 32);
    auto dc = platform::DeviceContext::createCompatible();
    dc->select(bitmap.get());
    (void)bridge.RenderWithGDIPlus(dib, *dc, 0, 100, 0, 0, 16, -16, 0, 0, dib.Width(), dib.Height(),
                                   true, -1, 0, 0);
    (void)bridge.RenderWithGDIPlus(dib, *dc, 33, 60, 2, 2, 12, 12, 0, 0, dib.Width(), dib.Height(),
                                   false, 3, 0, 20);
    return 0;
}
