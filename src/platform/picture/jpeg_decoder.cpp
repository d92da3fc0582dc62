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

// Progressive files may hold any number of scans, and each scan is a pass over every block of
// its components, however few bytes it takes (a run of empty blocks is coded in a few bits). A
// few hundred kilobytes of repeated scans would keep a decode busy for many seconds, so the work
// of the scans is limited: at most kMaxScans scans, and at most kScanPassesPerBlock passes over
// the image's blocks on average (libjpeg's own progressive script makes about six), plus
// kScanBlocksFloor for small images. A file over either limit is refused as bad data before the
// scan that crosses it is decoded.
constexpr int kMaxScans = 500;
constexpr std::uint64_t kScanPassesPerBlock = 12;
constexpr std::uint64_t kScanBlocksFloor = std::uint64_t{1} << 20;

// The library's error manager, extended with the jump target. Everything the jump returns past
// is C (the library's own frames), and the functions that set the target keep no C++ objects
// with destructors alive after setjmp.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    bool tooMuchWork = false;  // over the scan limits
};

// The progress monitor, called before each step of reading the input: it counts the blocks each
// new scan will visit.
struct Progress {
    jpeg_progress_mgr pub;
    int scan = 0;                  // the last scan counted
    std::uint64_t scanBlocks = 0;  // blocks visited by the scans so far, that one included
    std::uint64_t maxScanBlocks = 0;
};

[[noreturn]] void onError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(err->jump, 1);
}

// The first warning of this thread's current decode, in the library's words. Warnings are not
// printed: the caller decides what to say (lastJpegWarning).
thread_local char tWarning[JMSG_LENGTH_MAX] = {};

void onMessage(j_common_ptr cinfo) {
    if (tWarning[0] == '\0') (*cinfo->err->format_message)(cinfo, tWarning);
}

// The blocks one scan visits: every block of its one component, or every block of its MCUs.
std::uint64_t blocksOfScan(const jpeg_decompress_struct& d) noexcept {
    if (d.comps_in_scan == 1 && d.cur_comp_info[0])
        return std::uint64_t{d.cur_comp_info[0]->width_in_blocks} *
               d.cur_comp_info[0]->height_in_blocks;
    return std::uint64_t{d.MCUs_per_row} * d.MCU_rows_in_scan *
           static_cast<std::uint64_t>(d.blocks_in_MCU);
}

// The blocks of the whole image, every component at its own resolution.
std::uint64_t blocksOfImage(const jpeg_decompress_struct& d) noexcept {
    std::uint64_t blocks = 0;
    for (int c = 0; c < d.num_components; ++c)
        blocks += std::uint64_t{d.comp_info[c].width_in_blocks} * d.comp_info[c].height_in_blocks;
    return blocks;
}

void onProgress(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    auto* progress = reinterpret_cast<Progress*>(d->progress);
    if (d->input_scan_number == progress->scan) return;
    progress->scan = d->input_scan_number;
    progress->scanBlocks += blocksOfScan(*d);
    if (d->input_scan_number > kMaxScans || progress->scanBlocks > progress->maxScanBlocks) {
        reinterpret_cast<ErrorManager*>(cinfo->err)->tooMuchWork = true;
        onError(cinfo);
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

// Reads the headers and chooses the output colour space and scale (1 / reduction). False on any
// library error.
bool readHeader(Decoder& d, const std::uint8_t* data, std::size_t size, std::int32_t reduction) {
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
    d.progress.maxScanBlocks = kScanPassesPerBlock * blocksOfImage(d.cinfo) + kScanBlocksFloor;
    const J_COLOR_SPACE in = d.cinfo.jpeg_color_space;
    d.cinfo.out_color_space = (in == JCS_CMYK || in == JCS_YCCK) ? JCS_CMYK : JCS_EXT_BGRA;
    d.cinfo.scale_num = 1;
    d.cinfo.scale_denom = static_cast<unsigned>(reduction);
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
    if (err.tooMuchWork) return {DecodeFailure::kBadData, "too many scans"};
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

std::string_view lastJpegWarning() noexcept {
    return tWarning;
}

Decoded<std::unique_ptr<Bitmap>> decodeJpeg(ByteView bytes, std::uint64_t maxPixels,
                                            std::int32_t reduction) noexcept {
    tWarning[0] = '\0';
    try {
        if (!looksLikeJpeg(bytes)) return {nullptr, {DecodeFailure::kNotRecognised, {}}};
        if (bytes.size() > 0xFFFFFFFFu)
            return {nullptr, {DecodeFailure::kTooLarge, "data beyond 4 GiB"}};
        auto d = std::make_unique<Decoder>();
        if (reduction != 2 && reduction != 4 && reduction != 8) reduction = 1;
        if (!readHeader(*d, bytes.data(), bytes.size(), reduction))
            return {nullptr, failureOf(d->err, true)};
        const JDIMENSION w = d->cinfo.output_width;
        const JDIMENSION h = d->cinfo.output_height;
        const auto width = checkedCast<std::int32_t>(w);
        const auto height = checkedCast<std::int32_t>(h);
        // The limits are the stored image's, whatever the scale of the decode.
        const JDIMENSION storedW = d->cinfo.image_width, storedH = d->cinfo.image_height;
        const auto pixels = checkedMul<std::uint64_t>(storedW, storedH);
        if (!width || !height || !pixels || *pixels > maxPixels ||
            !withinDecodeBudget(storedW, storedH) || !bitmapSizeFits(*width, *height, 32))
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
