// libFuzzer target for the whole loading dispatch: c32bppDIB::LoadPicture_Stream tries the PNG,
// GIF, icon and bitmap decoders (and through the bitmap decoder the picture loader) in order.
// The first byte picks the icon preferences and whether the compression library counts as
// present; the rest is the data. A decoded surface must be well formed; it keeps the data itself,
// or, for a file that only the imaging library reads (WebP, TIFF), the PNG of the decoded image;
// and decoding its kept bytes again must give the same image. Every decoder runs under the default
// decode budget, as in the program: a few bytes may declare a gigabyte image, and the budget
// refuses it before anything of that size is allocated.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "image/bridge/gdiplus.h"
#include "image/codecs/compression.h"
#include "image/codecs/ico_parser.h"
#include "image/codecs/png_parser.h"
#include "image/surface/c32bpp_dib.h"
#include "image/surface/image_types.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    // As the program does at start-up: icon bytes reaching the picture loader are decoded.
    talvrin::installIconPictureRoute();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t control = data[0];
    talvrin::compression::ScopedAbsent absent((control & 1) != 0);
    const std::int32_t iconSize = (control >> 1) & 0x3F;
    const std::span<const std::uint8_t> bytes(data + 1, size - 1);
    talvrin::c32bppDIB dib;
    const bool loaded =
        dib.LoadPicture_Stream(bytes, iconSize, iconSize, 0, 0, true, (control & 0x80) ? 8 : 32);
    if (loaded != (dib.BitsPointer() != nullptr)) __builtin_trap();
    if (!loaded) return 0;
    if (dib.Width() < 1 || dib.Height() < 1) __builtin_trap();
    // The kept bytes by route: the data as it came, or (the imaging library's formats) a PNG.
    const std::vector<std::uint8_t>& kept = dib.sourceBytes();
    if (!std::equal(kept.begin(), kept.end(), bytes.begin(), bytes.end()) &&
        (talvrin::bridge::sniffBridgeFormat(bytes) == talvrin::bridge::BridgeFormat::kNone ||
         !talvrin::cPNGparser::hasSignature(talvrin::ByteView(kept.data(), kept.size())) ||
         dib.ImageType() != talvrin::imgPNG))
        __builtin_trap();
    const std::uint8_t* p = dib.BitsPointer();
    const std::size_t n =
        static_cast<std::size_t>(dib.Width()) * static_cast<std::size_t>(dib.Height());
    for (std::size_t i = 0; i < n; ++i, p += 4)
        if (p[0] > p[3] || p[1] > p[3] || p[2] > p[3]) __builtin_trap();

    // The kept bytes decode to the same image.
    const std::vector<std::uint8_t> first(dib.BitsPointer(), dib.BitsPointer() + n * 4);
    const std::int32_t w = dib.Width(), h = dib.Height();
    if (!dib.LoadPicture_FromOrignalFormat(iconSize, iconSize, (control & 0x80) ? 8 : 32))
        __builtin_trap();
    if (dib.Width() != w || dib.Height() != h ||
        std::memcmp(first.data(), dib.BitsPointer(), first.size()) != 0)
        __builtin_trap();
    return 0;
}
