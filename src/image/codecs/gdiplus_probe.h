// Whether the system imaging library can be used. The imaging-library bridge replaces the answer
// once it exists; until then this platform has no such library.
#pragma once

namespace talvrin {

[[nodiscard]] bool isGDIplusOk() noexcept;

}  // namespace talvrin
