// The command runner's backend on Windows: an anonymous pipe with inheritable handles, and
// CreateProcessA with the pipe's write end as standard output and standard error, no standard
// input and a hidden window. The whole line goes to process creation as it is: no command
// interpreter in front, nothing expanded, the program named by its first word or leading quoted
// path as the system's own convention finds it.
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

}  // namespace

struct ChildProcess::State {
    Handle readEnd;
    Handle writeEnd;
    Handle process;
    Handle thread;
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
    try {
        if (!state_->writeEnd.isOpen() || state_->process.isOpen()) return false;
        // The system would end the line at a NUL; such a line is not run shortened.
        if (narrowLine.find('\0') != std::string::npos) return false;
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
                            NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &info))
            return false;
        state_->process.reset(info.hProcess);
        state_->thread.reset(info.hThread);
        // Only the child holds the write end now, so the end of its output ends the reads.
        state_->writeEnd.close();
        return true;
    } catch (...) {
        return false;
    }
}

std::size_t ChildProcess::read(char* buffer, std::size_t size) noexcept {
    if (!state_->process.isOpen() || !state_->readEnd.isOpen() || size == 0) return 0;
    const DWORD want = size < MAXDWORD ? static_cast<DWORD>(size) : MAXDWORD;
    for (;;) {
        DWORD n = 0;
        // Blocking, not overlapped. The read fails at the end of the output (the write end is
        // closed everywhere: ERROR_BROKEN_PIPE) or when the pipe broke.
        if (!ReadFile(state_->readEnd.get(), buffer, want, &n, nullptr)) return 0;
        // A child's write of zero bytes arrives as a successful empty read: not the end.
        if (n != 0) return n;
    }
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
