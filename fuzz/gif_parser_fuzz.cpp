// Fuzzes cGIFparser and the picture loader's GIF route with arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_budget.h"
#include "image/codecs/gif_parser.h"
#include "image/surface/c32bpp_dib.h"
#include "platform/picture/gif_decoder.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    talvrin::fuzzing::useFuzzDecodeBudget();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 20)) return 0;
    const std::span<const std::uint8_t> bytes(data, size);
    // Huge declared sizes are refused by the decode budget, as in the program.
    talvrin::c32bppDIB dib;
    talvrin::cGIFparser parser;
    const bool result = parser.LoadStream(bytes, dib, 0, static_cast<std::int32_t>(size));
    // A surface only exists when the load answered true.
    if (dib.BitsPointer() && !result) __builtin_trap();
    (void)talvrin::platform::decodeGifPicture(talvrin::ByteView(data, size));
    return 0;
}
