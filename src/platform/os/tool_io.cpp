// The tool's system services, the half both platforms share: ownership of streams, and an output
// file's whole lifecycle (the temporary file's name and creation beside the target, the writes,
// the move over the target, the clean-up) over the platform's calls in tool_io_backend.h.
#include "platform/os/tool_io.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>

#include "platform/os/tool_io_backend.h"

namespace talvrin::platform {

namespace backend = tool_io_backend;

namespace {

// ---- The interrupt clean-up ---------------------------------------------------------------
// Fixed slots, so that the handler touches only memory that never moves: a slot's name is
// written first and published by `armed`; the handler removes every armed name.
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

// An empty name, or one holding a NUL, names no file (and is never shortened into one that does).
bool mayNameAFile(std::string_view path) noexcept {
    return !path.empty() && path.find('\0') == std::string_view::npos;
}

}  // namespace

InputStream InputStream::open(std::string_view path, FileFailureRecord& problem) noexcept {
    InputStream in;
    problem = {FileFailure::kUnreadable, {}};
    if (path != "-" && !mayNameAFile(path)) {
        problem.reason = FileFailure::kNotFound;
        return in;
    }
    try {
        in.openNative(path, problem);
    } catch (...) {
        in.close();
    }
    return in;
}

void tool_io_backend::removeUnfinishedFiles() noexcept {
    for (Slot& s : gSlots)
        if (s.armed.load()) removeFile(s.name);
}

std::optional<FileIdentity> fileIdentity(std::string_view path) noexcept {
    if (!mayNameAFile(path)) return std::nullopt;
    try {
        return backend::identityOf(std::string(path));
    } catch (...) {
        return std::nullopt;
    }
}

bool isDirectory(std::string_view path) noexcept {
    if (!mayNameAFile(path)) return false;
    try {
        return backend::isFolder(std::string(path));
    } catch (...) {
        return false;
    }
}

FileFailureRecord makeDirectory(std::string_view path) noexcept {
    if (!mayNameAFile(path)) return {FileFailure::kNotFound, {}};
    try {
        return backend::makeFolder(std::string(path));
    } catch (...) {
        return backend::kNoMemory;
    }
}

bool tool_io_backend::writeAll(std::intptr_t handle, std::span<const std::uint8_t> bytes,
                               FileFailureRecord& failure) noexcept {
    std::size_t done = 0;
    while (done < bytes.size()) {
        // At most 1 GiB a call: what every system takes at once.
        const std::size_t piece = std::min<std::size_t>(bytes.size() - done, 1 << 30);
        const auto n = writeSome(handle, bytes.subspan(done, piece), failure);
        if (!n) return false;
        done += *n;
    }
    return true;
}

InputStream::~InputStream() {
    close();
}

InputStream::InputStream(InputStream&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)),
      owned_(std::exchange(other.owned_, false)),
      size_(std::exchange(other.size_, std::nullopt)) {}

InputStream& InputStream::operator=(InputStream&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, kNoHandle);
        owned_ = std::exchange(other.owned_, false);
        size_ = std::exchange(other.size_, std::nullopt);
    }
    return *this;
}

std::string_view keptMessage(std::string_view text) noexcept {
    static std::mutex lock;
    // Nodes never move, so each string's characters stay where they are.
    static std::set<std::string, std::less<>> kept;
    try {
        const std::scoped_lock hold(lock);
        auto at = kept.find(text);
        if (at == kept.end()) at = kept.emplace(text).first;
        return *at;
    } catch (...) {
        return {};
    }
}

std::string temporaryNameFor(std::string_view base, std::string_view suffix, std::size_t nameMax) {
    const std::size_t fixed = 1 + suffix.size();
    std::size_t keep = nameMax > fixed ? std::min(base.size(), nameMax - fixed) : 0;
    // Never half a character: back up over UTF-8 continuation bytes (10xxxxxx).
    while (keep > 0 && keep < base.size() &&
           (static_cast<unsigned char>(base[keep]) & 0xC0) == 0x80)
        --keep;
    std::string name = ".";
    name += base.substr(0, keep);
    name += suffix;
    return name;
}

ReplacingFile::~ReplacingFile() {
    discard();
}

ReplacingFile ReplacingFile::create(std::string_view target) noexcept {
    ReplacingFile f;
    try {
        backend::Target examined = backend::examineTarget(target);
        f.target_ = std::move(examined.path);
        if (examined.failure.reason != FileFailure::kNone) {
            f.failure_ = examined.failure;
            return f;
        }
        if (examined.inPlace != kNoHandle) {
            f.handle_ = examined.inPlace;
            f.inPlace_ = true;
            return f;
        }
        // The temporary lies in the target's folder (a rename never crosses file systems) and
        // is hidden by its leading dot: ".name.tmp-PID-N", the name cut to fit the folder.
        const std::size_t cut = f.target_.find_last_of(backend::kPathSeparators);
        const std::size_t nameAt = cut == std::string::npos ? 0 : cut + 1;
        const std::string folder = f.target_.substr(0, nameAt);
        const std::string base = f.target_.substr(nameAt);
        if (base.empty()) {
            f.failure_ = {FileFailure::kIsDirectory, {}};
            return f;
        }
        const std::size_t nameMax = backend::nameMaxOf(folder);
        static std::atomic<unsigned> counter{0};
        FileFailureRecord failure;
        for (int attempt = 0; f.handle_ == kNoHandle && attempt < 100; ++attempt) {
            f.temporary_ =
                folder + temporaryNameFor(base,
                                          ".tmp-" + std::to_string(backend::processId()) + "-" +
                                              std::to_string(counter.fetch_add(1)),
                                          nameMax);
            // The slot is taken before the file exists, so no moment leaves it unrecorded.
            f.slot_ = takeSlot(f.temporary_);
            bool taken = false;
            f.handle_ = backend::createNew(f.temporary_, taken, failure);
            if (f.handle_ == kNoHandle) {
                releaseSlot(f.slot_);
                f.slot_ = -1;
                if (!taken) break;
            }
        }
        if (f.handle_ == kNoHandle) {
            f.failure_ = failure;  // the last name was taken too, or creating it failed
            return f;
        }
        // Replacing a file keeps its permission bits, as writing into it would have.
        backend::keepPermissions(f.handle_, f.target_);
    } catch (...) {
        f.discard();
        f.failure_ = backend::kNoMemory;
    }
    return f;
}

bool ReplacingFile::write(std::span<const std::uint8_t> bytes) noexcept {
    if (handle_ == kNoHandle) return false;
    if (backend::writeAll(handle_, bytes, failure_)) return true;
    discard();
    return false;
}

bool ReplacingFile::commit() noexcept {
    if (handle_ == kNoHandle) return false;
    // A write the file system delays (a full disk on a network file system) reports at close.
    const bool done =
        backend::closeWritten(std::exchange(handle_, kNoHandle), inPlace_, failure_) &&
        (inPlace_ || backend::moveOver(temporary_, target_, failure_));
    if (!done && !inPlace_) backend::removeFile(temporary_.c_str());
    discard();
    return done;
}

void ReplacingFile::discard() noexcept {
    if (handle_ != kNoHandle) {
        backend::closeHandle(std::exchange(handle_, kNoHandle));
        if (!inPlace_) backend::removeFile(temporary_.c_str());
    }
    releaseSlot(slot_);
    slot_ = -1;
}

ReplacingFile::ReplacingFile(ReplacingFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)),
      inPlace_(std::exchange(other.inPlace_, false)),
      slot_(std::exchange(other.slot_, -1)),
      target_(std::move(other.target_)),
      temporary_(std::move(other.temporary_)),
      failure_(std::exchange(other.failure_, {})) {}

ReplacingFile& ReplacingFile::operator=(ReplacingFile&& other) noexcept {
    if (this != &other) {
        discard();
        handle_ = std::exchange(other.handle_, kNoHandle);
        inPlace_ = std::exchange(other.inPlace_, false);
        slot_ = std::exchange(other.slot_, -1);
        target_ = std::move(other.target_);
        temporary_ = std::move(other.temporary_);
        failure_ = std::exchange(other.failure_, {});
    }
    return *this;
}

}  // namespace talvrin::platform
