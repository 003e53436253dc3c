// The service control manager's database of one machine, how its services start and stop, and its
// mirror in the registry. The SC_HANDLE calls are in advapi32_svc.cpp, the text form in
// services_text.cpp.
//
// No service image is run: the script (ServiceScript) decides how a service starts and stops, once
// its program or driver file is found on the machine's drives (ServiceImageFile).
#include "services_internal.h"

#include "files_internal.h"
#include "processes_internal.h"

#include <winsim/files.h>
#include <winsim/registry.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace winsim {

namespace {

const char kServicesKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\";

std::vector<BYTE> MultiString(const std::vector<std::string>& values) {
    std::vector<BYTE> data;
    for (const auto& v : values) {
        data.insert(data.end(), v.begin(), v.end());
        data.push_back(0);
    }
    data.push_back(0);
    return data;
}

// The variables of the service control manager's environment that a service's path may use; any
// other %NAME% stays as written, as ExpandEnvironmentStrings leaves an unknown one.
std::string ExpandSystemVariables(const Machine& machine, const std::string& path) {
    const std::string windows = machine.WindowsDirectory();
    const std::pair<const char*, std::string> variables[] = {
        {"%SystemRoot%", windows}, {"%windir%", windows}, {"%SystemDrive%", windows.substr(0, 2)}};
    std::string out;
    for (size_t i = 0; i < path.size();) {
        bool replaced = false;
        for (const auto& [name, value] : variables)
            if (StartsWithNoCase(std::string_view(path).substr(i), name)) {
                out += value;
                i += std::strlen(name);
                replaced = true;
                break;
            }
        if (!replaced) out += path[i++];
    }
    return out;
}

bool IsFileOn(Machine& machine, const std::string& fullPath) {
    std::error_code ec;
    return std::filesystem::is_regular_file(ResolveOn(machine, fullPath).host, ec);
}

// A driver's path in the forms the kernel's loader takes: "\??\C:\...", "\SystemRoot\...", a path
// relative to the Windows directory ("System32\drivers\x.sys"), or a drive path, which the service
// control manager keeps as its "\??\" form. Nothing for another object-manager path.
std::optional<std::string> DriverFile(const Machine& machine, std::string path) {
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
    const std::string windows = machine.WindowsDirectory();
    if (StartsWithNoCase(path, "\\??\\"))
        path = path.substr(4);
    else if (StartsWithNoCase(path, "\\SystemRoot\\"))
        path = windows + path.substr(11);
    else if (!path.empty() && (path[0] == '\\' || path[0] == '/'))
        return std::nullopt;
    else if (path.size() < 2 || path[1] != ':')
        path = windows + "\\" + path;
    return FullWindowsPath(path);
}

}  // namespace

std::optional<std::string> ServiceImageFile(Machine& machine, const ServiceConfig& config) {
    std::string path = ExpandSystemVariables(machine, config.imagePath);
    const DWORD base = config.type & ~SERVICE_INTERACTIVE_PROCESS;
    if (base == SERVICE_KERNEL_DRIVER || base == SERVICE_FILE_SYSTEM_DRIVER) {
        // A driver with no path is looked for under its own name in the drivers folder.
        if (path.empty()) path = "System32\\drivers\\" + config.name + ".sys";
        auto file = DriverFile(machine, path);
        return file && IsFileOn(machine, *file) ? file : std::nullopt;
    }
    // A Win32 service's path is a command line, started as services.exe (in the system directory)
    // starts it.
    return ProgramOfCommandLine(machine, path, machine.SystemDirectory());
}

std::recursive_mutex& ServicesLock() {
    static std::recursive_mutex lock;
    return lock;
}

bool ValidServiceName(const char* name) {
    if (!name || !*name || std::strlen(name) > kMaxServiceName) return false;
    return std::strpbrk(name, "\\/") == nullptr;
}

const char* ServiceEventName(ServiceEvent::Kind kind) {
    switch (kind) {
    case ServiceEvent::Kind::Created: return "created";
    case ServiceEvent::Kind::Started: return "started";
    case ServiceEvent::Kind::StartFailed: return "failed to start";
    case ServiceEvent::Kind::StopRequested: return "asked to stop";
    case ServiceEvent::Kind::Stopped: return "stopped";
    case ServiceEvent::Kind::MarkedForDelete: return "marked for deletion";
    case ServiceEvent::Kind::Deleted: return "deleted";
    }
    return "?";
}

std::shared_ptr<ServiceEntry> ServiceDatabase::Impl::Find(std::string_view name) const {
    for (const auto& s : services)
        if (SameName(s->config.name, name)) return s;
    return nullptr;
}

ServiceScript ServiceDatabase::Impl::Script(const ServiceEntry& e) const {
    auto it = scripts.find(UpperAscii(e.config.name));
    return it == scripts.end() ? ServiceScript{} : it->second;
}

void ServiceDatabase::Impl::Event(ServiceEvent::Kind kind, const ServiceEntry& e, DWORD error) {
    events.push_back({kind, e.config.name, error});
}

ServiceRecord ServiceDatabase::Impl::Record(const ServiceEntry& e) const {
    ServiceRecord r;
    r.config = e.config;
    r.state = e.state;
    r.pendingQueries = e.pendingQueries;
    r.markedForDelete = e.marked;
    r.script = Script(e);
    r.openHandles = e.handles;
    return r;
}

void ServiceDatabase::Impl::MirrorCreate(const ServiceConfig& c) {
    if (!IsNtFamily(machine.Version())) return;
    Registry& reg = machine.Reg();
    const std::string key = kServicesKey + c.name;
    reg.CreateKey(key);
    reg.SetDwordValue(key, "Type", c.type);
    reg.SetDwordValue(key, "Start", c.startType);
    reg.SetDwordValue(key, "ErrorControl", c.errorControl);
    reg.SetStringValue(key, "ImagePath", c.imagePath, REG_EXPAND_SZ);
    reg.SetStringValue(key, "DisplayName", c.displayName);
    if (!c.account.empty()) reg.SetStringValue(key, "ObjectName", c.account);
    if (!c.group.empty()) reg.SetStringValue(key, "Group", c.group);
    std::vector<std::string> onService, onGroup;
    for (const auto& d : c.dependencies) {
        if (!d.empty() && d[0] == SC_GROUP_IDENTIFIERA)
            onGroup.push_back(d.substr(1));
        else
            onService.push_back(d);
    }
    if (!onService.empty()) reg.SetValue(key, "DependOnService", REG_MULTI_SZ, MultiString(onService));
    if (!onGroup.empty()) reg.SetValue(key, "DependOnGroup", REG_MULTI_SZ, MultiString(onGroup));
}

void ServiceDatabase::Impl::MirrorMarked(const ServiceEntry& e) {
    const std::string key = kServicesKey + e.config.name;
    if (IsNtFamily(machine.Version()) && machine.Reg().KeyExists(key))
        machine.Reg().SetDwordValue(key, "DeleteFlag", 1);
}

void ServiceDatabase::Impl::MirrorDeleted(const ServiceEntry& e) {
    if (IsNtFamily(machine.Version())) machine.Reg().DeleteKey(kServicesKey + e.config.name);
}

void ServiceDatabase::Impl::DeleteIfDue(const std::shared_ptr<ServiceEntry>& e) {
    if (!e->marked || e->handles != 0 || e->state != SERVICE_STOPPED) return;
    auto it = std::find(services.begin(), services.end(), e);
    if (it == services.end()) return;
    services.erase(it);
    MirrorDeleted(*e);
    Event(ServiceEvent::Kind::Deleted, *e);
}

bool ServiceDatabase::Impl::DependsOn(const ServiceEntry& dependent, const ServiceEntry& on) const {
    for (const auto& d : dependent.config.dependencies) {
        if (!d.empty() && d[0] == SC_GROUP_IDENTIFIERA) {
            if (!on.config.group.empty() && SameName(d.substr(1), on.config.group)) return true;
        } else if (SameName(d, on.config.name)) {
            return true;
        }
    }
    return false;
}

std::vector<std::shared_ptr<ServiceEntry>> ServiceDatabase::Impl::DirectDependents(const ServiceEntry& e) const {
    std::vector<std::shared_ptr<ServiceEntry>> out;
    for (const auto& s : services)
        if (s.get() != &e && DependsOn(*s, e)) out.push_back(s);
    return out;
}

std::vector<std::shared_ptr<ServiceEntry>> ServiceDatabase::Impl::AllDependents(const ServiceEntry& e) const {
    std::set<const ServiceEntry*> found;
    std::vector<const ServiceEntry*> todo = {&e};
    while (!todo.empty()) {
        const ServiceEntry* next = todo.back();
        todo.pop_back();
        for (const auto& d : DirectDependents(*next))
            if (d.get() != &e && found.insert(d.get()).second) todo.push_back(d.get());
    }
    // Start order: repeatedly take, in database order, each service whose dependencies inside
    // the set have all been taken. A dependency loop (which creation refuses) ends the loop.
    std::vector<std::shared_ptr<ServiceEntry>> order;
    std::set<const ServiceEntry*> taken;
    bool progress = true;
    while (order.size() < found.size() && progress) {
        progress = false;
        for (const auto& s : services) {
            if (!found.count(s.get()) || taken.count(s.get())) continue;
            bool ready = true;
            for (const auto& other : services)
                if (other != s && found.count(other.get()) && !taken.count(other.get()) && DependsOn(*s, *other))
                    ready = false;
            if (!ready) continue;
            order.push_back(s);
            taken.insert(s.get());
            progress = true;
        }
    }
    std::reverse(order.begin(), order.end());
    return order;
}

bool ServiceDatabase::Impl::ClosesLoop(const std::string& name, const std::vector<std::string>& dependencies) const {
    std::set<std::string> seen;
    std::vector<std::string> todo;
    for (const auto& d : dependencies) todo.push_back(d);
    while (!todo.empty()) {
        const std::string d = todo.back();
        todo.pop_back();
        if (!seen.insert(UpperAscii(d)).second) continue;
        if (!d.empty() && d[0] == SC_GROUP_IDENTIFIERA) {
            for (const auto& s : services)
                if (SameName(s->config.group, d.substr(1)))
                    for (const auto& dd : s->config.dependencies) todo.push_back(dd);
            continue;
        }
        if (SameName(d, name)) return true;
        if (auto s = Find(d))
            for (const auto& dd : s->config.dependencies) todo.push_back(dd);
    }
    return false;
}

bool ServiceDatabase::Impl::ImageRunning(const ServiceEntry& e) const {
    if ((e.config.type & ~SERVICE_INTERACTIVE_PROCESS) != SERVICE_WIN32_SHARE_PROCESS) return false;
    for (const auto& s : services)
        if (s.get() != &e && s->state != SERVICE_STOPPED &&
            (s->config.type & ~SERVICE_INTERACTIVE_PROCESS) == SERVICE_WIN32_SHARE_PROCESS &&
            SameName(s->config.imagePath, e.config.imagePath))
            return true;
    return false;
}

DWORD ServiceDatabase::Impl::Start(const std::shared_ptr<ServiceEntry>& e, std::set<const ServiceEntry*>& starting) {
    if (e->marked) return ERROR_SERVICE_MARKED_FOR_DELETE;
    if (e->config.startType == SERVICE_DISABLED) return ERROR_SERVICE_DISABLED;
    if (e->state != SERVICE_STOPPED) return ERROR_SERVICE_ALREADY_RUNNING;
    starting.insert(e.get());
    for (const auto& d : e->config.dependencies) {
        if (!d.empty() && d[0] == SC_GROUP_IDENTIFIERA) {
            // A group is satisfied when at least one member runs after every member was tried.
            bool running = false;
            for (const auto& member : std::vector<std::shared_ptr<ServiceEntry>>(services)) {
                if (!SameName(member->config.group, d.substr(1)) || starting.count(member.get())) continue;
                if (member->state == SERVICE_STOPPED && !member->marked) Start(member, starting);
                if (member->state == SERVICE_RUNNING) running = true;
            }
            if (!running) return ERROR_SERVICE_DEPENDENCY_FAIL;
            continue;
        }
        auto dependency = Find(d);
        if (!dependency || dependency->marked) return ERROR_SERVICE_DEPENDENCY_DELETED;
        if (dependency->state == SERVICE_RUNNING) continue;
        if (starting.count(dependency.get())) return ERROR_CIRCULAR_DEPENDENCY;
        if (Start(dependency, starting) != 0) return ERROR_SERVICE_DEPENDENCY_FAIL;
    }
    if (!ImageRunning(*e) && !ServiceImageFile(machine, e->config)) {
        Event(ServiceEvent::Kind::StartFailed, *e, ERROR_FILE_NOT_FOUND);
        return ERROR_FILE_NOT_FOUND;
    }
    const ServiceScript script = Script(*e);
    if (script.start == ServiceScript::Start::Fails) {
        e->exitCode = script.startError;
        Event(ServiceEvent::Kind::StartFailed, *e, script.startError);
        return script.startError;
    }
    e->state = SERVICE_RUNNING;
    e->exitCode = 0;
    Event(ServiceEvent::Kind::Started, *e);
    return 0;
}

SERVICE_STATUS ServiceDatabase::Impl::Status(const ServiceEntry& e) const {
    SERVICE_STATUS s{};
    s.dwServiceType = e.config.type;
    s.dwCurrentState = e.state;
    if (e.state == SERVICE_RUNNING && Script(e).stop != ServiceScript::Stop::Refuses)
        s.dwControlsAccepted = SERVICE_ACCEPT_STOP;
    s.dwWin32ExitCode = e.exitCode;
    if (e.state == SERVICE_STOP_PENDING) s.dwWaitHint = 1000;
    return s;
}

void ServiceDatabase::Impl::Stopped(ServiceEntry& e) {
    e.state = SERVICE_STOPPED;
    e.pendingQueries = 0;
    Event(ServiceEvent::Kind::Stopped, e);
}

ServiceDatabase::ServiceDatabase(Machine& machine) : impl_(std::make_unique<Impl>(machine)) {}

ServiceDatabase::~ServiceDatabase() {
    // Handles still open on this machine's services can no longer be used.
    ForgetServiceHandles(impl_.get());
}

std::vector<ServiceRecord> ServiceDatabase::List() const {
    std::lock_guard<std::recursive_mutex> lock(ServicesLock());
    std::vector<ServiceRecord> out;
    for (const auto& s : impl_->services) out.push_back(impl_->Record(*s));
    return out;
}

std::optional<ServiceRecord> ServiceDatabase::Find(std::string_view name) const {
    std::lock_guard<std::recursive_mutex> lock(ServicesLock());
    auto e = impl_->Find(name);
    if (!e) return std::nullopt;
    return impl_->Record(*e);
}

bool ServiceDatabase::Install(const ServiceConfig& config, DWORD state) {
    std::lock_guard<std::recursive_mutex> lock(ServicesLock());
    if (config.name.empty() || impl_->Find(config.name)) return false;
    auto e = std::make_shared<ServiceEntry>();
    e->config = config;
    if (e->config.displayName.empty()) e->config.displayName = config.name;
    impl_->services.push_back(e);
    impl_->MirrorCreate(e->config);
    SetState(config.name, state);
    return true;
}

void ServiceDatabase::SetScript(std::string_view name, const ServiceScript& script) {
    std::lock_guard<std::recursive_mutex> lock(ServicesLock());
    impl_->scripts[UpperAscii(name)] = script;
}

ServiceScript ServiceDatabase::ScriptOf(std::string_view name) const {
    std::lock_guard<std::recursive_mutex> lock(ServicesLock());
    auto it = impl_->scripts.find(UpperAscii(name));
    return it == impl_->scripts.end() ? ServiceScript{} : it->second;
}

bool ServiceDatabase::SetState(std::string_view name, DWORD state) {
    std::lock_guard<std::recursive_mutex> lock(ServicesLock());
    auto e = impl_->Find(name);
    if (!e || (state != SERVICE_STOPPED && state != SERVICE_RUNNING && state != SERVICE_STOP_PENDING)) return false;
    e->state = state;
    e->pendingQueries = state == SERVICE_STOP_PENDING ? impl_->Script(*e).stopQueries : 0;
    // A marked service that stops on its own with no handle open goes at once, as on Windows.
    if (state == SERVICE_STOPPED) impl_->DeleteIfDue(e);
    return true;
}

void ServiceDatabase::Restart() {
    std::lock_guard<std::recursive_mutex> lock(ServicesLock());
    ForgetServiceHandles(impl_.get());
    for (const auto& e : std::vector<std::shared_ptr<ServiceEntry>>(impl_->services)) {
        e->handles = 0;
        if (e->state != SERVICE_STOPPED) impl_->Stopped(*e);
        impl_->DeleteIfDue(e);
    }
    for (DWORD start : {SERVICE_BOOT_START, SERVICE_SYSTEM_START, SERVICE_AUTO_START}) {
        for (const auto& e : std::vector<std::shared_ptr<ServiceEntry>>(impl_->services)) {
            if (e->config.startType != start || e->state != SERVICE_STOPPED) continue;
            std::set<const ServiceEntry*> starting;
            impl_->Start(e, starting);
        }
    }
}

std::vector<ServiceEvent> ServiceDatabase::Events() const {
    std::lock_guard<std::recursive_mutex> lock(ServicesLock());
    return impl_->events;
}

void ServiceDatabase::ClearEvents() {
    std::lock_guard<std::recursive_mutex> lock(ServicesLock());
    impl_->events.clear();
}

}  // namespace winsim
