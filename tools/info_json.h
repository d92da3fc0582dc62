// What info learns about one file, and that record as one JSON object.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/failure.h"
#include "tools/image_facts.h"

namespace talvrin::tool {

struct InfoRecord {
    std::string name;
    ImageFacts facts;   // from the file's bytes, when they could be read
    bool read = false;  // the bytes could be read (facts are meaningful)
    // The decoded image, when the load succeeded.
    bool loaded = false;
    std::int32_t width = 0, height = 0, type = 0;
    bool alpha = false;
    // Why the load failed ("truncated") and, where the decoder says more, what exactly.
    Failure error;
};

// The record as one JSON object on one line (no newline), keys in a fixed order:
//   {"name": ..., "format": ..., "width": ..., "height": ..., "type": ..., "type_name": ...,
//    "alpha": ..., "bit_depth": ..., "color_type": ..., "frames": ..., "icons": [...],
//    "orientation": ..., "error": {"reason": ..., "detail": ...}}
// with only the keys that apply. A name that is not valid UTF-8 has U+FFFD for each bad byte.
[[nodiscard]] std::string infoJson(const InfoRecord& record);

}  // namespace talvrin::tool
