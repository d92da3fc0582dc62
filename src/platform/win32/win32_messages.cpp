#include "platform/win32/win32_messages.h"

namespace talvrin::platform::win32 {

void pumpMessages(PreTranslate preTranslate) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (preTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

int runMessageLoop(PreTranslate preTranslate) {
    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
        if (preTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return got == 0 ? static_cast<int>(message.wParam) : 1;
}

}  // namespace talvrin::platform::win32
