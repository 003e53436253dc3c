// The service control manager: its database per machine, SC_HANDLEs, the winsvc calls, the registry
// mirror and the text form kept in a machine folder.
//
// Where this does less than Windows: no service image is run (the script decides how a service
// starts and stops); the caller is always an administrator (every access asked for is granted, and
// checked afterwards on each call as Windows checks it); only LocalSystem runs Win32 services; the
// service lock, pausing, and configuration changes are not offered; a start completes at once
// (no start-pending phase).
#include <winsim/machine.h>
#include <winsim/services.h>
#include <winsim/win32api.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

namespace winsim {

namespace {

constexpr size_t kMaxServiceName = 256;  // service and display names, without the NUL
constexpr DWORD kDeleteAccess = DELETE;
constexpr DWORD kGenericRead = 0x80000000;
constexpr DWORD kGenericWrite = 0x40000000;
constexpr DWORD kGenericExecute = 0x20000000;
constexpr DWORD kGenericAll = 0x10000000;
const char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services\\";

std::recursive_mutex g_lock;

std::string Upper(std::string_view text) {
    std::string out(text);
    for (auto& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool SameName(std::string_view a, std::string_view b) { return Upper(a) == Upper(b); }

struct ServiceEntry {
    ServiceConfig config;
    DWORD state = SERVICE_STOPPED;
    unsigned pendingQueries = 0;
    bool marked = false;
    size_t handles = 0;
    DWORD exitCode = 0;
};

// Keeps the thread's last error across the registry calls of the mirror, which are bookkeeping and
// must not change what the service call itself reports.
class LastErrorKeeper {
public:
    LastErrorKeeper() : saved_(GetLastError()) {}
    ~LastErrorKeeper() { SetLastError(saved_); }

private:
    DWORD saved_;
};

void DeleteRegTree(HKEY parent, const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    // Names first, deletions after: deleting while enumerating would shift the indexes.
    std::vector<std::string> children;
    char child[kMaxServiceName + 1];
    DWORD size = sizeof child;
    for (DWORD i = 0; RegEnumKeyExA(key, i, child, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, size = sizeof child)
        children.emplace_back(child);
    for (const auto& c : children) DeleteRegTree(key, c);
    RegCloseKey(key);
    RegDeleteKeyA(parent, name.c_str());
}

void SetDword(HKEY key, const char* name, DWORD value) {
    BYTE data[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
                    static_cast<BYTE>(value >> 24)};
    RegSetValueExA(key, name, 0, REG_DWORD, data, 4);
}

void SetString(HKEY key, const char* name, DWORD type, const std::string& value) {
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
}

void SetMultiString(HKEY key, const char* name, const std::vector<std::string>& values) {
    std::string data;
    for (const auto& v : values) data += v + '\0';
    data += '\0';
    RegSetValueExA(key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size()));
}

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

}  // namespace

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

struct ServiceDatabase::Impl {
    explicit Impl(Machine& m) : machine(m) {}

    Machine& machine;
    std::vector<std::shared_ptr<ServiceEntry>> services;  // creation order
    std::map<std::string, ServiceScript> scripts;          // by upper-case name
    std::vector<ServiceEvent> events;

    std::shared_ptr<ServiceEntry> Find(std::string_view name) const {
        for (const auto& s : services)
            if (SameName(s->config.name, name)) return s;
        return nullptr;
    }

    ServiceScript Script(const ServiceEntry& e) const {
        auto it = scripts.find(Upper(e.config.name));
        return it == scripts.end() ? ServiceScript{} : it->second;
    }

    void Event(ServiceEvent::Kind kind, const ServiceEntry& e, DWORD error = 0) {
        events.push_back({kind, e.config.name, error});
    }

    ServiceRecord Record(const ServiceEntry& e) const {
        ServiceRecord r;
        r.config = e.config;
        r.state = e.state;
        r.pendingQueries = e.pendingQueries;
        r.markedForDelete = e.marked;
        r.script = Script(e);
        r.openHandles = e.handles;
        return r;
    }

    // The registry mirror is kept on the NT family only, and only for the machine the Reg* calls
    // act on.
    bool Mirrors() const { return IsNtFamily(machine.Version()) && HasCurrent() && &Current() == &machine; }

    void MirrorCreate(const ServiceConfig& c) {
        if (!Mirrors()) return;
        LastErrorKeeper keep;
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kServicesKey + c.name).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return;
        SetDword(key, "Type", c.type);
        SetDword(key, "Start", c.startType);
        SetDword(key, "ErrorControl", c.errorControl);
        SetString(key, "ImagePath", REG_EXPAND_SZ, c.imagePath);
        SetString(key, "DisplayName", REG_SZ, c.displayName);
        if (!c.account.empty()) SetString(key, "ObjectName", REG_SZ, c.account);
        if (!c.group.empty()) SetString(key, "Group", REG_SZ, c.group);
        std::vector<std::string> onService, onGroup;
        for (const auto& d : c.dependencies) {
            if (!d.empty() && d[0] == SC_GROUP_IDENTIFIERA)
                onGroup.push_back(d.substr(1));
            else
                onService.push_back(d);
        }
        if (!onService.empty()) SetMultiString(key, "DependOnService", onService);
        if (!onGroup.empty()) SetMultiString(key, "DependOnGroup", onGroup);
        RegCloseKey(key);
    }

    void MirrorMarked(const ServiceEntry& e) {
        if (!Mirrors()) return;
        LastErrorKeeper keep;
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kServicesKey + e.config.name).c_str(), 0, KEY_ALL_ACCESS, &key) !=
            ERROR_SUCCESS)
            return;
        SetDword(key, "DeleteFlag", 1);
        RegCloseKey(key);
    }

    void MirrorDeleted(const ServiceEntry& e) {
        if (!Mirrors()) return;
        LastErrorKeeper keep;
        DeleteRegTree(HKEY_LOCAL_MACHINE, kServicesKey + e.config.name);
    }

    // A service marked for deletion goes once it is stopped and no handle refers to it.
    void DeleteIfDue(const std::shared_ptr<ServiceEntry>& e) {
        if (!e->marked || e->handles != 0 || e->state != SERVICE_STOPPED) return;
        auto it = std::find(services.begin(), services.end(), e);
        if (it == services.end()) return;
        services.erase(it);
        MirrorDeleted(*e);
        Event(ServiceEvent::Kind::Deleted, *e);
    }

    bool DependsOn(const ServiceEntry& dependent, const ServiceEntry& on) const {
        for (const auto& d : dependent.config.dependencies) {
            if (!d.empty() && d[0] == SC_GROUP_IDENTIFIERA) {
                if (!on.config.group.empty() && SameName(d.substr(1), on.config.group)) return true;
            } else if (SameName(d, on.config.name)) {
                return true;
            }
        }
        return false;
    }

    std::vector<std::shared_ptr<ServiceEntry>> DirectDependents(const ServiceEntry& e) const {
        std::vector<std::shared_ptr<ServiceEntry>> out;
        for (const auto& s : services)
            if (s.get() != &e && DependsOn(*s, e)) out.push_back(s);
        return out;
    }

    // Everything that depends on `e`, directly or through others, in the reverse of the order they
    // would be started in: a service comes before what it depends on, so stopping in this order
    // never meets a running dependent. Services at the same depth keep the database order, reversed.
    std::vector<std::shared_ptr<ServiceEntry>> AllDependents(const ServiceEntry& e) const {
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

    // Would a service named `name` depending on `dependencies` close a loop?
    bool ClosesLoop(const std::string& name, const std::vector<std::string>& dependencies) const {
        std::set<std::string> seen;
        std::vector<std::string> todo;
        for (const auto& d : dependencies) todo.push_back(d);
        while (!todo.empty()) {
            const std::string d = todo.back();
            todo.pop_back();
            if (!seen.insert(Upper(d)).second) continue;
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

    // Starts a stopped service after what it depends on; 0 or the Win32 error StartService gives.
    DWORD Start(const std::shared_ptr<ServiceEntry>& e, std::set<const ServiceEntry*>& starting) {
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

    SERVICE_STATUS Status(const ServiceEntry& e) const {
        SERVICE_STATUS s{};
        s.dwServiceType = e.config.type;
        s.dwCurrentState = e.state;
        if (e.state == SERVICE_RUNNING && Script(e).stop != ServiceScript::Stop::Refuses)
            s.dwControlsAccepted = SERVICE_ACCEPT_STOP;
        s.dwWin32ExitCode = e.exitCode;
        if (e.state == SERVICE_STOP_PENDING) s.dwWaitHint = 1000;
        return s;
    }

    void Stopped(ServiceEntry& e) {
        e.state = SERVICE_STOPPED;
        e.pendingQueries = 0;
        Event(ServiceEvent::Kind::Stopped, e);
    }
};

namespace {

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

bool ValidName(LPCSTR name) {
    if (!name || !*name || std::strlen(name) > kMaxServiceName) return false;
    return std::strpbrk(name, "\\/") == nullptr;
}

std::string Trim(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
    return std::string(text.substr(b, e - b));
}

}  // namespace

ServiceDatabase::ServiceDatabase(Machine& machine) : impl_(std::make_unique<Impl>(machine)) {}

ServiceDatabase::~ServiceDatabase() {
    // Handles still open on this machine's services can no longer be used.
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    for (auto it = g_handles.begin(); it != g_handles.end();)
        it = it->second.db == impl_.get() ? g_handles.erase(it) : std::next(it);
}

std::vector<ServiceRecord> ServiceDatabase::List() const {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    std::vector<ServiceRecord> out;
    for (const auto& s : impl_->services) out.push_back(impl_->Record(*s));
    return out;
}

std::optional<ServiceRecord> ServiceDatabase::Find(std::string_view name) const {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    auto e = impl_->Find(name);
    if (!e) return std::nullopt;
    return impl_->Record(*e);
}

bool ServiceDatabase::Install(const ServiceConfig& config, DWORD state) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
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
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    impl_->scripts[Upper(name)] = script;
}

ServiceScript ServiceDatabase::ScriptOf(std::string_view name) const {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    auto it = impl_->scripts.find(Upper(name));
    return it == impl_->scripts.end() ? ServiceScript{} : it->second;
}

bool ServiceDatabase::SetState(std::string_view name, DWORD state) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    auto e = impl_->Find(name);
    if (!e || (state != SERVICE_STOPPED && state != SERVICE_RUNNING && state != SERVICE_STOP_PENDING)) return false;
    e->state = state;
    e->pendingQueries = state == SERVICE_STOP_PENDING ? impl_->Script(*e).stopQueries : 0;
    // A marked service that stops on its own with no handle open goes at once, as on Windows.
    if (state == SERVICE_STOPPED) impl_->DeleteIfDue(e);
    return true;
}

std::vector<ServiceEvent> ServiceDatabase::Events() const {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    return impl_->events;
}

void ServiceDatabase::ClearEvents() {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    impl_->events.clear();
}

// ---- Text form -------------------------------------------------------------------------------

namespace {

const char* StateWord(DWORD state) {
    switch (state) {
    case SERVICE_RUNNING: return "running";
    case SERVICE_STOP_PENDING: return "stop-pending";
    default: return "stopped";
    }
}

std::string StartWord(const ServiceScript& s) {
    if (s.start == ServiceScript::Start::Runs) return "runs";
    return "fails " + std::to_string(s.startError);
}

std::string StopWord(const ServiceScript& s) {
    switch (s.stop) {
    case ServiceScript::Stop::AtOnce: return "at-once";
    case ServiceScript::Stop::AfterQueries: return "after " + std::to_string(s.stopQueries);
    case ServiceScript::Stop::Never: return "never";
    case ServiceScript::Stop::Refuses: return "refuses";
    }
    return "at-once";
}

std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

bool ParseNumber(const std::string& text, DWORD* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (*end || v > 0xFFFFFFFFull || text[0] == '-') return false;
    *out = static_cast<DWORD>(v);
    return true;
}

bool ParseStart(const std::string& text, ServiceScript* s) {
    std::istringstream in(text);
    std::string word, code, extra;
    in >> word;
    if (word == "runs" && !(in >> extra)) {
        s->start = ServiceScript::Start::Runs;
        return true;
    }
    if (word != "fails") return false;
    s->start = ServiceScript::Start::Fails;
    s->startError = 1053;
    if (in >> code && !ParseNumber(code, &s->startError)) return false;
    return !(in >> extra) && s->startError != 0;
}

bool ParseStop(const std::string& text, ServiceScript* s) {
    std::istringstream in(text);
    std::string word, count, extra;
    in >> word;
    if (word == "after") {
        DWORD n = 0;
        if (!(in >> count) || !ParseNumber(count, &n)) return false;
        s->stop = ServiceScript::Stop::AfterQueries;
        s->stopQueries = n;
    } else if (word == "at-once") {
        s->stop = ServiceScript::Stop::AtOnce;
    } else if (word == "never") {
        s->stop = ServiceScript::Stop::Never;
    } else if (word == "refuses") {
        s->stop = ServiceScript::Stop::Refuses;
    } else {
        return false;
    }
    return !(in >> extra);
}

}  // namespace

std::string ServiceDatabase::SaveText() const {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    std::ostringstream out;
    out << "; The service control manager's database. Type, Start and ErrorControl are CreateService's\n"
           "; values; Dependencies are separated by '/', groups start with '+'. OnStart: runs | fails [ERROR];\n"
           "; OnStop: at-once | after N (status queries) | never | refuses.\n";
    std::set<std::string> written;
    for (const auto& e : impl_->services) {
        const auto& c = e->config;
        const ServiceScript script = impl_->Script(*e);
        std::string deps;
        for (const auto& d : c.dependencies) deps += (deps.empty() ? "" : "/") + d;
        out << "\n[service " << c.name << "]\n"
            << "DisplayName=" << c.displayName << "\n"
            << "Type=" << Hex(c.type) << "\n"
            << "Start=" << c.startType << "\n"
            << "ErrorControl=" << c.errorControl << "\n"
            << "ImagePath=" << c.imagePath << "\n";
        if (!c.group.empty()) out << "Group=" << c.group << "\n";
        if (!deps.empty()) out << "Dependencies=" << deps << "\n";
        if (!c.account.empty()) out << "Account=" << c.account << "\n";
        out << "State=" << StateWord(e->state) << "\n";
        if (e->state == SERVICE_STOP_PENDING) out << "PendingQueries=" << e->pendingQueries << "\n";
        if (e->exitCode) out << "ExitCode=" << e->exitCode << "\n";
        if (e->marked) out << "MarkedForDelete=yes\n";
        out << "OnStart=" << StartWord(script) << "\n"
            << "OnStop=" << StopWord(script) << "\n";
        written.insert(Upper(c.name));
    }
    for (const auto& [upper, script] : impl_->scripts) {
        if (written.count(upper)) continue;
        out << "\n[script " << upper << "]\n"
            << "OnStart=" << StartWord(script) << "\n"
            << "OnStop=" << StopWord(script) << "\n";
    }
    return out.str();
}

bool ServiceDatabase::LoadText(std::string_view text, std::string* error) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    std::vector<std::shared_ptr<ServiceEntry>> services;
    std::map<std::string, ServiceScript> scripts;
    std::shared_ptr<ServiceEntry> current;
    ServiceScript* currentScript = nullptr;
    auto fail = [&](int line, const std::string& why) {
        if (error) *error = "line " + std::to_string(line) + ": " + why;
        return false;
    };

    std::istringstream in{std::string(text)};
    std::string raw;
    int lineNo = 0;
    while (std::getline(in, raw)) {
        ++lineNo;
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            if (line.back() != ']') return fail(lineNo, "a section header must end with ']'");
            const std::string header = Trim(std::string_view(line).substr(1, line.size() - 2));
            const size_t space = header.find(' ');
            const std::string kind = header.substr(0, space);
            const std::string name = space == std::string::npos ? "" : Trim(header.substr(space + 1));
            if (!ValidName(name.c_str())) return fail(lineNo, "'" + name + "' is not a valid service name");
            if (kind == "service") {
                for (const auto& s : services)
                    if (SameName(s->config.name, name)) return fail(lineNo, "service " + name + " is listed twice");
                current = std::make_shared<ServiceEntry>();
                current->config.name = name;
                current->config.displayName = name;
                services.push_back(current);
            } else if (kind == "script") {
                current = nullptr;
            } else {
                return fail(lineNo, "sections are [service NAME] or [script NAME]");
            }
            currentScript = &scripts[Upper(name)];
            continue;
        }
        if (!currentScript) return fail(lineNo, "a line before the first section");
        const size_t eq = line.find('=');
        if (eq == std::string::npos) return fail(lineNo, "expected KEY=VALUE");
        const std::string key = Trim(std::string_view(line).substr(0, eq));
        const std::string value = Trim(std::string_view(line).substr(eq + 1));
        if (key == "OnStart") {
            if (!ParseStart(value, currentScript)) return fail(lineNo, "OnStart is 'runs' or 'fails [ERROR]'");
            continue;
        }
        if (key == "OnStop") {
            if (!ParseStop(value, currentScript))
                return fail(lineNo, "OnStop is 'at-once', 'after N', 'never' or 'refuses'");
            continue;
        }
        if (!current) return fail(lineNo, "a [script] section holds only OnStart and OnStop");
        auto& c = current->config;
        DWORD number = 0;
        if (key == "DisplayName") {
            c.displayName = value;
        } else if (key == "ImagePath") {
            c.imagePath = value;
        } else if (key == "Group") {
            c.group = value;
        } else if (key == "Account") {
            c.account = value;
        } else if (key == "Dependencies") {
            c.dependencies.clear();
            std::istringstream deps(value);
            std::string d;
            while (std::getline(deps, d, '/'))
                if (!Trim(d).empty()) c.dependencies.push_back(Trim(d));
        } else if (key == "Type" || key == "Start" || key == "ErrorControl" || key == "PendingQueries" ||
                   key == "ExitCode") {
            if (!ParseNumber(value, &number)) return fail(lineNo, key + " needs a number");
            if (key == "Type") c.type = number;
            if (key == "Start") c.startType = number;
            if (key == "ErrorControl") c.errorControl = number;
            if (key == "PendingQueries") current->pendingQueries = number;
            if (key == "ExitCode") current->exitCode = number;
        } else if (key == "State") {
            if (value == "running") current->state = SERVICE_RUNNING;
            else if (value == "stopped") current->state = SERVICE_STOPPED;
            else if (value == "stop-pending") current->state = SERVICE_STOP_PENDING;
            else return fail(lineNo, "State is 'running', 'stopped' or 'stop-pending'");
        } else if (key == "MarkedForDelete") {
            if (value != "yes" && value != "no") return fail(lineNo, "MarkedForDelete is 'yes' or 'no'");
            current->marked = value == "yes";
        } else {
            return fail(lineNo, "unknown key '" + key + "'");
        }
    }
    impl_->services = std::move(services);
    impl_->scripts = std::move(scripts);
    return true;
}

}  // namespace winsim

// ---- The Win32 calls ---------------------------------------------------------------------------

using winsim::g_lock;
using winsim::ScHandleRecord;
using winsim::ServiceEntry;
using winsim::ServiceEvent;

SC_HANDLE OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName, DWORD desiredAccess) {
    std::lock_guard<std::recursive_mutex> lock(g_lock);
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
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    if (winsim::NoServicesHere()) return nullptr;
    ScHandleRecord* h = winsim::Lookup(manager, false, SC_MANAGER_CREATE_SERVICE);
    if (!h) return nullptr;
    auto& db = *h->db;
    if (!winsim::ValidName(serviceName) ||
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
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    if (winsim::NoServicesHere()) return nullptr;
    ScHandleRecord* h = winsim::Lookup(manager, false, SC_MANAGER_CONNECT);
    if (!h) return nullptr;
    if (!winsim::ValidName(serviceName)) {
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
    std::lock_guard<std::recursive_mutex> lock(g_lock);
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
    std::lock_guard<std::recursive_mutex> lock(g_lock);
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
    std::lock_guard<std::recursive_mutex> lock(g_lock);
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
    std::lock_guard<std::recursive_mutex> lock(g_lock);
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
    std::lock_guard<std::recursive_mutex> lock(g_lock);
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
    std::lock_guard<std::recursive_mutex> lock(g_lock);
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
    std::lock_guard<std::recursive_mutex> lock(g_lock);
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
    std::lock_guard<std::recursive_mutex> lock(g_lock);
    return g_handles.size();
}
}  // namespace winsim
