// Image files on POSIX: descriptors, open(2) and unlink(2).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

#include "platform/os/files.h"

namespace talvrin::platform {

std::optional<std::size_t> File::read(void* out, std::size_t count) noexcept {
    if (!isOpen() || (out == nullptr && count != 0)) return std::nullopt;
    const int fd = static_cast<int>(handle_);
    auto* p = static_cast<unsigned char*>(out);
    std::size_t done = 0;
    while (done < count) {
        const std::size_t chunk =
            std::min<std::size_t>(count - done, std::numeric_limits<ssize_t>::max());
        const ssize_t n = ::read(fd, p + done, chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) break;  // end of file
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool File::write(const void* data, std::size_t count) noexcept {
    if (!isOpen() || (data == nullptr && count != 0)) return false;
    const int fd = static_cast<int>(handle_);
    const auto* p = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < count) {
        const std::size_t chunk =
            std::min<std::size_t>(count - done, std::numeric_limits<ssize_t>::max());
        const ssize_t n = ::write(fd, p + done, chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::optional<std::uint64_t> File::seek(std::int64_t offset, SeekOrigin origin) noexcept {
    if (!isOpen()) return std::nullopt;
    constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};  // by SeekOrigin
    const int whence = kWhence[static_cast<int>(origin)];
    const off_t r = ::lseek(static_cast<int>(handle_), static_cast<off_t>(offset), whence);
    if (r < 0) return std::nullopt;
    return static_cast<std::uint64_t>(r);
}

std::optional<std::uint64_t> File::size() const noexcept {
    if (!isOpen()) return std::nullopt;
    struct stat st {};
    if (::fstat(static_cast<int>(handle_), &st) != 0 || st.st_size < 0) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

bool File::close() noexcept {
    if (!isOpen()) return true;
    const int fd = static_cast<int>(handle_);
    handle_ = kNoHandle;
    // The descriptor is released even when close reports an error; never retry it.
    return ::close(fd) == 0;
}

std::intptr_t File::openNative(std::string_view path, bool forReading) {
    const std::string cpath(path);
    int fd = -1;
    if (forReading) {
        do {
            fd = ::open(cpath.c_str(), O_RDONLY | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) return kNoHandle;
        // A directory opens for reading on this platform but is not a file.
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return kNoHandle;
        }
    } else {
        // Truncating in place (rather than replacing the file) keeps its permission bits,
        // owner and links; a new file gets 0666 less the process mask.
        do {
            fd = ::open(cpath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) return kNoHandle;
    }
    return fd;
}

bool File::deleteNative(std::string_view path) {
    const std::string cpath(path);
    struct stat st {};
    if (::lstat(cpath.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    // Removing a name needs no write permission on the file itself, so a read-only file goes as
    // any other.
    return ::unlink(cpath.c_str()) == 0;
}

}  // namespace talvrin::platform
