// Replays a folder of inputs through one fuzz target's LLVMFuzzerTestOneInput without libFuzzer,
// so that every input that once crashed, hung or ran out of memory is retried by the ordinary
// test run. Usage: <target>_replay FOLDER. Every regular file in the folder is one input, run in
// name order; the program names each input before running it, so a crash points at its file.
//
// What counts as a failure, as in a fuzzing run: a crash or sanitizer report (the process dies),
// one input using more than kCpuSecondsPerInput of processor time (a profiling timer ends the
// process; it counts the time the process runs, not the time it waits on a busy machine), or
// the process's peak resident memory passing kMaxResidentMb during an input (an out-of-memory
// regression; the limit is libFuzzer's default). An empty or missing folder fails too, so that a wrong path
// cannot pass without replaying anything.
#include <sys/resource.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
// Defined by the targets that configure the process once (e.g. the picture loader's limit).
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

constexpr long kMaxResidentMb = 2048;
constexpr long kCpuSecondsPerInput = 20;

// The input being run, for the limit's handler (which may only call async-signal-safe functions).
char currentInput[4096] = "";

void onCpuLimit(int) {
    static const char kPrefix[] =
        "fuzz_replay: timeout: an input used more processor time than "
        "the limit: ";
    (void)!write(STDERR_FILENO, kPrefix, sizeof kPrefix - 1);
    (void)!write(STDERR_FILENO, currentInput, std::strlen(currentInput));
    (void)!write(STDERR_FILENO, "\n", 1);
    _exit(70);
}

// Arms the profiling timer to fire once after `seconds` of processor time (0 disarms it).
void setCpuLimit(long seconds) {
    itimerval limit{};
    limit.it_value.tv_sec = seconds;
    setitimer(ITIMER_PROF, &limit, nullptr);
}

// The most memory the process has had resident so far, in megabytes.
long peakResidentMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;  // kilobytes on Linux
}

bool readFile(const std::filesystem::path& path, std::vector<std::uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::vector<std::filesystem::path> inputs;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        if (entry.is_regular_file()) inputs.push_back(entry.path());
    if (ec || inputs.empty()) {
        std::fprintf(stderr, "fuzz_replay: no inputs in %s%s%s\n", folder.c_str(), ec ? ": " : "",
                     ec ? ec.message().c_str() : "");
        return 1;
    }
    std::sort(inputs.begin(), inputs.end());

    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    std::signal(SIGPROF, onCpuLimit);
    std::vector<std::uint8_t> bytes;
    for (const auto& path : inputs) {
        if (!readFile(path, bytes)) {
            std::fprintf(stderr, "fuzz_replay: cannot read %s\n", path.c_str());
            return 1;
        }
        std::snprintf(currentInput, sizeof currentInput, "%s", path.c_str());
        std::printf("replaying %s (%zu bytes)\n", path.filename().c_str(), bytes.size());
        std::fflush(stdout);
        // An input's own copy, exactly its size, so that a read past its end is caught by the
        // sanitizers as it is under libFuzzer.
        const auto copy = std::make_unique<std::uint8_t[]>(bytes.size());
        std::copy(bytes.begin(), bytes.end(), copy.get());
        setCpuLimit(kCpuSecondsPerInput);
        LLVMFuzzerTestOneInput(copy.get(), bytes.size());
        setCpuLimit(0);
        if (const long peak = peakResidentMb(); peak > kMaxResidentMb) {
            std::fprintf(stderr,
                         "fuzz_replay: out of memory: %ld MB resident (limit %ld MB) "
                         "while running %s\n",
                         peak, kMaxResidentMb, path.c_str());
            return 1;
        }
    }
    std::printf("replayed %zu inputs from %s\n", inputs.size(), folder.c_str());
    return 0;
}
