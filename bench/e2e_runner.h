// End-to-end runs for the decoder benchmarks: each contestant is a fresh process that reads an
// image file from disk, decodes it and writes raw pixels. The runs are interleaved (every
// contestant once per round, in turn), and each one's wall time and peak resident memory (from
// wait4's resource usage of the child) are kept; the report gives medians and their ratios to
// the first contestant. The outputs of all contestants are compared byte for byte after the
// first round, so that a fast wrong answer is no result.
#pragma once

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace talvrin::bench {

// One program with its arguments; "{in}" and "{out}" are replaced by the input file and an
// output file of the contestant's own.
struct Contestant {
    std::string name;
    std::vector<std::string> argv;
};

struct RunResult {
    double seconds = 0;
    double cpuSeconds = 0;  // user and system time of the child
    long maxRssKiB = 0;
    bool ok = false;
};

// With TALVRIN_E2E_BEFORE naming another build of talvrin-image (an earlier revision, say), that
// build runs as one more contestant, "before", so that a change is measured in the same run.
inline void addEarlierBuild(std::vector<Contestant>& contestants) {
    if (const char* before = std::getenv("TALVRIN_E2E_BEFORE"))
        contestants.push_back({"before", {before, "convert", "{in}", "{out}"}});
}

// The folder of the running program (where talvrin-image and decode_peer are built too).
inline std::string programFolder() {
    std::vector<char> buf(4096);
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return ".";
    std::string path(buf.data(), static_cast<std::size_t>(n));
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

inline bool writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// Replaces this process by itself run as `SELF --e2e-files ROUNDS FOLDER`. The inputs are made
// before, in this process, and a child's peak RSS starts from its parent's: the contestants'
// figures must not carry the memory the inputs took. Answers only when the exec fails.
inline int reexecForFiles(char* self, int rounds, const std::string& folder) {
    const std::string r = std::to_string(rounds);
    char* args[] = {self, const_cast<char*>("--e2e-files"), const_cast<char*>(r.c_str()),
                    const_cast<char*>(folder.c_str()), nullptr};
    execv("/proc/self/exe", args);
    std::perror("execv");
    return 1;
}

// Whether two files hold the same bytes, compared in pieces: the runner's own memory must stay
// small, since a child's peak RSS starts from its parent's (posix_spawn shares the parent's
// address space until the child's exec, and the peak carries over).
inline bool sameContents(const std::string& a, const std::string& b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    if (!fa || !fb) return false;
    std::vector<char> ba(1 << 16), bb(1 << 16);
    for (;;) {
        fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
        fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
        if (fa.gcount() != fb.gcount()) return false;
        if (!std::equal(ba.begin(), ba.begin() + fa.gcount(), bb.begin())) return false;
        if (fa.gcount() == 0) return true;  // both ended together
    }
}

inline std::uint64_t fileSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return in ? static_cast<std::uint64_t>(in.tellg()) : 0;
}

inline RunResult runOnce(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    RunResult r;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return r;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return r;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.maxRssKiB = usage.ru_maxrss;
    const auto secondsOf = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    r.cpuSeconds = secondsOf(usage.ru_utime) + secondsOf(usage.ru_stime);
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return r;
}

template <typename T>
T median(std::vector<T> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? T{} : v[v.size() / 2];
}

// Runs every contestant `rounds` times on `inputFile`, writing into `outputFolder`, and prints
// one line per contestant. False when a run failed or the outputs differ.
inline bool runEndToEnd(const std::string& label, const std::string& inputFile,
                        const std::string& outputFolder, const std::string& outputExtension,
                        const std::vector<Contestant>& contestants, int rounds) {
    std::vector<std::vector<RunResult>> results(contestants.size());
    std::vector<std::string> outputs;
    std::vector<std::vector<std::string>> argvs;
    for (std::size_t c = 0; c < contestants.size(); ++c) {
        outputs.push_back(outputFolder + "/out_" + std::to_string(c) + outputExtension);
        std::vector<std::string> argv;
        for (const auto& a : contestants[c].argv)
            argv.push_back(a == "{in}" ? inputFile : a == "{out}" ? outputs.back() : a);
        argvs.push_back(argv);
    }
    bool ok = true;
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t c = 0; c < contestants.size(); ++c) {
            const RunResult r = runOnce(argvs[c]);
            if (!r.ok) {
                std::printf("%s: %s failed\n", label.c_str(), contestants[c].name.c_str());
                ok = false;
            }
            results[c].push_back(r);
        }
        if (round == 0) {
            for (std::size_t c = 1; c < contestants.size(); ++c) {
                if (!sameContents(outputs[0], outputs[c])) {
                    std::printf("%s: output of %s differs from %s\n", label.c_str(),
                                contestants[c].name.c_str(), contestants[0].name.c_str());
                    ok = false;
                }
            }
        }
    }
    std::vector<double> wall(contestants.size());
    std::vector<long> rss(contestants.size());
    for (std::size_t c = 0; c < contestants.size(); ++c) {
        std::vector<double> s;
        std::vector<long> m;
        for (const auto& r : results[c]) {
            s.push_back(r.seconds);
            m.push_back(r.maxRssKiB);
        }
        wall[c] = median(s);
        rss[c] = median(m);
    }
    for (std::size_t c = 0; c < contestants.size(); ++c) {
        std::printf("%-28s %-14s wall %8.1f ms  peak RSS %8.1f MiB", label.c_str(),
                    contestants[c].name.c_str(), wall[c] * 1e3, rss[c] / 1024.0);
        if (c != 0)
            std::printf("   %s / %s: wall %.2f x, memory %.2f x", contestants[0].name.c_str(),
                        contestants[c].name.c_str(), wall[0] / wall[c],
                        static_cast<double>(rss[0]) / static_cast<double>(rss[c]));
        std::printf("\n");
    }
    for (const auto& o : outputs)
        std::remove(o.c_str());
    std::fflush(stdout);
    return ok;
}

}  // namespace talvrin::bench
