// The command runner's backend on Windows: an anonymous pipe with inheritable handles, and
// CreateProcessA with the pipe's write end as standard output and standard error, no standard
// input and a hidden window. The whole line goes to process creation as it is: no command
// interpreter in front, nothing expanded, the program named by its first word or leading quoted
// path as the system's own convention finds it. (The repair's lines for the command interpreter
// reach the runner already written as the interpreter's own command line: dos_command_runner.h.)
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/os/child_process.h"

namespace talvrin::platform {

namespace {

HANDLE native(std::intptr_t value) noexcept {
    return reinterpret_cast<HANDLE>(value);
}

std::intptr_t held(HANDLE handle) noexcept {
    return reinterpret_cast<std::intptr_t>(handle);
}

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

// ERROR_ELEVATION_REQUIRED: the program asks to run as an administrator. Not every header set
// names it.
constexpr DWORD kErrorElevationRequired = 740;

}  // namespace

struct ChildProcess::State {
    Handle process;
    Handle thread;
};

ChildProcess::ChildProcess() : state_(std::make_unique<State>()) {}

ChildProcess::~ChildProcess() {
    close();
}

void ChildProcess::Handle::release(std::intptr_t value) noexcept {
    CloseHandle(native(value));
}

bool ChildProcess::openPipe() noexcept {
    SECURITY_ATTRIBUTES attributes = inheritable();
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    // Size 0: the system's default pipe buffer.
    if (!CreatePipe(&readEnd, &writeEnd, &attributes, 0)) return false;
    readEnd_.reset(held(readEnd));
    writeEnd_.reset(held(writeEnd));
    // The child needs only the write end. Were it to inherit the read end as well, a child whose
    // parent has gone would block on a full pipe instead of seeing it broken.
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    return true;
}

bool ChildProcess::hasChild() const noexcept {
    return state_->process.isOpen();
}

// The line is not split here: process creation takes it whole.
bool ChildProcess::launch(const std::string& narrowLine, WordSplitter) {
    // The system would end the line at a NUL; such a line is not run shortened.
    if (narrowLine.find('\0') != std::string::npos) {
        failure_ = StartFailure::NulInLine;
        return false;
    }
    // CreateProcessA may write into the line it is given, so it gets its own copy.
    std::string line = narrowLine;

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = nullptr;
    startup.hStdOutput = native(writeEnd_.get());
    startup.hStdError = native(writeEnd_.get());

    SECURITY_ATTRIBUTES processAttributes = inheritable();
    SECURITY_ATTRIBUTES threadAttributes = inheritable();
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line.data(), &processAttributes, &threadAttributes, TRUE,
                        NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &info)) {
        error_ = GetLastError();
        failure_ = failureOfError(error_);
        return false;
    }
    state_->process.reset(held(info.hProcess));
    state_->thread.reset(held(info.hThread));
    return true;
}

ChildProcess::StartFailure ChildProcess::failureOfError(unsigned long error) noexcept {
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
        error == ERROR_INVALID_NAME)
        return StartFailure::NotFound;
    if (error == ERROR_ACCESS_DENIED || error == kErrorElevationRequired)
        return StartFailure::PermissionDenied;
    if (error == ERROR_BAD_EXE_FORMAT || error == ERROR_EXE_MACHINE_TYPE_MISMATCH)
        return StartFailure::NotExecutable;
    return StartFailure::System;
}

ChildProcess::ReadResult ChildProcess::read(char* buffer, std::size_t size,
                                            std::chrono::milliseconds wait) noexcept {
    using Kind = ReadResult::Kind;
    if (!state_->process.isOpen() || !readEnd_.isOpen() || size == 0) return {Kind::End, 0};
    const HANDLE pipe = native(readEnd_.get());
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
    if (WaitForSingleObject(native(state_->process.get()), milliseconds) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    if (!GetExitCodeProcess(native(state_->process.get()), &code)) return std::nullopt;
    // Exit codes are 32-bit; an NTSTATUS such as 0xC0000005 reads back as a negative int.
    return static_cast<int>(code);
}

void ChildProcess::close() noexcept {
    // The child is not waited for: the end of its output is the end of the run.
    state_->process.close();
    state_->thread.close();
    readEnd_.close();
    writeEnd_.close();
}

void ChildProcess::releaseFinished() noexcept {}

}  // namespace talvrin::platform
