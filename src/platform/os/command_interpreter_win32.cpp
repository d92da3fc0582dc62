// The command interpreter on Windows: the program ComSpec names, else cmd.exe in the system
// folder (ComSpec may be missing from an environment a parent built by hand).
#include <windows.h>

#include <string>
#include <vector>

#include "platform/os/command_interpreter.h"
#include "platform/os/files.h"

namespace talvrin::platform {

namespace {

std::string utf8Of(const wchar_t* text, std::size_t size) {
    return utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), size));
}

}  // namespace

std::string commandInterpreter() {
    try {
        const DWORD needed = GetEnvironmentVariableW(L"ComSpec", nullptr, 0);
        if (needed > 1) {
            std::vector<wchar_t> value(needed);
            const DWORD size = GetEnvironmentVariableW(L"ComSpec", value.data(), needed);
            if (size > 0 && size < needed) return utf8Of(value.data(), size);
        }
        wchar_t folder[MAX_PATH];
        const UINT size = GetSystemDirectoryW(folder, MAX_PATH);
        if (size == 0 || size >= MAX_PATH) return "cmd.exe";
        return utf8Of(folder, size) + "\\cmd.exe";
    } catch (...) {
        return "cmd.exe";
    }
}

}  // namespace talvrin::platform
