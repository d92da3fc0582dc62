// The window's listener over the real runner and the test child, with a clock the test moves:
// every chunk and idle wait pumps, and after a close request the output is read until it ends
// or until the grace period is over, whichever comes first.
#include "app/window_run_listener.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "support/child_release.h"

namespace talvrin {
namespace {

using namespace std::chrono_literals;

std::string child(const std::string& args) {
    return std::string("\"") + TALVRIN_RUNNER_CHILD + "\" " + args;
}

TEST(WindowRunListener, PumpsOnEveryChunkAndIdleWaitAndStopsReadingAfterTheGrace) {
    struct Case {
        const char* name;
        bool close;                                // a close request at the first pump
        std::chrono::steady_clock::duration step;  // how far the clock moves at each reading
        const char* output;                        // what the run returns
    };
    const Case cases[] = {
        {"no close: the whole output", false, 1s, "AB"},
        {"closed, the output ends within the grace", true, 0s, "AB"},
        {"closed, the grace ends first", true, 1s, "A"},
    };
    for (const Case& c : cases) {
        const bool whole = c.output == std::string("AB");
        testsupport::ChildRelease release;  // kept until the end when the grace is to end first
        std::chrono::steady_clock::time_point now{};
        int pumps = 0;
        WindowRunListener* self = nullptr;
        WindowRunListener listener(
            [&] {
                if (++pumps == 1 && c.close) self->closeRequested();
                if (pumps == 3 && whole) release.release();  // the silence has been pumped
            },
            [&] { return now += c.step; });
        self = &listener;
        DOSOutputs dos;
        listener.listenTo(dos);
        // The child writes "A", says nothing until it is released, then writes "B".
        EXPECT_EQ(dos.ExecuteCommand(child("out A " + release.waitArgs() + " out B")), c.output)
            << c.name;
        EXPECT_EQ(listener.isCloseRequested(), c.close) << c.name;
        // The chunk "A" and at least one idle wait, and for a whole run "B" and the empty end.
        EXPECT_GE(pumps, whole ? 4 : 2) << c.name;
        // With the grace over at the tenth reading of the clock, the stop came while the child
        // was still waiting for its release.
        if (!whole) {
            EXPECT_LE(pumps, 12) << c.name;
        }
    }
}

}  // namespace
}  // namespace talvrin
