// The tool's command line where its rules live: the parser, the option values with their
// ranges, the output sizes, and a sweep of random argument lists through the whole tool.
#include "tools/arguments.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "image/codecs/gifico_test_util.h"
#include "support/temp_directory.h"
#include "tools/command.h"
#include "tools/console.h"
#include "tools/size_request.h"
#include "tools/values.h"

namespace {

using namespace talvrin::tool;
namespace fs = std::filesystem;

constexpr KnownOption kKnown[] = {{"--size", true}, {"--invert", false}, {"--help", false}};

TEST(ToolArguments, OptionsAnywhereEitherFormAndDoubleDashEndsThem) {
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> positional;
        std::optional<std::string> size;
        bool invert;
    } cases[] = {
        {{"a", "--size", "4x4", "b"}, {"a", "b"}, "4x4", false},
        {{"--size=4x4", "a", "b", "--invert"}, {"a", "b"}, "4x4", true},
        {{"a", "--size", "1x1", "--size=2x2"}, {"a"}, "2x2", false},  // the last one counts
        {{"--size", "-5"}, {}, "-5", false},                          // a value may start with -
        {{"--size="}, {}, "", false},
        {{"-", "a"}, {"-", "a"}, std::nullopt, false},  // '-' is a file: the standard stream
        {{"a", "--", "--invert", "-h"}, {"a", "--invert", "-h"}, std::nullopt, false},
        {{"-h"}, {}, std::nullopt, false},
    };
    for (const auto& c : cases) {
        const ParsedArguments p = parseArguments(c.args, kKnown);
        EXPECT_EQ(p.positional, c.positional) << c.args[0];
        EXPECT_EQ(p.value("--size"), c.size) << c.args[0];
        EXPECT_EQ(p.has("--invert"), c.invert) << c.args[0];
    }
    EXPECT_TRUE(parseArguments(std::vector<std::string>{"-h"}, kKnown).has("--help"));

    // Each usage error names what was wrong.
    const struct {
        std::vector<std::string> args;
        const char* message;
    } errors[] = {
        {{"a", "--bogus"}, "unknown option '--bogus'"},
        {{"--bogus=1"}, "unknown option '--bogus=1'"},
        {{"-x"}, "unknown option '-x'"},
        {{"a", "--size"}, "--size needs a value"},
        {{"--invert=yes"}, "--invert takes no value (given 'yes')"},
    };
    for (const auto& e : errors) {
        try {
            (void)parseArguments(e.args, kKnown);
            ADD_FAILURE() << "no error for " << e.message;
        } catch (const UsageError& error) {
            EXPECT_STREQ(error.what(), e.message);
        }
    }
}

// The message of the UsageError the call throws, or "(none)".
template <typename F>
std::string messageOf(F&& f) {
    try {
        f();
    } catch (const UsageError& e) {
        return e.what();
    }
    return "(none)";
}

TEST(ToolArguments, ValuesAreCheckedAgainstTheirRangesAndNamed) {
    EXPECT_EQ(wholeIn("--opacity", "100", 0, 100), 100);
    EXPECT_EQ(wholeIn("--opacity", "+7", 0, 100), 7);
    EXPECT_EQ(wholeOneOf("--depth", "24", {1, 4, 8, 16, 24, 32}), 24);
    EXPECT_DOUBLE_EQ(decimalIn("--angle", "22.5", -360, 360), 22.5);
    EXPECT_DOUBLE_EQ(decimalIn("--angle", "-0.5", -360, 360), -0.5);
    EXPECT_EQ(colourOf("--background", "#ff0000"), 0x0000FFu) << "red is the low byte";
    EXPECT_EQ(colourOf("--background", "0080Ff"), 0xFF8000u);
    EXPECT_EQ(sizeIn("--icon", "48X32", 0, 256), std::make_pair(48, 32));
    EXPECT_EQ(pixelBudgetOf("--max-pixels", "unlimited"), 0u);
    EXPECT_EQ(pixelBudgetOf("--max-pixels", "4"), 4u);

    const struct {
        std::function<void()> call;
        const char* message;
    } bad[] = {
        {[] { (void)wholeIn("--opacity", "150", 0, 100); },
         "--opacity: 150 is out of range 0..100"},
        {[] { (void)wholeIn("--opacity", "-10", 0, 100); },
         "--opacity: -10 is out of range 0..100"},
        {[] { (void)wholeIn("--mirror", "99999999999999999999", 0, 3); },
         "--mirror: 99999999999999999999 is out of range 0..3"},
        {[] { (void)wholeIn("--mirror", "1.5", 0, 3); },
         "--mirror wants a whole number in 0..3, not '1.5'"},
        {[] { (void)wholeIn("--mirror", "", 0, 3); },
         "--mirror wants a whole number in 0..3, not ''"},
        {[] {
             (void)wholeOneOf("--depth", "7", {1, 4, 8, 16, 24, 32});
         },
         "--depth: 7 is not one of 1, 4, 8, 16, 24, 32"},
        {[] { (void)decimalIn("--intensity", "500", -100, 100); },
         "--intensity: 500 is out of range -100..100"},
        {[] { (void)decimalIn("--intensity", "1e999", -100, 100); },
         "--intensity: 1e999 is out of range -100..100"},
        {[] { (void)decimalIn("--angle", "nan", -360, 360); },
         "--angle wants a number in -360..360, not 'nan'"},
        {[] { (void)decimalIn("--angle", "12deg", -360, 360); },
         "--angle wants a number in -360..360, not '12deg'"},
        {[] { (void)colourOf("--background", "#ff00"); },
         "--background wants a colour as rrggbb or #rrggbb, not '#ff00'"},
        {[] { (void)colourOf("--background", "gg0000"); },
         "--background wants a colour as rrggbb or #rrggbb, not 'gg0000'"},
        {[] { (void)sizeIn("--icon", "-5x-5", 0, 256); }, "--icon: -5 is out of range 0..256"},
        {[] { (void)sizeIn("--icon", "300x16", 0, 256); }, "--icon: 300 is out of range 0..256"},
        {[] { (void)sizeIn("--icon", "16", 0, 256); },
         "--icon wants WxH (each side in 0..256), not '16'"},
        {[] { (void)pixelBudgetOf("--max-pixels", "0"); },
         "--max-pixels: 0 is out of range 1..9223372036854775807"},
        {[] { (void)pixelBudgetOf("--max-pixels", "12x"); },
         "--max-pixels wants a number of pixels or 'unlimited', not '12x'"},
    };
    for (const auto& b : bad)
        EXPECT_EQ(messageOf(b.call), b.message);
}

TEST(ToolArguments, SizesFitTheBoxKeepingTheAspectRatio) {
    const struct {
        const char* text;
        std::int64_t w, h;  // the image
        std::int64_t outW, outH;
    } cases[] = {
        {"200x200", 1680, 1050, 200, 125},  // 16:10 in a square box: the width decides
        {"200x200", 1050, 1680, 125, 200},
        {"200x100", 100, 100, 100, 100},  // the height decides; enlarged to fit
        {"300x200", 3, 2, 300, 200},      // the same ratio: exactly the box
        {"1x1", 5000, 1, 1, 1},           // never below one pixel
        {"200", 1680, 1050, 200, 125},
        {"x100", 1680, 1050, 160, 100},
        {"x1", 3, 2, 2, 1},      // 1.5 rounds up
        {"50%", 101, 3, 51, 2},  // halves up: 50.5 -> 51, 1.5 -> 2
        {"12.5%", 80, 8, 10, 1},
        {"1%", 10, 10, 1, 1},
        {"400%", 2, 3, 8, 12},
    };
    for (const auto& c : cases) {
        const SizeRequest s = SizeRequest::parse("--size", c.text);
        EXPECT_EQ(s.fit(c.w, c.h), std::make_pair(c.outW, c.outH))
            << c.text << " of " << c.w << "x" << c.h;
    }
    EXPECT_EQ(SizeRequest::parse("--size", "7x9").box(),
              std::make_pair(std::int64_t{7}, std::int64_t{9}));
    EXPECT_FALSE(SizeRequest::parse("--size", "7").box());
    for (const char* bad : {"", "x", "0x5", "5x0", "-5", "5x", "axb", "5y", "0%", "%", "-5%", "5%%",
                            "1e2%", "3000000000x1"})
        EXPECT_NE(messageOf([bad] { (void)SizeRequest::parse("--size", bad); }), "(none)") << bad;
    EXPECT_EQ(messageOf([] { (void)SizeRequest::parse("--size", "2147483648x1"); }),
              "--size: 2147483648 is out of range 1..2147483647");
}

// Random argument lists through the whole tool, in this process: every run ends with status
// 0, 1 or 2, and none crashes (the sanitizers watch the memory). Bounded by processor time.
// ("-" stays out: here it would read the test's own standard input.)
TEST(ToolArguments, RandomArgumentListsEndInAKnownStatus) {
    const fs::path dir = talvrin::testsupport::makeTempDirectory("tool_sweep_");
    ASSERT_FALSE(dir.empty());
    const std::string png = (dir / "a.png").string();
    talvrin::testutil::writeFile(
        png, talvrin::testutil::makePngRgba(
                 2, 2, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 128}));
    fs::create_directory(dir / "out");
    const std::vector<std::string> words = {
        "info",
        "convert",
        "render",
        "--json",
        "--size",
        "--canvas",
        "--resize",
        "--format",
        "--out-dir",
        (dir / "out").string(),
        "--level",
        "--jobs",
        "--icon",
        "--depth",
        "--angle",
        "--opacity",
        "--grayscale",
        "--intensity",
        "--mirror",
        "--mask",
        "--shadow",
        "--background",
        "--scale",
        "--max-pixels",
        "--no-bridge",
        "--no-auto-orient",
        "--",
        "--help",
        "--bogus",
        png,
        png,
        (dir / "x.png").string(),
        (dir / "y.BMP").string(),
        (dir / "missing.gif").string(),
        dir.string(),
        "2x2",
        "3",
        "x4",
        "50%",
        "0",
        "-1",
        "9",
        "22.5",
        "#ff0000",
        "transparent",
        "png",
        "rgba",
        "color:00ff00",
        "top-left",
        "1,000000,50,2,2",
        "unlimited",
        "1",
        "custom:3x3",
        "--opacity=101",
        "--size=1x1",
    };
    std::mt19937 random(20240611);
    std::FILE* sink = std::tmpfile();
    ASSERT_NE(sink, nullptr);
    Console console(sink, sink, false);
    const std::clock_t start = std::clock();
    int runs = 0;
    for (; runs < 400 && std::clock() - start < 20 * CLOCKS_PER_SEC; ++runs) {
        std::vector<std::string> args;
        const int n = 1 + static_cast<int>(random() % 7);
        // Most lists start with a command, so that the commands' own parsers are reached.
        if (random() % 8 != 0) args.push_back(words[random() % 3]);
        for (int i = 0; i < n; ++i)
            args.push_back(words[random() % words.size()]);
        const int status = runTool(args, console);
        std::string line;
        for (const auto& a : args)
            line += a + " ";
        ASSERT_TRUE(status == 0 || status == 1 || status == 2) << line << "-> " << status;
    }
    std::fclose(sink);
    EXPECT_GE(runs, 50);
    fs::remove_all(dir);
}

}  // namespace
