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

bool cGIFparser::claimWithoutImage(c32bppDIB& cHost, Failure failure,
                                   DecodeFailure reason) noexcept {
    failure_ = failure;
    decodeFailure_ = reason;
    try {
        cHost.DestroyDIB();
    } catch (...) {
    }
    return true;
}

bool cGIFparser::LoadStream(std::span<const std::uint8_t> inStream, c32bppDIB& cHost,
                            std::int32_t streamOffset, std::int32_t streamLength) noexcept {
    failure_ = Failure::kNone;
    decodeStatus_ = platform::GifDecodeStatus::kOk;
    decodeFailure_ = DecodeFailure::kNotRecognised;
    if (streamOffset < 0 || streamLength < 0) return false;
    const auto source = ByteView(inStream).sub(static_cast<std::uint64_t>(streamOffset),
                                               static_cast<std::uint64_t>(streamLength));
    if (!source) return false;

    platform::GifLayout layout;
    const platform::GifWalkStatus walk = platform::walkGifToFirstImage(*source, layout);
    switch (walk) {
        case platform::GifWalkStatus::kOk:
            break;
        case platform::GifWalkStatus::kTruncated:
            return claimWithoutImage(cHost, Failure::kTruncated, DecodeFailure::kTruncated);
        case platform::GifWalkStatus::kNotGif:
        case platform::GifWalkStatus::kUnexpectedBlock:
        case platform::GifWalkStatus::kShortImageBlock:
        case platform::GifWalkStatus::kNoColorTable:
            // Not taken as a GIF: the other decoders get their turn.
            decodeFailure_ = platform::failureOf(walk);
            return false;
    }

    platform::GifImage image;
    decodeStatus_ = platform::decodeGifImage(*source, layout, image);
    if (decodeStatus_ != platform::GifDecodeStatus::kOk)
        return claimWithoutImage(cHost, Failure::kDecode, platform::failureOf(decodeStatus_));

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

    try {
        if (!cHost.InitializeDIB(image.width, image.height))
            return claimWithoutImage(cHost, Failure::kSurface, DecodeFailure::kOutOfMemory);
    } catch (...) {
        return claimWithoutImage(cHost, Failure::kSurface, DecodeFailure::kOutOfMemory);
    }
    convertIndices(image, lut, cHost.BitsPointer());
    SurfaceInternals::setAlpha(cHost, image.transparent);
    SurfaceInternals::setImageType(cHost, imgGIF);
    decodeFailure_ = DecodeFailure::kNone;
    return true;
}

}  // namespace talvrin
