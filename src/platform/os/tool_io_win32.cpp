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

std::string systemMessage(DWORD code) {
    std::string text = std::system_category().message(static_cast<int>(code));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.'))
        text.pop_back();
    return text;
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

ReadProblem whyUnreadable(std::string_view path) noexcept {
    try {
        const auto name = wide(path);
        if (!name) return ReadProblem::kNotFound;
        const DWORD attributes = GetFileAttributesW(name->c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD e = GetLastError();
            if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND)
                return ReadProblem::kNotFound;
            if (e == ERROR_ACCESS_DENIED) return ReadProblem::kPermissionDenied;
            return ReadProblem::kOther;
        }
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ReadProblem::kIsDirectory;
        HANDLE h = CreateFileW(name->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return GetLastError() == ERROR_ACCESS_DENIED ? ReadProblem::kPermissionDenied
                                                         : ReadProblem::kOther;
        CloseHandle(h);
        return ReadProblem::kNone;
    } catch (...) {
        return ReadProblem::kOther;
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

bool readStandardInput(std::vector<std::uint8_t>& out, std::uint64_t limit) noexcept {
    try {
        HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
        if (in == INVALID_HANDLE_VALUE || in == nullptr) return false;
        std::uint8_t chunk[65536];
        for (;;) {
            DWORD n = 0;
            if (!ReadFile(in, chunk, sizeof chunk, &n, nullptr))
                return GetLastError() == ERROR_BROKEN_PIPE;  // the writer closed its end
            if (n == 0) return true;
            if (out.size() + n > limit) return false;
            out.insert(out.end(), chunk, chunk + n);
        }
    } catch (...) {
        return false;
    }
}

std::optional<std::string> writeStandardOutput(std::span<const std::uint8_t> bytes) noexcept {
    try {
        HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        if (out == INVALID_HANDLE_VALUE || out == nullptr)
            return systemMessage(ERROR_INVALID_HANDLE);
        std::size_t done = 0;
        while (done < bytes.size()) {
            DWORD n = 0;
            const auto chunk =
                static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 30));
            if (!WriteFile(out, bytes.data() + done, chunk, &n, nullptr) || n == 0)
                return systemMessage(GetLastError());
            done += n;
        }
        return std::nullopt;
    } catch (...) {
        return std::string("out of memory");
    }
}

bool standardErrorIsTerminal() noexcept {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void removeUnfinishedFilesOnInterrupt() noexcept {
    SetConsoleCtrlHandler(removeUnfinished, TRUE);
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
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
        handle_ = kNoHandle;
        if (const auto name = wide(temporary_)) DeleteFileW(name->c_str());
    }
    releaseSlot(slot_);
    slot_ = -1;
}

ReplacingFile ReplacingFile::create(std::string_view target) noexcept {
    ReplacingFile f;
    try {
        if (!wide(target)) {
            f.error_ = systemMessage(ERROR_FILE_NOT_FOUND);
            return f;
        }
        f.target_ = std::string(target);
        const auto cut = f.target_.find_last_of("/\\:");
        const std::string folder = cut == std::string::npos ? "" : f.target_.substr(0, cut + 1);
        const std::string base = cut == std::string::npos ? f.target_ : f.target_.substr(cut + 1);
        if (base.empty()) {
            f.error_ = systemMessage(ERROR_DIRECTORY);
            return f;
        }
        static std::atomic<unsigned> counter{0};
        HANDLE h = INVALID_HANDLE_VALUE;
        for (int attempt = 0; h == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
            f.temporary_ = folder + "." + base + ".tmp-" + std::to_string(GetCurrentProcessId()) +
                           "-" + std::to_string(counter.fetch_add(1));
            const std::wstring name = *wide(f.temporary_);
            f.slot_ = takeSlot(name);
            h = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h == INVALID_HANDLE_VALUE) {
                const DWORD e = GetLastError();
                releaseSlot(f.slot_);
                f.slot_ = -1;
                if (e != ERROR_FILE_EXISTS) {
                    f.error_ = systemMessage(e);
                    return f;
                }
            }
        }
        if (h == INVALID_HANDLE_VALUE) {
            f.error_ = systemMessage(ERROR_FILE_EXISTS);
            return f;
        }
        f.handle_ = reinterpret_cast<std::intptr_t>(h);
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
        DWORD n = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 30));
        if (!WriteFile(reinterpret_cast<HANDLE>(handle_), bytes.data() + done, chunk, &n,
                       nullptr) ||
            n == 0) {
            error_ = systemMessage(GetLastError());
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
        const bool flushed = FlushFileBuffers(h) != 0;
        const DWORD flushError = flushed ? 0 : GetLastError();
        CloseHandle(h);
        const std::wstring from = *wide(temporary_), to = *wide(target_);
        if (!flushed || !MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            error_ = systemMessage(flushed ? GetLastError() : flushError);
            DeleteFileW(from.c_str());
            discard();
            return false;
        }
    } catch (...) {
        error_ = "out of memory";
        discard();
        return false;
    }
    discard();
    return true;
}

}  // namespace talvrin::platform
