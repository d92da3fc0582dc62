// The JPEG encoder of a build without the JPEG library: every encode is refused, saying why.
#include "platform/picture/jpeg_encoder.h"

namespace talvrin::platform {

bool jpegEncoderAvailable() noexcept {
    return false;
}

SaveFailure encodeJpeg(std::int32_t, std::int32_t, int, const JpegRowSource&,
                       std::vector<std::uint8_t>& out) noexcept {
    out.clear();
    return {EncodeFailure::kUnavailable, "no JPEG encoder in this build"};
}

}  // namespace talvrin::platform
