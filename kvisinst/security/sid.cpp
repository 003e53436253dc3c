// CSid and the well-known SIDs.
#include "kvisinst/security/sid.h"

#include "kvisinst/common/error.h"

#include <cstring>
#include <new>

namespace {

constexpr BYTE kWorldAuthority = 1;
constexpr BYTE kNtAuthority = 5;

std::unique_ptr<BYTE[]> AllocateSid(DWORD length) {
    std::unique_ptr<BYTE[]> bytes(new (std::nothrow) BYTE[length]);
    if (!bytes) throw CWin32Error(E_OUTOFMEMORY);
    std::memset(bytes.get(), 0, length);
    return bytes;
}

CSid WellKnownSid(BYTE authority, DWORD first, DWORD second, BYTE count) {
    CSid sid;
    sid.Build(authority, count);
    sid.SetSubAuthority(0, first);
    if (count > 1) sid.SetSubAuthority(1, second);
    return sid;
}

}  // namespace

void CSid::Build(BYTE authority, BYTE subAuthorityCount) {
    std::unique_ptr<BYTE[]> bytes = AllocateSid(GetSidLengthRequired(subAuthorityCount));
    SID_IDENTIFIER_AUTHORITY identifier = {{0, 0, 0, 0, 0, authority}};
    InitializeSid(bytes.get(), &identifier, subAuthorityCount);
    bytes_ = std::move(bytes);
}

void CSid::SetSubAuthority(DWORD index, DWORD value) { *GetSidSubAuthority(bytes_.get(), index) = value; }

void CSid::Copy(PSID sid) {
    if (!sid || !IsValidSid(sid)) throw CWin32Error(E_INVALIDARG);
    const DWORD length = GetLengthSid(sid);
    std::unique_ptr<BYTE[]> bytes = AllocateSid(length);
    if (!CopySid(length, bytes.get(), sid)) RaiseLastError();
    bytes_ = std::move(bytes);
}

void CSid::Adopt(std::unique_ptr<BYTE[]> sid) {
    if (!sid || !IsValidSid(sid.get())) throw CWin32Error(E_INVALIDARG);
    bytes_ = std::move(sid);
}

CSid LocalSystemSid() { return WellKnownSid(kNtAuthority, SECURITY_LOCAL_SYSTEM_RID, 0, 1); }

CSid AdministratorsSid() { return WellKnownSid(kNtAuthority, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 2); }

CSid EveryoneSid() { return WellKnownSid(kWorldAuthority, SECURITY_WORLD_RID, 0, 1); }
