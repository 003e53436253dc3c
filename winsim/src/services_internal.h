// The service database's inside, shared by services.cpp (the database and its registry mirror),
// services_text.cpp (services.txt) and advapi32_svc.cpp (the SC_HANDLE calls).
#pragma once

#include <winsim/machine.h>
#include <winsim/services.h>
#include <winsim/text.h>
#include <winsim/win32api.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

constexpr size_t kMaxServiceName = 256;  // service and display names, without the NUL

// One lock for every machine's database and the handle table: simulated threads may share a machine.
std::recursive_mutex& ServicesLock();

inline bool SameName(std::string_view a, std::string_view b) { return EqualsNoCase(a, b); }
// A name CreateServiceA accepts: 1 to 256 characters, no '/' or '\'.
bool ValidServiceName(const char* name);

struct ServiceEntry {
    ServiceConfig config;
    DWORD state = SERVICE_STOPPED;
    unsigned pendingQueries = 0;
    bool marked = false;
    size_t handles = 0;
    DWORD exitCode = 0;
};

struct ServiceDatabase::Impl {
    explicit Impl(Machine& m) : machine(m) {}

    Machine& machine;
    std::vector<std::shared_ptr<ServiceEntry>> services;  // creation order
    std::map<std::string, ServiceScript> scripts;          // by upper-case name
    std::vector<ServiceEvent> events;

    std::shared_ptr<ServiceEntry> Find(std::string_view name) const;
    ServiceScript Script(const ServiceEntry& e) const;
    void Event(ServiceEvent::Kind kind, const ServiceEntry& e, DWORD error = 0);
    ServiceRecord Record(const ServiceEntry& e) const;

    // The registry mirror, kept on the NT family only. It is written through the machine's own
    // Registry, so that a database changed while another machine is current mirrors into its own
    // machine's registry.
    void MirrorCreate(const ServiceConfig& c);
    void MirrorMarked(const ServiceEntry& e);
    void MirrorDeleted(const ServiceEntry& e);

    // A service marked for deletion goes once it is stopped and no handle refers to it.
    void DeleteIfDue(const std::shared_ptr<ServiceEntry>& e);

    bool DependsOn(const ServiceEntry& dependent, const ServiceEntry& on) const;
    std::vector<std::shared_ptr<ServiceEntry>> DirectDependents(const ServiceEntry& e) const;

    // Everything that depends on `e`, directly or through others, in the reverse of the order they
    // would be started in: a service comes before what it depends on, so stopping in this order
    // never meets a running dependent. Services at the same depth keep the database order, reversed.
    std::vector<std::shared_ptr<ServiceEntry>> AllDependents(const ServiceEntry& e) const;

    // Would a service named `name` depending on `dependencies` close a loop?
    bool ClosesLoop(const std::string& name, const std::vector<std::string>& dependencies) const;

    // A share-process service whose program already runs for another service of that program: it
    // joins that process, and its file is not looked for again.
    bool ImageRunning(const ServiceEntry& e) const;
    // Starts a stopped service after what it depends on; 0 or the Win32 error StartService gives:
    // ERROR_FILE_NOT_FOUND when its program or driver file is not there (ServiceImageFile).
    DWORD Start(const std::shared_ptr<ServiceEntry>& e, std::set<const ServiceEntry*>& starting);
    SERVICE_STATUS Status(const ServiceEntry& e) const;
    void Stopped(ServiceEntry& e);
};

// The file a service's program (a Win32 service) or driver is, found on the machine's drives as the
// service control manager and the kernel find it; nothing when there is no such file. %SystemRoot%,
// %windir% and %SystemDrive% are expanded first. A Win32 service's path is read as a command line
// (CreateProcessA's rules: a quoted first word, or the shortest run of words naming a file, ".exe"
// supplied, a bare name looked for in the system and Windows directories); a driver's path may be
// "\??\X:\...", "\SystemRoot\...", a drive path or a path relative to the Windows directory, and
// an empty one means System32\drivers\NAME.sys.
std::optional<std::string> ServiceImageFile(Machine& machine, const ServiceConfig& config);

// Forgets the SC_HANDLEs open on a database that goes away (advapi32_svc.cpp keeps the table).
void ForgetServiceHandles(const ServiceDatabase::Impl* db);

}  // namespace winsim
