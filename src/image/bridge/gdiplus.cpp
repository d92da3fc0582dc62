#include "image/bridge/gdiplus.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>

#include "base/checked_math.h"
#include "base/decode_budget.h"
#include "base/pixels.h"
#include "base/whole_file.h"
#include "image/bridge/bridge_backend.h"
#include "image/codecs/pixel_helpers.h"
#include "image/surface/c32bpp_dib.h"
#include "image/surface/c32bpp_dib_internal.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"
#include "platform/os/files.h"

namespace talvrin {

namespace bridge {

// ---- Arithmetic ------------------------------------------------------------------------------

Flip flipOf(std::int32_t destWidth, std::int32_t destHeight) noexcept {
    Flip f;
    f.code = kRotateNoneFlipY;
    if (destHeight < 0) {
        f.code = kRotateNoneFlipNone;
        f.sy = -1;
    }
    if (destWidth < 0) {
        f.code ^= 4;
        f.sx = -1;
    }
    f.width = std::llabs(std::int64_t{destWidth});
    f.height = std::llabs(std::int64_t{destHeight});
    return f;
}

std::optional<ColorMatrix> attributesOf(std::int32_t grayScale, float lightness, float angle,
                                        std::int32_t opacity) noexcept {
    std::optional<ColorMatrix> m;
    const auto identity = [] {
        ColorMatrix id{};
        for (int i = 0; i < 5; ++i)
            id[i][i] = 1;
        return id;
    };
    if (grayScale != -1 || lightness != 0) {
        m = identity();
        if (grayScale != -1) {
            float wr = 0, wg = 0, wb = 0;
            GrayscaleWeights(grayScale, wr, wg, wb);
            for (int j = 0; j < 3; ++j) {
                (*m)[0][j] = wr;
                (*m)[1][j] = wg;
                (*m)[2][j] = wb;
            }
        }
    }
    if (angle != 0 || opacity != 100) {
        if (!m) m = identity();
        (*m)[3][3] = static_cast<float>(opacity) / 100.0f;
    }
    if (m && lightness != 0) {
        for (int j = 0; j < 3; ++j)
            (*m)[4][j] = lightness / 100.0f;
    }
    return m;
}

RotatedPlacement rotatedPlacement(std::int32_t destX, std::int32_t destY,
                                  const Flip& flip) noexcept {
    RotatedPlacement p;
    const std::int64_t halfW = flip.width / 2, halfH = flip.height / 2;
    p.centreX = static_cast<double>(destX + flip.sx * halfW);
    p.centreY = static_cast<double>(destY + flip.sy * halfH);
    p.originX = static_cast<double>(halfW);
    p.originY = static_cast<double>(halfH);
    return p;
}

void applyColorMatrix(const ColorMatrix& m, std::uint8_t* px) noexcept {
    const float a = px[kAlphaOffset] / 255.0f;
    float in[4] = {0, 0, 0, a};
    if (a > 0) {
        in[0] = px[kRedOffset] / 255.0f / a;
        in[1] = px[kGreenOffset] / 255.0f / a;
        in[2] = px[kBlueOffset] / 255.0f / a;
    }
    float out[4];
    for (int j = 0; j < 4; ++j) {
        float v = m[4][j];
        for (int i = 0; i < 4; ++i)
            v += in[i] * m[i][j];
        out[j] = v < 0 ? 0 : v > 1 ? 1 : v;
    }
    const float alpha = out[3];
    const auto byte = [](float v) { return static_cast<std::uint8_t>(std::lround(v * 255.0f)); };
    px[kRedOffset] = byte(out[0] * alpha);
    px[kGreenOffset] = byte(out[1] * alpha);
    px[kBlueOffset] = byte(out[2] * alpha);
    px[kAlphaOffset] = byte(alpha);
}

// ---- Sessions
// ------------------------------------------------------------------------------------

namespace {

std::atomic<bool> gAbsent{false};
std::atomic<std::uint64_t> gDraws{0};
std::mutex gSessionMutex;
// Each session's token and the start-up token of the system's imaging library behind it (0 for
// a backend that has no start-up of its own).
std::map<std::uint32_t, std::uintptr_t>& sessions() {
    static std::map<std::uint32_t, std::uintptr_t> s;
    return s;
}
std::uint32_t gNextToken = 0;

}  // namespace

std::uint64_t drawsMade() noexcept {
    return gDraws.load(std::memory_order_relaxed);
}

bool backendAvailable() noexcept {
    return backend::present() && !gAbsent.load(std::memory_order_relaxed);
}

ScopedBackendAbsent::ScopedBackendAbsent(bool absent) noexcept
    : previous_(gAbsent.exchange(absent, std::memory_order_relaxed)) {}
ScopedBackendAbsent::~ScopedBackendAbsent() {
    gAbsent.store(previous_, std::memory_order_relaxed);
}

std::uint32_t startSession() noexcept {
    if (!backendAvailable()) return 0;
    backend::SystemImaging* system = backend::systemImaging();
    const std::uintptr_t started = system ? system->startup() : 0;
    if (system && started == 0) return 0;
    try {
        std::lock_guard lock(gSessionMutex);
        // Tokens are never 0 nor -1 (the "started elsewhere" token of the controls).
        do {
            ++gNextToken;
        } while (gNextToken == 0 || gNextToken == 0xFFFFFFFFu || sessions().count(gNextToken));
        sessions().emplace(gNextToken, started);
        return gNextToken;
    } catch (...) {
        if (system) system->shutdown(started);
        return 0;
    }
}

void stopSession(std::uint32_t token) noexcept {
    if (token == 0) return;
    std::uintptr_t started = 0;
    {
        std::lock_guard lock(gSessionMutex);
        const auto it = sessions().find(token);
        if (it == sessions().end()) return;
        started = it->second;
        sessions().erase(it);
    }
    if (backend::SystemImaging* system = backend::systemImaging()) system->shutdown(started);
}

std::size_t openSessions() noexcept {
    std::lock_guard lock(gSessionMutex);
    return sessions().size();
}

namespace {

// The session a service runs under: the caller's token, or one started for this call and
// ended when the service returns.
class CallSession {
  public:
    explicit CallSession(std::uint32_t token) noexcept : own_(token == 0) {
        token_ = own_ ? startSession() : token;
    }
    ~CallSession() {
        if (own_) stopSession(token_);
    }
    CallSession(const CallSession&) = delete;
    CallSession& operator=(const CallSession&) = delete;
    [[nodiscard]] bool ok() const noexcept { return token_ != 0 && backendAvailable(); }

  private:
    bool own_;
    std::uint32_t token_ = 0;
};

}  // namespace

BridgeFormat sniffBridgeFormat(std::span<const std::uint8_t> b) noexcept {
    if (b.size() >= 12 && std::memcmp(b.data(), "RIFF", 4) == 0 &&
        std::memcmp(b.data() + 8, "WEBP", 4) == 0)
        return BridgeFormat::kWebp;
    if (b.size() >= 4 && ((b[0] == 'I' && b[1] == 'I' && b[2] == 42 && b[3] == 0) ||
                          (b[0] == 'M' && b[1] == 'M' && b[2] == 0 && b[3] == 42)))
        return BridgeFormat::kTiff;
    return BridgeFormat::kNone;
}

}  // namespace bridge

// ---- The services ------------------------------------------------------------------------------

bool cGDIPlus::isGDIplusOk(std::uint32_t& gdiToken, bool KeepToken) noexcept {
    const std::uint32_t token = bridge::startSession();
    if (token == 0) return false;
    if (KeepToken) {
        gdiToken = token;
    } else {
        bridge::stopSession(token);
    }
    return true;
}

namespace {

// The part of a w x h working image that a draw of the destination rectangle samples through
// the map, widened by the filter's reach (its radius, times the shrink, twice over for the
// pre-reduction of strongly shrunk turned draws) and a pixel of rounding, and cut to the image;
// empty when the rectangle samples nothing of it.
Rect sampledPart(const bridge::backend::Affine& m, const Rect& drawn, double scaleX, double scaleY,
                 std::int32_t w, std::int32_t h) noexcept {
    double u0 = INFINITY, u1 = -INFINITY, v0 = INFINITY, v1 = -INFINITY;
    for (const double x : {double(drawn.left), double(drawn.right)})
        for (const double y : {double(drawn.top), double(drawn.bottom)}) {
            const double u = m.a * x + m.b * y + m.c, v = m.d * x + m.e * y + m.f;
            u0 = std::min(u0, u);
            u1 = std::max(u1, u);
            v0 = std::min(v0, v);
            v1 = std::max(v1, v);
        }
    const double reachX = 4 * std::max(std::fabs(scaleX), 1.0) + 2;
    const double reachY = 4 * std::max(std::fabs(scaleY), 1.0) + 2;
    const auto cut = [](double v, std::int32_t limit) {
        return static_cast<std::int32_t>(std::clamp(v, 0.0, double(limit)));
    };
    return {cut(std::floor(u0 - reachX), w), cut(std::floor(v0 - reachY), h),
            cut(std::ceil(u1 + reachX), w), cut(std::ceil(v1 + reachY), h)};
}

// Whether the matrix changes nothing but alpha: its colour part the identity, no colour added.
// Such a matrix is the draw's opacity, which the backend applies as it blends.
bool onlyOpacity(const bridge::ColorMatrix& m) noexcept {
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j)
            if (!(i == 3 && j == 3) && m[i][j] != (i == j ? 1.0f : 0.0f)) return false;
    return true;
}

}  // namespace

bool cGDIPlus::RenderWithGDIPlus(const c32bppDIB& src, platform::DeviceContext& dest, float angle,
                                 std::int32_t opacity, std::int32_t destX, std::int32_t destY,
                                 std::int32_t destWidth, std::int32_t destHeight, std::int32_t srcX,
                                 std::int32_t srcY, std::int32_t srcWidth, std::int32_t srcHeight,
                                 bool highQuality, std::int32_t grayScale, std::uint32_t token,
                                 float lightness) noexcept {
    if (opacity == 0) return true;
    try {
        const bridge::CallSession session(token);
        if (!session.ok() || !src.BitsPointer()) return false;
        if (!std::isfinite(angle) || !std::isfinite(lightness)) return false;
        const bridge::Flip flip = bridge::flipOf(destWidth, destHeight);
        const std::int64_t W = flip.width, H = flip.height;
        if (W < 1 || H < 1 || srcWidth < 1 || srcHeight < 1) return false;

        // The working image: the source turned as the flip code says, then its source rectangle
        // (which counts in the turned image), cut to the image.
        const std::int32_t iw = src.Width(), ih = src.Height();
        const std::int64_t x0 = std::max<std::int64_t>(srcX, 0),
                           y0 = std::max<std::int64_t>(srcY, 0);
        const std::int64_t x1 = std::min<std::int64_t>(std::int64_t{srcX} + srcWidth, iw);
        const std::int64_t y1 = std::min<std::int64_t>(std::int64_t{srcY} + srcHeight, ih);
        if (x1 <= x0 || y1 <= y0) return false;
        const auto fullWidth = static_cast<std::int32_t>(x1 - x0);
        const auto fullHeight = static_cast<std::int32_t>(y1 - y0);

        // Destination to working image: scale W x H onto the working image's size, rotated
        // about the destination's centre when there is an angle.
        const double scaleX = double(fullWidth) / double(W);
        const double scaleY = double(fullHeight) / double(H);
        bridge::backend::Affine map;
        Rect area;
        if (angle != 0) {
            const bridge::RotatedPlacement p = bridge::rotatedPlacement(destX, destY, flip);
            const double t = double(angle) * 3.14159265358979323846 / 180.0;
            const double c = std::cos(t), s = std::sin(t);
            // (u', v') = R(-angle) (d - centre) + origin; (u, v) = (u' * scaleX, v' * scaleY).
            map.a = c * scaleX;
            map.b = s * scaleX;
            map.c = (-c * p.centreX - s * p.centreY + p.originX) * scaleX;
            map.d = -s * scaleY;
            map.e = c * scaleY;
            map.f = (s * p.centreX - c * p.centreY + p.originY) * scaleY;
            const double hw = double(W), hh = double(H);
            const double ext = (std::fabs(c) * hw + std::fabs(s) * hh) / 2 + 2;
            const double eyt = (std::fabs(s) * hw + std::fabs(c) * hh) / 2 + 2;
            area = {static_cast<std::int32_t>(std::floor(std::max(p.centreX - ext, -2e9))),
                    static_cast<std::int32_t>(std::floor(std::max(p.centreY - eyt, -2e9))),
                    static_cast<std::int32_t>(std::ceil(std::min(p.centreX + ext, 2e9))),
                    static_cast<std::int32_t>(std::ceil(std::min(p.centreY + eyt, 2e9)))};
        } else {
            map.a = scaleX;
            map.c = -double(destX) * scaleX;
            map.e = scaleY;
            map.f = -double(destY) * scaleY;
            const auto edge = [](std::int64_t v) {
                return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
            };
            area = {destX, destY, edge(destX + W), edge(destY + H)};
        }

        const platform::Bitmap& pixels = dest.surface();
        const Rect drawn =
            intersect(intersect(area, dest.clipBox()), Rect{0, 0, pixels.width(), pixels.height()});
        if (drawn.isEmpty()) return false;
        if (bridge::backend::SystemImaging* system = bridge::backend::systemImaging()) {
            // The system's imaging library draws the whole job itself, in its own calls.
            if (W > INT32_MAX || H > INT32_MAX) return false;
            bridge::backend::SystemDraw job;
            job.bits = src.BitsPointer();
            job.width = iw;
            job.height = ih;
            job.flip = flip;
            job.attributes = bridge::attributesOf(grayScale, lightness, angle, opacity);
            job.attributesRequired = angle != 0 || opacity != 100;
            job.angle = angle;
            job.placement = bridge::rotatedPlacement(destX, destY, flip);
            job.destX = destX;
            job.destY = destY;
            job.srcX = srcX;
            job.srcY = srcY;
            job.srcWidth = srcWidth;
            job.srcHeight = srcHeight;
            job.highQuality = highQuality;
            if (!system->draw(job, dest)) return false;
            bridge::gDraws.fetch_add(1, std::memory_order_relaxed);
            return true;
        }

        // The flips become part of the map: the working image is the source rectangle of the
        // surface seen top-down, read in place (rows bottom-up in memory, so a negative stride).
        const bool upright =
            flip.code == bridge::kRotateNoneFlipY || flip.code == bridge::kRotate180FlipNone;
        const bool mirrorX =
            flip.code == bridge::kRotate180FlipNone || flip.code == bridge::kRotateNoneFlipX;
        if (mirrorX) {
            map.a = -map.a;
            map.b = -map.b;
            map.c = fullWidth - map.c;
        }
        if (!upright) {
            map.d = -map.d;
            map.e = -map.e;
            map.f = fullHeight - map.f;
        }
        const auto left = static_cast<std::int32_t>(mirrorX ? iw - x1 : x0);
        const auto top = static_cast<std::int32_t>(upright ? y0 : ih - y1);
        const ConstPixelView view(src.BitsPointer(), iw, ih);
        bridge::backend::ImageRows rows{view.pixelFromTop(left, top),
                                        -static_cast<std::ptrdiff_t>(view.stride()), fullWidth,
                                        fullHeight};

        // Greyscale and lightness go through the colour matrix, applied to a copy of the part
        // the visible pixels sample; opacity alone is left to the blend.
        double alpha = 1;
        bridge::backend::TopDownImage work;
        if (auto m = bridge::attributesOf(grayScale, lightness, angle, opacity)) {
            if (onlyOpacity(*m)) {
                alpha = std::clamp(double((*m)[3][3]), 0.0, 1.0);
            } else {
                const Rect used = sampledPart(map, drawn, scaleX, scaleY, fullWidth, fullHeight);
                // A visible area that samples nothing of the image (a corner of a turned
                // image's box) is drawn as it stands: there is nothing to blend.
                if (used.isEmpty()) {
                    bridge::gDraws.fetch_add(1, std::memory_order_relaxed);
                    return true;
                }
                work.width = static_cast<std::int32_t>(used.width());
                work.height = static_cast<std::int32_t>(used.height());
                const auto bytes = imageByteCount32(work.width, work.height);
                if (!bytes) return false;
                work.pixels.resize(static_cast<std::size_t>(*bytes));
                const std::size_t rowBytes = static_cast<std::size_t>(work.width) * 4;
                for (std::int32_t r = 0; r < work.height; ++r) {
                    std::uint8_t* out = work.pixels.data() + std::size_t(r) * rowBytes;
                    std::memcpy(out, rows.top + (used.top + r) * rows.stride + 4 * used.left,
                                rowBytes);
                    for (std::size_t i = 0; i < rowBytes; i += 4)
                        bridge::applyColorMatrix(*m, out + i);
                }
                map.c -= used.left;
                map.f -= used.top;
                rows = work.rows();
            }
        }
        if (!bridge::backend::drawAffine(rows, map, highQuality, scaleX, scaleY, alpha, area, dest))
            return false;
        bridge::gDraws.fetch_add(1, std::memory_order_relaxed);
        return true;
    } catch (...) {
        return false;
    }
}

bool cGDIPlus::LoadWithGDIPlus(std::string_view FileName, std::span<const std::uint8_t> bytes,
                               c32bppDIB& target, std::uint32_t token) noexcept {
    failure_ = {DecodeFailure::kNotRecognised, {}};
    try {
        // Every refusal leaves the surface empty, whatever it held before.
        const bridge::CallSession session(token);
        if (!session.ok()) {
            target.DestroyDIB();
            return false;
        }
        std::vector<std::uint8_t> fileBytes;
        if (!FileName.empty()) {
            platform::File file = platform::OpenImageFile(FileName, true);
            const auto size = file ? file.size() : std::nullopt;
            if (!size || readWholeFile(file, *size, fileBytes).failed()) {
                target.DestroyDIB();
                return false;
            }
            bytes = fileBytes;
        }
        bridge::backend::Decoded decoded;
        switch (bridge::sniffBridgeFormat(bytes)) {
            case bridge::BridgeFormat::kWebp:
                decoded = bridge::backend::decodeWebp(bytes);
                break;
            case bridge::BridgeFormat::kTiff:
                decoded = bridge::backend::decodeTiff(bytes);
                break;
            case bridge::BridgeFormat::kNone:
                // PNG, GIF, BMP, JPEG and icons stay with the own decoders.
                target.DestroyDIB();
                return false;
        }
        const bridge::backend::TopDownImage& image = decoded.image;
        if (decoded.failure != DecodeFailure::kNone || image.width < 1 || image.height < 1) {
            failure_ = {
                decoded.failure == DecodeFailure::kNone ? DecodeFailure::kBadData : decoded.failure,
                {}};
            target.DestroyDIB();
            return false;
        }
        // The image drawn into a surface of its bounds: a failed draw is a failed load.
        if (!target.InitializeDIB(image.width, image.height)) {
            failure_ = {DecodeFailure::kOutOfMemory, "no room for the surface"};
            target.DestroyDIB();
            return false;
        }
        const PixelView out(target.BitsPointer(), image.width, image.height);
        for (std::int32_t y = 0; y < image.height; ++y)
            std::memcpy(out.rowFromTop(y), image.pixels.data() + std::size_t(y) * image.width * 4,
                        std::size_t(image.width) * 4);
        bool alpha = false;
        std::int32_t type = imgCreated;
        ClassifyAlpha({target.BitsPointer(), static_cast<std::size_t>(target.scanWidth()) *
                                                 static_cast<std::size_t>(target.Height())},
                      image.width, image.height, false, alpha, type);
        SurfaceInternals::setAlpha(target, alpha);
        SurfaceInternals::setImageType(target, imgPNG);
        failure_ = {};
        return true;
    } catch (...) {
        failure_ = {DecodeFailure::kOutOfMemory, {}};
        target.DestroyDIB();
        return false;
    }
}

bool cGDIPlus::SaveToPNG(std::string_view /*FileName*/, std::vector<std::uint8_t>& outStream,
                         const c32bppDIB& cHost, std::uint32_t GlobalToken) noexcept {
    if (!cHost.BitsPointer()) return false;
    const bridge::CallSession session(GlobalToken);
    if (!session.ok()) return false;
    // Only the system's imaging library has an encoder for "image/png"; the sampling libraries
    // have none, so the save fails there, before the image is turned upright, and the surface's
    // own encoder writes the file.
    bridge::backend::SystemImaging* system = bridge::backend::systemImaging();
    return system != nullptr &&
           system->encodePng(cHost.BitsPointer(), cHost.Width(), cHost.Height(), outStream);
}

}  // namespace talvrin
