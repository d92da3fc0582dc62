// The peer side of the end-to-end decoder runs: one image file decoded by an established library
// and written as raw pixels, the same bytes talvrin-image convert writes.
//
//   decode_peer libpng IN.png OUT.prgba   libpng's simplified API, premultiplied RGBA
//   decode_peer spng IN.png OUT.prgba     libspng, premultiplied RGBA
//   decode_peer jpeg IN.jpg OUT.rgba      libjpeg-turbo straight to RGBA
//
// Each decodes the whole image into one buffer (as a program that keeps the pixels must), then
// writes it in one call. Premultiplication is colour x alpha / 255 truncated, fully transparent
// pixels four zero bytes.
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>
#include <png.h>
#include <spng.h>

namespace {

void premultiplyInPlace(std::uint8_t* p, std::size_t pixels) {
    for (std::size_t i = 0; i < pixels; ++i, p += 4) {
        const std::uint32_t a = p[3];
        if (a == 255) continue;
        if (a == 0) {
            std::memset(p, 0, 4);
            continue;
        }
        for (int c = 0; c < 3; ++c)
            p[c] = static_cast<std::uint8_t>(p[c] * a / 255);
    }
}

bool writeAll(const char* path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

int viaLibpng(const char* in, const char* out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, in)) return 1;
    image.format = PNG_FORMAT_RGBA;
    const std::size_t size = PNG_IMAGE_SIZE(image);
    auto* pixels = static_cast<std::uint8_t*>(std::malloc(size));
    if (!pixels || !png_image_finish_read(&image, nullptr, pixels, 0, nullptr)) return 1;
    premultiplyInPlace(pixels, size / 4);
    const bool ok = writeAll(out, pixels, size);
    std::free(pixels);
    return ok ? 0 : 1;
}

int viaSpng(const char* in, const char* out) {
    std::FILE* f = std::fopen(in, "rb");
    if (!f) return 1;
    spng_ctx* ctx = spng_ctx_new(0);
    spng_set_png_file(ctx, f);
    std::size_t size = 0;
    if (spng_decoded_image_size(ctx, SPNG_FMT_RGBA8, &size) != 0) return 1;
    auto* pixels = static_cast<std::uint8_t*>(std::malloc(size));
    if (!pixels || spng_decode_image(ctx, pixels, size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) != 0)
        return 1;
    spng_ctx_free(ctx);
    std::fclose(f);
    premultiplyInPlace(pixels, size / 4);
    const bool ok = writeAll(out, pixels, size);
    std::free(pixels);
    return ok ? 0 : 1;
}

struct JpegError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

int viaJpeg(const char* in, const char* out) {
    std::FILE* f = std::fopen(in, "rb");
    if (!f) return 1;
    jpeg_decompress_struct d{};
    JpegError err{};
    d.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = [](j_common_ptr c) {
        std::longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1);
    };
    if (setjmp(err.jump)) return 1;
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, f);
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_EXT_RGBA;
    jpeg_start_decompress(&d);
    const std::size_t stride = std::size_t{d.output_width} * 4;
    const std::size_t size = stride * d.output_height;
    auto* pixels = static_cast<std::uint8_t*>(std::malloc(size));
    if (!pixels) return 1;
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = pixels + std::size_t{d.output_scanline} * stride;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    std::fclose(f);
    const bool ok = writeAll(out, pixels, size);
    std::free(pixels);
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: decode_peer libpng|spng|jpeg IN OUT\n", stderr);
        return 2;
    }
    const std::string_view how = argv[1];
    if (how == "libpng") return viaLibpng(argv[2], argv[3]);
    if (how == "spng") return viaSpng(argv[2], argv[3]);
    if (how == "jpeg") return viaJpeg(argv[2], argv[3]);
    std::fputs("decode_peer: unknown library\n", stderr);
    return 2;
}
