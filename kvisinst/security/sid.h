// CSid: the owning holder of one security identifier in the library's heap, and the three well-known
// SIDs the security code compares with and grants to. Every SID the library builds or copies lives in
// one of these and is freed with it.
#pragma once

#include "kvisinst/common/win32.h"

#include <memory>

class CSid {
public:
    CSid() = default;
    CSid(CSid&&) = default;
    CSid& operator=(CSid&&) = default;
    CSid(const CSid&) = delete;
    CSid& operator=(const CSid&) = delete;

    // A SID of `authority` ({0, 0, 0, 0, 0, authority}) with room for `subAuthorityCount`
    // sub-authorities, all zero until SetSubAuthority stores them. Raises E_OUTOFMEMORY.
    void Build(BYTE authority, BYTE subAuthorityCount);
    void SetSubAuthority(DWORD index, DWORD value);
    // A private copy of `sid`. Raises E_INVALIDARG when it is not a valid SID, E_OUTOFMEMORY, or the
    // last error of a failed CopySid. What was held before is freed once the copy is made.
    void Copy(PSID sid);
    // Takes a SID that is already a private copy in the library's heap (GetTokenUserSid's) without
    // copying it. Raises E_INVALIDARG, freeing it, when it is not a valid SID.
    void Adopt(std::unique_ptr<BYTE[]> sid);

    // Gives the SID up, as the bytes it is made of, without freeing it.
    std::unique_ptr<BYTE[]> Release() { return std::move(bytes_); }

    PSID Get() const { return bytes_.get(); }
    operator PSID() const { return bytes_.get(); }

private:
    std::unique_ptr<BYTE[]> bytes_;
};

// S-1-5-18, the local system account.
CSid LocalSystemSid();
// S-1-5-32-544, the Administrators group.
CSid AdministratorsSid();
// S-1-1-0, everybody.
CSid EveryoneSid();
