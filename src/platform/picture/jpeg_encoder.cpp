#include "platform/picture/jpeg_encoder.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
#include <cstdlib>

namespace talvrin::platform {

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void onError(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void onMessage(j_common_ptr /*cinfo*/) {}  // the encoder's warnings say nothing of use here

// The compressor and its memory destination, released however the encode ends.
struct Encoder {
    jpeg_compress_struct cinfo{};
    ErrorManager err{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    bool created = false;

    Encoder() = default;
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;
    ~Encoder() {
        if (created) jpeg_destroy_compress(&cinfo);
        std::free(buffer);
    }
};

// Runs the library over every row; false on any library error. Nothing with a destructor lives
// between setjmp and the library's frames.
bool compress(Encoder& e, std::int32_t width, std::int32_t height, int quality,
              const JpegRowSource& rows, std::uint8_t* row) {
    e.cinfo.err = jpeg_std_error(&e.err.pub);
    e.err.pub.error_exit = onError;
    e.err.pub.output_message = onMessage;
    if (setjmp(e.err.jump)) return false;
    jpeg_create_compress(&e.cinfo);
    e.created = true;
    jpeg_mem_dest(&e.cinfo, &e.buffer, &e.size);
    e.cinfo.image_width = static_cast<JDIMENSION>(width);
    e.cinfo.image_height = static_cast<JDIMENSION>(height);
    e.cinfo.input_components = 3;
    e.cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&e.cinfo);
    jpeg_set_quality(&e.cinfo, quality, TRUE);
    e.cinfo.optimize_coding = TRUE;
    if (quality >= 90) {
        for (int c = 0; c < e.cinfo.num_components; ++c)
            e.cinfo.comp_info[c].h_samp_factor = e.cinfo.comp_info[c].v_samp_factor = 1;
    }
    jpeg_start_compress(&e.cinfo, TRUE);
    while (e.cinfo.next_scanline < e.cinfo.image_height) {
        rows(static_cast<std::int32_t>(e.cinfo.next_scanline), row);
        JSAMPROW r = row;
        jpeg_write_scanlines(&e.cinfo, &r, 1);
    }
    jpeg_finish_compress(&e.cinfo);
    return true;
}

}  // namespace

bool jpegEncoderAvailable() noexcept {
    return true;
}

SaveFailure encodeJpeg(std::int32_t width, std::int32_t height, int quality,
                       const JpegRowSource& rows, std::vector<std::uint8_t>& out) noexcept {
    out.clear();
    if (width < 1 || height < 1) return {EncodeFailure::kNoImage, "an image without pixels"};
    if (width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION)
        return {EncodeFailure::kTooLarge, "beyond JPEG's 65500 pixels a side"};
    try {
        std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
        Encoder e;
        if (!compress(e, width, height,
                      quality < 1     ? 1
                      : quality > 100 ? 100
                                      : quality,
                      rows, row.data()))
            return {EncodeFailure::kCompression, "the JPEG library refused the image"};
        out.assign(e.buffer, e.buffer + e.size);
        return {};
    } catch (...) {
        out.clear();
        return {EncodeFailure::kOutOfMemory, ""};
    }
}

}  // namespace talvrin::platform
