// The system DLLs each machine offers to LoadLibraryA and GetProcAddress, with the exports of its
// version of Windows.
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include "loader_internal.h"
#include "system_modules.h"

namespace {

// Windows 95 has no IsDebuggerPresent, NT 4 no toolhelp: code that wants them must look them up and
// live without them.
const winsim::ExportEntry kKernel32Exports[] = {
    {"IsDebuggerPresent", winsim::AsExport(&IsDebuggerPresent)},
    {"CreateToolhelp32Snapshot", winsim::AsExport(&CreateToolhelp32Snapshot)},
    {"Process32First", winsim::AsExport(&Process32First)},
    {"Process32Next", winsim::AsExport(&Process32Next)},
    {"Thread32First", winsim::AsExport(&Thread32First)},
    {"Thread32Next", winsim::AsExport(&Thread32Next)},
    {nullptr, nullptr},
};
const winsim::ExportEntry kKernel32Exports95[] = {
    {"CreateToolhelp32Snapshot", winsim::AsExport(&CreateToolhelp32Snapshot)},
    {"Process32First", winsim::AsExport(&Process32First)},
    {"Process32Next", winsim::AsExport(&Process32Next)},
    {"Thread32First", winsim::AsExport(&Thread32First)},
    {"Thread32Next", winsim::AsExport(&Thread32Next)},
    {nullptr, nullptr},
};
const winsim::ExportEntry kKernel32ExportsNT4[] = {
    {"IsDebuggerPresent", winsim::AsExport(&IsDebuggerPresent)},
    {nullptr, nullptr},
};

const winsim::ExportEntry* Kernel32Exports(winsim::OsVersion version) {
    if (version == winsim::OsVersion::Win95) return kKernel32Exports95;
    return version == winsim::OsVersion::NT4 ? kKernel32ExportsNT4 : kKernel32Exports;
}

}  // namespace

namespace winsim {

SystemModules::SystemModules(const Machine& machine) {
    ModuleImage image;
    image.fileName = "KERNEL32.DLL";
    image.exports = Kernel32Exports(machine.Version());
    kernel32_ = RegisterModule(image);
}

SystemModules::~SystemModules() {
    // Only while it is still this machine's: a test that took it away may have registered something
    // else since.
    const Module* m = ModuleFromHandle(kernel32_);
    if (m && (m->image.exports == kKernel32Exports || m->image.exports == kKernel32Exports95 ||
              m->image.exports == kKernel32ExportsNT4))
        UnregisterModule(kernel32_);
}

}  // namespace winsim
