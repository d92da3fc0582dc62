// Vitrel: coordination with the container's other image controls, hit testing, MouseEnter and
// MouseExit with the polling timer, the mouse, key and drop events, Enabled and visibility.
//
// Outside: not the captured control, no polling timer, marker empty. Inside: the captured
// control, the marker "Timer", the polling timer armed (every 100 ms on the container window,
// identified by the control's identity). A hit test that hits moves outside to inside
// (MouseEnter); a hit test that misses, a tick finding the cursor outside or over another
// window, or another control's capture moves inside to outside (MouseExit); hiding and
// disabling do too, without MouseExit. The state is always changed before an event is raised,
// so a handler sees the control as the event describes it.
#include <atomic>
#include <limits>

#include "image/control/control_rounding.h"
#include "image/control/vitrel.h"

namespace talvrin {

std::int32_t Vitrel::newIdentity() noexcept {
    // Positive numbers from 1: never 0, and no negation is another identity (the fade timer's
    // identifier is the negation, so it never meets any control's polling timer). After 2^31 - 1
    // controls the count starts at 1 again.
    static std::atomic<std::int32_t> last{0};
    std::int32_t id = last.load(std::memory_order_relaxed);
    std::int32_t next = 0;
    do {
        next = id == std::numeric_limits<std::int32_t>::max() ? 1 : id + 1;
    } while (!last.compare_exchange_weak(id, next, std::memory_order_relaxed));
    return next;
}

// ---- Coordination ------------------------------------------------------------------------------

void Vitrel::attachCrossComm() {
    std::shared_ptr<cCrossComm> shared;
    // The first image control of the container (possibly this one) has the shared object.
    for (const ContainerControl& member : host_.containerControls()) {
        if (member.typeName != kTypeName) continue;
        if (member.control != nullptr) shared = member.control->CrossTalkClass();
        break;
    }
    if (!shared) {
        shared = std::make_shared<cCrossComm>();
        if (surface_->isGDIplusEnabled()) shared->ManageGDIToken(host_, host_.containerWindow());
    }
    if (crossComm_ && crossComm_ != shared) {
        stopPolling();
        crossComm_->RemoveRef(identity_);
    }
    crossComm_ = std::move(shared);
    shareGdiToken();
    crossComm_->AddRef(identity_, this);
    if (host_.userMode()) {
        if (!pollCallback_) pollCallback_ = [this] { pollTick(); };
        timerWindow_ = host_.containerWindow();
    }
}

void Vitrel::shareGdiToken() {
    const std::uint32_t token = crossComm_ ? crossComm_->gdiToken() : 0;
    surface_->setGdiToken(token);
    if (cache_) cache_->setGdiToken(token);
    if (shadow_) shadow_->setGdiToken(token);
}

bool Vitrel::GDIplusInitialized() const {
    return crossComm_ && crossComm_->gdiToken() != 0;
}

bool Vitrel::GDIplusEnabled() const {
    return surface_->isGDIplusEnabled();
}

bool Vitrel::isMouseOver() const {
    return host_.enabled() && crossComm_ && crossComm_->CapturedControl() == identity_;
}

bool Vitrel::polling() const {
    return host_.tag() == kTimerMarker;
}

void Vitrel::clearMarker() {
    // The Tag is the extender's: only the control's own marker is taken out of it.
    if (polling()) host_.setTag({});
}

void Vitrel::stopPolling() {
    if (timerWindow_ != 0) host_.killTimer(timerWindow_, identity_);
    clearMarker();
}

void Vitrel::ReleaseMouseCapture() {
    if (polling() && timerWindow_ != 0) host_.killTimer(timerWindow_, identity_);
    clearMarker();
    if (events_) events_->MouseExit();
}

// ---- Hit testing
// ---------------------------------------------------------------------------------

bool Vitrel::inHitArea(std::int32_t x, std::int32_t y) const {
    return hitRegion_ ? hitRegion_->contains(x, y) : hitRect_.contains(x, y);
}

void Vitrel::HitTestQuery(float X, float Y, HitResult& result) {
    const std::int32_t x = control_rounding::nearest(X);
    const std::int32_t y = control_rounding::nearest(Y);
    const bool inside = inHitArea(x, y);
    if (inside) result = HitResult::Hit;
    if (!host_.userMode() || !crossComm_) return;
    const bool captured = crossComm_->CapturedControl() == identity_;
    if (inside && !captured) {
        // The mouse is now over this control: the control that had it lets it go (MouseExit)
        // before this one takes it.
        if (crossComm_->CapturedControl() != 0) crossComm_->setCapturedControl(0);
        // A disabled control answers for its whole rectangle but never takes the mouse.
        if (!host_.enabled() || timerWindow_ == 0) return;
        const Point cursor = host_.cursorPos();
        const Point client = host_.clientToScreen(timerWindow_, {}).value_or(Point{});
        containerOrigin_ = {cursor.x - client.x - x, cursor.y - client.y - y};
        crossComm_->setCapturedControl(identity_);
        host_.setTimer(timerWindow_, identity_, kPollMs, pollCallback_);
        host_.setTag(kTimerMarker);
        if (events_) events_->MouseEnter();
    } else if (!inside && captured && result == HitResult::Outside) {
        stopPolling();
        crossComm_->leaveCapture(identity_);
        if (events_) events_->MouseExit();
    }
}

void Vitrel::pollTick() {
    if (timerWindow_ != 0) host_.killTimer(timerWindow_, identity_);
    if (!crossComm_ || crossComm_->CapturedControl() != identity_) {
        clearMarker();
        return;
    }
    const Point cursor = host_.cursorPos();
    if (host_.windowFromPoint(cursor) == timerWindow_) {
        if (const auto client = host_.clientToScreen(timerWindow_, {})) {
            const std::int64_t x = std::int64_t{cursor.x} - client->x - containerOrigin_.x;
            const std::int64_t y = std::int64_t{cursor.y} - client->y - containerOrigin_.y;
            constexpr std::int64_t lo = std::numeric_limits<std::int32_t>::min();
            constexpr std::int64_t hi = std::numeric_limits<std::int32_t>::max();
            const bool representable = x >= lo && x <= hi && y >= lo && y <= hi;
            if (representable &&
                inHitArea(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y))) {
                host_.setTimer(timerWindow_, identity_, kPollMs, pollCallback_);
                return;
            }
        }
    }
    crossComm_->leaveCapture(identity_);
    clearMarker();
    if (events_) events_->MouseExit();
}

// ---- Enabled and visibility
// -----------------------------------------------------------------------

bool Vitrel::Enabled() const {
    return host_.enabled();
}

void Vitrel::setEnabled(bool Enable) {
    host_.setEnabled(Enable);
    if (host_.userMode() && crossComm_) {
        if (Enable) {
            crossComm_->AddRef(identity_, this);
        } else {
            if (polling()) stopPolling();
            crossComm_->RemoveRef(identity_);
        }
    }
    buildHitRegion();
    host_.propertyChanged("Enabled");
}

void Vitrel::Show() {
    if (host_.enabled() && crossComm_) crossComm_->AddRef(identity_, this);
    if (layout_.scaledWidth == 0) Resize();
}

void Vitrel::Hide() {
    stopFade();
    stopPolling();
    if (host_.enabled() && crossComm_) crossComm_->RemoveRef(identity_);
}

// ---- Events
// --------------------------------------------------------------------------------------

std::optional<float> Vitrel::toContainer(float pixels, bool horizontal) const {
    return host_.pixelsToContainer(pixels, horizontal, containerUnit_);
}

void Vitrel::onMouseDown(std::int16_t Button, std::int16_t Shift, float X, float Y) {
    buttons_ = static_cast<std::uint16_t>(buttons_ | (Button & 0x0F));
    const auto x = toContainer(X, true), y = toContainer(Y, false);
    if (x && y && events_) events_->MouseDown(Button, Shift, *x, *y);
}

void Vitrel::onMouseMove(std::int16_t Button, std::int16_t Shift, float X, float Y) {
    const auto x = toContainer(X, true), y = toContainer(Y, false);
    if (x && y && events_) events_->MouseMove(Button, Shift, *x, *y);
}

void Vitrel::onMouseUp(std::int16_t Button, std::int16_t Shift, float X, float Y) {
    // The high half holds the button of this release, if it went down over the control.
    buttons_ &= 0x0F;
    const auto released = static_cast<std::uint16_t>(Button & 0x0F);
    if ((buttons_ & released) != 0) buttons_ = static_cast<std::uint16_t>(buttons_ | released << 4);
    const auto x = toContainer(X, true), y = toContainer(Y, false);
    if (x && y && events_) events_->MouseUp(Button, Shift, *x, *y);
}

void Vitrel::onClick() {
    if (events_) events_->Click(static_cast<std::int16_t>(buttons_ >> 4 & 0x0F));
}

void Vitrel::onDblClick() {
    if (events_) events_->DblClick(static_cast<std::int16_t>(buttons_ >> 4 & 0x0F));
}

void Vitrel::onKeyDown(std::int16_t KeyCode, std::int16_t Shift) {
    if (events_) events_->KeyDown(KeyCode, Shift);
}

void Vitrel::onKeyUp(std::int16_t KeyCode, std::int16_t Shift) {
    if (events_) events_->KeyUp(KeyCode, Shift);
}

void Vitrel::onKeyPress(std::int16_t KeyAscii) {
    if (events_) events_->KeyPress(KeyAscii);
}

void Vitrel::onOLEDragDrop(platform::DropDataObject& data, std::int32_t& Effect,
                           std::int16_t Button, std::int16_t Shift, float X, float Y) {
    const auto x = toContainer(X, true), y = toContainer(Y, false);
    if (x && y && events_) events_->OLEDragDrop(data, Effect, Button, Shift, *x, *y);
}

void Vitrel::onOLEDragOver(platform::DropDataObject& data, std::int32_t& Effect,
                           std::int16_t Button, std::int16_t Shift, float X, float Y,
                           std::int16_t State) {
    const auto x = toContainer(X, true), y = toContainer(Y, false);
    if (x && y && events_) events_->OLEDragOver(data, Effect, Button, Shift, *x, *y, State);
}

}  // namespace talvrin
