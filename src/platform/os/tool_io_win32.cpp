// The tool's system services on Windows: file attributes, the standard handles in binary, the
// console, and output files made beside the target and moved over it (MoveFileExW).
#include <windows.h>

#include <atomic>
#include <string>
#include <system_error>
#include <utility>

#include "platform/os/files.h"
#include "platform/os/tool_io.h"

namespace talvrin::platform {

namespace {

constexpr FileFailureRecord kNoMemory{FileFailure::kUnwritable, "out of memory"};

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

// ---- The interrupt clean-up: fixed slots the console handler's thread reads -----------------
constexpr int kSlots = 256;
constexpr std::size_t kNameRoom = 1024;
struct Slot {
    std::atomic<bool> taken{false};
    std::atomic<bool> armed{false};
    wchar_t name[kNameRoom];
};
Slot gSlots[kSlots];

int takeSlot(const std::wstring& name) noexcept {
    if (name.size() >= kNameRoom) return -1;
    for (int i = 0; i < kSlots; ++i) {
        bool expected = false;
        if (!gSlots[i].taken.compare_exchange_strong(expected, true)) continue;
        name.copy(gSlots[i].name, name.size());
        gSlots[i].name[name.size()] = L'\0';
        gSlots[i].armed.store(true);
        return i;
    }
    return -1;
}

void releaseSlot(int slot) noexcept {
    if (slot < 0) return;
    gSlots[slot].armed.store(false);
    gSlots[slot].taken.store(false);
}

BOOL WINAPI removeUnfinished(DWORD) {
    // The temporaries are open with FILE_SHARE_DELETE: deleting one marks it, and it goes when
    // the process ends and its handle closes.
    for (Slot& s : gSlots)
        if (s.armed.load()) DeleteFileW(s.name);
    return FALSE;  // the system's own handling (ending the process) follows
}

}  // namespace

InputStream InputStream::open(std::string_view path, FileFailureRecord& problem) noexcept {
    InputStream in;
    problem = {FileFailure::kUnreadable, {}};
    try {
        HANDLE h = INVALID_HANDLE_VALUE;
        if (path == "-") {
            h = GetStdHandle(STD_INPUT_HANDLE);
            if (h == INVALID_HANDLE_VALUE || h == nullptr) return in;
        } else {
            const auto name = wide(path);
            if (!name) {
                problem.reason = FileFailure::kNotFound;
                return in;
            }
            const DWORD attributes = GetFileAttributesW(name->c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                problem.reason = FileFailure::kIsDirectory;
                return in;
            }
            h = CreateFileW(name->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h == INVALID_HANDLE_VALUE) {
                const DWORD e = GetLastError();
                problem.reason = e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND
                                     ? FileFailure::kNotFound
                                 : e == ERROR_ACCESS_DENIED ? FileFailure::kPermissionDenied
                                                            : FileFailure::kUnreadable;
                return in;
            }
            in.owned_ = true;
        }
        in.handle_ = reinterpret_cast<std::intptr_t>(h);
        if (GetFileType(h) == FILE_TYPE_DISK) {
            LARGE_INTEGER size{}, at{}, none{};
            if (GetFileSizeEx(h, &size) && SetFilePointerEx(h, none, &at, FILE_CURRENT))
                in.size_ = static_cast<std::uint64_t>(
                    size.QuadPart > at.QuadPart ? size.QuadPart - at.QuadPart : 0);
        }
        problem.reason = FileFailure::kNone;
    } catch (...) {
        in.close();
    }
    return in;
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

std::optional<FileIdentity> fileIdentity(std::string_view path) noexcept {
    try {
        const auto name = wide(path);
        if (!name) return std::nullopt;
        // No access asked: the identity of a file that may not be read is still known.
        HANDLE h =
            CreateFileW(name->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return std::nullopt;
        BY_HANDLE_FILE_INFORMATION info{};
        const bool got = GetFileInformationByHandle(h, &info) != 0;
        CloseHandle(h);
        if (!got) return std::nullopt;
        return FileIdentity{info.dwVolumeSerialNumber,
                            (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
    } catch (...) {
        return std::nullopt;
    }
}

bool isDirectory(std::string_view path) noexcept {
    try {
        const auto name = wide(path);
        if (!name) return false;
        const DWORD attributes = GetFileAttributesW(name->c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    } catch (...) {
        return false;
    }
}

FileFailureRecord makeDirectory(std::string_view path) noexcept {
    try {
        const auto name = wide(path);
        if (!name) return writeFailure(ERROR_PATH_NOT_FOUND);
        if (!CreateDirectoryW(name->c_str(), nullptr)) return writeFailure(GetLastError());
        return {};
    } catch (...) {
        return kNoMemory;
    }
}

FileFailureRecord writeStandardOutput(std::span<const std::uint8_t> bytes) noexcept {
    try {
        HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        if (out == INVALID_HANDLE_VALUE || out == nullptr)
            return writeFailure(ERROR_INVALID_HANDLE);
        std::size_t done = 0;
        while (done < bytes.size()) {
            DWORD n = 0;
            const auto chunk =
                static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 30));
            if (!WriteFile(out, bytes.data() + done, chunk, &n, nullptr) || n == 0)
                return writeFailure(GetLastError());
            done += n;
        }
        return {};
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

void ReplacingFile::discard() noexcept {
    if (handle_ != kNoHandle) {
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
        handle_ = kNoHandle;
        if (!inPlace_)
            if (const auto name = wide(temporary_)) DeleteFileW(name->c_str());
    }
    releaseSlot(slot_);
    slot_ = -1;
}

ReplacingFile ReplacingFile::create(std::string_view target) noexcept {
    ReplacingFile f;
    try {
        if (!wide(target)) {
            f.failure_ = writeFailure(ERROR_FILE_NOT_FOUND);
            return f;
        }
        f.target_ = std::string(target);
        if (isDirectory(f.target_)) {
            f.failure_ = writeFailure(ERROR_DIRECTORY);
            return f;
        }
        // A device (NUL, CON, a named pipe) is written as it is, never replaced.
        HANDLE device =
            CreateFileW(wide(f.target_)->c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (device != INVALID_HANDLE_VALUE) {
            if (GetFileType(device) != FILE_TYPE_DISK) {
                f.handle_ = reinterpret_cast<std::intptr_t>(device);
                f.inPlace_ = true;
                return f;
            }
            CloseHandle(device);
        }
        const auto cut = f.target_.find_last_of("/\\:");
        const std::string folder = cut == std::string::npos ? "" : f.target_.substr(0, cut + 1);
        const std::string base = cut == std::string::npos ? f.target_ : f.target_.substr(cut + 1);
        if (base.empty()) {
            f.failure_ = writeFailure(ERROR_DIRECTORY);
            return f;
        }
        static std::atomic<unsigned> counter{0};
        HANDLE h = INVALID_HANDLE_VALUE;
        for (int attempt = 0; h == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
            // A component holds 255 UTF-16 units, never more than its UTF-8 bytes.
            f.temporary_ =
                folder + temporaryNameFor(base,
                                          ".tmp-" + std::to_string(GetCurrentProcessId()) + "-" +
                                              std::to_string(counter.fetch_add(1)),
                                          255);
            const std::wstring name = *wide(f.temporary_);
            f.slot_ = takeSlot(name);
            h = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h == INVALID_HANDLE_VALUE) {
                const DWORD e = GetLastError();
                releaseSlot(f.slot_);
                f.slot_ = -1;
                if (e != ERROR_FILE_EXISTS) {
                    f.failure_ = writeFailure(e);
                    return f;
                }
            }
        }
        if (h == INVALID_HANDLE_VALUE) {
            f.failure_ = writeFailure(ERROR_FILE_EXISTS);
            return f;
        }
        f.handle_ = reinterpret_cast<std::intptr_t>(h);
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
        DWORD n = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 30));
        if (!WriteFile(reinterpret_cast<HANDLE>(handle_), bytes.data() + done, chunk, &n,
                       nullptr) ||
            n == 0) {
            failure_ = writeFailure(GetLastError());
            discard();
            return false;
        }
        done += n;
    }
    return true;
}

bool ReplacingFile::commit() noexcept {
    if (handle_ == kNoHandle) return false;
    try {
        HANDLE h = reinterpret_cast<HANDLE>(std::exchange(handle_, kNoHandle));
        if (inPlace_) {
            // A device takes no flush (the null device refuses one); closing is all.
            CloseHandle(h);
            discard();
            return true;
        }
        const bool flushed = FlushFileBuffers(h) != 0;
        const DWORD flushError = flushed ? 0 : GetLastError();
        CloseHandle(h);
        const std::wstring from = *wide(temporary_), to = *wide(target_);
        if (!flushed || !MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            failure_ = writeFailure(flushed ? GetLastError() : flushError);
            DeleteFileW(from.c_str());
            discard();
            return false;
        }
    } catch (...) {
        failure_ = kNoMemory;
        discard();
        return false;
    }
    discard();
    return true;
}

}  // namespace talvrin::platform
