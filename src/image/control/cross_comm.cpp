// cCrossComm: the registration list, the captured control and the session start.
#include "image/control/cross_comm.h"

#include <utility>

namespace talvrin {

namespace {

std::unique_ptr<ImagingSessionBridge>& installedBridge() noexcept {
    static std::unique_ptr<ImagingSessionBridge> bridge;
    return bridge;
}

constexpr std::size_t kFirstRoom = 6;
constexpr std::size_t kSpareRoom = 5;

}  // namespace

std::unique_ptr<ImagingSessionBridge> setImagingSessionBridge(
    std::unique_ptr<ImagingSessionBridge> bridge) noexcept {
    return std::exchange(installedBridge(), std::move(bridge));
}

bool cCrossComm::find(std::int32_t id, std::int32_t& index) const noexcept {
    std::int32_t lo = 0, hi = count_ - 1;
    while (lo <= hi) {
        const std::int32_t mid = lo + (hi - lo) / 2;
        const std::int32_t at = slots_[static_cast<std::size_t>(mid)].id;
        if (at == id) {
            index = mid;
            return true;
        }
        if (at < id) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
        }
    }
    index = lo;
    return false;
}

void cCrossComm::AddRef(std::int32_t ucPointer, ICrossComm* control) {
    if (ucPointer == 0 || control == nullptr) return;
    std::int32_t at = 0;
    if (find(ucPointer, at)) return;
    const auto n = static_cast<std::size_t>(count_);
    if (slots_.empty()) {
        slots_.resize(kFirstRoom);
    } else if (n == slots_.size()) {
        slots_.resize(n + 1 + kSpareRoom);
    }
    // Later entries move up one place to make room.
    for (std::size_t i = n; i > static_cast<std::size_t>(at); --i)
        slots_[i] = slots_[i - 1];
    slots_[static_cast<std::size_t>(at)] = Entry{ucPointer, control};
    ++count_;
}

void cCrossComm::RemoveRef(std::int32_t ucPointer) {
    std::int32_t at = 0;
    if (ucPointer != 0 && find(ucPointer, at)) {
        // Later entries move down one place.
        for (auto i = static_cast<std::size_t>(at); i + 1 < static_cast<std::size_t>(count_); ++i)
            slots_[i] = slots_[i + 1];
        --count_;
        const auto n = static_cast<std::size_t>(count_);
        slots_[n] = Entry{};
        if (n == 0) {
            slots_.clear();
            slots_.shrink_to_fit();
        } else if (slots_.size() - n > kSpareRoom) {
            slots_.resize(n);
            slots_.shrink_to_fit();
        }
    }
    if (captured_ == ucPointer) captured_ = 0;
}

void cCrossComm::setCapturedControl(std::int32_t ucPointer) {
    if (captured_ != 0 && ucPointer != captured_) {
        // The stored identity is only a number: release the control only while it is still
        // registered, so a control that went away is never called.
        const std::int32_t previous = captured_;
        std::int32_t at = 0;
        if (find(previous, at)) {
            ICrossComm* control = slots_[static_cast<std::size_t>(at)].control;
            // Cleared first, so that whatever the release does sees it released.
            captured_ = 0;
            control->ReleaseMouseCapture();
        }
    }
    captured_ = ucPointer;
}

void cCrossComm::leaveCapture(std::int32_t ucPointer) noexcept {
    if (ucPointer != 0 && captured_ == ucPointer) captured_ = 0;
}

std::uint32_t cCrossComm::ManageGDIToken(const VitrelHost& windows, WindowHandle window) {
    ImagingSessionBridge* bridge = installedBridge().get();
    // Without an imaging library there is no session to start and no marker to look for.
    if (bridge == nullptr) return gdiToken_;
    const WindowHandle top = windows.topLevelWindow(window);
    if (bridge->hasMarker(top)) {
        gdiToken_ = kTokenStartedElsewhere;
        return gdiToken_;
    }
    gdiToken_ = bridge->startup();
    // A marker that cannot be made leaves the session started (a failure here is ignored).
    if (gdiToken_ != 0) bridge->guard(top, gdiToken_);
    return gdiToken_;
}

std::vector<std::int32_t> cCrossComm::registered() const {
    std::vector<std::int32_t> ids;
    for (std::int32_t i = 0; i < count_; ++i)
        ids.push_back(slots_[static_cast<std::size_t>(i)].id);
    return ids;
}

}  // namespace talvrin
