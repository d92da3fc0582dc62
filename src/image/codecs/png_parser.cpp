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
#include "image/surface/c32bpp_dib_internal.h"
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

// A file is read in pieces of this size at most (chunk data other than IDAT is read whole).
constexpr std::size_t kFilePiece = 64 * 1024;

}  // namespace

// Where the walk reads: the caller's bytes in place, or a file, read where the walk asks.
class cPNGparser::ChunkReader {
  public:
    explicit ChunkReader(ByteView data) noexcept : data_(data), size_(data.size()) {}
    ChunkReader(platform::File& file, std::uint64_t size) noexcept : file_(&file), size_(size) {}

    [[nodiscard]] std::uint64_t size() const noexcept { return size_; }
    [[nodiscard]] bool inMemory() const noexcept { return file_ == nullptr; }
    // Why the last view failed: the file could not be read, the buffer not be had, or the
    // file ended early (it shrank while it was read).
    [[nodiscard]] const LoadFailure& failure() const noexcept { return failure_; }

    // The `length` bytes at `at`, valid until the next call; nothing when they cannot be read.
    std::optional<ByteView> view(std::uint64_t at, std::size_t length) noexcept {
        failure_ = {DecodeFailure::kTruncated, "data ends early"};
        if (!file_) return data_.sub(at, length);
        if (at > size_ || length > size_ - at) return std::nullopt;
        if (buffer_.size() < length) {
            try {
                buffer_.resize(length);
            } catch (...) {
                failure_ = {DecodeFailure::kOutOfMemory, "no room to read a chunk"};
                return std::nullopt;
            }
        }
        if (at != position_) {
            const auto moved =
                file_->seek(static_cast<std::int64_t>(at), platform::SeekOrigin::Begin);
            if (!moved || *moved != at) {
                failure_ = {DecodeFailure::kUnreadable, "seek error"};
                position_ = ~std::uint64_t{0};
                return std::nullopt;
            }
            position_ = at;
        }
        std::size_t got = 0;
        while (got < length) {
            const auto n = file_->read(buffer_.data() + got, length - got);
            if (!n) failure_ = {DecodeFailure::kUnreadable, "read error"};
            if (!n || *n == 0) {  // a read error, or a file that shrank while it was read
                position_ = ~std::uint64_t{0};
                return std::nullopt;
            }
            got += *n;
        }
        position_ = at + length;
        return ByteView(buffer_.data(), length);
    }

  private:
    ByteView data_;
    platform::File* file_ = nullptr;
    std::uint64_t size_;
    std::uint64_t position_ = ~std::uint64_t{0};
    std::vector<std::uint8_t> buffer_;
    LoadFailure failure_;
};

// Hands the built-in inflater's output to the row decoder.
class cPNGparser::RowSink final : public InflateSink {
  public:
    explicit RowSink(png::RowDecoder& rows) noexcept : rows_(rows) {}
    void write(const std::uint8_t* data, std::size_t size) noexcept override {
        rows_.append(data, size);
    }

  private:
    png::RowDecoder& rows_;
};

bool cPNGparser::hasSignature(ByteView data) noexcept {
    return data.size() >= 8 && std::memcmp(data.data(), kSignature, 8) == 0;
}

bool cPNGparser::LoadStream(std::span<const std::uint8_t> Stream, c32bppDIB& dibClass,
                            std::int32_t streamOffset, std::int32_t streamLength,
                            std::uint32_t& GlobalToken) noexcept {
    (void)GlobalToken;  // the imaging-library bridge declines every PNG on this platform
    failure_ = {DecodeFailure::kNotRecognised, {}};
    if (streamOffset < 0 || streamLength < 0) return false;
    const ByteView all(Stream);
    const auto view =
        all.sub(static_cast<std::uint64_t>(streamOffset), static_cast<std::uint64_t>(streamLength));
    if (!view || !hasSignature(*view)) return false;
    ChunkReader source(*view);
    decode(source, dibClass);
    return true;
}

bool cPNGparser::LoadFile(platform::File& FileHandle, std::u16string_view FileName,
                          c32bppDIB& dibClass, std::uint32_t& GlobalToken) noexcept {
    (void)FileName;  // only the imaging-library bridge reads the file by name
    (void)GlobalToken;
    failure_ = {DecodeFailure::kNotRecognised, {}};
    if (!FileHandle.seek(0, platform::SeekOrigin::Begin)) return false;
    const auto size = FileHandle.size();
    if (!size || *size < kSmallestFile) return false;
    std::uint8_t head[8];
    const auto got = FileHandle.read(head, sizeof head);
    if (!got || *got != sizeof head || !hasSignature(ByteView(head, sizeof head))) return false;

    // The walk reads the file where it needs it: chunk headers, IDAT data in pieces, the other
    // chunks it reads whole; the chunks it skips are not read at all. A file that shrank while
    // it was read ends where the reading ended.
    ChunkReader source(FileHandle, *size);
    decode(source, dibClass);
    return true;
}

bool cPNGparser::LoadFile(ByteView fileBytes, std::u16string_view FileName, c32bppDIB& dibClass,
                          std::uint32_t& GlobalToken) noexcept {
    (void)FileName;
    (void)GlobalToken;
    failure_ = {DecodeFailure::kNotRecognised, {}};
    if (fileBytes.size() < kSmallestFile || !hasSignature(fileBytes)) return false;
    ChunkReader source(fileBytes);
    decode(source, dibClass);
    return true;
}

void cPNGparser::decode(ChunkReader& source, c32bppDIB& dib) noexcept {
    failure_ = {};
    header_ = {};
    headerValid_ = false;
    expectedSize_ = 0;
    palette_.clear();
    transparency_.clear();
    preparedPalette_.clear();
    transparentValue_ = -1;
    imageDataBytes_ = 0;
    imageData_.clear();
    stateVersion_ = 0;
    stream_ = Stream::kIdle;
    libraryUsable_ = compression::isAvailable();

    bool walked = false;
    try {
        std::uint64_t pos = 8;
        for (;;) {
            // Fewer than 12 bytes cannot hold another chunk: the data ended without IEND.
            if (pos > source.size() || source.size() - pos < 12) {
                failure_.refuse(DecodeFailure::kTruncated, "no IEND chunk");
                break;
            }
            const auto head = source.view(pos, 8);
            if (!head) {
                failure_ = source.failure();
                break;
            }
            const std::uint32_t length = *head->u32be(0);
            char type[4];
            std::memcpy(type, head->data() + 4, 4);
            if (length > kMaxChunkLength) {
                failure_.refuse(DecodeFailure::kBadHeader, "chunk length of 2^31 or more");
                break;
            }
            const std::uint64_t at = pos;
            const std::uint64_t next = pos + length + 12;
            if (next > source.size()) {
                failure_.refuse(DecodeFailure::kTruncated, "chunk runs past the data");
                break;
            }
            pos = next;

            const ByteView typeView(reinterpret_cast<const std::uint8_t*>(type), 4);
            if (isType(typeView, "IEND")) {
                walked = true;
                break;
            }
            if (length == 0) continue;
            if (isType(typeView, "IDAT")) {
                if (!headerValid_) {
                    failure_.refuse(DecodeFailure::kBadHeader, "IDAT before a valid IHDR");
                    break;
                }
                if (!readImageData(source, at, length)) break;
                continue;
            }
            const bool header = isType(typeView, "IHDR");
            const bool palette = isType(typeView, "PLTE");
            const bool transparency = isType(typeView, "tRNS");
            if (!header && !palette && !transparency) continue;  // skipped unread
            // Type, data and the stored CRC (taken only when the library is usable).
            const auto whole = source.view(at + 4, std::size_t{length} + 8);
            if (!whole) {
                failure_ = source.failure();
                break;
            }
            const ByteView typeAndData = *whole->sub(0, std::uint64_t{length} + 4);
            const ByteView body = *whole->sub(4, length);
            const std::uint32_t stored =
                libraryUsable_ ? *whole->u32be(std::uint64_t{length} + 4) : 0;
            if (header) {
                if (!readHeader(typeAndData, body, stored)) break;
            } else if (palette) {
                if (!readPalette(typeAndData, body, stored)) break;
            } else {
                readTransparency(typeAndData, body, stored);
            }
            // The image that began from the state before this chunk is not the image the
            // whole data describes: it is decoded again after the walk.
            if (stream_ != Stream::kIdle && stateVersion_ != streamVersion_)
                stream_ = Stream::kAbandoned;
        }
    } catch (const std::bad_alloc&) {
        failure_.refuse(DecodeFailure::kOutOfMemory, "no room for a chunk");
        walked = false;
    }

    if (walked && imageDataBytes_ == 0) {
        failure_.refuse(DecodeFailure::kBadData, "no IDAT data");
        walked = false;
    }
    if (!walked || !headerValid_) {
        // No image: whatever the walk began is dropped; the surface is not touched.
        image_.reset();
        library_.reset();
        return;
    }
    if (stream_ == Stream::kRunning) drainLibrary();
    library_.reset();
    if (stream_ == Stream::kEnded) {
        finishImage(dib);
        return;
    }
    // The library's stream failed, or never ran over the data as it stands: the library from
    // the first IDAT (unless it already failed on the same data), then the built-in inflater.
    if (libraryUsable_ && stream_ != Stream::kFailed && replayWithLibrary(source, dib)) return;
    if (failure_.reason == DecodeFailure::kOutOfMemory ||
        failure_.reason == DecodeFailure::kUnreadable) {
        image_.reset();
        dib.DestroyDIB();
        return;
    }
    if (!inflateBuiltIn(source, dib)) {
        // Data that does not decompress leaves the surface as it was; only a failed allocation
        // of the image empties it, as a failed InitializeDIB would.
        image_.reset();
        if (failure_.reason == DecodeFailure::kOutOfMemory) dib.DestroyDIB();
    }
}

bool cPNGparser::startImage() noexcept {
    const bool usesPalette = header_.colorType == png::kGray || header_.colorType == png::kPalette;
    try {
        preparedPalette_.clear();
        if (usesPalette && palette_.empty())
            preparedPalette_ = png::preparedPalette(header_, false);
    } catch (const std::bad_alloc&) {
        return failure_.refuse(DecodeFailure::kOutOfMemory, "no room for the palette");
    }
    image_.reset();  // an earlier attempt's, before the next is allocated
    image_ = platform::Bitmap::create(header_.width, header_.height, 32);
    if (!image_) return failure_.refuse(DecodeFailure::kOutOfMemory, "no room for the image");
    png::ConversionContext ctx;
    ctx.header = header_;
    ctx.palette = palette_.empty() ? preparedPalette_ : palette_;
    ctx.transparency = transparency_;
    ctx.transparentValue = transparentValue_;
    const PixelView target{image_->bits(), image_->width(), image_->height()};
    if (!rows_.start(ctx, target)) {
        image_.reset();
        return failure_.refuse(DecodeFailure::kOutOfMemory, "no room for the row window");
    }
    produced_ = 0;
    return true;
}

bool cPNGparser::readImageData(ChunkReader& source, std::uint64_t at, std::uint32_t length) {
    imageData_.push_back({at + 8, length});
    imageDataBytes_ += length;
    if (libraryUsable_ && stream_ == Stream::kIdle) {
        // The first IDAT: the image begins from the state read so far.
        streamVersion_ = stateVersion_;
        stream_ = Stream::kAbandoned;  // unless it can start
        library_ = std::make_unique<compression::StreamInflater>();
        if (library_ && startImage()) stream_ = Stream::kRunning;
        failure_ = {};  // a failed start is retried after the walk
    }
    // The data in pieces: checksummed, and inflated while the library's stream runs.
    const bool checking = libraryUsable_;
    std::uint32_t crc = checking
                            ? compression::crc32Update(
                                  0, ByteView(reinterpret_cast<const std::uint8_t*>("IDAT"), 4))
                            : 0;
    if (checking || stream_ == Stream::kRunning) {
        std::uint64_t done = 0;
        const std::size_t piece = source.inMemory() ? length : kFilePiece;
        while (done < length && (checking || stream_ == Stream::kRunning)) {
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>(piece, length - done));
            const auto bytes = source.view(at + 8 + done, n);
            if (!bytes) {
                failure_ = source.failure();
                return false;
            }
            if (checking) crc = compression::crc32Update(crc, *bytes);
            if (stream_ == Stream::kRunning) feedLibrary(*bytes);
            done += n;
        }
    }
    if (!checking) return true;
    const auto storedView = source.view(at + 8 + length, 4);
    if (!storedView) {
        failure_ = source.failure();
        return false;
    }
    const std::uint32_t stored = *storedView->u32be(0);
    if (stored != 0 && (crc == 0 || crc != stored))
        return failure_.refuse(DecodeFailure::kChecksum, "CRC mismatch in IDAT");
    return true;
}

bool cPNGparser::checksumOk(ByteView typeAndData, std::uint32_t stored) const noexcept {
    if (!libraryUsable_ || stored == 0) return true;
    return compression::chunkChecksumMatches(typeAndData, stored);
}

bool cPNGparser::readHeader(ByteView typeAndData, ByteView body, std::uint32_t stored) noexcept {
    ++stateVersion_;
    headerValid_ = false;
    if (!checksumOk(typeAndData, stored))
        return failure_.refuse(DecodeFailure::kChecksum, "CRC mismatch in IHDR");
    if (body.size() < 13)
        return failure_.refuse(DecodeFailure::kBadHeader, "IHDR shorter than 13 bytes");
    png::ImageHeader h;
    // Values of 2^31 and more are negative.
    h.width = static_cast<std::int32_t>(*body.u32be(0));
    h.height = static_cast<std::int32_t>(*body.u32be(4));
    h.bitDepth = body.data()[8];
    h.colorType = body.data()[9];
    h.interlace = body.data()[12];
    if (h.width < 1 || h.height < 1)
        return failure_.refuse(DecodeFailure::kBadHeader, "width or height 0 or 2^31 and more");
    if (body.data()[10] != 0 || body.data()[11] != 0)
        return failure_.refuse(DecodeFailure::kBadHeader, "compression or filter method not 0");
    if (h.interlace > 1)
        return failure_.refuse(DecodeFailure::kBadHeader, "interlace method above 1");
    if (!png::isValidFormat(h.colorType, h.bitDepth))
        return failure_.refuse(DecodeFailure::kBadHeader, "bit depth and colour type");
    // More pixels than the decode budget, or than a 32-bit surface of 4-byte pixels holds (the
    // own limit, width * 32 * height within the signed 32-bit range): refused before anything
    // of the image's size is allocated.
    if (!withinDecodeBudget(static_cast<std::uint64_t>(h.width),
                            static_cast<std::uint64_t>(h.height)))
        return failure_.refuse(DecodeFailure::kTooLarge, "beyond the decode budget");
    if (!checkedMul<std::int32_t>(h.width, 32, h.height))
        return failure_.refuse(DecodeFailure::kTooLarge, "beyond a 32-bit surface");
    const auto expected = png::expectedSize(h);
    if (!expected) return failure_.refuse(DecodeFailure::kBadHeader, "image data size overflows");
    header_ = h;
    expectedSize_ = *expected;
    headerValid_ = true;
    return true;
}

bool cPNGparser::readPalette(ByteView typeAndData, ByteView body, std::uint32_t stored) {
    // Gray images have no use for a palette, and before the header its use is unknown.
    if (!headerValid_ || header_.colorType == png::kGray || header_.colorType == png::kGrayAlpha)
        return true;
    if (!checksumOk(typeAndData, stored))
        return failure_.refuse(DecodeFailure::kChecksum, "CRC mismatch in PLTE");
    if (body.size() % 3 != 0)
        return failure_.refuse(DecodeFailure::kBadHeader, "PLTE length not a multiple of 3");
    palette_.assign(body.data(), body.data() + body.size());
    ++stateVersion_;
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
    ++stateVersion_;  // counted also when the chunk turns out too short: harmless
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

void cPNGparser::feedLibrary(ByteView piece) noexcept {
    std::size_t used = 0;
    for (;;) {
        const std::span<std::uint8_t> room = rows_.space();
        // Never more than the expected size in all: a stream that needs more fails, as
        // uncompress into a buffer of that size would.
        const std::size_t limit = std::min(room.size(), expectedSize_ - produced_);
        std::size_t consumed = 0, produced = 0;
        const auto step = library_->run(piece.from(used), room.first(limit), consumed, produced);
        used += consumed;
        produced_ += produced;
        rows_.commit(produced);
        switch (step) {
            case compression::StreamInflater::Step::kEnd:
                stream_ = Stream::kEnded;
                return;
            case compression::StreamInflater::Step::kFailed:
                stream_ = Stream::kFailed;
                return;
            case compression::StreamInflater::Step::kNeedInput:
                // All input taken; when the room was filled, output may still be pending.
                if (produced < limit || limit == 0) return;
                break;
            case compression::StreamInflater::Step::kOutputFull:
                if (expectedSize_ == produced_) {
                    stream_ = Stream::kFailed;
                    return;
                }
                break;
        }
    }
}

void cPNGparser::drainLibrary() noexcept {
    // The data has ended: what the stream still holds comes out, and it must end now.
    for (;;) {
        const std::span<std::uint8_t> room = rows_.space();
        const std::size_t limit = std::min(room.size(), expectedSize_ - produced_);
        std::size_t consumed = 0, produced = 0;
        const auto step = library_->run({}, room.first(limit), consumed, produced);
        produced_ += produced;
        rows_.commit(produced);
        if (step == compression::StreamInflater::Step::kEnd) {
            stream_ = Stream::kEnded;
            return;
        }
        if (step == compression::StreamInflater::Step::kFailed || produced == 0) {
            stream_ = Stream::kFailed;
            return;
        }
    }
}

bool cPNGparser::replayWithLibrary(ChunkReader& source, c32bppDIB& dib) noexcept {
    try {
        library_ = std::make_unique<compression::StreamInflater>();
    } catch (const std::bad_alloc&) {
        return failure_.refuse(DecodeFailure::kOutOfMemory, "no room for the inflate stream");
    }
    if (!startImage()) return false;
    stream_ = Stream::kRunning;
    for (const ChunkSpan& span : imageData_) {
        const std::size_t piece = source.inMemory() ? span.length : kFilePiece;
        for (std::uint64_t done = 0; done < span.length && stream_ == Stream::kRunning;) {
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>(piece, span.length - done));
            const auto bytes = source.view(span.at + done, n);
            if (!bytes) {
                library_.reset();
                failure_ = source.failure();
                return false;
            }
            feedLibrary(*bytes);
            done += n;
        }
        if (stream_ != Stream::kRunning) break;
    }
    if (stream_ == Stream::kRunning) drainLibrary();
    library_.reset();
    if (stream_ != Stream::kEnded) return false;
    finishImage(dib);
    return true;
}

bool cPNGparser::inflateBuiltIn(ChunkReader& source, c32bppDIB& dib) noexcept {
    // The built-in inflater reads one contiguous stream: the IDAT data gathered again.
    std::vector<std::uint8_t> gathered;
    ByteView stream;
    if (imageData_.size() == 1 && source.inMemory()) {
        stream = *source.view(imageData_[0].at, imageData_[0].length);
    } else {
        try {
            gathered.resize(static_cast<std::size_t>(imageDataBytes_));
        } catch (...) {
            return failure_.refuse(DecodeFailure::kOutOfMemory, "no room for the image data");
        }
        std::size_t at = 0;
        for (const ChunkSpan& span : imageData_) {
            const auto bytes = source.view(span.at, span.length);
            if (!bytes) {
                failure_ = source.failure();
                return false;
            }
            std::memcpy(gathered.data() + at, bytes->data(), span.length);
            at += span.length;
        }
        stream = ByteView(gathered.data(), gathered.size());
    }
    if (!startImage()) return false;
    RowSink sink(rows_);
    const InflateResult result = inflateZlibTo(stream, expectedSize_, sink);
    // Data that does not inflate is bad data, whatever the inflater found wrong with it.
    if (!result.ok())
        return failure_.refuse(result.failure.reason == DecodeFailure::kOutOfMemory
                                   ? DecodeFailure::kOutOfMemory
                                   : DecodeFailure::kBadData,
                               result.failure.detail);
    finishImage(dib);
    return true;
}

void cPNGparser::finishImage(c32bppDIB& dib) noexcept {
    rows_.finish();
    if (!rows_.succeeded()) {
        image_.reset();
        dib.DestroyDIB();
        failure_ = rows_.failure().failed()
                       ? rows_.failure()
                       : LoadFailure{DecodeFailure::kBadData, "image rows incomplete"};
        return;
    }
    if (!dib.AdoptBitmap(image_)) {  // a fresh bitmap of the header's size is never refused
        image_.reset();
        dib.DestroyDIB();
        failure_.refuse(DecodeFailure::kOutOfMemory, "the surface refused the image");
        return;
    }
    const bool alphaChannel =
        header_.colorType == png::kGrayAlpha || header_.colorType == png::kRgba;
    SurfaceInternals::setAlpha(dib, alphaChannel || transparentValue_ != -1);
    SurfaceInternals::setImageType(dib, imgPNG);
    failure_ = {};
}

}  // namespace talvrin
