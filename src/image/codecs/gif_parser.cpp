#include "image/codecs/gif_parser.h"

#include <array>
#include <cstring>

#include "base/byte_view.h"
#include "base/checked_math.h"
#include "image/surface/c32bpp_dib.h"
#include "image/surface/c32bpp_dib_internal.h"

namespace talvrin {

namespace {

// Converts indices (top row first) to surface pixels (bottom row first) through a 256-entry
// table of finished B, G, R, A words.
void convertIndices(const platform::GifImage& image, const std::array<std::uint32_t, 256>& lut,
                    std::uint8_t* bits) noexcept {
    const std::size_t width = static_cast<std::size_t>(image.width);
    for (std::int32_t y = 0; y < image.height; ++y) {
        const std::uint8_t* src = image.indices.data() + static_cast<std::size_t>(y) * width;
        std::uint8_t* dst = bits + pixelOffset(0, y, image.height, scanWidthFor(image.width));
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint32_t v = lut[src[x]];
            std::memcpy(dst + 4 * x, &v, 4);
        }
    }
}

}  // namespace

bool cGIFparser::LoadStream(std::span<const std::uint8_t> inStream, c32bppDIB& cHost,
                            std::int32_t streamOffset, std::int32_t streamLength) noexcept {
    failure_ = {DecodeFailure::kNotRecognised, {}};
    if (streamOffset < 0 || streamLength < 0) return false;
    const auto source = ByteView(inStream).sub(static_cast<std::uint64_t>(streamOffset),
                                               static_cast<std::uint64_t>(streamLength));
    if (!source) return false;

    // The data stays claimed as a GIF when the walk ran past its end, or when the image failed
    // to decode: the surface is then emptied. Any other walk failure (no signature, an
    // unexpected block, a short image block, no colour table) leaves it to the other decoders.
    const auto emptyButClaimed = [&cHost]() noexcept {
        try {
            cHost.DestroyDIB();
        } catch (...) {
        }
        return true;
    };
    platform::GifLayout layout;
    failure_ = platform::walkGifToFirstImage(*source, layout);
    if (failure_.reason == DecodeFailure::kTruncated) return emptyButClaimed();
    if (failure_.failed()) return false;

    platform::GifImage image;
    failure_ = platform::decodeGifImage(*source, layout, image);
    if (failure_.failed()) return emptyButClaimed();

    // Every index is inside the table (the decoder checked), so entries past it stay unused.
    // The transparent index, when it lies inside the table, maps to four zero bytes; outside it
    // no pixel carries it and the image is wholly opaque, its alpha flag still set.
    std::array<std::uint32_t, 256> lut{};
    const std::uint32_t entries = image.tableEntries < 256 ? image.tableEntries : 256;
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::uint8_t* rgb = image.palette.data() + 3 * i;
        lut[i] = 0xFF000000u | (std::uint32_t{rgb[0]} << 16) | (std::uint32_t{rgb[1]} << 8) |
                 std::uint32_t{rgb[2]};
    }
    if (image.transparent) lut[image.transparentIndex] = 0;

    bool made = false;
    try {
        made = cHost.InitializeDIB(image.width, image.height);
    } catch (...) {
    }
    if (!made) {
        failure_.refuse(DecodeFailure::kOutOfMemory, "no room for the surface");
        return emptyButClaimed();
    }
    convertIndices(image, lut, cHost.BitsPointer());
    SurfaceInternals::setAlpha(cHost, image.transparent);
    SurfaceInternals::setImageType(cHost, imgGIF);
    return true;
}

}  // namespace talvrin
