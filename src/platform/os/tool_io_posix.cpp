// The tool's system services on POSIX: stat(2), the standard descriptors, and output files made
// with open(O_EXCL) beside the target and rename(2)d over it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <limits>
#include <system_error>
#include <utility>

#include "platform/os/tool_io.h"

namespace talvrin::platform {

namespace {

std::string systemMessage(int code) {
    return std::system_category().message(code);
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

ReadProblem whyUnreadable(std::string_view path) noexcept {
    try {
        const auto p = cPath(path);
        if (!p) return ReadProblem::kNotFound;
        struct stat st {};
        if (::stat(p->c_str(), &st) != 0) {
            if (errno == ENOENT || errno == ENOTDIR) return ReadProblem::kNotFound;
            if (errno == EACCES) return ReadProblem::kPermissionDenied;
            return ReadProblem::kOther;
        }
        if (S_ISDIR(st.st_mode)) return ReadProblem::kIsDirectory;
        int fd = -1;
        do {
            fd = ::open(p->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) return errno == EACCES ? ReadProblem::kPermissionDenied : ReadProblem::kOther;
        ::close(fd);
        return S_ISREG(st.st_mode) ? ReadProblem::kNone : ReadProblem::kOther;
    } catch (...) {
        return ReadProblem::kOther;
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

bool readStandardInput(std::vector<std::uint8_t>& out, std::uint64_t limit) noexcept {
    try {
        std::uint8_t chunk[65536];
        for (;;) {
            const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            if (n == 0) return true;
            if (out.size() + static_cast<std::size_t>(n) > limit) return false;
            out.insert(out.end(), chunk, chunk + n);
        }
    } catch (...) {
        return false;
    }
}

std::optional<std::string> writeStandardOutput(std::span<const std::uint8_t> bytes) noexcept {
    try {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done,
                                      std::min<std::size_t>(bytes.size() - done, 1 << 30));
            if (n < 0) {
                if (errno == EINTR) continue;
                return systemMessage(errno);
            }
            done += static_cast<std::size_t>(n);
        }
        return std::nullopt;
    } catch (...) {
        return std::string("out of memory");
    }
}

bool standardErrorIsTerminal() noexcept {
    return ::isatty(STDERR_FILENO) == 1;
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

ReplacingFile::~ReplacingFile() {
    discard();
}

ReplacingFile::ReplacingFile(ReplacingFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)),
      slot_(std::exchange(other.slot_, -1)),
      target_(std::move(other.target_)),
      temporary_(std::move(other.temporary_)),
      error_(std::move(other.error_)) {}

ReplacingFile& ReplacingFile::operator=(ReplacingFile&& other) noexcept {
    if (this != &other) {
        discard();
        handle_ = std::exchange(other.handle_, kNoHandle);
        slot_ = std::exchange(other.slot_, -1);
        target_ = std::move(other.target_);
        temporary_ = std::move(other.temporary_);
        error_ = std::move(other.error_);
    }
    return *this;
}

void ReplacingFile::discard() noexcept {
    if (handle_ != kNoHandle) {
        ::close(static_cast<int>(handle_));
        handle_ = kNoHandle;
        ::unlink(temporary_.c_str());
    }
    releaseSlot(slot_);
    slot_ = -1;
}

ReplacingFile ReplacingFile::create(std::string_view target) noexcept {
    ReplacingFile f;
    try {
        const auto p = cPath(target);
        if (!p) {
            f.error_ = systemMessage(ENOENT);
            return f;
        }
        f.target_ = *p;
        // The temporary lies in the target's folder (a rename never crosses file systems) and
        // is hidden by its leading dot: ".name.tmp-PID-N".
        const auto slash = f.target_.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "" : f.target_.substr(0, slash + 1);
        const std::string base =
            slash == std::string::npos ? f.target_ : f.target_.substr(slash + 1);
        if (base.empty()) {
            f.error_ = systemMessage(EISDIR);
            return f;
        }
        static std::atomic<unsigned> counter{0};
        int fd = -1;
        for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
            f.temporary_ = folder + "." + base + ".tmp-" + std::to_string(::getpid()) + "-" +
                           std::to_string(counter.fetch_add(1));
            // The slot is taken before the file exists, so no moment leaves it unrecorded.
            f.slot_ = takeSlot(f.temporary_);
            fd = ::open(f.temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0) {
                const int e = errno;
                releaseSlot(f.slot_);
                f.slot_ = -1;
                if (e != EEXIST && e != EINTR) {
                    f.error_ = systemMessage(e);
                    return f;
                }
            }
        }
        if (fd < 0) {
            f.error_ = systemMessage(EEXIST);
            return f;
        }
        f.handle_ = fd;
        // Replacing a file keeps its permission bits, as writing into it would have.
        struct stat st {};
        if (::stat(f.target_.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            ::fchmod(fd, st.st_mode & 07777);
    } catch (...) {
        f.discard();
        f.error_ = "out of memory";
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
            error_ = systemMessage(errno);
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
        error_ = systemMessage(errno);
        ::unlink(temporary_.c_str());
        discard();
        return false;
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        error_ = systemMessage(errno);
        ::unlink(temporary_.c_str());
        discard();
        return false;
    }
    discard();
    return true;
}

}  // namespace talvrin::platform
