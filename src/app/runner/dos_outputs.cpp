// DOSOutputs: the command runner's contract over the platform's process backend
// (platform/os/child_process.h): the stored line and its narrow form, the 256-byte reads, the
// decoding and the events.
#include "app/runner/dos_outputs.h"

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

#include "app/runner/command_words.h"
#include "platform/os/child_process.h"
#include "platform/os/narrow_text_decoder.h"

namespace talvrin {

namespace {

using platform::ChildProcess;
using platform::NarrowTextDecoder;

// Reads are at most this many bytes; each one raises one event.
constexpr std::size_t kChunkBytes = 256;

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

DOSOutputs::DOSOutputs(std::size_t keptOutputLimit) : keptOutputLimit_(keptOutputLimit) {}

DOSOutputs::~DOSOutputs() {
    ChildProcess::releaseFinished();
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

void DOSOutputs::setIdleHandler(IdleHandler handler) {
    try {
        if (handler) {
            idleHandler_ = std::make_shared<const IdleHandler>(std::move(handler));
        } else {
            idleHandler_.reset();
        }
    } catch (...) {
        idleHandler_.reset();
    }
}

void DOSOutputs::stopReading() {
    if (running_) stopRequested_ = true;
}

void DOSOutputs::setExitWait(std::chrono::milliseconds wait) {
    exitWait_ = wait;
}

std::optional<int> DOSOutputs::ExitCode() const {
    return exitCode_;
}

const std::string& DOSOutputs::startFailure() const {
    return startFailure_;
}

void DOSOutputs::raiseIdle() {
    const std::shared_ptr<const IdleHandler> handler = idleHandler_;
    if (!handler) return;
    try {
        (*handler)();
    } catch (...) {
        // As for ReceiveOutputs: the run goes on.
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

void DOSOutputs::keep(const std::string& chunk) {
    const std::size_t room = keptOutputLimit_ - std::min(outputs_.size(), keptOutputLimit_);
    if (chunk.size() <= room) {
        outputs_ += chunk;
        return;
    }
    // The text is UTF-8: cut before the character that crosses the limit, never inside it.
    std::size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(chunk[cut]) & 0xC0) == 0x80)
        --cut;
    outputs_.append(chunk, 0, cut);
}

std::string DOSOutputs::ExecuteCommand(const std::string& CommandLine) {
    if (running_) return {};
    RunningFlag running(running_);
    stopRequested_ = false;
    exitCode_.reset();
    try {
        startFailure_ = "not started";  // replaced below by what happened
        ChildProcess::releaseFinished();
        if (!CommandLine.empty()) commandLine_ = CommandLine;
        if (commandLine_.empty()) {
            startFailure_ = "empty command line";
            return {};
        }

        ChildProcess child;
        if (!child.openPipe()) {
            startFailure_ = "no pipe";
            return {};
        }

        // The line goes to the child in the narrow encoding (the locale's on POSIX, the system
        // code page on Windows), and the stored line becomes what that encoding kept of it.
        NarrowTextDecoder decoder;
        const std::string narrowLine = decoder.toNarrow(commandLine_);
        std::string keptLine;
        decoder.decode(narrowLine, keptLine);
        decoder.finish(keptLine);
        commandLine_ = std::move(keptLine);

        // POSIX runs the line's words, split as a POSIX shell splits them; Windows the line.
        if (!child.start(narrowLine, splitCommandWords)) {
            startFailure_ = child.startFailure();
            return {};
        }
        startFailure_.clear();
        outputs_.clear();  // keeps its capacity: the next run usually writes about as much

        std::string chunk;
        chunk.reserve(kChunkBytes * 3);
        char buffer[kChunkBytes];
        for (;;) {
            // A handler asked to stop: the child runs on, unread.
            if (stopRequested_) return outputs_;
            const auto got = child.read(buffer, sizeof buffer, kIdleInterval);
            if (got.kind == ChildProcess::ReadResult::Kind::End) break;
            if (got.kind == ChildProcess::ReadResult::Kind::Idle) {
                raiseIdle();
                continue;
            }
            chunk.clear();
            decoder.decode(buffer, got.size, chunk);
            // A read holding only the start of a character gives no text yet: the character
            // arrives whole with the next chunk.
            if (chunk.empty()) continue;
            keep(chunk);
            raiseReceiveOutputs(chunk);
        }
        chunk.clear();
        decoder.finish(chunk);  // a character cut off by the end of the output
        if (!chunk.empty()) {
            keep(chunk);
            raiseReceiveOutputs(chunk);
        }
        if (exitWait_.count() > 0) exitCode_ = child.waitForExit(exitWait_);
        child.close();
        chunk.clear();
        raiseReceiveOutputs(chunk);
        return outputs_;
    } catch (...) {
        return {};
    }
}

}  // namespace talvrin
