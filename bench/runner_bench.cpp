// Throughput of the command runner on a child writing 64 MiB, against reading the same child's
// pipe with plain 64 KiB read() calls, in one run. The runner reads at most 256 bytes at a time
// and raises one event per read, so the ratio shows what that contract costs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "app/runner/dos_outputs.h"

extern char** environ;

namespace {

constexpr const char* kCommand = "head -c 64M /dev/zero";
constexpr double kBytes = 64.0 * 1024 * 1024;

void BM_RunnerHead64MiB(benchmark::State& state) {
    talvrin::DOSOutputs dos;
    long events = 0;
    dos.setReceiveOutputsHandler([&events](const std::string&) { ++events; });
    std::size_t size = 0;
    for (auto _ : state) {
        const std::string text = dos.ExecuteCommand(kCommand);
        size = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    if (size != static_cast<std::size_t>(kBytes)) state.SkipWithError("runner lost output");
    state.counters["MB/s"] =
        benchmark::Counter(kBytes * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate, benchmark::Counter::kIs1000);
    state.counters["events"] =
        benchmark::Counter(static_cast<double>(events), benchmark::Counter::kAvgIterations);
}

// The same child, its output read with plain read() calls of state.range(0) bytes and thrown
// away: 64 KiB is the peer; 256 bytes shows how much of the runner's time the small reads take.
void BM_PlainRead(benchmark::State& state) {
    char* argv[] = {const_cast<char*>("head"), const_cast<char*>("-c"), const_cast<char*>("64M"),
                    const_cast<char*>("/dev/zero"), nullptr};
    std::vector<char> buffer(static_cast<std::size_t>(state.range(0)));
    std::size_t total = 0;
    for (auto _ : state) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            state.SkipWithError("pipe failed");
            break;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
        pid_t pid = -1;
        const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (rc != 0) {
            close(fds[0]);
            state.SkipWithError("spawn failed");
            break;
        }
        total = 0;
        for (;;) {
            const ssize_t n = read(fds[0], buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            total += static_cast<std::size_t>(n);
        }
        close(fds[0]);
        waitpid(pid, nullptr, 0);
    }
    if (total != static_cast<std::size_t>(kBytes)) state.SkipWithError("plain read lost output");
    state.counters["MB/s"] =
        benchmark::Counter(kBytes * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate, benchmark::Counter::kIs1000);
}

// Shared machines are noisy: five repetitions each, and the ratio of the medians.
BENCHMARK(BM_RunnerHead64MiB)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_PlainRead)
    ->Arg(64 * 1024)
    ->Arg(256)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Prints the usual table, then the ratio of the two rates.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto it = run.counters.find("MB/s");
            if (it == run.counters.end()) continue;
            // With repetitions the median stands for the benchmark; without, the one run does.
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            rates_[run.run_name.str()] = it->second.value;
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        double runner = 0;
        double plain = 0;
        double small = 0;
        for (const auto& [name, rate] : rates_) {
            if (name.starts_with("BM_RunnerHead64MiB")) runner = rate;
            if (name.starts_with("BM_PlainRead/65536")) plain = rate;
            if (name.starts_with("BM_PlainRead/256")) small = rate;
        }
        if (runner > 0 && plain > 0) {
            std::printf(
                "medians: runner %.1f MB/s, plain 64 KiB reads %.1f MB/s, runner/plain %.3f\n",
                runner / 1e6, plain / 1e6, runner / plain);
        }
        if (runner > 0 && small > 0) {
            std::printf("plain 256-byte reads %.1f MB/s, runner/plain-256 %.3f\n", small / 1e6,
                        runner / small);
        }
    }

  private:
    std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_CTYPE, "");  // the character type the desktop gives the program
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
