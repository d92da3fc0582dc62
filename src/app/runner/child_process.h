// The command runner's backend: one child process started from a command line, with its
// standard output and standard error going into one pipe that this side reads, no standard
// input and no window. One implementation per platform (child_process_posix.cpp,
// child_process_win32.cpp); DOSOutputs drives it and does everything else itself.
#pragma once

#include <cstddef>
#include <memory>
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

    // Reads at most size bytes of the child's output, blocking until some arrive. The number
    // read; 0 at the end of the output (or when the pipe broke, or nothing was started).
    std::size_t read(char* buffer, std::size_t size) noexcept;

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
