// What a command-line tool needs of the system beyond opening image files: inputs read as
// streams (files, standard input, FIFOs, devices) with the reason one cannot be opened, file
// identities, folders, the standard output as bytes, whether standard error is a terminal, the
// machine's memory, and output files that appear whole or not at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/file_failure.h"

namespace talvrin::platform {

// The text kept for the life of the process, so that a failure record may name it as its
// detail: one copy of each distinct text (the system's messages, a bounded set). Empty when
// there is no memory for it.
[[nodiscard]] std::string_view keptMessage(std::string_view text) noexcept;

// An input read once from its start to its end: a regular file, standard input ("-"), a FIFO or
// a character device alike. Not copyable; closed when it goes (standard input stays open).
class InputStream {
  public:
    InputStream() noexcept = default;
    ~InputStream();
    InputStream(InputStream&& other) noexcept;
    InputStream& operator=(InputStream&& other) noexcept;
    InputStream(const InputStream&) = delete;
    InputStream& operator=(const InputStream&) = delete;

    // Opens the path for reading ("-": standard input). A FIFO waits for its writer, as any
    // reader of one does. On failure the stream stays closed and `problem` says why (not found,
    // is a directory, permission denied, unreadable; no detail).
    [[nodiscard]] static InputStream open(std::string_view path,
                                          FileFailureRecord& problem) noexcept;

    [[nodiscard]] bool isOpen() const noexcept { return handle_ != kNoHandle; }
    // The bytes left in a regular file; nothing for a stream, whose length is unknown.
    [[nodiscard]] std::optional<std::uint64_t> fileSize() const noexcept { return size_; }
    // Reads up to count bytes: how many were read (0 at the end), or nothing on an error.
    std::optional<std::size_t> read(void* out, std::size_t count) noexcept;

  private:
    static constexpr std::intptr_t kNoHandle = -1;
    // open()'s platform half (tool_io_posix.cpp, tool_io_win32.cpp), for "-" or a path that may
    // name a file: sets problem's reason to kNone once the stream is open. May throw bad_alloc.
    void openNative(std::string_view path, FileFailureRecord& problem);
    void close() noexcept;
    std::intptr_t handle_ = kNoHandle;
    bool owned_ = false;  // false for standard input
    std::optional<std::uint64_t> size_;
};

// Which file a path names, whatever name reaches it (links, "./", another spelling): equal for
// two paths exactly when they name the same file.
struct FileIdentity {
    std::uint64_t device = 0, file = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};
// The identity of an existing file or folder; nothing when the path names none.
[[nodiscard]] std::optional<FileIdentity> fileIdentity(std::string_view path) noexcept;

// True when the path names an existing folder.
[[nodiscard]] bool isDirectory(std::string_view path) noexcept;

// Makes the folder (its parent must exist, as with mkdir). On failure the record's detail is the
// system's message.
[[nodiscard]] FileFailureRecord makeDirectory(std::string_view path) noexcept;

// Writes the bytes to standard output as they are and flushes. On failure the record's detail is
// the system's message.
[[nodiscard]] FileFailureRecord writeStandardOutput(std::span<const std::uint8_t> bytes) noexcept;

// True when standard error is a terminal (a console on Windows).
[[nodiscard]] bool standardErrorIsTerminal() noexcept;

// The machine's physical memory in bytes, or 0 when the system does not say.
[[nodiscard]] std::uint64_t physicalMemoryBytes() noexcept;

// Removes the temporary files of unfinished ReplacingFiles when the process is interrupted
// (SIGINT, SIGTERM, SIGHUP on POSIX; a console interrupt or close on Windows), then lets the
// interruption end the process as it would have. Call once, early.
void removeUnfinishedFilesOnInterrupt() noexcept;

// A write beyond the process's file size limit fails ("File too large") instead of ending the
// process (SIGXFSZ is ignored on POSIX; nothing to do on Windows). Call once, early.
void ignoreFileSizeLimitSignal() noexcept;

// The temporary file's name for a target named `base`: "." + base + suffix, with base cut
// (at a character boundary of its UTF-8) so that the whole name holds at most nameMax bytes.
[[nodiscard]] std::string temporaryNameFor(std::string_view base, std::string_view suffix,
                                           std::size_t nameMax);

// An output file. A regular file (or none yet) is written under a temporary name beside the
// target and renamed over it once complete, so that the target is either the old file or the
// whole new one: a failed write (a full disk, an error on close) or an interruption leaves no
// partial file behind; an existing target's permission bits carry over (POSIX), and a link to a
// file keeps linking to the new one. A target that is no regular file (a FIFO, a device, the
// standard streams by name) is written in place, never replaced. A folder or a socket is
// refused. Not copyable; the temporary file is removed when the object goes without commit().
class ReplacingFile {
  public:
    ReplacingFile() noexcept = default;
    ~ReplacingFile();
    ReplacingFile(ReplacingFile&& other) noexcept;
    ReplacingFile& operator=(ReplacingFile&& other) noexcept;
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary file beside target (or opens a target that is no regular file). On
    // failure the object stays closed and failure() tells why.
    [[nodiscard]] static ReplacingFile create(std::string_view target) noexcept;

    [[nodiscard]] bool isOpen() const noexcept { return handle_ != kNoHandle; }
    // True when the target is written in place (it is no regular file).
    [[nodiscard]] bool inPlace() const noexcept { return inPlace_; }
    // Appends bytes; false (and failure() set) on failure.
    bool write(std::span<const std::uint8_t> bytes) noexcept;
    // Closes the temporary file and renames it over the target (closes a target written in
    // place); false (and failure() set, the temporary removed) on failure.
    bool commit() noexcept;
    // The first failure: its reason and, as the detail, the system's message ("No space left on
    // device"; "is a socket", "out of memory" where no system call failed). kNone while none.
    [[nodiscard]] const FileFailureRecord& failure() const noexcept { return failure_; }

  private:
    static constexpr std::intptr_t kNoHandle = -1;
    void discard() noexcept;
    std::intptr_t handle_ = kNoHandle;
    bool inPlace_ = false;
    int slot_ = -1;  // the interrupt clean-up's record of the temporary name, or -1
    std::string target_, temporary_;
    FileFailureRecord failure_;
};

}  // namespace talvrin::platform
