// DOSOutputs: runs one command line as a child process and captures everything it writes to its
// standard output and standard error through one pipe, handing each chunk of text to a listener
// as it arrives. The call is synchronous; the listener's two handlers are the only places where
// the caller regains control during a run (the window pumps its messages there): one for each
// chunk of output, and an idle hook about every 50 ms while the command is silent.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace talvrin {

class DOSOutputs {
  public:
    // Handler of the ReceiveOutputs event: one chunk of decoded output (UTF-8 text).
    using ReceiveOutputsHandler = std::function<void(const std::string& CommandOutputs)>;
    // The idle hook: called while a run waits for output and none has come for kIdleInterval.
    using IdleHandler = std::function<void()>;

    // How long a run waits for output before it calls the idle hook (and then waits again).
    static constexpr std::chrono::milliseconds kIdleInterval{50};

    // The most text a run keeps: a child that prints without end must not grow the kept text
    // without end. The events still carry every chunk past it.
    static constexpr std::size_t kKeptOutputLimit = std::size_t{16} << 20;

    // keptOutputLimit: the most text a run keeps (tests use a small one).
    explicit DOSOutputs(std::size_t keptOutputLimit = kKeptOutputLimit);
    // Reaps any child still unreaped; never blocks on one that keeps running.
    ~DOSOutputs();
    DOSOutputs(const DOSOutputs&) = delete;
    DOSOutputs& operator=(const DOSOutputs&) = delete;

    // The line to run. After a run that reached process creation it holds the line as converted
    // to the locale's narrow encoding and back.
    const std::string& CommandLine() const;
    // Stores the line unchanged.
    void setCommandLine(const std::string& DOSCommand);

    // All text captured by the last run that started a process, up to the kept-output limit
    // (cut before a character that would cross it); empty before the first one.
    const std::string& Outputs() const;

    // Runs the command line (the argument replaces the stored line when it is not empty) and
    // returns the text it kept (see Outputs), or empty text when no process was started. The line
    // is split into words like a POSIX shell splits them, without expanding anything; the first
    // word is the program, searched on PATH. Output is decoded from the locale's narrow encoding
    // (LC_CTYPE of the calling thread at the time of the call).
    //
    // Raises ReceiveOutputs once for every read that gave text (reads are of at most 256 bytes;
    // a character cut by a read arrives whole with the next one), then exactly once with empty
    // text at the end of the output. While the command is silent it calls the idle hook every
    // kIdleInterval; an idle wait raises no event. A call made while a run is in progress (from
    // a handler) returns empty text and does nothing else.
    std::string ExecuteCommand(const std::string& CommandLine = {});

    // Sets the one listener of ReceiveOutputs; an empty handler means none. Replacing the
    // handler from inside the handler is safe: the new one receives the next chunk.
    void setReceiveOutputsHandler(ReceiveOutputsHandler handler);

    // Sets the idle hook; an empty handler means none. Replacing it from inside is safe.
    void setIdleHandler(IdleHandler handler);

    // Asked from a handler during a run: the run stops reading after that handler returns. The
    // pipe is closed and ExecuteCommand returns the text read so far, with no closing empty
    // event; the child is neither waited for nor stopped, and what it writes afterwards goes
    // nowhere. No effect outside a run.
    void stopReading();

    // After the output of a run ends, wait at most this long for the process to exit and keep its
    // exit code (ExitCode). Zero, the default, waits for nothing: the end of the output is the end
    // of the run.
    void setExitWait(std::chrono::milliseconds wait);

    // The exit code of the last run's process: set when the runner waited for it (setExitWait)
    // and it exited within the wait; nothing otherwise (also after a run that started nothing).
    [[nodiscard]] std::optional<int> ExitCode() const;

    // True while ExecuteCommand is running.
    bool isRunning() const;

    // Why the last call of ExecuteCommand started no process, in a few words ("not found",
    // "permission denied", "not an executable", "no program named", "empty command line" ...);
    // empty when it started one, and before the first call.
    const std::string& startFailure() const;

  private:
    void raiseReceiveOutputs(const std::string& chunk);
    void raiseIdle();
    void keep(const std::string& chunk);

    std::string commandLine_;
    std::string outputs_;
    std::string startFailure_;
    std::size_t keptOutputLimit_;
    std::chrono::milliseconds exitWait_{0};
    std::optional<int> exitCode_;
    std::shared_ptr<const ReceiveOutputsHandler> handler_;
    std::shared_ptr<const IdleHandler> idleHandler_;
    bool running_ = false;
    bool stopRequested_ = false;
};

}  // namespace talvrin
