// The simulated registry: hives, keys, typed values in the order Windows enumerates them, saved and
// loaded as .reg text. The Reg*A functions (win32api.h) work on the current machine's registry.
//
// What a registry holds is the same on every version; how the Reg*A calls treat it follows the
// version the registry was made for (RegDeleteKeyA, enumeration order, handles, access rights).
// Key security of the NT family (owner, group, DACL, access checks) is kept and described by the
// machine's Security (security.h).
//
// Two hives are stored, HKEY_LOCAL_MACHINE and HKEY_USERS; the other predefined keys show a key
// inside them:
//   HKEY_CURRENT_USER    HKEY_USERS\<CurrentUserKeyName()>: ".DEFAULT" on 95/98 (a machine
//                        without user profiles), a user's SID on the NT family
//   HKEY_CLASSES_ROOT    HKEY_LOCAL_MACHINE\SOFTWARE\Classes (Windows 2000 would merge in the
//                        user's own classes; winsim does not)
//   HKEY_CURRENT_CONFIG  HKEY_LOCAL_MACHINE\Config\0001 on 95/98,
//                        HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Hardware Profiles\Current
//                        on the NT family
#pragma once

#include <winsim/api/advapi32_registry.h>
#include <winsim/machine.h>
#include <winsim/types.h>

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

class Registry {
public:
    // Standard: the keys every installation of the version has - the top-level keys of
    // HKEY_LOCAL_MACHINE, HKEY_USERS\.DEFAULT, the current user's key and the keys the predefined
    // views show. Empty: just the two hive roots.
    enum class Contents { Standard, Empty };
    explicit Registry(OsVersion version = OsVersion::Win2000, Contents contents = Contents::Standard);
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    OsVersion Version() const;

    // The subkey of HKEY_USERS that HKEY_CURRENT_USER shows.
    const std::string& CurrentUserKeyName() const;
    void SetCurrentUserKeyName(std::string name);
    // The SID whose key HKEY_CURRENT_USER shows on the NT family until told otherwise.
    static constexpr const char* kDefaultNtUserSid = "S-1-5-21-1085031214-1563985344-725345543-500";

    // .reg text: "Windows Registry Editor Version 5.00" is written; REGEDIT4 is read too.
    // Loading merges into what is there (as regedit does); errors name the line. Loading stops at
    // the first error and keeps what the lines before it did. See registry_text.cpp for the encoding.
    bool LoadRegText(std::string_view text, std::string* error);
    std::string SaveRegText() const;
    // The .reg text that turns `from` into `to`: "[-KEY]" for removed keys, "name"=- for removed
    // values, the new data of added or changed values. Empty when they hold the same.
    static std::string DiffRegText(const Registry& from, const Registry& to);

    // Access for tests and tools. Paths are "HKEY_LOCAL_MACHINE\Software\..." (abbreviations such
    // as HKLM are accepted); names are matched case-insensitively. A value name of "" is the
    // default value.
    struct Value {
        std::string name;
        DWORD type = 0;
        std::vector<BYTE> data;
    };
    bool KeyExists(std::string_view path) const;
    // Names as spelled when created, in the order RegEnumKeyExA gives them; empty when the key
    // does not exist.
    std::vector<std::string> SubkeyNames(std::string_view path) const;
    std::vector<Value> Values(std::string_view path) const;
    std::optional<Value> GetValue(std::string_view keyPath, std::string_view valueName) const;
    // The text of a REG_SZ or REG_EXPAND_SZ value, up to its first NUL.
    std::optional<std::string> StringValue(std::string_view keyPath, std::string_view valueName) const;
    // A REG_DWORD value of four bytes.
    std::optional<DWORD> DwordValue(std::string_view keyPath, std::string_view valueName) const;

    // Changes for tests and tools, free of access rules. Creating a key creates the keys above it.
    // False when the root is unknown or a key name is longer than Windows allows.
    bool CreateKey(std::string_view path);
    bool SetValue(std::string_view keyPath, std::string_view valueName, DWORD type, std::vector<BYTE> data);
    // Stores the string with its terminating NUL, as a program would.
    bool SetStringValue(std::string_view keyPath, std::string_view valueName, std::string_view text,
                        DWORD type = REG_SZ);
    bool SetDwordValue(std::string_view keyPath, std::string_view valueName, DWORD value);
    // Removes the key and everything below it; false when it does not exist or is a hive root.
    bool DeleteKey(std::string_view path);
    bool DeleteValue(std::string_view keyPath, std::string_view valueName);

    // Handles the Reg*A calls opened and nobody closed yet: a test's way to see a leaked key.
    size_t OpenHandleCount() const;

    struct Impl;
    Impl& impl() { return *impl_; }
    const Impl& impl() const { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace winsim
