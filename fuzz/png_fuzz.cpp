// libFuzzer target for cPNGparser::LoadStream. The first byte chooses whether the compression
// library counts as present (checksums tested, zlib inflates) or absent (no checksums, the
// built-in inflater); the rest is the PNG data.
#include <cstddef>
#include <cstdint>
#include <span>

#include "image/codecs/compression.h"
#include "image/codecs/png_parser.h"
#include "image/surface/c32bpp_dib.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    talvrin::compression::ScopedAbsent absent((data[0] & 1) != 0);
    const std::span<const std::uint8_t> png(data + 1, size - 1);
    talvrin::c32bppDIB dib;
    talvrin::cPNGparser parser;
    std::uint32_t token = 0;
    const bool result =
        parser.LoadStream(png, dib, 0, static_cast<std::int32_t>(png.size()), token);
    if (dib.BitsPointer()) {
        // A decoded image is PNG, of the size its header gave, and premultiplied.
        if (!result || dib.Width() < 1 || dib.Height() < 1) __builtin_trap();
        const std::uint8_t* p = dib.BitsPointer();
        const std::size_t n =
            static_cast<std::size_t>(dib.Width()) * static_cast<std::size_t>(dib.Height());
        for (std::size_t i = 0; i < n; ++i, p += 4)
            if (p[0] > p[3] || p[1] > p[3] || p[2] > p[3]) __builtin_trap();
    }
    return 0;
}
