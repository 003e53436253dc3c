// advapi32's security calls: SIDs, ACLs and security descriptors in the caller's memory, laid out as
// the SDK lays them out, and the tokens of the current machine's accounts (winsim/security.h).
// On Windows 95/98 every call is a stub failing with ERROR_CALL_NOT_IMPLEMENTED.
#include "security_internal.h"

#include <winsim/win32api.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

// Windows 95 and 98 export the calls but have no security.
bool NoSecurityHere() {
    if (winsim::IsNtFamily(winsim::Current().Version())) return false;
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return true;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

bool IsCurrentThread(HANDLE thread) { return thread == GetCurrentThread(); }

SECURITY_DESCRIPTOR* Absolute(PSECURITY_DESCRIPTOR descriptor, DWORD* error) {
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    if (!sd || sd->Revision != SECURITY_DESCRIPTOR_REVISION) {
        *error = ERROR_UNKNOWN_REVISION;
        return nullptr;
    }
    if (sd->Control & SE_SELF_RELATIVE) {
        *error = ERROR_INVALID_SECURITY_DESCR;
        return nullptr;
    }
    return sd;
}

// A part of an absolute or self-relative descriptor: the pointer, or the offset turned into one.
void* DescriptorPart(PSECURITY_DESCRIPTOR descriptor, size_t absoluteOffset, size_t relativeOffset) {
    auto* base = static_cast<BYTE*>(descriptor);
    SECURITY_DESCRIPTOR_CONTROL control;
    std::memcpy(&control, base + 2, 2);
    if (control & SE_SELF_RELATIVE) {
        DWORD offset;
        std::memcpy(&offset, base + relativeOffset, 4);
        return offset ? base + offset : nullptr;
    }
    void* pointer;
    std::memcpy(&pointer, base + absoluteOffset, sizeof pointer);
    return pointer;
}

BOOL SetPart(PSECURITY_DESCRIPTOR descriptor, PSID sid, BOOL defaulted, bool owner) {
    if (NoSecurityHere()) return FALSE;
    DWORD error;
    SECURITY_DESCRIPTOR* sd = Absolute(descriptor, &error);
    if (!sd) return Fail(error);
    const WORD flag = owner ? SE_OWNER_DEFAULTED : SE_GROUP_DEFAULTED;
    (owner ? sd->Owner : sd->Group) = sid;
    sd->Control = static_cast<WORD>(defaulted ? (sd->Control | flag) : (sd->Control & ~flag));
    return TRUE;
}

BOOL GetPart(PSECURITY_DESCRIPTOR descriptor, PSID* sid, LPBOOL defaulted, bool owner) {
    if (NoSecurityHere()) return FALSE;
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    if (!sd || sd->Revision != SECURITY_DESCRIPTOR_REVISION) return Fail(ERROR_UNKNOWN_REVISION);
    *sid = DescriptorPart(
        descriptor, owner ? offsetof(SECURITY_DESCRIPTOR, Owner) : offsetof(SECURITY_DESCRIPTOR, Group),
        owner ? offsetof(SECURITY_DESCRIPTOR_RELATIVE, Owner) : offsetof(SECURITY_DESCRIPTOR_RELATIVE, Group));
    *defaulted = (sd->Control & (owner ? SE_OWNER_DEFAULTED : SE_GROUP_DEFAULTED)) ? TRUE : FALSE;
    return TRUE;
}

// Bytes in use by an ACL's header and entries; 0 when the entries overrun it.
DWORD AclBytesInUse(const ACL* acl) {
    const BYTE* base = reinterpret_cast<const BYTE*>(acl);
    DWORD at = sizeof(ACL);
    for (WORD i = 0; i < acl->AceCount; ++i) {
        if (at + sizeof(ACE_HEADER) > acl->AclSize) return 0;
        ACE_HEADER h;
        std::memcpy(&h, base + at, sizeof h);
        if (h.AceSize < sizeof(ACE_HEADER) || at + h.AceSize > acl->AclSize) return 0;
        at += h.AceSize;
    }
    return at;
}

// Offset of entry `index` (or of the free space when index is the entry count).
DWORD AceOffset(const ACL* acl, DWORD index) {
    const BYTE* base = reinterpret_cast<const BYTE*>(acl);
    DWORD at = sizeof(ACL);
    for (DWORD i = 0; i < index; ++i) {
        ACE_HEADER h;
        std::memcpy(&h, base + at, sizeof h);
        at += h.AceSize;
    }
    return at;
}

bool AclUsable(const ACL* acl) {
    return acl && acl->AclRevision >= MIN_ACL_REVISION && acl->AclRevision <= MAX_ACL_REVISION &&
           acl->AclSize >= sizeof(ACL) && AclBytesInUse(acl) != 0;
}

BOOL AddSidAce(PACL acl, DWORD revision, BYTE type, DWORD mask, PSID sid) {
    if (NoSecurityHere()) return FALSE;
    if (!winsim::SidPointerValid(sid)) return Fail(ERROR_INVALID_SID);
    if (!AclUsable(acl)) return Fail(ERROR_INVALID_ACL);
    if (revision < MIN_ACL_REVISION || revision > MAX_ACL_REVISION) return Fail(ERROR_REVISION_MISMATCH);
    const DWORD sidLength = winsim::SidPointerLength(sid);
    const DWORD aceSize = 8 + sidLength;
    const DWORD used = AclBytesInUse(acl);
    if (used + aceSize > acl->AclSize) return Fail(ERROR_ALLOTTED_SPACE_EXCEEDED);
    BYTE* at = reinterpret_cast<BYTE*>(acl) + used;
    ACE_HEADER h{type, 0, static_cast<WORD>(aceSize)};
    std::memcpy(at, &h, sizeof h);
    std::memcpy(at + 4, &mask, 4);
    std::memcpy(at + 8, sid, sidLength);
    ++acl->AceCount;
    if (revision > acl->AclRevision) acl->AclRevision = static_cast<BYTE>(revision);
    return TRUE;
}

std::shared_ptr<winsim::TokenObject> TokenFromHandle(HANDLE handle) {
    return winsim::ObjectFromHandle<winsim::TokenObject>(handle);
}

HANDLE NewTokenHandle(std::shared_ptr<const winsim::Token> token, DWORD access) {
    auto object = std::make_shared<winsim::TokenObject>();
    object->token = std::move(token);
    object->access = (access & MAXIMUM_ALLOWED) ? TOKEN_ALL_ACCESS : access;
    return winsim::AddHandle(std::move(object));
}

}  // namespace

// ---- SIDs ---------------------------------------------------------------------------------------

DWORD GetSidLengthRequired(BYTE subAuthorityCount) {
    if (NoSecurityHere()) return 0;
    return 8 + 4 * static_cast<DWORD>(subAuthorityCount);
}

BOOL InitializeSid(PSID sid, PSID_IDENTIFIER_AUTHORITY authority, BYTE subAuthorityCount) {
    if (NoSecurityHere()) return FALSE;
    if (subAuthorityCount > SID_MAX_SUB_AUTHORITIES) return Fail(ERROR_INVALID_PARAMETER);
    auto* s = static_cast<SID*>(sid);
    s->Revision = SID_REVISION;
    s->SubAuthorityCount = subAuthorityCount;
    s->IdentifierAuthority = *authority;
    return TRUE;
}

PDWORD GetSidSubAuthority(PSID sid, DWORD index) {
    if (NoSecurityHere()) return nullptr;
    SetLastError(ERROR_SUCCESS);
    return static_cast<SID*>(sid)->SubAuthority + index;
}

PBYTE GetSidSubAuthorityCount(PSID sid) {
    if (NoSecurityHere()) return nullptr;
    SetLastError(ERROR_SUCCESS);
    return &static_cast<SID*>(sid)->SubAuthorityCount;
}

PSID_IDENTIFIER_AUTHORITY GetSidIdentifierAuthority(PSID sid) {
    if (NoSecurityHere()) return nullptr;
    SetLastError(ERROR_SUCCESS);
    return &static_cast<SID*>(sid)->IdentifierAuthority;
}

BOOL IsValidSid(PSID sid) {
    if (NoSecurityHere()) return FALSE;
    return winsim::SidPointerValid(sid) ? TRUE : FALSE;
}

DWORD GetLengthSid(PSID sid) {
    if (NoSecurityHere()) return 0;
    SetLastError(ERROR_SUCCESS);
    return winsim::SidPointerLength(sid);
}

BOOL CopySid(DWORD destinationLength, PSID destination, PSID source) {
    if (NoSecurityHere()) return FALSE;
    if (!winsim::SidPointerValid(source)) return Fail(ERROR_INVALID_SID);
    const DWORD length = winsim::SidPointerLength(source);
    if (destinationLength < length) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memmove(destination, source, length);
    return TRUE;
}

BOOL EqualSid(PSID sid1, PSID sid2) {
    if (NoSecurityHere()) return FALSE;
    if (!winsim::SidPointerValid(sid1) || !winsim::SidPointerValid(sid2)) return Fail(ERROR_INVALID_SID);
    // Windows reports "not equal" with the last error cleared.
    SetLastError(ERROR_SUCCESS);
    const DWORD length = winsim::SidPointerLength(sid1);
    return length == winsim::SidPointerLength(sid2) && std::memcmp(sid1, sid2, length) == 0;
}

BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE subAuthorityCount, DWORD s0, DWORD s1, DWORD s2,
                              DWORD s3, DWORD s4, DWORD s5, DWORD s6, DWORD s7, PSID* sid) {
    if (NoSecurityHere()) return FALSE;
    if (subAuthorityCount > 8) return Fail(ERROR_INVALID_SID);
    auto* s = static_cast<SID*>(std::calloc(1, 8 + 4 * static_cast<size_t>(subAuthorityCount)));
    if (!s) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    s->Revision = SID_REVISION;
    s->SubAuthorityCount = subAuthorityCount;
    s->IdentifierAuthority = *authority;
    const DWORD values[8] = {s0, s1, s2, s3, s4, s5, s6, s7};
    std::memcpy(s->SubAuthority, values, 4 * static_cast<size_t>(subAuthorityCount));
    *sid = s;
    return TRUE;
}

PVOID FreeSid(PSID sid) {
    if (NoSecurityHere()) return sid;
    std::free(sid);
    return nullptr;
}

// ---- ACLs ---------------------------------------------------------------------------------------

BOOL InitializeAcl(PACL acl, DWORD aclLength, DWORD aclRevision) {
    if (NoSecurityHere()) return FALSE;
    if (aclLength < sizeof(ACL)) return Fail(ERROR_INSUFFICIENT_BUFFER);
    // NT 4 knows no ACL_REVISION_DS.
    const DWORD highest = winsim::Current().Version() == winsim::OsVersion::NT4 ? 3 : MAX_ACL_REVISION;
    if (aclRevision < MIN_ACL_REVISION || aclRevision > highest || aclLength > 0xFFFF)
        return Fail(ERROR_INVALID_PARAMETER);
    *acl = ACL{static_cast<BYTE>(aclRevision), 0, static_cast<WORD>(aclLength), 0, 0};
    return TRUE;
}

BOOL IsValidAcl(PACL acl) {
    if (NoSecurityHere()) return FALSE;
    return AclUsable(acl) ? TRUE : FALSE;
}

BOOL GetAclInformation(PACL acl, LPVOID information, DWORD informationLength, ACL_INFORMATION_CLASS informationClass) {
    if (NoSecurityHere()) return FALSE;
    if (informationClass == AclRevisionInformation) {
        if (informationLength < sizeof(ACL_REVISION_INFORMATION)) return Fail(ERROR_INSUFFICIENT_BUFFER);
        static_cast<ACL_REVISION_INFORMATION*>(information)->AclRevision = acl->AclRevision;
        return TRUE;
    }
    if (informationClass != AclSizeInformation) return Fail(ERROR_INVALID_PARAMETER);
    if (informationLength < sizeof(ACL_SIZE_INFORMATION)) return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (!AclUsable(acl)) return Fail(ERROR_INVALID_ACL);
    auto* info = static_cast<ACL_SIZE_INFORMATION*>(information);
    info->AceCount = acl->AceCount;
    info->AclBytesInUse = AclBytesInUse(acl);
    info->AclBytesFree = acl->AclSize - info->AclBytesInUse;
    return TRUE;
}

BOOL GetAce(PACL acl, DWORD index, LPVOID* ace) {
    if (NoSecurityHere()) return FALSE;
    if (!AclUsable(acl) || index >= acl->AceCount) return Fail(ERROR_INVALID_PARAMETER);
    *ace = reinterpret_cast<BYTE*>(acl) + AceOffset(acl, index);
    return TRUE;
}

BOOL AddAce(PACL acl, DWORD aceRevision, DWORD startingAceIndex, LPVOID aceList, DWORD aceListLength) {
    if (NoSecurityHere()) return FALSE;
    if (!AclUsable(acl)) return Fail(ERROR_INVALID_PARAMETER);
    if (aceRevision < MIN_ACL_REVISION || aceRevision > MAX_ACL_REVISION) return Fail(ERROR_INVALID_PARAMETER);
    // Count the entries of the list; it must hold whole entries.
    const BYTE* list = static_cast<const BYTE*>(aceList);
    DWORD at = 0;
    WORD count = 0;
    while (at < aceListLength) {
        ACE_HEADER h;
        if (at + sizeof h > aceListLength) return Fail(ERROR_INVALID_PARAMETER);
        std::memcpy(&h, list + at, sizeof h);
        if (h.AceSize < sizeof h || at + h.AceSize > aceListLength) return Fail(ERROR_INVALID_PARAMETER);
        at += h.AceSize;
        ++count;
    }
    const DWORD used = AclBytesInUse(acl);
    if (used + aceListLength > acl->AclSize) return Fail(ERROR_INSUFFICIENT_BUFFER);
    const DWORD index = startingAceIndex > acl->AceCount ? acl->AceCount : startingAceIndex;
    BYTE* base = reinterpret_cast<BYTE*>(acl);
    const DWORD insertAt = AceOffset(acl, index);
    std::memmove(base + insertAt + aceListLength, base + insertAt, used - insertAt);
    std::memcpy(base + insertAt, list, aceListLength);
    acl->AceCount = static_cast<WORD>(acl->AceCount + count);
    if (aceRevision > acl->AclRevision) acl->AclRevision = static_cast<BYTE>(aceRevision);
    return TRUE;
}

BOOL DeleteAce(PACL acl, DWORD index) {
    if (NoSecurityHere()) return FALSE;
    if (!AclUsable(acl) || index >= acl->AceCount) return Fail(ERROR_INVALID_PARAMETER);
    BYTE* base = reinterpret_cast<BYTE*>(acl);
    const DWORD at = AceOffset(acl, index);
    ACE_HEADER h;
    std::memcpy(&h, base + at, sizeof h);
    const DWORD used = AclBytesInUse(acl);
    std::memmove(base + at, base + at + h.AceSize, used - at - h.AceSize);
    --acl->AceCount;
    return TRUE;
}

BOOL AddAccessAllowedAce(PACL acl, DWORD aceRevision, DWORD accessMask, PSID sid) {
    return AddSidAce(acl, aceRevision, ACCESS_ALLOWED_ACE_TYPE, accessMask, sid);
}

BOOL AddAccessDeniedAce(PACL acl, DWORD aceRevision, DWORD accessMask, PSID sid) {
    return AddSidAce(acl, aceRevision, ACCESS_DENIED_ACE_TYPE, accessMask, sid);
}

// ---- security descriptors -----------------------------------------------------------------------

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) {
    if (NoSecurityHere()) return FALSE;
    if (revision != SECURITY_DESCRIPTOR_REVISION) return Fail(ERROR_UNKNOWN_REVISION);
    *static_cast<SECURITY_DESCRIPTOR*>(descriptor) =
        SECURITY_DESCRIPTOR{SECURITY_DESCRIPTOR_REVISION, 0, 0, nullptr, nullptr, nullptr, nullptr};
    return TRUE;
}

BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor) {
    if (NoSecurityHere()) return FALSE;
    winsim::SecurityDescriptorData d;
    if (!winsim::ReadDescriptor(descriptor, &d)) return Fail(ERROR_INVALID_SECURITY_DESCR);
    return TRUE;
}

DWORD GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR descriptor) {
    if (NoSecurityHere()) return 0;
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    const bool relative = sd->Control & SE_SELF_RELATIVE;
    DWORD length = relative ? sizeof(SECURITY_DESCRIPTOR_RELATIVE) : sizeof(SECURITY_DESCRIPTOR);
    void* owner =
        DescriptorPart(descriptor, offsetof(SECURITY_DESCRIPTOR, Owner), offsetof(SECURITY_DESCRIPTOR_RELATIVE, Owner));
    void* group =
        DescriptorPart(descriptor, offsetof(SECURITY_DESCRIPTOR, Group), offsetof(SECURITY_DESCRIPTOR_RELATIVE, Group));
    if (owner) length += winsim::SidPointerLength(owner);
    if (group) length += winsim::SidPointerLength(group);
    if (sd->Control & SE_DACL_PRESENT) {
        auto* dacl = static_cast<ACL*>(DescriptorPart(descriptor, offsetof(SECURITY_DESCRIPTOR, Dacl),
                                                      offsetof(SECURITY_DESCRIPTOR_RELATIVE, Dacl)));
        if (dacl) length += dacl->AclSize;
    }
    if (sd->Control & SE_SACL_PRESENT) {
        auto* sacl = static_cast<ACL*>(DescriptorPart(descriptor, offsetof(SECURITY_DESCRIPTOR, Sacl),
                                                      offsetof(SECURITY_DESCRIPTOR_RELATIVE, Sacl)));
        if (sacl) length += sacl->AclSize;
    }
    return length;
}

BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor, PSECURITY_DESCRIPTOR_CONTROL control,
                                  LPDWORD revision) {
    if (NoSecurityHere()) return FALSE;
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    *revision = sd->Revision;
    if (sd->Revision != SECURITY_DESCRIPTOR_REVISION) return Fail(ERROR_UNKNOWN_REVISION);
    *control = sd->Control;
    return TRUE;
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL daclPresent, PACL dacl, BOOL daclDefaulted) {
    if (NoSecurityHere()) return FALSE;
    DWORD error;
    SECURITY_DESCRIPTOR* sd = Absolute(descriptor, &error);
    if (!sd) return Fail(error);
    if (!daclPresent) {
        sd->Control = static_cast<WORD>(sd->Control & ~SE_DACL_PRESENT);
        sd->Dacl = nullptr;
        return TRUE;
    }
    sd->Control |= SE_DACL_PRESENT;
    sd->Dacl = dacl;
    sd->Control =
        static_cast<WORD>(daclDefaulted ? (sd->Control | SE_DACL_DEFAULTED) : (sd->Control & ~SE_DACL_DEFAULTED));
    return TRUE;
}

BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, LPBOOL daclPresent, PACL* dacl, LPBOOL daclDefaulted) {
    if (NoSecurityHere()) return FALSE;
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    if (!sd || sd->Revision != SECURITY_DESCRIPTOR_REVISION) return Fail(ERROR_UNKNOWN_REVISION);
    *daclPresent = (sd->Control & SE_DACL_PRESENT) ? TRUE : FALSE;
    // Windows leaves the other outputs alone when there is no DACL.
    if (*daclPresent) {
        *dacl = static_cast<PACL>(DescriptorPart(descriptor, offsetof(SECURITY_DESCRIPTOR, Dacl),
                                                 offsetof(SECURITY_DESCRIPTOR_RELATIVE, Dacl)));
        *daclDefaulted = (sd->Control & SE_DACL_DEFAULTED) ? TRUE : FALSE;
    }
    return TRUE;
}

BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID owner, BOOL ownerDefaulted) {
    return SetPart(descriptor, owner, ownerDefaulted, true);
}

BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID* owner, LPBOOL ownerDefaulted) {
    return GetPart(descriptor, owner, ownerDefaulted, true);
}

BOOL SetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR descriptor, PSID group, BOOL groupDefaulted) {
    return SetPart(descriptor, group, groupDefaulted, false);
}

BOOL GetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR descriptor, PSID* group, LPBOOL groupDefaulted) {
    return GetPart(descriptor, group, groupDefaulted, false);
}

BOOL MakeSelfRelativeSD(PSECURITY_DESCRIPTOR absolute, PSECURITY_DESCRIPTOR selfRelative, LPDWORD bufferLength) {
    if (NoSecurityHere()) return FALSE;
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(absolute);
    if (!sd || sd->Revision != SECURITY_DESCRIPTOR_REVISION) return Fail(ERROR_UNKNOWN_REVISION);
    if (sd->Control & SE_SELF_RELATIVE) return Fail(ERROR_BAD_DESCRIPTOR_FORMAT);
    winsim::SecurityDescriptorData d;
    if (!winsim::ReadDescriptor(absolute, &d)) return Fail(ERROR_INVALID_SECURITY_DESCR);
    SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION;
    if (sd->Control & SE_DACL_PRESENT) parts |= DACL_SECURITY_INFORMATION;
    std::vector<BYTE> bytes = winsim::ToSelfRelative(d, parts);
    // The defaulted flags travel along.
    WORD control;
    std::memcpy(&control, bytes.data() + 2, 2);
    control |= sd->Control & (SE_OWNER_DEFAULTED | SE_GROUP_DEFAULTED | SE_DACL_DEFAULTED);
    std::memcpy(bytes.data() + 2, &control, 2);
    const DWORD length = static_cast<DWORD>(bytes.size());
    if (!selfRelative || *bufferLength < length) {
        *bufferLength = length;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(selfRelative, bytes.data(), length);
    return TRUE;
}

// ---- tokens -------------------------------------------------------------------------------------

BOOL OpenThreadToken(HANDLE thread, DWORD desiredAccess, BOOL openAsSelf, PHANDLE token) {
    if (NoSecurityHere()) return FALSE;
    if (!token) return Fail(ERROR_NOACCESS);
    if (!IsCurrentThread(thread)) return Fail(ERROR_INVALID_HANDLE);
    auto current = winsim::Current().Security().ThreadToken();
    if (!current) return Fail(ERROR_NO_TOKEN);
    if (current->level == SecurityAnonymous) return Fail(ERROR_CANT_OPEN_ANONYMOUS);
    if (!openAsSelf && current->level == SecurityIdentification) return Fail(ERROR_BAD_IMPERSONATION_LEVEL);
    *token = NewTokenHandle(std::move(current), desiredAccess);
    return TRUE;
}

BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token) {
    if (NoSecurityHere()) return FALSE;
    if (!token) return Fail(ERROR_NOACCESS);
    if (process != GetCurrentProcess()) return Fail(ERROR_INVALID_HANDLE);
    *token = NewTokenHandle(winsim::Current().Security().ProcessToken(), desiredAccess);
    return TRUE;
}

BOOL ImpersonateSelf(SECURITY_IMPERSONATION_LEVEL level) {
    if (NoSecurityHere()) return FALSE;
    if (level < SecurityAnonymous || level > SecurityDelegation) return Fail(ERROR_INVALID_PARAMETER);
    winsim::Machine& machine = winsim::Current();
    machine.Security().SetThreadToken(machine.Security().MakeToken(machine.CallerAccount(), TokenImpersonation, level));
    return TRUE;
}

BOOL RevertToSelf() {
    if (NoSecurityHere()) return FALSE;
    winsim::Current().Security().SetThreadToken(nullptr);
    return TRUE;
}

BOOL SetThreadToken(PHANDLE thread, HANDLE token) {
    if (NoSecurityHere()) return FALSE;
    if (thread && !IsCurrentThread(*thread)) return Fail(ERROR_INVALID_HANDLE);
    if (!token) {
        winsim::Current().Security().SetThreadToken(nullptr);
        return TRUE;
    }
    auto object = TokenFromHandle(token);
    if (!object) return Fail(ERROR_INVALID_HANDLE);
    if (!(object->access & TOKEN_IMPERSONATE)) return Fail(ERROR_ACCESS_DENIED);
    if (object->token->type != TokenImpersonation) return Fail(ERROR_BAD_TOKEN_TYPE);
    winsim::Current().Security().SetThreadToken(object->token);
    return TRUE;
}

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS informationClass, LPVOID information,
                         DWORD informationLength, PDWORD returnLength) {
    if (NoSecurityHere()) return FALSE;
    auto object = TokenFromHandle(token);
    if (!object) return Fail(ERROR_INVALID_HANDLE);
    if (!(object->access & TOKEN_QUERY)) return Fail(ERROR_ACCESS_DENIED);
    if (!returnLength) return Fail(ERROR_NOACCESS);
    const winsim::Token& t = *object->token;

    // The fixed part, then the SIDs it points to.
    std::vector<std::pair<const winsim::SidBytes*, DWORD>> sids;
    size_t fixed = 0;
    DWORD value = 0;
    switch (informationClass) {
        case TokenUser:
            fixed = sizeof(TOKEN_USER);
            sids.emplace_back(&t.user, 0);
            break;
        case TokenOwner:
            fixed = sizeof(TOKEN_OWNER);
            sids.emplace_back(&t.defaultOwner, 0);
            break;
        case TokenGroups:
            if (t.groupsUnreadable) return Fail(ERROR_ACCESS_DENIED);
            fixed = offsetof(TOKEN_GROUPS, Groups) + t.groups.size() * sizeof(SID_AND_ATTRIBUTES);
            for (const auto& group : t.groups) sids.emplace_back(&group.first, group.second);
            break;
        case TokenType:
            fixed = sizeof(TOKEN_TYPE);
            value = t.type;
            break;
        case TokenImpersonationLevel:
            if (t.type != TokenImpersonation) return Fail(ERROR_INVALID_PARAMETER);
            fixed = sizeof(SECURITY_IMPERSONATION_LEVEL);
            value = t.level;
            break;
        default: return Fail(ERROR_INVALID_PARAMETER);
    }
    size_t needed = fixed;
    for (const auto& sid : sids) needed += sid.first->size();
    *returnLength = static_cast<DWORD>(needed);
    if (!information || informationLength < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);

    BYTE* out = static_cast<BYTE*>(information);
    if (informationClass == TokenType || informationClass == TokenImpersonationLevel) {
        std::memcpy(out, &value, sizeof value);
        return TRUE;
    }
    std::vector<SID_AND_ATTRIBUTES> entries;
    size_t at = fixed;
    for (const auto& sid : sids) {
        std::memcpy(out + at, sid.first->data(), sid.first->size());
        entries.push_back(SID_AND_ATTRIBUTES{out + at, sid.second});
        at += sid.first->size();
    }
    if (informationClass == TokenUser) {
        std::memcpy(out, &entries[0], sizeof(SID_AND_ATTRIBUTES));
    } else if (informationClass == TokenOwner) {
        std::memcpy(out, &entries[0].Sid, sizeof(PSID));
    } else {
        const DWORD count = static_cast<DWORD>(entries.size());
        std::memcpy(out, &count, sizeof count);
        if (count)
            std::memcpy(out + offsetof(TOKEN_GROUPS, Groups), entries.data(), count * sizeof(SID_AND_ATTRIBUTES));
    }
    return TRUE;
}
