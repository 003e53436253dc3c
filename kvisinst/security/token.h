// The account the library runs under, asked on the NT family before registry security is rewritten:
// is the calling thread the local system account, is it a member of Administrators. Both answers come
// from the token the thread presents - its impersonation token when it has one, else a copy of the
// process token obtained by impersonating the process itself - and the thread's impersonation is put
// back as it was before either check returns. Nothing is cached: each call asks the system again.
//
// Both checks swallow every failure into the answer 0 and report nothing. One consequence of asking
// this way: a thread impersonating at a level whose token cannot be opened at all (anonymous) looks
// to CImpersonationGuard like a thread without a token; it impersonates the process instead, so the
// process's account is examined and the thread no longer impersonates afterwards.
#pragma once

#include "kvisinst/common/handle.h"
#include "kvisinst/common/win32.h"

#include <memory>

// Keeps the calling thread's impersonation token across a token query.
class CImpersonationGuard {
public:
    // Remembers the thread's token (OpenThreadToken, MAXIMUM_ALLOWED, as self). A thread without one
    // reverts to itself and impersonates the process (ImpersonateSelf, SecurityImpersonation) so that
    // it has a token to open; raises the last error when that fails.
    CImpersonationGuard();
    // Restores, if Restore has not, and swallows any failure: for ways out by an exception.
    ~CImpersonationGuard();
    CImpersonationGuard(const CImpersonationGuard&) = delete;
    CImpersonationGuard& operator=(const CImpersonationGuard&) = delete;

    // Reverts to self and, when a token was remembered, makes the thread impersonate it again and
    // closes it. Raises the error of a failed SetThreadToken, after the token is closed.
    void Restore();

private:
    CKernelHandle remembered_;
    bool restored_ = false;
};

// Owns one token handle. Close reports a failing CloseHandle by raising; the destructor closes what
// Close was not called for, silently, since a destructor must not raise.
class CToken {
public:
    explicit CToken(HANDLE token) : token_(token) {}
    HANDLE Get() const { return token_.Get(); }
    operator HANDLE() const { return token_.Get(); }
    // Raises the last error of a failing CloseHandle.
    void Close();

private:
    CKernelHandle token_;
};

// A private copy of the token's user SID, for CSid::Adopt. Raises what fails.
std::unique_ptr<BYTE[]> GetTokenUserSid(HANDLE token);
// The token's TOKEN_GROUPS in a buffer of its own. Raises what fails.
std::unique_ptr<BYTE[]> GetTokenGroups(HANDLE token);

// Whether the calling thread's token's user is S-1-5-18. Called on the NT family only.
BOOL IsLocalSystem();
// Whether the calling thread runs as the local system account or with S-1-5-32-544 among its token's
// groups - enabled or not, deny-only or not: the groups' attributes are not looked at. 0 off the NT
// family.
BOOL IsAdministrator();
