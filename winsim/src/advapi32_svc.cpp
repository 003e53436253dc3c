// advapi32: the service control manager's SC_HANDLE calls (winsvc.h) over the current machine's
// service database (services.cpp).
//
// Where this does less than Windows: no service image is run (the script decides how a service
// starts and stops, once its file is found: a missing one fails the start with ERROR_FILE_NOT_FOUND,
// see services.h); the caller is always an administrator (every access asked for is granted, and
// checked afterwards on each call as Windows checks it); only LocalSystem runs Win32 services; the
// service lock, pausing, and configuration changes are not offered; a start completes at once
// (no start-pending phase).
#include "services_internal.h"

#include <algorithm>
#include <cstring>

namespace winsim {

namespace {

constexpr DWORD kDeleteAccess = DELETE;
constexpr DWORD kGenericRead = 0x80000000;
constexpr DWORD kGenericWrite = 0x40000000;
constexpr DWORD kGenericExecute = 0x20000000;
constexpr DWORD kGenericAll = 0x10000000;

DWORD MapGenericAccess(DWORD access, bool manager) {
    const DWORD all = manager ? SC_MANAGER_ALL_ACCESS : SERVICE_ALL_ACCESS;
    if (access & (MAXIMUM_ALLOWED | kGenericAll)) access |= all;
    if (access & kGenericRead)
        access |= manager ? (STANDARD_RIGHTS_READ | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS)
                          : (STANDARD_RIGHTS_READ | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS |
                             SERVICE_INTERROGATE | SERVICE_ENUMERATE_DEPENDENTS);
    if (access & kGenericWrite)
        access |= manager ? (STANDARD_RIGHTS_WRITE | SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG)
                          : (STANDARD_RIGHTS_WRITE | SERVICE_CHANGE_CONFIG);
    if (access & kGenericExecute)
        access |= manager ? (STANDARD_RIGHTS_EXECUTE | SC_MANAGER_CONNECT | SC_MANAGER_LOCK)
                          : (STANDARD_RIGHTS_EXECUTE | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE |
                             SERVICE_USER_DEFINED_CONTROL);
    return access & all;
}

struct ScHandleRecord {
    ServiceDatabase::Impl* db;
    std::shared_ptr<ServiceEntry> service;  // null for a manager handle
    DWORD access;
};

std::map<ULONG_PTR, ScHandleRecord> g_handles;
// Apart from kernel handles (which start at 0x1000) so that one is never taken for the other.
ULONG_PTR g_nextHandle = 0x5C0000;

SC_HANDLE AddScHandle(ServiceDatabase::Impl* db, std::shared_ptr<ServiceEntry> service, DWORD access) {
    const ULONG_PTR value = g_nextHandle;
    g_nextHandle += 8;
    if (service) ++service->handles;
    g_handles[value] = {db, std::move(service), access};
    return reinterpret_cast<SC_HANDLE>(value);
}

// The record behind a handle of the wanted kind holding `access`; sets the error Windows gives and
// returns nullptr otherwise.
ScHandleRecord* Lookup(SC_HANDLE handle, bool wantService, DWORD access) {
    auto it = g_handles.find(reinterpret_cast<ULONG_PTR>(handle));
    if (it == g_handles.end() || (it->second.service != nullptr) != wantService) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if ((it->second.access & access) != access) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return &it->second;
}

bool NoServicesHere() {
    // Windows 95 and 98 have the entry points but no service control manager.
    if (IsNtFamily(Current().Version())) return false;
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return true;
}

}  // namespace

}  // namespace winsim

using winsim::ScHandleRecord;
using winsim::ServiceEntry;
using winsim::ServiceEvent;

SC_HANDLE OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName, DWORD desiredAccess) {
    std::lock_guard<std::recursive_mutex> lock(winsim::ServicesLock());
    if (winsim::NoServicesHere()) return nullptr;
    // Only the local machine is simulated; another computer's name is one no server answers for.
    if (machineName && *machineName) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return nullptr;
    }
    if (databaseName && lstrcmpiA(databaseName, SERVICES_ACTIVE_DATABASEA) != 0) {
        SetLastError(ERROR_DATABASE_DOES_NOT_EXIST);
        return nullptr;
    }
    auto& db = winsim::Current().Services().impl();
    // Every process may connect; the rest of the access is the administrator's, which the
    // simulated caller is.
    return winsim::AddScHandle(&db, nullptr, winsim::MapGenericAccess(desiredAccess, true) | SC_MANAGER_CONNECT);
}

SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR serviceName, LPCSTR displayName, DWORD desiredAccess,
                         DWORD serviceType, DWORD startType, DWORD errorControl, LPCSTR binaryPathName,
                         LPCSTR loadOrderGroup, LPDWORD tagId, LPCSTR dependencies, LPCSTR serviceStartName,
                         LPCSTR /*password*/) {
    std::lock_guard<std::recursive_mutex> lock(winsim::ServicesLock());
    if (winsim::NoServicesHere()) return nullptr;
    ScHandleRecord* h = winsim::Lookup(manager, false, SC_MANAGER_CREATE_SERVICE);
    if (!h) return nullptr;
    auto& db = *h->db;
    if (!winsim::ValidServiceName(serviceName) ||
        (displayName && std::strlen(displayName) > winsim::kMaxServiceName)) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    const DWORD base = serviceType & ~SERVICE_INTERACTIVE_PROCESS;
    const bool driver = base == SERVICE_KERNEL_DRIVER || base == SERVICE_FILE_SYSTEM_DRIVER;
    const bool win32 = base == SERVICE_WIN32_OWN_PROCESS || base == SERVICE_WIN32_SHARE_PROCESS;
    const bool interactive = (serviceType & SERVICE_INTERACTIVE_PROCESS) != 0;
    // Boot and system start are for drivers; an interactive service is a Win32 service.
    if ((!driver && !win32) || (interactive && !win32) || startType > SERVICE_DISABLED ||
        (win32 && startType < SERVICE_AUTO_START) || errorControl > SERVICE_ERROR_CRITICAL || !binaryPathName ||
        !*binaryPathName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (win32 && serviceStartName && lstrcmpiA(serviceStartName, "LocalSystem") != 0) {
        // No user accounts are simulated: only LocalSystem can run a Win32 service here.
        SetLastError(ERROR_INVALID_SERVICE_ACCOUNT);
        return nullptr;
    }
    if (auto existing = db.Find(serviceName)) {
        SetLastError(existing->marked ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS);
        return nullptr;
    }
    const std::string display = displayName && *displayName ? displayName : serviceName;
    for (const auto& s : db.services)
        if (winsim::SameName(s->config.name, display) || winsim::SameName(s->config.displayName, display) ||
            winsim::SameName(s->config.displayName, serviceName)) {
            SetLastError(ERROR_DUPLICATE_SERVICE_NAME);
            return nullptr;
        }
    std::vector<std::string> deps;
    for (LPCSTR d = dependencies; d && *d; d += std::strlen(d) + 1) deps.emplace_back(d);
    if (db.ClosesLoop(serviceName, deps)) {
        SetLastError(ERROR_CIRCULAR_DEPENDENCY);
        return nullptr;
    }

    auto e = std::make_shared<ServiceEntry>();
    e->config.name = serviceName;
    e->config.displayName = display;
    e->config.type = serviceType;
    e->config.startType = startType;
    e->config.errorControl = errorControl;
    e->config.imagePath = binaryPathName;
    e->config.group = loadOrderGroup ? loadOrderGroup : "";
    e->config.dependencies = deps;
    e->config.account = win32 ? "LocalSystem" : (serviceStartName ? serviceStartName : "");
    if (tagId) *tagId = 0;  // tags order boot and system drivers only, which are never started here
    db.services.push_back(e);
    db.MirrorCreate(e->config);
    db.Event(ServiceEvent::Kind::Created, *e);
    return winsim::AddScHandle(&db, e, winsim::MapGenericAccess(desiredAccess, false));
}

SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR serviceName, DWORD desiredAccess) {
    std::lock_guard<std::recursive_mutex> lock(winsim::ServicesLock());
    if (winsim::NoServicesHere()) return nullptr;
    ScHandleRecord* h = winsim::Lookup(manager, false, SC_MANAGER_CONNECT);
    if (!h) return nullptr;
    if (!winsim::ValidServiceName(serviceName)) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    auto e = h->db->Find(serviceName);
    if (!e) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    // A service marked for deletion can still be opened until it is gone.
    return winsim::AddScHandle(h->db, e, winsim::MapGenericAccess(desiredAccess, false));
}

BOOL StartServiceA(SC_HANDLE service, DWORD /*argCount*/, LPCSTR* /*args*/) {
    std::lock_guard<std::recursive_mutex> lock(winsim::ServicesLock());
    if (winsim::NoServicesHere()) return FALSE;
    ScHandleRecord* h = winsim::Lookup(service, true, SERVICE_START);
    if (!h) return FALSE;
    std::set<const ServiceEntry*> starting;
    const DWORD error = h->db->Start(h->service, starting);
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
    std::lock_guard<std::recursive_mutex> lock(winsim::ServicesLock());
    if (winsim::NoServicesHere()) return FALSE;
    DWORD access = 0;
    switch (control) {
    case SERVICE_CONTROL_STOP: access = SERVICE_STOP; break;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE: access = SERVICE_PAUSE_CONTINUE; break;
    case SERVICE_CONTROL_INTERROGATE: access = SERVICE_INTERROGATE; break;
    default:
        if (control < 128 || control > 255) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        access = SERVICE_USER_DEFINED_CONTROL;
    }
    ScHandleRecord* h = winsim::Lookup(service, true, access);
    if (!h) return FALSE;
    if (!status) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto& db = *h->db;
    ServiceEntry& e = *h->service;
    auto fail = [&](DWORD error) {
        *status = db.Status(e);
        SetLastError(error);
        return FALSE;
    };
    if (e.state == SERVICE_STOPPED) return fail(ERROR_SERVICE_NOT_ACTIVE);
    if (e.state == SERVICE_STOP_PENDING) return fail(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    if (control == SERVICE_CONTROL_INTERROGATE) {
        *status = db.Status(e);
        return TRUE;
    }
    const winsim::ServiceScript script = db.Script(e);
    // The simulated services accept stop (unless scripted not to) and nothing else.
    if (control != SERVICE_CONTROL_STOP || script.stop == winsim::ServiceScript::Stop::Refuses)
        return fail(ERROR_INVALID_SERVICE_CONTROL);
    for (const auto& d : db.DirectDependents(e))
        if (d->state != SERVICE_STOPPED) {
            SetLastError(ERROR_DEPENDENT_SERVICES_RUNNING);
            return FALSE;
        }
    db.Event(ServiceEvent::Kind::StopRequested, e);
    if (script.stop == winsim::ServiceScript::Stop::AtOnce) {
        db.Stopped(e);
    } else {
        e.state = SERVICE_STOP_PENDING;
        e.pendingQueries = script.stopQueries;
    }
    *status = db.Status(e);
    return TRUE;
}

BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
    std::lock_guard<std::recursive_mutex> lock(winsim::ServicesLock());
    if (winsim::NoServicesHere()) return FALSE;
    ScHandleRecord* h = winsim::Lookup(service, true, SERVICE_QUERY_STATUS);
    if (!h) return FALSE;
    if (!status) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ServiceEntry& e = *h->service;
    if (e.state == SERVICE_STOP_PENDING && h->db->Script(e).stop != winsim::ServiceScript::Stop::Never) {
        if (e.pendingQueries > 0)
            --e.pendingQueries;
        else
            h->db->Stopped(e);
    }
    *status = h->db->Status(e);
    return TRUE;
}

BOOL QueryServiceConfigA(SC_HANDLE service, LPQUERY_SERVICE_CONFIGA config, DWORD bufSize, LPDWORD bytesNeeded) {
    std::lock_guard<std::recursive_mutex> lock(winsim::ServicesLock());
    if (winsim::NoServicesHere()) return FALSE;
    ScHandleRecord* h = winsim::Lookup(service, true, SERVICE_QUERY_CONFIG);
    if (!h) return FALSE;
    if (!bytesNeeded) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto& c = h->service->config;
    std::string deps;
    for (const auto& d : c.dependencies) deps += d + '\0';
    deps += '\0';
    const std::string* texts[] = {&c.imagePath, &c.group, &c.account, &c.displayName};
    DWORD needed = sizeof(QUERY_SERVICE_CONFIGA) + static_cast<DWORD>(deps.size());
    for (const auto* t : texts) needed += static_cast<DWORD>(t->size() + 1);
    *bytesNeeded = needed;
    if (!config || bufSize < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    char* p = reinterpret_cast<char*>(config + 1);
    auto put = [&](const std::string& text, size_t size) {
        std::memcpy(p, text.data(), size);
        char* at = p;
        p += size;
        return at;
    };
    config->dwServiceType = c.type;
    config->dwStartType = c.startType;
    config->dwErrorControl = c.errorControl;
    config->dwTagId = 0;
    config->lpBinaryPathName = put(c.imagePath, c.imagePath.size() + 1);
    config->lpLoadOrderGroup = put(c.group, c.group.size() + 1);
    config->lpDependencies = put(deps, deps.size());
    config->lpServiceStartName = put(c.account, c.account.size() + 1);
    config->lpDisplayName = put(c.displayName, c.displayName.size() + 1);
    return TRUE;
}

BOOL DeleteService(SC_HANDLE service) {
    std::lock_guard<std::recursive_mutex> lock(winsim::ServicesLock());
    if (winsim::NoServicesHere()) return FALSE;
    ScHandleRecord* h = winsim::Lookup(service, true, winsim::kDeleteAccess);
    if (!h) return FALSE;
    ServiceEntry& e = *h->service;
    if (e.marked) {
        SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
        return FALSE;
    }
    e.marked = true;
    h->db->MirrorMarked(e);
    h->db->Event(ServiceEvent::Kind::MarkedForDelete, e);
    return TRUE;
}

BOOL EnumDependentServicesA(SC_HANDLE service, DWORD serviceState, LPENUM_SERVICE_STATUSA services, DWORD bufSize,
                            LPDWORD bytesNeeded, LPDWORD servicesReturned) {
    std::lock_guard<std::recursive_mutex> lock(winsim::ServicesLock());
    if (winsim::NoServicesHere()) return FALSE;
    ScHandleRecord* h = winsim::Lookup(service, true, SERVICE_ENUMERATE_DEPENDENTS);
    if (!h) return FALSE;
    // Windows faults on missing out-pointers; a clear error serves a test better.
    if (!bytesNeeded || !servicesReturned || serviceState == 0 || (serviceState & ~SERVICE_STATE_ALL) ||
        (!services && bufSize)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<std::shared_ptr<ServiceEntry>> listed;
    for (const auto& d : h->db->AllDependents(*h->service)) {
        const bool active = d->state != SERVICE_STOPPED;
        if ((active && (serviceState & SERVICE_ACTIVE)) || (!active && (serviceState & SERVICE_INACTIVE)))
            listed.push_back(d);
    }
    DWORD needed = 0;
    for (const auto& d : listed)
        needed += static_cast<DWORD>(sizeof(ENUM_SERVICE_STATUSA) + d->config.name.size() + 1 +
                                     d->config.displayName.size() + 1);
    *bytesNeeded = needed;
    // Records from the front, their strings from the back, as many whole entries as fit.
    char* base = reinterpret_cast<char*>(services);
    size_t front = 0, back = bufSize;
    DWORD stored = 0;
    for (const auto& d : listed) {
        const size_t nameSize = d->config.name.size() + 1, displaySize = d->config.displayName.size() + 1;
        if (front + sizeof(ENUM_SERVICE_STATUSA) + nameSize + displaySize > back) break;
        back -= nameSize;
        std::memcpy(base + back, d->config.name.c_str(), nameSize);
        char* name = base + back;
        back -= displaySize;
        std::memcpy(base + back, d->config.displayName.c_str(), displaySize);
        services[stored].lpServiceName = name;
        services[stored].lpDisplayName = base + back;
        services[stored].ServiceStatus = h->db->Status(*d);
        front += sizeof(ENUM_SERVICE_STATUSA);
        ++stored;
    }
    *servicesReturned = stored;
    if (stored < listed.size()) {
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
    std::lock_guard<std::recursive_mutex> lock(winsim::ServicesLock());
    if (winsim::NoServicesHere()) return FALSE;
    auto it = winsim::g_handles.find(reinterpret_cast<ULONG_PTR>(handle));
    if (it == winsim::g_handles.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    ScHandleRecord record = std::move(it->second);
    winsim::g_handles.erase(it);
    if (record.service) {
        --record.service->handles;
        record.db->DeleteIfDue(record.service);
    }
    return TRUE;
}

namespace winsim {

size_t OpenServiceHandleCount() {
    std::lock_guard<std::recursive_mutex> lock(ServicesLock());
    return g_handles.size();
}

void ForgetServiceHandles(const ServiceDatabase::Impl* db) {
    std::lock_guard<std::recursive_mutex> lock(ServicesLock());
    for (auto it = g_handles.begin(); it != g_handles.end();)
        it = it->second.db == db ? g_handles.erase(it) : std::next(it);
}

}  // namespace winsim