// The console's system facts on Windows: the Administrators group in the process's token.
#include <windows.h>

#include "platform/os/console.h"
#include "platform/win32/system_functions.h"

namespace talvrin::platform {

namespace {

// Frees a SID made by AllocateAndInitializeSid.
class AllocatedSid {
  public:
    AllocatedSid() = default;
    ~AllocatedSid() {
        if (sid_) FreeSid(sid_);
    }
    AllocatedSid(const AllocatedSid&) = delete;
    AllocatedSid& operator=(const AllocatedSid&) = delete;
    PSID* out() noexcept { return &sid_; }
    [[nodiscard]] PSID get() const noexcept { return sid_; }

  private:
    PSID sid_ = nullptr;
};

}  // namespace

AdministratorRights administratorRights() noexcept {
    using CheckTokenMembershipFn = BOOL(WINAPI*)(HANDLE, PSID, PBOOL);
    const auto check =
        win32::systemFunction<CheckTokenMembershipFn>("advapi32.dll", "CheckTokenMembership");
    if (!check) return AdministratorRights::Unknown;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    AllocatedSid administrators;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                  0, 0, 0, 0, 0, administrators.out()))
        return AdministratorRights::Unknown;
    BOOL member = FALSE;
    // No token: the calling thread's, else the process's. A group the token holds only for
    // denying (an administrator's token that UAC has filtered) does not count as held.
    if (!check(nullptr, administrators.get(), &member)) return AdministratorRights::Unknown;
    return member ? AdministratorRights::Held : AdministratorRights::Missing;
}

void ignoreBrokenPipes() noexcept {}

}  // namespace talvrin::platform
