// What a command-line tool needs of the system beyond opening image files: why a file could not
// be read, the standard streams as bytes, whether standard error is a terminal, folders, and
// output files that appear whole or not at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace talvrin::platform {

// Why a path cannot be read as a file.
enum class ReadProblem : std::uint8_t {
    kNone,              // it opens as a regular file
    kNotFound,          // no such file (or a folder on the way is missing)
    kIsDirectory,       // the path names a folder
    kPermissionDenied,  // the file or a folder on the way may not be read
    kOther,             // anything else (a device, an I/O error, a name no file can have)
};

// Looks at the path and tells why it cannot be opened for reading (kNone when it can).
[[nodiscard]] ReadProblem whyUnreadable(std::string_view path) noexcept;

// True when the path names an existing folder.
[[nodiscard]] bool isDirectory(std::string_view path) noexcept;

// Reads all of standard input as bytes (no text translation). False on a read error or when
// more than `limit` bytes arrive (out keeps what was read).
bool readStandardInput(std::vector<std::uint8_t>& out, std::uint64_t limit) noexcept;

// Writes the bytes to standard output as they are and flushes; the system's message on failure.
[[nodiscard]] std::optional<std::string> writeStandardOutput(
    std::span<const std::uint8_t> bytes) noexcept;

// True when standard error is a terminal (a console on Windows).
[[nodiscard]] bool standardErrorIsTerminal() noexcept;

// Removes the temporary files of unfinished ReplacingFiles when the process is interrupted
// (SIGINT, SIGTERM, SIGHUP on POSIX; a console interrupt or close on Windows), then lets the
// interruption end the process as it would have. Call once, early.
void removeUnfinishedFilesOnInterrupt() noexcept;

// An output file written under a temporary name beside the target and renamed over it once
// complete, so that the target is either the old file or the whole new one: a failed write
// (a full disk, an error on close) or an interruption leaves no partial file behind. An
// existing target's permission bits carry over (POSIX). Not copyable; the temporary file is
// removed when the object goes without commit().
class ReplacingFile {
  public:
    ReplacingFile() noexcept = default;
    ~ReplacingFile();
    ReplacingFile(ReplacingFile&& other) noexcept;
    ReplacingFile& operator=(ReplacingFile&& other) noexcept;
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary file beside target. On failure the object stays closed and
    // error() tells why.
    [[nodiscard]] static ReplacingFile create(std::string_view target) noexcept;

    [[nodiscard]] bool isOpen() const noexcept { return handle_ != kNoHandle; }
    // Appends bytes; false (and error() set) on failure.
    bool write(std::span<const std::uint8_t> bytes) noexcept;
    // Closes the temporary file and renames it over the target; false (and error() set, the
    // temporary removed) on failure.
    bool commit() noexcept;
    // The system's message for the first failure ("No space left on device"), or empty.
    [[nodiscard]] const std::string& error() const noexcept { return error_; }

  private:
    static constexpr std::intptr_t kNoHandle = -1;
    void discard() noexcept;
    std::intptr_t handle_ = kNoHandle;
    int slot_ = -1;  // the interrupt clean-up's record of the temporary name, or -1
    std::string target_, temporary_, error_;
};

}  // namespace talvrin::platform
