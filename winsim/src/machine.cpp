#include <winsim/devices.h>
#include <winsim/dialogs.h>
#include <winsim/machine.h>
#include <winsim/processes.h>
#include <winsim/registry.h>
#include <winsim/security.h>
#include <winsim/services.h>
#include <winsim/shellfolders.h>
#include <winsim/shortnames.h>
#include <winsim/text.h>
#include <winsim/windows.h>

#include "system_modules.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace winsim {

namespace {
Machine* g_current = nullptr;

struct LinkedLibrary {
    void (*attach)();
    void (*detach)();
};
std::vector<LinkedLibrary>& LinkedLibraries() {
    static std::vector<LinkedLibrary> libraries;
    return libraries;
}

void DetachLinkedLibraries() {
    // In the reverse order of attaching, as a process detaches its DLLs.
    const auto& libraries = LinkedLibraries();
    for (auto it = libraries.rbegin(); it != libraries.rend(); ++it) it->detach();
}

struct VersionRow {
    OsVersion version;
    const char* name;
    VersionRecord record;
};

// What GetVersionExA reports on each version as shipped (NT 4 with its last service pack).
const VersionRow kVersions[] = {
    // 95/98 put the build in the low word only; the high word repeats the version.
    {OsVersion::Win95, "95", {4, 0, 0x040003B6, 1, ""}},
    {OsVersion::Win98, "98", {4, 10, 0x040A07CE, 1, ""}},
    {OsVersion::NT4, "NT4", {4, 0, 1381, 2, "Service Pack 6"}},
    {OsVersion::Win2000, "2000", {5, 0, 2195, 2, ""}},
    {OsVersion::WinXP, "XP", {5, 1, 2600, 2, "Service Pack 2"}},
};
}  // namespace

VersionRecord VersionRecordOf(OsVersion version) {
    for (const auto& row : kVersions)
        if (row.version == version) return row.record;
    return {};
}

const char* OsVersionName(OsVersion version) {
    for (const auto& row : kVersions)
        if (row.version == version) return row.name;
    return "?";
}

std::optional<OsVersion> ParseOsVersion(std::string_view name) {
    for (const auto& row : kVersions)
        if (name == row.name) return row.version;
    if (name == "NT" || name == "nt4") return OsVersion::NT4;
    return std::nullopt;
}

Machine::Machine(OsVersion version, std::string rootFolder)
    : version_(version), record_(VersionRecordOf(version)), root_(std::move(rootFolder)),
      registry_(std::make_unique<Registry>(version)) {
    namespace fs = std::filesystem;
    // Drive C with the folders every installation of that version has.
    const fs::path c = fs::path(root_) / "C";
    const bool nt = IsNtFamily(version);
    const bool winnt = version == OsVersion::NT4 || version == OsVersion::Win2000;
    const fs::path windows = c / (winnt ? "WINNT" : "WINDOWS");
    fs::create_directories(windows / (nt ? "System32" : "SYSTEM"));
    fs::create_directories(windows / "INF");
    fs::create_directories(c / "Program Files");
    // The system programs winsim knows, as files (an image header only) where the version keeps them.
    for (const std::string& program : {RunOnceProgramPath(*this), Rundll32Path(*this)}) {
        std::string relative = program.substr(3);  // below "C:\"
        std::replace(relative.begin(), relative.end(), '\\', '/');
        const fs::path file = c / relative;
        std::error_code ec;
        if (!fs::exists(file, ec)) std::ofstream(file, std::ios::binary) << "MZ";
    }
    security_ = std::make_unique<winsim::Security>(*this);
    services_ = std::make_unique<ServiceDatabase>(*this);
    devices_ = std::make_unique<DeviceTree>(*this);
    dialogs_ = std::make_unique<winsim::Dialogs>();
    shortNames_ = std::make_unique<winsim::ShortNames>(*this);
    systemModules_ = std::make_unique<SystemModules>(*this);
    processes_ = std::make_unique<winsim::Processes>(*this);
    windows_ = std::make_unique<winsim::Windows>([this](HWND window) { processes_->CloseAttempt(window); });
    // Every new machine starts with its version's shell folders.
    LayOutShellFolders(*this);
}

Machine::~Machine() {
    if (g_current == this) {
        DetachLinkedLibraries();
        g_current = nullptr;
    }
    windows_.reset();
    processes_.reset();
    systemModules_.reset();
    shortNames_.reset();
    dialogs_.reset();
    devices_.reset();
    services_.reset();
}

bool Machine::InternetExplorerInstalled() const { return systemModules_->ShellUtilitiesInstalled(); }

void Machine::SetInternetExplorerInstalled(bool installed) { systemModules_->SetShellUtilitiesInstalled(installed); }

void Machine::SetServicePack(int number) {
    if (!IsNtFamily(version_)) return;
    record_.csd = number > 0 ? "Service Pack " + std::to_string(number) : std::string();
}

namespace {
const char* const kServerRoleNames[] = {"workstation", "member-server", "primary-controller", "backup-controller"};
}  // namespace

const char* ServerRoleName(Machine::ServerRole role) { return kServerRoleNames[static_cast<int>(role)]; }

std::optional<Machine::ServerRole> ParseServerRole(std::string_view name) {
    for (int i = 0; i < 4; ++i)
        if (name == kServerRoleNames[i]) return static_cast<Machine::ServerRole>(i);
    return std::nullopt;
}

void Machine::SetModulePath(std::string_view moduleName, std::string path) {
    const std::string key = UpperAscii(moduleName);
    for (auto& entry : modulePaths_)
        if (entry.first == key) {
            entry.second = std::move(path);
            return;
        }
    modulePaths_.emplace_back(key, std::move(path));
}

std::optional<std::string> Machine::ModulePath(std::string_view moduleName) const {
    const std::string key = UpperAscii(moduleName);
    for (const auto& entry : modulePaths_)
        if (entry.first == key) return entry.second;
    return std::nullopt;
}

std::string Machine::WindowsDirectory() const {
    return (version_ == OsVersion::NT4 || version_ == OsVersion::Win2000) ? "C:\\WINNT" : "C:\\WINDOWS";
}

std::string Machine::SystemDirectory() const {
    return WindowsDirectory() + (IsNtFamily(version_) ? "\\System32" : "\\SYSTEM");
}

std::string RunOnceProgramPath(const Machine& machine) {
    return machine.SystemDirectory() + (IsNtFamily(machine.Version()) ? "\\runonce.exe" : "\\RUNONCE.EXE");
}

std::string Rundll32Path(const Machine& machine) {
    return IsNtFamily(machine.Version()) ? machine.SystemDirectory() + "\\rundll32.exe"
                                         : machine.WindowsDirectory() + "\\RUNDLL32.EXE";
}

Machine& Current() {
    if (!g_current) {
        std::fprintf(stderr, "winsim: a Win32 call was made with no simulated machine current\n");
        std::abort();
    }
    return *g_current;
}

bool HasCurrent() { return g_current != nullptr; }

void SetCurrent(Machine* machine) {
    if (machine == g_current) return;
    if (g_current) DetachLinkedLibraries();
    g_current = machine;
    if (g_current)
        for (const auto& library : LinkedLibraries()) library.attach();
}

void AddLinkedLibrary(void (*attach)(), void (*detach)()) { LinkedLibraries().push_back({attach, detach}); }

ScopedMachine::ScopedMachine(OsVersion version) : previous_(g_current) {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "winsim-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("winsim: cannot create a machine folder");
    folder_ = pattern;
    machine_ = std::make_unique<Machine>(version, folder_);
    SetCurrent(machine_.get());
}

ScopedMachine::~ScopedMachine() {
    machine_.reset();
    SetCurrent(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

}  // namespace winsim
