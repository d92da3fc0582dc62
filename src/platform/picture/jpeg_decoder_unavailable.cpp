// The JPEG decoder of a build without the JPEG library: JPEG data is recognised and refused as
// an unsupported variant, so the loader's callers see why nothing was decoded.
#include "platform/picture/jpeg_decoder.h"

namespace talvrin::platform {

bool jpegDecoderAvailable() noexcept {
    return false;
}

Decoded<std::unique_ptr<Bitmap>> decodeJpeg(ByteView bytes, std::uint64_t /*maxPixels*/,
                                            std::int32_t /*reduction*/) noexcept {
    if (!looksLikeJpeg(bytes)) return {nullptr, {DecodeFailure::kNotRecognised, {}}};
    return {nullptr, {DecodeFailure::kUnsupported, "no JPEG decoder in this build"}};
}

std::string_view lastJpegWarning() noexcept {
    return {};
}

}  // namespace talvrin::platform
