#include "image/codecs/inflater.h"

#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <new>

namespace talvrin {

namespace {

// The ways an inflate fails.
constexpr LoadFailure kEndsEarly{DecodeFailure::kTruncated, "deflate data ends early"};
constexpr LoadFailure kBadBlockType{DecodeFailure::kBadData, "deflate block type 3"};
constexpr LoadFailure kBadStoredLength{DecodeFailure::kBadData, "stored block length check fails"};
constexpr LoadFailure kBadCodeLengths{DecodeFailure::kBadData, "bad Huffman code lengths"};
constexpr LoadFailure kBadSymbol{DecodeFailure::kBadData, "bad deflate symbol"};
constexpr LoadFailure kBadDistance{DecodeFailure::kBadData,
                                   "distance before the start of the output"};
constexpr LoadFailure kOutputFull{DecodeFailure::kBadData, "inflates past the expected size"};
constexpr LoadFailure kNoWindow{DecodeFailure::kOutOfMemory, "no room for the inflate window"};

// ---- Decoding tables --------------------------------------------------------------------------
// A table entry is one 32-bit word:
//   bits 0-7    bits the code takes (for a link: unused)
//   bits 8-11   extra bits that follow the code (lengths, distances), or a link's index bits
//   bits 12-14  kind
//   bits 16-31  literal byte, base length / distance, code-length symbol, or a link's offset
// The primary table is indexed by the next `rootBits` input bits; codes longer than that go
// through a link to a sub-table indexed by the bits after them. Every code the decoder accepts
// is complete, so every entry is filled; entry 0 (kind kInvalid) marks symbols that are coded
// but not allowed (fixed-code literal/lengths 286-287, distances 30-31).
enum Kind : std::uint32_t {
    kInvalid = 0,
    kLiteral = 1,  // also the symbols of the code-length code
    kLength = 2,
    kEnd = 3,
    kDistance = 4,
    kLink = 5,
};

constexpr std::uint32_t entryKind(std::uint32_t e) noexcept {
    return (e >> 12) & 7u;
}
constexpr std::uint32_t entryBits(std::uint32_t e) noexcept {
    return e & 0xFFu;
}
constexpr std::uint32_t entryExtra(std::uint32_t e) noexcept {
    return (e >> 8) & 0xFu;
}
constexpr std::uint32_t entryValue(std::uint32_t e) noexcept {
    return e >> 16;
}
constexpr std::uint32_t makeInfo(Kind kind, std::uint32_t extra, std::uint32_t value) noexcept {
    return (value << 16) | (static_cast<std::uint32_t>(kind) << 12) | (extra << 8);
}

constexpr unsigned kMaxCodeBits = 15;
constexpr unsigned kLitRootBits = 10;
constexpr unsigned kDistRootBits = 8;
constexpr unsigned kCodeLenRootBits = 7;
// Room for the primary table and the largest set of sub-tables a complete code can need.
constexpr std::size_t kLitTableSize = 2048;
constexpr std::size_t kDistTableSize = 1024;
constexpr std::size_t kCodeLenTableSize = 1u << kCodeLenRootBits;

constexpr unsigned kMaxLitCodes = 288;
constexpr unsigned kMaxDistCodes = 32;

constexpr std::array<std::uint16_t, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                       15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                       67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistExtra = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                     4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                     9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::array<std::uint8_t, 19> kCodeLenOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                        11, 4,  12, 3, 13, 2, 14, 1, 15};

// What each literal/length symbol decodes to (without its code length).
constexpr std::array<std::uint32_t, kMaxLitCodes> makeLitInfo() {
    std::array<std::uint32_t, kMaxLitCodes> info{};
    for (std::uint32_t s = 0; s < 256; ++s)
        info[s] = makeInfo(kLiteral, 0, s);
    info[256] = makeInfo(kEnd, 0, 0);
    for (std::uint32_t s = 257; s < 286; ++s)
        info[s] = makeInfo(kLength, kLengthExtra[s - 257], kLengthBase[s - 257]);
    info[286] = info[287] = 0;  // coded in the fixed code, never valid
    return info;
}
constexpr std::array<std::uint32_t, kMaxDistCodes> makeDistInfo() {
    std::array<std::uint32_t, kMaxDistCodes> info{};
    for (std::uint32_t s = 0; s < 30; ++s)
        info[s] = makeInfo(kDistance, kDistExtra[s], kDistBase[s]);
    info[30] = info[31] = 0;
    return info;
}
constexpr std::array<std::uint32_t, 19> makeCodeLenInfo() {
    std::array<std::uint32_t, 19> info{};
    for (std::uint32_t s = 0; s < 19; ++s)
        info[s] = makeInfo(kLiteral, 0, s);
    return info;
}
constexpr auto kLitInfo = makeLitInfo();
constexpr auto kDistInfo = makeDistInfo();
constexpr auto kCodeLenInfo = makeCodeLenInfo();

// Builds the decoding table of the canonical code given by `lens` (count symbols). False when
// the code is over-subscribed or incomplete (no code at all and a single code are incomplete).
bool buildTable(const std::uint8_t* lens, unsigned count, const std::uint32_t* info,
                unsigned rootBits, std::uint32_t* table, std::size_t tableSize) noexcept {
    std::array<std::uint16_t, kMaxCodeBits + 1> lenCount{};
    for (unsigned s = 0; s < count; ++s)
        ++lenCount[lens[s]];
    lenCount[0] = 0;
    int left = 1;
    unsigned maxLen = 0;
    for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
        left <<= 1;
        left -= lenCount[len];
        if (left < 0) return false;  // over-subscribed
        if (lenCount[len]) maxLen = len;
    }
    if (left != 0) return false;  // incomplete

    // First canonical code of each length.
    std::array<std::uint32_t, kMaxCodeBits + 2> nextCode{};
    std::uint32_t code = 0;
    for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
        code = (code + lenCount[len - 1]) << 1;
        nextCode[len] = code;
    }

    const std::uint32_t rootSize = 1u << rootBits;
    const std::uint32_t rootMask = rootSize - 1;
    // Links are recognised by their kind, so no entry of an earlier table may survive.
    std::memset(table, 0, rootSize * sizeof(std::uint32_t));
    auto reversed = [](std::uint32_t c, unsigned len) {
        std::uint32_t r = 0;
        for (unsigned i = 0; i < len; ++i) {
            r = (r << 1) | (c & 1u);
            c >>= 1;
        }
        return r;
    };

    // Longest code behind every root prefix, which sizes that prefix's sub-table.
    std::array<std::uint8_t, 1u << kLitRootBits> subMax{};
    if (maxLen > rootBits) {
        auto probe = nextCode;
        for (unsigned s = 0; s < count; ++s) {
            const unsigned len = lens[s];
            if (len <= rootBits) {
                if (len) ++probe[len];
                continue;
            }
            const std::uint32_t prefix = reversed(probe[len]++, len) & rootMask;
            if (subMax[prefix] < len) subMax[prefix] = static_cast<std::uint8_t>(len);
        }
    }

    std::size_t used = rootSize;
    for (unsigned s = 0; s < count; ++s) {
        const unsigned len = lens[s];
        if (len == 0) continue;
        const std::uint32_t rev = reversed(nextCode[len]++, len);
        const std::uint32_t entry = info[s] | len;
        if (len <= rootBits) {
            for (std::uint32_t i = rev; i < rootSize; i += 1u << len)
                table[i] = entry;
            continue;
        }
        const std::uint32_t prefix = rev & rootMask;
        std::uint32_t link = table[prefix];
        if (entryKind(link) != kLink) {
            const unsigned subBits = subMax[prefix] - rootBits;
            if (used + (std::size_t{1} << subBits) > tableSize) return false;
            link = makeInfo(kLink, subBits, static_cast<std::uint32_t>(used)) | rootBits;
            table[prefix] = link;
            used += std::size_t{1} << subBits;
        }
        const std::uint32_t subSize = 1u << entryExtra(link);
        std::uint32_t* sub = table + entryValue(link);
        for (std::uint32_t i = rev >> rootBits; i < subSize; i += 1u << (len - rootBits))
            sub[i] = entry;
    }
    return true;
}

struct FixedTables {
    std::array<std::uint32_t, kLitTableSize> lit{};
    std::array<std::uint32_t, kDistTableSize> dist{};
};

const FixedTables& fixedTables() noexcept {
    static const FixedTables tables = [] {
        FixedTables t;
        std::array<std::uint8_t, kMaxLitCodes> lens{};
        for (unsigned s = 0; s < 144; ++s)
            lens[s] = 8;
        for (unsigned s = 144; s < 256; ++s)
            lens[s] = 9;
        for (unsigned s = 256; s < 280; ++s)
            lens[s] = 7;
        for (unsigned s = 280; s < 288; ++s)
            lens[s] = 8;
        buildTable(lens.data(), kMaxLitCodes, kLitInfo.data(), kLitRootBits, t.lit.data(),
                   t.lit.size());
        std::array<std::uint8_t, kMaxDistCodes> dlens{};
        dlens.fill(5);
        buildTable(dlens.data(), kMaxDistCodes, kDistInfo.data(), kDistRootBits, t.dist.data(),
                   t.dist.size());
        return t;
    }();
    return tables;
}

// ---- Bit input ----------------------------------------------------------------------------------
// Least significant bit first, through a 64-bit buffer. Past the end of the input the buffer is
// filled with zero bytes that are counted (`pad`); consuming any of them means the input ran out.
struct BitInput {
    const std::uint8_t* p;
    const std::uint8_t* end;
    std::uint64_t buf = 0;
    unsigned cnt = 0;  // valid bits in buf (the bits above may hold the bytes that follow)
    unsigned pad = 0;  // zero bytes appended after the end of the input

    // Leaves at least 56 bits in the buffer. False when bits past the input were consumed.
    [[gnu::always_inline]] inline bool refill() noexcept {
        if (end - p >= 8) {
            std::uint64_t v;
            std::memcpy(&v, p, 8);
            if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
            buf |= v << cnt;
            p += (63 - cnt) >> 3;
            cnt |= 56;
            return true;
        }
        return refillSlow();
    }
    bool refillSlow() noexcept {
        if (cnt < pad * 8) return false;
        while (cnt <= 56) {
            std::uint64_t b = 0;
            if (p < end)
                b = *p++;
            else
                ++pad;
            buf |= b << cnt;
            cnt += 8;
        }
        return true;
    }
    [[nodiscard]] bool overrun() const noexcept { return cnt < pad * 8; }
    [[nodiscard]] std::uint32_t peek(unsigned n) const noexcept {
        return static_cast<std::uint32_t>(buf & ((std::uint64_t{1} << n) - 1));
    }
    void drop(unsigned n) noexcept {
        buf >>= n;
        cnt -= n;
    }
    std::uint32_t take(unsigned n) noexcept {
        const std::uint32_t v = peek(n);
        drop(n);
        return v;
    }
};

[[gnu::always_inline]] inline std::uint32_t lookup(const std::uint32_t* table, unsigned rootBits,
                                                   std::uint64_t bits) noexcept {
    std::uint32_t e = table[bits & ((1u << rootBits) - 1)];
    if (entryKind(e) == kLink)
        e = table[entryValue(e) + ((bits >> rootBits) & ((1u << entryExtra(e)) - 1))];
    return e;
}

// Copies a back-reference of `len` bytes from `dist` bytes back. The result is that of a
// byte-by-byte copy, so a source that overlaps the destination repeats the recent bytes.
[[gnu::always_inline]] inline void copyMatch(std::uint8_t* dst, std::size_t dist,
                                             std::size_t len) noexcept {
    const std::uint8_t* src = dst - dist;
    if (dist >= len) {
        std::memcpy(dst, src, len);
    } else if (dist >= 8) {
        while (len >= 8) {
            std::memcpy(dst, src, 8);
            dst += 8;
            src += 8;
            len -= 8;
        }
        while (len--)
            *dst++ = *src++;
    } else if (dist == 1) {
        std::memset(dst, *src, len);
    } else {
        while (len--)
            *dst++ = *src++;
    }
}

// DEFLATE reaches at most this far back.
constexpr std::size_t kHistory = 32768;

class Inflater {
  public:
    // Into the caller's buffer: all output stays there.
    Inflater(ByteView in, std::span<std::uint8_t> out) noexcept
        : bits_{in.data(), in.data() + in.size()},
          out_(out.data()),
          outSize_(out.size()),
          capacity_(out.size()),
          limit_(out.size()) {}
    // Through a window: output goes to the sink in order, the window keeping the last 32 KiB
    // that back-references may reach; at most `limit` bytes in all.
    Inflater(ByteView in, std::span<std::uint8_t> window, std::size_t limit,
             InflateSink& sink) noexcept
        : bits_{in.data(), in.data() + in.size()},
          out_(window.data()),
          outSize_(window.size() < limit ? window.size() : limit),
          capacity_(window.size()),
          limit_(limit),
          sink_(&sink) {}

    InflateResult run() noexcept {
        bool final = false;
        do {
            if (!bits_.refill()) return fail(kEndsEarly);
            final = bits_.take(1) != 0;
            const std::uint32_t type = bits_.take(2);
            LoadFailure st;
            if (type == 0) {
                st = storedBlock();
            } else if (type == 1) {
                const FixedTables& f = fixedTables();
                st = codes(f.lit.data(), f.dist.data());
            } else if (type == 2) {
                st = dynamicBlock();
            } else {
                st = kBadBlockType;
            }
            if (st.failed()) return fail(st);
        } while (!final);
        if (bits_.overrun()) return fail(kEndsEarly);
        if (sink_ && pos_ > flushed_) sink_->write(out_ + flushed_, pos_ - flushed_);
        return {{}, base_ + pos_};
    }

  private:
    InflateResult fail(LoadFailure st) const noexcept { return {st, base_ + pos_}; }

    // True when handing the window's output to the sink and keeping only its last 32 KiB makes
    // room: there is a sink, more than the history is held, and the window, not the limit,
    // bounds the room.
    [[nodiscard]] bool canSlide() const noexcept {
        return sink_ && pos_ > kHistory && limit_ - base_ > capacity_;
    }
    void slide() noexcept {
        sink_->write(out_ + flushed_, pos_ - flushed_);
        std::memmove(out_, out_ + pos_ - kHistory, kHistory);
        base_ += pos_ - kHistory;
        pos_ = kHistory;
        flushed_ = kHistory;
        const std::size_t left = limit_ - base_;
        outSize_ = left < capacity_ ? left : capacity_;
    }

    LoadFailure storedBlock() noexcept {
        bits_.drop(bits_.cnt & 7u);
        if (bits_.overrun()) return kEndsEarly;
        // Give back the whole bytes still in the buffer, then read the block directly.
        const std::size_t buffered = bits_.cnt / 8 - bits_.pad;
        const std::uint8_t* at = bits_.p - buffered;
        bits_.buf = 0;
        bits_.cnt = 0;
        bits_.pad = 0;
        const ByteView rest(at, static_cast<std::size_t>(bits_.end - at));
        const auto len = rest.u16le(0);
        const auto nlen = rest.u16le(2);
        if (!len || !nlen) return kEndsEarly;
        if (static_cast<std::uint16_t>(~*nlen) != *len) return kBadStoredLength;
        if (!rest.contains(4, *len)) return kEndsEarly;
        if (*len > limit_ - base_ - pos_) return kOutputFull;
        const std::uint8_t* from = at + 4;
        std::size_t left = *len;
        while (left > 0) {
            if (pos_ == outSize_) slide();  // only a window runs out of room here
            const std::size_t room = outSize_ - pos_;
            const std::size_t n = left < room ? left : room;
            std::memcpy(out_ + pos_, from, n);
            pos_ += n;
            from += n;
            left -= n;
        }
        bits_.p = at + 4 + *len;
        return {};
    }

    LoadFailure dynamicBlock() noexcept {
        if (!bits_.refill()) return kEndsEarly;
        const unsigned hlit = bits_.take(5) + 257;
        const unsigned hdist = bits_.take(5) + 1;
        const unsigned hclen = bits_.take(4) + 4;
        if (hlit > 286 || hdist > 30) return kBadCodeLengths;

        std::array<std::uint8_t, 19> clens{};
        for (unsigned i = 0; i < hclen; ++i) {
            if (!bits_.refill()) return kEndsEarly;
            clens[kCodeLenOrder[i]] = static_cast<std::uint8_t>(bits_.take(3));
        }
        std::array<std::uint32_t, kCodeLenTableSize> clTable{};
        if (!buildTable(clens.data(), 19, kCodeLenInfo.data(), kCodeLenRootBits, clTable.data(),
                        clTable.size()))
            return kBadCodeLengths;

        std::array<std::uint8_t, kMaxLitCodes + kMaxDistCodes> lens{};
        const unsigned total = hlit + hdist;
        unsigned n = 0;
        while (n < total) {
            if (!bits_.refill()) return kEndsEarly;
            const std::uint32_t e = clTable[bits_.peek(kCodeLenRootBits)];
            bits_.drop(entryBits(e));
            const std::uint32_t sym = entryValue(e);
            if (sym < 16) {
                lens[n++] = static_cast<std::uint8_t>(sym);
                continue;
            }
            std::uint8_t value = 0;
            unsigned repeat = 0;
            if (sym == 16) {
                if (n == 0) return kBadCodeLengths;
                value = lens[n - 1];
                repeat = 3 + bits_.take(2);
            } else if (sym == 17) {
                repeat = 3 + bits_.take(3);
            } else {
                repeat = 11 + bits_.take(7);
            }
            if (repeat > total - n) return kBadCodeLengths;
            std::memset(lens.data() + n, value, repeat);
            n += repeat;
        }
        if (bits_.overrun()) return kEndsEarly;
        if (lens[256] == 0) return kBadCodeLengths;  // the block could never end

        if (!buildTable(lens.data(), hlit, kLitInfo.data(), kLitRootBits, lit_.data(),
                        lit_.size()) ||
            !buildTable(lens.data() + hlit, hdist, kDistInfo.data(), kDistRootBits, dist_.data(),
                        dist_.size()))
            return kBadCodeLengths;
        return codes(lit_.data(), dist_.data());
    }

    // Decodes the symbols of one block up to its end code.
    LoadFailure codes(const std::uint32_t* lit, const std::uint32_t* dist) noexcept {
        BitInput b = bits_;  // kept in registers for the loop
        std::uint8_t* const out = out_;
        std::size_t outSize = outSize_;
        std::size_t pos = pos_;
        LoadFailure st;
        for (;;) {
            // Room for the longest match, or the window moves on.
            if (outSize - pos < 258 && sink_) {
                pos_ = pos;
                if (canSlide()) {
                    slide();
                    pos = pos_;
                    outSize = outSize_;
                }
            }
            if (!b.refill()) {
                st = kEndsEarly;
                break;
            }
            std::uint32_t e = lookup(lit, kLitRootBits, b.buf);
            if (entryKind(e) == kLiteral) {
                b.drop(entryBits(e));
                if (pos >= outSize) {
                    st = kOutputFull;
                    break;
                }
                out[pos++] = static_cast<std::uint8_t>(entryValue(e));
                // At least 41 bits remain: room for a second literal without a refill.
                e = lookup(lit, kLitRootBits, b.buf);
                if (entryKind(e) != kLiteral) continue;
                b.drop(entryBits(e));
                if (pos >= outSize) {
                    st = kOutputFull;
                    break;
                }
                out[pos++] = static_cast<std::uint8_t>(entryValue(e));
                continue;
            }
            if (entryKind(e) == kLength) {
                // Code and extra bits take at most 20 bits; the distance at most 28 more.
                const unsigned codeBits = entryBits(e);
                const std::size_t len =
                    entryValue(e) + ((b.buf >> codeBits) & ((1u << entryExtra(e)) - 1));
                b.drop(codeBits + entryExtra(e));
                const std::uint32_t d = lookup(dist, kDistRootBits, b.buf);
                if (entryKind(d) != kDistance) {
                    st = kBadSymbol;
                    break;
                }
                const unsigned dBits = entryBits(d);
                const std::size_t distance =
                    entryValue(d) + ((b.buf >> dBits) & ((1u << entryExtra(d)) - 1));
                b.drop(dBits + entryExtra(d));
                if (distance > base_ + pos) {
                    st = kBadDistance;
                    break;
                }
                if (len > outSize - pos) {
                    st = kOutputFull;
                    break;
                }
                copyMatch(out + pos, distance, len);
                pos += len;
                continue;
            }
            if (entryKind(e) == kEnd) {
                b.drop(entryBits(e));
                if (b.overrun()) st = kEndsEarly;
                break;
            }
            st = kBadSymbol;
            break;
        }
        bits_ = b;
        pos_ = pos;
        return st;
    }

    BitInput bits_;
    std::uint8_t* out_;
    std::size_t outSize_;   // the room of the window now: out_[0, outSize_)
    std::size_t capacity_;  // the window's size
    std::size_t limit_;     // the most output in all
    InflateSink* sink_ = nullptr;
    std::size_t base_ = 0;     // output before out_[0]
    std::size_t flushed_ = 0;  // out_[0, flushed_) went to the sink
    std::size_t pos_ = 0;
    std::array<std::uint32_t, kLitTableSize> lit_;
    std::array<std::uint32_t, kDistTableSize> dist_;
};

}  // namespace

InflateResult inflateRaw(ByteView in, std::span<std::uint8_t> out) noexcept {
    if (in.empty()) return {kEndsEarly, 0};
    Inflater inflater(in, out);
    return inflater.run();
}

InflateResult inflateZlibTo(ByteView in, std::size_t maxOutput, InflateSink& sink) noexcept {
    if (in.size() < 2) return {kEndsEarly, 0};
    // Room for the history and long stretches of output between hand-overs.
    constexpr std::size_t kWindow = kHistory + 224 * 1024;
    std::unique_ptr<std::uint8_t[]> window(new (std::nothrow) std::uint8_t[kWindow]);
    if (!window) return {kNoWindow, 0};
    const ByteView raw = in.from(2);
    if (raw.empty()) return {kEndsEarly, 0};
    Inflater inflater(raw, {window.get(), kWindow}, maxOutput, sink);
    return inflater.run();
}

InflateResult inflateZlib(ByteView in, std::span<std::uint8_t> out) noexcept {
    // The two header bytes are skipped without being examined.
    if (in.size() < 2) return {kEndsEarly, 0};
    return inflateRaw(in.from(2), out);
}

}  // namespace talvrin
