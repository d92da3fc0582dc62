#include "app/window_run_listener.h"

#include <utility>

namespace talvrin {

WindowRunListener::WindowRunListener(std::function<void()> pumpMessages, Clock clock)
    : pump_(std::move(pumpMessages)), clock_(std::move(clock)) {
    if (!clock_) clock_ = [] { return std::chrono::steady_clock::now(); };
}

void WindowRunListener::listenTo(DOSOutputs& dos) {
    // The output text is not shown or kept: a chunk and an idle wait both only keep the window
    // live.
    dos.setReceiveOutputsHandler([this, &dos](const std::string&) { onActivity(dos); });
    dos.setIdleHandler([this, &dos] { onActivity(dos); });
}

void WindowRunListener::closeRequested() {
    if (!closeAt_) closeAt_ = clock_();
}

void WindowRunListener::onActivity(DOSOutputs& dos) {
    if (pump_) pump_();
    // The close request usually arrives through the pump just above.
    if (closeAt_ && clock_() - *closeAt_ >= kCloseGrace) dos.stopReading();
}

}  // namespace talvrin
