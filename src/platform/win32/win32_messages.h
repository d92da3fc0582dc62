// The thread's window messages: pumping what is pending, and the loop a program lives in. Each
// message goes first to the caller's pre-translation (keyboard handling of its windows), then,
// unless that handled it, is translated and dispatched. Windows only.
#pragma once

#include <windows.h>

namespace talvrin::platform::win32 {

// True when the message was handled and must be neither translated nor dispatched.
using PreTranslate = bool (*)(const MSG& message);

// Processes every pending window message of the thread once. A quit request met on the way is
// posted again and ends the pumping, so the message loop that waits for it still sees it.
void pumpMessages(PreTranslate preTranslate);

// Runs the thread's messages until the quit request; answers its code (1 when the loop fails).
int runMessageLoop(PreTranslate preTranslate);

}  // namespace talvrin::platform::win32
