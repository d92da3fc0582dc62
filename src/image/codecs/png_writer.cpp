#include "image/codecs/png_writer.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "base/byte_view.h"
#include "base/checked_math.h"
#include "image/codecs/compression.h"
#include "image/codecs/png_pixels.h"
#include "image/surface/c32bpp_dib.h"
#include "image/surface/image_types.h"

namespace talvrin {

namespace png {

std::optional<EncoderSizes> encoderSizes(std::int32_t width, std::int32_t height,
                                         std::int32_t bytesPerPixel) noexcept {
    if (width < 1 || height < 1 || bytesPerPixel < 1) return std::nullopt;
    constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max();
    const auto pixels = checkedMul<std::int64_t>(width, bytesPerPixel);
    if (!pixels) return std::nullopt;
    const auto row = checkedAdd<std::int64_t>(*pixels, 1);
    if (!row || *row > kLimit) return std::nullopt;
    const auto image = checkedMul<std::int64_t>(*row, height);
    if (!image || *image > kLimit) return std::nullopt;
    // n + n / 100 + 12 with the hundredth rounded to the nearest (halves up); below 2^31 every
    // step fits easily in 64 bits.
    const std::int64_t capacity = *image + (*image + 50) / 100 + 12;
    if (capacity > kLimit) return std::nullopt;
    return EncoderSizes{*row, *image, capacity};
}

}  // namespace png

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::size_t kMaxPalette = 256;

// ---- Pixels -----------------------------------------------------------------------------------

// The surface's pixels, and its alpha flag: false makes every pixel count as opaque.
struct SurfacePixels : ConstPixelView {
    bool alpha = false;
};

// The pixel as the 32-bit value 0xAARRGGBB (its bytes read little-endian).
inline std::uint32_t pixelValue(const std::uint8_t* p) noexcept {
    return static_cast<std::uint32_t>(p[kBlueOffset]) |
           (static_cast<std::uint32_t>(p[kGreenOffset]) << 8) |
           (static_cast<std::uint32_t>(p[kRedOffset]) << 16) |
           (static_cast<std::uint32_t>(p[kAlphaOffset]) << 24);
}

// ceil(2^32 / a) for a = 1 ... 255 (entry 0 unused).
constexpr std::array<std::uint64_t, 256> kCeilReciprocal = [] {
    std::array<std::uint64_t, 256> t{};
    for (std::uint64_t a = 1; a < 256; ++a)
        t[a] = ((std::uint64_t{1} << 32) + a - 1) / a;
    return t;
}();

// The straight colour of premultiplied `colour` at alpha 1 ... 254, rounded up:
// ceil(colour * 255 / alpha). Decoders premultiply by truncation, floor(s * alpha / 255); for
// s = ceil(c * 255 / a) that is c, because c * 255 / a <= s < c * 255 / a + 1 puts s * a / 255
// in [c, c + a / 255), below c + 1. Truncating here instead would give back less than c
// whenever c * 255 / a is not whole, and colours would darken at every save and load.
// The division is a multiply by ceil(2^32 / a): for y < 2^16 its error y * (m - 2^32 / a) / 2^32
// stays below 2^-16, less than the 1 / a by which y / a's fraction falls short of 1.
// False when colour > alpha (no premultiplied pixel has that; the straight value would pass 255).
inline bool straightColour(std::uint32_t colour, std::uint32_t alpha, std::uint8_t& out) noexcept {
    if (colour > alpha) return false;
    const std::uint64_t y = colour * 255u + alpha - 1;
    out = static_cast<std::uint8_t>((y * kCeilReciprocal[alpha]) >> 32);
    return true;
}

// ---- Palette analysis -------------------------------------------------------------------------

struct PaletteForm {
    std::uint8_t colorType = png::kPalette;
    std::int32_t transparent = -1;  // grey level (type 0); -1 or not (type 3)
    // Distinct pixel values in ascending order as signed 32-bit integers, and the entry number
    // of each in the written palette (type 3) or its grey level (type 0).
    std::array<std::int32_t, kMaxPalette> values{};
    std::array<std::uint8_t, kMaxPalette> written{};
    std::size_t count = 0;
    std::array<std::uint8_t, kMaxPalette * 3> plte{};
    std::array<std::uint8_t, kMaxPalette> trns{};
    std::size_t trnsLength = 0;

    // Position of `value` in `values`; callers look up values that were collected.
    [[nodiscard]] std::size_t find(std::int32_t value) const noexcept {
        return static_cast<std::size_t>(
            std::lower_bound(values.begin(), values.begin() + count, value) - values.begin());
    }
};

// Collects the distinct pixel values, rows in buffer order, keeping them sorted so that each
// pixel costs one binary search (none when it repeats its left neighbour). False at the 257th.
bool collectValues(const SurfacePixels& px, PaletteForm& f) noexcept {
    std::int32_t* const first = f.values.data();
    std::size_t n = 0;
    bool havePrevious = false;
    std::uint32_t previous = 0;
    for (std::int32_t r = 0; r < px.height; ++r) {
        const std::uint8_t* p = px.row(r);
        for (std::int32_t x = 0; x < px.width; ++x, p += kBytesPerPixel) {
            const std::uint32_t v = pixelValue(p);
            if (havePrevious && v == previous) continue;
            havePrevious = true;
            previous = v;
            const auto s = static_cast<std::int32_t>(v);
            std::int32_t* at = std::lower_bound(first, first + n, s);
            if (at != first + n && *at == s) continue;
            if (n == kMaxPalette) return false;
            std::copy_backward(at, first + n, first + n + 1);
            *at = s;
            ++n;
        }
    }
    f.count = n;
    return true;
}

// Decides between the greyscale and the palette form for an image of at most 256 values. False
// when neither fits: more than 256 values, or a translucent value whose colour exceeds its alpha.
bool analysePalette(const SurfacePixels& px, PaletteForm& f) noexcept {
    if (!collectValues(px, f)) return false;
    std::array<std::uint8_t, kMaxPalette> alpha{};
    std::size_t below = 0;  // entries not opaque
    std::size_t lastBelow = 0;
    for (std::size_t i = 0; i < f.count; ++i) {
        alpha[i] = px.alpha
                       ? static_cast<std::uint8_t>(static_cast<std::uint32_t>(f.values[i]) >> 24)
                       : std::uint8_t{255};
        if (alpha[i] < 255) {
            ++below;
            lastBelow = i;
        }
    }
    f.transparent = below == 0 ? -1 : below == 1 ? static_cast<std::int32_t>(lastBelow) + 1 : 0;

    // Greyscale carries one fully transparent level at most: a translucent grey written there
    // would come back opaque.
    const bool greyCandidate = below == 0 || (below == 1 && alpha[lastBelow] == 0);
    bool allGrey = greyCandidate;
    for (std::size_t i = 0; allGrey && i < f.count; ++i) {
        const auto v = static_cast<std::uint32_t>(f.values[i]);
        allGrey = (v & 0xFF) == ((v >> 8) & 0xFF) && (v & 0xFF) == ((v >> 16) & 0xFF);
    }
    if (allGrey) {
        std::int32_t level = -1;  // no tRNS
        if (px.alpha) {
            // The transparent pixels need a level that no opaque pixel uses: 0 unless black is
            // taken, else the lowest free one from 1 to count - 1 (with one entry transparent,
            // the other count - 1 cannot fill all of 0 ... count - 1).
            std::array<bool, 256> used{};
            for (std::size_t i = 0; i < f.count; ++i)
                if (alpha[i] == 255) used[static_cast<std::uint32_t>(f.values[i]) & 0xFF] = true;
            for (std::size_t l = 0; level < 0 && l < f.count; ++l)
                if (!used[l]) level = static_cast<std::int32_t>(l);
        }
        // A transparent entry always finds a free level; should it not, the palette form
        // below still encodes the image exactly.
        if (below == 0 || level >= 0) {
            f.colorType = png::kGray;
            f.transparent = level;
            for (std::size_t i = 0; i < f.count; ++i)
                f.written[i] = alpha[i] == 0 ? static_cast<std::uint8_t>(level)
                                             : static_cast<std::uint8_t>(f.values[i] & 0xFF);
            return true;
        }
    }

    // Palette order: the entries with transparency first (ascending), so that tRNS covers only
    // them, then the opaque ones (descending); all ascending when every entry is opaque.
    f.colorType = png::kPalette;
    std::array<std::uint8_t, kMaxPalette> order{};
    std::size_t n = 0;
    if (below == 0) {
        for (std::size_t i = 0; i < f.count; ++i)
            order[n++] = static_cast<std::uint8_t>(i);
    } else {
        for (std::size_t i = 0; i < f.count; ++i)
            if (alpha[i] < 255) order[n++] = static_cast<std::uint8_t>(i);
        for (std::size_t i = f.count; i-- > 0;)
            if (alpha[i] == 255) order[n++] = static_cast<std::uint8_t>(i);
    }
    f.trnsLength = below;
    for (std::size_t k = 0; k < f.count; ++k) {
        const std::size_t i = order[k];
        f.written[i] = static_cast<std::uint8_t>(k);
        const auto v = static_cast<std::uint32_t>(f.values[i]);
        const std::uint8_t rgb[3] = {static_cast<std::uint8_t>(v >> 16),
                                     static_cast<std::uint8_t>(v >> 8),
                                     static_cast<std::uint8_t>(v)};
        std::uint8_t* out = f.plte.data() + 3 * k;
        for (int c = 0; c < 3; ++c) {
            if (alpha[i] == 255)
                out[c] = rgb[c];
            else if (alpha[i] == 0)
                out[c] = 0;
            else if (!straightColour(rgb[c], alpha[i], out[c]))
                return false;
        }
        if (k < below) f.trns[k] = alpha[i];
    }
    return true;
}

// ---- Truecolour analysis ----------------------------------------------------------------------

struct TruecolourForm {
    std::uint8_t colorType = png::kRgb;
    std::int32_t transparent = -1;  // type 2: the grey v as v * 0x010101, or -1
};

TruecolourForm analyseTruecolour(const SurfacePixels& px) noexcept {
    TruecolourForm f;
    if (!px.alpha) return f;
    // Type 2 serves when every pixel is opaque or fully transparent with zero colour, and some
    // grey (v, v, v) exists that no opaque pixel has: a value v that one channel never takes.
    std::array<std::array<bool, 256>, 3> used{};  // blue, green, red of the opaque pixels
    for (std::int32_t r = 0; r < px.height; ++r) {
        const std::uint8_t* p = px.row(r);
        for (std::int32_t x = 0; x < px.width; ++x, p += kBytesPerPixel) {
            const std::uint8_t a = p[kAlphaOffset];
            if (a == 255) {
                used[0][p[kBlueOffset]] = true;
                used[1][p[kGreenOffset]] = true;
                used[2][p[kRedOffset]] = true;
            } else if (a != 0 || (p[kBlueOffset] | p[kGreenOffset] | p[kRedOffset]) != 0) {
                f.colorType = png::kRgba;
                return f;
            }
        }
    }
    for (const auto& channel : used) {
        const auto unused = std::find(channel.begin(), channel.end(), false);
        if (unused != channel.end()) {
            f.transparent = static_cast<std::int32_t>(unused - channel.begin()) * 0x010101;
            return f;
        }
    }
    f.colorType = png::kRgba;
    return f;
}

// ---- Prepared rows and filters ----------------------------------------------------------------

// Image row y in the truecolour form, R, G, B: opaque pixels as stored, fully transparent ones
// as the transparent grey (white when there is none), translucent ones straight.
bool prepareRgbRow(const SurfacePixels& px, std::int32_t y, std::uint8_t key,
                   std::uint8_t* out) noexcept {
    const std::uint8_t* p = px.rowFromTop(y);
    for (std::int32_t x = 0; x < px.width; ++x, p += kBytesPerPixel, out += 3) {
        const std::uint32_t a = px.alpha ? p[kAlphaOffset] : 255u;
        if (a == 255) {
            out[0] = p[kRedOffset];
            out[1] = p[kGreenOffset];
            out[2] = p[kBlueOffset];
        } else if (a == 0) {
            out[0] = out[1] = out[2] = key;
        } else if (!straightColour(p[kRedOffset], a, out[0]) ||
                   !straightColour(p[kGreenOffset], a, out[1]) ||
                   !straightColour(p[kBlueOffset], a, out[2])) {
            return false;
        }
    }
    return true;
}

// Image row y in the truecolour-with-alpha form, R, G, B, A with straight colours.
bool prepareRgbaRow(const SurfacePixels& px, std::int32_t y, std::uint8_t* out) noexcept {
    const std::uint8_t* p = px.rowFromTop(y);
    for (std::int32_t x = 0; x < px.width; ++x, p += kBytesPerPixel, out += 4) {
        const std::uint32_t a = p[kAlphaOffset];
        if (a == 255) {
            out[0] = p[kRedOffset];
            out[1] = p[kGreenOffset];
            out[2] = p[kBlueOffset];
            out[3] = 255;
        } else if (a == 0) {
            out[0] = out[1] = out[2] = out[3] = 0;
        } else {
            if (!straightColour(p[kRedOffset], a, out[0]) ||
                !straightColour(p[kGreenOffset], a, out[1]) ||
                !straightColour(p[kBlueOffset], a, out[2]))
                return false;
            out[3] = static_cast<std::uint8_t>(a);
        }
    }
    return true;
}

// Image row y as one byte a pixel: its grey level or palette entry.
void prepareIndexedRow(const SurfacePixels& px, std::int32_t y, const PaletteForm& f,
                       std::uint8_t* out) noexcept {
    const std::uint8_t* p = px.rowFromTop(y);
    std::uint32_t previous = pixelValue(p);
    std::uint8_t written = f.written[f.find(static_cast<std::int32_t>(previous))];
    for (std::int32_t x = 0; x < px.width; ++x, p += kBytesPerPixel) {
        const std::uint32_t v = pixelValue(p);
        if (v != previous) {
            previous = v;
            written = f.written[f.find(static_cast<std::int32_t>(v))];
        }
        out[x] = written;
    }
}

// The Paeth filter of one row against the raw row above (zeros above the first row): with left
// a, above b and upper-left c (0 outside the image), the predictor is whichever of a, b, c is
// nearest to a + b - c, ties in that order; the output is raw - predictor mod 256.
void filterPaeth(const std::uint8_t* raw, const std::uint8_t* above, std::size_t length,
                 std::size_t unit, std::uint8_t* out) noexcept {
    const std::size_t head = std::min(unit, length);
    for (std::size_t i = 0; i < head; ++i)  // a = c = 0: the predictor is b
        out[i] = static_cast<std::uint8_t>(raw[i] - above[i]);
    for (std::size_t i = head; i < length; ++i) {
        const int a = raw[i - unit];
        const int b = above[i];
        const int c = above[i - unit];
        const int pa = std::abs(b - c);          // |p - a|
        const int pb = std::abs(a - c);          // |p - b|
        const int pc = std::abs(a + b - 2 * c);  // |p - c|
        const int predictor = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
        out[i] = static_cast<std::uint8_t>(raw[i] - predictor);
    }
}

// ---- Chunks -----------------------------------------------------------------------------------

void appendBe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(v >> 24),
                               static_cast<std::uint8_t>(v >> 16),
                               static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
    out.insert(out.end(), b, b + 4);
}

// Length, type, data and the CRC-32 of type and data, big-endian.
void appendChunk(std::vector<std::uint8_t>& out, const char (&type)[5], const std::uint8_t* data,
                 std::size_t length) {
    appendBe32(out, static_cast<std::uint32_t>(length));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    if (length) out.insert(out.end(), data, data + length);
    appendBe32(out, compression::crc32(ByteView(out.data() + typeAt, length + 4)));
}

// Everything the file needs besides the pixels.
struct Form {
    std::uint8_t colorType = png::kRgb;
    std::int32_t transparent = -1;
    const PaletteForm* palette = nullptr;  // types 0 and 3
};

std::int32_t bytesPerPixel(std::uint8_t colorType) noexcept {
    return colorType == png::kRgba ? 4 : colorType == png::kRgb ? 3 : 1;
}

// The filtered image: for each image row from the top, its filter byte and its bytes.
bool filterImage(const SurfacePixels& px, const Form& form, const png::EncoderSizes& sizes,
                 std::uint8_t* out) {
    const auto rowLength = static_cast<std::size_t>(sizes.filteredRow - 1);
    if (form.palette) {
        for (std::int32_t y = 0; y < px.height; ++y) {
            std::uint8_t* line = out + static_cast<std::size_t>(y) * (rowLength + 1);
            line[0] = 0;  // None
            prepareIndexedRow(px, y, *form.palette, line + 1);
        }
        return true;
    }
    const auto unit = static_cast<std::size_t>(bytesPerPixel(form.colorType));
    // The raw rows, this one and the one above (zeros above the first).
    std::vector<std::uint8_t> rows(2 * rowLength, 0);
    std::uint8_t* raw = rows.data();
    std::uint8_t* above = rows.data() + rowLength;
    const auto key =
        static_cast<std::uint8_t>(form.transparent < 0 ? 255 : form.transparent & 0xFF);
    for (std::int32_t y = 0; y < px.height; ++y) {
        const bool ok = form.colorType == png::kRgba ? prepareRgbaRow(px, y, raw)
                                                     : prepareRgbRow(px, y, key, raw);
        if (!ok) return false;
        std::uint8_t* line = out + static_cast<std::size_t>(y) * (rowLength + 1);
        line[0] = 4;  // Paeth
        filterPaeth(raw, above, rowLength, unit, line + 1);
        std::swap(raw, above);
    }
    return true;
}

bool encode(const SurfacePixels& px, int level, std::vector<std::uint8_t>& file,
            SaveFailure& failure) {
    PaletteForm palette;
    Form form;
    if (analysePalette(px, palette)) {
        form.colorType = palette.colorType;
        form.transparent = palette.transparent;
        form.palette = &palette;
    } else {
        const TruecolourForm t = analyseTruecolour(px);
        form.colorType = t.colorType;
        form.transparent = t.transparent;
    }
    const auto sizes = png::encoderSizes(px.width, px.height, bytesPerPixel(form.colorType));
    if (!sizes) return failure.refuse(EncodeFailure::kTooLarge, "beyond 2^31 - 1 bytes");

    const auto filteredLength = static_cast<std::size_t>(sizes->filteredImage);
    const auto filtered = std::make_unique_for_overwrite<std::uint8_t[]>(filteredLength);
    if (!filterImage(px, form, *sizes, filtered.get()))
        return failure.refuse(EncodeFailure::kNotPremultiplied, "a colour above its alpha");
    const auto capacity = static_cast<std::size_t>(sizes->compressCapacity);
    const auto compressed = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
    std::size_t compressedLength = 0;
    if (!compression::compress2(ByteView(filtered.get(), filteredLength),
                                std::span<std::uint8_t>(compressed.get(), capacity),
                                &compressedLength, level))
        return failure.refuse(EncodeFailure::kCompression, "");

    file.reserve(8 + 25 + (12 + 3 * kMaxPalette) + (12 + kMaxPalette) + 12 + compressedLength + 12);
    file.insert(file.end(), std::begin(kSignature), std::end(kSignature));
    std::vector<std::uint8_t> ihdr;
    appendBe32(ihdr, static_cast<std::uint32_t>(px.width));
    appendBe32(ihdr, static_cast<std::uint32_t>(px.height));
    ihdr.insert(ihdr.end(), {8, form.colorType, 0, 0, 0});
    appendChunk(file, "IHDR", ihdr.data(), ihdr.size());
    if (form.colorType == png::kPalette)
        appendChunk(file, "PLTE", palette.plte.data(), 3 * palette.count);
    if (form.transparent != -1) {
        const auto v = static_cast<std::uint8_t>(form.transparent & 0xFF);
        if (form.colorType == png::kPalette) {
            appendChunk(file, "tRNS", palette.trns.data(), palette.trnsLength);
        } else if (form.colorType == png::kGray) {
            const std::uint8_t grey[2] = {0, v};
            appendChunk(file, "tRNS", grey, sizeof grey);
        } else if (form.colorType == png::kRgb) {
            const std::uint8_t rgb[6] = {0, v, 0, v, 0, v};
            appendChunk(file, "tRNS", rgb, sizeof rgb);
        }
    }
    appendChunk(file, "IDAT", compressed.get(), compressedLength);
    appendChunk(file, "IEND", nullptr, 0);
    return true;
}

}  // namespace

bool cPNGwriter::WritePNG(const c32bppDIB& cHost, std::vector<std::uint8_t>& outStream) noexcept {
    failure_ = {};
    if (!cHost.Handle() || !cHost.BitsPointer() || cHost.Width() < 1 || cHost.Height() < 1)
        return failure_.refuse(EncodeFailure::kNoImage, "");
    if (!compression::isAvailable())
        return failure_.refuse(EncodeFailure::kUnavailable, "no compression library");
    SurfacePixels px;
    static_cast<ConstPixelView&>(px) = {cHost.BitsPointer(), cHost.Width(), cHost.Height()};
    px.alpha = cHost.Alpha();
    try {
        std::vector<std::uint8_t> file;
        if (encode(px, level_, file, failure_)) {
            outStream = std::move(file);
            return true;
        }
    } catch (...) {
        // Memory: the same clean failure as any other.
        failure_ = {EncodeFailure::kOutOfMemory, ""};
    }
    outStream.clear();
    return false;
}

}  // namespace talvrin
