// The access lists of machine registry keys, for the end-to-end tests under Wine, in the 64-bit
// view as the repair's permission tool writes them:
//   registry_access_probe seed SUBKEY...   creates each key with one entry only: Everyone, full
//                                          access (a list the repair must replace)
//   registry_access_probe show SUBKEY...   prints "SUBKEY: SID MASK, SID MASK ..." for each key,
//                                          the entries in order (RegGetKeySecurity)
// SUBKEY is below HKEY_LOCAL_MACHINE. Exit status 1 when a key could not be made or read.
#include <windows.h>
// (windows.h first.)
#include <sddl.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string sidText(PSID sid) {
    char* text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text)) return "?";
    std::string out = text;
    LocalFree(text);
    return out;
}

bool seed(const char* subkey) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, nullptr, 0, WRITE_DAC | KEY_WOW64_64KEY,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    DWORD acl[64];
    InitializeAcl(reinterpret_cast<PACL>(acl), sizeof acl, ACL_REVISION);
    AddAccessAllowedAceEx(reinterpret_cast<PACL>(acl), ACL_REVISION, CONTAINER_INHERIT_ACE,
                          KEY_ALL_ACCESS, everyone);
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<PACL>(acl), FALSE);
    const LONG set = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor);
    FreeSid(everyone);
    RegCloseKey(key);
    return set == ERROR_SUCCESS;
}

bool show(const char* subkey) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, READ_CONTROL | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
    std::vector<DWORD> buffer(size / sizeof(DWORD) + 1);
    const auto descriptor = static_cast<PSECURITY_DESCRIPTOR>(buffer.data());
    const LONG got = RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor, &size);
    RegCloseKey(key);
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    if (got != ERROR_SUCCESS || !GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted))
        return false;
    std::printf("%s:", subkey);
    if (!present || !acl) {
        std::printf(" no list\n");
        return true;
    }
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(acl, i, &ace)) return false;
        const auto* header = static_cast<ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            std::printf("%s type %u", i ? "," : "", header->AceType);
            continue;
        }
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        std::printf("%s %s 0x%08lx", i ? "," : "", sidText(&allowed->SidStart).c_str(),
                    static_cast<unsigned long>(allowed->Mask));
    }
    std::printf("\n");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: registry_access_probe seed|show SUBKEY...\n");
        return 2;
    }
    const std::string command = argv[1];
    bool ok = true;
    for (int i = 2; i < argc; ++i) {
        const bool done = command == "seed" ? seed(argv[i]) : show(argv[i]);
        if (!done) std::fprintf(stderr, "registry_access_probe: %s %s failed\n", argv[1], argv[i]);
        ok = ok && done;
    }
    return ok ? 0 : 1;
}
