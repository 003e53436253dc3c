// The simulated Windows machine: which version it runs, its drives and its clock, the record of the
// one program that runs on it, and the state of each area (registry, services, devices, dialogs, ...).
//
// One machine is current per process; every simulated Win32 call acts on it. Tests build their own
// machine (ScopedMachine) so that no test sees another's state.
//
// Where state lives: the Machine keeps only what makes the machine and its process (version record,
// clock, language, current directory, program path, module placement, debugger). Each area keeps
// its state in a class of its own, which the Machine makes with itself, owns, and hands out by
// reference (Reg(), Services(), Devices(), Dialogs()); a new area adds its class the same way.
// Those classes act on their own machine whether or not it is current.
#pragma once

#include <winsim/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

class DeviceTree;
class Dialogs;
class Processes;
class Registry;
class Security;
class ServiceDatabase;
class ShortNames;
class SystemModules;
class Windows;

enum class OsVersion { Win95, Win98, NT4, Win2000, WinXP };

// The record GetVersionExA reports on that version (OSVERSIONINFOA fields).
struct VersionRecord {
    DWORD major = 0;
    DWORD minor = 0;
    DWORD build = 0;
    DWORD platformId = 0;  // 1 = VER_PLATFORM_WIN32_WINDOWS, 2 = VER_PLATFORM_WIN32_NT
    std::string csd;       // szCSDVersion
};

VersionRecord VersionRecordOf(OsVersion version);
// "95", "98", "NT4", "2000", "XP": the names kvsim and the machine folder use.
const char* OsVersionName(OsVersion version);
std::optional<OsVersion> ParseOsVersion(std::string_view name);
inline bool IsNtFamily(OsVersion v) { return v != OsVersion::Win95 && v != OsVersion::Win98; }

class Machine {
public:
    // rootFolder is the host folder that holds one subfolder per drive ("C", "D", ...). It is created
    // if missing, and drive C with the Windows and system directories is laid out in it.
    Machine(OsVersion version, std::string rootFolder);
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    OsVersion Version() const { return version_; }
    const VersionRecord& Record() const { return record_; }
    // Lets a test report an unusual version record (an NT 3.51, a failing query with platform 0).
    void SetRecord(const VersionRecord& record) { record_ = record; }
    // When set, GetVersionExA fails as it does for a wrongly sized record.
    void SetVersionQueryFails(bool fails) { versionQueryFails_ = fails; }
    bool VersionQueryFails() const { return versionQueryFails_; }

    const std::string& RootFolder() const { return root_; }
    // "C:\WINDOWS" on 95/98 and XP, "C:\WINNT" on NT 4 and 2000.
    std::string WindowsDirectory() const;
    // "...\SYSTEM" on 95/98, "...\System32" on the NT family.
    std::string SystemDirectory() const;

    Registry& Reg() { return *registry_; }
    // The service control manager's database (used on the NT family only).
    ServiceDatabase& Services() { return *services_; }
    // The device tree, SetupAPI's and cfgmgr32's view of the hardware.
    DeviceTree& Devices() { return *devices_; }
    // The message boxes shown on this machine and the answers the simulated user gives.
    winsim::Dialogs& Dialogs() { return *dialogs_; }
    // The 8.3 names given to the long file names on the machine's drives.
    winsim::ShortNames& ShortNames() { return *shortNames_; }

    // Who the calling program runs as: its process token (Security()) is built on it.
    // Administrator unless a test or machine folder says otherwise.
    enum class Account { LocalSystem, Administrator, User };
    Account CallerAccount() const { return callerAccount_; }
    void SetCallerAccount(Account account) { callerAccount_ = account; }
    // The accounts' tokens, the threads' impersonation and registry key security (NT family).
    winsim::Security& Security() { return *security_; }
    // The programs and simulated DLLs the machine has, and the processes running on it.
    winsim::Processes& Processes() { return *processes_; }
    // The top-level windows, the messages sent and posted to them, and the cursor.
    winsim::Windows& Windows() { return *windows_; }

    // Virtual clock in milliseconds since boot. Sleep and waits advance it; no real time passes.
    uint64_t NowMs() const { return clockMs_; }
    void Advance(uint64_t ms) { clockMs_ += ms; }

    // The user's default language (GetUserDefaultLangID), which resource lookups prefer: 0x409 unless
    // the machine is set up otherwise.
    WORD DefaultLanguage() const { return defaultLanguage_; }
    void SetDefaultLanguage(WORD language) { defaultLanguage_ = language; }

    // The process's current directory, as a Windows path ("C:\" after boot).
    const std::string& CurrentDirectory() const { return currentDirectory_; }
    void SetCurrentDirectory(std::string path) { currentDirectory_ = std::move(path); }

    // The program that runs on this machine (GetModuleFileNameA with a null module):
    // "C:\Setup\setup.exe", a setup program, unless a test says otherwise.
    const std::string& ProgramPath() const { return programPath_; }
    void SetProgramPath(std::string path) { programPath_ = std::move(path); }
    // Where a module registered under a bare name (a library linked into the program) lies on this
    // machine: in the system directory unless set here. The name is compared without regard to case.
    void SetModulePath(std::string_view moduleName, std::string path);
    std::optional<std::string> ModulePath(std::string_view moduleName) const;

    // Whether IsDebuggerPresent answers TRUE.
    bool DebuggerPresent() const { return debuggerPresent_; }
    void SetDebuggerPresent(bool present) { debuggerPresent_ = present; }

    // The machine on its network, as NETAPI32's NetServerGetInfo reports it (NT family): its role
    // (a workstation unless set), whether its server service runs (it does unless set), and whether
    // Internet Explorer 4 or later, which brings SHLWAPI.DLL, is installed (as the version ships:
    // 98, 2000 and XP yes, 95 and NT 4 no). SetServicePack writes the NT family's CSD text
    // ("Service Pack n", nothing for 0); on 95/98 it leaves the record alone.
    enum class ServerRole { Workstation, MemberServer, PrimaryController, BackupController };
    ServerRole Role() const { return serverRole_; }
    void SetServerRole(ServerRole role) { serverRole_ = role; }
    bool ServerServiceRunning() const { return serverServiceRunning_; }
    void SetServerServiceRunning(bool running) { serverServiceRunning_ = running; }
    bool InternetExplorerInstalled() const;
    void SetInternetExplorerInstalled(bool installed);
    void SetServicePack(int number);

private:
    OsVersion version_;
    VersionRecord record_;
    bool versionQueryFails_ = false;
    std::string root_;
    // Made in this order, and destroyed in the reverse: the later ones write into the registry.
    std::unique_ptr<Registry> registry_;
    std::unique_ptr<winsim::Security> security_;
    std::unique_ptr<ServiceDatabase> services_;
    std::unique_ptr<DeviceTree> devices_;
    std::unique_ptr<winsim::Dialogs> dialogs_;
    std::unique_ptr<winsim::ShortNames> shortNames_;
    std::unique_ptr<SystemModules> systemModules_;
    std::unique_ptr<winsim::Processes> processes_;
    std::unique_ptr<winsim::Windows> windows_;
    uint64_t clockMs_ = 0;
    WORD defaultLanguage_ = 0x409;
    std::string currentDirectory_ = "C:\\";
    std::string programPath_ = "C:\\Setup\\setup.exe";
    std::vector<std::pair<std::string, std::string>> modulePaths_;  // upper-case name, path
    bool debuggerPresent_ = false;
    Account callerAccount_ = Account::Administrator;
    ServerRole serverRole_ = ServerRole::Workstation;
    bool serverServiceRunning_ = true;
};

// Where the version keeps two of its programs, files every machine has on drive C:
// - runonce.exe, which runs the RunOnce entries (processes.h says how): "C:\WINDOWS\SYSTEM\RUNONCE.EXE"
//   on 95/98, "<Windows>\System32\runonce.exe" on the NT family;
// - rundll32.exe, which loads a DLL and calls one of its exports: "C:\WINDOWS\RUNDLL32.EXE" on 95/98,
//   "<Windows>\System32\rundll32.exe" on the NT family. A tool that runs an export as rundll32 does
//   makes this the machine's ProgramPath for the call.
std::string RunOnceProgramPath(const Machine& machine);
std::string Rundll32Path(const Machine& machine);

// "workstation", "member-server", "primary-controller", "backup-controller": the role's text form.
const char* ServerRoleName(Machine::ServerRole role);
std::optional<Machine::ServerRole> ParseServerRole(std::string_view name);

// The machine simulated calls act on. Calling a Win32 function with no current machine aborts.
Machine& Current();
bool HasCurrent();
// Making a machine current detaches the linked libraries (below) from the machine that was current
// and attaches them to the new one.
void SetCurrent(Machine* machine);

// A library linked into the program, rather than loaded with LoadLibraryA, is attached to each
// machine when it becomes current and detached before it stops being current (or is destroyed), as a
// program's statically linked DLLs attach when it starts and detach when it ends: every machine a
// test builds sees a freshly loaded library, and no library code runs without a machine.
void AddLinkedLibrary(void (*attach)(), void (*detach)());

// A machine in a fresh temporary folder, current for the object's lifetime; the folder is removed
// afterwards. This is what each test builds.
class ScopedMachine {
public:
    explicit ScopedMachine(OsVersion version);
    ~ScopedMachine();
    ScopedMachine(const ScopedMachine&) = delete;
    ScopedMachine& operator=(const ScopedMachine&) = delete;
    Machine& operator*() { return *machine_; }
    Machine* operator->() { return machine_.get(); }

private:
    std::string folder_;
    std::unique_ptr<Machine> machine_;
    Machine* previous_;
};

}  // namespace winsim
