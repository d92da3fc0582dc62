// Image files on Windows: file HANDLEs opened by their UTF-16 names (CreateFileW), so any name
// the file system holds can be opened whatever the system code page is.
#include <windows.h>

#include <algorithm>
#include <limits>

#include "platform/os/files.h"

namespace talvrin::platform {

namespace {

// The attributes a file opened for reading may carry (read-only, hidden, system, archive and
// normal), passed to CreateFileW as the system's own callers pass them.
constexpr DWORD kReadableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                      FILE_ATTRIBUTE_NORMAL;

// The largest single ReadFile or WriteFile; longer transfers are made in pieces.
constexpr std::size_t kMaxTransfer = std::numeric_limits<DWORD>::max();

HANDLE nativeOf(std::intptr_t handle) noexcept {
    return reinterpret_cast<HANDLE>(handle);
}

// The UTF-8 path as a NUL-terminated UTF-16 name.
std::wstring toWideName(std::string_view path) {
    const std::u16string name = utf8ToUtf16(path);
    return std::wstring(name.begin(), name.end());
}

}  // namespace

std::optional<std::size_t> File::read(void* out, std::size_t count) noexcept {
    if (!isOpen() || (out == nullptr && count != 0)) return std::nullopt;
    auto* p = static_cast<unsigned char*>(out);
    std::size_t done = 0;
    while (done < count) {
        const auto chunk = static_cast<DWORD>(std::min(count - done, kMaxTransfer));
        DWORD n = 0;
        if (!ReadFile(nativeOf(handle_), p + done, chunk, &n, nullptr)) return std::nullopt;
        if (n == 0) break;  // end of file
        done += n;
    }
    return done;
}

bool File::write(const void* data, std::size_t count) noexcept {
    if (!isOpen() || (data == nullptr && count != 0)) return false;
    const auto* p = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < count) {
        const auto chunk = static_cast<DWORD>(std::min(count - done, kMaxTransfer));
        DWORD n = 0;
        if (!WriteFile(nativeOf(handle_), p + done, chunk, &n, nullptr) || n == 0) return false;
        done += n;
    }
    return true;
}

std::optional<std::uint64_t> File::seek(std::int64_t offset, SeekOrigin origin) noexcept {
    if (!isOpen()) return std::nullopt;
    constexpr DWORD kMethods[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};  // by SeekOrigin
    const DWORD method = kMethods[static_cast<int>(origin)];
    LARGE_INTEGER distance{};
    distance.QuadPart = offset;
    LARGE_INTEGER position{};
    // A position before the start of the file is refused by the system.
    if (!SetFilePointerEx(nativeOf(handle_), distance, &position, method)) return std::nullopt;
    return static_cast<std::uint64_t>(position.QuadPart);
}

std::optional<std::uint64_t> File::size() const noexcept {
    if (!isOpen()) return std::nullopt;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(nativeOf(handle_), &size) || size.QuadPart < 0) return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
}

bool File::close() noexcept {
    if (!isOpen()) return true;
    const HANDLE handle = nativeOf(handle_);
    handle_ = kNoHandle;
    return CloseHandle(handle) != 0;
}

std::intptr_t File::openNative(std::string_view path, bool forReading) {
    const std::wstring name = toWideName(path);
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (forReading) {
        // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open.
        handle = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             kReadableAttributes, nullptr);
    } else {
        // CREATE_ALWAYS refuses to replace a hidden or system file unless the new file is given
        // those attributes too, so an existing file's attributes are passed on.
        DWORD attributes = GetFileAttributesW(name.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            attributes = FILE_ATTRIBUTE_NORMAL;
        } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return kNoHandle;
        }
        handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             attributes, nullptr);
    }
    // INVALID_HANDLE_VALUE is kNoHandle.
    return reinterpret_cast<std::intptr_t>(handle);
}

bool File::deleteNative(std::string_view path) {
    const std::wstring name = toWideName(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    // A read-only file cannot be deleted: its attributes are cleared first.
    if (!SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL)) return false;
    return DeleteFileW(name.c_str()) != 0;
}

}  // namespace talvrin::platform
