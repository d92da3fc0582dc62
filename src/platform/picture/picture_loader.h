// The process's picture loader: recognises the format of encoded bytes and hands them to the
// decoder for it. BMP, JPEG and GIF are decoded in this layer (JPEG and GIF by the system's
// loader where there is one); icons and cursors go to the icon decoder that the image library
// plugs in (it lives above this layer). Metafiles are recognised and give no picture, as does
// anything else.
//
// picture.cpp installs this loader as the process default, so every program and test that
// loads pictures gets it without a set-up call; setPictureLoader replaces it when a test or a
// host needs another one.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>

#include "base/byte_view.h"
#include "platform/picture/picture.h"

namespace talvrin::platform {

enum class PictureFormat : std::uint8_t {
    kUnknown,
    kBmp,          // "BM"
    kJpeg,         // FF D8 FF
    kGif,          // "GIF87a" / "GIF89a"
    kIcon,         // icon or cursor directory: reserved 0, type 1 or 2
    kMetafile,     // placeable or plain Windows metafile
    kEnhMetafile,  // enhanced metafile (record 1 with the " EMF" signature)
};

// The format the first bytes announce (no decoding).
[[nodiscard]] PictureFormat sniffPictureFormat(ByteView bytes) noexcept;

// Decodes icon and cursor files into pictures (type 3), with the failure when it cannot.
// Installed by the program from the image library's icon decoder; must not throw.
using IconPictureDecoder = Decoded<std::unique_ptr<Picture>> (*)(ByteView bytes) noexcept;

// Installs the icon decoder every DefaultPictureLoader uses (null removes it) and gives back the
// previous one. Without one, icon and cursor bytes give no picture.
IconPictureDecoder setIconPictureDecoder(IconPictureDecoder decoder) noexcept;
[[nodiscard]] IconPictureDecoder iconPictureDecoder() noexcept;

class DefaultPictureLoader final : public PictureLoader {
  public:
    // Every decoder applies the process's decode budget (base/decode_budget.h); maxPixels bounds
    // the pixel count of a BMP or JPEG picture further, for a loader that wants a lower limit of
    // its own.
    explicit DefaultPictureLoader(
        std::uint64_t maxPixels = std::numeric_limits<std::uint64_t>::max()) noexcept
        : maxPixels_(maxPixels) {}

    [[nodiscard]] Decoded<std::unique_ptr<Picture>> load(
        std::span<const std::uint8_t> bytes) noexcept override;

  private:
    std::uint64_t maxPixels_;
};

// The system's picture loader, where the platform has one (Windows: OleLoadPicture over an
// in-memory stream). JPEG and GIF go to it, each checked against the decode budget by its
// declared size first (a JPEG that declares none is refused: no decoder reads it); a GIF is handed over as its first image alone (rebuildFirstImageGif), so
// the picture is that image at its own size, opaque, as on every platform. Everything else goes
// to a DefaultPictureLoader. Null on a platform without one.
[[nodiscard]] std::unique_ptr<PictureLoader> makeSystemPictureLoader(
    std::uint64_t maxPixels = std::numeric_limits<std::uint64_t>::max()) noexcept;

// The size a JPEG file's frame header declares, or nothing when no frame header with a size
// lies before the first scan (or in the data). Reads markers only, skipping stray bytes between
// segments as decoders do.
struct DeclaredSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};
[[nodiscard]] std::optional<DeclaredSize> jpegDeclaredSize(ByteView bytes) noexcept;

// The loader picture.cpp installs at start-up: the system's where there is one, else a
// DefaultPictureLoader.
[[nodiscard]] std::unique_ptr<PictureLoader> makeDefaultPictureLoader() noexcept;

}  // namespace talvrin::platform
