#include "image/codecs/gdiplus_probe.h"

namespace talvrin {

bool isGDIplusOk() noexcept {
    // No imaging library is available on this platform yet.
    return false;
}

}  // namespace talvrin
