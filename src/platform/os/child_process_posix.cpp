// The command runner's backend on POSIX: posix_spawnp with one close-on-exec pipe carrying the
// child's standard output and standard error, standard input on /dev/null, no command interpreter.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/os/child_process.h"

extern char** environ;

namespace talvrin::platform {

namespace {

// After the output ends the child is normally a moment away from exiting; it is given this many
// short naps to do so before it is left to a later reaping.
constexpr int kExitGraceNaps = 8;
constexpr long kExitGraceNapNanoseconds = 250'000;
// A wait for the child's exit looks this often.
constexpr long kWaitNapNanoseconds = 2'000'000;

// Children whose output ended before they exited. Shared by every runner, so that one released
// while its last child still runs leaves that child to be reaped by later runs.
class PendingChildren {
  public:
    void add(pid_t pid) {
        std::lock_guard lock(mutex_);
        pids_.push_back(pid);
    }

    // Reaps every pending child that has exited, without waiting for any.
    void reapFinished() noexcept;

  private:
    std::mutex mutex_;
    std::vector<pid_t> pids_;
};

PendingChildren& pendingChildren() {
    // Never destroyed: runners owned by static objects may still use it during exit.
    static auto* pending = new PendingChildren;
    return *pending;
}

// Reaps the child if it has exited. True when it is gone: reaped now (its wait status in *status
// when asked for), or no longer ours (someone else reaped it, or SIGCHLD is ignored and the system
// reaped it).
bool tryReap(pid_t pid, std::optional<int>* status = nullptr) noexcept {
    for (;;) {
        int wstatus = 0;
        const pid_t r = waitpid(pid, &wstatus, WNOHANG);
        if (r == pid) {
            if (status) *status = wstatus;
            return true;
        }
        if (r == 0) return false;
        if (errno == EINTR) continue;
        return true;  // ECHILD
    }
}

void PendingChildren::reapFinished() noexcept {
    std::lock_guard lock(mutex_);
    std::erase_if(pids_, [](pid_t pid) { return tryReap(pid); });
}

std::int64_t monotonicMilliseconds() noexcept {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

// Reaps the child when the run ends, however it ends: now if it has exited (after a short grace,
// since the end of its output usually means it is exiting), otherwise later.
class ChildReaper {
  public:
    explicit ChildReaper(pid_t pid) noexcept : pid_(pid) {}
    ChildReaper(const ChildReaper&) = delete;
    ChildReaper& operator=(const ChildReaper&) = delete;
    ~ChildReaper() {
        if (reaped_ || tryReap(pid_)) return;
        for (int nap = 0; nap < kExitGraceNaps; ++nap) {
            const timespec pause{0, kExitGraceNapNanoseconds};
            nanosleep(&pause, nullptr);
            if (tryReap(pid_)) return;
        }
        try {
            pendingChildren().add(pid_);
        } catch (...) {
            // Out of memory: the child stays a zombie until this process ends.
        }
    }

    // Waits at most `limit` for the child to exit and reaps it; its wait status, or nothing when
    // it still runs (or was reaped by someone else).
    std::optional<int> wait(std::chrono::milliseconds limit) noexcept {
        if (reaped_) return status_;
        const std::int64_t deadline = monotonicMilliseconds() + limit.count();
        for (;;) {
            if (tryReap(pid_, &status_)) {
                reaped_ = true;
                return status_;
            }
            if (monotonicMilliseconds() >= deadline) return std::nullopt;
            const timespec pause{0, kWaitNapNanoseconds};
            nanosleep(&pause, nullptr);
        }
    }

  private:
    pid_t pid_;
    bool reaped_ = false;
    std::optional<int> status_;
};

// A descriptor above the standard ones, close-on-exec, so that the child's redirections onto 0, 1
// and 2 never land on the pipe itself: fd itself when it lies there, else a copy of it in its place
// (fd is closed); -1 when no copy could be made.
int liftedAboveStandard(int fd) noexcept {
    if (fd > STDERR_FILENO) return fd;
    const int lifted = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ::close(fd);
    return lifted;
}

// Owns the attributes and file actions of one spawn.
class SpawnSetup {
  public:
    SpawnSetup() noexcept {
        actionsReady_ = posix_spawn_file_actions_init(&actions_) == 0;
        attrReady_ = posix_spawnattr_init(&attr_) == 0;
    }
    ~SpawnSetup() {
        if (actionsReady_) posix_spawn_file_actions_destroy(&actions_);
        if (attrReady_) posix_spawnattr_destroy(&attr_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // Standard input from /dev/null, standard output and error into the pipe, nothing else
    // inherited; signals unblocked and SIGPIPE at its default, whatever the caller set.
    bool prepare(int writeFd) noexcept {
        if (!actionsReady_ || !attrReady_) return false;
        if (posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0) !=
                0 ||
            posix_spawn_file_actions_adddup2(&actions_, writeFd, STDOUT_FILENO) != 0 ||
            posix_spawn_file_actions_adddup2(&actions_, writeFd, STDERR_FILENO) != 0)
            return false;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
        if (posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1) != 0)
            return false;
#endif
        sigset_t none;
        sigset_t defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        return posix_spawnattr_setsigmask(&attr_, &none) == 0 &&
               posix_spawnattr_setsigdefault(&attr_, &defaults) == 0 &&
               posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) ==
                   0;
    }

    // Starts the program named by the first word, searched on PATH. glibc reports a failed exec
    // (missing program, no permission) here, before any output is read. -1 on failure, with the
    // reason in error.
    pid_t spawn(std::vector<std::string>& words, int& error) {
        std::vector<char*> argv;
        argv.reserve(words.size() + 1);
        for (std::string& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        error = posix_spawnp(&pid, argv[0], &actions_, &attr_, argv.data(), environ);
        return error == 0 ? pid : -1;
    }

  private:
    posix_spawn_file_actions_t actions_{};
    posix_spawnattr_t attr_{};
    bool actionsReady_ = false;
    bool attrReady_ = false;
};

}  // namespace

struct ChildProcess::State {
    std::optional<ChildReaper> reaper;  // the started child, reaped when released
};

ChildProcess::ChildProcess() : state_(std::make_unique<State>()) {}

ChildProcess::~ChildProcess() {
    close();
}

void ChildProcess::Handle::release(std::intptr_t value) noexcept {
    ::close(static_cast<int>(value));
}

bool ChildProcess::openPipe() noexcept {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    readEnd_.reset(liftedAboveStandard(fds[0]));
    writeEnd_.reset(liftedAboveStandard(fds[1]));
    return readEnd_.isOpen() && writeEnd_.isOpen();
}

bool ChildProcess::hasChild() const noexcept {
    return state_->reaper.has_value();
}

bool ChildProcess::launch(const std::string& narrowLine, WordSplitter splitWords) {
    std::optional<std::vector<std::string>> words = splitWords(narrowLine);
    if (!words || words->empty()) {
        failure_ = words ? StartFailure::NoWords : StartFailure::OpenQuote;
        return false;
    }
    SpawnSetup setup;
    if (!setup.prepare(static_cast<int>(writeEnd_.get()))) return false;
    int error = 0;
    const pid_t pid = setup.spawn(*words, error);
    if (pid < 0) {
        error_ = static_cast<unsigned long>(error);
        failure_ = failureOfError(error_);
        return false;
    }
    state_->reaper.emplace(pid);
    return true;
}

ChildProcess::StartFailure ChildProcess::failureOfError(unsigned long error) noexcept {
    if (error == ENOENT || error == ENOTDIR) return StartFailure::NotFound;
    if (error == EACCES || error == EPERM) return StartFailure::PermissionDenied;
    if (error == ENOEXEC) return StartFailure::NotExecutable;
    return StartFailure::System;
}

ChildProcess::ReadResult ChildProcess::read(char* buffer, std::size_t size,
                                            std::chrono::milliseconds wait) noexcept {
    using Kind = ReadResult::Kind;
    const int fd = static_cast<int>(readEnd_.get());
    if (!state_->reaper || fd < 0) return {Kind::End, 0};
    // A signal cuts the wait short; it resumes for what is left of it.
    const std::int64_t deadline = monotonicMilliseconds() + wait.count();
    for (;;) {
        const std::int64_t left = deadline - monotonicMilliseconds();
        pollfd pipe{fd, POLLIN, 0};
        const int ready = poll(&pipe, 1, static_cast<int>(left > 0 ? left : 0));
        if (ready == 0) return {Kind::Idle, 0};
        if (ready > 0) break;
        if (errno != EINTR) return {Kind::End, 0};
    }
    // Readable, hung up or broken: the read tells which.
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n < 0 && errno == EINTR) continue;
        if (n > 0) return {Kind::Data, static_cast<std::size_t>(n)};
        return {Kind::End, 0};
    }
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds limit) noexcept {
    if (!state_->reaper) return std::nullopt;
    const std::optional<int> status = state_->reaper->wait(limit);
    if (!status) return std::nullopt;
    if (WIFEXITED(*status)) return WEXITSTATUS(*status);
    if (WIFSIGNALED(*status)) return 128 + WTERMSIG(*status);
    return std::nullopt;
}

void ChildProcess::close() noexcept {
    readEnd_.close();
    writeEnd_.close();
    state_->reaper.reset();
}

void ChildProcess::releaseFinished() noexcept {
    pendingChildren().reapFinished();
}

}  // namespace talvrin::platform
