// IsDomainController and the network API it reaches by name.
#include "kvisinst/sysinfo/domain.h"

#include "kvisinst/common/error.h"
#include "kvisinst/common/handle.h"
#include "kvisinst/common/strconv.h"
#include "kvisinst/exports.h"
#include "kvisinst/trace/trace.h"

#include <cstring>

namespace {

typedef NET_API_STATUS(WINAPI* NetServerGetInfoProc)(LMSTR, DWORD, LPBYTE*);
typedef NET_API_STATUS(WINAPI* NetApiBufferAllocateProc)(DWORD, LPVOID*);
typedef NET_API_STATUS(WINAPI* NetApiBufferFreeProc)(LPVOID);

// The LAN Manager 2 server record of level 1, as svrapi.h lays it out; svrapi.h itself cannot join
// lmserver.h, which declares NetServerGetInfo in its 32-bit form where svrapi.h has the 16-bit one.
struct server_info_1 {
    char sv1_name[CNLEN + 1];
    unsigned char sv1_version_major;
    unsigned char sv1_version_minor;
    DWORD sv1_type;
    char* sv1_comment;
};

constexpr DWORD kDomainControllerTypes = SV_TYPE_DOMAIN_CTRL | SV_TYPE_DOMAIN_BAKCTRL;
// The levels asked for, richest first.
const DWORD kLevels[] = {102, 101, 1};

HMODULE g_netApiLibrary = nullptr;
HMODULE g_advApiLibrary = nullptr;

// GetProcAddress in `library`, loading it first when this process has not yet. Raises the last error
// when it cannot be loaded.
FARPROC FindIn(HMODULE& library, const char* libraryName, const char* name) {
    if (!library) {
        library = LoadLibraryA(libraryName);
        if (!library) RaiseLastError();
    }
    return GetProcAddress(library, name);
}

template <typename F>
F FindFuncAs(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(FindFunc(name)));
}

}  // namespace

FARPROC FindFunc(const char* name) {
    try {
        TraceScope scope("FindFunc");
        FARPROC address = FindIn(g_netApiLibrary, "NETAPI32.dll", name);
        if (address) return address;
        address = FindIn(g_advApiLibrary, "ADVAPI32.dll", name);
        if (!address) RaiseLastError();
        return address;
    } catch (...) {
        return nullptr;
    }
}

void ForgetNetworkLibraries() {
    g_netApiLibrary = nullptr;
    g_advApiLibrary = nullptr;
}

NET_API_STATUS GetServerInfo(const char* serverName, DWORD level, LPBYTE* record) {
    try {
        const auto getInfo = FindFuncAs<NetServerGetInfoProc>("NetServerGetInfo");
        if (!getInfo) RaiseLastError();
        const CWideText wideName = ToWide(serverName);
        return getInfo(serverName ? const_cast<LMSTR>(wideName.c_str()) : nullptr, level, record);
    } catch (...) {
        return NERR_InternalError;
    }
}

NET_API_STATUS AllocNetBuffer(DWORD size, LPVOID* record) {
    try {
        const auto allocate = FindFuncAs<NetApiBufferAllocateProc>("NetApiBufferAllocate");
        if (allocate) return allocate(size, record);
        *record = LocalAlloc(LPTR, size);
        return *record ? NERR_Success : NERR_InternalError;
    } catch (...) {
        return NERR_InternalError;
    }
}

NET_API_STATUS FreeNetBuffer(LPVOID record) {
    try {
        const auto release = FindFuncAs<NetApiBufferFreeProc>("NetApiBufferFree");
        if (release) return release(record);
        LocalFree(record);
        return NERR_Success;
    } catch (...) {
        return NERR_InternalError;
    }
}

CServerInfo::~CServerInfo() {
    if (record_) FreeNetBuffer(record_);
}

void CServerInfo::Query() {
    for (const DWORD level : kLevels) {
        level_ = level;
        status_ = GetServerInfo(serverName_, level, &record_);
        if (status_ == NERR_Success) return;
    }
    RaiseWin32Error(static_cast<LONG>(status_));
}

void CServerInfo::UseBlankRecord() {
    level_ = 1;
    LPVOID record = nullptr;
    status_ = AllocNetBuffer(sizeof(server_info_1), &record);
    record_ = static_cast<LPBYTE>(record);
    if (status_ != NERR_Success) RaiseWin32Error(static_cast<LONG>(status_));
    std::memset(record_, 0, sizeof(server_info_1));
}

DWORD CServerInfo::ServerType() const {
    if (level_ == 1) return reinterpret_cast<const server_info_1*>(record_)->sv1_type;
    return reinterpret_cast<const SERVER_INFO_101*>(record_)->sv101_type;
}

void CServerInfo::Free() {
    LPBYTE record = record_;
    record_ = nullptr;  // a release that fails is not tried again
    status_ = FreeNetBuffer(record);
    if (status_ != NERR_Success) RaiseWin32Error(static_cast<LONG>(status_));
}

int IsDomainController() {
    OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT) return 0;

    CServerInfo server;
    try {
        server.Query();
    } catch (...) {
        // No level could be read (NetServerGetInfo missing included): an all-zero level-1 record,
        // which is no domain controller's. When even that cannot be had the answer is 0 as well; the
        // destructor frees whatever the allocator handed back.
        try {
            server.UseBlankRecord();
        } catch (...) {
            return 0;
        }
    }
    const DWORD type = server.ServerType();
    try {
        server.Free();
    } catch (...) {
        // A record that could not be released says nothing reliable either.
        return 0;
    }
    return (type & kDomainControllerTypes) != 0 ? 1 : 0;
}
