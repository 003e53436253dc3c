// Registry checks shared by the host tests.
#pragma once

#include <winsim/machine.h>
#include <winsim/registry.h>

#include <string>

// Whether HKEY_LOCAL_MACHINE\<path> exists on the current machine.
inline bool HklmKeyExists(const std::string& path) {
    return winsim::Current().Reg().KeyExists("HKEY_LOCAL_MACHINE\\" + path);
}
