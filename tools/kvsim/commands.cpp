#include "tools/kvsim/commands.h"

namespace kvsim {

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"create", "create MACHINE VERSION", "make a machine folder: Windows 95, 98, NT4 or 2000", RunCreate},
        {"put", "put MACHINE FILE [WINDOWS_PATH]", "copy a file onto the machine (default C:\\Setup\\NAME)",
         RunPut},
        {"call", "call MACHINE EXPORT [ARG...]", "call a library export and show what it changed", RunCall},
        {"show", "show MACHINE",
         "the machine's version, clock, services, devices, shortcuts and pending file operations", RunShow},
        {"reboot", "reboot MACHINE",
         "restart the machine: pending file renames and deletions, services, and show what it did", RunReboot},
        {"import", "import MACHINE FILE.reg...", "merge .reg files into the machine's registry and show the changes",
         RunImport},
        {"device", "device MACHINE ID HWID[,HWID] [STATE] [CLASS]",
         "put a device node on the machine (STATE: present, absent or plugged)", RunDevice},
        {"sections", "sections INF SECTION...",
         "which platform form of each section every Windows version uses", RunSections},
        {"imports", "imports FILE.DLL", "whether a 32-bit DLL's imports load on Windows 95, 98, NT 4 and 2000",
         RunImports},
    };
    return commands;
}

}  // namespace kvsim
