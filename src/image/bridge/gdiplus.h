// cGDIPlus: the imaging-library bridge. It offers the surface five services: an availability
// test, drawing a surface onto a device context with scaling, mirroring, rotation, opacity,
// greyscale and lightness, loading formats the own decoders do not read, and saving as PNG.
//
// On Linux the services are provided by the bridge's own resampler and well-kept
// libraries instead of the desktop's imaging library: the resampler draws with high quality
// (resample.h: cubic convolution, edges extended, pixel centres to pixel centres, exact at the
// image's own size), pixman draws nearest-neighbour, libwebp and libtiff read WebP and TIFF. The
// bridge keeps the imaging library's arithmetic: the flip codes of a draw (folded into the map
// from destination to source, so the surface is read in place), the colour matrix (greyscale and
// lightness applied to a copy of the pixels the draw samples; opacity alone applied as the
// pixels are blended), the rotation about the destination's centre, and the sizes. A "session"
// is a counted start and stop with a non-zero token, so tokens, kept tokens and a start for a
// single call keep their meaning.
//
// The bridge declines PNG, GIF, BMP, JPEG and icons: the own decoders (faster, fuzzed) keep
// them, and the loading dispatch offers the bridge only what they all refused. On Linux it
// registers no PNG encoder, so saving falls back to the own encoder, which writes the smallest
// form.
//
// In the Windows build the backend is the desktop's imaging library itself (gdiplus.dll, bound
// at run time by name): it draws with its own colour matrices and world transforms, reads the
// bridge's formats and saves PNG with its own encoder, and a session is one of its start-ups.
// The arithmetic above it is the same.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "base/decode_failure.h"

namespace talvrin {

class c32bppDIB;
namespace platform {
class DeviceContext;
}

namespace bridge {

// ---- The arithmetic of a draw (pure functions, tested on their own) ----------------------------

// Flip codes as the imaging library names them.
inline constexpr int kRotateNoneFlipNone = 0;
inline constexpr int kRotate180FlipNone = 2;
inline constexpr int kRotateNoneFlipX = 4;
inline constexpr int kRotateNoneFlipY = 6;

// How a draw of destWidth x destHeight flips the bottom-up source: from RotateNoneFlipY (the
// buffer turned upright); a negative height uses RotateNoneFlipNone and sy = -1; a negative
// width toggles the code with 4 (6 -> 2, 0 -> 4) and sx = -1. width and height are the absolute
// sizes.
struct Flip {
    int code = kRotateNoneFlipY;
    int sx = 1;
    int sy = 1;
    std::int64_t width = 0;
    std::int64_t height = 0;
};
[[nodiscard]] Flip flipOf(std::int32_t destWidth, std::int32_t destHeight) noexcept;

// A 5 x 5 colour matrix in the row-vector convention: [R G B A 1] x M, row i the input channel,
// column j the output channel, values on the 0 ... 1 scale.
using ColorMatrix = std::array<std::array<float, 5>, 5>;

// The image attributes of a draw, or nothing when it uses none: a colour part for greyscale
// (every output colour Wr * R + Wg * G + Wb * B) or lightness (L / 100 added to every colour in
// the last row); then, when the angle is not 0 or the opacity not 100, M[3][3] = opacity / 100
// (an identity colour part when there was none).
[[nodiscard]] std::optional<ColorMatrix> attributesOf(std::int32_t grayScale, float lightness,
                                                      float angle, std::int32_t opacity) noexcept;

// A rotated draw: the image, W x H, centred on (centreX, centreY) = (destX + sx * (W div 2),
// destY + sy * (H div 2)) and turned by the angle about that point. The imaging library gets
// there by drawing into (W div 2, H div 2) with extents -W and -H under a rotation by the angle
// plus 180 degrees; image pixel (u, v) of the W x H drawing lands on
// centre + R(angle) * (u - W div 2, v - H div 2).
struct RotatedPlacement {
    double centreX = 0;
    double centreY = 0;
    double originX = 0;  // W div 2: the drawing's pixel that lands on the centre
    double originY = 0;
};
[[nodiscard]] RotatedPlacement rotatedPlacement(std::int32_t destX, std::int32_t destY,
                                                const Flip& flip) noexcept;

// Colour matrix applied to one premultiplied pixel (B, G, R, A bytes): un-premultiplied, the
// matrix on the 0 ... 1 scale, each channel held to 0 ... 1, premultiplied again (rounding to
// nearest).
void applyColorMatrix(const ColorMatrix& m, std::uint8_t* pixel) noexcept;

// ---- Sessions ----------------------------------------------------------------------------------

// Starts a session: a new non-zero token, or 0 when the backend is not available.
[[nodiscard]] std::uint32_t startSession() noexcept;
// Ends a session started by startSession (0 and unknown tokens are ignored).
void stopSession(std::uint32_t token) noexcept;
// The sessions running now.
[[nodiscard]] std::size_t openSessions() noexcept;
// The draws the bridge has made since the process started (for telling the render paths apart).
[[nodiscard]] std::uint64_t drawsMade() noexcept;
// Whether the backend's libraries are there; tests switch it off to run the own paths.
[[nodiscard]] bool backendAvailable() noexcept;
class ScopedBackendAbsent {
  public:
    explicit ScopedBackendAbsent(bool absent = true) noexcept;
    ~ScopedBackendAbsent();
    ScopedBackendAbsent(const ScopedBackendAbsent&) = delete;
    ScopedBackendAbsent& operator=(const ScopedBackendAbsent&) = delete;

  private:
    bool previous_;
};

// ---- The backend's formats ---------------------------------------------------------------------

enum class BridgeFormat : std::uint8_t { kNone, kWebp, kTiff };
// The format the bytes announce, among those only the bridge reads.
[[nodiscard]] BridgeFormat sniffBridgeFormat(std::span<const std::uint8_t> bytes) noexcept;

}  // namespace bridge

class cGDIPlus {
  public:
    // True when the imaging backend is present and a session could be started; the token goes
    // to gdiToken and the session is ended at once unless KeepToken is set.
    static bool isGDIplusOk(std::uint32_t& gdiToken, bool KeepToken) noexcept;

    // Draws src's rectangle (srcX, srcY, srcWidth, srcHeight) onto dest at (destX, destY) with
    // the size destWidth x destHeight (negative: mirrored along that axis), rotated by angle
    // degrees about the destination's centre, at opacity percent, greyscale formula grayScale
    // (-1 none) and lightness percent, with bicubic (highQuality) or nearest-neighbour sampling.
    // Opacity 0 draws nothing and answers true. False when no session can be had or nothing
    // could be drawn.
    bool RenderWithGDIPlus(const c32bppDIB& src, platform::DeviceContext& dest, float angle,
                           std::int32_t opacity, std::int32_t destX, std::int32_t destY,
                           std::int32_t destWidth, std::int32_t destHeight, std::int32_t srcX,
                           std::int32_t srcY, std::int32_t srcWidth, std::int32_t srcHeight,
                           bool highQuality, std::int32_t grayScale, std::uint32_t token,
                           float lightness) noexcept;

    // Loads the image of a file (FileName not empty) or of the bytes into target: WebP and TIFF.
    // True when the surface holds the image (ImageType imgPNG, Alpha as the pixels say); false,
    // with the surface emptied, when the data is not a format of the bridge's or does not decode
    // (lastLoadFailure says why).
    bool LoadWithGDIPlus(std::string_view FileName, std::span<const std::uint8_t> bytes,
                         c32bppDIB& target, std::uint32_t token) noexcept;
    [[nodiscard]] const LoadFailure& lastLoadFailure() const noexcept { return failure_; }

    // Saves the surface as PNG (upright) through the backend's encoder into outStream. Only the
    // desktop's imaging library has one; elsewhere the answer is false (and the caller's own
    // encoder takes over), exactly as when the imaging library lacks one.
    bool SaveToPNG(std::string_view FileName, std::vector<std::uint8_t>& outStream,
                   const c32bppDIB& cHost, std::uint32_t GlobalToken) noexcept;

  private:
    LoadFailure failure_;
};

}  // namespace talvrin
