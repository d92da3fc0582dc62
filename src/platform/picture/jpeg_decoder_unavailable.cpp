// The JPEG decoder of a build without the JPEG library: JPEG data is recognised and refused as
// an unsupported variant, so the loader's callers see why nothing was decoded.
#include "platform/picture/jpeg_decoder.h"

namespace talvrin::platform {

bool jpegDecoderAvailable() noexcept {
    return false;
}

std::unique_ptr<Bitmap> decodeJpeg(ByteView bytes, std::uint64_t /*maxPixels*/,
                                   DecodeFailure* failure) noexcept {
    if (failure != nullptr)
        *failure =
            looksLikeJpeg(bytes) ? DecodeFailure::kUnsupported : DecodeFailure::kNotRecognised;
    return nullptr;
}

}  // namespace talvrin::platform
