#include "image/codecs/ico_parser.h"

#include <array>
#include <cstring>

#include "base/checked_math.h"
#include "base/decode_budget.h"
#include "base/div255.h"
#include "base/pixels.h"
#include "image/codecs/pixel_helpers.h"
#include "image/codecs/platform_wrappers.h"
#include "image/codecs/png_parser.h"
#include "image/surface/c32bpp_dib.h"
#include "image/surface/c32bpp_dib_internal.h"
#include "platform/gdi/device_context.h"
#include "platform/gdi/gdi.h"
#include "platform/picture/picture_loader.h"

namespace talvrin {

namespace {

constexpr std::uint64_t kDirectoryHeaderSize = 6;
constexpr std::uint64_t kDirectoryEntrySize = 16;
constexpr std::uint16_t kPngMarker = 0x5244;  // "DR" of the IHDR chunk name
constexpr std::uint8_t kPngPlanes = 255;
constexpr std::uint32_t kPngMinimumSize = 33;     // signature and a whole IHDR chunk
constexpr std::uint64_t kMinimumHeaderSize = 16;  // reaches the bit count at +14
constexpr std::int32_t kDefaultDesiredSize = 32;

std::int64_t sizeOf(std::uint8_t dimension) noexcept {
    return dimension == 0 ? 256 : dimension;
}

// Bytes in one bottom-up row of width pixels at bits per pixel, padded to 4 bytes.
std::uint64_t rowSize(std::uint32_t width, std::uint32_t bits) noexcept {
    return dwordAlignedRowBytes(width, bits);
}

struct EntryLayout {
    std::uint64_t colorOffset = 0;
    std::uint64_t colorRow = 0;
    std::uint64_t colorSize = 0;
    std::uint64_t maskOffset = 0;
    std::uint64_t maskRow = 0;
    std::uint64_t maskSize = 0;
};

// The derived sizes of a bitmap entry, all in 64 bits (widths are at most 256 and bit counts at
// most 65535, so nothing here can wrap). maskOffset is meaningless when maskSize exceeds the
// entry, which the entry check rejects.
EntryLayout layoutOf(const cICOparser::Entry& e) noexcept {
    EntryLayout l;
    const std::uint64_t w = static_cast<std::uint64_t>(sizeOf(e.width));
    const std::uint64_t h = static_cast<std::uint64_t>(sizeOf(e.height));
    l.colorRow = rowSize(static_cast<std::uint32_t>(w), e.bitCount);
    l.colorSize = l.colorRow * h;
    l.maskRow = rowSize(static_cast<std::uint32_t>(w), 1);
    l.maskSize = l.maskRow * h;
    l.maskOffset = std::uint64_t{e.imageOffset} + e.bytesInRes - l.maskSize;
    l.colorOffset = std::uint64_t{e.imageOffset} + e.headerSize +
                    (e.bitCount < 16 ? (std::uint64_t{4} << e.bitCount) : 0);
    return l;
}

// 5 bits widened to 8 by repeating the high bits in the low ones.
std::uint8_t widen5(std::uint32_t v) noexcept {
    return static_cast<std::uint8_t>((v << 3) | (v >> 2));
}

void storePixel(std::uint8_t* dst, std::uint32_t bgra) noexcept {
    std::memcpy(dst, &bgra, 4);
}

// Converts the colour rows of a bitmap entry (bottom-up, like the surface) to 32-bit pixels
// with alpha 0. Palette entries are taken from the full 2^bits table in front of the rows.
void convertColorRows(ByteView data, const cICOparser::Entry& e, const EntryLayout& l,
                      std::uint8_t* bits) noexcept {
    const std::int32_t width = static_cast<std::int32_t>(sizeOf(e.width));
    const std::int32_t height = static_cast<std::int32_t>(sizeOf(e.height));
    const std::uint8_t* base = data.data();
    std::array<std::uint32_t, 256> lut{};
    if (e.bitCount <= 8) {
        const std::uint8_t* table = base + l.colorOffset - (std::uint64_t{4} << e.bitCount);
        for (std::size_t i = 0; i < (std::size_t{1} << e.bitCount); ++i) {
            lut[i] = static_cast<std::uint32_t>(table[4 * i]) |
                     (static_cast<std::uint32_t>(table[4 * i + 1]) << 8) |
                     (static_cast<std::uint32_t>(table[4 * i + 2]) << 16);
        }
    }
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* src = base + l.colorOffset + static_cast<std::uint64_t>(y) * l.colorRow;
        std::uint8_t* dst = bits + static_cast<std::size_t>(y) * scanWidthFor(width);
        switch (e.bitCount) {
            case 1:
            case 4:
            case 8: {
                const unsigned b = e.bitCount;
                const unsigned mask = (1u << b) - 1;
                for (std::int32_t x = 0; x < width; ++x) {
                    const std::size_t bit = static_cast<std::size_t>(x) * b;
                    const unsigned shift = 8 - b - static_cast<unsigned>(bit % 8);
                    storePixel(dst + 4 * x, lut[(src[bit / 8] >> shift) & mask]);
                }
                break;
            }
            case 16:
                for (std::int32_t x = 0; x < width; ++x) {
                    const std::uint32_t v = src[2 * x] | (std::uint32_t{src[2 * x + 1]} << 8);
                    dst[4 * x] = widen5(v & 31);
                    dst[4 * x + 1] = widen5((v >> 5) & 31);
                    dst[4 * x + 2] = widen5((v >> 10) & 31);
                    dst[4 * x + 3] = 0;
                }
                break;
            case 24:
                for (std::int32_t x = 0; x < width; ++x) {
                    dst[4 * x] = src[3 * x];
                    dst[4 * x + 1] = src[3 * x + 1];
                    dst[4 * x + 2] = src[3 * x + 2];
                    dst[4 * x + 3] = 0;
                }
                break;
            case 32:
                for (std::int32_t x = 0; x < width; ++x) {
                    dst[4 * x] = src[4 * x];
                    dst[4 * x + 1] = src[4 * x + 1];
                    dst[4 * x + 2] = src[4 * x + 2];
                    dst[4 * x + 3] = 0;
                }
                break;
            default:
                break;
        }
    }
}

// Applies bottom-up AND mask rows to the surface rows they match: a set bit clears the pixel
// (all four bytes 0), a clear bit makes it opaque. True when some bit was set.
bool applyAndMask(const std::uint8_t* maskRows, std::size_t maskRow, std::int32_t width,
                  std::int32_t height, std::uint8_t* bits) noexcept {
    bool anySet = false;
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* mask = maskRows + static_cast<std::size_t>(y) * maskRow;
        std::uint8_t* row = bits + static_cast<std::size_t>(y) * scanWidthFor(width);
        for (std::int32_t x = 0; x < width; ++x) {
            std::uint8_t* px = row + 4 * x;
            if ((mask[x >> 3] >> (7 - (x & 7))) & 1) {
                storePixel(px, 0);
                anySet = true;
            } else {
                px[3] = 255;
            }
        }
    }
    return anySet;
}

bool convertibleDepth(std::uint16_t bits) noexcept {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

}  // namespace

// ---- Properties -----------------------------------------------------------------------------

const cICOparser::Entry* cICOparser::entryAt(std::int32_t Index) const noexcept {
    if (Index < 1 || Index > IconCount()) return nullptr;
    return &entries_[static_cast<std::size_t>(Index - 1)];
}

std::int32_t cICOparser::Width(std::int32_t Index) const noexcept {
    const Entry* e = entryAt(Index);
    return e ? static_cast<std::int32_t>(sizeOf(e->width)) : 0;
}

std::int32_t cICOparser::Height(std::int32_t Index) const noexcept {
    const Entry* e = entryAt(Index);
    return e ? static_cast<std::int32_t>(sizeOf(e->height)) : 0;
}

bool cICOparser::IsIconPNG(std::int32_t Index) const noexcept {
    const Entry* e = entryAt(Index);
    return e && e->planes == kPngPlanes;
}

std::int32_t cICOparser::bitDepth(std::int32_t Index) const noexcept {
    const Entry* e = entryAt(Index);
    return e ? e->bitCount : 0;
}

std::int64_t cICOparser::ColorCount(std::int32_t Index) const noexcept {
    const Entry* e = entryAt(Index);
    if (!e || e->bitCount > 8) return 0;
    const EntryLayout l = layoutOf(*e);
    // Signed so that a short entry reads negative (such an entry is rejected on load).
    const std::int64_t spare =
        static_cast<std::int64_t>(e->bytesInRes) - static_cast<std::int64_t>(e->headerSize) -
        static_cast<std::int64_t>(l.colorSize) - static_cast<std::int64_t>(l.maskSize);
    return spare / 4;
}

std::int64_t cICOparser::ColorByteOffset(std::int32_t Index) const noexcept {
    const Entry* e = entryAt(Index);
    return e ? static_cast<std::int64_t>(layoutOf(*e).colorOffset) : 0;
}

// ---- Directory ------------------------------------------------------------------------------

bool cICOparser::pngHeaderValid(const Entry& e) const noexcept {
    const std::uint64_t at = e.imageOffset;
    return e.bytesInRes >= kPngMinimumSize && data_.contains(at, kPngMinimumSize) &&
           *data_.u32le(at) == 0x474E5089u && *data_.u32le(at + 4) == 0x0A1A0A0Du &&
           *data_.u32le(at + 12) == 0x52444849u;
}

bool cICOparser::CheckPngEntry(Entry& e) const noexcept {
    e.planes = kPngPlanes;
    if (!pngHeaderValid(e)) {
        e.bitCount = 0;
        return false;
    }
    const std::uint64_t at = e.imageOffset;
    const auto storeSize = [&e](std::uint32_t value, std::uint8_t& field) noexcept {
        if (value == 256) {
            field = 0;
        } else if (value >= 1 && value <= 255) {
            field = static_cast<std::uint8_t>(value);
        } else {
            e.bitCount = 0;
        }
    };
    storeSize(*data_.u32be(at + 16), e.width);
    storeSize(*data_.u32be(at + 20), e.height);
    if (e.bitCount == 0) {
        const std::uint8_t depth = data_.data()[at + 24];
        const std::uint8_t colorType = data_.data()[at + 25];
        e.bitCount = depth == 16 ? 32 : depth;
        if (depth != 0) {
            if (colorType == 4 || colorType == 6) {
                e.bitCount = 32;
            } else if (colorType == 2) {
                e.bitCount = 24;
            }
        }
    }
    return e.bitCount > 0;
}

LoadFailure cICOparser::checkBitmapEntry(Entry& e) const noexcept {
    const auto header = data_.u32le(e.imageOffset);
    if (!header || *header < kMinimumHeaderSize || *header > e.bytesInRes)
        return {DecodeFailure::kBadHeader, "bitmap header size"};
    e.headerSize = *header;
    const EntryLayout l = layoutOf(e);
    const std::uint64_t start = e.imageOffset;
    // The mask is the entry's last bytes: it must start after the header, and the colour rows
    // must end before it.
    if (l.maskSize > e.bytesInRes || l.maskOffset < start + e.headerSize ||
        l.colorOffset + l.colorSize > l.maskOffset)
        return {DecodeFailure::kBadHeader, "mask overlaps the header or the colour rows"};
    return {};
}

bool cICOparser::readDirectory(ByteView data) noexcept {
    data_ = data;
    failedEntry_ = 0;
    reserved_ = 0;
    type_ = 0;
    entries_.clear();
    if (data.size() < kDirectoryHeaderSize)
        return failure_.refuse(DecodeFailure::kNotRecognised, "under 6 bytes");
    reserved_ = *data.u16le(0);
    type_ = *data.u16le(2);
    const auto count = static_cast<std::int16_t>(*data.u16le(4));
    if (reserved_ != 0) return failure_.refuse(DecodeFailure::kNotRecognised, "reserved not 0");
    if (type_ != kTypeIcon && type_ != kTypeCursor)
        return failure_.refuse(DecodeFailure::kNotRecognised, "type not 1 or 2");
    if (count < 1) return failure_.refuse(DecodeFailure::kNotRecognised, "entry count below 1");
    const std::uint64_t directoryEnd =
        kDirectoryHeaderSize + kDirectoryEntrySize * static_cast<std::uint64_t>(count);
    if (data.size() < directoryEnd)
        return failure_.refuse(DecodeFailure::kTruncated, "directory entries past the data");

    try {
        entries_.resize(static_cast<std::size_t>(count));
    } catch (...) {
        return failure_.refuse(DecodeFailure::kOutOfMemory, "no room for the directory");
    }
    std::uint64_t sum = directoryEnd;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const std::uint64_t at = kDirectoryHeaderSize + kDirectoryEntrySize * i;
        Entry& e = entries_[i];
        e.width = data.data()[at];
        e.height = data.data()[at + 1];
        e.colorCount = data.data()[at + 2];
        e.reserved = data.data()[at + 3];
        e.planes = *data.u16le(at + 4);
        e.bitCount = *data.u16le(at + 6);
        e.bytesInRes = *data.u32le(at + 8);
        e.imageOffset = *data.u32le(at + 12);
        sum += e.bytesInRes;
    }
    if (data.size() < sum)
        return failure_.refuse(DecodeFailure::kTruncated, "entry sizes add up past the data");

    // Every entry is checked (so the properties describe them all); the first fault is kept.
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        Entry& e = entries_[i];
        e.planes = 1;
        constexpr LoadFailure kNoBitCount{DecodeFailure::kBadHeader, "no bit count"};
        LoadFailure f;
        if (!data.contains(e.imageOffset, e.bytesInRes) || e.bytesInRes < kMinimumHeaderSize) {
            f = {DecodeFailure::kTruncated, "entry outside the data or under 16 bytes"};
        } else if (*data.u16le(std::uint64_t{e.imageOffset} + 14) == kPngMarker) {
            if (!CheckPngEntry(e)) {
                f = pngHeaderValid(e) ? kNoBitCount
                                      : LoadFailure{DecodeFailure::kBadHeader,
                                                    "PNG entry without signature and IHDR"};
            }
        } else {
            const std::uint16_t marker = *data.u16le(std::uint64_t{e.imageOffset} + 14);
            if (marker != 0) e.bitCount = marker;
            f = e.bitCount == 0 ? kNoBitCount : checkBitmapEntry(e);
        }
        if (f.failed()) {
            e.bitCount = 0;
            if (failedEntry_ == 0) {
                failure_ = f;
                failedEntry_ = static_cast<std::int32_t>(i + 1);
            }
        }
    }
    return failedEntry_ == 0;
}

// ---- Selection ------------------------------------------------------------------------------

std::int32_t cICOparser::SelectBestEntry(std::int32_t desiredWidth, std::int32_t desiredHeight,
                                         std::int32_t desiredBitDepth) const noexcept {
    const std::int32_t count = IconCount();
    if (count < 1) return 0;
    if (count == 1) return entries_[0].bitCount != 0 ? 1 : 0;

    constexpr std::int64_t kStartScore = 10000;
    std::int64_t best = kStartScore;
    std::int32_t chosen = 0;
    std::vector<std::int64_t> scores;
    try {
        scores.assign(static_cast<std::size_t>(count), 0);
    } catch (...) {
        return 1;
    }
    for (std::int32_t i = 0; i < count; ++i) {
        const Entry& e = entries_[static_cast<std::size_t>(i)];
        if (e.bitCount == 0) continue;
        const std::int64_t w = sizeOf(e.width);
        const std::int64_t h = sizeOf(e.height);
        // An image smaller than requested counts twice.
        std::int64_t sW = w - desiredWidth;
        if (w < desiredWidth) sW *= 2;
        std::int64_t sH = h - desiredHeight;
        if (h < desiredHeight) sH *= 2;
        const std::int64_t depthGap = std::int64_t{desiredBitDepth} - e.bitCount;
        std::int64_t score = sW + sH + (depthGap < 0 ? -depthGap : depthGap);
        if (e.bitCount > 32) score = -kStartScore;
        scores[static_cast<std::size_t>(i)] = score;
        if (score == 0) return i + 1;
        if (score > 0 && score < best) {
            best = score;
            chosen = i + 1;
        }
    }
    if (chosen != 0) return chosen;

    // Every usable entry is smaller than requested in sum, or too deep: prefer the one nearest
    // in size and nearest to 32 bits, the later entry on a tie.
    for (std::int32_t i = count - 1; i >= 0; --i) {
        const Entry& e = entries_[static_cast<std::size_t>(i)];
        const std::int64_t s = scores[static_cast<std::size_t>(i)];
        const std::int64_t depthGap = 32 - std::int64_t{e.bitCount};
        const std::int64_t score = (s < 0 ? -s : s) + (depthGap < 0 ? -depthGap : depthGap);
        if (score < best) {
            best = score;
            chosen = i + 1;
        }
    }
    return chosen != 0 ? chosen : 1;
}

// ---- Loading --------------------------------------------------------------------------------

void cICOparser::ApplyMaskAndAlpha(const Entry& e, c32bppDIB& cHost) const noexcept {
    const EntryLayout l = layoutOf(e);
    const std::int32_t width = static_cast<std::int32_t>(sizeOf(e.width));
    const std::int32_t height = static_cast<std::int32_t>(sizeOf(e.height));
    std::uint8_t* bits = cHost.BitsPointer();
    const bool isIcon = type_ == kTypeIcon;

    if (e.bitCount == 32) {
        // The file's own alpha decides; the mask is not consulted.
        const std::uint8_t* src = data_.data() + l.colorOffset;
        const std::size_t pixels =
            static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
        for (std::size_t i = 0; i < pixels; ++i) {
            std::uint8_t* px = bits + 4 * i;
            const unsigned a = src[4 * i + 3];
            if (a == 0) {
                storePixel(px, 0);
            } else if (a == 255) {
                px[3] = 255;
            } else {
                px[0] = premultiplyChannel(px[0], a);
                px[1] = premultiplyChannel(px[1], a);
                px[2] = premultiplyChannel(px[2], a);
                px[3] = static_cast<std::uint8_t>(a);
            }
        }
        SurfaceInternals::setImageType(cHost, isIcon ? imgIconARGB : imgCursorARGB);
        SurfaceInternals::setAlpha(cHost, true);
        return;
    }

    const bool anySet = applyAndMask(data_.data() + l.maskOffset, l.maskRow, width, height, bits);
    SurfaceInternals::setImageType(cHost, isIcon ? imgIcon : imgCursor);
    SurfaceInternals::setAlpha(cHost, anySet);
}

bool cICOparser::loadBitmapEntry(const Entry& e, c32bppDIB& cHost) noexcept {
    try {
        if (!convertibleDepth(e.bitCount)) {
            cHost.DestroyDIB();
            failure_.refuse(DecodeFailure::kUnsupported, "bit depth without a conversion");
            return true;
        }
        if (!withinDecodeBudget(static_cast<std::uint64_t>(sizeOf(e.width)),
                                static_cast<std::uint64_t>(sizeOf(e.height)))) {
            cHost.DestroyDIB();
            failure_.refuse(DecodeFailure::kTooLarge, "beyond the decode budget");
            return true;
        }
        if (!cHost.InitializeDIB(static_cast<std::int32_t>(sizeOf(e.width)),
                                 static_cast<std::int32_t>(sizeOf(e.height)))) {
            cHost.DestroyDIB();
            failure_.refuse(DecodeFailure::kOutOfMemory, "no room for the surface");
            return true;
        }
    } catch (...) {
        failure_.refuse(DecodeFailure::kOutOfMemory, "no room for the surface");
        return true;
    }
    convertColorRows(data_, e, layoutOf(e), cHost.BitsPointer());
    ApplyMaskAndAlpha(e, cHost);
    return true;
}

bool cICOparser::LoadStream(std::span<const std::uint8_t> inStream, std::int32_t desiredIconWidth,
                            std::int32_t desiredIconHeight, c32bppDIB* cHost,
                            std::int32_t streamOffset, std::int32_t& streamLength,
                            std::int32_t desiredIconBitDepth, std::uint32_t gdiToken) noexcept {
    failure_ = {};
    failedEntry_ = 0;
    const auto outside = [this]() noexcept {
        return failure_.refuse(DecodeFailure::kNotRecognised, "range outside the data");
    };
    if (streamOffset < 0 || static_cast<std::uint64_t>(streamOffset) > inStream.size())
        return outside();
    if (streamLength == 0) {
        const auto rest =
            checkedCast<std::int32_t>(inStream.size() - static_cast<std::size_t>(streamOffset));
        if (!rest) return outside();
        streamLength = *rest;
    }
    if (streamLength < 0) return outside();
    const auto data = ByteView(inStream).sub(static_cast<std::uint64_t>(streamOffset),
                                             static_cast<std::uint64_t>(streamLength));
    if (!data) return outside();

    struct Release {
        ByteView& view;
        ~Release() { view = ByteView(); }
    } release{data_};

    if (!readDirectory(*data)) return false;
    if (!cHost) return true;

    if (desiredIconWidth < 1) desiredIconWidth = kDefaultDesiredSize;
    if (desiredIconHeight < 1) desiredIconHeight = kDefaultDesiredSize;
    const std::int32_t chosen =
        SelectBestEntry(desiredIconWidth, desiredIconHeight, desiredIconBitDepth);
    const Entry* e = entryAt(chosen);
    if (!e) return failure_.refuse(DecodeFailure::kBadHeader, "no usable entry");

    if (e->planes == kPngPlanes) {
        cPNGparser png;
        std::uint32_t token = gdiToken;
        // The entry lies inside the data, whose length fits in 32 bits.
        const bool result =
            png.LoadStream(data->span(), *cHost, static_cast<std::int32_t>(e->imageOffset),
                           static_cast<std::int32_t>(e->bytesInRes), token);
        if (cHost->BitsPointer()) {
            SurfaceInternals::setImageType(*cHost, imgPNGicon);
        } else {
            failure_ = png.lastLoadFailure();
        }
        return result;
    }
    return loadBitmapEntry(*e, *cHost);
}

// ---- Icon objects ---------------------------------------------------------------------------

bool cICOparser::ConvertstdPicTo32bpp(const platform::Icon* Handle, c32bppDIB& cHost) noexcept {
    if (!Handle) return false;
    reserved_ = 0;
    type_ = Handle->isIcon() ? kTypeIcon : kTypeCursor;
    try {
        entries_.assign(1, Entry{});
    } catch (...) {
        return false;
    }
    Entry& e = entries_[0];
    e.planes = 1;
    const platform::Bitmap* color = Handle->colorBitmap();
    const std::int32_t width = Handle->width();
    const std::int32_t height = Handle->height();

    try {
        if (!cHost.InitializeDIB(width, height)) {
            entries_.clear();
            return false;
        }
        e.bitCount = 1;
        if (color) {
            const auto bytes = static_cast<std::size_t>(*imageByteCount32(width, height));
            platform::GetDIBits(*color, 0, height,
                                std::span<std::uint8_t>(cHost.BitsPointer(), bytes),
                                platform::DibFormat{width, height, 32});
            const std::uint8_t* bits = cHost.BitsPointer();
            bool anyAlpha = false;
            for (std::size_t i = 3; i < bytes && !anyAlpha; i += 4)
                anyAlpha = bits[i] != 0;
            if (anyAlpha) {
                e.bitCount = 32;
                bool alpha = false;
                std::int32_t imageType = imgCreated;
                ClassifyAlpha(std::span<std::uint8_t>(cHost.BitsPointer(), bytes), width, height,
                              true, alpha, imageType);
                SurfaceInternals::setImageType(cHost,
                                               type_ == kTypeIcon ? imgIconARGB : imgCursorARGB);
                SurfaceInternals::setAlpha(cHost, true);
            }
        } else {
            platform::DeviceContext* dc = cHost.LoadDIBinDC(true);
            if (dc) platform::DrawIcon(*dc, 0, 0, *Handle);
            cHost.LoadDIBinDC(false);
        }

        if (e.bitCount == 1) {
            // The AND mask as a private 1-bit image of the surface's height: the whole mask of
            // an icon with a colour bitmap, the top half of a two-colour icon's mask.
            const platform::MaskBitmap& mask = Handle->mask();
            const std::size_t stride = static_cast<std::size_t>(mask.stride());
            std::vector<std::uint8_t> buffer(stride * static_cast<std::size_t>(height));
            const std::size_t firstRow = static_cast<std::size_t>(mask.height() - height);
            std::memcpy(buffer.data(), mask.bits() + firstRow * stride, buffer.size());
            e.width = static_cast<std::uint8_t>(width >= 256 ? 0 : width);
            e.height = static_cast<std::uint8_t>(height >= 256 ? 0 : height);
            e.bytesInRes = static_cast<std::uint32_t>(buffer.size());
            e.imageOffset = 0;
            // The entry's size bytes cannot hold sizes above 256, so the mask is applied with
            // the object's own size.
            const bool anySet =
                applyAndMask(buffer.data(), stride, width, height, cHost.BitsPointer());
            SurfaceInternals::setImageType(cHost, type_ == kTypeIcon ? imgIcon : imgCursor);
            SurfaceInternals::setAlpha(cHost, anySet);
        }
    } catch (...) {
        data_ = ByteView();
        cHost.DestroyDIB();
        entries_.clear();
        return false;
    }
    return entries_.size() == 1;
}

// ---- Picture loader route -------------------------------------------------------------------

Decoded<std::unique_ptr<platform::Picture>> IconBytesToPicture(ByteView bytes) noexcept {
    constexpr LoadFailure kNoRoom{DecodeFailure::kOutOfMemory, "no room for the icon"};
    try {
        cICOparser parser;
        c32bppDIB surface;
        std::int32_t length = 0;
        if (!parser.LoadStream(bytes.span(), kDefaultDesiredSize, kDefaultDesiredSize, &surface, 0,
                               length, 32, 0) ||
            !surface.BitsPointer())
            return {nullptr, parser.lastLoadFailure()};
        const std::int32_t width = surface.Width();
        const std::int32_t height = surface.Height();
        auto color = platform::Bitmap::create(width, height, 32);
        auto mask = platform::MaskBitmap::create(width, height);
        if (!color || !mask) return {nullptr, kNoRoom};
        const std::uint8_t* src = surface.BitsPointer();
        std::uint8_t* dst = color->bits();
        const std::size_t pixels =
            static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
        for (std::size_t i = 0; i < pixels; ++i) {
            const unsigned a = src[4 * i + 3];
            if (a == 0) {
                const std::size_t x = i % static_cast<std::size_t>(width);
                const std::size_t yUp = i / static_cast<std::size_t>(width);
                mask->setBit(static_cast<std::int32_t>(x),
                             height - 1 - static_cast<std::int32_t>(yUp), true);
                continue;  // the colour bitmap stays zero there
            }
            for (int c = 0; c < 3; ++c) {
                const unsigned v = src[4 * i + c] * 255u / a;
                dst[4 * i + c] = static_cast<std::uint8_t>(v > 255 ? 255 : v);
            }
            dst[4 * i + 3] = static_cast<std::uint8_t>(a);
        }
        auto icon = platform::Icon::create(parser.directoryType() == cICOparser::kTypeIcon,
                                           std::move(color), std::move(mask));
        return {platform::Picture::fromIcon(std::move(icon)), {}};
    } catch (...) {
        return {nullptr, kNoRoom};
    }
}

void installIconPictureRoute() noexcept {
    platform::setIconPictureDecoder(&IconBytesToPicture);
}

}  // namespace talvrin
