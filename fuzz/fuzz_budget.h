// The decode budget the image fuzz targets run under.
//
// A few bytes can declare an image that they still fill: a run-length bitmap of 16 million by 3
// pixels, an interlaced PNG of 5 by 12 million. Within the program's default budget such an
// image is decoded, as it should be, but each pass over 60 million pixels takes seconds under the
// sanitizers, past libFuzzer's time limit per input. Under libFuzzer the targets therefore decode
// under a smaller budget (the build defines it), large enough for every path of every decoder;
// the budget's own rule is tested at the default. The replay of the kept inputs in the ordinary
// test run uses the program's default, so the kept slow inputs still guard the decoders' speed.
#pragma once

#include "base/decode_budget.h"

namespace talvrin::fuzzing {

inline void useFuzzDecodeBudget() noexcept {
#ifdef TALVRIN_FUZZ_DECODE_BUDGET
    setDecodeBudget(TALVRIN_FUZZ_DECODE_BUDGET);
#endif
}

}  // namespace talvrin::fuzzing
