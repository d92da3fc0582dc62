#include "platform/win32/win32_messages.h"

namespace talvrin::platform::win32 {

namespace {

// One message to its window, unless the pre-translation handled it.
void dispatch(const MSG& message, PreTranslate preTranslate) {
    if (preTranslate(message)) return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

}  // namespace

void pumpMessages(PreTranslate preTranslate) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        dispatch(message, preTranslate);
    }
}

int runMessageLoop(PreTranslate preTranslate) {
    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0)
        dispatch(message, preTranslate);
    return got == 0 ? static_cast<int>(message.wParam) : 1;
}

}  // namespace talvrin::platform::win32
