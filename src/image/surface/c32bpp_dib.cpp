// c32bppDIB: the surface itself (creation, destruction, device-context bookkeeping, pixel reads
// and the capability settings).
#include "image/surface/c32bpp_dib.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "base/checked_math.h"
#include "base/decode_budget.h"
#include "base/div255.h"
#include "image/bridge/gdiplus.h"
#include "image/codecs/compression.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/device_context.h"

namespace talvrin {

std::uint32_t surfaceCapabilityFlags(const platform::SystemVersion& version) noexcept {
    if (version.platformId == 1) {
        // Old consumer family: the later members have a usable blend but no half-tone
        // stretching; the first one must not try the imaging library.
        return version.minorVersion != 0 ? (kCapAlphaBlendUsable | kCapConsumerFamily)
                                         : kCapNoGdiplus;
    }
    if (version.majorVersion > 4) return kCapAlphaBlendFriendly | kCapAlphaBlendUsable;
    // The oldest current-family release needs its sixth service pack for the imaging library.
    return version.servicePackMajor < 6 ? kCapNoGdiplus : 0u;
}

c32bppDIB::c32bppDIB() : c32bppDIB(platform::querySystemVersion()) {}

c32bppDIB::c32bppDIB(const platform::SystemVersion& version) {
    capabilityFlags_ = surfaceCapabilityFlags(version);
    setGDIplusEnabled(true);
    if (isGDIplusEnabled()) highQuality_ = true;
}

c32bppDIB::~c32bppDIB() {
    DestroyDIB();
}

bool c32bppDIB::InitializeDIB(std::int32_t Width, std::int32_t Height) {
    DestroyDIB();
    // A zero or negative width would leave a surface later code divides by; a negative height
    // only asks for the (always bottom-up) surface of its absolute size.
    if (Width < 1 || Height == 0 || Height == std::numeric_limits<std::int32_t>::min())
        return false;
    const std::int32_t rows = Height < 0 ? -Height : Height;
    // The whole buffer must stay within the signed 32-bit range, and the surface within the
    // pixel budget that every size taken from stored or user values answers to.
    if (!imageByteCount32(Width, rows) ||
        !withinDecodeBudget(static_cast<std::uint64_t>(Width), static_cast<std::uint64_t>(rows)))
        return false;

    auto bitmap = platform::Bitmap::create(Width, rows, kBitsPerPixel);
    if (!bitmap) return false;
    if (manageOwnDC_ && !memDC_) ensureMemoryDC();  // a missing DC only costs a later retry

    dib_ = std::move(bitmap);
    bits_ = dib_->bits();
    width_ = Width;
    height_ = rows;
    alpha_ = true;  // a fresh buffer is fully transparent
    imageType_ = imgCreated;
    return true;
}

bool c32bppDIB::AdoptBitmap(std::unique_ptr<platform::Bitmap>& bitmap) {
    if (!bitmap || bitmap->bitsPerPixel() != kBitsPerPixel || bitmap->width() < 1 ||
        bitmap->height() < 1 || bitmap->selectedInto() || bitmap->isStock() ||
        bitmap->stride() != bitmap->width() * 4 ||
        !imageByteCount32(bitmap->width(), bitmap->height()))
        return false;
    DestroyDIB();
    if (manageOwnDC_ && !memDC_) ensureMemoryDC();  // a missing DC only costs a later retry
    dib_ = std::move(bitmap);
    bits_ = dib_->bits();
    width_ = dib_->width();
    height_ = dib_->height();
    alpha_ = true;
    imageType_ = imgCreated;
    return true;
}

void c32bppDIB::DestroyDIB() {
    if (memDC_) {
        unselectDib();
        memDC_.reset();
    }
    if (dib_) {
        dib_.reset();
        sourceBytes_.clear();
        sourceBytes_.shrink_to_fit();
    }
    width_ = 0;
    height_ = 0;
    bits_ = nullptr;
    savedObject_ = nullptr;
    alpha_ = false;
    imageType_ = imgNone;
}

void c32bppDIB::EraseDIB() {
    if (!dib_) return;
    std::memset(bits_, 0, dib_->byteCount());
    imageType_ = imgCreated;
    alpha_ = true;
}

platform::DeviceContext* c32bppDIB::LoadDIBinDC(bool bLoad) {
    if (bLoad) {
        if (!dib_) return nullptr;
        if (!memDC_ && !ensureMemoryDC()) return nullptr;
        if (savedObject_ == nullptr) {
            // Selection fails only when the bitmap is already selected into another context.
            platform::Bitmap* previous = memDC_->select(dib_.get());
            if (previous == nullptr) return nullptr;
            savedObject_ = previous;
        }
        return memDC_.get();
    }
    unselectDib();
    if (!manageOwnDC_) memDC_.reset();
    savedObject_ = nullptr;
    return nullptr;
}

void c32bppDIB::setManageOwnDC(bool bManage) {
    if (!bManage) {
        if (memDC_) {
            unselectDib();
            memDC_.reset();
        }
        savedObject_ = nullptr;
    } else if (!memDC_ && dib_) {
        ensureMemoryDC();
    }
    manageOwnDC_ = bManage;
}

std::int32_t c32bppDIB::GetPixel(std::int32_t x, std::int32_t y, std::int32_t& AlphaValue,
                                 bool asPreMultiplied) const noexcept {
    AlphaValue = 0;
    if (!bits_ || x < 0 || x >= width_ || y < 0 || y >= height_) return -1;
    const std::uint8_t* p =
        bits_ + pixelOffset(x, y, height_, static_cast<std::size_t>(scanWidth()));
    const std::uint32_t a = p[kAlphaOffset];
    AlphaValue = static_cast<std::int32_t>(a);
    std::uint32_t b = p[kBlueOffset];
    std::uint32_t g = p[kGreenOffset];
    std::uint32_t r = p[kRedOffset];
    if (!asPreMultiplied && a != 0 && a != 255) {
        // A malformed pixel may carry a colour above its alpha: clamp so that no channel
        // spills into its neighbour.
        b = unpremultiplyChannel(b, a);
        g = unpremultiplyChannel(g, a);
        r = unpremultiplyChannel(r, a);
    }
    return static_cast<std::int32_t>(r | (g << 8) | (b << 16));
}

void c32bppDIB::setAlphaBlendFriendly(bool Enabled) noexcept {
    if (!Enabled) {
        capabilityFlags_ &= ~kCapAlphaBlendFriendly;
    } else if (capabilityFlags_ & kCapAlphaBlendUsable) {
        capabilityFlags_ |= kCapAlphaBlendFriendly;
    }
}

void c32bppDIB::setGDIplusEnabled(bool Enabled) {
    if (Enabled == isGDIplusEnabled()) return;
    capabilityFlags_ &= ~kCapGdiplusEnabled;
    std::uint32_t probe = 0;
    if (Enabled && !(capabilityFlags_ & kCapNoGdiplus) && cGDIPlus::isGDIplusOk(probe, false))
        capabilityFlags_ |= kCapGdiplusEnabled;
}

bool c32bppDIB::isZlibEnabled() const noexcept {
    return compression::isAvailable();
}

void c32bppDIB::setSourceBytes(std::span<const std::uint8_t> bytes) {
    sourceBytes_.assign(bytes.begin(), bytes.end());
}

void c32bppDIB::setSourceBytes(std::vector<std::uint8_t>&& bytes) noexcept {
    sourceBytes_ = std::move(bytes);
}

void c32bppDIB::unselectDib() noexcept {
    if (memDC_ && savedObject_ != nullptr) memDC_->select(savedObject_);
    savedObject_ = nullptr;
}

bool c32bppDIB::ensureMemoryDC() {
    if (!memDC_) memDC_ = platform::DeviceContext::createCompatible();
    return memDC_ != nullptr;
}

}  // namespace talvrin
