// The command runner's process backend: one child process started from a command line, with its
// standard output and standard error going into one pipe that this side reads, no standard
// input and no window. The pipe's ownership and the start's failures are shared
// (child_process.cpp); the process calls are one source per platform (child_process_posix.cpp,
// child_process_win32.cpp). The command runner (app/runner/dos_outputs.h) drives it and does
// everything else itself.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvrin::platform {

class ChildProcess {
  public:
    // Splits a command line into the words of an argument vector; nothing when it cannot be one.
    using WordSplitter = std::optional<std::vector<std::string>> (*)(std::string_view line);

    ChildProcess();
    // Closes what is still open (see close()).
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Makes the pipe the child will write to. False when the system refuses one.
    bool openPipe() noexcept;

    // Starts the command line, in the narrow encoding, with the pipe's write end as the child's
    // standard output and standard error, then closes this side's copy of the write end, so
    // that the output ends when the child (and whatever inherited its handles) has closed it.
    // POSIX splits the line into words with splitWords (the runner's shell-like splitting) and
    // finds the first on PATH; Windows hands the whole line to process creation, which follows
    // the system's own convention, and never calls splitWords. False when no process was started
    // (also when openPipe did not succeed).
    bool start(const std::string& narrowLine, WordSplitter splitWords) noexcept;

    // Why start() started nothing, in a few words: "not found", "permission denied", "not an
    // executable", "no program named", "a quote is left open" (POSIX), "a NUL character in the
    // line" (Windows), "no pipe", or "system error N" for anything else. Empty after a
    // successful start.
    [[nodiscard]] std::string startFailure() const;

    // What one wait for output found.
    struct ReadResult {
        enum class Kind {
            Data,  // size bytes were read
            Idle,  // nothing arrived within the wait; the output goes on
            End,   // the output ended (or the pipe broke, or nothing was started)
        };
        Kind kind = Kind::End;
        std::size_t size = 0;
    };

    // Waits at most `wait` for output, then reads at most size bytes of what arrived. POSIX
    // polls the pipe; Windows peeks into it in short naps, since an anonymous pipe cannot be
    // waited on.
    ReadResult read(char* buffer, std::size_t size, std::chrono::milliseconds wait) noexcept;

    // The child's exit code once it has exited, waiting at most `limit` for it; nothing when it
    // still runs then, or when nothing was started. Call after the output ended, before close().
    // POSIX gives a child ended by a signal as 128 + the signal's number, as shells do.
    std::optional<int> waitForExit(std::chrono::milliseconds limit) noexcept;

    // Releases the pipe and the child without waiting for a child that keeps running: POSIX
    // reaps it now when it has exited (after a short grace) and otherwise at a later call of
    // releaseFinished; Windows closes the process handle, the thread handle and the pipe's
    // read end, in that order.
    void close() noexcept;

    // Reaps every earlier child that has exited since its run ended; never waits (nothing to do
    // on Windows, where a child needs no reaping).
    static void releaseFinished() noexcept;

  private:
    // A pipe end, or a handle of the child (Windows): a descriptor or a HANDLE, -1 for none (the
    // POSIX error value and INVALID_HANDLE_VALUE, which neither a pipe nor a process ever is).
    // Closed when it goes.
    class Handle {
      public:
        Handle() = default;
        ~Handle() { close(); }
        Handle(const Handle&) = delete;
        Handle& operator=(const Handle&) = delete;

        [[nodiscard]] std::intptr_t get() const noexcept { return value_; }
        [[nodiscard]] bool isOpen() const noexcept { return value_ != kNone; }
        void reset(std::intptr_t value) noexcept {
            close();
            value_ = value;
        }
        void close() noexcept {
            if (isOpen()) release(value_);
            value_ = kNone;
        }

      private:
        static constexpr std::intptr_t kNone = -1;
        // The platform's close (a close interrupted by a signal is never retried on POSIX: it
        // has still released the descriptor, and a retry could close another thread's).
        static void release(std::intptr_t value) noexcept;
        std::intptr_t value_ = kNone;
    };

    // Why the last start started nothing.
    enum class StartFailure {
        None,
        NoPipe,
        NoWords,
        OpenQuote,
        NulInLine,
        NotFound,
        PermissionDenied,
        NotExecutable,
        System,  // any other system error: error_ holds its number
    };

    // The platform's half of start(): starts the line with the pipe's write end as the child's
    // output. False, with failure_ (and error_, the system's error number) set, when nothing
    // started.
    bool launch(const std::string& narrowLine, WordSplitter splitWords);
    // True once a child was started and until close().
    [[nodiscard]] bool hasChild() const noexcept;
    // What a system error of process creation means: NotFound, PermissionDenied, NotExecutable,
    // or System for any other.
    static StartFailure failureOfError(unsigned long error) noexcept;

    Handle readEnd_;
    Handle writeEnd_;
    struct State;  // the platform's hold on the child
    std::unique_ptr<State> state_;
    StartFailure failure_ = StartFailure::None;
    unsigned long error_ = 0;  // the system's error number of a failed process creation
};

}  // namespace talvrin::platform
