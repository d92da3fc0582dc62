// The tool's system services on POSIX: stat(2), the standard descriptors, and output files made
// with open(O_EXCL) beside the target and rename(2)d over it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <system_error>
#include <utility>

#include "platform/os/tool_io.h"

namespace talvrin::platform {

namespace {

constexpr FileFailureRecord kNoMemory{FileFailure::kUnwritable, "out of memory"};

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

// ---- The interrupt clean-up ---------------------------------------------------------------
// Fixed slots, so that the signal handler touches only memory that never moves: a slot's name
// is written first and published by `armed`; the handler unlinks every armed name.
constexpr int kSlots = 256;
constexpr std::size_t kNameRoom = 4096;
struct Slot {
    std::atomic<bool> taken{false};
    std::atomic<bool> armed{false};
    char name[kNameRoom];
};
Slot gSlots[kSlots];

int takeSlot(const std::string& name) noexcept {
    if (name.size() >= kNameRoom) return -1;
    for (int i = 0; i < kSlots; ++i) {
        bool expected = false;
        if (!gSlots[i].taken.compare_exchange_strong(expected, true)) continue;
        std::memcpy(gSlots[i].name, name.c_str(), name.size() + 1);
        gSlots[i].armed.store(true);
        return i;
    }
    return -1;  // more files at once than slots: that file is not cleaned up on interruption
}

void releaseSlot(int slot) noexcept {
    if (slot < 0) return;
    gSlots[slot].armed.store(false);
    gSlots[slot].taken.store(false);
}

extern "C" void removeUnfinishedAndRaise(int signal) {
    for (Slot& s : gSlots)
        if (s.armed.load()) ::unlink(s.name);  // async-signal-safe
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

std::optional<std::string> cPath(std::string_view path) {
    if (path.empty() || path.find('\0') != std::string_view::npos) return std::nullopt;
    return std::string(path);
}

}  // namespace

InputStream InputStream::open(std::string_view path, FileFailureRecord& problem) noexcept {
    InputStream in;
    problem = {FileFailure::kUnreadable, {}};
    try {
        int fd = STDIN_FILENO;
        if (path != "-") {
            const auto p = cPath(path);
            if (!p) {
                problem.reason = FileFailure::kNotFound;
                return in;
            }
            do {
                fd = ::open(p->c_str(), O_RDONLY | O_CLOEXEC);
            } while (fd < 0 && errno == EINTR);
            if (fd < 0) {
                problem.reason = errno == ENOENT || errno == ENOTDIR ? FileFailure::kNotFound
                                 : errno == EACCES ? FileFailure::kPermissionDenied
                                 : errno == EISDIR ? FileFailure::kIsDirectory
                                                   : FileFailure::kUnreadable;
                return in;
            }
            in.owned_ = true;
        }
        in.handle_ = fd;
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            in.close();
            return in;
        }
        if (S_ISDIR(st.st_mode)) {
            in.close();
            problem.reason = FileFailure::kIsDirectory;
            return in;
        }
        if (S_ISREG(st.st_mode)) {
            // Standard input redirected from a file may already be read from partway.
            const off_t at = ::lseek(fd, 0, SEEK_CUR);
            const auto from = static_cast<std::uint64_t>(at > 0 ? at : 0);
            const auto size = static_cast<std::uint64_t>(st.st_size);
            in.size_ = size > from ? size - from : 0;
        }
        problem.reason = FileFailure::kNone;
    } catch (...) {
        in.close();
    }
    return in;
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

std::optional<FileIdentity> fileIdentity(std::string_view path) noexcept {
    try {
        const auto p = cPath(path);
        struct stat st {};
        if (!p || ::stat(p->c_str(), &st) != 0) return std::nullopt;
        return FileIdentity{static_cast<std::uint64_t>(st.st_dev),
                            static_cast<std::uint64_t>(st.st_ino)};
    } catch (...) {
        return std::nullopt;
    }
}

bool isDirectory(std::string_view path) noexcept {
    try {
        const auto p = cPath(path);
        struct stat st {};
        return p && ::stat(p->c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    } catch (...) {
        return false;
    }
}

FileFailureRecord makeDirectory(std::string_view path) noexcept {
    try {
        const auto p = cPath(path);
        if (!p) return writeFailure(ENOENT);
        if (::mkdir(p->c_str(), 0777) != 0) return writeFailure(errno);
        return {};
    } catch (...) {
        return kNoMemory;
    }
}

FileFailureRecord writeStandardOutput(std::span<const std::uint8_t> bytes) noexcept {
    try {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done,
                                      std::min<std::size_t>(bytes.size() - done, 1 << 30));
            if (n < 0) {
                if (errno == EINTR) continue;
                return writeFailure(errno);
            }
            done += static_cast<std::size_t>(n);
        }
        return {};
    } catch (...) {
        return kNoMemory;
    }
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

void ReplacingFile::discard() noexcept {
    if (handle_ != kNoHandle) {
        ::close(static_cast<int>(handle_));
        handle_ = kNoHandle;
        if (!inPlace_) ::unlink(temporary_.c_str());
    }
    releaseSlot(slot_);
    slot_ = -1;
}

namespace {

// The folder and the name of a path ("a/b.png" -> "a/", "b.png").
std::pair<std::string, std::string> splitPath(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return {"", path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// The longest file name the folder takes.
std::size_t nameMaxOf(const std::string& folder) noexcept {
    const long max = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return max > 0 ? static_cast<std::size_t>(max) : 255;
}

}  // namespace

ReplacingFile ReplacingFile::create(std::string_view target) noexcept {
    ReplacingFile f;
    try {
        const auto p = cPath(target);
        if (!p) {
            f.failure_ = writeFailure(ENOENT);
            return f;
        }
        f.target_ = *p;
        struct stat st {};
        if (::stat(f.target_.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode)) {
                f.failure_ = writeFailure(EISDIR);
                return f;
            }
            if (S_ISSOCK(st.st_mode)) {
                f.failure_ = {FileFailure::kUnwritable, "is a socket"};
                return f;
            }
            // A FIFO, a device, or a standard stream by its name (/dev/stdout, /proc/self/fd/1,
            // whatever it is open on): written as it is, so that it stays what it is.
            const bool streamName =
                f.target_.rfind("/dev/", 0) == 0 || f.target_.rfind("/proc/", 0) == 0;
            if (!S_ISREG(st.st_mode) || streamName) {
                int fd = -1;
                do {
                    fd = ::open(f.target_.c_str(),
                                O_WRONLY | O_CLOEXEC | (S_ISREG(st.st_mode) ? O_TRUNC : 0));
                } while (fd < 0 && errno == EINTR);
                if (fd < 0) {
                    f.failure_ = writeFailure(errno);
                    return f;
                }
                f.handle_ = fd;
                f.inPlace_ = true;
                return f;
            }
            // A link to a file: the file it links to is replaced and the link stays.
            struct stat link {};
            if (::lstat(f.target_.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
                if (char* resolved = ::realpath(f.target_.c_str(), nullptr)) {
                    f.target_ = resolved;
                    std::free(resolved);
                }
            }
        }
        // The temporary lies in the target's folder (a rename never crosses file systems) and
        // is hidden by its leading dot: ".name.tmp-PID-N", the name cut to fit the folder.
        const auto [folder, base] = splitPath(f.target_);
        if (base.empty()) {
            f.failure_ = writeFailure(EISDIR);
            return f;
        }
        const std::size_t nameMax = nameMaxOf(folder);
        static std::atomic<unsigned> counter{0};
        int fd = -1;
        for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
            f.temporary_ = folder + temporaryNameFor(base,
                                                     ".tmp-" + std::to_string(::getpid()) + "-" +
                                                         std::to_string(counter.fetch_add(1)),
                                                     nameMax);
            // The slot is taken before the file exists, so no moment leaves it unrecorded.
            f.slot_ = takeSlot(f.temporary_);
            fd = ::open(f.temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0) {
                const int e = errno;
                releaseSlot(f.slot_);
                f.slot_ = -1;
                if (e != EEXIST && e != EINTR) {
                    f.failure_ = writeFailure(e);
                    return f;
                }
            }
        }
        if (fd < 0) {
            f.failure_ = writeFailure(EEXIST);
            return f;
        }
        f.handle_ = fd;
        // Replacing a file keeps its permission bits, as writing into it would have.
        if (::stat(f.target_.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            ::fchmod(fd, st.st_mode & 07777);
    } catch (...) {
        f.discard();
        f.failure_ = kNoMemory;
    }
    return f;
}

bool ReplacingFile::write(std::span<const std::uint8_t> bytes) noexcept {
    if (handle_ == kNoHandle) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(static_cast<int>(handle_), bytes.data() + done,
                                  std::min<std::size_t>(bytes.size() - done, 1 << 30));
        if (n < 0) {
            if (errno == EINTR) continue;
            failure_ = writeFailure(errno);
            discard();
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool ReplacingFile::commit() noexcept {
    if (handle_ == kNoHandle) return false;
    const int fd = static_cast<int>(std::exchange(handle_, kNoHandle));
    // A write the file system delays (a full disk on a network file system) reports at close.
    if (::close(fd) != 0) {
        failure_ = writeFailure(errno);
        if (!inPlace_) ::unlink(temporary_.c_str());
        discard();
        return false;
    }
    if (inPlace_) {
        discard();
        return true;
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        failure_ = writeFailure(errno);
        ::unlink(temporary_.c_str());
        discard();
        return false;
    }
    discard();
    return true;
}

}  // namespace talvrin::platform
