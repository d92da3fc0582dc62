// Batches: the plan that refuses outputs which would write over an input or that two inputs
// share (found by a hostile-input campaign: a batch replaced its own inputs, and a file that
// failed to load took the name of one that loaded), and the gate that bounds the pixels the
// jobs running at once hold.
#include "tools/batch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <random>
#include <thread>

#include "image/codecs/gifico_test_util.h"
#include "support/temp_directory.h"
#include "tools/arguments.h"
#include "tools/pixel_gate.h"

namespace {

using namespace talvrin::tool;
namespace fs = std::filesystem;

TEST(BatchPlan, OutputsThatAreInputsOrSharedAreRefused) {
    const fs::path dir = talvrin::testsupport::makeTempDirectory("batch_plan_test_");
    ASSERT_FALSE(dir.empty());
    for (const char* f : {"x/a.gif", "D/a.png", "D/b.png", "c.png", "d.bmp", "o1/keep"}) {
        fs::create_directories((dir / f).parent_path());
        talvrin::testutil::writeFile(dir / f, {1});
    }
    const auto at = [&dir](const char* f) { return (dir / f).string(); };
    const struct {
        std::vector<std::string> args;
        // For each input, the start of its refusal after "'IN': not written: ", or "" when it
        // is written.
        std::vector<std::string> refused;
    } cases[] = {
        // The GIF's output is the PNG input, and the PNG's output is itself.
        {{at("x/a.gif"), at("D/a.png"), "--out-dir", at("D"), "--format", "png"},
         {"its output '" + at("D/a.png") + "' is the input '" + at("D/a.png") + "'",
          "its output '" + at("D/a.png") + "' is this input itself"}},
        // A resize into the input's own folder.
        {{at("D/a.png"), at("D/b.png"), "--out-dir", at("D"), "--format", "png"},
         {"its output '" + at("D/a.png") + "' is this input itself",
          "its output '" + at("D/b.png") + "' is this input itself"}},
        // Two inputs of one name: neither is written, whichever would have loaded.
        {{at("c.png"), at("d.bmp"), at("x/a.gif"), at("D/a.png"), "--out-dir", at("o1"), "--format",
          "png"},
         {"", "", "its output '" + at("o1") + "/a.png' is also the output of '" + at("D/a.png"),
          "its output '" + at("o1") + "/a.png' is also the output of '" + at("x/a.gif")}},
        // One IN OUT that names the same file replaces it whole.
        {{at("c.png"), at("c.png")}, {""}},
        // A folder that is missing is made.
        {{at("c.png"), "--out-dir", at("new"), "--format", "bmp"}, {""}},
    };
    const KnownOption known[] = {{"--out-dir", true}, {"--format", true}};
    for (const auto& c : cases) {
        const OutputPlan plan =
            planOutputs(parseArguments(c.args, known), true, OutputFormat::kPng);
        ASSERT_EQ(plan.refused.size(), c.refused.size()) << c.args[0];
        for (std::size_t i = 0; i < c.refused.size(); ++i) {
            if (c.refused[i].empty()) {
                EXPECT_FALSE(plan.refused[i]) << plan.inputs[i] << ": " << *plan.refused[i];
                continue;
            }
            const std::string expected = "'" + plan.inputs[i] + "': not written: " + c.refused[i];
            EXPECT_EQ(plan.refused[i].value_or("").substr(0, expected.size()), expected);
        }
    }
    EXPECT_TRUE(fs::is_directory(dir / "new"));
    // A folder in a missing folder is not made: nothing is written.
    EXPECT_THROW(
        planOutputs(parseArguments(std::vector<std::string>{at("c.png"), "--out-dir", at("no/such"),
                                                            "--format", "png"},
                                   known),
                    true, OutputFormat::kPng),
        PlanError);
    fs::remove_all(dir);
}

TEST(PixelGate, JobsHoldNoMoreThanTheGateAtOnceAndALargeOneRunsAlone) {
    PixelGate gate(100);
    // Admission: what fits beside the held pixels, or anything into an empty gate.
    {
        auto a = gate.tryAcquire(60);
        auto b = gate.tryAcquire(40);
        EXPECT_TRUE(a.active() && b.active());
        EXPECT_FALSE(gate.tryAcquire(1).active());
        b.release();
        EXPECT_FALSE(gate.tryAcquire(41).active());
        EXPECT_TRUE(gate.tryAcquire(40).active());
        a.release();
        EXPECT_EQ(gate.held(), 0u);
        auto huge = gate.tryAcquire(500);
        EXPECT_TRUE(huge.active()) << "a job larger than the gate runs alone";
        EXPECT_FALSE(gate.tryAcquire(1).active());
    }
    EXPECT_EQ(gate.held(), 0u);
    // Threads acquiring at random never hold more together than the gate, but for one alone.
    std::mutex m;
    std::uint64_t most = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&, t] {
            std::mt19937 random(static_cast<unsigned>(t));
            for (int i = 0; i < 300; ++i) {
                const std::uint64_t want = random() % 8 == 0 ? 150 : 1 + random() % 60;
                auto hold = gate.acquire(want);
                const std::uint64_t now = gate.held();
                std::lock_guard lock(m);
                if (want <= 100) most = std::max(most, now);
                if (want > 100) {
                    EXPECT_EQ(now, want) << "alone";
                }
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_LE(most, 100u);
    EXPECT_EQ(gate.held(), 0u);
}

}  // namespace
