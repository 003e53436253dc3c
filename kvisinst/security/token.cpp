// The impersonation guard, the token holder and the two account checks.
#include "kvisinst/security/token.h"

#include "kvisinst/common/error.h"
#include "kvisinst/common/osversion.h"
#include "kvisinst/security/sid.h"

#include <new>

namespace {

// GetTokenInformation into a buffer of the size it asks for.
std::unique_ptr<BYTE[]> QueryTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS informationClass) {
    DWORD size = 0;
    GetTokenInformation(token, informationClass, nullptr, 0, &size);
    if (size == 0) RaiseLastError();
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[size]);
    if (!buffer) throw CWin32Error(E_OUTOFMEMORY);
    if (!GetTokenInformation(token, informationClass, buffer.get(), size, &size)) RaiseLastError();
    return buffer;
}

// The token the calling thread presents now (its guard has made sure it has one).
HANDLE OpenCurrentThreadToken() {
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), MAXIMUM_ALLOWED, TRUE, &token)) RaiseLastError();
    return token;
}

}  // namespace

CImpersonationGuard::CImpersonationGuard() {
    if (OpenThreadToken(GetCurrentThread(), MAXIMUM_ALLOWED, TRUE, remembered_.Put())) return;
    remembered_.Release();  // nothing was opened
    RevertToSelf();
    if (!ImpersonateSelf(SecurityImpersonation)) RaiseLastError();
}

CImpersonationGuard::~CImpersonationGuard() {
    if (restored_) return;
    try {
        Restore();
    } catch (...) {}
}

void CImpersonationGuard::Restore() {
    restored_ = true;
    RevertToSelf();
    if (!remembered_) return;
    DWORD error = 0;
    if (!SetThreadToken(nullptr, remembered_)) error = GetLastError();
    remembered_.Close();
    if (error != 0) RaiseWin32Error(static_cast<LONG>(error));
}

void CToken::Close() {
    if (!token_) return;
    // Straight to CloseHandle: the holder's own Close keeps the last error from before it.
    if (!CloseHandle(token_.Release())) RaiseLastError();
}

std::unique_ptr<BYTE[]> GetTokenUserSid(HANDLE token) {
    const std::unique_ptr<BYTE[]> buffer = QueryTokenInformation(token, TokenUser);
    CSid copy;
    copy.Copy(reinterpret_cast<const TOKEN_USER*>(buffer.get())->User.Sid);
    return copy.Release();
}

std::unique_ptr<BYTE[]> GetTokenGroups(HANDLE token) { return QueryTokenInformation(token, TokenGroups); }

BOOL IsLocalSystem() {
    try {
        CImpersonationGuard guard;
        CToken token(OpenCurrentThreadToken());
        guard.Restore();  // the token opened stays usable
        CSid user;
        user.Adopt(GetTokenUserSid(token));
        token.Close();
        const CSid system = LocalSystemSid();
        return EqualSid(user, system) ? TRUE : FALSE;
    } catch (...) {
        return FALSE;
    }
}

BOOL IsAdministrator() {
    if (GetOsVersionInfo().dwPlatformId != VER_PLATFORM_WIN32_NT) return FALSE;
    if (IsLocalSystem()) return TRUE;
    try {
        CImpersonationGuard guard;
        CToken token(OpenCurrentThreadToken());
        guard.Restore();
        const CSid administrators = AdministratorsSid();
        std::unique_ptr<BYTE[]> buffer = GetTokenGroups(token);
        const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.get());
        BOOL result = FALSE;
        for (DWORD i = 0; i < groups->GroupCount && !result; ++i) {
            CSid group;
            group.Copy(groups->Groups[i].Sid);
            result = EqualSid(group, administrators) ? TRUE : FALSE;
        }
        buffer.reset();
        token.Close();
        return result;
    } catch (...) {
        return FALSE;
    }
}
