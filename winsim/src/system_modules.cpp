// The system DLLs each machine offers to LoadLibraryA and GetProcAddress, with the exports of its
// version of Windows.
#include <winsim/loader.h>
#include <winsim/machine.h>
#include <winsim/win32api.h>

#include "loader_internal.h"
#include "system_modules.h"


namespace {

// Windows 95 has no IsDebuggerPresent: code that wants it must look it up and live without it.
const winsim::ExportEntry kKernel32Exports[] = {
    {"IsDebuggerPresent", winsim::AsExport(&IsDebuggerPresent)},
    {nullptr, nullptr},
};
const winsim::ExportEntry kKernel32Exports95[] = {{nullptr, nullptr}};

}  // namespace

namespace winsim {

SystemModules::SystemModules(const Machine& machine) {
    ModuleImage image;
    image.fileName = "KERNEL32.DLL";
    image.exports = machine.Version() == OsVersion::Win95 ? kKernel32Exports95 : kKernel32Exports;
    kernel32_ = RegisterModule(image);
}

SystemModules::~SystemModules() {
    // Only while it is still this machine's: a test that took it away may have registered something
    // else since.
    const Module* m = ModuleFromHandle(kernel32_);
    if (m && (m->image.exports == kKernel32Exports || m->image.exports == kKernel32Exports95))
        UnregisterModule(kernel32_);
}

}  // namespace winsim
