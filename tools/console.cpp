// The tool's output streams.
#include "tools/console.h"

namespace talvrin::tool {

namespace {
// The progress line stays within 79 columns so that it never wraps on an 80-column terminal.
constexpr std::size_t kProgressWidth = 79;
}  // namespace

void Console::out(std::string_view text) {
    std::lock_guard lock(mutex_);
    std::fwrite(text.data(), 1, text.size(), out_);
}

void Console::clearProgressLocked() {
    if (shown_.empty()) return;
    // Carriage return, spaces over the old line, carriage return: no terminal codes needed.
    std::fprintf(err_, "\r%*s\r", static_cast<int>(shown_.size()), "");
    shown_.clear();
}

void Console::error(std::string_view line) {
    std::lock_guard lock(mutex_);
    const std::string progress = shown_;
    clearProgressLocked();
    std::fwrite(line.data(), 1, line.size(), err_);
    std::fputc('\n', err_);
    if (!progress.empty()) {
        std::fputs(progress.c_str(), err_);
        shown_ = progress;
    }
    std::fflush(err_);
}

void Console::warning(std::string_view line) {
    if (!quiet_) error(line);
}

void Console::progress(std::size_t n, std::size_t total, std::string_view name) {
    if (!showProgress_ || quiet_) return;
    std::lock_guard lock(mutex_);
    std::string line = "[" + std::to_string(n) + "/" + std::to_string(total) + "] ";
    // A long name keeps its end, where the file's own name is.
    const std::size_t room = kProgressWidth > line.size() ? kProgressWidth - line.size() : 0;
    if (name.size() > room && room > 3) {
        line += "...";
        line += name.substr(name.size() - (room - 3));
    } else {
        line += name.substr(0, room);
    }
    // Control characters in a name would move the cursor: shown as '?'.
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    const std::size_t old = shown_.size();
    std::fputc('\r', err_);
    std::fputs(line.c_str(), err_);
    if (old > line.size()) std::fprintf(err_, "%*s", static_cast<int>(old - line.size()), "");
    std::fflush(err_);
    shown_ = line;
    if (old > line.size()) {
        std::fputc('\r', err_);
        std::fputs(line.c_str(), err_);
    }
}

void Console::endProgress() {
    std::lock_guard lock(mutex_);
    clearProgressLocked();
    std::fflush(err_);
}

}  // namespace talvrin::tool
