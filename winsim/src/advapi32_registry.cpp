// advapi32's registry calls on the current machine's registry.
//
// Each call returns its status and leaves the thread's last error alone, as the Reg* functions do.
// Where Windows 95/98 and the NT family differ, the registry's version decides:
//   - a handle that is not (or no longer) open: ERROR_BADKEY on 95/98, ERROR_INVALID_HANDLE on NT;
//   - handles: 95/98 give every open of one key the same handle and count the opens, so the key
//     stays open until the last RegCloseKey; NT gives each open a handle of its own;
//   - access: NT keeps the access a handle was opened with and refuses what it does not grant
//     (ERROR_ACCESS_DENIED); 95/98 ignore access masks. Neither looks at the parent handle's access
//     when opening, creating or deleting a subkey;
//   - RegDeleteKeyA removes a whole subtree on 95/98; NT refuses a key that has subkeys;
//   - a leading backslash in a subkey name is ERROR_BAD_PATHNAME on NT and ignored on 95/98;
//   - NT stores strings as UTF-16: RegQueryInfoKeyA reports their data length as such, and
//     RegSetValueExA takes a string's terminating NUL along when the caller's length left it out;
//   - volatile keys exist only on NT (95/98 create ordinary keys when asked for one).
// A handle to a key deleted meanwhile answers ERROR_KEY_DELETED to everything but RegCloseKey.
// winsim does less: no registry size limits, no HKEY_PERFORMANCE_DATA or HKEY_DYN_DATA, no links
// (CurrentControlSet is an ordinary key). Key security (NT family) is described in winsim/security.h:
// opening, creating and deleting check the key's DACL against the calling thread's token; a handle
// keeps the access granted when it was opened.
#include "registry_internal.h"
#include "security_internal.h"

#include <winsim/win32api.h>

#include <algorithm>
#include <cstring>

using winsim::RegKey;
using winsim::RegRoot;
using winsim::RegValue;

namespace {

using Impl = winsim::Registry::Impl;
using Guard = std::lock_guard<std::recursive_mutex>;

constexpr REGSAM kGenericRead = 0x80000000;
constexpr REGSAM kGenericWrite = 0x40000000;
constexpr REGSAM kGenericExecute = 0x20000000;
constexpr REGSAM kGenericAll = 0x10000000;

Impl& Reg() { return winsim::Current().Reg().impl(); }

LONG BadHandle(const Impl& reg) { return reg.nt ? ERROR_INVALID_HANDLE : ERROR_BADKEY; }

// Only the low 32 bits of a predefined key count, as on 64-bit Windows.
bool PredefinedRoot(HKEY key, RegRoot* root) {
    switch (static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key))) {
        case 0x80000000u: *root = RegRoot::ClassesRoot; return true;
        case 0x80000001u: *root = RegRoot::CurrentUser; return true;
        case 0x80000002u: *root = RegRoot::LocalMachine; return true;
        case 0x80000003u: *root = RegRoot::Users; return true;
        case 0x80000005u: *root = RegRoot::CurrentConfig; return true;
        default: return false;
    }
}

// The key behind a handle, when the handle grants `needed`.
LONG Resolve(Impl& reg, HKEY handle, REGSAM needed, RegKey** key, bool* predefined = nullptr) {
    RegRoot root;
    if (PredefinedRoot(handle, &root)) {
        *key = reg.RootKey(root);
        if (predefined) *predefined = true;
        return *key ? ERROR_SUCCESS : BadHandle(reg);
    }
    auto it = reg.handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == reg.handles.end()) return BadHandle(reg);
    if (reg.nt && (it->second.access & needed) != needed) return ERROR_ACCESS_DENIED;
    if (it->second.key->deleted) return ERROR_KEY_DELETED;
    *key = it->second.key.get();
    if (predefined) *predefined = false;
    return ERROR_SUCCESS;
}

// The specific rights a requested access mask stands for. On NT MAXIMUM_ALLOWED stays for the
// access check to resolve; 95/98 ignore access anyway.
REGSAM MapAccess(const Impl& reg, REGSAM access) {
    REGSAM mapped = access & (STANDARD_RIGHTS_ALL | 0x3F);
    if (access & kGenericRead) mapped |= KEY_READ;
    if (access & kGenericWrite) mapped |= KEY_WRITE;
    if (access & kGenericExecute) mapped |= KEY_EXECUTE;
    if (access & kGenericAll) mapped |= KEY_ALL_ACCESS;
    if (access & MAXIMUM_ALLOWED) mapped |= reg.nt ? MAXIMUM_ALLOWED : KEY_ALL_ACCESS;
    return mapped;
}

LONG ParseSubKey(const Impl& reg, LPCSTR subKey, std::vector<std::string>* parts) {
    if (reg.nt && subKey && subKey[0] == '\\') return ERROR_BAD_PATHNAME;
    *parts = winsim::SplitKeyPath(subKey ? subKey : "");
    for (const auto& part : *parts) {
        // Windows refuses such a name differently from version to version; winsim always says so.
        if (part.size() > winsim::kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    }
    return ERROR_SUCCESS;
}

// The first steps of opening or creating a subkey: the handle resolved (the result is cleared only
// once it is known to be good) and the subkey's path split and checked.
LONG ResolveSubKey(Impl& reg, HKEY key, LPCSTR subKey, PHKEY result, RegKey** base, bool* predefined,
                   std::vector<std::string>* parts) {
    const LONG status = Resolve(reg, key, 0, base, predefined);
    if (status != ERROR_SUCCESS) return status;
    *result = nullptr;
    return ParseSubKey(reg, subKey, parts);
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

void StoreFileTime(uint64_t time, PFILETIME out) {
    if (!out) return;
    out->dwLowDateTime = static_cast<DWORD>(time);
    out->dwHighDateTime = static_cast<DWORD>(time >> 32);
}

// Copies value data the way RegQueryValueExA and RegEnumValueA do. `available` was read before
// anything was written, because callers may pass one variable for the type and the size.
LONG CopyData(const RegValue& value, DWORD available, LPBYTE data, LPDWORD dataSize) {
    DWORD size = static_cast<DWORD>(value.data.size());
    if (data) {
        if (available < size) {
            *dataSize = size;
            return ERROR_MORE_DATA;
        }
        if (size) std::memcpy(data, value.data.data(), size);
        // A string stored without its NUL gets one if the buffer has room; the size stays. An empty
        // string leaves the buffer as it was.
        if (IsStringType(value.type) && available > size && size > 0 && value.data[size - 1] != 0) data[size] = 0;
    }
    if (dataSize) *dataSize = size;
    return ERROR_SUCCESS;
}

// What RegQueryInfoKeyA calls a value's data length: NT holds strings in UTF-16.
DWORD StoredLength(const Impl& reg, const RegValue& value) {
    DWORD size = static_cast<DWORD>(value.data.size());
    return reg.nt && IsStringType(value.type) ? size * 2 : size;
}

}  // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    Impl& reg = Reg();
    Guard guard(reg.lock);
    RegKey* base;
    bool predefined = false;
    std::vector<std::string> parts;
    LONG status = ResolveSubKey(reg, key, subKey, result, &base, &predefined, &parts);
    if (status != ERROR_SUCCESS) return status;
    // Opening "no subkey" of a predefined key gives the predefined key back.
    if (parts.empty() && predefined) {
        *result = key;
        return ERROR_SUCCESS;
    }
    RegKey* target = reg.FindBelow(base, parts);
    if (!target) return ERROR_FILE_NOT_FOUND;
    REGSAM granted = MapAccess(reg, access);
    if (reg.nt) {
        status = winsim::CheckKeyAccess(*target, granted, &granted);
        if (status != ERROR_SUCCESS) return status;
    }
    *result = reg.OpenHandle(target, granted);
    return ERROR_SUCCESS;
}

LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
    if (result && (!subKey || !*subKey)) {
        *result = key;
        return ERROR_SUCCESS;
    }
    return RegOpenKeyExA(key, subKey, 0, MAXIMUM_ALLOWED, result);
}

// On NT the last key created gets the security attributes' descriptor (the parts it leaves out
// are the default's); the creator is granted the access asked for.
LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR className, DWORD options, REGSAM access,
                     LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    Impl& reg = Reg();
    Guard guard(reg.lock);
    RegKey* base;
    bool predefined = false;
    std::vector<std::string> parts;
    LONG status = ResolveSubKey(reg, key, subKey, result, &base, &predefined, &parts);
    if (status != ERROR_SUCCESS) return status;
    if (parts.empty() && predefined) {
        *result = key;
        if (disposition) *disposition = REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    }
    REGSAM granted = MapAccess(reg, access);
    winsim::SecurityDescriptorData given;
    const bool hasDescriptor = reg.nt && security && security->lpSecurityDescriptor;
    if (hasDescriptor && !winsim::ReadDescriptor(security->lpSecurityDescriptor, &given))
        return ERROR_INVALID_PARAMETER;
    bool isVolatile = reg.nt && (options & REG_OPTION_VOLATILE);

    RegKey* target = base;
    size_t existing = 0;
    while (existing < parts.size()) {
        RegKey* child = target->Child(parts[existing]);
        if (!child) break;
        target = child;
        ++existing;
    }
    bool created = existing < parts.size();
    if (created) {
        // The NT hives' own roots take no new keys.
        if (reg.nt && (target == reg.machine.get() || target == reg.users.get())) return ERROR_ACCESS_DENIED;
        if (reg.nt && target->isVolatile && !isVolatile) return ERROR_CHILD_MUST_BE_VOLATILE;
        if (reg.nt) {
            status = winsim::CheckKeyAccess(*target, KEY_CREATE_SUB_KEY);
            if (status != ERROR_SUCCESS) return status;
        }
        for (size_t i = existing; i < parts.size(); ++i) target = reg.AddChild(target, parts[i], isVolatile);
        target->className = className ? className : "";
        if (hasDescriptor) {
            winsim::SecurityDescriptorData d = winsim::DefaultKeyDescriptor(*target);
            if (given.owner) d.owner = given.owner;
            if (given.group) d.group = given.group;
            const auto* header = static_cast<const SECURITY_DESCRIPTOR*>(security->lpSecurityDescriptor);
            if (header->Control & SE_DACL_PRESENT) {
                d.dacl = given.dacl;
                d.daclFlags = given.daclFlags;
            }
            winsim::StoreKeyDescriptor(*target, d);
        }
        if (reg.nt && winsim::CheckKeyAccess(*target, granted, &granted) != ERROR_SUCCESS)
            granted = granted & MAXIMUM_ALLOWED ? KEY_ALL_ACCESS : granted;
    } else if (reg.nt) {
        status = winsim::CheckKeyAccess(*target, granted, &granted);
        if (status != ERROR_SUCCESS) return status;
    }
    *result = reg.OpenHandle(target, granted);
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    Impl& reg = Reg();
    Guard guard(reg.lock);
    RegRoot root;
    if (PredefinedRoot(key, &root)) return ERROR_SUCCESS;
    auto it = reg.handles.find(reinterpret_cast<uintptr_t>(key));
    if (it == reg.handles.end()) return BadHandle(reg);
    if (--it->second.refs == 0) reg.handles.erase(it);
    return ERROR_SUCCESS;
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    Impl& reg = Reg();
    Guard guard(reg.lock);
    RegKey* base;
    bool predefined = false;
    LONG status = Resolve(reg, key, 0, &base, &predefined);
    if (status != ERROR_SUCCESS) return status;
    if (!subKey) return reg.nt ? ERROR_INVALID_PARAMETER : ERROR_BADKEY;
    std::vector<std::string> parts;
    status = ParseSubKey(reg, subKey, &parts);
    if (status != ERROR_SUCCESS) return status;
    // "" deletes the handle's own key; a predefined key itself cannot go.
    if (parts.empty() && predefined) return ERROR_ACCESS_DENIED;
    RegKey* target = reg.FindBelow(base, parts);
    if (!target) return ERROR_FILE_NOT_FOUND;
    if (!target->parent) return ERROR_ACCESS_DENIED;
    if (reg.nt) {
        if (!target->children.empty()) return ERROR_ACCESS_DENIED;
        status = winsim::CheckKeyAccess(*target, DELETE);
        if (status != ERROR_SUCCESS) return status;
    }
    reg.RemoveTree(target);
    return ERROR_SUCCESS;
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName) {
    Impl& reg = Reg();
    Guard guard(reg.lock);
    RegKey* target;
    LONG status = Resolve(reg, key, KEY_SET_VALUE, &target);
    if (status != ERROR_SUCCESS) return status;
    return reg.DeleteValue(target, valueName ? valueName : "") ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD dataSize) {
    Impl& reg = Reg();
    Guard guard(reg.lock);
    RegKey* target;
    LONG status = Resolve(reg, key, KEY_SET_VALUE, &target);
    if (status != ERROR_SUCCESS) return status;
    if (!data) {
        // NT accepts "no data" as an empty value; 95/98 refuse a missing buffer.
        if (!reg.nt) return ERROR_INVALID_PARAMETER;
        if (dataSize) return ERROR_NOACCESS;
    }
    std::vector<BYTE> bytes;
    if (dataSize) bytes.assign(data, data + dataSize);
    // NT converts the string to UTF-16 and, when the length stops just short of a NUL, takes the
    // NUL along - it reads the byte past the given length, as Windows does.
    if (reg.nt && IsStringType(type) && dataSize && data[dataSize - 1] != 0 && data[dataSize] == 0) bytes.push_back(0);
    reg.SetValue(target, valueName ? valueName : "", type, std::move(bytes));
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    if ((data && !dataSize) || reserved) return ERROR_INVALID_PARAMETER;
    Impl& reg = Reg();
    Guard guard(reg.lock);
    RegKey* target;
    LONG status = Resolve(reg, key, KEY_QUERY_VALUE, &target);
    if (status != ERROR_SUCCESS) return status;
    const RegValue* value = target->Value(valueName ? valueName : "");
    if (!value) {
        // A size query for a missing value reports 0; a caller's buffer size is left alone. The type
        // reads 0, as under Wine (Windows' own tests do not look at it).
        if (dataSize && !data) *dataSize = 0;
        if (type) *type = REG_NONE;
        return ERROR_FILE_NOT_FOUND;
    }
    DWORD available = dataSize ? *dataSize : 0;
    if (type) *type = value->type;
    return CopyData(*value, available, data, dataSize);
}

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPSTR className,
                   LPDWORD classSize, PFILETIME lastWriteTime) {
    if (!name || !nameSize || reserved || (className && !classSize)) return ERROR_INVALID_PARAMETER;
    Impl& reg = Reg();
    Guard guard(reg.lock);
    RegKey* target;
    LONG status = Resolve(reg, key, KEY_ENUMERATE_SUB_KEYS, &target);
    if (status != ERROR_SUCCESS) return status;
    if (index >= target->children.size()) return ERROR_NO_MORE_ITEMS;
    const RegKey& child = *target->children[index];
    // Too small a buffer changes nothing: not the buffer, not the size.
    if (child.name.size() + 1 > *nameSize) return ERROR_MORE_DATA;
    if (className && child.className.size() + 1 > *classSize) return ERROR_MORE_DATA;
    std::memcpy(name, child.name.c_str(), child.name.size() + 1);
    *nameSize = static_cast<DWORD>(child.name.size());
    if (className) std::memcpy(className, child.className.c_str(), child.className.size() + 1);
    if (classSize) *classSize = static_cast<DWORD>(child.className.size());
    StoreFileTime(child.lastWrite, lastWriteTime);
    return ERROR_SUCCESS;
}

LONG RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD nameLength) {
    DWORD size = nameLength;
    return RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameSize, LPDWORD reserved, LPDWORD type,
                   LPBYTE data, LPDWORD dataSize) {
    if (!valueName || !valueNameSize || reserved || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
    Impl& reg = Reg();
    Guard guard(reg.lock);
    RegKey* target;
    LONG status = Resolve(reg, key, KEY_QUERY_VALUE, &target);
    if (status != ERROR_SUCCESS) return status;
    if (index >= target->values.size()) return ERROR_NO_MORE_ITEMS;
    const RegValue& value = target->values[index];
    DWORD nameAvailable = *valueNameSize;
    DWORD dataAvailable = dataSize ? *dataSize : 0;
    if (type) *type = value.type;
    // A name that does not fit leaves name, data and the name size alone but still reports the
    // data size.
    if (value.name.size() + 1 > nameAvailable) {
        if (dataSize) *dataSize = static_cast<DWORD>(value.data.size());
        return ERROR_MORE_DATA;
    }
    if (data && dataAvailable < value.data.size()) {
        *dataSize = static_cast<DWORD>(value.data.size());
        return ERROR_MORE_DATA;
    }
    std::memcpy(valueName, value.name.c_str(), value.name.size() + 1);
    *valueNameSize = static_cast<DWORD>(value.name.size());
    return CopyData(value, dataAvailable, data, dataSize);
}

LONG RegQueryInfoKeyA(HKEY key, LPSTR className, LPDWORD classSize, LPDWORD reserved, LPDWORD subKeys,
                      LPDWORD maxSubKeyLen, LPDWORD maxClassLen, LPDWORD values, LPDWORD maxValueNameLen,
                      LPDWORD maxValueLen, LPDWORD securityDescriptorSize, PFILETIME lastWriteTime) {
    if ((className && !classSize) || reserved) return ERROR_INVALID_PARAMETER;
    Impl& reg = Reg();
    Guard guard(reg.lock);
    RegKey* target;
    LONG status = Resolve(reg, key, KEY_QUERY_VALUE, &target);
    if (status != ERROR_SUCCESS) return status;

    DWORD longestSubKey = 0, longestClass = 0, longestValueName = 0, longestData = 0;
    for (const auto& child : target->children) {
        longestSubKey = std::max(longestSubKey, static_cast<DWORD>(child->name.size()));
        longestClass = std::max(longestClass, static_cast<DWORD>(child->className.size()));
    }
    for (const auto& value : target->values) {
        longestValueName = std::max(longestValueName, static_cast<DWORD>(value.name.size()));
        longestData = std::max(longestData, StoredLength(reg, value));
    }
    // Counts and lengths leave out the terminating NUL.
    if (subKeys) *subKeys = static_cast<DWORD>(target->children.size());
    if (maxSubKeyLen) *maxSubKeyLen = longestSubKey;
    if (maxClassLen) *maxClassLen = longestClass;
    if (values) *values = static_cast<DWORD>(target->values.size());
    if (maxValueNameLen) *maxValueNameLen = longestValueName;
    if (maxValueLen) *maxValueLen = longestData;
    if (securityDescriptorSize) *securityDescriptorSize = reg.nt ? winsim::KeySecurityDescriptorSize(*target) : 0;
    StoreFileTime(target->lastWrite, lastWriteTime);

    status = ERROR_SUCCESS;
    if (classSize) {
        DWORD length = static_cast<DWORD>(target->className.size());
        if (!className) {
            *classSize = length;
        } else if (*classSize == 0) {
            // Windows writes nothing at all into an empty class buffer and calls it success.
        } else if (length + 1 > *classSize) {
            // Too small: as much of the class as fits, terminated, and ERROR_MORE_DATA.
            DWORD fits = *classSize - 1;
            std::memcpy(className, target->className.data(), fits);
            className[fits] = '\0';
            *classSize = fits;
            status = ERROR_MORE_DATA;
        } else {
            std::memcpy(className, target->className.c_str(), length + 1);
            *classSize = length;
        }
    }
    return status;
}

namespace {

REGSAM RightsFor(SECURITY_INFORMATION information) {
    REGSAM needed = 0;
    if (information & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION)) needed |= WRITE_OWNER;
    if (information & DACL_SECURITY_INFORMATION) needed |= WRITE_DAC;
    if (information & SACL_SECURITY_INFORMATION) needed |= ACCESS_SYSTEM_SECURITY;
    return needed;
}

}  // namespace

LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor) {
    Impl& reg = Reg();
    if (!reg.nt) return ERROR_CALL_NOT_IMPLEMENTED;
    Guard guard(reg.lock);
    RegKey* target;
    bool predefined = false;
    LONG status = Resolve(reg, key, RightsFor(information), &target, &predefined);
    // A predefined key stands for a handle opened with what the caller's token may do.
    if (status == ERROR_SUCCESS && predefined) status = winsim::CheckKeyAccess(*target, RightsFor(information));
    if (status != ERROR_SUCCESS) return status;
    winsim::SecurityDescriptorData given;
    if (!winsim::ReadDescriptor(descriptor, &given)) return ERROR_INVALID_PARAMETER;
    winsim::SecurityDescriptorData d = winsim::KeyDescriptor(*target);
    if (information & OWNER_SECURITY_INFORMATION) {
        if (!given.owner || !winsim::Current().Security().EffectiveToken()->MayOwn(*given.owner))
            return ERROR_INVALID_OWNER;
        d.owner = given.owner;
    }
    if (information & GROUP_SECURITY_INFORMATION) {
        if (!given.group) return ERROR_INVALID_PRIMARY_GROUP;
        d.group = given.group;
    }
    if (information & DACL_SECURITY_INFORMATION) {
        d.dacl = given.dacl;
        d.daclFlags = given.daclFlags;
    }
    winsim::StoreKeyDescriptor(*target, d);
    winsim::Current().Security().NoteKeySecurityWritten(winsim::KeyPathOf(*target), d);
    return ERROR_SUCCESS;
}

LONG RegGetKeySecurity(HKEY key, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor, LPDWORD size) {
    Impl& reg = Reg();
    if (!reg.nt) return ERROR_CALL_NOT_IMPLEMENTED;
    if (!size) return ERROR_INVALID_PARAMETER;
    Guard guard(reg.lock);
    RegKey* target;
    REGSAM needed = (information & SACL_SECURITY_INFORMATION) ? ACCESS_SYSTEM_SECURITY : 0;
    if (information & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION))
        needed |= READ_CONTROL;
    bool predefined = false;
    LONG status = Resolve(reg, key, needed, &target, &predefined);
    if (status == ERROR_SUCCESS && predefined) status = winsim::CheckKeyAccess(*target, needed);
    if (status != ERROR_SUCCESS) return status;
    const std::vector<BYTE> bytes = winsim::ToSelfRelative(winsim::KeyDescriptor(*target), information);
    const DWORD length = static_cast<DWORD>(bytes.size());
    if (!descriptor || *size < length) {
        *size = length;
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(descriptor, bytes.data(), length);
    *size = length;
    return ERROR_SUCCESS;
}
