// The registry's inside: the key tree, the handle table and the rules that differ between the
// Windows 95/98 registry and the NT configuration manager. Shared by registry.cpp (tree and
// winsim's own API), advapi32_registry.cpp (the Reg*A calls) and registry_text.cpp (.reg text);
// the key-security code of the NT family reaches the keys through here too.
#pragma once

#include <winsim/machine.h>
#include <winsim/registry.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

struct RegValue {
    std::string name;  // ANSI, as given; "" is the key's default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;  // ANSI bytes for the string types, as RegSetValueExA stored them
};

struct RegKey : std::enable_shared_from_this<RegKey> {
    std::string name;  // spelling of the call that created it; looked up case-insensitively
    std::string className;
    RegKey* parent = nullptr;  // null for a hive root and for a deleted key
    // The order RegEnumKeyExA gives. NT keeps a key's subkey index sorted by upcased name (stable
    // subkeys first, then volatile ones). Microsoft documents no order; the 95/98 registry keeps a
    // key's subkeys as an unsorted list (regedit sorts them only for display), which winsim models
    // as creation order, so that no caller comes to rely on the NT order there.
    std::vector<std::shared_ptr<RegKey>> children;
    std::vector<RegValue> values;  // in the order they were first set, on every version
    bool deleted = false;
    bool isVolatile = false;
    uint64_t lastWrite = 0;  // FILETIME units
    // Key security of the NT family: a self-relative security descriptor, empty while the key has
    // the default security. Written and checked by the security code (CheckKeyAccess below).
    std::vector<BYTE> security;

    RegKey* Child(std::string_view childName) const;
    RegValue* Value(std::string_view valueName);
    const RegValue* Value(std::string_view valueName) const;
};

// The predefined keys that are views of a key somewhere below HKEY_LOCAL_MACHINE or HKEY_USERS.
enum class RegRoot { LocalMachine, Users, CurrentUser, ClassesRoot, CurrentConfig };

struct Registry::Impl {
    explicit Impl(OsVersion v);

    OsVersion version;
    bool nt;
    std::string currentUser;  // the subkey of HKEY_USERS that HKEY_CURRENT_USER shows
    std::shared_ptr<RegKey> machine;  // HKEY_LOCAL_MACHINE
    std::shared_ptr<RegKey> users;    // HKEY_USERS

    struct Handle {
        std::shared_ptr<RegKey> key;  // keeps a deleted key alive for the handles still open on it
        REGSAM access = 0;
        unsigned refs = 1;  // 95/98 hand out one handle per key and count its opens
    };
    std::map<uintptr_t, Handle> handles;  // handle values are never reused: a stale one is recognised
    // One lock for the whole registry: simulated threads may share a machine.
    mutable std::recursive_mutex lock;

    // Path handling. A path is "ROOT\a\b" where ROOT is a hive name or its abbreviation.
    static bool ParseRoot(std::string_view name, RegRoot* root);
    // Hive root and the components below it where the predefined key points.
    std::shared_ptr<RegKey> HiveOf(RegRoot root) const;
    std::vector<std::string> AliasPath(RegRoot root) const;
    // Looks a path up without changing anything; null when some part is missing.
    RegKey* Find(std::string_view path) const;
    RegKey* FindBelow(RegKey* key, const std::vector<std::string>& components) const;
    // The key a predefined key shows, created (with the keys above it) when missing: Windows
    // always has them.
    RegKey* RootKey(RegRoot root);
    // Creates what is missing along `components` below `key`; returns the last key.
    // `created` tells whether the last key is new.
    RegKey* CreateBelow(RegKey* key, const std::vector<std::string>& components, bool isVolatile,
                        bool* created);
    // Creates a path given as text; null when the root is unknown or a name is too long.
    RegKey* CreatePath(std::string_view path);

    RegKey* AddChild(RegKey* parent, std::string childName, bool isVolatile);
    // Detaches `key` from its parent and marks it and everything below it deleted.
    void RemoveTree(RegKey* key);
    void SetValue(RegKey* key, std::string_view valueName, DWORD type, std::vector<BYTE> data);
    bool DeleteValue(RegKey* key, std::string_view valueName);
    void Touch(RegKey* key) const;

    // Handles: 95/98 give every open of one key the same handle and count the opens; the NT
    // family gives each open a handle of its own.
    HKEY OpenHandle(RegKey* key, REGSAM access);
};

// Names and code page 1252, the ANSI code page of the simulated machines. UpperAnsi is the upper
// case of a byte there, as the registry folds names and CharUpperBuffA converts text.
unsigned char UpperAnsi(unsigned char c);
bool NamesEqual(std::string_view a, std::string_view b);
// Compares as the NT configuration manager orders subkeys: by the upcased UTF-16 code units.
int CompareNames(std::string_view a, std::string_view b);
char16_t AnsiToUnicode(unsigned char c);
// Characters code page 1252 cannot show become '?', as WideCharToMultiByte makes them.
unsigned char UnicodeToAnsi(char32_t c);
// Splits "a\b\\c\" into its names; empty names (doubled or trailing backslashes) are dropped.
std::vector<std::string> SplitKeyPath(std::string_view path);

// Windows limits a key name to 255 characters.
constexpr size_t kMaxKeyNameLength = 255;

// Key security of the NT family (security.cpp): whether the calling thread's token may open `key`
// with `desired` (generic rights already mapped; MAXIMUM_ALLOWED may be set), and what it is then
// granted.
LONG CheckKeyAccess(const RegKey& key, REGSAM desired, REGSAM* granted = nullptr);
// What RegQueryInfoKeyA reports as the size of the key's security descriptor.
DWORD KeySecurityDescriptorSize(const RegKey& key);

// The simulated machine's wall clock as a FILETIME, for key write times.
uint64_t RegistryNow();

}  // namespace winsim
