// A registry key's access list on Windows: a new discretionary list built from well-known SIDs,
// written with RegSetKeySecurity to the key opened for WRITE_DAC in the 64-bit view.
#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "platform/os/files.h"
#include "platform/os/registry_access.h"

namespace talvrin::platform {

namespace {

// A well-known SID in a buffer of its own (at most two subauthorities here).
class WellKnownSid {
  public:
    explicit WellKnownSid(Trustee trustee) noexcept {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
        SID_IDENTIFIER_AUTHORITY creator = SECURITY_CREATOR_SID_AUTHORITY;
        switch (trustee) {
            case Trustee::Administrators:
                make(nt, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS});
                break;
            case Trustee::CreatorOwner:
                make(creator, {SECURITY_CREATOR_OWNER_RID});
                break;
            case Trustee::Everyone:
                make(world, {SECURITY_WORLD_RID});
                break;
            case Trustee::PowerUsers:
                make(nt, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_POWER_USERS});
                break;
            case Trustee::SystemOperators:
                make(nt, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_SYSTEM_OPS});
                break;
            case Trustee::LocalSystem:
                make(nt, {SECURITY_LOCAL_SYSTEM_RID});
                break;
            case Trustee::Interactive:
                make(nt, {SECURITY_INTERACTIVE_RID});
                break;
        }
    }
    [[nodiscard]] PSID get() noexcept { return ready_ ? buffer_.data() : nullptr; }

  private:
    void make(SID_IDENTIFIER_AUTHORITY& authority, std::initializer_list<DWORD> rids) noexcept {
        const auto count = static_cast<BYTE>(rids.size());
        if (!InitializeSid(buffer_.data(), &authority, count)) return;
        BYTE i = 0;
        for (const DWORD rid : rids)
            *GetSidSubAuthority(buffer_.data(), i++) = rid;
        ready_ = true;
    }
    alignas(DWORD) std::array<BYTE, SECURITY_MAX_SID_SIZE> buffer_{};
    bool ready_ = false;
};

ACCESS_MASK maskOf(KeyRights rights) noexcept {
    switch (rights) {
        case KeyRights::Full:
            return KEY_ALL_ACCESS;
        case KeyRights::Read:
            return KEY_READ;
        case KeyRights::ReadWrite:
        case KeyRights::ReadWriteExecute:  // KEY_EXECUTE is KEY_READ
            return KEY_READ | KEY_WRITE;
        case KeyRights::ReadWriteDelete:
            return KEY_READ | KEY_WRITE | DELETE;
    }
    return 0;
}

std::string reasonOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "not found";
        case ERROR_ACCESS_DENIED:
            return "access denied";
        default:
            return "system error " + std::to_string(error);
    }
}

}  // namespace

std::optional<std::string> setMachineKeyAccess(std::string_view subkey,
                                               std::span<const KeyAccess> entries) noexcept {
    try {
        // The list: its header, then each entry's header, mask and SID.
        std::vector<WellKnownSid> sids;
        sids.reserve(entries.size());
        DWORD aclSize = sizeof(ACL);
        for (const KeyAccess& entry : entries) {
            sids.emplace_back(entry.trustee);
            if (!sids.back().get()) return reasonOf(GetLastError());
            aclSize += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sids.back().get());
        }
        aclSize = (aclSize + sizeof(DWORD) - 1) & ~static_cast<DWORD>(sizeof(DWORD) - 1);
        std::vector<DWORD> aclBuffer(aclSize / sizeof(DWORD));
        const auto acl = reinterpret_cast<PACL>(aclBuffer.data());
        if (!InitializeAcl(acl, aclSize, ACL_REVISION)) return reasonOf(GetLastError());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            // Subkeys inherit every entry; the creator's stands for a subkey's creator and
            // applies to subkeys only.
            DWORD flags = CONTAINER_INHERIT_ACE;
            if (entries[i].trustee == Trustee::CreatorOwner) flags |= INHERIT_ONLY_ACE;
            if (!AddAccessAllowedAceEx(acl, ACL_REVISION, flags, maskOf(entries[i].rights),
                                       sids[i].get()))
                return reasonOf(GetLastError());
        }
        SECURITY_DESCRIPTOR descriptor;
        if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
            !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) ||
            // Exactly these entries: none inherited from the parent key.
            !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
            return reasonOf(GetLastError());

        const std::u16string wide = utf8ToUtf16(subkey);
        HKEY key = nullptr;
        const LONG opened =
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, reinterpret_cast<const wchar_t*>(wide.c_str()), 0,
                          WRITE_DAC | KEY_WOW64_64KEY, &key);
        if (opened != ERROR_SUCCESS) return reasonOf(static_cast<DWORD>(opened));
        const LONG set = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor);
        RegCloseKey(key);
        if (set != ERROR_SUCCESS) return reasonOf(static_cast<DWORD>(set));
        return std::nullopt;
    } catch (...) {
        return std::string("out of memory");
    }
}

}  // namespace talvrin::platform
