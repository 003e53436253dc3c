// The system DLLs each machine offers to LoadLibraryA and GetProcAddress, with the exports of its
// version of Windows.
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include "loader_internal.h"
#include "system_modules.h"

#include <initializer_list>

namespace {

// Windows 95 has no IsDebuggerPresent, NT 4 no toolhelp: code that wants them must look them up and
// live without them.
// IsDebuggerPresent first, so that Windows 95's table is the same one without its first entry.
const winsim::ExportEntry kKernel32Exports[] = {
    {"IsDebuggerPresent", winsim::AsExport(&IsDebuggerPresent)},
    {"CreateToolhelp32Snapshot", winsim::AsExport(&CreateToolhelp32Snapshot)},
    {"Process32First", winsim::AsExport(&Process32First)},
    {"Process32Next", winsim::AsExport(&Process32Next)},
    {"Thread32First", winsim::AsExport(&Thread32First)},
    {"Thread32Next", winsim::AsExport(&Thread32Next)},
    {nullptr, nullptr},
};
const winsim::ExportEntry* const kKernel32Exports95 = kKernel32Exports + 1;
const winsim::ExportEntry kKernel32ExportsNT4[] = {
    {"IsDebuggerPresent", winsim::AsExport(&IsDebuggerPresent)},
    {nullptr, nullptr},
};

// Windows 95 and 98 have a NETAPI32.DLL for Netbios alone, which is not simulated.
const winsim::ExportEntry kNetApiExports9x[] = {{nullptr, nullptr}};

const winsim::ExportEntry* Kernel32Exports(winsim::OsVersion version) {
    if (version == winsim::OsVersion::Win95) return kKernel32Exports95;
    return version == winsim::OsVersion::NT4 ? kKernel32ExportsNT4 : kKernel32Exports;
}

}  // namespace

namespace winsim {

namespace {

// Only while they are still this machine's: a test that took one away may have registered something
// else since.
void UnregisterIfExports(HMODULE module, std::initializer_list<const ExportEntry*> tables) {
    const Module* m = ModuleFromHandle(module);
    if (!m) return;
    for (const ExportEntry* table : tables)
        if (m->image.exports == table) {
            UnregisterModule(module);
            return;
        }
}

}  // namespace

SystemModules::SystemModules(const Machine& machine) : machine_(machine) {
    ModuleImage image;
    image.fileName = "KERNEL32.DLL";
    image.exports = Kernel32Exports(machine.Version());
    kernel32_ = RegisterModule(image);
    // DLLs on disk that nobody has loaded yet.
    image.fileName = machine.SystemDirectory() + "\\NETAPI32.DLL";
    image.exports = IsNtFamily(machine.Version()) ? kNetApiExports : kNetApiExports9x;
    netapi32_ = RegisterModule(image);
    FreeLibrary(netapi32_);
    const OsVersion v = machine.Version();
    SetShellUtilitiesInstalled(v == OsVersion::Win98 || v == OsVersion::Win2000 || v == OsVersion::WinXP);
}

void SystemModules::SetShellUtilitiesInstalled(bool installed) {
    if (installed == ShellUtilitiesInstalled()) return;
    if (!installed) {
        UnregisterIfExports(shlwapi_, {kShellUtilityExports});
        shlwapi_ = nullptr;
        return;
    }
    ModuleImage image;
    image.fileName = machine_.SystemDirectory() + "\\SHLWAPI.DLL";
    image.exports = kShellUtilityExports;
    shlwapi_ = RegisterModule(image);
    FreeLibrary(shlwapi_);
}

SystemModules::~SystemModules() {
    UnregisterIfExports(kernel32_, {kKernel32Exports, kKernel32Exports95, kKernel32ExportsNT4});
    UnregisterIfExports(netapi32_, {kNetApiExports, kNetApiExports9x});
    SetShellUtilitiesInstalled(false);
}

}  // namespace winsim
