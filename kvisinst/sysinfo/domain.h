// Domain-controller detection: the local server's information record from the LAN Manager server API
// and its server-type bits. NETAPI32.DLL is not linked (Windows 95/98 have none worth the name): its
// functions are looked up by name at run time, and when the record cannot be had the answer is 0.
//
// IsDomainController never lets an error out. When no level of the record can be read it judges an
// all-zero level-1 record instead; when even that cannot be allocated, or the record cannot be
// released afterwards, the answer is 0 - no domain controller, the answer for a record that says
// nothing. Whatever an allocation handed back, even a failing one, is freed on the way out
// (CServerInfo's destructor); a record whose release failed is not tried again.
//
// The two libraries FindFunc loads ("NETAPI32.dll", and "ADVAPI32.dll" for what NETAPI32 lacks) are
// loaded once per process and kept, never freed; the handles are plain process-wide variables, since
// the library is called from one setup thread at a time.
#pragma once

#include "kvisinst/common/win32.h"

// The local (or named) server's information record, as NetServerGetInfo hands it out.
class CServerInfo {
public:
    explicit CServerInfo(const char* serverName = nullptr) : serverName_(serverName) {}
    ~CServerInfo();
    CServerInfo(const CServerInfo&) = delete;
    CServerInfo& operator=(const CServerInfo&) = delete;

    // Asks for level 102, then 101, then 1, until one answers. Raises the HRESULT form of the last
    // level's status when none does.
    void Query();
    // A level-1 record of zeros from AllocNetBuffer, in place of one that could not be read; its
    // server type is 0. Raises the HRESULT form of a failed allocation's status.
    void UseBlankRecord();
    // The record's server type, read through the layout of its level (level 102 shares 101's).
    DWORD ServerType() const;
    // Releases the record with FreeNetBuffer. Raises the HRESULT form of a nonzero status.
    void Free();

private:
    const char* serverName_;
    LPBYTE record_ = nullptr;
    DWORD level_ = 102;
    DWORD status_ = 0;
};

// The address of the named network-API function: NETAPI32's, else ADVAPI32's; null when neither
// library loads or has it. Traced as "FindFunc". Only the NT family asks.
FARPROC FindFunc(const char* name);

// NetServerGetInfo(server name in wide form, level, record out), found with FindFunc. Its status, or
// NERR_InternalError (2140) when the function is missing or anything is raised or thrown.
NET_API_STATUS GetServerInfo(const char* serverName, DWORD level, LPBYTE* record);

// A buffer of `size` bytes that FreeNetBuffer releases: NetApiBufferAllocate's, else LocalAlloc's
// (zeroed). 0, the allocator's error status, or NERR_InternalError.
NET_API_STATUS AllocNetBuffer(DWORD size, LPVOID* record);
// Releases a record: NetApiBufferFree's status, else LocalFree's (0). NERR_InternalError when
// anything is thrown.
NET_API_STATUS FreeNetBuffer(LPVOID record);

// Forgets the libraries FindFunc loaded, as a fresh load of KVISINST.DLL starts with none. Called at
// process attach (and so for each simulated machine of the host build, whose loaded modules belong to
// the machine they were loaded on).
void ForgetNetworkLibraries();
