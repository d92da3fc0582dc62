// libFuzzer target for cBMPparser. The first byte chooses the route: LoadStream on the rest
// (own 32-bit path or the picture loader), or the rest decoded as a BMP and handed over as a
// bitmap handle to ConvertstdPicTo32bpp. The decode budget bounds every image.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "fuzz_budget.h"
#include "image/codecs/bmp_parser.h"
#include "image/surface/c32bpp_dib.h"
#include "platform/picture/bmp_decoder.h"
#include "platform/picture/gif_decoder.h"
#include "platform/picture/picture.h"
#include "platform/picture/picture_loader.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    talvrin::fuzzing::useFuzzDecodeBudget();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace talvrin;
    if (size < 1) return 0;
    const std::span<const std::uint8_t> bytes(data + 1, size - 1);
    c32bppDIB dib;
    cBMPparser parser;
    bool result = false;
    if ((data[0] & 1) == 0) {
        result = parser.LoadStream(bytes, dib, 0, static_cast<std::int32_t>(bytes.size()));
    } else {
        auto bitmap = platform::decodeBmp(bytes).image;
        if (!bitmap) return 0;
        result = parser.ConvertstdPicTo32bpp(nullptr, bitmap.get(), dib, 0);
        if (!result) __builtin_trap();  // a decoded bitmap always converts
    }
    if (result != (dib.BitsPointer() != nullptr)) __builtin_trap();
    if (dib.BitsPointer()) {
        // The surface is premultiplied whatever route filled it.
        const std::uint8_t* p = dib.BitsPointer();
        const std::size_t n =
            static_cast<std::size_t>(dib.Width()) * static_cast<std::size_t>(dib.Height());
        for (std::size_t i = 0; i < n; ++i, p += 4)
            if (p[0] > p[3] || p[1] > p[3] || p[2] > p[3]) __builtin_trap();
    }
    return 0;
}
