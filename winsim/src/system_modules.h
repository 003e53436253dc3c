// The system DLLs a machine offers to LoadLibraryA and GetProcAddress (KERNEL32.DLL with the exports
// of the machine's version of Windows), registered while the machine exists. cfgmgr32.dll, which a
// test adds or takes away, belongs to the device tree (devices.h).
#pragma once

#include <winsim/machine.h>

namespace winsim {

class SystemModules {
public:
    explicit SystemModules(const Machine& machine);
    ~SystemModules();
    SystemModules(const SystemModules&) = delete;
    SystemModules& operator=(const SystemModules&) = delete;

private:
    HMODULE kernel32_ = nullptr;
};

}  // namespace winsim
