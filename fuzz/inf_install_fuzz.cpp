// libFuzzer target: arbitrary text as an INF whose section "Install" is installed as SetupAPI does it,
// registry and INI files (AddReg, DelReg, UpdateInis), on a new simulated Windows 2000 machine each
// time. The call's result agrees with its last error, and whatever the lines wrote, the registry
// saves to .reg text that loads back and saves the same.
#include <winsim/files.h>
#include <winsim/machine.h>
#include <winsim/registry.h>
#include <winsim/win32api.h>
#include "check.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using fuzzing::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    winsim::ScopedMachine machine(winsim::OsVersion::Win2000);
    const char path[] = "C:\\Setup\\quillex.inf";
    Check(winsim::WriteWholeFile(path, std::string_view(reinterpret_cast<const char*>(data), size)),
          "cannot write the INF");
    HINF inf = SetupOpenInfFileA(path, nullptr, INF_STYLE_WIN4, nullptr);
    if (inf == INVALID_HANDLE_VALUE) return 0;
    SetLastError(0xDEAD);
    const BOOL done = SetupInstallFromInfSectionA(nullptr, inf, "Install", SPINST_REGISTRY | SPINST_INIFILES,
                                                  HKEY_LOCAL_MACHINE, nullptr, 0, nullptr, nullptr, nullptr, nullptr);
    const DWORD error = GetLastError();
    SetupCloseInfFile(inf);
    Check(done ? error == NO_ERROR : error != NO_ERROR && error != 0xDEAD, "the result and the last error disagree");

    const std::string saved = machine->Reg().SaveRegText();
    winsim::Registry again(winsim::OsVersion::Win2000, winsim::Registry::Contents::Empty);
    std::string why;
    Check(again.LoadRegText(saved, &why), "the registry the lines left does not load back");
    Check(again.SaveRegText() == saved, "the registry the lines left does not save the same");
    return 0;
}
