// c32bppDIB: pixels out and in (GetDIBbits, SetDIBbits), the image as a bitmap or PNG file, the
// kept source bytes, and the file names of a drop or of the clipboard.
#include <cstring>
#include <limits>

#include "base/checked_math.h"
#include "base/div255.h"
#include "image/bridge/gdiplus.h"
#include "image/codecs/pixel_helpers.h"
#include "image/codecs/png_writer.h"
#include "image/image_kernels.h"
#include "image/surface/c32bpp_dib.h"
#include "image/surface/surface_rows.h"
#include "platform/picture/clipboard.h"

namespace talvrin {

namespace {

constexpr std::int64_t kMaxArrayBytes = std::numeric_limits<std::int32_t>::max();
constexpr std::uint32_t kBitmapHeaderBytes = 54;

// Bytes in one row of `width` pixels of the chosen layout, or nothing above the array limit.
std::optional<std::int64_t> layoutRowBytes(std::int32_t width, bool fourBytes,
                                           bool wordAligned) noexcept {
    const std::uint64_t bytes = fourBytes ? std::uint64_t(width) * 4
                                : wordAligned
                                    ? dwordAlignedRowBytes(static_cast<std::uint32_t>(width), 24)
                                    : std::uint64_t(width) * 3;
    if (bytes > static_cast<std::uint64_t>(kMaxArrayBytes)) return std::nullopt;
    return static_cast<std::int64_t>(bytes);
}

// A rectangle's far edge, cut to the image: a size of 0 reaches the edge.
std::int32_t cutSize(std::int32_t start, std::int32_t size, std::int32_t extent) noexcept {
    const std::int64_t room = std::int64_t{extent} - start;
    if (size <= 0) return static_cast<std::int32_t>(size == 0 ? room : 0);
    return static_cast<std::int32_t>(std::min<std::int64_t>(size, room));
}

// One pixel of a 4-byte layout (detail::exportRow32Scalar).
inline void exportPixel32(const std::uint8_t* p, std::uint8_t* o, bool bgr,
                          bool premultiplied) noexcept {
    const std::uint32_t a = p[kAlphaOffset];
    std::uint8_t b = p[kBlueOffset], g = p[kGreenOffset], r = p[kRedOffset];
    if (!premultiplied && a != 255) {
        if (a == 0) {
            b = g = r = 0;
        } else {
            b = unpremultiplyChannel(b, a);
            g = unpremultiplyChannel(g, a);
            r = unpremultiplyChannel(r, a);
        }
    }
    o[bgr ? 0 : 2] = b;
    o[1] = g;
    o[bgr ? 2 : 0] = r;
    o[3] = static_cast<std::uint8_t>(a);
}

void putLE(std::uint8_t* at, std::uint32_t v, int bytes) noexcept {
    for (int i = 0; i < bytes; ++i)
        at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

void detail::exportRow32Scalar(const std::uint8_t* p, std::uint8_t* o, std::int32_t n, bool bgr,
                               bool premultiplied) noexcept {
    for (std::int32_t i = 0; i < n; ++i)
        exportPixel32(p + 4 * i, o + 4 * i, bgr, premultiplied);
}

bool c32bppDIB::GetDIBbits(std::vector<std::uint8_t>& outStream, bool /*as2dArray*/,
                           bool asBGRformat, bool as32bpp, bool asWordAligned, bool asBottomUp,
                           std::int32_t x, std::int32_t y, std::int32_t Width, std::int32_t Height,
                           bool asPreMultiplied) const {
    if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return false;
    const std::int32_t w = cutSize(x, Width, width_);
    const std::int32_t h = cutSize(y, Height, height_);
    if (w < 1 || h < 1) return false;
    const auto rowBytes = layoutRowBytes(w, as32bpp, asWordAligned);
    if (!rowBytes) return false;
    const auto total = checkedMul<std::int64_t>(*rowBytes, std::int64_t{h});
    if (!total || *total > kMaxArrayBytes) return false;

    // The array is reused (every byte of it is written below), so that a caller exporting band
    // after band into one array allocates once.
    std::vector<std::uint8_t>& out = outStream;
    try {
        out.resize(static_cast<std::size_t>(*total));
    } catch (...) {
        return false;  // resize leaves the array as it was
    }
    const ConstPixelView view(bits_, width_, height_);
    // The whole image as stored: one copy.
    if (w == width_ && h == height_ && as32bpp && asBGRformat && asBottomUp && asPreMultiplied) {
        std::memcpy(out.data(), bits_, out.size());
        return true;
    }
    const std::size_t step = as32bpp ? 4 : 3;
    const std::size_t red = asBGRformat ? 2 : 0;
    const std::size_t blue = asBGRformat ? 0 : 2;
    const auto exportRow = imageKernels().exportRow32;
    for (std::int32_t r = 0; r < h; ++r) {
        // Output row r holds image row y + r (from the top), or the rows in reverse.
        const std::int32_t imageRow = asBottomUp ? y + h - 1 - r : y + r;
        const std::uint8_t* p = view.pixelFromTop(x, imageRow);
        std::uint8_t* o = out.data() + static_cast<std::size_t>(r) * std::size_t(*rowBytes);
        if (as32bpp) {
            exportRow(p, o, w, asBGRformat, asPreMultiplied);
            continue;
        }
        for (std::int32_t i = 0; i < w; ++i, p += 4, o += step) {
            const std::uint32_t a = p[kAlphaOffset];
            std::uint8_t b = p[kBlueOffset], g = p[kGreenOffset], rd = p[kRedOffset];
            if (!asPreMultiplied && a != 255) {
                if (a == 0) {
                    b = g = rd = 0;
                } else {
                    b = unpremultiplyChannel(b, a);
                    g = unpremultiplyChannel(g, a);
                    rd = unpremultiplyChannel(rd, a);
                }
            }
            o[blue] = b;
            o[1] = g;
            o[red] = rd;
        }
        // The padding of word-aligned 3-byte rows is zeros.
        std::memset(o, 0, static_cast<std::size_t>(*rowBytes) - static_cast<std::size_t>(w) * 3);
    }
    return true;
}

bool c32bppDIB::SetDIBbits(std::span<const std::uint8_t> inStream, bool isBGRformat, bool is32bpp,
                           bool isWordAligned, bool isBottomUp, std::int32_t dstX,
                           std::int32_t dstY, std::int32_t dstWidth, std::int32_t dstHeight) {
    if (!bits_ || inStream.empty() || dstX < 0 || dstY < 0 || dstX >= width_ || dstY >= height_)
        return false;
    const std::int32_t w = cutSize(dstX, dstWidth, width_);
    const std::int32_t h = cutSize(dstY, dstHeight, height_);
    if (w < 1 || h < 1) return false;
    const auto rowBytes = layoutRowBytes(w, is32bpp, isWordAligned);
    if (!rowBytes) return false;
    // The array must hold the image's height of rows, whatever part of it is written.
    const auto needed = checkedMul<std::int64_t>(*rowBytes, std::int64_t{height_});
    if (!needed || static_cast<std::uint64_t>(*needed) > inStream.size()) return false;

    const PixelView view(bits_, width_, height_);
    const std::size_t step = is32bpp ? 4 : 3;
    const std::size_t red = isBGRformat ? 2 : 0;
    const std::size_t blue = isBGRformat ? 0 : 2;
    for (std::int32_t k = 0; k < h; ++k) {
        const std::int32_t imageRow = isBottomUp ? dstY + h - 1 - k : dstY + k;
        const std::uint8_t* in =
            inStream.data() + static_cast<std::size_t>(k) * std::size_t(*rowBytes);
        std::uint8_t* p = view.pixelFromTop(dstX, imageRow);
        for (std::int32_t i = 0; i < w; ++i, p += 4, in += step) {
            p[kBlueOffset] = in[blue];
            p[kGreenOffset] = in[1];
            p[kRedOffset] = in[red];
            if (is32bpp) p[kAlphaOffset] = in[3];
        }
    }
    // The whole surface's alpha is decided again: opaque when nothing is transparent, straight
    // alpha premultiplied. The image type stays what it was.
    bool alpha = false;
    std::int32_t type = imgBitmap;
    ClassifyAlpha({bits_, dib_->byteCount()}, width_, height_, true, alpha, type);
    alpha_ = alpha;
    return true;
}

bool c32bppDIB::SaveToStream(std::vector<std::uint8_t>& outStream) const {
    SaveFailure ignored;
    return SaveToStream(outStream, ignored);
}

bool c32bppDIB::SaveToStream(std::vector<std::uint8_t>& outStream, SaveFailure& failure) const {
    failure = {};
    if (!bits_) return failure.refuse(EncodeFailure::kNoImage, "");
    const bool fourBytes = alpha_;
    const auto rowBytes = layoutRowBytes(width_, fourBytes, true);
    const auto imageBytes =
        rowBytes ? checkedMul<std::int64_t>(*rowBytes, std::int64_t{height_}) : std::nullopt;
    if (!imageBytes || *imageBytes > kMaxArrayBytes - kBitmapHeaderBytes)
        return failure.refuse(EncodeFailure::kTooLarge, "a bitmap file beyond 2^31 - 1 bytes");

    std::vector<std::uint8_t> rows;
    std::vector<std::uint8_t> file;
    try {
        // The sizes are checked above: the row export fails only for want of memory.
        if (!fourBytes && !GetDIBbits(rows, true, true, false, true, true, 0, 0, 0, 0, true))
            return failure.refuse(EncodeFailure::kOutOfMemory, "");
        file.assign(kBitmapHeaderBytes + static_cast<std::size_t>(*imageBytes), 0);
    } catch (...) {
        return failure.refuse(EncodeFailure::kOutOfMemory, "");
    }
    std::uint8_t* h = file.data();
    h[0] = 'B';
    h[1] = 'M';
    putLE(h + 2, static_cast<std::uint32_t>(file.size()), 4);
    putLE(h + 10, kBitmapHeaderBytes, 4);
    putLE(h + 14, 40, 4);
    putLE(h + 18, static_cast<std::uint32_t>(width_), 4);
    putLE(h + 22, static_cast<std::uint32_t>(height_), 4);  // positive: rows bottom-up
    putLE(h + 26, 1, 2);
    putLE(h + 28, fourBytes ? 32 : 24, 2);
    putLE(h + 34, static_cast<std::uint32_t>(*imageBytes), 4);
    std::memcpy(file.data() + kBitmapHeaderBytes, fourBytes ? bits_ : rows.data(),
                static_cast<std::size_t>(*imageBytes));
    outStream = std::move(file);
    return true;
}

bool c32bppDIB::SaveToStream_PNG(std::vector<std::uint8_t>& outStream) const {
    SaveFailure ignored;
    return SaveToStream_PNG(outStream, ignored);
}

bool c32bppDIB::SaveToStream_PNG(std::vector<std::uint8_t>& outStream, SaveFailure& failure) const {
    failure = {};
    if (!bits_) return failure.refuse(EncodeFailure::kNoImage, "");
    // The imaging-library bridge first: only the desktop's own imaging library (Windows) has a
    // PNG encoder. Elsewhere the own encoder, which writes the smallest form, takes over.
    cGDIPlus bridge;
    if (bridge.SaveToPNG({}, outStream, *this, gdiToken_)) return true;
    cPNGwriter writer;
    const bool written = writer.WritePNG(*this, outStream);
    failure = writer.lastSaveFailure();
    return written;
}

bool c32bppDIB::keepBitmapFileAsSource() {
    std::vector<std::uint8_t> file;
    if (!SaveToStream(file)) return false;
    sourceBytes_ = std::move(file);
    return true;
}

bool c32bppDIB::GetOrginalFormat(std::vector<std::uint8_t>& outStream) const {
    outStream = sourceBytes_;
    return !sourceBytes_.empty();
}

bool c32bppDIB::GetDroppedFileNames(platform::DropDataObject& OLEDragDrop_DataObject) {
    try {
        if (!OLEDragDrop_DataObject.hasFormat(platform::ClipboardFormat::FileDrop)) return false;
        const std::optional<platform::FileDrop> drop = OLEDragDrop_DataObject.fileDrop();
        if (!drop) return false;
        if (drop->wide) {
            // As many names as the data object lists, taken whole from the raw structure.
            const std::size_t count =
                std::min(OLEDragDrop_DataObject.files().size(), drop->names.size());
            OLEDragDrop_DataObject.clearFiles();
            for (std::size_t i = 0; i < count; ++i)
                OLEDragDrop_DataObject.addFile(drop->names[i]);
        }
        return true;
    } catch (...) {
        return false;
    }
}

std::int32_t c32bppDIB::GetPastedFileNames(std::vector<std::string>& ListOfFiles) {
    try {
        const platform::Clipboard* board = platform::clipboard();
        if (!board || !board->hasFormat(platform::ClipboardFormat::FileDrop)) return 0;
        std::optional<platform::FileDrop> drop = board->fileDrop();
        if (!drop || drop->names.empty()) return 0;
        const auto count = checkedCast<std::int32_t>(drop->names.size());
        if (!count) return 0;
        ListOfFiles = std::move(drop->names);
        return *count;
    } catch (...) {
        return 0;
    }
}

}  // namespace talvrin
