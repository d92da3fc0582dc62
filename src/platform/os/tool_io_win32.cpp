// The tool's system services on Windows: file attributes, the standard handles in binary, the
// console, and output files made beside the target and moved over it (MoveFileExW).
#include <windows.h>

#include <string>
#include <system_error>
#include <utility>

#include "platform/os/files.h"
#include "platform/os/tool_io.h"
#include "platform/os/tool_io_backend.h"

namespace talvrin::platform {

using tool_io_backend::kNoMemory;

namespace {

// A failed write's record: the reason the error code stands for; for any but a missing file, a
// folder or a refused permission, which say it all, the system's message (without its closing
// full stop) as the detail.
FileFailureRecord writeFailure(DWORD code) noexcept {
    const FileFailure reason = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
                                   ? FileFailure::kNotFound
                               : code == ERROR_DIRECTORY     ? FileFailure::kIsDirectory
                               : code == ERROR_ACCESS_DENIED ? FileFailure::kPermissionDenied
                                                             : FileFailure::kUnwritable;
    if (reason != FileFailure::kUnwritable) return {reason, {}};
    try {
        std::string text = std::system_category().message(static_cast<int>(code));
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.'))
            text.pop_back();
        return {reason, keptMessage(text)};
    } catch (...) {
        return {reason, {}};
    }
}

std::optional<std::wstring> wide(std::string_view path) {
    if (path.empty() || path.find('\0') != std::string_view::npos) return std::nullopt;
    const std::u16string name = utf8ToUtf16(path);
    return std::wstring(name.begin(), name.end());
}

HANDLE native(std::intptr_t handle) noexcept {
    return reinterpret_cast<HANDLE>(handle);
}

// The console handler runs on a thread of its own, so it may convert names as any code does.
BOOL WINAPI removeUnfinished(DWORD) {
    // The temporaries are open with FILE_SHARE_DELETE: deleting one marks it, and it goes when
    // the process ends and its handle closes.
    tool_io_backend::removeUnfinishedFiles();
    return FALSE;  // the system's own handling (ending the process) follows
}

}  // namespace

void InputStream::openNative(std::string_view path, FileFailureRecord& problem) {
    HANDLE h = INVALID_HANDLE_VALUE;
    if (path == "-") {
        h = GetStdHandle(STD_INPUT_HANDLE);
        if (h == INVALID_HANDLE_VALUE || h == nullptr) return;
    } else {
        const std::wstring name = *wide(path);
        const DWORD attributes = GetFileAttributesW(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            problem.reason = FileFailure::kIsDirectory;
            return;
        }
        h = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD e = GetLastError();
            problem.reason = e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND
                                 ? FileFailure::kNotFound
                             : e == ERROR_ACCESS_DENIED ? FileFailure::kPermissionDenied
                                                        : FileFailure::kUnreadable;
            return;
        }
        owned_ = true;
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    if (GetFileType(h) == FILE_TYPE_DISK) {
        LARGE_INTEGER size{}, at{}, none{};
        if (GetFileSizeEx(h, &size) && SetFilePointerEx(h, none, &at, FILE_CURRENT))
            size_ = static_cast<std::uint64_t>(
                size.QuadPart > at.QuadPart ? size.QuadPart - at.QuadPart : 0);
    }
    problem.reason = FileFailure::kNone;
}

void InputStream::close() noexcept {
    if (handle_ != kNoHandle && owned_) CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = kNoHandle;
    owned_ = false;
    size_.reset();
}

std::optional<std::size_t> InputStream::read(void* out, std::size_t count) noexcept {
    if (handle_ == kNoHandle) return std::nullopt;
    DWORD n = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(count, 1 << 30));
    if (!ReadFile(reinterpret_cast<HANDLE>(handle_), out, chunk, &n, nullptr)) {
        // The writer of a pipe closed its end: that is the stream's end.
        if (GetLastError() == ERROR_BROKEN_PIPE) return 0;
        return std::nullopt;
    }
    return n;
}

FileFailureRecord writeStandardOutput(std::span<const std::uint8_t> bytes) noexcept {
    try {
        HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        if (out == INVALID_HANDLE_VALUE || out == nullptr)
            return writeFailure(ERROR_INVALID_HANDLE);
        FileFailureRecord failure;
        tool_io_backend::writeAll(reinterpret_cast<std::intptr_t>(out), bytes, failure);
        return failure;
    } catch (...) {
        return kNoMemory;
    }
}

bool standardErrorIsTerminal() noexcept {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::uint64_t physicalMemoryBytes() noexcept {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
}

void removeUnfinishedFilesOnInterrupt() noexcept {
    SetConsoleCtrlHandler(removeUnfinished, TRUE);
}

void ignoreFileSizeLimitSignal() noexcept {}  // no such signal here

// ---- What the shared half asks of the system (tool_io_backend.h) --------------------------------

namespace tool_io_backend {

const char* const kPathSeparators = "/\\:";

std::optional<FileIdentity> identityOf(const std::string& path) {
    // No access asked: the identity of a file that may not be read is still known.
    HANDLE h =
        CreateFileW(wide(path)->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool got = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (!got) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

bool isFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(wide(path)->c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

FileFailureRecord makeFolder(const std::string& path) {
    if (!CreateDirectoryW(wide(path)->c_str(), nullptr)) return writeFailure(GetLastError());
    return {};
}

Target examineTarget(std::string_view target) {
    Target t;
    if (!wide(target)) {
        t.failure = writeFailure(ERROR_FILE_NOT_FOUND);
        return t;
    }
    t.path = std::string(target);
    if (isDirectory(t.path)) {
        t.failure = writeFailure(ERROR_DIRECTORY);
        return t;
    }
    // A device (NUL, CON, a named pipe) is written as it is, never replaced.
    HANDLE device =
        CreateFileW(wide(t.path)->c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (device != INVALID_HANDLE_VALUE) {
        if (GetFileType(device) != FILE_TYPE_DISK) {
            t.inPlace = reinterpret_cast<std::intptr_t>(device);
            return t;
        }
        CloseHandle(device);
    }
    return t;
}

// A component holds 255 UTF-16 units, never more than its UTF-8 bytes.
std::size_t nameMaxOf(const std::string&) noexcept {
    return 255;
}

unsigned long processId() noexcept {
    return GetCurrentProcessId();
}

std::intptr_t createNew(const std::string& name, bool& taken, FileFailureRecord& failure) noexcept {
    try {
        HANDLE h = CreateFileW(wide(name)->c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) return reinterpret_cast<std::intptr_t>(h);
        const DWORD e = GetLastError();
        taken = e == ERROR_FILE_EXISTS;
        failure = writeFailure(e);
    } catch (...) {
        failure = kNoMemory;
    }
    return kNoHandle;
}

void keepPermissions(std::intptr_t, const std::string&) noexcept {}  // no permission bits here

std::optional<std::size_t> writeSome(std::intptr_t handle, std::span<const std::uint8_t> bytes,
                                     FileFailureRecord& failure) noexcept {
    DWORD n = 0;
    if (!WriteFile(native(handle), bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) ||
        n == 0) {
        failure = writeFailure(GetLastError());
        return std::nullopt;
    }
    return n;
}

bool closeWritten(std::intptr_t handle, bool inPlace, FileFailureRecord& failure) noexcept {
    // A device takes no flush (the null device refuses one); closing is all.
    const bool flushed = inPlace || FlushFileBuffers(native(handle)) != 0;
    const DWORD flushError = flushed ? 0 : GetLastError();
    CloseHandle(native(handle));
    if (!flushed) failure = writeFailure(flushError);
    return flushed;
}

void closeHandle(std::intptr_t handle) noexcept {
    CloseHandle(native(handle));
}

bool moveOver(const std::string& temporary, const std::string& target,
              FileFailureRecord& failure) noexcept {
    try {
        const std::wstring from = *wide(temporary), to = *wide(target);
        if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
        failure = writeFailure(GetLastError());
    } catch (...) {
        failure = kNoMemory;
    }
    return false;
}

void removeFile(const char* name) noexcept {
    try {
        if (const auto w = wide(name)) DeleteFileW(w->c_str());
    } catch (...) {
        // Out of memory: the file stays.
    }
}

}  // namespace tool_io_backend

}  // namespace talvrin::platform
