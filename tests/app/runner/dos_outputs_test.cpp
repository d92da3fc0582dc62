#include "app/runner/dos_outputs.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/os/narrow_text_decoder.h"
#include "support/child_release.h"
#include "support/process_cpu.h"
#include "support/temp_directory.h"

namespace talvrin {
namespace {

const std::string kReplacement = "\xef\xbf\xbd";  // U+FFFD in UTF-8

// True when s is well-formed UTF-8.
bool isValidUtf8(const std::string& s) {
    platform::NarrowTextDecoder decoder("C.UTF-8");
    std::string out;
    decoder.decode(s, out);
    decoder.finish(out);
    return out == s;
}

// A command line that runs the test child (runner_child.cpp) with the given arguments.
std::string child(const std::string& args) {
    return std::string("\"") + TALVRIN_RUNNER_CHILD + "\" " + args;
}

// Runs every test under a UTF-8 character type on POSIX, as the desktop does, and restores the
// caller's. Windows decodes the system code page whatever the C runtime's locale is.
class RunnerTest : public ::testing::Test {
  protected:
    void SetUp() override {
#ifndef _WIN32
        const char* current = std::setlocale(LC_CTYPE, nullptr);
        saved_ = current ? current : "C";
        if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
#endif
    }
    void TearDown() override {
#ifndef _WIN32
        std::setlocale(LC_CTYPE, saved_.c_str());
#endif
    }

    // True when the narrow encoding is UTF-8, so that one character can span two reads.
    static bool narrowIsUtf8() {
#ifdef _WIN32
        return GetACP() == CP_UTF8;
#else
        return true;
#endif
    }

    // Records every event of the runner.
    void record(DOSOutputs& dos) {
        dos.setReceiveOutputsHandler(
            [this](const std::string& chunk) { events_.push_back(chunk); });
    }
    [[nodiscard]] std::string joined() const {
        std::string all;
        for (const auto& e : events_)
            all += e;
        return all;
    }
    [[nodiscard]] int emptyEvents() const {
        int n = 0;
        for (const auto& e : events_)
            n += e.empty() ? 1 : 0;
        return n;
    }

    std::vector<std::string> events_;
    std::string saved_;
};

// ---- Chunks and the end of the output -----------------------------------------------------------

TEST_F(RunnerTest, BurstIsCutInto256ByteChunksThenOneEmptyChunk) {
    DOSOutputs dos;
    record(dos);
    const std::string text = dos.ExecuteCommand(child("fill 600 30"));
    const std::string expected(600, '0');
    EXPECT_EQ(text, expected);
    EXPECT_EQ(dos.Outputs(), expected);
    EXPECT_EQ(joined(), expected);
    // One write of 600 bytes reaches the pipe whole, so the reads see it whole.
    ASSERT_EQ(events_.size(), 4u);
    EXPECT_EQ(events_[0].size(), 256u);
    EXPECT_EQ(events_[1].size(), 256u);
    EXPECT_EQ(events_[2].size(), 88u);
    EXPECT_TRUE(events_[3].empty());
}

TEST_F(RunnerTest, LargeOutputKeepsEveryByteAndChunkLimit) {
    DOSOutputs dos;
    record(dos);
    const std::string text = dos.ExecuteCommand(child("fill 100000 00"));
    EXPECT_EQ(text, std::string(100000, '\0'));
    ASSERT_FALSE(events_.empty());
    for (std::size_t i = 0; i + 1 < events_.size(); ++i) {
        EXPECT_FALSE(events_[i].empty()) << "chunk " << i;
        EXPECT_LE(events_[i].size(), 256u) << "chunk " << i;
    }
    EXPECT_TRUE(events_.back().empty());
    EXPECT_EQ(emptyEvents(), 1);
}

// The kept text stops at the limit, before a character that would cross it, while the events
// carry every byte.
TEST_F(RunnerTest, KeptOutputStopsAtItsLimitEventsCarryEverything) {
    constexpr std::size_t kLimit = 1000;
    struct Case {
        std::size_t fill;     // bytes of 'A'
        const char* escapes;  // then this, in the child's escapes
        std::string tail;     // which is this text
        std::size_t kept;
    };
    for (const Case& c : std::vector<Case>{
             {kLimit + 100000, "", "", kLimit},
             {kLimit - 2, "\\xc3\\xa9", "\xc3\xa9", kLimit},      // ends exactly at the limit
             {kLimit - 1, "\\xc3\\xa9", "\xc3\xa9", kLimit - 1},  // would cross it
             {kLimit - 1, "ab", "ab", kLimit}}) {
        if (c.tail.size() > 0 && c.tail[0] == '\xc3' && !narrowIsUtf8()) continue;
        DOSOutputs dos(kLimit);
        std::size_t carried = 0;
        dos.setReceiveOutputsHandler(
            [&carried](const std::string& chunk) { carried += chunk.size(); });
        std::string line = child("fill " + std::to_string(c.fill) + " 41");
        if (!c.tail.empty()) line += std::string(" out ") + c.escapes;
        const std::string text = dos.ExecuteCommand(line);
        EXPECT_EQ(carried, c.fill + c.tail.size()) << c.fill;
        EXPECT_EQ(text.size(), c.kept) << c.fill;
        EXPECT_TRUE(text == (std::string(c.fill, 'A') + c.tail).substr(0, c.kept)) << c.fill;
        EXPECT_EQ(dos.Outputs(), text);
    }
}

TEST_F(RunnerTest, StandardErrorInterleavesInPipeOrder) {
    DOSOutputs dos;
    record(dos);
    const std::string text =
        dos.ExecuteCommand(child("out out1\\n err err1\\n out out2\\n err err2\\n"));
    EXPECT_EQ(text, "out1\nerr1\nout2\nerr2\n");
    EXPECT_EQ(joined(), text);
}

TEST_F(RunnerTest, SilentCommandGivesExactlyOneEmptyEvent) {
    DOSOutputs dos;
    EXPECT_EQ(dos.ExecuteCommand(child("out before")), "before");
    record(dos);
    EXPECT_EQ(dos.ExecuteCommand(child("")), "");
    EXPECT_EQ(dos.Outputs(), "");
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_TRUE(events_[0].empty());
}

TEST_F(RunnerTest, ChildHasNoInput) {
    DOSOutputs dos;
    EXPECT_EQ(dos.ExecuteCommand(child("stdin")), "no input");
}

// After the output ends, the runner waits for the exit code only when asked to, and only as long
// as it was asked to: a child that closed its output and runs on has none yet.
TEST_F(RunnerTest, ExitCodeIsKeptOnlyWhenTheRunWaitsForIt) {
    struct Case {
        std::string args;
        std::chrono::milliseconds wait;
        std::optional<int> code;
    };
    testsupport::ChildRelease release;  // the last case's child runs on until the test ends
    const Case cases[] = {
        {"out x exit 0", std::chrono::seconds(10), 0},
        {"out x exit 3", std::chrono::seconds(10), 3},
        {"exit 201", std::chrono::seconds(10), 201},
        {"out x exit 3", std::chrono::milliseconds(0), std::nullopt},  // the window's runs
        {"close " + release.waitArgs(), std::chrono::milliseconds(10), std::nullopt},
    };
    DOSOutputs dos;
    for (const Case& c : cases) {
        dos.setExitWait(c.wait);
        dos.ExecuteCommand(child(c.args));
        EXPECT_EQ(dos.ExitCode(), c.code) << c.args;
    }
    // A run that starts nothing has no exit code, not the last one's.
    dos.setExitWait(std::chrono::seconds(10));
    dos.ExecuteCommand(child("exit 5"));
    EXPECT_EQ(dos.ExitCode(), 5);
    dos.ExecuteCommand("talvrin-no-such-program");
    EXPECT_EQ(dos.ExitCode(), std::nullopt);
}

// ---- Failures before a process starts ---------------------------------------------------------

TEST_F(RunnerTest, MissingProgramReturnsEmptyRaisesNothingKeepsOutputsAndSaysWhy) {
    DOSOutputs dos;
    EXPECT_EQ(dos.ExecuteCommand(child("out kept")), "kept");
    EXPECT_EQ(dos.startFailure(), "");
    record(dos);
    struct Case {
        std::string line;
        std::string why;
    };
    std::vector<Case> cases = {
        {"talvrin-no-such-program --flag", "not found"},
        {"/no/such/dir/prog", "not found"},
#ifdef _WIN32
        // A file that exists but is no program.
        {"\"" + std::string(TALVRIN_SOURCE_DIR) + "/README.md\"", "not an executable"},
#else
        {"\"\"", "not found"},
        {"   ", "no program named"},
        // A file that exists but may not be run.
        {"\"" + std::string(TALVRIN_SOURCE_DIR) + "/README.md\"", "permission denied"},
        {"printf 'open quote", "a quote is left open"},  // no argument vector
#endif
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dos.ExecuteCommand(c.line), "") << c.line;
        EXPECT_EQ(dos.Outputs(), "kept") << c.line;
        EXPECT_EQ(dos.startFailure(), c.why) << c.line;
    }
    EXPECT_TRUE(events_.empty());
    EXPECT_EQ(dos.ExecuteCommand(child("out again")), "again");
    EXPECT_EQ(dos.startFailure(), "");
}

TEST_F(RunnerTest, EmptyLineWithNothingStoredDoesNothing) {
    DOSOutputs dos;
    record(dos);
    EXPECT_EQ(dos.ExecuteCommand(), "");
    EXPECT_EQ(dos.CommandLine(), "");
    EXPECT_EQ(dos.Outputs(), "");
    EXPECT_EQ(dos.startFailure(), "empty command line");
    EXPECT_TRUE(events_.empty());
}

// ---- The stored command line ------------------------------------------------------------------

TEST_F(RunnerTest, ArgumentOverwritesCommandLineAndEmptyArgumentReusesIt) {
    DOSOutputs dos;
    EXPECT_EQ(dos.ExecuteCommand(child("out one")), "one");
    EXPECT_EQ(dos.CommandLine(), child("out one"));
    EXPECT_EQ(dos.ExecuteCommand(), "one");
    EXPECT_EQ(dos.ExecuteCommand(""), "one");
    dos.setCommandLine(child("out two"));
    EXPECT_EQ(dos.CommandLine(), child("out two"));
    EXPECT_EQ(dos.ExecuteCommand(), "two");
    EXPECT_EQ(dos.ExecuteCommand(child("out three")), "three");
    EXPECT_EQ(dos.CommandLine(), child("out three"));
}

TEST_F(RunnerTest, QuotedProgramPathWithSpacesRunsWithItsArguments) {
    namespace fs = std::filesystem;
    const fs::path base = testsupport::makeTempDirectory("talvrin runner ");
    ASSERT_FALSE(base.empty());
    const fs::path source = TALVRIN_RUNNER_CHILD;
    const fs::path dir = base / "sub dir";
    fs::create_directories(dir);
    const fs::path copy = dir / ("the child" + source.extension().string());
    fs::copy_file(source, copy);
    DOSOutputs dos;
    EXPECT_EQ(dos.ExecuteCommand("\"" + copy.string() + "\" args \"one two\" x"), "one two|x|");
    fs::remove_all(base);
}

// ---- Decoding the output ----------------------------------------------------------------------

TEST_F(RunnerTest, CharacterSplitAtChunkBoundaryArrivesWhole) {
    if (!narrowIsUtf8()) GTEST_SKIP() << "the narrow encoding (the system code page) is not UTF-8";
    struct Case {
        const char* escaped;  // a character of 2, 3 or 4 bytes, as the child's escapes
        const char* encoded;  // the same character
        std::size_t lead;     // the digits written before it
    };
    for (const Case& c :
         {Case{"\\xc3\\xa9", "\xc3\xa9", 255}, Case{"\\xe2\\x82\\xac", "\xe2\x82\xac", 255},
          Case{"\\xe2\\x82\\xac", "\xe2\x82\xac", 254},
          Case{"\\xf0\\x9f\\x98\\x80", "\xf0\x9f\x98\x80", 253}}) {
        events_.clear();
        DOSOutputs dos;
        record(dos);
        // One write, so the first read ends inside the character.
        const std::string args = "out " + std::string(c.lead, '0') + c.escaped + "tail";
        const std::string expected = std::string(c.lead, '0') + c.encoded + "tail";
        EXPECT_EQ(dos.ExecuteCommand(child(args)), expected) << c.escaped;
        ASSERT_EQ(events_.size(), 3u) << c.escaped;
        EXPECT_EQ(events_[0], std::string(c.lead, '0'));
        EXPECT_EQ(events_[1], std::string(c.encoded) + "tail");
        for (const auto& e : events_)
            EXPECT_TRUE(isValidUtf8(e)) << c.escaped;
    }
}

TEST_F(RunnerTest, InvalidBytesAndCutOffEndBecomeReplacementCharacters) {
    if (!narrowIsUtf8()) GTEST_SKIP() << "the narrow encoding (the system code page) is not UTF-8";
    DOSOutputs dos;
    record(dos);
    EXPECT_EQ(dos.ExecuteCommand(child("out a\\xffb\\xe2\\x82")),
              "a" + kReplacement + "b" + kReplacement);
    EXPECT_EQ(emptyEvents(), 1);
    EXPECT_TRUE(events_.back().empty());
}

// ---- The handler ------------------------------------------------------------------------------

TEST_F(RunnerTest, NestedRunFromHandlerDoesNothing) {
    DOSOutputs dos;
    std::vector<std::string> nestedResults;
    int eventsSeen = 0;
    bool runningInside = false;
    dos.setReceiveOutputsHandler([&](const std::string&) {
        ++eventsSeen;
        runningInside = dos.isRunning();
        nestedResults.push_back(dos.ExecuteCommand(child("out nested")));
    });
    EXPECT_FALSE(dos.isRunning());
    EXPECT_EQ(dos.ExecuteCommand(child("out outer")), "outer");
    EXPECT_TRUE(runningInside);
    EXPECT_FALSE(dos.isRunning());
    EXPECT_EQ(eventsSeen, 2);
    EXPECT_EQ(nestedResults, (std::vector<std::string>{"", ""}));
    EXPECT_EQ(dos.CommandLine(), child("out outer"));
    EXPECT_EQ(dos.Outputs(), "outer");
}

TEST_F(RunnerTest, HandlerReplacedOrThrowingInsideARunIsSafe) {
    DOSOutputs dos;
    std::vector<std::string> first;
    std::vector<std::string> second;
    dos.setReceiveOutputsHandler([&](const std::string& chunk) {
        first.push_back(chunk);
        // Destroys the running handler's stored copy; the next chunk goes to the new one.
        dos.setReceiveOutputsHandler([&](const std::string& c) { second.push_back(c); });
    });
    EXPECT_EQ(dos.ExecuteCommand(child("fill 600 30")), std::string(600, '0'));
    EXPECT_EQ(first.size(), 1u);
    EXPECT_EQ(second.size(), 3u);

    int calls = 0;
    dos.setReceiveOutputsHandler([&](const std::string&) {
        ++calls;
        throw std::runtime_error("listener failed");
    });
    EXPECT_EQ(dos.ExecuteCommand(child("fill 600 30")), std::string(600, '0'));
    EXPECT_EQ(calls, 4);

    dos.setReceiveOutputsHandler({});
    EXPECT_EQ(dos.ExecuteCommand(child("out quiet")), "quiet");
}

// ---- A silent command -------------------------------------------------------------------------

// While the child says nothing the idle hook is called, between the chunks, without an event of
// its own; and the wait sleeps instead of spinning. The child stays silent until the test has
// seen kIdleCalls idle calls after "A".
TEST_F(RunnerTest, SilenceCallsTheIdleHookBetweenUnchangedEvents) {
    constexpr int kIdleCalls = 10;
    DOSOutputs dos;
    testsupport::ChildRelease release;
    std::vector<std::string> log;  // "I" for an idle call, the chunk for an event
    bool sawA = false;
    int idleAfterA = 0;
    double cpuAtFirstIdle = 0, cpuUsed = 0;
    dos.setReceiveOutputsHandler([&](const std::string& chunk) {
        log.push_back(chunk);
        sawA = sawA || chunk == "A";
    });
    dos.setIdleHandler([&] {
        log.emplace_back("I");
        if (!sawA || release.released()) return;
        if (++idleAfterA == 1) cpuAtFirstIdle = testsupport::processCpuSeconds();
        if (idleAfterA == 1 + kIdleCalls) {
            cpuUsed = testsupport::processCpuSeconds() - cpuAtFirstIdle;
            release.release();
        }
    });
    EXPECT_EQ(dos.ExecuteCommand(child("out A " + release.waitArgs() + " out B")), "AB");

    std::vector<std::string> events;
    for (const auto& entry : log)
        if (entry != "I") events.push_back(entry);
    EXPECT_EQ(events, (std::vector<std::string>{"A", "B", ""}));
    const auto a = std::find(log.begin(), log.end(), "A");
    const auto b = std::find(log.begin(), log.end(), "B");
    ASSERT_TRUE(a != log.end() && b != log.end());
    EXPECT_GE(std::count(a, b, "I"), 1 + kIdleCalls) << "the child went on unreleased";
    // Each idle call stands for an interval of silence; a wait that ended at once would make
    // many calls within one of the child's naps.
    EXPECT_GT(release.looks(), static_cast<unsigned long>(kIdleCalls)) << "the waits ended early";
    // A wait that spun would use each idle interval in processor time, as far as the machine
    // lets it run; a sleeping wait uses a small share of one. Half the intervals leaves room for
    // a slow build (the sanitizers) and still fails a spin that gets half a processor.
    const double intervals =
        kIdleCalls * std::chrono::duration<double>(DOSOutputs::kIdleInterval).count();
    EXPECT_LT(cpuUsed, intervals / 2);
}

// A handler (the idle hook, or ReceiveOutputs) stops the reading: the run returns what it has,
// without the closing empty event, and the child is left running. Outside a run it does nothing.
TEST_F(RunnerTest, StopReadingEndsTheRunAndLeavesTheChildRunning) {
    for (const bool fromIdle : {true, false}) {
        testsupport::ChildRelease release;  // never during the run: "B" must not come
        DOSOutputs dos;
        std::vector<std::string> events;
        dos.setReceiveOutputsHandler([&](const std::string& chunk) {
            events.push_back(chunk);
            if (!fromIdle) dos.stopReading();
        });
        dos.setIdleHandler([&] {
            if (fromIdle && !events.empty()) dos.stopReading();
        });
        const std::string text = dos.ExecuteCommand(child("pid " + release.waitArgs() + " out B"));
        EXPECT_FALSE(dos.isRunning());
        ASSERT_EQ(events.size(), 1u) << fromIdle;
        EXPECT_EQ(text, events[0]);
        EXPECT_EQ(dos.Outputs(), text);
        EXPECT_EQ(text.find('B'), std::string::npos) << "read past the stop";
#ifndef _WIN32
        const pid_t pid = std::atoi(text.c_str());
        ASSERT_GT(pid, 0);
        EXPECT_EQ(kill(pid, 0), 0) << "the child must not be stopped";
        kill(pid, SIGKILL);  // the test's own cleanup; the runner reaps it later
#endif
    }
    DOSOutputs dos;
    record(dos);
    dos.stopReading();
    EXPECT_EQ(dos.ExecuteCommand(child("out C")), "C");
    EXPECT_EQ(events_, (std::vector<std::string>{"C", ""}));
}

// The runner's tests of what only a POSIX child has, each with the reason Windows has none: the
// POSIX build defines each of them below (and does not compile if one is missing), the Windows
// build lists each as skipped with its reason.
#define TALVRIN_POSIX_ONLY_RUNNER_TESTS(X)                                                \
    X(ReadsInterruptedBySignalsAreRetried, "no signals interrupt ReadFile")               \
    X(StandardInputIsNullAndBothOutputsShareOnePipe,                                      \
      "reads /proc/self/fd; ChildHasNoInput covers the input here")                       \
    X(CommandLineBecomesWhatTheNarrowEncodingKept,                                        \
      "switches the C locale; SystemCodePageCarriesTheLineAndTheOutput covers it")        \
    X(QuotesGroupAndBackslashesAndDollarsStayLiteral,                                     \
      "the shell's word rules; Windows hands the line over whole")                        \
    X(ScriptInFolderWithSpacesRunsByPathAndFromPath, "runs a shell script found on PATH") \
    X(ReadHoldingOnlyPartOfACharacterRaisesNoEmptyEvent,                                  \
      "needs a UTF-8 narrow encoding, which the system code page seldom is")              \
    X(FinishedChildIsReaped, "a Windows child is not reaped: its handles are closed")     \
    X(ChildOutlivingItsOutputIsReapedOnALaterRun,                                         \
      "a Windows child is not reaped: its handles are closed")                            \
    X(ChildOutlivingItsOutputIsReapedAtDestruction,                                       \
      "a Windows child is not reaped: its handles are closed")                            \
    X(NoDescriptorLeaksIntoTheChildOrOutOfARun, "counts /proc/self/fd")                   \
    X(ChildGetsTheDefaultSigpipeWhenTheCallerIgnoresIt, "Windows has no SIGPIPE")

#ifndef _WIN32

// ---- POSIX: the shell's word rules, signals, descriptors and reaping ---------------------------

int countOpenFds() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d) != nullptr)
            ++n;
        closedir(d);
    }
    return n;
}

// Waits until this process's child has exited, leaving it unreaped (or returns at once when it
// is reaped already): the wait ends on the exit itself, with no clock involved.
void waitUntilExited(pid_t pid) {
    siginfo_t info{};
    while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) == -1 &&
           errno == EINTR) {
    }
}

// True when the runner has reaped the child: it is no longer this process's child.
bool reapedByRunner(pid_t pid) {
    const pid_t r = waitpid(pid, nullptr, WNOHANG);
    return r == -1 && errno == ECHILD;
}

TEST_F(RunnerTest, ReadsInterruptedBySignalsAreRetried) {
    // A handler installed without SA_RESTART makes a blocked read fail with EINTR.
    struct sigaction quiet {};
    quiet.sa_handler = [](int) {};
    sigemptyset(&quiet.sa_mask);
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGUSR1, &quiet, &previous), 0);
    const pthread_t reader = pthread_self();
    std::atomic<bool> done{false};
    testsupport::ChildRelease release;
    std::thread interrupter([&] {
        // The child stays silent through a hundred signals, spread out so that most of them
        // find the read blocked; it is released even if the run ended early.
        for (int sent = 0; !done; ++sent) {
            pthread_kill(reader, SIGUSR1);
            if (sent == 100) release.release();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));  // the signals' pace
        }
    });
    DOSOutputs dos;
    record(dos);
    const std::string text = dos.ExecuteCommand(child(release.waitArgs() + " out done\\n"));
    done = true;
    interrupter.join();
    sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_EQ(text, "done\n");
    EXPECT_EQ(events_, (std::vector<std::string>{"done\n", ""}));
}

TEST_F(RunnerTest, StandardInputIsNullAndBothOutputsShareOnePipe) {
    DOSOutputs dos;
    EXPECT_EQ(dos.ExecuteCommand("readlink /proc/self/fd/0"), "/dev/null\n");
    const std::string links = dos.ExecuteCommand("readlink /proc/self/fd/1 /proc/self/fd/2");
    const auto nl = links.find('\n');
    ASSERT_NE(nl, std::string::npos);
    const std::string first = links.substr(0, nl);
    EXPECT_EQ(first.rfind("pipe:", 0), 0u) << links;
    EXPECT_EQ(links, first + "\n" + first + "\n");
}

TEST_F(RunnerTest, CommandLineBecomesWhatTheNarrowEncodingKept) {
    DOSOutputs dos;
    dos.setCommandLine("printf x\xff");
    EXPECT_EQ(dos.CommandLine(), "printf x\xff");  // stored unchanged until a run
    EXPECT_EQ(dos.ExecuteCommand(), "x" + kReplacement);
    EXPECT_EQ(dos.CommandLine(), "printf x" + kReplacement);
    // A run that fails to start a process still reached process creation.
    EXPECT_EQ(dos.ExecuteCommand("talvrin-no-such-\xc3"), "");
    EXPECT_EQ(dos.CommandLine(), "talvrin-no-such-" + kReplacement);

    // A single-byte ASCII character type cannot hold the accent.
    std::setlocale(LC_CTYPE, "C");
    EXPECT_EQ(dos.ExecuteCommand("printf \xc3\xa9t\xc3\xa9"), "?t?");
    EXPECT_EQ(dos.CommandLine(), "printf ?t?");
}

TEST_F(RunnerTest, QuotesGroupAndBackslashesAndDollarsStayLiteral) {
    DOSOutputs dos;
    EXPECT_EQ(dos.ExecuteCommand("printf %s| \"a b\" 'c  d' e\"f g\"h"), "a b|c  d|ef gh|");
    EXPECT_EQ(dos.ExecuteCommand("printf %s| 'C:\\dir\\n' $HOME * ~"), "C:\\dir\\n|$HOME|*|~|");
}

TEST_F(RunnerTest, ScriptInFolderWithSpacesRunsByPathAndFromPath) {
    namespace fs = std::filesystem;
    char base[] = "/tmp/talvrin runner XXXXXX";
    ASSERT_NE(mkdtemp(base), nullptr);
    const fs::path dir = fs::path(base) / "sub dir";
    fs::create_directories(dir);
    const fs::path script = dir / "say hello";
    {
        std::ofstream out(script);
        out << "#!/bin/sh\nprintf 'args:%s:%s' \"$#\" \"$1\"\n";
    }
    fs::permissions(script, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);

    DOSOutputs dos;
    EXPECT_EQ(dos.ExecuteCommand("\"" + script.string() + "\" \"one two\""), "args:1:one two");

    const char* oldPath = std::getenv("PATH");
    const std::string saved = oldPath ? oldPath : "";
    setenv("PATH", (dir.string() + ":" + saved).c_str(), 1);
    EXPECT_EQ(dos.ExecuteCommand("'say hello' x"), "args:1:x");
    setenv("PATH", saved.c_str(), 1);

    fs::remove_all(base);
}

TEST_F(RunnerTest, FinishedChildIsReaped) {
    pid_t pid = 0;
    {
        DOSOutputs dos;
        pid = std::atoi(dos.ExecuteCommand("/bin/sh -c 'echo $$'").c_str());
        ASSERT_GT(pid, 0);
        waitUntilExited(pid);
    }
    EXPECT_TRUE(reapedByRunner(pid));
}

TEST_F(RunnerTest, ChildOutlivingItsOutputIsReapedOnALaterRun) {
    DOSOutputs dos;
    // The child closes its output, then keeps running (its "sleep 30" only outlasts the test,
    // which kills it): the run must end without it.
    const std::string text =
        dos.ExecuteCommand("/bin/sh -c 'echo $$; exec >&- 2>&-; exec sleep 30'");
    const pid_t pid = std::atoi(text.c_str());
    ASSERT_GT(pid, 0);
    ASSERT_EQ(kill(pid, 0), 0) << "child should still run";
    kill(pid, SIGKILL);
    waitUntilExited(pid);
    EXPECT_EQ(dos.ExecuteCommand("printf next"), "next");
    EXPECT_TRUE(reapedByRunner(pid));
}

TEST_F(RunnerTest, ChildOutlivingItsOutputIsReapedAtDestruction) {
    pid_t pid = 0;
    {
        DOSOutputs dos;
        // As above: the sleep outlasts the test, which kills the child.
        pid = std::atoi(
            dos.ExecuteCommand("/bin/sh -c 'echo $$; exec >&- 2>&-; exec sleep 30'").c_str());
        ASSERT_GT(pid, 0);
        ASSERT_EQ(kill(pid, 0), 0) << "child should still run";
        kill(pid, SIGKILL);
        waitUntilExited(pid);
    }
    EXPECT_TRUE(reapedByRunner(pid));
}

TEST_F(RunnerTest, NoDescriptorLeaksIntoTheChildOrOutOfARun) {
    // A descriptor the caller left inheritable must not reach the child.
    const int stray = open("/dev/null", O_RDONLY);
    ASSERT_GE(stray, 0);
    const int before = countOpenFds();
    {
        DOSOutputs dos;
        const std::string probe = "/bin/sh -c 'if [ -e /proc/self/fd/" + std::to_string(stray) +
                                  " ]; then echo leaked; else echo clean; fi'";
        EXPECT_EQ(dos.ExecuteCommand(probe), "clean\n");
        dos.ExecuteCommand("talvrin-no-such-program");
        dos.ExecuteCommand("printf 'open");
        dos.setReceiveOutputsHandler([&dos](const std::string&) { dos.ExecuteCommand("true"); });
        dos.ExecuteCommand("printf %0600d 0");
        EXPECT_EQ(countOpenFds(), before);
    }
    EXPECT_EQ(countOpenFds(), before);
    close(stray);
}

TEST_F(RunnerTest, ReadHoldingOnlyPartOfACharacterRaisesNoEmptyEvent) {
    DOSOutputs dos;
    record(dos);
    // The child writes the second byte once the run has waited idle after the first, so the two
    // arrive in separate reads (if the first came late, together: the expectation is the same).
    testsupport::ChildRelease release;
    dos.setIdleHandler([&] { release.release(); });
    EXPECT_EQ(dos.ExecuteCommand(child("out \\xc3 " + release.waitArgs() + " out \\xa9")),
              "\xc3\xa9");
    EXPECT_EQ(events_, (std::vector<std::string>{"\xc3\xa9", ""}));
}

// A caller that ignores SIGPIPE (talvrin-repair does, so that a reader going away does not end
// the run) must not hand that on: a child writing into a closed pipe ends as it normally would.
TEST_F(RunnerTest, ChildGetsTheDefaultSigpipeWhenTheCallerIgnoresIt) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGPIPE, &ignore, &previous), 0);
    DOSOutputs dos;
    const std::string text = dos.ExecuteCommand(child("sigpipe"));
    sigaction(SIGPIPE, &previous, nullptr);
    EXPECT_EQ(text, "default");
}

// Every listed POSIX-only test exists.
#define TALVRIN_DEFINED_ON_POSIX(name, why) \
    static_assert(sizeof(GTEST_TEST_CLASS_NAME_(RunnerTest, name)) > 0, why);
TALVRIN_POSIX_ONLY_RUNNER_TESTS(TALVRIN_DEFINED_ON_POSIX)
#undef TALVRIN_DEFINED_ON_POSIX

#else  // _WIN32

// ---- Windows: the system code page; what only POSIX has ---------------------------------------

TEST_F(RunnerTest, SystemCodePageCarriesTheLineAndTheOutput) {
    if (GetACP() != 1252)
        GTEST_SKIP() << "written for code page 1252; this system uses " << GetACP();
    DOSOutputs dos;
    // e-acute is byte E9 in the code page: it reaches the child and comes back as itself.
    EXPECT_EQ(dos.ExecuteCommand(child("args caf\xc3\xa9")), "caf\xc3\xa9|");
    // Omega is not in the code page, nor is an invalid byte: each becomes '?', in the stored line
    // as in what the child received.
    EXPECT_EQ(dos.ExecuteCommand(child("args \xce\xa9\xff")), "??|");
    EXPECT_EQ(dos.CommandLine(), child("args ??"));
    // Output bytes are read in the code page: 80 is the euro sign.
    EXPECT_EQ(dos.ExecuteCommand(child("out \\x80")), "\xe2\x82\xac");
}

// The POSIX-only tests, listed so that they show.
#define TALVRIN_SKIPPED_ON_WINDOWS(name, why) \
    TEST_F(RunnerTest, name) {                \
        GTEST_SKIP() << "POSIX only: " why;   \
    }
TALVRIN_POSIX_ONLY_RUNNER_TESTS(TALVRIN_SKIPPED_ON_WINDOWS)
#undef TALVRIN_SKIPPED_ON_WINDOWS

#endif  // _WIN32

}  // namespace
}  // namespace talvrin
