// The tool's input: streams read in steps, the header first.
#include "tools/image_input.h"

#include <algorithm>
#include <limits>
#include <tuple>

#include "base/decode_budget.h"
#include "image/bridge/gdiplus.h"
#include "image/surface/c32bpp_dib.h"
#include "platform/picture/jpeg_decoder.h"
#include "tools/image_facts.h"
#include "tools/image_ops.h"
#include "tools/jpeg_header.h"

namespace talvrin::tool {

namespace {

// Sources under this many bytes hold no image the library takes.
constexpr std::size_t kSmallestImage = 57;
constexpr std::size_t kStep = 64 * 1024;

Failure unreadable() {
    return {std::string(describe(DecodeFailure::kUnreadable)), "read error"};
}

Failure unsupportedFormat(const Format& format) {
    return {"unsupported format", std::string(format.name)};
}

// Reads until `bytes` holds `target` bytes or the stream ends; false on a read error.
bool readUpTo(Input& in, std::size_t target) {
    while (!in.ended && in.bytes.size() < target) {
        const std::size_t at = in.bytes.size();
        // In steps, or at once into room reserved for a file of known length.
        in.bytes.resize(std::min(target, std::max(at + kStep, in.bytes.capacity())));
        const auto got = in.stream.read(in.bytes.data() + at, in.bytes.size() - at);
        if (!got) {
            in.bytes.resize(at);
            return false;
        }
        in.bytes.resize(at + *got);
        if (*got == 0) in.ended = true;
    }
    return true;
}

bool withinBudget(const Declared& d) {
    return !d.size || withinDecodeBudget(d.size->first, d.size->second);
}

std::string declaredText(const Declared& d) {
    return d.size ? pixelsText(d.size->first, d.size->second) : std::string();
}

}  // namespace

std::optional<Failure> openInput(const std::string& name, Input& in) {
    in = Input{};
    FileFailureRecord problem;
    in.stream = platform::InputStream::open(name, problem);
    if (!in.stream.isOpen()) return Failure::of(problem);
    try {
        if (!readUpTo(in, kSniffBytes)) return unreadable();
        in.format = sniffFormat(in.bytes);
        if (!in.format.known()) {
            // A stream that goes on is given up on after its first bytes.
            std::string detail;
            if (!in.ended)
                detail =
                    "no known signature in the first " + std::to_string(kSniffBytes) + " bytes";
            return Failure{std::string(describe(DecodeFailure::kNotRecognised)), detail};
        }
        if (!in.format.libraryReads) return unsupportedFormat(in.format);
        const bool bridgeFormat = in.format.key == "webp" || in.format.key == "tiff";
        if (bridgeFormat && !bridge::backendAvailable()) return unsupportedFormat(in.format);
        in.declared = readDeclared(in.format, in.bytes);
        while (in.declared.needMore && !in.ended && in.bytes.size() < kHeaderBytes) {
            if (!readUpTo(in, std::min(kHeaderBytes, in.bytes.size() + kStep))) return unreadable();
            in.declared = readDeclared(in.format, in.bytes);
        }
        if (in.ended && in.bytes.size() < kSmallestImage) {
            const auto& size = in.declared.size;
            if (size && !in.declared.needMore && (size->first == 0 || size->second == 0))
                return Failure{std::string(describe(DecodeFailure::kBadHeader)),
                               "a side of 0 pixels"};
            return Failure{std::string(describe(DecodeFailure::kTooShort)), ""};
        }
        if (in.declared.sizeIsTheImage && !withinBudget(in.declared))
            return tooLarge(declaredText(in.declared));
    } catch (const std::bad_alloc&) {
        return Failure::of(
            LoadFailure{DecodeFailure::kOutOfMemory, "no room for the file's bytes"});
    }
    return std::nullopt;
}

std::optional<Failure> readRest(Input& in) {
    const std::uint64_t limit = byteLimitFor(in.format, in.declared, pixelLimit());
    // What the bytes beyond the limit are refused as.
    const auto beyond = [&]() {
        std::string what = "more than the " + std::to_string(limit) + " bytes ";
        what +=
            in.declared.size
                ? "a " + declaredText(in.declared) + " " + std::string(in.format.name) + " can need"
                : "an image within the pixel budget of " + std::to_string(pixelLimit()) +
                      " pixels can need, --max-pixels";
        return Failure{std::string(describe(DecodeFailure::kTooLarge)), what};
    };
    // A format that states its length is read to there, whatever follows.
    const auto& stated = in.declared.fileBytes;
    if (stated && *stated > limit) return beyond();
    try {
        // Bytes already read stay, whatever the stated length.
        std::uint64_t want = stated ? std::max<std::uint64_t>(*stated, in.bytes.size()) : limit;
        if (const auto rest = in.stream.fileSize()) {
            const std::uint64_t total = in.bytes.size() + *rest;
            if (total > want && !stated) return beyond();
            want = std::min(total, want);
            in.bytes.reserve(
                static_cast<std::size_t>(std::max<std::uint64_t>(want, in.bytes.size())));
        }
        // One byte past the limit tells an input that goes on from one that ends there.
        if (!readUpTo(in, static_cast<std::size_t>(stated ? want : want + 1))) return unreadable();
        if (in.bytes.size() > want) {
            if (!stated) return beyond();
            in.bytes.resize(static_cast<std::size_t>(want));
        }
    } catch (const std::bad_alloc&) {
        return Failure::of(
            LoadFailure{DecodeFailure::kOutOfMemory, "no room for the file's bytes"});
    } catch (const std::length_error&) {
        return Failure::of(
            LoadFailure{DecodeFailure::kOutOfMemory, "no room for the file's bytes"});
    }
    return std::nullopt;
}

std::optional<Failure> decodeInput(const Input& in, c32bppDIB& image, const IconChoice& icon,
                                   std::optional<PixelSize> drawnAt, std::int32_t orientation) {
    constexpr std::int64_t kSide = std::numeric_limits<std::int32_t>::max();
    const bool forSize = drawnAt && in.format.key == "jpeg" && drawnAt->first >= 1 &&
                         drawnAt->second >= 1 && drawnAt->first <= kSide &&
                         drawnAt->second <= kSide;
    if (forSize
            ? image.LoadPicture_StreamForSize(in.bytes, static_cast<std::int32_t>(drawnAt->first),
                                              static_cast<std::int32_t>(drawnAt->second),
                                              orientation)
            : image.LoadPicture_Stream(in.bytes, icon.width, icon.height, 0, 0, false, icon.depth))
        return std::nullopt;
    const LoadFailure& failure = image.lastLoadFailure();
    // WebP and TIFF are read by the imaging bridge only, where its backend reads them.
    const bool bridgeFormat = in.format.key == "webp" || in.format.key == "tiff";
    if (failure.reason == DecodeFailure::kNotRecognised && bridgeFormat)
        return unsupportedFormat(in.format);
    if (failure.reason == DecodeFailure::kTooLarge) {
        const Declared& d = in.declared;
        // Beyond the budget says so, with the size where the header declares it; beyond another
        // limit (a 32-bit surface, the JPEG library's) says which.
        if (!d.sizeIsTheImage || !withinBudget(d))
            return tooLarge(d.sizeIsTheImage ? declaredText(d) : std::string());
        return Failure{std::string(describe(DecodeFailure::kTooLarge)),
                       declaredText(d) + "; " + std::string(failure.detail)};
    }
    return Failure::of(failure);
}

LoadedImage loadImage(const std::string& name, const LoadOptions& options) {
    LoadedImage loaded;
    Input in;
    const auto fail = [&loaded](Failure f) {
        loaded.failure = std::move(f);
        return std::move(loaded);
    };
    if (auto problem = openInput(name, in)) return fail(std::move(*problem));
    if (options.jobPixels) {
        // Without a declared size: about two bytes of the file a pixel, or the whole budget for
        // a stream of unknown length.
        std::uint64_t w = pixelLimit(), h = 1;
        if (in.declared.size) {
            std::tie(w, h) = *in.declared.size;
        } else if (const auto rest = in.stream.fileSize()) {
            w = std::min(pixelLimit(), (in.bytes.size() + *rest) / 2);
        }
        loaded.hold = batchGate().acquire(options.jobPixels(w, h));
    }
    if (auto problem = readRest(in)) return fail(std::move(*problem));
    const bool icon = in.format.key == "ico" || in.format.key == "cur";
    const IconChoice choice = icon && options.iconFor ? options.iconFor(in.bytes) : options.icon;
    const bool jpeg = in.format.key == "jpeg";
    if (jpeg && options.autoOrient)
        if (const auto header = readJpegHeader(in.bytes); header && header->orientation)
            loaded.orientation = *header->orientation;
    const bool swaps = loaded.orientation >= 5;
    const auto upright = [swaps](std::int64_t w, std::int64_t h) {
        return swaps ? PixelSize{h, w} : PixelSize{w, h};
    };
    std::optional<PixelSize> drawnAt;
    if (jpeg && options.drawSize && in.declared.size) {
        loaded.fullSize = upright(in.declared.size->first, in.declared.size->second);
        drawnAt = options.drawSize(loaded.fullSize.first, loaded.fullSize.second);
    }
    auto image = std::make_unique<c32bppDIB>();
    if (auto problem = decodeInput(in, *image, choice, drawnAt, loaded.orientation))
        return fail(std::move(*problem));
    // Loaded at its own size (the declared one, or without a drawing size).
    if (!drawnAt || upright(image->Width(), image->Height()) != *drawnAt)
        loaded.fullSize = upright(image->Width(), image->Height());
    loaded.image = std::move(image);
    if (jpeg) {
        if (const auto warning = platform::lastJpegWarning(); !warning.empty())
            loaded.warning =
                "the JPEG data is damaged or cut short, and the image may be "
                "incomplete (libjpeg-turbo: " +
                std::string(warning) + ")";
    }
    if (in.format.key == "gif") {
        if (const std::int32_t frames = gifFrameCount(in.bytes); frames > 1)
            loaded.warning = "holds " + std::to_string(frames) + " frames; only the first is read";
    }
    return loaded;
}

}  // namespace talvrin::tool
