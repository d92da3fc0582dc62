// File-system redirection on Windows: Wow64DisableWow64FsRedirection and its revert, for a 32-bit
// process on 64-bit Windows only. All three calls are looked up at run time, since older systems
// lack them; a missing one means there is nothing to turn off.
#include <windows.h>

#include "platform/os/file_system_redirection.h"

namespace talvrin::platform {

namespace {

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, BOOL*);
using DisableFn = BOOL(WINAPI*)(void**);
using RevertFn = BOOL(WINAPI*)(void*);

template <typename Fn>
Fn kernelFunction(const char* name) noexcept {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return nullptr;
    FARPROC address = GetProcAddress(kernel, name);
    return address ? reinterpret_cast<Fn>(reinterpret_cast<void*>(address)) : nullptr;
}

// True when this is a 32-bit process on 64-bit Windows, the only one that is redirected.
bool isRedirectedProcess() noexcept {
    const auto isWow64Process = kernelFunction<IsWow64ProcessFn>("IsWow64Process");
    BOOL wow64 = FALSE;
    return isWow64Process != nullptr && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace

FileSystemRedirectionOff::FileSystemRedirectionOff() noexcept {
    if (!isRedirectedProcess()) return;
    const auto disable = kernelFunction<DisableFn>("Wow64DisableWow64FsRedirection");
    if (disable != nullptr && disable(&saved_)) off_ = true;
}

void FileSystemRedirectionOff::revert() noexcept {
    if (!off_) return;
    off_ = false;
    if (const auto revertFn = kernelFunction<RevertFn>("Wow64RevertWow64FsRedirection"))
        revertFn(saved_);
}

}  // namespace talvrin::platform
