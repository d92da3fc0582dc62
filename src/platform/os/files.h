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

    [[nodiscard]] bool isOpen() const noexcept { return fd_ >= 0; }
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
    friend File openFileDescriptor(int fd) noexcept;
    explicit File(int fd) noexcept : fd_(fd) {}
    int fd_ = -1;
};

// Opens an existing file for reading (forReading true), or creates / truncates a file for
// reading and writing (forReading false). Overwriting keeps the existing file's permission bits
// instead of replacing them; a new file gets the usual default mode. An invalid File on failure.
[[nodiscard]] File OpenImageFile(std::string_view path, bool forReading) noexcept;

// Deletes the file at path, also when it is read-only. True when the file was deleted.
bool ForceDeleteFile(std::string_view path) noexcept;

// A UTF-16 file name as the UTF-8 path the file calls take. Unpaired surrogates become U+FFFD.
[[nodiscard]] std::string utf16ToUtf8(std::u16string_view text);
// A UTF-8 path as UTF-16 text for the callers that take names as text. Malformed, overlong and
// surrogate sequences become U+FFFD, one for each byte that cannot start a character.
[[nodiscard]] std::u16string utf8ToUtf16(std::string_view text);

}  // namespace talvrin::platform
