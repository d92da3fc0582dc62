// Calls made later on the user-interface thread, outside the message being handled: once a
// window is destroyed and the last message for it has been handled, or from a thread timer
// after a delay. User-interface thread only, like the windows. Windows only.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>

namespace talvrin::platform::win32 {

// Calls then once window has been destroyed and the last message for it, however deeply nested,
// has been handled. The window's procedure is replaced by a guard of the program's own (no
// executable memory) that hands every message to the procedure it replaced, and is put back
// before then runs. False, with nothing replaced, when the guard cannot be set up.
bool callOnceDestroyed(HWND window, std::function<void()> then);

// Calls then once, from a thread timer ms milliseconds from now. False, with then not called,
// when the system gives no timer.
bool callLater(UINT ms, std::function<void()> then);

}  // namespace talvrin::platform::win32
