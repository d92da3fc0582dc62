// The whole-file reader over a fake source: what it gives back for a source that reads, fails,
// shrinks, or is too large for the limit or for memory.
#include "base/whole_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "support/load_failure_printer.h"

namespace talvrin {
namespace {

// Hands out `content` in reads of at most 3 bytes, then fails when `failAt` bytes were read.
struct FakeSource {
    std::vector<std::uint8_t> content;
    std::size_t failAt = ~std::size_t{0};
    std::size_t at = 0;
    std::optional<std::size_t> read(void* out, std::size_t count) {
        if (at >= failAt) return std::nullopt;
        const std::size_t n = std::min({count, content.size() - at, std::size_t{3}});
        std::memcpy(out, content.data() + at, n);
        at += n;
        return n;
    }
};

TEST(WholeFile, ReadsWhatTheSourceHoldsOrSaysWhyNot) {
    const std::vector<std::uint8_t> ten = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const std::uint64_t beyondMemory = std::vector<std::uint8_t>().max_size() + std::uint64_t{1};
    const struct {
        const char* name;
        std::size_t failAt;
        std::uint64_t size, limit;
        LoadFailure want;
        std::size_t got;
    } cases[] = {
        {"whole", ~std::size_t{0}, 10, 10, {}, 10},
        {"shrank while read", ~std::size_t{0}, 14, 100, {}, 10},
        {"read error", 6, 10, 10, {DecodeFailure::kUnreadable, "read error"}, 0},
        {"above the limit",
         ~std::size_t{0},
         11,
         10,
         {DecodeFailure::kTooLarge, "file beyond the size a decoder addresses"},
         0},
        {"beyond memory",
         ~std::size_t{0},
         beyondMemory,
         ~std::uint64_t{0},
         {DecodeFailure::kOutOfMemory, "no room for the file's bytes"},
         0},
    };
    for (const auto& c : cases) {
        FakeSource source{ten, c.failAt};
        std::vector<std::uint8_t> out = {42};
        EXPECT_EQ(readWholeFile(source, c.size, out, c.limit), c.want) << c.name;
        EXPECT_EQ(out.size(), c.got) << c.name;
        EXPECT_TRUE(std::equal(out.begin(), out.end(), ten.begin())) << c.name;
    }
}

}  // namespace
}  // namespace talvrin
