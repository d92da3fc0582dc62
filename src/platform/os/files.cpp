#include "platform/os/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace talvrin::platform {

File openFileDescriptor(int fd) noexcept {
    return File(fd);
}

namespace {

// The path as a NUL-terminated string; nothing when the name itself holds a NUL (such a name
// cannot name a file and must not be silently shortened).
std::optional<std::string> toCPath(std::string_view path) {
    if (path.empty() || path.find('\0') != std::string_view::npos) return std::nullopt;
    return std::string(path);
}

}  // namespace

File::~File() {
    close();
}

File::File(File&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

std::optional<std::size_t> File::read(void* out, std::size_t count) noexcept {
    if (fd_ < 0 || (out == nullptr && count != 0)) return std::nullopt;
    auto* p = static_cast<unsigned char*>(out);
    std::size_t done = 0;
    while (done < count) {
        const std::size_t chunk =
            std::min<std::size_t>(count - done, std::numeric_limits<ssize_t>::max());
        const ssize_t n = ::read(fd_, p + done, chunk);
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
    if (fd_ < 0 || (data == nullptr && count != 0)) return false;
    const auto* p = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < count) {
        const std::size_t chunk =
            std::min<std::size_t>(count - done, std::numeric_limits<ssize_t>::max());
        const ssize_t n = ::write(fd_, p + done, chunk);
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
    if (fd_ < 0) return std::nullopt;
    int whence = SEEK_SET;
    if (origin == SeekOrigin::Current) whence = SEEK_CUR;
    if (origin == SeekOrigin::End) whence = SEEK_END;
    const off_t r = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (r < 0) return std::nullopt;
    return static_cast<std::uint64_t>(r);
}

std::optional<std::uint64_t> File::size() const noexcept {
    if (fd_ < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || st.st_size < 0) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

bool File::close() noexcept {
    if (fd_ < 0) return true;
    const int fd = fd_;
    fd_ = -1;
    // The descriptor is released even when close reports an error; never retry it.
    return ::close(fd) == 0;
}

File OpenImageFile(std::string_view path, bool forReading) noexcept {
    try {
        const auto cpath = toCPath(path);
        if (!cpath) return File();
        int fd = -1;
        if (forReading) {
            do {
                fd = ::open(cpath->c_str(), O_RDONLY | O_CLOEXEC);
            } while (fd < 0 && errno == EINTR);
            if (fd < 0) return File();
            // A directory opens for reading on this platform but is not a file.
            struct stat st {};
            if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
                ::close(fd);
                return File();
            }
        } else {
            // Truncating in place (rather than replacing the file) keeps its permission bits,
            // owner and links; a new file gets 0666 less the process mask.
            do {
                fd = ::open(cpath->c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
            } while (fd < 0 && errno == EINTR);
            if (fd < 0) return File();
        }
        return openFileDescriptor(fd);
    } catch (...) {
        return File();
    }
}

bool ForceDeleteFile(std::string_view path) noexcept {
    try {
        const auto cpath = toCPath(path);
        if (!cpath) return false;
        struct stat st {};
        if (::lstat(cpath->c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
        // Removing a name needs no write permission on the file itself, so a read-only file
        // goes as any other.
        return ::unlink(cpath->c_str()) == 0;
    } catch (...) {
        return false;
    }
}

std::string utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    auto put = [&out](char32_t cp) {
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            put(0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) +
                (static_cast<char32_t>(text[i + 1]) - 0xDC00));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            put(0xFFFD);
        } else {
            put(c);
        }
    }
    return out;
}

std::u16string utf8ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        std::uint32_t cp = 0xFFFD;
        size_t len = 1;
        if (b0 < 0x80) {
            cp = b0;
        } else if ((b0 & 0xE0) == 0xC0) {
            len = 2;
        } else if ((b0 & 0xF0) == 0xE0) {
            len = 3;
        } else if ((b0 & 0xF8) == 0xF0) {
            len = 4;
        }
        if (len > 1) {
            if (i + len > s.size()) {
                len = 1;
            } else {
                std::uint32_t v = b0 & (0x7F >> len);
                bool ok = true;
                for (size_t k = 1; k < len; ++k) {
                    const auto b = static_cast<unsigned char>(s[i + k]);
                    if ((b & 0xC0) != 0x80) ok = false;
                    v = (v << 6) | (b & 0x3F);
                }
                static constexpr std::uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
                if (ok && v >= kMin[len] && v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF)) {
                    cp = v;
                } else {
                    len = 1;
                }
            }
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

}  // namespace talvrin::platform
