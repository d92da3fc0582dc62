// Image files: an owning file handle with read, write, seek and size, the two ways the image code
// opens a file, and deletion that does not stop at a read-only file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace talvrin::platform {

enum class SeekOrigin { Begin, Current, End };

// An open file, closed when the object goes. Move-only; a default-constructed File is the
// "invalid handle" and every operation on it fails cleanly.
class File {
  public:
    File() noexcept = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    [[nodiscard]] bool isOpen() const noexcept { return handle_ != kNoHandle; }
    explicit operator bool() const noexcept { return isOpen(); }

    // Reads up to count bytes (fewer only at the end of the file). The number read, or nothing
    // on an error.
    std::optional<std::size_t> read(void* out, std::size_t count) noexcept;
    // Writes all count bytes; false on an error (some bytes may have been written).
    bool write(const void* data, std::size_t count) noexcept;
    // Moves the file position; the new position from the start, or nothing on an error.
    std::optional<std::uint64_t> seek(std::int64_t offset, SeekOrigin origin) noexcept;
    // Size of the file in bytes, or nothing on an error.
    [[nodiscard]] std::optional<std::uint64_t> size() const noexcept;
    // Closes the file now; false when closing reported an error (e.g. a failed late write).
    bool close() noexcept;

  private:
    // The platform's handle: a file descriptor (POSIX) or a file HANDLE (Windows). -1 is "none"
    // on both (the POSIX error value and INVALID_HANDLE_VALUE).
    static constexpr std::intptr_t kNoHandle = -1;
    friend File OpenImageFile(std::string_view path, bool forReading) noexcept;
    friend bool ForceDeleteFile(std::string_view path) noexcept;
    explicit File(std::intptr_t handle) noexcept : handle_(handle) {}
    // The platform's halves of OpenImageFile (the handle, or kNoHandle) and ForceDeleteFile, for
    // a path that may name a file (files_posix.cpp, files_win32.cpp). They may throw bad_alloc.
    static std::intptr_t openNative(std::string_view path, bool forReading);
    static bool deleteNative(std::string_view path);
    std::intptr_t handle_ = kNoHandle;
};

// Opens an existing file for reading (forReading true), or creates / truncates a file for
// reading and writing (forReading false). Overwriting keeps what the existing file had (its
// permission bits on POSIX; its read-only, hidden and system attributes on Windows) instead of
// replacing it; a new file gets the usual default. The path is UTF-8 (Windows opens it by its
// UTF-16 name). An invalid File on failure; a directory is not a file.
[[nodiscard]] File OpenImageFile(std::string_view path, bool forReading) noexcept;

// Deletes the file at path, also when it is read-only. True when the file was deleted; a
// directory is never deleted.
bool ForceDeleteFile(std::string_view path) noexcept;

// A UTF-16 file name as the UTF-8 path the file calls take. Unpaired surrogates become U+FFFD.
[[nodiscard]] std::string utf16ToUtf8(std::u16string_view text);
// A UTF-8 path as UTF-16 text for the callers that take names as text. Malformed, overlong and
// surrogate sequences become U+FFFD, one for each byte that cannot start a character.
[[nodiscard]] std::u16string utf8ToUtf16(std::string_view text);

}  // namespace talvrin::platform
