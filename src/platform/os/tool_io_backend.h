// The seam inside the tool's system services: the few system calls each platform's half
// (tool_io_posix.cpp, tool_io_win32.cpp) makes for the shared half (tool_io.cpp), which owns an
// output file's whole lifecycle and the interrupt clean-up's record of temporary files. Names are
// UTF-8; a handle is a descriptor (POSIX) or a HANDLE (Windows) held as an integer, -1 for none.
// Only these three sources include this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/file_failure.h"
#include "platform/os/tool_io.h"

namespace talvrin::platform::tool_io_backend {

inline constexpr std::intptr_t kNoHandle = -1;
// A failure where no system call failed.
inline constexpr FileFailureRecord kNoMemory{FileFailure::kUnwritable, "out of memory"};

// ---- The platform's half ----------------------------------------------------------------------

// fileIdentity, isDirectory and makeDirectory for a path that may name a file (not empty, no NUL).
// They may throw bad_alloc.
[[nodiscard]] std::optional<FileIdentity> identityOf(const std::string& path);
[[nodiscard]] bool isFolder(const std::string& path);
[[nodiscard]] FileFailureRecord makeFolder(const std::string& path);

// What an output file's target turned out to be.
struct Target {
    // Set when the target is refused (a folder, a socket, no path at all).
    FileFailureRecord failure;
    // Open for writing when the target is no regular file (a FIFO, a device, a standard stream
    // by its name): it is written in place.
    std::intptr_t inPlace = kNoHandle;
    // Otherwise the file to replace: the target, or the file a link to one leads to.
    std::string path;
};
[[nodiscard]] Target examineTarget(std::string_view target);

// The characters that end a path's folder part ("/" on POSIX, "/\\:" on Windows).
extern const char* const kPathSeparators;
// The longest file name the folder takes, in bytes of UTF-8.
[[nodiscard]] std::size_t nameMaxOf(const std::string& folder) noexcept;
// This process's number, part of the temporary file's name.
[[nodiscard]] unsigned long processId() noexcept;

// Creates the named file for writing, failing when it exists. The handle, or kNoHandle with
// `taken` true when the name exists (or the call was interrupted: another name is tried) and
// false on any other failure; `failure` then says why.
[[nodiscard]] std::intptr_t createNew(const std::string& name, bool& taken,
                                      FileFailureRecord& failure) noexcept;
// Gives the new file the permission bits of the file it will replace, where the platform has
// them (POSIX).
void keepPermissions(std::intptr_t handle, const std::string& replaced) noexcept;

// Writes at most bytes.size() bytes: how many were written, or nothing (and `failure` set).
[[nodiscard]] std::optional<std::size_t> writeSome(std::intptr_t handle,
                                                   std::span<const std::uint8_t> bytes,
                                                   FileFailureRecord& failure) noexcept;
// Closes the handle, taking a write the file system delayed into account: false (and `failure`
// set) when it reports one. A target written in place is only closed.
bool closeWritten(std::intptr_t handle, bool inPlace, FileFailureRecord& failure) noexcept;
// Closes the handle, whatever became of the writes.
void closeHandle(std::intptr_t handle) noexcept;
// Moves the finished temporary file over the target; false (and `failure` set) on failure.
bool moveOver(const std::string& temporary, const std::string& target,
              FileFailureRecord& failure) noexcept;
// Removes the named file. Async-signal-safe on POSIX, where the interrupt clean-up calls it.
void removeFile(const char* name) noexcept;

// ---- The shared half --------------------------------------------------------------------------

// Writes all the bytes, in pieces the system takes; false (and `failure` set) on failure.
bool writeAll(std::intptr_t handle, std::span<const std::uint8_t> bytes,
              FileFailureRecord& failure) noexcept;
// Removes the temporary file of every unfinished output file, touching only memory that never
// moves: what the interrupt clean-up's handler does.
void removeUnfinishedFiles() noexcept;

}  // namespace talvrin::platform::tool_io_backend
