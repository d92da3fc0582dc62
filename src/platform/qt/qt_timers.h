// Window timers over Qt: set and killed by window and identifier, periodic until killed, as the
// desktop's are, each a QTimer delivered through the event loop. One table serves every host in
// the program, so two hosts naming the same window and identifier name the same timer. A window
// is named by its handle, as the image control names windows.
#pragma once

#include <cstdint>
#include <functional>

namespace talvrin::platform::qt {

// Arms (or re-arms with the new period and callback) the timer of the window and identifier.
// A period of 0 fires as soon as the event loop runs. Never fails.
void setWindowTimer(std::uintptr_t window, std::intptr_t id, std::uint32_t ms,
                    std::function<void()> onTick);
// Stops and forgets the timer; nothing happens for one that is not armed. Safe from within the
// timer's own callback.
void killWindowTimer(std::uintptr_t window, std::intptr_t id);
[[nodiscard]] bool isWindowTimerArmed(std::uintptr_t window, std::intptr_t id);
// Forgets every timer of a window (the window went away).
void killWindowTimers(std::uintptr_t window);

}  // namespace talvrin::platform::qt
