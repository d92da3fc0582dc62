// Vitrel: fading. Each step goes through the Opacity property (normalised, stored, reported and
// repainted as any change of it), on a window timer of the container identified by the negated
// identity, so that it never meets the same control's polling timer.
#include <algorithm>
#include <cstdlib>

#include "image/control/vitrel.h"

namespace talvrin {

void Vitrel::stopFade() {
    if (fadeStep_ == 0) return;
    if (timerWindow_ != 0) host_.killTimer(timerWindow_, -std::intptr_t{identity_});
    fadeStep_ = 0;
}

void Vitrel::FadeInOut(std::int32_t FinalOpacity, std::int32_t FadeStepPercent,
                       std::int32_t FadeDelayInterval) {
    // A running fade is replaced without its event.
    stopFade();
    const std::int32_t target = std::clamp(FinalOpacity, 0, 100);
    if (FadeStepPercent == 0 || target == opacity_) return;
    // |INT32_MIN| does not fit: any step of 100 or more reaches the target in one tick anyway.
    const std::int32_t step = static_cast<std::int32_t>(
        std::min<std::int64_t>(std::llabs(std::int64_t{FadeStepPercent}), 100));
    fadeStep_ = target < opacity_ ? -step : step;
    fadeTarget_ = target;
    fadeDelay_ = FadeDelayInterval > kMinFadeDelayMs - 1 ? FadeDelayInterval : kMinFadeDelayMs;
    if (!fadeCallback_) fadeCallback_ = [this] { fadeTick(); };
    // At design time no timer window was noted at attaching: the container's window serves.
    if (timerWindow_ == 0) timerWindow_ = host_.containerWindow();
    fadeTick();
}

void Vitrel::fadeTick() {
    if (timerWindow_ != 0) host_.killTimer(timerWindow_, -std::intptr_t{identity_});
    if (fadeStep_ == 0) return;
    const std::int32_t next = opacity_ + fadeStep_;
    const bool finished = fadeStep_ < 0 ? next <= fadeTarget_ : next >= fadeTarget_;
    if (!finished) {
        setOpacity(next);
        host_.setTimer(timerWindow_, -std::intptr_t{identity_},
                       static_cast<std::uint32_t>(fadeDelay_), fadeCallback_);
        return;
    }
    fadeStep_ = 0;
    setOpacity(fadeTarget_);
    if (events_) events_->FadeTerminated(opacity_);
}

}  // namespace talvrin
