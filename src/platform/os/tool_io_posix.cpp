// The tool's system services on POSIX: stat(2), the standard descriptors, and output files made
// with open(O_EXCL) beside the target and rename(2)d over it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <limits>
#include <system_error>
#include <utility>

#include "platform/os/tool_io.h"
#include "platform/os/tool_io_backend.h"

namespace talvrin::platform {

using tool_io_backend::kNoMemory;

namespace {

// A failed write's record: the reason the error code stands for; for any but a missing file, a
// folder or a refused permission, which say it all, the system's message as the detail.
FileFailureRecord writeFailure(int code) noexcept {
    const FileFailure reason = code == ENOENT || code == ENOTDIR ? FileFailure::kNotFound
                               : code == EISDIR                  ? FileFailure::kIsDirectory
                               : code == EACCES || code == EPERM ? FileFailure::kPermissionDenied
                                                                 : FileFailure::kUnwritable;
    if (reason != FileFailure::kUnwritable) return {reason, {}};
    try {
        return {reason, keptMessage(std::system_category().message(code))};
    } catch (...) {
        return {reason, {}};
    }
}

extern "C" void removeUnfinishedAndRaise(int signal) {
    tool_io_backend::removeUnfinishedFiles();  // unlink only: async-signal-safe
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

std::optional<std::string> cPath(std::string_view path) {
    if (path.empty() || path.find('\0') != std::string_view::npos) return std::nullopt;
    return std::string(path);
}

}  // namespace

void InputStream::openNative(std::string_view path, FileFailureRecord& problem) {
    int fd = STDIN_FILENO;
    if (path != "-") {
        const std::string p(path);
        do {
            fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            problem.reason = errno == ENOENT || errno == ENOTDIR ? FileFailure::kNotFound
                             : errno == EACCES                   ? FileFailure::kPermissionDenied
                             : errno == EISDIR                   ? FileFailure::kIsDirectory
                                                                 : FileFailure::kUnreadable;
            return;
        }
        owned_ = true;
    }
    handle_ = fd;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        close();
        return;
    }
    if (S_ISDIR(st.st_mode)) {
        close();
        problem.reason = FileFailure::kIsDirectory;
        return;
    }
    if (S_ISREG(st.st_mode)) {
        // Standard input redirected from a file may already be read from partway.
        const off_t at = ::lseek(fd, 0, SEEK_CUR);
        const auto from = static_cast<std::uint64_t>(at > 0 ? at : 0);
        const auto size = static_cast<std::uint64_t>(st.st_size);
        size_ = size > from ? size - from : 0;
    }
    problem.reason = FileFailure::kNone;
}

void InputStream::close() noexcept {
    if (handle_ != kNoHandle && owned_) ::close(static_cast<int>(handle_));
    handle_ = kNoHandle;
    owned_ = false;
    size_.reset();
}

std::optional<std::size_t> InputStream::read(void* out, std::size_t count) noexcept {
    if (handle_ == kNoHandle) return std::nullopt;
    for (;;) {
        const ssize_t n =
            ::read(static_cast<int>(handle_), out, std::min<std::size_t>(count, 1 << 30));
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) return std::nullopt;
    }
}

FileFailureRecord writeStandardOutput(std::span<const std::uint8_t> bytes) noexcept {
    FileFailureRecord failure;
    tool_io_backend::writeAll(STDOUT_FILENO, bytes, failure);
    return failure;
}

bool standardErrorIsTerminal() noexcept {
    return ::isatty(STDERR_FILENO) == 1;
}

std::uint64_t physicalMemoryBytes() noexcept {
    const long pages = ::sysconf(_SC_PHYS_PAGES), size = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || size <= 0) return 0;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size);
}

void ignoreFileSizeLimitSignal() noexcept {
    ::signal(SIGXFSZ, SIG_IGN);
}

void removeUnfinishedFilesOnInterrupt() noexcept {
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction now {};
        // An interruption the caller's parent already ignores stays ignored.
        if (::sigaction(s, nullptr, &now) == 0 && now.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = removeUnfinishedAndRaise;
        sigemptyset(&action.sa_mask);
        ::sigaction(s, &action, nullptr);
    }
}

// ---- What the shared half asks of the system (tool_io_backend.h) --------------------------------

namespace tool_io_backend {

const char* const kPathSeparators = "/";

std::optional<FileIdentity> identityOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev),
                        static_cast<std::uint64_t>(st.st_ino)};
}

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

FileFailureRecord makeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) != 0) return writeFailure(errno);
    return {};
}

Target examineTarget(std::string_view target) {
    Target t;
    const auto p = cPath(target);
    if (!p) {
        t.failure = writeFailure(ENOENT);
        return t;
    }
    t.path = *p;
    struct stat st {};
    if (::stat(t.path.c_str(), &st) != 0) return t;  // a new file
    if (S_ISDIR(st.st_mode)) {
        t.failure = writeFailure(EISDIR);
        return t;
    }
    if (S_ISSOCK(st.st_mode)) {
        t.failure = {FileFailure::kUnwritable, "is a socket"};
        return t;
    }
    // A FIFO, a device, or a standard stream by its name (/dev/stdout, /proc/self/fd/1,
    // whatever it is open on): written as it is, so that it stays what it is.
    const bool streamName = t.path.rfind("/dev/", 0) == 0 || t.path.rfind("/proc/", 0) == 0;
    if (!S_ISREG(st.st_mode) || streamName) {
        int fd = -1;
        do {
            fd = ::open(t.path.c_str(), O_WRONLY | O_CLOEXEC | (S_ISREG(st.st_mode) ? O_TRUNC : 0));
        } while (fd < 0 && errno == EINTR);
        if (fd < 0)
            t.failure = writeFailure(errno);
        else
            t.inPlace = fd;
        return t;
    }
    // A link to a file: the file it links to is replaced and the link stays.
    struct stat link {};
    if (::lstat(t.path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char* resolved = ::realpath(t.path.c_str(), nullptr)) {
            t.path = resolved;
            std::free(resolved);
        }
    }
    return t;
}

std::size_t nameMaxOf(const std::string& folder) noexcept {
    const long max = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return max > 0 ? static_cast<std::size_t>(max) : 255;
}

unsigned long processId() noexcept {
    return static_cast<unsigned long>(::getpid());
}

std::intptr_t createNew(const std::string& name, bool& taken, FileFailureRecord& failure) noexcept {
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    const int e = errno;
    taken = e == EEXIST || e == EINTR;
    failure = writeFailure(taken ? EEXIST : e);
    return kNoHandle;
}

void keepPermissions(std::intptr_t handle, const std::string& replaced) noexcept {
    struct stat st {};
    if (::stat(replaced.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        ::fchmod(static_cast<int>(handle), st.st_mode & 07777);
}

std::optional<std::size_t> writeSome(std::intptr_t handle, std::span<const std::uint8_t> bytes,
                                     FileFailureRecord& failure) noexcept {
    for (;;) {
        const ssize_t n = ::write(static_cast<int>(handle), bytes.data(), bytes.size());
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno == EINTR) continue;
        failure = writeFailure(errno);
        return std::nullopt;
    }
}

bool closeWritten(std::intptr_t handle, bool, FileFailureRecord& failure) noexcept {
    if (::close(static_cast<int>(handle)) == 0) return true;
    failure = writeFailure(errno);
    return false;
}

void closeHandle(std::intptr_t handle) noexcept {
    ::close(static_cast<int>(handle));
}

bool moveOver(const std::string& temporary, const std::string& target,
              FileFailureRecord& failure) noexcept {
    if (::rename(temporary.c_str(), target.c_str()) == 0) return true;
    failure = writeFailure(errno);
    return false;
}

void removeFile(const char* name) noexcept {
    ::unlink(name);
}

}  // namespace tool_io_backend

}  // namespace talvrin::platform
