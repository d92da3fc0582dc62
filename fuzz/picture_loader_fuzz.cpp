// libFuzzer target for the picture loader: BMP, JPEG and GIF bytes through the process's loader,
// and the picture drawn onto a small context. The decode budget keeps a header alone from
// asking for gigabytes, as in the program.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "fuzz_budget.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"
#include "platform/picture/gif_decoder.h"
#include "platform/picture/picture.h"
#include "platform/picture/picture_loader.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    talvrin::fuzzing::useFuzzDecodeBudget();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace talvrin::platform;
    const std::span<const std::uint8_t> bytes(data, size);
    auto picture = loadPicture(bytes).image;
    if (!picture) return 0;
    // A picture has a type the loader makes and a positive pixel size.
    if (picture->type() != kPictureBitmap && picture->type() != kPictureIcon) __builtin_trap();
    if (picture->pixelWidth() < 1 || picture->pixelHeight() < 1) __builtin_trap();
    if (const Bitmap* b = picture->bitmap()) {
        if (b->width() != picture->pixelWidth() || b->height() != picture->pixelHeight())
            __builtin_trap();
        // Touch every byte so that a short buffer shows up under the sanitizer.
        unsigned sum = 0;
        for (std::size_t i = 0; i < b->byteCount(); ++i)
            sum += b->bits()[i];
        volatile unsigned sink = sum;
        (void)sink;
    }
    auto target = Bitmap::create(16, 16, 32);
    auto dc = DeviceContext::createCompatible();
    Bitmap* previous = (target && dc) ? dc->select(target.get()) : nullptr;
    if (previous) {
        picture->render(*dc, 0, 0, 16, 16, 0, picture->Height(), picture->Width(),
                        -picture->Height());
        dc->select(previous);
    }
    return 0;
}
