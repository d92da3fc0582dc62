// Fuzzes cICOparser in directory-only and loading modes, at the start of the data and at an
// offset, and the loader's icon picture route.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_budget.h"
#include "image/codecs/ico_parser.h"
#include "image/surface/c32bpp_dib.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    talvrin::fuzzing::useFuzzDecodeBudget();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > (1u << 20)) return 0;
    // The first byte picks the requested size and depth; the rest is the icon.
    const std::uint8_t pick = data[0];
    const std::span<const std::uint8_t> bytes(data + 1, size - 1);
    talvrin::cICOparser directory;
    std::int32_t length = 0;
    (void)directory.LoadStream(bytes, 0, 0, nullptr, 0, length);
    for (std::int32_t i = 0; i <= directory.IconCount() + 1; ++i) {
        (void)directory.ColorCount(i);
        (void)directory.ColorByteOffset(i);
    }

    talvrin::c32bppDIB dib;
    talvrin::cICOparser parser;
    length = 0;
    static constexpr std::int32_t kSizes[] = {0, 16, 32, 48, 256};
    static constexpr std::int32_t kDepths[] = {1, 4, 8, 24, 32, 64};
    (void)parser.LoadStream(bytes, kSizes[pick % 5], kSizes[(pick / 5) % 5], &dib, pick & 1, length,
                            kDepths[(pick / 25) % 6]);
    (void)talvrin::IconBytesToPicture(talvrin::ByteView(bytes.data(), bytes.size()));
    return 0;
}
