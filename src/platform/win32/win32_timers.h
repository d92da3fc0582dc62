// Window timers with callbacks: SetTimer on a window with an identifier, each tick handed to the
// callback set for that window and identifier through the thread's message loop (the timer
// procedure, so the window's own procedure needs no part in it). One table serves the whole
// program. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

namespace talvrin::platform::win32 {

// Arms (or re-arms with the new period and callback) the timer of the window and identifier.
// False when the system refuses (no such window).
bool setWindowTimer(HWND window, std::intptr_t id, std::uint32_t ms, std::function<void()> onTick);
// Stops and forgets the timer; nothing happens for one that is not armed. Safe from within the
// timer's own callback.
void killWindowTimer(HWND window, std::intptr_t id);
[[nodiscard]] bool isWindowTimerArmed(HWND window, std::intptr_t id);

}  // namespace talvrin::platform::win32
