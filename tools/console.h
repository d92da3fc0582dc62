// The tool's two output streams, shared by the threads of a batch: whole lines only, never
// interleaved, and on a terminal one progress line that error lines push up.
#pragma once

#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace talvrin::tool {

class Console {
  public:
    // showProgress: draw the progress line (only sensible when err is a terminal).
    Console(std::FILE* out, std::FILE* err, bool showProgress) noexcept
        : out_(out), err_(err), showProgress_(showProgress) {}

    // Writes text to standard output as it is.
    void out(std::string_view text);
    // Writes one line (a newline is added) to standard error, above the progress line.
    void error(std::string_view line);
    // An error line that does not fail anything; dropped when quiet.
    void warning(std::string_view line);
    // Quiet: no warnings and no progress line.
    void setQuiet(bool quiet) noexcept { quiet_ = quiet; }
    // "[n/total] name" on the progress line, when progress is shown.
    void progress(std::size_t n, std::size_t total, std::string_view name);
    // Clears the progress line.
    void endProgress();

    [[nodiscard]] std::FILE* outStream() const noexcept { return out_; }
    [[nodiscard]] std::FILE* errStream() const noexcept { return err_; }

  private:
    void clearProgressLocked();
    std::mutex mutex_;
    std::FILE* out_;
    std::FILE* err_;
    bool showProgress_;
    bool quiet_ = false;
    std::string shown_;  // the progress line on the screen now
};

}  // namespace talvrin::tool
