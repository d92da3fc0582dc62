#include "image/codecs/compression.h"

#include <zlib.h>

#include <atomic>
#include <new>

namespace talvrin::compression {

namespace {
std::atomic<bool> gForcedAbsent{false};
}

bool isAvailable() noexcept {
    return !gForcedAbsent.load(std::memory_order_relaxed);
}

void setForcedAbsent(bool absent) noexcept {
    gForcedAbsent.store(absent, std::memory_order_relaxed);
}

std::uint32_t crc32(ByteView bytes) noexcept {
    if (!isAvailable()) return 0;
    const auto* data = reinterpret_cast<const Bytef*>(bytes.data());
    return static_cast<std::uint32_t>(::crc32_z(::crc32_z(0L, Z_NULL, 0), data, bytes.size()));
}

std::uint32_t crc32Update(std::uint32_t crc, ByteView bytes) noexcept {
    if (!isAvailable()) return 0;
    const auto* data = reinterpret_cast<const Bytef*>(bytes.data());
    return static_cast<std::uint32_t>(::crc32_z(crc, bytes.empty() ? Z_NULL : data, bytes.size()));
}

bool chunkChecksumMatches(ByteView typeAndData, std::uint32_t storedBigEndian) noexcept {
    const std::uint32_t crc = crc32(typeAndData);
    return crc != 0 && crc == storedBigEndian;
}

bool uncompress(ByteView in, std::span<std::uint8_t> out, std::size_t* produced) noexcept {
    if (produced) *produced = 0;
    if (!isAvailable()) return false;
    // The library's sizes are uLong; both spans fit on every platform this builds for, but a
    // size that does not is refused rather than truncated.
    if (in.size() > static_cast<std::size_t>(static_cast<uLong>(-1)) ||
        out.size() > static_cast<std::size_t>(static_cast<uLong>(-1)))
        return false;
    uLongf outLen = static_cast<uLongf>(out.size());
    // The library does not accept a null output address even for an empty buffer.
    Bytef dummy = 0;
    Bytef* dest = out.empty() ? &dummy : reinterpret_cast<Bytef*>(out.data());
    const Bytef* src = in.empty() ? &dummy : reinterpret_cast<const Bytef*>(in.data());
    const int rc = ::uncompress(dest, &outLen, src, static_cast<uLong>(in.size()));
    if (rc != Z_OK) return false;
    if (produced) *produced = static_cast<std::size_t>(outLen);
    return true;
}

struct StreamInflater::State {
    z_stream z{};
};

StreamInflater::StreamInflater() noexcept = default;

StreamInflater::~StreamInflater() {
    if (state_) {
        if (started_) ::inflateEnd(&state_->z);
        delete state_;
    }
}

StreamInflater::Step StreamInflater::run(ByteView in, std::span<std::uint8_t> out,
                                         std::size_t& consumed, std::size_t& produced) noexcept {
    consumed = produced = 0;
    if (ended_) return Step::kEnd;
    if (failed_) return Step::kFailed;
    if (!started_) {
        if (!isAvailable()) {
            failed_ = true;
            return Step::kFailed;
        }
        state_ = new (std::nothrow) State;
        // The default window of 32 KiB, as uncompress() uses: a stream whose header names a
        // smaller one still reaches back as far as its distances say.
        if (!state_ || ::inflateInit(&state_->z) != Z_OK) {
            failed_ = true;
            return Step::kFailed;
        }
        started_ = true;
    }
    z_stream& z = state_->z;
    // The library takes no null addresses, even for empty buffers.
    Bytef dummy = 0;
    const std::size_t kMaxPiece = static_cast<uInt>(-1);
    for (;;) {
        const std::size_t inLeft = in.size() - consumed;
        const std::size_t outLeft = out.size() - produced;
        const uInt inNow = static_cast<uInt>(inLeft < kMaxPiece ? inLeft : kMaxPiece);
        const uInt outNow = static_cast<uInt>(outLeft < kMaxPiece ? outLeft : kMaxPiece);
        z.next_in = inNow ? const_cast<Bytef*>(in.data() + consumed) : &dummy;
        z.avail_in = inNow;
        z.next_out = outNow ? out.data() + produced : &dummy;
        z.avail_out = outNow;
        const int rc = ::inflate(&z, Z_NO_FLUSH);
        consumed += inNow - z.avail_in;
        produced += outNow - z.avail_out;
        if (rc == Z_STREAM_END) {
            ended_ = true;
            return Step::kEnd;
        }
        if (rc == Z_OK) continue;  // progress: go on while there is room and input
        if (rc != Z_BUF_ERROR) {   // Z_DATA_ERROR, Z_NEED_DICT, Z_MEM_ERROR, ...
            failed_ = true;
            return Step::kFailed;
        }
        // No progress was possible: the input is used up, or the output is full.
        if (consumed == in.size()) return Step::kNeedInput;
        return Step::kOutputFull;
    }
}

bool compress2(ByteView in, std::vector<std::uint8_t>& out) noexcept {
    out.clear();
    if (!isAvailable()) return false;
    try {
        const uLong bound = ::compressBound(static_cast<uLong>(in.size()));
        out.resize(static_cast<std::size_t>(bound));
        uLongf outLen = bound;
        const Bytef dummy = 0;
        const Bytef* src = in.empty() ? &dummy : reinterpret_cast<const Bytef*>(in.data());
        const int rc = ::compress2(out.data(), &outLen, src, static_cast<uLong>(in.size()), 9);
        if (rc != Z_OK) {
            out.clear();
            return false;
        }
        out.resize(static_cast<std::size_t>(outLen));
        return true;
    } catch (const std::bad_alloc&) {
        out.clear();
        return false;
    }
}

bool compress2(ByteView in, std::span<std::uint8_t> out, std::size_t* produced,
               int level) noexcept {
    if (produced) *produced = 0;
    if (!isAvailable() || level < 0 || level > 9) return false;
    if (in.size() > static_cast<std::size_t>(static_cast<uLong>(-1)) ||
        out.size() > static_cast<std::size_t>(static_cast<uLong>(-1)))
        return false;
    uLongf outLen = static_cast<uLongf>(out.size());
    Bytef dummy = 0;
    Bytef* dest = out.empty() ? &dummy : reinterpret_cast<Bytef*>(out.data());
    const Bytef* src = in.empty() ? &dummy : reinterpret_cast<const Bytef*>(in.data());
    // Z_BUF_ERROR (the stream does not fit) and every other non-zero result are failures.
    const int rc = ::compress2(dest, &outLen, src, static_cast<uLong>(in.size()), level);
    if (rc != Z_OK) return false;
    if (produced) *produced = static_cast<std::size_t>(outLen);
    return true;
}

}  // namespace talvrin::compression
