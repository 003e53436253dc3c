// CSecurityDescriptor, ProtectKey and the removal of the product's registry tree.
#include "kvisinst/security/protect.h"

#include "kvisinst/common/error.h"
#include "kvisinst/common/handle.h"
#include "kvisinst/common/osversion.h"
#include "kvisinst/security/sid.h"
#include "kvisinst/security/token.h"
#include "kvisinst/trace/trace.h"

#include <new>

namespace {

constexpr char kProductTree[] = "Software\\Korvane";
constexpr DWORD kSubkeyNameSize = 260;
// Room an access-allowed entry needs beside its SID, with the ACL header when the ACL was empty.
constexpr DWORD kAllowedEntryRoom = 16;
// The security parts ProtectKey writes, one RegSetKeySecurity each, in this order.
const SECURITY_INFORMATION kWrittenParts[] = {OWNER_SECURITY_INFORMATION, GROUP_SECURITY_INFORMATION,
                                              DACL_SECURITY_INFORMATION};

typedef DWORD(WINAPI* ShDeleteKeyProc)(HKEY, LPCSTR);

HRESULT LastErrorResult() {
    const DWORD error = GetLastError();
    return error == 0 ? S_OK : HResultFromStatus(static_cast<LONG>(error));
}

// A private copy of `sid` set through `set` (SetSecurityDescriptorOwner or ...Group) after clearing
// what was set; `copy` holds it while the descriptor points to it.
HRESULT SetSidPart(PSECURITY_DESCRIPTOR descriptor, std::unique_ptr<BYTE[]>& copy, PSID sid,
                   BOOL(WINAPI* set)(PSECURITY_DESCRIPTOR, PSID, BOOL)) {
    if (!descriptor) return E_UNEXPECTED;
    if (!set(descriptor, nullptr, FALSE)) return LastErrorResult();
    copy.reset();
    const DWORD length = GetLengthSid(sid);
    std::unique_ptr<BYTE[]> bytes(new (std::nothrow) BYTE[length]);
    if (!bytes) return E_OUTOFMEMORY;
    if (!CopySid(length, bytes.get(), sid) || !set(descriptor, bytes.get(), FALSE)) return LastErrorResult();
    copy = std::move(bytes);
    return S_OK;
}

// This key's owner, group and DACL; true when all three were written.
bool ProtectOneKey(HKEY key, DWORD everyoneAccess, const CSid& system, const CSid& administrators,
                   const CSid& everyone) {
    CSecurityDescriptor descriptor;
    if (descriptor.Initialize() != S_OK) return false;
    descriptor.SetOwner(system);
    descriptor.SetGroup(administrators);
    descriptor.Allow(system, KEY_ALL_ACCESS);
    descriptor.Allow(administrators, KEY_ALL_ACCESS);
    if (everyoneAccess != 0) descriptor.Allow(everyone, everyoneAccess);
    bool written = true;
    for (const SECURITY_INFORMATION part : kWrittenParts)
        if (RegSetKeySecurity(key, part, descriptor.Get()) != ERROR_SUCCESS) written = false;
    return written;
}

HRESULT ProtectKeyBody(HKEY key, DWORD everyoneAccess, BOOL recurse) {
    if (GetOsVersionInfo().dwPlatformId != VER_PLATFORM_WIN32_NT) return S_OK;
    const CSid system = LocalSystemSid();
    const CSid administrators = AdministratorsSid();
    const CSid everyone = EveryoneSid();
    HRESULT result = S_OK;
    const bool administrator = IsAdministrator() != FALSE;
    if (administrator && !ProtectOneKey(key, everyoneAccess, system, administrators, everyone)) result = 1;
    if (!recurse) return result;
    char name[kSubkeyNameSize];
    for (DWORD index = 0; RegEnumKeyA(key, index, name, kSubkeyNameSize) == ERROR_SUCCESS; ++index) {
        CRegKey subkey;
        if (subkey.Open(key, name, MAXIMUM_ALLOWED) != ERROR_SUCCESS) {
            if (administrator) result = 1;
            continue;
        }
        if (ProtectKey(subkey, everyoneAccess, recurse) != 0) result = 1;
    }
    return result;
}

}  // namespace

HRESULT CSecurityDescriptor::Initialize() {
    descriptor_.reset(new (std::nothrow) SECURITY_DESCRIPTOR);
    if (!descriptor_) return E_OUTOFMEMORY;
    if (!InitializeSecurityDescriptor(descriptor_.get(), SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(descriptor_.get(), TRUE, nullptr, FALSE)) {
        const HRESULT hr = LastErrorResult();
        descriptor_.reset();
        return hr != S_OK ? hr : E_FAIL;
    }
    return S_OK;
}

HRESULT CSecurityDescriptor::SetOwner(PSID sid) {
    return SetSidPart(descriptor_.get(), owner_, sid, &SetSecurityDescriptorOwner);
}

HRESULT CSecurityDescriptor::SetGroup(PSID sid) {
    return SetSidPart(descriptor_.get(), group_, sid, &SetSecurityDescriptorGroup);
}

HRESULT CSecurityDescriptor::Allow(PSID sid, DWORD mask) {
    if (!descriptor_) return E_UNEXPECTED;
    PACL old = reinterpret_cast<PACL>(dacl_.get());
    ACL_SIZE_INFORMATION size = {};
    if (old && !GetAclInformation(old, &size, sizeof size, AclSizeInformation)) return LastErrorResult();

    const DWORD length = size.AclBytesInUse + GetLengthSid(sid) + kAllowedEntryRoom;
    std::unique_ptr<BYTE[]> bytes(new (std::nothrow) BYTE[length]);
    PACL acl = reinterpret_cast<PACL>(bytes.get());
    if (!bytes || !InitializeAcl(acl, length, ACL_REVISION)) return LastErrorResult();
    for (DWORD i = 0; i < size.AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(old, i, &entry) ||
            !AddAce(acl, ACL_REVISION, MAXDWORD, entry, static_cast<const ACE_HEADER*>(entry)->AceSize))
            return LastErrorResult();
    }
    HRESULT result = S_OK;
    if (AddAccessAllowedAce(acl, ACL_REVISION, mask, sid))
        dacl_ = std::move(bytes);
    else
        result = LastErrorResult();
    SetSecurityDescriptorDacl(descriptor_.get(), TRUE, reinterpret_cast<PACL>(dacl_.get()), FALSE);
    return result;
}

LONG ProtectKey(HKEY key, DWORD everyoneAccess, BOOL recurse) {
    // The outer boundary catches what the trace record's construction may raise.
    return HResultBoundary([&] {
        TraceScope scope("ProtectKey");
        const HRESULT hr = HResultBoundary([&] { return ProtectKeyBody(key, everyoneAccess, recurse); });
        TraceError(scope, "", hr, nullptr);
        return hr;
    });
}

LONG DeleteProductRegistryTree() {
    HKEY opened = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kProductTree, &opened) == ERROR_SUCCESS) {
        CRegKey tree(opened);
        ProtectKey(tree, KEY_READ | DELETE, TRUE);
    }
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kProductTree);
    {
        const CLibrary shlwapi(LoadLibraryA("SHLWAPI.DLL"));
        if (shlwapi) {
            const auto deleteTree = GetProcAddressAs<ShDeleteKeyProc>(shlwapi, "SHDeleteKeyA");
            if (deleteTree) deleteTree(HKEY_LOCAL_MACHINE, kProductTree);
        }
    }
    return RegDeleteKeyA(HKEY_LOCAL_MACHINE, kProductTree);
}
