// The tool's system services, the half both platforms share: ownership of streams and output
// files, and the temporary file's name.
#include "platform/os/tool_io.h"

#include <mutex>
#include <set>
#include <utility>

namespace talvrin::platform {

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
