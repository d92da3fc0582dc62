// libFuzzer target for the whole loading dispatch: c32bppDIB::LoadPicture_Stream tries the PNG,
// GIF, icon and bitmap decoders (and through the bitmap decoder the picture loader) in order.
// The first byte picks the icon preferences and whether the compression library counts as
// present; the rest is the data. A decoded surface must be well formed; it keeps the data itself,
// or, for a file that only the imaging library reads (WebP, TIFF), the PNG of the decoded image;
// and decoding its kept bytes again must give the same image. Loaded for a smaller drawing, the
// same data must load again, at the drawing's size or its own. Every decoder runs under a decode
// budget, as in the program: a few bytes may declare a gigabyte image, and the budget refuses it
// before anything of that size is allocated.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "fuzz_budget.h"
#include "image/bridge/gdiplus.h"
#include "image/codecs/compression.h"
#include "image/codecs/ico_parser.h"
#include "image/codecs/png_parser.h"
#include "image/surface/c32bpp_dib.h"
#include "image/surface/image_types.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    // As the program does at start-up: icon bytes reaching the picture loader are decoded.
    talvrin::installIconPictureRoute();
    talvrin::fuzzing::useFuzzDecodeBudget();
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

    // Loaded for a drawing a few times smaller (a JPEG then decoded reduced), turned as the
    // control bits say: the drawing's size in the stored orientation, or what a load without
    // preferences gives (an icon's default entry may be another than the one chosen above).
    const std::int32_t divisor = 2 + iconSize % 9, orientation = 1 + (control >> 4) % 8;
    const std::int32_t dw = std::max(1, w / divisor), dh = std::max(1, h / divisor);
    talvrin::c32bppDIB sized, plain;
    const bool plainLoaded = plain.LoadPicture_Stream(bytes);
    if (sized.LoadPicture_StreamForSize(bytes, dw, dh, orientation) != plainLoaded)
        __builtin_trap();
    if (!plainLoaded) return 0;
    const bool turned = orientation >= 5;
    const bool drawn = sized.Width() == (turned ? dh : dw) && sized.Height() == (turned ? dw : dh);
    if (!drawn && (sized.Width() != plain.Width() || sized.Height() != plain.Height()))
        __builtin_trap();
    p = sized.BitsPointer();
    for (std::size_t i = 0; i < std::size_t(sized.Width()) * std::size_t(sized.Height());
         ++i, p += 4)
        if (p[0] > p[3] || p[1] > p[3] || p[2] > p[3]) __builtin_trap();
    return 0;
}
