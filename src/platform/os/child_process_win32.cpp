// The command runner's backend on Windows: an anonymous pipe with inheritable handles, and
// CreateProcessA with the pipe's write end as standard output and standard error, no standard
// input and a hidden window. The whole line goes to process creation as it is: no command
// interpreter in front, nothing expanded, the program named by its first word or leading quoted
// path as the system's own convention finds it. (The repair's lines for the command interpreter
// reach the runner already written as the interpreter's own command line: dos_command_runner.h.)
#include <windows.h>

#include <string>

#include "app/runner/child_process.h"

namespace talvrin {

namespace {

// Owns one handle.
class Handle {
  public:
    Handle() = default;
    ~Handle() { close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    [[nodiscard]] HANDLE get() const noexcept { return handle_; }
    [[nodiscard]] bool isOpen() const noexcept { return handle_ != nullptr; }
    void reset(HANDLE handle) noexcept {
        close();
        handle_ = handle;
    }
    void close() noexcept {
        if (handle_ != nullptr) CloseHandle(handle_);
        handle_ = nullptr;
    }

  private:
    HANDLE handle_ = nullptr;
};

// Inheritable, without a security descriptor: the pipe's handles and the child's process and
// thread handles are made with these.
SECURITY_ATTRIBUTES inheritable() noexcept {
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = nullptr;
    attributes.bInheritHandle = TRUE;
    return attributes;
}

// An anonymous pipe cannot be waited on, so a wait for output peeks into it between naps this
// long (the system's timer rounds a nap up to its tick, about 16 ms by default).
constexpr DWORD kPeekNapMilliseconds = 5;

// Why the last start started nothing.
enum class StartFailure { None, NoPipe, NulInLine, System };

// ERROR_ELEVATION_REQUIRED: the program asks to run as an administrator. Not every header set
// names it.
constexpr DWORD kErrorElevationRequired = 740;

}  // namespace

struct ChildProcess::State {
    Handle readEnd;
    Handle writeEnd;
    Handle process;
    Handle thread;
    StartFailure failure = StartFailure::None;
    DWORD error = 0;  // GetLastError() of process creation, for StartFailure::System
};

ChildProcess::ChildProcess() : state_(std::make_unique<State>()) {}

ChildProcess::~ChildProcess() {
    close();
}

bool ChildProcess::openPipe() noexcept {
    SECURITY_ATTRIBUTES attributes = inheritable();
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    // Size 0: the system's default pipe buffer.
    if (!CreatePipe(&readEnd, &writeEnd, &attributes, 0)) return false;
    state_->readEnd.reset(readEnd);
    state_->writeEnd.reset(writeEnd);
    // The child needs only the write end. Were it to inherit the read end as well, a child whose
    // parent has gone would block on a full pipe instead of seeing it broken.
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    return true;
}

bool ChildProcess::start(const std::string& narrowLine) noexcept {
    State& s = *state_;
    s.failure = StartFailure::System;
    s.error = 0;
    try {
        if (s.process.isOpen()) return false;
        if (!s.writeEnd.isOpen()) {
            s.failure = StartFailure::NoPipe;
            return false;
        }
        // The system would end the line at a NUL; such a line is not run shortened.
        if (narrowLine.find('\0') != std::string::npos) {
            s.failure = StartFailure::NulInLine;
            return false;
        }
        // CreateProcessA may write into the line it is given, so it gets its own copy.
        std::string line = narrowLine;

        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
        startup.wShowWindow = SW_HIDE;
        startup.hStdInput = nullptr;
        startup.hStdOutput = state_->writeEnd.get();
        startup.hStdError = state_->writeEnd.get();

        SECURITY_ATTRIBUTES processAttributes = inheritable();
        SECURITY_ATTRIBUTES threadAttributes = inheritable();
        PROCESS_INFORMATION info{};
        if (!CreateProcessA(nullptr, line.data(), &processAttributes, &threadAttributes, TRUE,
                            NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &info)) {
            s.error = GetLastError();
            return false;
        }
        s.failure = StartFailure::None;
        state_->process.reset(info.hProcess);
        state_->thread.reset(info.hThread);
        // Only the child holds the write end now, so the end of its output ends the reads.
        state_->writeEnd.close();
        return true;
    } catch (...) {
        return false;
    }
}

std::string ChildProcess::startFailure() const {
    switch (state_->failure) {
        case StartFailure::None:
            return {};
        case StartFailure::NoPipe:
            return "no pipe";
        case StartFailure::NulInLine:
            return "a NUL character in the line";
        case StartFailure::System:
            break;
    }
    switch (state_->error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return "not found";
        case ERROR_ACCESS_DENIED:
        case kErrorElevationRequired:
            return "permission denied";
        case ERROR_BAD_EXE_FORMAT:
        case ERROR_EXE_MACHINE_TYPE_MISMATCH:
            return "not an executable";
        default:
            return "system error " + std::to_string(state_->error);
    }
}

ChildProcess::ReadResult ChildProcess::read(char* buffer, std::size_t size,
                                            std::chrono::milliseconds wait) noexcept {
    using Kind = ReadResult::Kind;
    if (!state_->process.isOpen() || !state_->readEnd.isOpen() || size == 0) return {Kind::End, 0};
    const HANDLE pipe = state_->readEnd.get();
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(wait.count());
    for (;;) {
        DWORD available = 0;
        // Fails once the write end is closed everywhere and everything written has been read
        // (ERROR_BROKEN_PIPE): the end of the output.
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return {Kind::End, 0};
        if (available > 0) {
            const DWORD want = size < available ? static_cast<DWORD>(size) : available;
            DWORD n = 0;
            // Not overlapped; the bytes are there, so this does not block.
            if (!ReadFile(pipe, buffer, want, &n, nullptr)) return {Kind::End, 0};
            if (n != 0) return {Kind::Data, n};
            continue;
        }
        if (GetTickCount64() >= deadline) return {Kind::Idle, 0};
        Sleep(kPeekNapMilliseconds);
    }
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds limit) noexcept {
    if (!state_->process.isOpen()) return std::nullopt;
    const auto milliseconds = static_cast<DWORD>(limit.count() > 0 ? limit.count() : 0);
    if (WaitForSingleObject(state_->process.get(), milliseconds) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    if (!GetExitCodeProcess(state_->process.get(), &code)) return std::nullopt;
    // Exit codes are 32-bit; an NTSTATUS such as 0xC0000005 reads back as a negative int.
    return static_cast<int>(code);
}

void ChildProcess::close() noexcept {
    // The child is not waited for: the end of its output is the end of the run.
    state_->process.close();
    state_->thread.close();
    state_->readEnd.close();
    state_->writeEnd.close();
}

void ChildProcess::releaseFinished() noexcept {}

}  // namespace talvrin
