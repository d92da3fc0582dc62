// POSIX backend of the command runner: posix_spawnp with one close-on-exec pipe carrying the
// child's standard output and standard error, standard input on /dev/null, no command interpreter.
#include "app/dos_outputs.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/command_words.h"
#include "app/narrow_text_decoder.h"

extern char** environ;

namespace talvrin {

namespace {

// Reads are at most this many bytes; each one raises one event.
constexpr std::size_t kChunkBytes = 256;

// After the output ends the child is normally a moment away from exiting; it is given this many
// short naps to do so before it is left to a later reaping.
constexpr int kExitGraceNaps = 8;
constexpr long kExitGraceNapNanoseconds = 250'000;

// Owns one file descriptor.
class Fd {
  public:
    Fd() = default;
    ~Fd() { close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    [[nodiscard]] int get() const noexcept { return fd_; }
    void reset(int fd) noexcept {
        close();
        fd_ = fd;
    }
    void close() noexcept {
        // A close interrupted by a signal has still released the descriptor on Linux, so it is
        // never retried (a retry could close a descriptor another thread has just opened).
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
};

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

// Reaps the child if it has exited. True when it is gone: reaped now, or no longer ours (someone
// else reaped it, or SIGCHLD is ignored and the system reaped it).
bool tryReap(pid_t pid) noexcept {
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return true;
        if (r == 0) return false;
        if (errno == EINTR) continue;
        return true;  // ECHILD
    }
}

void PendingChildren::reapFinished() noexcept {
    std::lock_guard lock(mutex_);
    std::erase_if(pids_, [](pid_t pid) { return tryReap(pid); });
}

// Reaps the child when the run ends, however it ends: now if it has exited (after a short grace,
// since the end of its output usually means it is exiting), otherwise later.
class ChildReaper {
  public:
    explicit ChildReaper(pid_t pid) noexcept : pid_(pid) {}
    ChildReaper(const ChildReaper&) = delete;
    ChildReaper& operator=(const ChildReaper&) = delete;
    ~ChildReaper() {
        if (tryReap(pid_)) return;
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

  private:
    pid_t pid_;
};

// Moves a descriptor above the standard ones, keeping it close-on-exec, so that the child's
// redirections onto 0, 1 and 2 never land on the pipe itself.
bool liftAboveStandard(Fd& fd) noexcept {
    if (fd.get() > STDERR_FILENO) return true;
    const int lifted = fcntl(fd.get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (lifted < 0) return false;
    fd.reset(lifted);
    return true;
}

bool makePipe(Fd& readEnd, Fd& writeEnd) noexcept {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    readEnd.reset(fds[0]);
    writeEnd.reset(fds[1]);
    return liftAboveStandard(readEnd) && liftAboveStandard(writeEnd);
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
    // (missing program, no permission) here, before any output is read. -1 on failure.
    pid_t spawn(std::vector<std::string>& words) {
        std::vector<char*> argv;
        argv.reserve(words.size() + 1);
        for (std::string& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        if (posix_spawnp(&pid, argv[0], &actions_, &attr_, argv.data(), environ) != 0) return -1;
        return pid;
    }

  private:
    posix_spawn_file_actions_t actions_{};
    posix_spawnattr_t attr_{};
    bool actionsReady_ = false;
    bool attrReady_ = false;
};

// Marks the runner busy for the life of the object.
class RunningFlag {
  public:
    explicit RunningFlag(bool& flag) noexcept : flag_(flag) { flag_ = true; }
    ~RunningFlag() { flag_ = false; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

  private:
    bool& flag_;
};

}  // namespace

DOSOutputs::DOSOutputs() = default;

DOSOutputs::~DOSOutputs() {
    pendingChildren().reapFinished();
}

const std::string& DOSOutputs::CommandLine() const {
    return commandLine_;
}

void DOSOutputs::setCommandLine(const std::string& DOSCommand) {
    try {
        commandLine_ = DOSCommand;
    } catch (...) {
        // Out of memory: the stored line stays as it was.
    }
}

const std::string& DOSOutputs::Outputs() const {
    return outputs_;
}

bool DOSOutputs::isRunning() const {
    return running_;
}

void DOSOutputs::setReceiveOutputsHandler(ReceiveOutputsHandler handler) {
    try {
        if (handler) {
            handler_ = std::make_shared<const ReceiveOutputsHandler>(std::move(handler));
        } else {
            handler_.reset();
        }
    } catch (...) {
        handler_.reset();
    }
}

void DOSOutputs::raiseReceiveOutputs(const std::string& chunk) {
    // A copy of the pointer keeps the handler alive if it replaces itself while it runs.
    const std::shared_ptr<const ReceiveOutputsHandler> handler = handler_;
    if (!handler) return;
    try {
        (*handler)(chunk);
    } catch (...) {
        // A failing listener does not stop the run: the child's output is still read to its end.
    }
}

std::string DOSOutputs::ExecuteCommand(const std::string& CommandLine) {
    if (running_) return {};
    RunningFlag running(running_);
    try {
        pendingChildren().reapFinished();
        if (!CommandLine.empty()) commandLine_ = CommandLine;
        if (commandLine_.empty()) return {};

        Fd readEnd;
        Fd writeEnd;
        if (!makePipe(readEnd, writeEnd)) return {};

        // The line goes to the child in the locale's narrow encoding, and the stored line
        // becomes what that encoding kept of it.
        NarrowTextDecoder decoder;
        std::string narrowLine = decoder.toNarrow(commandLine_);
        std::string keptLine;
        decoder.decode(narrowLine, keptLine);
        decoder.finish(keptLine);
        commandLine_ = std::move(keptLine);

        std::optional<std::vector<std::string>> words = splitCommandWords(narrowLine);
        if (!words || words->empty()) return {};
        SpawnSetup setup;
        if (!setup.prepare(writeEnd.get())) return {};
        const pid_t pid = setup.spawn(*words);
        if (pid < 0) return {};
        const ChildReaper reaper(pid);

        // Only the child holds the write end now, so the end of its output ends the reads.
        writeEnd.close();
        outputs_.clear();  // keeps its capacity: the next run usually writes about as much

        std::string chunk;
        chunk.reserve(kChunkBytes * 3);
        char buffer[kChunkBytes];
        for (;;) {
            const ssize_t n = read(readEnd.get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            chunk.clear();
            decoder.decode(buffer, static_cast<std::size_t>(n), chunk);
            // A read holding only the start of a character gives no text yet: the character
            // arrives whole with the next chunk.
            if (chunk.empty()) continue;
            outputs_ += chunk;
            raiseReceiveOutputs(chunk);
        }
        chunk.clear();
        decoder.finish(chunk);  // a character cut off by the end of the output
        if (!chunk.empty()) {
            outputs_ += chunk;
            raiseReceiveOutputs(chunk);
        }
        readEnd.close();
        chunk.clear();
        raiseReceiveOutputs(chunk);
        return outputs_;
    } catch (...) {
        return {};
    }
}

}  // namespace talvrin
