#include "image/codecs/png_parser.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "base/checked_math.h"
#include "base/decode_budget.h"
#include "base/whole_file.h"
#include "image/codecs/compression.h"
#include "image/codecs/inflater.h"
#include "image/surface/c32bpp_dib.h"
#include "image/surface/image_types.h"
#include "platform/os/files.h"

namespace talvrin {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
// The smallest PNG: signature, IHDR, an empty IDAT and IEND.
constexpr std::uint64_t kSmallestFile = 57;
// Chunk lengths are below 2^31.
constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFFu;

bool isType(ByteView typeAndData, const char (&name)[5]) noexcept {
    return std::memcmp(typeAndData.data(), name, 4) == 0;
}

struct FreeDeleter {
    void operator()(std::uint8_t* p) const noexcept { std::free(p); }
};

}  // namespace

bool cPNGparser::hasSignature(ByteView data) noexcept {
    return data.size() >= 8 && std::memcmp(data.data(), kSignature, 8) == 0;
}

bool cPNGparser::LoadStream(std::span<const std::uint8_t> Stream, c32bppDIB& dibClass,
                            std::int32_t streamOffset, std::int32_t streamLength,
                            std::uint32_t& GlobalToken) noexcept {
    (void)GlobalToken;  // the imaging-library bridge declines every PNG on this platform
    failure_ = Failure::kNone;
    recognised_ = false;
    if (streamOffset < 0 || streamLength < 0) return false;
    const ByteView all(Stream);
    const auto view =
        all.sub(static_cast<std::uint64_t>(streamOffset), static_cast<std::uint64_t>(streamLength));
    if (!view || !hasSignature(*view)) return false;
    recognised_ = true;
    decode(*view, dibClass);
    return true;
}

bool cPNGparser::LoadFile(platform::File& FileHandle, std::u16string_view FileName,
                          c32bppDIB& dibClass, std::uint32_t& GlobalToken) noexcept {
    (void)FileName;  // only the imaging-library bridge reads the file by name
    (void)GlobalToken;
    failure_ = Failure::kNone;
    recognised_ = false;
    if (!FileHandle.seek(0, platform::SeekOrigin::Begin)) return false;
    const auto size = FileHandle.size();
    if (!size || *size < kSmallestFile) return false;
    std::uint8_t head[8];
    const auto got = FileHandle.read(head, sizeof head);
    if (!got || *got != sizeof head || !hasSignature(ByteView(head, sizeof head))) return false;

    // The walk runs over the whole file in memory; a file that cannot be held is PNG without an
    // image. A file that shrank while it was read ends where the reading ended.
    recognised_ = true;
    std::vector<std::uint8_t> bytes;
    if (!FileHandle.seek(0, platform::SeekOrigin::Begin) ||
        readWholeFile(FileHandle, *size, bytes, std::numeric_limits<std::size_t>::max()) !=
            WholeFileStatus::kOk) {
        failure_ = Failure::kOutOfMemory;
        return true;
    }
    decode(ByteView(bytes.data(), bytes.size()), dibClass);
    return true;
}

bool cPNGparser::LoadFile(ByteView fileBytes, std::u16string_view FileName, c32bppDIB& dibClass,
                          std::uint32_t& GlobalToken) noexcept {
    (void)FileName;
    (void)GlobalToken;
    failure_ = Failure::kNone;
    recognised_ = false;
    if (fileBytes.size() < kSmallestFile || !hasSignature(fileBytes)) return false;
    recognised_ = true;
    decode(fileBytes, dibClass);
    return true;
}

DecodeFailure cPNGparser::decodeFailure() const noexcept {
    if (!recognised_) return DecodeFailure::kNotRecognised;
    switch (failure_) {
        case Failure::kNone:
            return DecodeFailure::kNone;
        case Failure::kTruncated:
            return DecodeFailure::kTruncated;
        case Failure::kBadChunkLength:
        case Failure::kBadHeader:
        case Failure::kBadPalette:
        case Failure::kDataBeforeHeader:
            return DecodeFailure::kBadHeader;
        case Failure::kChecksum:
            return DecodeFailure::kChecksum;
        case Failure::kNoImageData:
        case Failure::kDecompress:
        case Failure::kConversion:
            return DecodeFailure::kBadData;
        case Failure::kOutOfMemory:
            return DecodeFailure::kOutOfMemory;
        case Failure::kTooLarge:
            return DecodeFailure::kTooLarge;
    }
    return DecodeFailure::kBadData;
}

void cPNGparser::decode(ByteView data, c32bppDIB& dib) noexcept {
    header_ = {};
    headerValid_ = false;
    expectedSize_ = 0;
    palette_.clear();
    transparency_.clear();
    transparentValue_ = -1;
    gatheredLength_ = 0;
    libraryUsable_ = compression::isAvailable();

    // The gathering buffer starts at half the input length.
    try {
        gathered_.assign(data.size() / 2 + 1, 0);
    } catch (const std::bad_alloc&) {
        rejectWith(Failure::kOutOfMemory);
        return;
    }

    bool walked = false;
    try {
        std::uint64_t pos = 8;
        for (;;) {
            // Fewer than 12 bytes cannot hold another chunk: the data ended without IEND.
            if (!data.contains(pos, 12)) {
                rejectWith(Failure::kTruncated);
                break;
            }
            const std::uint32_t length = *data.u32be(pos);
            if (length > kMaxChunkLength) {
                rejectWith(Failure::kBadChunkLength);
                break;
            }
            const std::uint64_t next = pos + length + 12;
            if (next > data.size()) {
                rejectWith(Failure::kTruncated);
                break;
            }
            const ByteView typeAndData = *data.sub(pos + 4, std::uint64_t{length} + 4);
            const ByteView body = *data.sub(pos + 8, length);
            const std::uint32_t stored = libraryUsable_ ? *data.u32be(pos + 8 + length) : 0;
            pos = next;

            if (isType(typeAndData, "IEND")) {
                walked = true;
                break;
            }
            if (length == 0) continue;
            if (isType(typeAndData, "IHDR")) {
                if (!readHeader(typeAndData, body, stored)) break;
            } else if (isType(typeAndData, "PLTE")) {
                if (!readPalette(typeAndData, body, stored)) break;
            } else if (isType(typeAndData, "tRNS")) {
                readTransparency(typeAndData, body, stored);
            } else if (isType(typeAndData, "IDAT")) {
                if (!headerValid_) {
                    rejectWith(Failure::kDataBeforeHeader);
                    break;
                }
                if (!checksumOk(typeAndData, stored)) {
                    rejectWith(Failure::kChecksum);
                    break;
                }
                if (!appendImageData(body, data.size())) break;
            }
            // Every other chunk is skipped unread.
        }
    } catch (const std::bad_alloc&) {
        rejectWith(Failure::kOutOfMemory);
        walked = false;
    }

    if (walked && gatheredLength_ == 0) rejectWith(Failure::kNoImageData);
    if (walked && gatheredLength_ != 0 && headerValid_) buildImage(dib);
    gathered_.clear();
    gathered_.shrink_to_fit();
}

bool cPNGparser::checksumOk(ByteView typeAndData, std::uint32_t stored) const noexcept {
    if (!libraryUsable_ || stored == 0) return true;
    return compression::chunkChecksumMatches(typeAndData, stored);
}

bool cPNGparser::readHeader(ByteView typeAndData, ByteView body, std::uint32_t stored) noexcept {
    headerValid_ = false;
    if (!checksumOk(typeAndData, stored)) return rejectWith(Failure::kChecksum);
    if (body.size() < 13) return rejectWith(Failure::kBadHeader);
    png::ImageHeader h;
    // Values of 2^31 and more are negative.
    h.width = static_cast<std::int32_t>(*body.u32be(0));
    h.height = static_cast<std::int32_t>(*body.u32be(4));
    h.bitDepth = body.data()[8];
    h.colorType = body.data()[9];
    h.interlace = body.data()[12];
    if (h.width < 1 || h.height < 1) return rejectWith(Failure::kBadHeader);
    if (body.data()[10] != 0 || body.data()[11] != 0) return rejectWith(Failure::kBadHeader);
    if (h.interlace > 1 || !png::isValidFormat(h.colorType, h.bitDepth))
        return rejectWith(Failure::kBadHeader);
    // More pixels than the decode budget, or than a 32-bit surface of 4-byte pixels holds (the
    // own limit, width * 32 * height within the signed 32-bit range): refused before anything
    // of the image's size is allocated.
    if (!withinDecodeBudget(static_cast<std::uint64_t>(h.width),
                            static_cast<std::uint64_t>(h.height)) ||
        !checkedMul<std::int32_t>(h.width, 32, h.height))
        return rejectWith(Failure::kTooLarge);
    const auto expected = png::expectedSize(h);
    if (!expected) return rejectWith(Failure::kBadHeader);
    header_ = h;
    expectedSize_ = *expected;
    headerValid_ = true;
    return true;
}

bool cPNGparser::readPalette(ByteView typeAndData, ByteView body, std::uint32_t stored) {
    // Gray images have no use for a palette, and before the header its use is unknown.
    if (!headerValid_ || header_.colorType == png::kGray || header_.colorType == png::kGrayAlpha)
        return true;
    if (!checksumOk(typeAndData, stored)) return rejectWith(Failure::kChecksum);
    if (body.size() % 3 != 0) return rejectWith(Failure::kBadPalette);
    palette_.assign(body.data(), body.data() + body.size());
    return true;
}

void cPNGparser::readTransparency(ByteView typeAndData, ByteView body, std::uint32_t stored) {
    // Ignored before the header, for types with an alpha channel, after a checksum mismatch,
    // and when too short for its colour type: the array and the value change together or not
    // at all.
    if (!headerValid_) return;
    if (header_.colorType == png::kGrayAlpha || header_.colorType == png::kRgba) return;
    if (!checksumOk(typeAndData, stored)) return;
    const std::uint8_t* d = body.data();
    switch (header_.colorType) {
        case png::kGray:
            if (body.size() < 2) return;
            transparency_.assign(d, d + body.size());
            transparentValue_ = d[1];
            break;
        case png::kRgb:
            if (body.size() < 6) return;
            transparency_.assign(d, d + body.size());
            transparentValue_ = (std::int32_t{d[1]} << 16) | (std::int32_t{d[3]} << 8) | d[5];
            break;
        case png::kPalette:
            transparency_.assign(d, d + body.size());
            if (transparency_.size() < 256) transparency_.resize(256, 255);
            transparentValue_ = 0;
            break;
        default:
            break;
    }
}

bool cPNGparser::appendImageData(ByteView body, std::size_t inputLength) noexcept {
    const std::size_t needed = gatheredLength_ + body.size();  // both below the input length
    if (needed > gathered_.size() - 1) {
        // Grow to what is needed plus a quarter of the input, keeping reallocations few.
        try {
            gathered_.resize(needed + inputLength / 4 + 1);
        } catch (const std::bad_alloc&) {
            return rejectWith(Failure::kOutOfMemory);
        }
    }
    std::memcpy(gathered_.data() + gatheredLength_, body.data(), body.size());
    gatheredLength_ = needed;
    return true;
}

bool cPNGparser::buildImage(c32bppDIB& dib) noexcept {
    // The output of the expected size, zero-filled (calloc hands large blocks over as fresh
    // zero pages, without a pass over them).
    std::unique_ptr<std::uint8_t, FreeDeleter> out(
        static_cast<std::uint8_t*>(std::calloc(expectedSize_ ? expectedSize_ : 1, 1)));
    if (!out) return rejectWith(Failure::kOutOfMemory);
    const std::span<std::uint8_t> buffer(out.get(), expectedSize_);
    const ByteView compressed(gathered_.data(), gatheredLength_);

    bool inflated = libraryUsable_ && compression::uncompress(compressed, buffer);
    if (!inflated) {
        // A failed library call may have written part of the buffer; the fallback starts from
        // zeros again so that output it does not reach stays zero.
        if (libraryUsable_) std::memset(buffer.data(), 0, buffer.size());
        inflated = inflateZlib(compressed, buffer).ok();
    }
    gathered_.clear();
    gathered_.shrink_to_fit();
    gatheredLength_ = 0;
    if (!inflated) return rejectWith(Failure::kDecompress);

    const bool usesPalette = header_.colorType == png::kGray || header_.colorType == png::kPalette;
    try {
        if (usesPalette && palette_.empty()) palette_ = png::preparedPalette(header_, false);
    } catch (const std::bad_alloc&) {
        return rejectWith(Failure::kOutOfMemory);
    }

    if (!dib.InitializeDIB(header_.width, header_.height)) return rejectWith(Failure::kOutOfMemory);
    png::ConversionContext ctx;
    ctx.header = header_;
    ctx.palette = palette_;
    ctx.transparency = transparency_;
    ctx.transparentValue = transparentValue_;
    const PixelView target{dib.BitsPointer(), dib.Width(), dib.Height()};
    if (!png::decodeImageData(buffer, ctx, target)) {
        dib.DestroyDIB();
        return rejectWith(Failure::kConversion);
    }
    const bool alphaChannel =
        header_.colorType == png::kGrayAlpha || header_.colorType == png::kRgba;
    dib.setAlpha(alphaChannel || transparentValue_ != -1);
    dib.setImageType(imgPNG);
    return true;
}

}  // namespace talvrin
