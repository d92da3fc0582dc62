// libFuzzer target for the built-in inflater. The first two bytes give the output size (up to
// 64 KiB); the rest is a zlib stream. Whatever the inflater accepts, zlib's raw inflate must
// accept too, with the same bytes.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "image/codecs/inflater.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t outSize =
        static_cast<std::size_t>(data[0]) | (static_cast<std::size_t>(data[1]) << 8);
    const talvrin::ByteView in(data + 2, size - 2);
    std::vector<std::uint8_t> out(outSize, 0);
    const talvrin::InflateResult r = talvrin::inflateZlib(in, out);
    if (r.produced > outSize) __builtin_trap();
    if (!r.ok()) return 0;
    for (std::size_t i = r.produced; i < outSize; ++i)
        if (out[i] != 0) __builtin_trap();  // bytes past the output stay untouched

    // The raw DEFLATE data after the two header bytes, through zlib.
    std::vector<std::uint8_t> ref(outSize + 1, 0);
    z_stream zs{};
    if (inflateInit2(&zs, -15) != Z_OK) return 0;
    zs.next_in = const_cast<Bytef*>(in.data() + 2);
    zs.avail_in = static_cast<uInt>(in.size() - 2);
    zs.next_out = ref.data();
    zs.avail_out = static_cast<uInt>(ref.size());
    const int rc = inflate(&zs, Z_FINISH);
    const std::size_t refLen = zs.total_out;
    inflateEnd(&zs);
    if (rc != Z_STREAM_END || refLen != r.produced) __builtin_trap();
    if (r.produced && std::memcmp(ref.data(), out.data(), r.produced) != 0) __builtin_trap();
    return 0;
}
