// The built-in inflater against zlib: byte-identical output on generated and real streams, and a
// clean failure (with the right reason) on every malformed stream built here bit by bit.
#include "image/codecs/inflater.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "image/codecs/png_test_builder.h"
#include "support/load_failure_printer.h"

namespace talvrin {
namespace {

using test::BitWriter;
using test::Bytes;
using test::dynamicBlock;

// The failures these tests expect, as the inflater records them.
const LoadFailure kEndsEarly{DecodeFailure::kTruncated, "deflate data ends early"};
const LoadFailure kOutputFull{DecodeFailure::kBadData, "inflates past the expected size"};
const LoadFailure kBadDistance{DecodeFailure::kBadData, "distance before the start of the output"};
const LoadFailure kBadSymbol{DecodeFailure::kBadData, "bad deflate symbol"};
const LoadFailure kBadBlockType{DecodeFailure::kBadData, "deflate block type 3"};
const LoadFailure kBadStoredLength{DecodeFailure::kBadData, "stored block length check fails"};
const LoadFailure kBadCodeLengths{DecodeFailure::kBadData, "bad Huffman code lengths"};

Bytes deflateWith(const Bytes& in, int level, int strategy = Z_DEFAULT_STRATEGY, int memLevel = 8) {
    z_stream zs{};
    EXPECT_EQ(deflateInit2(&zs, level, Z_DEFLATED, 15, memLevel, strategy), Z_OK);
    Bytes out(deflateBound(&zs, in.size()) + 16);
    zs.next_in = const_cast<Bytef*>(in.data());
    zs.avail_in = static_cast<uInt>(in.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

InflateResult inflateInto(const Bytes& stream, Bytes& out) {
    return inflateZlib(ByteView(stream), out);
}

// Data of several kinds: noise (stored blocks), text-like runs (dynamic codes), and repeats far
// back (long distances).
Bytes makeData(int kind, std::size_t size, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes d(size);
    switch (kind) {
        case 0:
            for (auto& b : d)
                b = static_cast<std::uint8_t>(rng());
            break;
        case 1: {
            const std::string words[] = {"alpha ", "beta ", "gamma ", "delta\n", "epsilon ", "z"};
            std::size_t i = 0;
            while (i < size) {
                for (char c : words[rng() % 6]) {
                    if (i < size) d[i++] = static_cast<std::uint8_t>(c);
                }
            }
            break;
        }
        case 2: {
            // A random block repeated at distances up to the 32 KiB window, with small changes.
            Bytes block(30000);
            for (auto& b : block)
                b = static_cast<std::uint8_t>(rng() % 16);
            for (std::size_t i = 0; i < size; ++i)
                d[i] = block[i % block.size()] ^ (rng() % 97 == 0);
            break;
        }
        default:
            // Image-like rows: smooth gradients with runs of one value.
            for (std::size_t i = 0; i < size; ++i)
                d[i] = static_cast<std::uint8_t>((i % 4 == 0) ? 0 : (i / 7 + (rng() % 3)));
            break;
    }
    return d;
}

TEST(InflaterMatchesZlib, EveryLevelAndKindOfData) {
    for (int kind = 0; kind < 4; ++kind) {
        for (std::size_t size :
             {std::size_t{0}, std::size_t{1}, std::size_t{100}, std::size_t{70000}}) {
            const Bytes data = makeData(kind, size, static_cast<std::uint32_t>(kind * 1000 + size));
            for (int level = 0; level <= 9; ++level) {
                const Bytes z = deflateWith(data, level);
                Bytes out(data.size());
                const InflateResult r = inflateInto(z, out);
                ASSERT_TRUE(r.ok()) << "kind " << kind << " size " << size << " level " << level;
                EXPECT_EQ(r.produced, data.size());
                EXPECT_EQ(out, data) << "kind " << kind << " size " << size << " level " << level;
            }
        }
    }
}

TEST(InflaterMatchesZlib, FixedHuffmanRleAndManySmallBlocks) {
    const Bytes data = makeData(3, 200000, 7);
    for (int strategy : {Z_FIXED, Z_HUFFMAN_ONLY, Z_RLE, Z_FILTERED}) {
        // memLevel 1 makes small blocks, so many block headers and table rebuilds are crossed.
        for (int memLevel : {1, 9}) {
            const Bytes z = deflateWith(data, 6, strategy, memLevel);
            Bytes out(data.size());
            const InflateResult r = inflateInto(z, out);
            ASSERT_TRUE(r.ok()) << "strategy " << strategy;
            EXPECT_EQ(out, data) << "strategy " << strategy << " memLevel " << memLevel;
        }
    }
}

TEST(InflaterMatchesZlib, RealStreamsFromTheCorpus) {
    const std::filesystem::path dir = std::filesystem::path(TALVRIN_CORPUS_DIR) / "png";
    if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "corpus not found at " << dir;
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::ifstream f(entry.path(), std::ios::binary);
        const Bytes file((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        // Gather the IDAT data of well-formed files.
        Bytes z;
        std::size_t at = 8;
        while (at + 12 <= file.size()) {
            const std::uint32_t len = (std::uint32_t{file[at]} << 24) | (file[at + 1] << 16) |
                                      (file[at + 2] << 8) | file[at + 3];
            if (len > file.size() - at - 12) break;
            if (std::equal(file.begin() + at + 4, file.begin() + at + 8, "IDAT"))
                z.insert(z.end(), file.begin() + at + 8, file.begin() + at + 8 + len);
            at += len + 12;
        }
        Bytes expected(1 << 22);
        uLongf expectedLen = expected.size();
        if (z.empty() || uncompress(expected.data(), &expectedLen, z.data(), z.size()) != Z_OK)
            continue;
        expected.resize(expectedLen);
        Bytes out(expected.size());
        const InflateResult r = inflateInto(z, out);
        EXPECT_TRUE(r.ok()) << entry.path();
        EXPECT_EQ(out, expected) << entry.path();
        ++checked;
    }
    EXPECT_GT(checked, 100);
}

// The windowed form hands on the same bytes as the whole-buffer form, for output far longer
// than its window (stored blocks crossing it, matches reaching back across a hand-over), and
// keeps its bound the same way: one byte too few fails, room to spare is accepted.
TEST(InflaterWindowed, MatchesTheBufferFormAndKeepsTheSameBound) {
    struct Collect final : InflateSink {
        Bytes got;
        void write(const std::uint8_t* d, std::size_t n) noexcept override {
            got.insert(got.end(), d, d + n);
        }
    };
    for (int kind = 0; kind < 4; ++kind) {
        for (std::size_t size : {std::size_t{0}, std::size_t{100}, std::size_t{1500000}}) {
            const Bytes data = makeData(kind, size, static_cast<std::uint32_t>(kind + size));
            for (int level : {0, 1, 9}) {
                const Bytes z = deflateWith(data, level);
                Collect exact, spare, tight;
                const InflateResult r = inflateZlibTo(ByteView(z), data.size(), exact);
                ASSERT_TRUE(r.ok()) << "kind " << kind << " size " << size << " level " << level;
                EXPECT_EQ(r.produced, data.size());
                EXPECT_EQ(exact.got, data) << "kind " << kind << " size " << size;
                EXPECT_TRUE(inflateZlibTo(ByteView(z), data.size() + 100, spare).ok());
                EXPECT_EQ(spare.got, data);
                if (size > 0) {
                    EXPECT_EQ(inflateZlibTo(ByteView(z), data.size() - 1, tight).failure,
                              kOutputFull);
                }
                Bytes cut(z.begin(), z.end() - static_cast<std::ptrdiff_t>(z.size() / 3 + 5));
                Collect partial;
                EXPECT_FALSE(inflateZlibTo(ByteView(cut), data.size(), partial).ok());
            }
        }
    }
}

TEST(InflaterOutputBound, ShorterOutputIsAcceptedAndTheRestUntouched) {
    const Bytes data = makeData(1, 5000, 3);
    const Bytes z = deflateWith(data, 9);
    Bytes out(data.size() + 100, 0);
    const InflateResult r = inflateInto(z, out);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.produced, data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin()));
    for (std::size_t i = data.size(); i < out.size(); ++i)
        ASSERT_EQ(out[i], 0) << i;
}

TEST(InflaterOutputBound, DataLargerThanTheBufferFails) {
    for (int level : {0, 1, 9}) {
        const Bytes data = makeData(2, 40000, 5);
        const Bytes z = deflateWith(data, level);
        Bytes out(data.size() - 1);
        EXPECT_EQ(inflateInto(z, out).failure, kOutputFull) << level;
    }
}

TEST(InflaterTruncation, EveryCutBeforeTheTrailerFails) {
    for (int level : {0, 1, 6}) {
        const Bytes data = makeData(1, 3000, 11);
        const Bytes z = deflateWith(data, level);
        for (std::size_t cut = 0; cut + 4 < z.size(); ++cut) {
            Bytes part(z.begin(), z.begin() + static_cast<std::ptrdiff_t>(cut));
            Bytes out(data.size());
            EXPECT_FALSE(inflateInto(part, out).ok()) << "level " << level << " cut " << cut;
        }
        // The Adler-32 trailer is never read.
        Bytes noTrailer(z.begin(), z.end() - 4);
        Bytes out(data.size());
        EXPECT_TRUE(inflateInto(noTrailer, out).ok());
        EXPECT_EQ(out, data);
    }
}

TEST(InflaterTruncation, FewerThanTwoBytesFail) {
    Bytes out(16);
    EXPECT_EQ(inflateInto({}, out).failure, kEndsEarly);
    EXPECT_EQ(inflateInto({0x78}, out).failure, kEndsEarly);
    EXPECT_EQ(inflateInto({0x78, 0x9C}, out).failure, kEndsEarly);
}

// ---- Hand-made streams ----------------------------------------------------------------------

// Fixed-code helpers: literal/length symbols and distance symbols.
void fixedSymbol(BitWriter& w, unsigned sym) {
    if (sym < 144)
        w.code(0x30 + sym, 8);
    else if (sym < 256)
        w.code(0x190 + sym - 144, 9);
    else if (sym < 280)
        w.code(sym - 256, 7);
    else
        w.code(0xC0 + sym - 280, 8);
}

TEST(InflaterFixedCodes, OverlappingBackReferenceRepeatsBytes) {
    BitWriter w;
    w.bits(1, 1);  // final
    w.bits(1, 2);  // fixed
    fixedSymbol(w, 'a');
    fixedSymbol(w, 'b');
    fixedSymbol(w, 265);  // length 11 + 1 extra bit
    w.bits(1, 1);         // length 12
    w.code(1, 5);         // distance 2
    fixedSymbol(w, 256);
    Bytes out(14, 0);
    const InflateResult r = inflateInto(w.done(), out);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.produced, 14u);
    EXPECT_EQ(std::string(out.begin(), out.end()), "ababababababab");
}

TEST(InflaterFixedCodes, DistanceBeforeTheStartOfOutputFails) {
    BitWriter w;
    w.bits(1, 1);
    w.bits(1, 2);
    fixedSymbol(w, 'a');
    fixedSymbol(w, 257);  // length 3
    w.code(1, 5);         // distance 2, but only 1 byte written
    fixedSymbol(w, 256);
    Bytes out(8);
    EXPECT_EQ(inflateInto(w.done(), out).failure, kBadDistance);
}

TEST(InflaterFixedCodes, SymbolsOutsideTheAlphabetFail) {
    for (unsigned sym : {286u, 287u}) {
        BitWriter w;
        w.bits(1, 1);
        w.bits(1, 2);
        fixedSymbol(w, 'a');
        fixedSymbol(w, sym);
        w.code(0, 5);
        fixedSymbol(w, 256);
        Bytes out(300);
        EXPECT_EQ(inflateInto(w.done(), out).failure, kBadSymbol) << sym;
    }
    for (unsigned dist : {30u, 31u}) {
        BitWriter w;
        w.bits(1, 1);
        w.bits(1, 2);
        fixedSymbol(w, 'a');
        fixedSymbol(w, 257);
        w.code(dist, 5);
        w.bits(0, 13);
        fixedSymbol(w, 256);
        Bytes out(300);
        EXPECT_EQ(inflateInto(w.done(), out).failure, kBadSymbol) << dist;
    }
}

TEST(InflaterBlocks, BlockTypeThreeFails) {
    BitWriter w;
    w.bits(1, 1);
    w.bits(3, 2);
    w.bits(0, 16);
    Bytes out(8);
    EXPECT_EQ(inflateInto(w.done(), out).failure, kBadBlockType);
}

Bytes storedBlock(std::uint16_t len, std::uint16_t nlen, const std::string& payload, bool final) {
    BitWriter w;
    w.bits(final ? 1 : 0, 1);
    w.bits(0, 2);
    w.byte(static_cast<std::uint8_t>(len));
    w.byte(static_cast<std::uint8_t>(len >> 8));
    w.byte(static_cast<std::uint8_t>(nlen));
    w.byte(static_cast<std::uint8_t>(nlen >> 8));
    for (char c : payload)
        w.byte(static_cast<std::uint8_t>(c));
    return w.done();
}

TEST(InflaterBlocks, StoredBlocksCheckTheirLengths) {
    Bytes out(5, 0);
    EXPECT_TRUE(inflateInto(storedBlock(5, 0xFFFA, "hello", true), out).ok());
    EXPECT_EQ(std::string(out.begin(), out.end()), "hello");
    EXPECT_EQ(inflateInto(storedBlock(5, 0xFFFB, "hello", true), out).failure, kBadStoredLength);
    EXPECT_EQ(inflateInto(storedBlock(5, 0xFFFA, "hell", true), out).failure, kEndsEarly);
    Bytes small(4);
    EXPECT_EQ(inflateInto(storedBlock(5, 0xFFFA, "hello", true), small).failure, kOutputFull);
    // A stored block that is not final needs a following block.
    EXPECT_EQ(inflateInto(storedBlock(5, 0xFFFA, "hello", false), out).failure, kEndsEarly);
}

TEST(InflaterBlocks, StoredBlockAfterAFixedBlockStartsOnTheNextByte) {
    BitWriter w;
    w.bits(0, 1);
    w.bits(1, 2);
    fixedSymbol(w, 'x');
    fixedSymbol(w, 256);
    w.bits(1, 1);
    w.bits(0, 2);
    for (std::uint8_t b : Bytes{2, 0, 0xFD, 0xFF, 'y', 'z'})
        w.byte(b);
    Bytes out(3);
    ASSERT_TRUE(inflateInto(w.done(), out).ok());
    EXPECT_EQ(std::string(out.begin(), out.end()), "xyz");
}

TEST(InflaterDynamicCodes, CompleteCodesDecode) {
    Bytes out(1);
    const InflateResult r = inflateInto(dynamicBlock({1, 1}), out);
    ASSERT_TRUE(r.ok()) << explain(r.failure);
    EXPECT_EQ(out[0], 'A');
}

TEST(InflaterDynamicCodes, SingleOrMissingDistanceCodeFails) {
    Bytes out(1);
    EXPECT_EQ(inflateInto(dynamicBlock({1}), out).failure, kBadCodeLengths);
    EXPECT_EQ(inflateInto(dynamicBlock({0}), out).failure, kBadCodeLengths);
    EXPECT_EQ(inflateInto(dynamicBlock({0, 1}), out).failure, kBadCodeLengths);
    // Over-subscribed: three codes of one bit.
    EXPECT_EQ(inflateInto(dynamicBlock({1, 1, 1}), out).failure, kBadCodeLengths);
}

TEST(InflaterDynamicCodes, CodeCountsBeyondTheAlphabetsFail) {
    Bytes out(1);
    // HLIT 30 and 31 (287 and 288 codes); the lengths of the extra symbols are 0.
    EXPECT_EQ(inflateInto(dynamicBlock({1, 1}, 30), out).failure, kBadCodeLengths);
    EXPECT_EQ(inflateInto(dynamicBlock({1, 1}, 31), out).failure, kBadCodeLengths);
    // HDIST 30 and 31 (31 and 32 codes).
    std::vector<std::uint8_t> d31(31, 0), d32(32, 0);
    d31[0] = d31[1] = d32[0] = d32[1] = 1;
    EXPECT_EQ(inflateInto(dynamicBlock(d31), out).failure, kBadCodeLengths);
    EXPECT_EQ(inflateInto(dynamicBlock(d32), out).failure, kBadCodeLengths);
    // HLIT 29 (286 codes) and HDIST 29 (30 codes) are the largest counts allowed.
    std::vector<std::uint8_t> d30(30, 0);
    d30[0] = d30[1] = 1;
    EXPECT_TRUE(inflateInto(dynamicBlock(d30, 29), out).ok());
}

TEST(InflaterDynamicCodes, RepeatWithNothingBeforeItFails) {
    Bytes out(1);
    EXPECT_EQ(inflateInto(dynamicBlock({1, 1}, 0, true), out).failure, kBadCodeLengths);
}

}  // namespace
}  // namespace talvrin
