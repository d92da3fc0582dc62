// Drives talvrin.exe as a user does, for the end-to-end test under Wine: starts it, clicks
// "Start" with the mouse (the system's input, at the button's place on the screen), waits for the
// closing message box, prints what the window shows then, clicks OK and closes the window.
//   window_driver PATH\talvrin.exe
// Prints "list: LINE" for each line of the progress list, "selected: N", "box: CAPTION|TEXT"
// and at the end "exit: STATUS". Every wait is bounded by talvrin.exe's processor time, not by
// the clock. Exit status 1 when a step could not be done (the reason on standard error).
#include <windows.h>

#include <cstdio>
#include <string>

#include "support/process_cpu_win32.h"

namespace {

using talvrin::testsupport::processCpuSeconds;
constexpr double kCpuLimitSeconds = 60;

std::string text(HWND window) {
    char buffer[1024] = {};
    GetWindowTextA(window, buffer, sizeof buffer);
    return buffer;
}

// A left click at the middle of the window, through the system's mouse input.
void click(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof(INPUT));
}

int fail(const char* why) {
    std::fprintf(stderr, "window_driver: %s\n", why);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return fail("usage: window_driver PATH\\talvrin.exe");
    std::string program = argv[1];
    std::string folder = program.substr(0, program.find_last_of("\\/"));
    std::string line = "\"" + program + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &child))
        return fail("could not start talvrin.exe");
    // Waits until found() answers a window, or talvrin.exe ends or uses up its limit.
    const auto waitFor = [&](auto found) -> HWND {
        for (;;) {
            if (const HWND w = found()) return w;
            if (WaitForSingleObject(child.hProcess, 20) == WAIT_OBJECT_0) return nullptr;
            if (processCpuSeconds(child.hProcess) > kCpuLimitSeconds) return nullptr;
        }
    };

    const HWND window = waitFor([] {
        const HWND w = FindWindowA("TalvrinFrmMain", nullptr);
        return w && IsWindowVisible(w) ? w : nullptr;
    });
    if (!window) return fail("no window appeared");
    WaitForInputIdle(child.hProcess, INFINITE);
    const HWND start = FindWindowExA(window, nullptr, "Button", "Start");
    const HWND list = FindWindowExA(window, nullptr, "ListBox", nullptr);
    if (!start || !list) return fail("the window has no Start button or no list");
    click(start);

    const HWND box = waitFor([&] {
        const HWND b = FindWindowA("#32770", nullptr);
        return b && GetWindow(b, GW_OWNER) == window ? b : nullptr;
    });
    if (!box) return fail("no message box: did the click reach Start?");
    const auto lines = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    // The list's text is read in UTF-16: the system passes that form between processes whole.
    for (int i = 0; i < lines; ++i) {
        wchar_t entry[512] = {};
        if (SendMessageW(list, LB_GETTEXTLEN, i, 0) < 512)
            SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(entry));
        char narrow[1024] = {};
        WideCharToMultiByte(CP_UTF8, 0, entry, -1, narrow, sizeof narrow, nullptr, nullptr);
        std::printf("list: %s\n", narrow);
    }
    std::printf("selected: %d\n", static_cast<int>(SendMessageA(list, LB_GETCURSEL, 0, 0)));
    char message[512] = {};
    GetDlgItemTextA(box, 0xFFFF, message, sizeof message);
    std::printf("box: %s|%s\n", text(box).c_str(), message);
    std::fflush(stdout);

    const HWND ok = GetDlgItem(box, IDOK);
    if (!ok) return fail("the box has no OK button");
    click(ok);
    if (!waitFor([&]() -> HWND { return IsWindow(box) ? nullptr : window; }))
        return fail("the box stayed after OK was clicked");
    PostMessageA(window, WM_CLOSE, 0, 0);
    while (WaitForSingleObject(child.hProcess, 20) != WAIT_OBJECT_0)
        if (processCpuSeconds(child.hProcess) > kCpuLimitSeconds)
            return fail("did not end on close");
    DWORD status = 1;
    GetExitCodeProcess(child.hProcess, &status);
    std::printf("exit: %lu\n", static_cast<unsigned long>(status));
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return 0;
}
