// The bridge's own formats: WebP through libwebp and TIFF through libtiff, decoded into
// premultiplied top-down pixels. Both check the declared size against the decode budget before
// they allocate anything, and report why they refused data.
#include <tiffio.h>
#include <webp/decode.h>

#include <cstring>
#include <limits>

#include "base/checked_math.h"
#include "base/decode_budget.h"
#include "base/div255.h"
#include "base/pixels.h"
#include "image/bridge/bridge_backend.h"

namespace talvrin::bridge::backend {

namespace {

// Room for width x height pixels of 4 bytes, or the reason there is none.
DecodeFailure allocate(TopDownImage& image, std::int64_t width, std::int64_t height) {
    if (width < 1 || height < 1) return DecodeFailure::kBadHeader;
    if (!withinDecodeBudget(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height)))
        return DecodeFailure::kTooLarge;
    if (width > std::numeric_limits<std::int32_t>::max() ||
        height > std::numeric_limits<std::int32_t>::max())
        return DecodeFailure::kTooLarge;
    const auto bytes =
        imageByteCount32(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    if (!bytes) return DecodeFailure::kTooLarge;
    try {
        image.pixels.assign(static_cast<std::size_t>(*bytes), 0);
    } catch (...) {
        return DecodeFailure::kOutOfMemory;
    }
    image.width = static_cast<std::int32_t>(width);
    image.height = static_cast<std::int32_t>(height);
    return DecodeFailure::kNone;
}

// ---- TIFF from memory ----

struct MemoryFile {
    std::span<const std::uint8_t> bytes;
    toff_t at = 0;
};

tmsize_t readMemory(thandle_t h, void* out, tmsize_t n) {
    auto* f = static_cast<MemoryFile*>(h);
    if (n <= 0 || f->at >= f->bytes.size()) return 0;
    const auto count =
        static_cast<tmsize_t>(std::min<toff_t>(static_cast<toff_t>(n), f->bytes.size() - f->at));
    std::memcpy(out, f->bytes.data() + f->at, static_cast<std::size_t>(count));
    f->at += static_cast<toff_t>(count);
    return count;
}
tmsize_t writeNothing(thandle_t, void*, tmsize_t) {
    return 0;
}
toff_t seekMemory(thandle_t h, toff_t offset, int whence) {
    auto* f = static_cast<MemoryFile*>(h);
    const toff_t base = whence == SEEK_CUR ? f->at : whence == SEEK_END ? f->bytes.size() : 0;
    // An offset past any sensible range leaves the position where it was (reads then end).
    if (offset > std::numeric_limits<toff_t>::max() - base) return static_cast<toff_t>(-1);
    f->at = base + offset;
    return f->at;
}
int closeNothing(thandle_t) {
    return 0;
}
toff_t sizeOfMemory(thandle_t h) {
    return static_cast<MemoryFile*>(h)->bytes.size();
}
int mapNothing(thandle_t, void**, toff_t*) {
    return 0;
}
void unmapNothing(thandle_t, void*, toff_t) {}

// libtiff reports through handlers that print by default; the bridge says nothing.
void quiet(const char*, const char*, va_list) {}

}  // namespace

Decoded decodeWebp(std::span<const std::uint8_t> bytes) noexcept {
    Decoded d;
    try {
        int w = 0, h = 0;
        if (!WebPGetInfo(bytes.data(), bytes.size(), &w, &h)) {
            d.failure = DecodeFailure::kBadHeader;
            return d;
        }
        d.failure = allocate(d.image, w, h);
        if (d.failure != DecodeFailure::kNone) return d;
        // Straight B, G, R, A, then premultiplied as the surface keeps it.
        if (!WebPDecodeBGRAInto(bytes.data(), bytes.size(), d.image.pixels.data(),
                                d.image.pixels.size(), w * 4)) {
            d.failure = DecodeFailure::kBadData;
            return d;
        }
        for (std::size_t i = 0; i < d.image.pixels.size(); i += 4) {
            std::uint8_t* p = d.image.pixels.data() + i;
            const std::uint32_t a = p[kAlphaOffset];
            if (a == 255) continue;
            p[0] = premultiplyChannel(p[0], a);
            p[1] = premultiplyChannel(p[1], a);
            p[2] = premultiplyChannel(p[2], a);
        }
    } catch (...) {
        d.failure = DecodeFailure::kOutOfMemory;
    }
    return d;
}

Decoded decodeTiff(std::span<const std::uint8_t> bytes) noexcept {
    Decoded d;
    TIFFSetWarningHandler(quiet);
    TIFFSetErrorHandler(quiet);
    MemoryFile file{bytes, 0};
    TIFF* tif = TIFFClientOpen("memory", "rm", &file, readMemory, writeNothing, seekMemory,
                               closeNothing, sizeOfMemory, mapNothing, unmapNothing);
    if (!tif) {
        d.failure = DecodeFailure::kBadHeader;
        return d;
    }
    try {
        std::uint32_t w = 0, h = 0;
        char message[1024] = {};
        if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) ||
            !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h) || !TIFFRGBAImageOK(tif, message)) {
            d.failure = w && h ? DecodeFailure::kUnsupported : DecodeFailure::kBadHeader;
        } else {
            d.failure = allocate(d.image, w, h);
        }
        if (d.failure == DecodeFailure::kNone) {
            // The RGBA interface gives associated (premultiplied) alpha, R in the low byte.
            auto* raster = reinterpret_cast<std::uint32_t*>(d.image.pixels.data());
            if (!TIFFReadRGBAImageOriented(tif, w, h, raster, ORIENTATION_TOPLEFT, 1)) {
                d.failure = DecodeFailure::kBadData;
            } else {
                for (std::size_t i = 0; i < std::size_t(w) * h; ++i) {
                    const std::uint32_t v = raster[i];
                    std::uint8_t* p = d.image.pixels.data() + 4 * i;
                    const auto a = static_cast<std::uint8_t>(TIFFGetA(v));
                    p[kRedOffset] = std::min(static_cast<std::uint8_t>(TIFFGetR(v)), a);
                    p[kGreenOffset] = std::min(static_cast<std::uint8_t>(TIFFGetG(v)), a);
                    p[kBlueOffset] = std::min(static_cast<std::uint8_t>(TIFFGetB(v)), a);
                    p[kAlphaOffset] = a;
                }
            }
        }
    } catch (...) {
        d.failure = DecodeFailure::kOutOfMemory;
    }
    TIFFClose(tif);
    if (d.failure != DecodeFailure::kNone) d.image = {};
    return d;
}

SystemImaging* systemImaging() noexcept {
    return nullptr;  // not the system's imaging library
}

}  // namespace talvrin::bridge::backend
