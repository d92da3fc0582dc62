// talvrin.exe: the repair utility's window on Windows. It takes no command-line arguments.
#include <windows.h>

#include "app/win32/md_startup_win32.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (!talvrin::app::win32::mdStartup::Main()) return 1;
    const int status = talvrin::app::win32::mdStartup::runMessageLoop();
    talvrin::app::win32::mdStartup::shutdown();
    return status;
}
