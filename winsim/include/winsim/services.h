// The simulated service control manager's database, as tests and kvsim see it: which services
// exist, their configuration and state, and the script that says how each one behaves when it is
// started or asked to stop. The Win32 side (OpenSCManagerA, CreateServiceA, ...) is declared in
// api/advapi32_svc.h and works on the current machine's database.
//
// winsim runs no service image: whether a start succeeds and how long a stop takes is the script's
// to say (a service with no script starts and stops at once). The image must be there, though: as
// on Windows NT, a start - by StartServiceA or at a restart - fails with ERROR_FILE_NOT_FOUND (2),
// the service staying stopped, when the file its ImagePath names is not on the machine's drives. A
// Win32 service's path is a command line read as CreateProcessA reads one; a driver's path is read in
// the kernel loader's forms ("\??\C:\...", "\SystemRoot\...", relative to the Windows directory)
// or as a drive path; %SystemRoot%, %windir% and %SystemDrive% are expanded in both (services_internal.h,
// ServiceImageFile). A share-process service joining a process that already runs for another service
// of the same path needs no file. Where winsim does less: any file that exists will do (Windows would
// refuse one that is not an image of the service's kind), whether or not programs.txt describes it; a
// missing folder gives ERROR_FILE_NOT_FOUND too; other object-manager paths (\Device\...) are never
// found; and the failed start leaves the service's dwWin32ExitCode as it was.
//
// On the NT family the database is mirrored into the registry as the service control manager keeps
// it, under HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\<name> (Type, Start, ErrorControl,
// ImagePath, DisplayName, ObjectName, Group, DependOnService, DependOnGroup, and DeleteFlag once the
// service is marked for deletion), so that what a caller changes shows in the registry too. The
// mirror is written, never read: the database is the truth about services. The text form is the
// services.txt of a machine folder (services_text.cpp).
#pragma once

#include <winsim/types.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

class Machine;

// How one service answers.
struct ServiceScript {
    enum class Start {
        Runs,   // StartService succeeds and the service is running
        Fails,  // StartService fails with `startError`
    };
    enum class Stop {
        AtOnce,        // the stop request leaves it stopped
        AfterQueries,  // it stays stop-pending for `stopQueries` status queries, then is stopped
        Never,         // it stays stop-pending for ever
        Refuses,       // it does not accept the stop control (ERROR_INVALID_SERVICE_CONTROL)
    };
    Start start = Start::Runs;
    DWORD startError = 1053;  // ERROR_SERVICE_REQUEST_TIMEOUT: what a service that never reports gives
    Stop stop = Stop::AtOnce;
    unsigned stopQueries = 0;
};

struct ServiceConfig {
    std::string name;         // the key name, as created (compared without regard to case)
    std::string displayName;  // the name itself when none was given
    DWORD type = 0x1;         // SERVICE_KERNEL_DRIVER, ... with SERVICE_INTERACTIVE_PROCESS
    DWORD startType = 0x3;    // SERVICE_DEMAND_START
    DWORD errorControl = 0x1; // SERVICE_ERROR_NORMAL
    std::string imagePath;
    std::string group;        // load-order group, empty for none
    // What the service depends on, in the order given: service names, and load-order groups
    // prefixed with '+' as in CreateServiceA's list.
    std::vector<std::string> dependencies;
    std::string account;      // "LocalSystem" for Win32 services; empty for drivers
};

struct ServiceRecord {
    ServiceConfig config;
    DWORD state = 0x1;              // SERVICE_STOPPED, SERVICE_RUNNING, SERVICE_STOP_PENDING
    unsigned pendingQueries = 0;    // stop-pending: status queries left before it is stopped
    bool markedForDelete = false;
    ServiceScript script;
    size_t openHandles = 0;
};

// What happened to a service, in the order it happened: kvsim shows these as a call's changes.
struct ServiceEvent {
    enum class Kind { Created, Started, StartFailed, StopRequested, Stopped, MarkedForDelete, Deleted };
    Kind kind;
    std::string name;
    DWORD error = 0;  // StartFailed: the error StartService returned
};
const char* ServiceEventName(ServiceEvent::Kind kind);  // "created", "started", ...

class ServiceDatabase {
public:
    explicit ServiceDatabase(Machine& machine);
    ~ServiceDatabase();
    ServiceDatabase(const ServiceDatabase&) = delete;
    ServiceDatabase& operator=(const ServiceDatabase&) = delete;

    // Every service, in the order they were created.
    std::vector<ServiceRecord> List() const;
    std::optional<ServiceRecord> Find(std::string_view name) const;

    // Adds a service as if it had been created earlier, in the given state, mirrored into this
    // database's machine's registry as CreateServiceA would. False when a service of that name exists.
    bool Install(const ServiceConfig& config, DWORD state = 0x1);

    // Sets the script of a service by name, whether or not the service exists yet: a service created
    // later under that name behaves by it.
    void SetScript(std::string_view name, const ServiceScript& script);
    ServiceScript ScriptOf(std::string_view name) const;

    // Puts an existing service into a state (SERVICE_STOPPED, SERVICE_RUNNING, SERVICE_STOP_PENDING).
    bool SetState(std::string_view name, DWORD state);

    // The service manager's side of a restart: every service stops with the system (a Stopped event
    // for each that was not stopped), the handles open on them end with the programs that held
    // them, services marked for deletion are deleted, and the boot-, system- and auto-start services
    // start again in that order, each after what it depends on and as its script says.
    void Restart();

    std::vector<ServiceEvent> Events() const;
    void ClearEvents();

    // The database as text, for a machine folder: one "[service NAME]" section per service with its
    // configuration, state and script, and a "[script NAME]" section per script of a service that
    // does not exist. Loading replaces the database (the registry is not touched); on a damaged text
    // it returns false with the line's number and fault in `error` and leaves the database as it was.
    std::string SaveText() const;
    bool LoadText(std::string_view text, std::string* error);

    struct Impl;
    Impl& impl() { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

// Open SC_HANDLEs (manager and service handles) of the process: tests use it to prove that a call
// closed what it opened.
size_t OpenServiceHandleCount();

}  // namespace winsim
