// The window's side of the command runner, the same for every shell: each chunk of output and
// each idle wait of a silent command pumps the window's messages once, so the window repaints
// and reacts while a command runs; and a close request during a run gives the command's output
// kCloseGrace to end before the reading stops. The command itself is never stopped: cutting a
// repair command off half-way could leave a service half-configured, so it runs on, unread.
#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include "app/runner/dos_outputs.h"

namespace talvrin {

class WindowRunListener {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // How long after a close request the output of the running command is still read.
    static constexpr std::chrono::seconds kCloseGrace{10};

    // pumpMessages processes the window's pending messages once; clock defaults to the steady
    // clock.
    explicit WindowRunListener(std::function<void()> pumpMessages, Clock clock = {});

    // Becomes the listener of the runner's ReceiveOutputs event and idle hook. The listener
    // must outlive every run of that runner.
    void listenTo(DOSOutputs& dos);

    // The window was asked to close; the first request starts the grace period.
    void closeRequested();
    [[nodiscard]] bool isCloseRequested() const { return closeAt_.has_value(); }

  private:
    void onActivity(DOSOutputs& dos);

    std::function<void()> pump_;
    Clock clock_;
    std::optional<std::chrono::steady_clock::time_point> closeAt_;
};

}  // namespace talvrin
