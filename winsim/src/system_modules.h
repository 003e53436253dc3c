// The system DLLs a machine offers to LoadLibraryA and GetProcAddress (KERNEL32.DLL with the exports
// of the machine's version of Windows, NETAPI32.DLL, and SHLWAPI.DLL when Internet Explorer is
// installed), registered while the machine exists. cfgmgr32.dll, which a
// test adds or takes away, belongs to the device tree (devices.h).
#pragma once

#include <winsim/loader.h>
#include <winsim/machine.h>

namespace winsim {

// The exports of the simulated NETAPI32.DLL on the NT family (netapi32_server.cpp) and of SHLWAPI.DLL
// (shlwapi_registry.cpp).
extern const ExportEntry kNetApiExports[];
extern const ExportEntry kShellUtilityExports[];

class SystemModules {
public:
    explicit SystemModules(const Machine& machine);
    ~SystemModules();
    SystemModules(const SystemModules&) = delete;
    SystemModules& operator=(const SystemModules&) = delete;

    bool ShellUtilitiesInstalled() const { return shlwapi_ != nullptr; }
    void SetShellUtilitiesInstalled(bool installed);

private:
    const Machine& machine_;
    HMODULE kernel32_ = nullptr;
    HMODULE netapi32_ = nullptr;
    HMODULE shlwapi_ = nullptr;
};

}  // namespace winsim
