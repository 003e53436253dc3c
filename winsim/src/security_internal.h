// What the security code shares with the registry calls: a key's descriptor (its own or its hive's
// default), the tokens' handle objects, and the binary forms of SIDs and ACLs.
#pragma once

#include <winsim/handles.h>
#include <winsim/security.h>

#include "registry_internal.h"

#include <memory>

namespace winsim {

// A token handle: the token and the access the handle was opened with.
struct TokenObject : KernelObject {
    std::shared_ptr<const Token> token;
    ACCESS_MASK access = 0;
};

// The descriptor a key has: its own, or its hive's default.
SecurityDescriptorData KeyDescriptor(const RegKey& key);
SecurityDescriptorData DefaultKeyDescriptor(const RegKey& key);
// Stores the descriptor (nothing when it is the key's default).
void StoreKeyDescriptor(RegKey& key, const SecurityDescriptorData& descriptor);
// "HKEY_LOCAL_MACHINE\Software\Korvane": the key's path from its hive's root.
std::string KeyPathOf(const RegKey& key);
// The rights `token` has on an object with `descriptor` (the owner's implicit rights included),
// generic rights mapped as for keys.
ACCESS_MASK AllowedAccess(const SecurityDescriptorData& descriptor, const Token& token);

// Binary forms. A SID pointer is valid when its revision is 1 and it has at most 15 sub-authorities.
bool SidPointerValid(const void* sid);
DWORD SidPointerLength(const void* sid);
SidBytes SidFromPointer(const void* sid);
// Reads an ACL; false when it is not valid (revision, sizes, entries).
bool ReadAcl(const ACL* acl, std::vector<SecurityAce>* aces);

}  // namespace winsim
