#include "platform/win32/module_resources.h"

namespace talvrin::platform::win32 {

std::span<const std::uint8_t> programResource(LPCSTR type, int id) noexcept {
    const HMODULE module = GetModuleHandleA(nullptr);
    const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    if (!found) return {};
    const HGLOBAL loaded = LoadResource(module, found);
    const DWORD size = SizeofResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || size == 0) return {};
    return {static_cast<const std::uint8_t*>(bytes), size};
}

}  // namespace talvrin::platform::win32
