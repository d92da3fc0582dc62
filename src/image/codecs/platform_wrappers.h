// modParsers, platform half: thin wrappers round the platform's file, library and picture
// facilities, shared by the surface, the decoders, the encoder and the imaging-library bridge.
// The pixel helpers of the same module are in pixel_helpers.h.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "platform/os/files.h"
#include "platform/picture/picture.h"

namespace talvrin {

// ---- Platform wrappers ----------------------------------------------------------------------

// Opens an image file for reading, or creates / truncates it for writing while keeping an
// existing file's permissions. Names are UTF-8 paths (or UTF-16, converted); useWide is accepted
// for the callers' sake and changes nothing here, where every name is taken as it is.
[[nodiscard]] platform::File OpenImageFile(std::string_view fileName, bool forReading,
                                           bool useWide = false) noexcept;
[[nodiscard]] platform::File OpenImageFile(std::u16string_view fileName, bool forReading,
                                           bool useWide = false) noexcept;

// Deletes the file even when it is read-only; true when it was deleted.
bool ForceDeleteFile(std::string_view fileName, bool useWide = false) noexcept;
bool ForceDeleteFile(std::u16string_view fileName, bool useWide = false) noexcept;

// True when the library loads and exports the function; nothing stays loaded.
[[nodiscard]] bool LibraryHasExport(std::string_view library, std::string_view function) noexcept;

// The picture held in count bytes of bytes starting at first, through the platform's picture
// loader; none when the range leaves the array or count is below 1 (not recognised), or when
// the loader gives none (its failure).
[[nodiscard]] Decoded<std::unique_ptr<platform::Picture>> BytesToPicture(
    std::span<const std::uint8_t> bytes, std::int32_t first, std::int32_t count) noexcept;

// Wraps a bitmap (pictureType 1) or an icon (pictureType 3) in a picture that owns it from then
// on. On failure (null handle, a type that does not match the handle) the handle is left with
// the caller, untouched, and the result is null.
[[nodiscard]] std::unique_ptr<platform::Picture> HandleToPicture(
    std::unique_ptr<platform::Bitmap>&& handle, std::int32_t pictureType) noexcept;
[[nodiscard]] std::unique_ptr<platform::Picture> HandleToPicture(
    std::unique_ptr<platform::Icon>&& handle, std::int32_t pictureType) noexcept;

}  // namespace talvrin
