// libFuzzer target for cPNGparser. The first byte chooses whether the compression library counts
// as present (checksums tested, zlib inflates) or absent (no checksums, the built-in inflater),
// and whether the data is also decoded from a file (read in pieces) to be compared with the
// decode of the same bytes in memory; the rest is the PNG data.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>

#include "fuzz_budget.h"
#include "image/codecs/compression.h"
#include "image/codecs/png_parser.h"
#include "image/surface/c32bpp_dib.h"
#include "platform/os/files.h"

namespace {

// A decoded image is PNG, of the size its header gave, and premultiplied.
void checkImage(bool result, const talvrin::c32bppDIB& dib) {
    if (!dib.BitsPointer()) return;
    if (!result || dib.Width() < 1 || dib.Height() < 1) __builtin_trap();
    const std::uint8_t* p = dib.BitsPointer();
    const std::size_t n =
        static_cast<std::size_t>(dib.Width()) * static_cast<std::size_t>(dib.Height());
    for (std::size_t i = 0; i < n; ++i, p += 4)
        if (p[0] > p[3] || p[1] > p[3] || p[2] > p[3]) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    talvrin::fuzzing::useFuzzDecodeBudget();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    talvrin::compression::ScopedAbsent absent((data[0] & 1) != 0);
    const std::span<const std::uint8_t> png(data + 1, size - 1);
    talvrin::c32bppDIB dib;
    talvrin::cPNGparser parser;
    std::uint32_t token = 0;
    const bool result =
        parser.LoadStream(png, dib, 0, static_cast<std::int32_t>(png.size()), token);
    checkImage(result, dib);

    // File mode (for files of the smallest PNG's size and more) gives what memory gives.
    if ((data[0] & 2) == 0 || png.size() < 57) return 0;
    static const std::string path = "/dev/shm/talvrin_png_fuzz_" + std::to_string(getpid());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    const bool written = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    std::fclose(f);
    if (!written) return 0;
    talvrin::platform::File file = talvrin::platform::OpenImageFile(path, true);
    if (!file) return 0;
    talvrin::c32bppDIB fromFile;
    talvrin::cPNGparser fileParser;
    const bool fileResult = fileParser.LoadFile(file, u"fuzz.png", fromFile, token);
    checkImage(fileResult, fromFile);
    if (fileResult != result || fileParser.lastLoadFailure() != parser.lastLoadFailure() ||
        (fromFile.BitsPointer() == nullptr) != (dib.BitsPointer() == nullptr))
        __builtin_trap();
    if (dib.BitsPointer() &&
        (fromFile.Width() != dib.Width() || fromFile.Height() != dib.Height() ||
         std::memcmp(fromFile.BitsPointer(), dib.BitsPointer(),
                     static_cast<std::size_t>(dib.scanWidth()) * dib.Height()) != 0))
        __builtin_trap();
    return 0;
}
