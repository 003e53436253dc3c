// shlwapi: the simulated shell utility library, which code loads by name and calls through
// GetProcAddress: SHDeleteKeyA, which deletes a registry key with everything below it. It works
// through the simulated registry calls, as the real one works through ADVAPI32, so each key is opened,
// enumerated and deleted under the registry's own rules.
#include <winsim/loader.h>
#include <winsim/win32api.h>

#include "system_modules.h"

namespace winsim {

namespace {

DWORD WINAPI SHDeleteKeyA(HKEY key, LPCSTR subKey) {
    HKEY opened = nullptr;
    LONG status = RegOpenKeyExA(key, subKey, 0, KEY_READ, &opened);
    if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
    // The first subkey each time, since each one found is gone before the next look; a subkey that
    // cannot be deleted ends the walk with its status.
    for (;;) {
        char name[256];
        DWORD nameSize = sizeof(name);
        if (RegEnumKeyExA(opened, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        status = static_cast<LONG>(SHDeleteKeyA(opened, name));
        if (status != ERROR_SUCCESS) break;
    }
    RegCloseKey(opened);
    if (status == ERROR_SUCCESS) status = RegDeleteKeyA(key, subKey);
    return static_cast<DWORD>(status);
}

}  // namespace

const ExportEntry kShellUtilityExports[] = {
    {"SHDeleteKeyA", AsExport(&SHDeleteKeyA)},
    {nullptr, nullptr},
};

}  // namespace winsim
