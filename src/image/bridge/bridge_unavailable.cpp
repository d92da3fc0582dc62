// The bridge's backend in a build without its libraries: nothing is present, so the bridge
// starts no session and every caller takes its own path.
#include "image/bridge/bridge_backend.h"

namespace talvrin::bridge::backend {

bool present() noexcept {
    return false;
}

bool drawAffine(const TopDownImage&, const Affine&, bool, double, double, const Rect&,
                platform::DeviceContext&) noexcept {
    return false;
}

Decoded decodeWebp(std::span<const std::uint8_t>) noexcept {
    return {{}, DecodeFailure::kUnsupported};
}

Decoded decodeTiff(std::span<const std::uint8_t>) noexcept {
    return {{}, DecodeFailure::kUnsupported};
}

SystemImaging* systemImaging() noexcept {
    return nullptr;  // not the system's imaging library
}

}  // namespace talvrin::bridge::backend
