#include "platform/picture/jpeg_decoder.h"

#include <jpeglib.h>
// After jpeglib.h: the library's error codes (JERR_*).
#include <jerror.h>

#include <csetjmp>
#include <cstddef>
#include <cstdio>  // jpeglib.h needs FILE
#include <vector>

#include "base/checked_math.h"
#include "base/decode_budget.h"
#include "base/div255.h"

namespace talvrin::platform {

namespace {

// Progressive files may hold any number of scans; each one costs a pass over the whole
// coefficient buffer, so a file with thousands of tiny scans is refused instead of ground through.
constexpr int kMaxScans = 1000;

// The library's error manager, extended with the jump target. Everything the jump returns past
// is C (the library's own frames), and the functions that set the target keep no C++ objects
// with destructors alive after setjmp.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    bool tooManyScans = false;
};

struct Progress {
    jpeg_progress_mgr pub;
};

[[noreturn]] void onError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(err->jump, 1);
}

void onMessage(j_common_ptr /*cinfo*/) {}  // warnings are not printed

void onProgress(j_common_ptr cinfo) {
    if (cinfo->is_decompressor) {
        auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
        if (d->input_scan_number > kMaxScans) {
            reinterpret_cast<ErrorManager*>(cinfo->err)->tooManyScans = true;
            onError(cinfo);
        }
    }
}

struct Decoder {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    Progress progress{};
    bool created = false;

    Decoder() = default;
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
    ~Decoder() {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
};

// Reads the headers and chooses the output colour space. False on any library error.
bool readHeader(Decoder& d, const std::uint8_t* data, std::size_t size) {
    d.cinfo.err = jpeg_std_error(&d.err.pub);
    d.err.pub.error_exit = onError;
    d.err.pub.output_message = onMessage;
    if (setjmp(d.err.jump)) return false;
    jpeg_create_decompress(&d.cinfo);
    d.created = true;
    d.progress.pub.progress_monitor = onProgress;
    d.cinfo.progress = &d.progress.pub;
    jpeg_mem_src(&d.cinfo, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&d.cinfo, TRUE) != JPEG_HEADER_OK) {
        d.err.pub.msg_code = JERR_NO_IMAGE;
        return false;
    }
    const J_COLOR_SPACE in = d.cinfo.jpeg_color_space;
    d.cinfo.out_color_space = (in == JCS_CMYK || in == JCS_YCCK) ? JCS_CMYK : JCS_EXT_BGRA;
    jpeg_calc_output_dimensions(&d.cinfo);
    return true;
}

// Converts CMYK as stored by the common writers (inverted: 255 is no ink) to B, G, R, A.
void cmykToBgra(const std::uint8_t* src, std::uint8_t* dst, JDIMENSION width) noexcept {
    for (JDIMENSION x = 0; x < width; ++x, src += 4, dst += 4) {
        const unsigned k = src[3];
        dst[0] = static_cast<std::uint8_t>(div255Round(src[2] * k));
        dst[1] = static_cast<std::uint8_t>(div255Round(src[1] * k));
        dst[2] = static_cast<std::uint8_t>(div255Round(src[0] * k));
        dst[3] = 255;
    }
}

// Decompresses every row into the bitmap, top row first. cmykRow is scratch space of width * 4
// bytes for CMYK files. False on any library error.
bool readRows(Decoder& d, Bitmap& bitmap, std::uint8_t* cmykRow) {
    if (setjmp(d.err.jump)) return false;
    if (!jpeg_start_decompress(&d.cinfo)) return false;
    const bool cmyk = d.cinfo.out_color_space == JCS_CMYK;
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        const auto y = static_cast<std::int32_t>(d.cinfo.output_scanline);
        std::uint8_t* out = bitmap.rowFromTop(y);
        JSAMPROW row = cmyk ? cmykRow : out;
        if (jpeg_read_scanlines(&d.cinfo, &row, 1) != 1) return false;
        if (cmyk) cmykToBgra(cmykRow, out, d.cinfo.output_width);
    }
    jpeg_finish_decompress(&d.cinfo);
    return true;
}

// What a library error says about the data. Errors while reading the headers are header
// faults unless they say otherwise; errors while decoding rows are data faults.
LoadFailure failureOf(const ErrorManager& err, bool inHeader) noexcept {
    if (err.tooManyScans) return {DecodeFailure::kBadData, "too many scans"};
    switch (err.pub.msg_code) {
        case JERR_INPUT_EMPTY:
        case JERR_NO_IMAGE:
            return {DecodeFailure::kTruncated, "data ends before the image"};
        case JERR_BAD_PRECISION:
            return {DecodeFailure::kUnsupported, "sample precision"};
        case JERR_ARITH_NOTIMPL:
            return {DecodeFailure::kUnsupported, "arithmetic coding"};
        case JERR_NOT_COMPILED:
        case JERR_NOTIMPL:
        case JERR_CONVERSION_NOTIMPL:
            return {DecodeFailure::kUnsupported, "not built into the library"};
        case JERR_IMAGE_TOO_BIG:
        case JERR_WIDTH_OVERFLOW:
            return {DecodeFailure::kTooLarge, "beyond the library's limits"};
        case JERR_OUT_OF_MEMORY:
            return {DecodeFailure::kOutOfMemory, "the library ran out of memory"};
        default:
            if (inHeader) return {DecodeFailure::kBadHeader, "the library refused the headers"};
            return {DecodeFailure::kBadData, "the library refused the scan data"};
    }
}

}  // namespace

bool jpegDecoderAvailable() noexcept {
    return true;
}

Decoded<std::unique_ptr<Bitmap>> decodeJpeg(ByteView bytes, std::uint64_t maxPixels) noexcept {
    try {
        if (!looksLikeJpeg(bytes)) return {nullptr, {DecodeFailure::kNotRecognised, {}}};
        if (bytes.size() > 0xFFFFFFFFu)
            return {nullptr, {DecodeFailure::kTooLarge, "data beyond 4 GiB"}};
        auto d = std::make_unique<Decoder>();
        if (!readHeader(*d, bytes.data(), bytes.size())) return {nullptr, failureOf(d->err, true)};
        const JDIMENSION w = d->cinfo.output_width;
        const JDIMENSION h = d->cinfo.output_height;
        const auto width = checkedCast<std::int32_t>(w);
        const auto height = checkedCast<std::int32_t>(h);
        const auto pixels = checkedMul<std::uint64_t>(w, h);
        if (!width || !height || !pixels || *pixels > maxPixels || !withinDecodeBudget(w, h) ||
            !bitmapSizeFits(*width, *height, 32))
            return {nullptr, {DecodeFailure::kTooLarge, "beyond the pixel limit"}};
        auto bitmap = Bitmap::create(*width, *height, 32);
        if (!bitmap) return {nullptr, {DecodeFailure::kOutOfMemory, "no room for the bitmap"}};
        std::vector<std::uint8_t> cmykRow;
        if (d->cinfo.out_color_space == JCS_CMYK) cmykRow.resize(std::size_t{w} * 4);
        if (!readRows(*d, *bitmap, cmykRow.data())) return {nullptr, failureOf(d->err, false)};
        return {std::move(bitmap), {}};
    } catch (...) {
        return {nullptr, {DecodeFailure::kOutOfMemory, "no room to decode"}};
    }
}

}  // namespace talvrin::platform
