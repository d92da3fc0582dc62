// Lets GoogleTest print a decoder's failure record as the tools do ("bad data (bad filter)"),
// so that a test comparing records says which one it got.
#pragma once

#include <ostream>

#include "base/decode_failure.h"

namespace talvrin {

inline void PrintTo(const LoadFailure& failure, std::ostream* out) {
    *out << explain(failure);
}

}  // namespace talvrin
