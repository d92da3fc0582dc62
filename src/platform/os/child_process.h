// The command runner's backend: one child process started from a command line, with its
// standard output and standard error going into one pipe that this side reads, no standard
// input and no window. One implementation per platform (child_process_posix.cpp,
// child_process_win32.cpp); DOSOutputs drives it and does everything else itself.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace talvrin {

class ChildProcess {
  public:
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
    // POSIX splits the line into words (command_words.h) and finds the first on PATH; Windows
    // hands the whole line to process creation, which follows the system's own convention.
    // False when no process was started (also when openPipe did not succeed).
    bool start(const std::string& narrowLine) noexcept;

    // Why start() started nothing, in a few words: "not found", "permission denied", "not an
    // executable", "no program named", "a quote is left open", "no pipe", or "system error N"
    // for anything else. Empty after a successful start.
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
    struct State;  // the platform's handles
    std::unique_ptr<State> state_;
};

}  // namespace talvrin
