// The access list of a key of the machine's registry, set to exactly the entries given: the
// permission tool of the firewall repair (regini.exe) writes through this.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace talvrin::platform {

// The well-known groups and accounts an entry names.
enum class Trustee : std::uint8_t {
    Administrators,   // the built-in Administrators group
    CreatorOwner,     // whoever creates a subkey (the entry applies to subkeys only)
    Everyone,         // the world
    PowerUsers,       // the built-in Power Users group
    SystemOperators,  // the built-in Server Operators group
    LocalSystem,      // the system account
    Interactive,      // users logged on at the machine
};

enum class KeyRights : std::uint8_t {
    Full,              // every right on the key
    Read,              // query values, list subkeys, be notified, read the access list
    ReadWrite,         // Read, and set values and create subkeys
    ReadWriteDelete,   // ReadWrite, and delete the key
    ReadWriteExecute,  // ReadWrite (a key's "execute" right is its read right)
};

struct KeyAccess {
    Trustee trustee;
    KeyRights rights;
    friend bool operator==(const KeyAccess&, const KeyAccess&) = default;
};

// Sets the access list of the key HKEY_LOCAL_MACHINE\<subkey> (its 64-bit view on 64-bit
// Windows) to exactly these entries, in this order, each inherited by the key's subkeys and
// none inherited from its parent. The subkey is UTF-8 with backslashes between its names. The
// key must exist; nothing is created. Nothing on success, else the system's reason
// ("not found", "access denied", ...). POSIX has no registry: it always answers a reason.
[[nodiscard]] std::optional<std::string> setMachineKeyAccess(
    std::string_view subkey, std::span<const KeyAccess> entries) noexcept;

}  // namespace talvrin::platform
