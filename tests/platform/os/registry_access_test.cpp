// A machine key's access list set to exactly the entries given, read back as the system keeps it.
#include "platform/os/registry_access.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
// (windows.h first.)
#include <sddl.h>
#endif

#include <cstdio>
#include <string>
#include <vector>

namespace talvrin::platform {
namespace {

#ifdef _WIN32
// The key's entries as "SID mask flags".
std::vector<std::string> entriesOf(const char* subkey) {
    std::vector<std::string> out;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, READ_CONTROL | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS)
        return {"cannot open"};
    DWORD size = 0;
    RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
    std::vector<DWORD> buffer(size / sizeof(DWORD) + 1);
    RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, buffer.data(), &size);
    RegCloseKey(key);
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    GetSecurityDescriptorDacl(buffer.data(), &present, &acl, &defaulted);
    for (DWORD i = 0; acl && i < acl->AceCount; ++i) {
        void* ace = nullptr;
        GetAce(acl, i, &ace);
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        char* sid = nullptr;
        ConvertSidToStringSidA(&allowed->SidStart, &sid);
        char text[96];
        std::snprintf(text, sizeof text, "%s %08lx %02x", sid, allowed->Mask,
                      allowed->Header.AceFlags);
        LocalFree(sid);
        out.push_back(text);
    }
    return out;
}

TEST(RegistryAccess, TheListBecomesExactlyTheEntriesInTheirOrder) {
    const char* subkey = "Software\\Talvrin registry access test";
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &created, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(created);
    struct Case {
        std::vector<KeyAccess> entries;
        std::vector<std::string> expected;  // 0x02: subkeys inherit; 0x0a: subkeys only
    };
    const std::vector<Case> cases = {
        {{{Trustee::Administrators, KeyRights::Full}, {Trustee::LocalSystem, KeyRights::Full}},
         {"S-1-5-32-544 000f003f 02", "S-1-5-18 000f003f 02"}},
        {{{Trustee::Everyone, KeyRights::Read},
          {Trustee::CreatorOwner, KeyRights::ReadWrite},
          {Trustee::PowerUsers, KeyRights::ReadWriteDelete},
          {Trustee::SystemOperators, KeyRights::ReadWriteExecute},
          {Trustee::Interactive, KeyRights::Full}},
         {"S-1-1-0 00020019 02", "S-1-3-0 0002001f 0a", "S-1-5-32-547 0003001f 02",
          "S-1-5-32-549 0002001f 02", "S-1-5-4 000f003f 02"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(setMachineKeyAccess(subkey, c.entries), std::nullopt);
        EXPECT_EQ(entriesOf(subkey), c.expected);
    }
    EXPECT_EQ(setMachineKeyAccess("Software\\Talvrin no such key", cases[0].entries), "not found");
    // An administrator may delete it again.
    EXPECT_EQ(setMachineKeyAccess(subkey, cases[0].entries), std::nullopt);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, subkey, KEY_WOW64_64KEY, 0);
}
#else
TEST(RegistryAccess, PosixHasNone) {
    const KeyAccess entry{Trustee::Administrators, KeyRights::Full};
    EXPECT_EQ(setMachineKeyAccess("SOFTWARE\\X", {&entry, 1}), "no registry");
}
#endif

}  // namespace
}  // namespace talvrin::platform
