// The narrow text decoder on its own: characters cut at every chunk boundary arrive whole, the
// platform's conversion agrees with the built-in UTF-8 decoder, ill-formed bytes become U+FFFD,
// and the conversion back to the narrow encoding.
#include "platform/os/narrow_text_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace talvrin::platform {
namespace {

const std::string kReplacement = "\xef\xbf\xbd";  // U+FFFD in UTF-8

// True when s is well-formed UTF-8.
bool isValidUtf8(const std::string& s) {
    NarrowTextDecoder decoder("C.UTF-8");
    std::string out;
    decoder.decode(s, out);
    decoder.finish(out);
    return out == s;
}

const std::string kMixed =
    "a\xc3\xa9z \xe2\x82\xac! \xf0\x9f\x98\x80.";  // 1, 2, 3, 4-byte characters

TEST(NarrowTextDecoderSplits, EverySplitPositionGivesWholeCharacters) {
    for (std::size_t cut = 0; cut <= kMixed.size(); ++cut) {
        NarrowTextDecoder decoder("C.UTF-8");
        ASSERT_TRUE(decoder.usesBuiltInUtf8());
        std::string a;
        std::string b;
        decoder.decode(kMixed.substr(0, cut), a);
        decoder.decode(kMixed.substr(cut), b);
        decoder.finish(b);
        EXPECT_EQ(a + b, kMixed) << "cut " << cut;
        EXPECT_TRUE(isValidUtf8(a)) << "cut " << cut;
        EXPECT_TRUE(isValidUtf8(b)) << "cut " << cut;
    }
}

TEST(NarrowTextDecoderSplits, RandomChunkingMatchesWholeDecode) {
    std::mt19937 rng(20261207);
    for (int round = 0; round < 200; ++round) {
        std::string bytes(1 + rng() % 300, '\0');
        for (char& c : bytes) {
            // Mostly well-formed text with some stray bytes.
            const unsigned pick = rng() % 10;
            c = static_cast<char>(pick < 7 ? kMixed[rng() % kMixed.size()] : rng() & 0xFF);
        }
        NarrowTextDecoder whole("C.UTF-8");
        std::string expected;
        whole.decode(bytes, expected);
        whole.finish(expected);

        NarrowTextDecoder chunked("C.UTF-8");
        std::string got;
        for (std::size_t pos = 0; pos < bytes.size();) {
            const std::size_t len = std::min<std::size_t>(1 + rng() % 7, bytes.size() - pos);
            std::string piece;
            chunked.decode(bytes.data() + pos, len, piece);
            EXPECT_TRUE(isValidUtf8(piece));
            got += piece;
            pos += len;
        }
        chunked.finish(got);
        ASSERT_EQ(got, expected) << "round " << round;
    }
}

TEST(NarrowTextDecoderSplits, EarlierChunkNeverLeaksIntoALaterOne) {
    NarrowTextDecoder decoder("C.UTF-8");
    std::string first;
    decoder.decode(std::string(256, 'x'), first);
    std::string second;
    decoder.decode("ab", second);
    EXPECT_EQ(second, "ab");

    // A kept lead byte that the next chunk does not continue: one replacement, then the chunk.
    std::string kept;
    decoder.decode("q\xe2", kept);
    EXPECT_EQ(kept, "q");
    EXPECT_TRUE(decoder.hasCarriedBytes());
    std::string next;
    decoder.decode("A", next);
    EXPECT_EQ(next, kReplacement + "A");
    EXPECT_FALSE(decoder.hasCarriedBytes());
}

TEST(NarrowTextDecoderLibraryEngine, CarriesSplitCharactersInItsState) {
    for (std::size_t cut = 0; cut <= kMixed.size(); ++cut) {
        NarrowTextDecoder decoder("C.UTF-8", NarrowTextDecoder::Engine::Library);
        ASSERT_FALSE(decoder.usesBuiltInUtf8());
        std::string a;
        std::string b;
        decoder.decode(kMixed.substr(0, cut), a);
        decoder.decode(kMixed.substr(cut), b);
        decoder.finish(b);
        EXPECT_EQ(a + b, kMixed) << "cut " << cut;
        EXPECT_TRUE(isValidUtf8(a)) << "cut " << cut;
    }
    // A kept lead byte that the next chunk does not continue: the chunk's own byte survives.
    NarrowTextDecoder decoder("C.UTF-8", NarrowTextDecoder::Engine::Library);
    std::string kept;
    decoder.decode("q\xe2", kept);
    EXPECT_EQ(kept, "q");
    EXPECT_TRUE(decoder.hasCarriedBytes());
    std::string next;
    decoder.decode("A", next);
    EXPECT_EQ(next, kReplacement + "A");
}

TEST(NarrowTextDecoderLibraryEngine, AgreesWithBuiltInDecoderOnWellFormedText) {
    // The edges of every encoded length: U+0024, U+007F, U+0080, U+07FF, U+0800, U+D7FF, U+E000,
    // U+FFFD, U+FFFF, U+10000, U+1F600, U+10FFFF.
    const char* const samples[] = {"$",
                                   "\x7f",
                                   "\xc2\x80",
                                   "\xdf\xbf",
                                   "\xe0\xa0\x80",
                                   "\xed\x9f\xbf",
                                   "\xee\x80\x80",
                                   "\xef\xbf\xbd",
                                   "\xef\xbf\xbf",
                                   "\xf0\x90\x80\x80",
                                   "\xf0\x9f\x98\x80",
                                   "\xf4\x8f\xbf\xbf"};
    std::mt19937 rng(7);
    for (int round = 0; round < 100; ++round) {
        std::string text;
        for (int i = 0; i < 64; ++i)
            text += samples[rng() % std::size(samples)];
        const std::size_t cut = rng() % (text.size() + 1);
        for (auto engine :
             {NarrowTextDecoder::Engine::Automatic, NarrowTextDecoder::Engine::Library}) {
            NarrowTextDecoder decoder("C.UTF-8", engine);
            std::string out;
            decoder.decode(text.substr(0, cut), out);
            decoder.decode(text.substr(cut), out);
            decoder.finish(out);
            ASSERT_EQ(out, text) << "round " << round;
        }
    }
}

TEST(NarrowTextDecoderInvalid, IllFormedSequencesBecomeReplacements) {
    struct Case {
        std::string in;
        std::string out;
    };
    const std::string r = kReplacement;
    for (const Case& c : {Case{"\xff", r}, Case{"\xc0\xaf", r + r},  // overlong lead
                          Case{"\xe0\x80\x80", r + r + r},           // overlong
                          Case{"\xed\xa0\x80", r + r + r},           // surrogate
                          Case{"\xf4\x90\x80\x80", r + r + r + r},   // above U+10FFFF
                          Case{"\xe2\x82"
                               "A",
                               r + "A"},               // cut short
                          Case{"\xf0\x9f\x98", r},     // cut by the end
                          Case{"\x80\xbf", r + r}}) {  // stray continuations
        NarrowTextDecoder decoder("C.UTF-8");
        std::string out;
        decoder.decode(c.in, out);
        decoder.finish(out);
        EXPECT_EQ(out, c.out) << "input size " << c.in.size();
    }
}

TEST(NarrowTextDecoderEncodings, AsciiLocaleDecodesThroughTheLibrary) {
    NarrowTextDecoder decoder("C");
    EXPECT_FALSE(decoder.usesBuiltInUtf8());
    std::string out;
    decoder.decode(std::string("abc\x80z\0y", 7), out);
    EXPECT_EQ(out, std::string("abc") + kReplacement + std::string("z\0y", 3));
    EXPECT_EQ(decoder.toNarrow("caf\xc3\xa9 \xe2\x82\xac"), "caf? ?");
}

TEST(NarrowTextDecoderEncodings, ToNarrowInUtf8KeepsTextAndRepairsInvalidBytes) {
    NarrowTextDecoder decoder("C.UTF-8");
    EXPECT_EQ(decoder.toNarrow(kMixed), kMixed);
    EXPECT_EQ(decoder.toNarrow("a\xffz\xe2\x82"), "a" + kReplacement + "z" + kReplacement);
}

TEST(NarrowTextDecoderEncodings, UnknownLocaleFallsBackToPortableOne) {
    NarrowTextDecoder decoder("xx_NOT.A-LOCALE");
    std::string out;
    decoder.decode("ok", out);
    EXPECT_EQ(out, "ok");
}

}  // namespace
}  // namespace talvrin::platform
