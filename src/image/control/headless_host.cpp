#include "image/control/headless_host.h"

#include "platform/gdi/screen.h"

namespace talvrin {

std::int32_t HeadlessHost::dotsPerInch(bool /*horizontal*/) const {
    return platform::kDefaultDotsPerInch;
}

}  // namespace talvrin
