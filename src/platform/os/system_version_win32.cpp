// The system version on Windows. RtlGetVersion tells the truth to every program; GetVersionExA,
// the fallback for a system without it, answers what the program's manifest lets it see.
#include <windows.h>

#include "platform/os/system_version.h"

namespace talvrin::platform {

namespace {

using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);

SystemVersion fromInfo(DWORD platformId, DWORD major, DWORD minor, WORD servicePack) noexcept {
    return SystemVersion{static_cast<std::uint32_t>(platformId), static_cast<std::uint32_t>(major),
                         static_cast<std::uint32_t>(minor),
                         static_cast<std::uint16_t>(servicePack)};
}

}  // namespace

SystemVersion querySystemVersion() noexcept {
    // Found at run time: the export is not in every system's import library.
    if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
        if (FARPROC address = GetProcAddress(ntdll, "RtlGetVersion")) {
            const auto rtlGetVersion =
                reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(address));
            OSVERSIONINFOEXW info{};
            info.dwOSVersionInfoSize = sizeof info;
            if (rtlGetVersion(reinterpret_cast<OSVERSIONINFOW*>(&info)) == 0)
                return fromInfo(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion,
                                info.wServicePackMajor);
        }
    }
    OSVERSIONINFOEXA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)))
        return fromInfo(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion,
                        info.wServicePackMajor);
    return SystemVersion{};
}

}  // namespace talvrin::platform
