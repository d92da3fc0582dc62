// The program's own resources, compiled in from this folder: the window icon and the link
// picture and cursor, as custom resources 101-103 (section "CUSTOM") and as picture resources
// (icon 1, cursor 1).
#pragma once

#include <memory>

#include "platform/picture/resources.h"

namespace talvrin {

[[nodiscard]] std::shared_ptr<const platform::ResourceProvider> builtInResources();

}  // namespace talvrin
